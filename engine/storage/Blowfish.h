// The Blowfish block cipher and its 8-bit cipher-feedback mode, which enciphers table pages
// under the database's master key.
//
// Invariants: a value-initialised TBlowfishState is all zero bytes, the state before any
// key; a key that BlowfishInit refuses brings the state back to exactly that, so no earlier
// schedule survives. Between pages Register equals IV; only the CFB routines move it, and
// callers put it back with BlowfishResetRegister.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "engine/storage/BlowfishTables.h"

constexpr int BlowfishBlockSize = 8;
constexpr int BlowfishMaxKeyBits = 448;

using TBlowfishBlock = std::array<uint8_t, BlowfishBlockSize>;

struct TBlowfishState {
  TBlowfishBlock IV{};
  TBlowfishBlock Register{};  // the cipher-feedback shift register
  std::array<std::array<uint32_t, BlowfishSBoxSize>, BlowfishSBoxCount> SBoxes{};
  std::array<uint32_t, BlowfishPCount> PArray{};
};

// Builds the key schedule from keyBits / 8 key bytes (1 to 56; shorter keys repeat). Without
// an initial vector, IV is the encryption of eight 0xFF bytes. A key of 0 bits or less, over
// 448 bits or not a whole number of bytes resets the state to all zero bytes instead.
void BlowfishInit(TBlowfishState& state, const uint8_t* key, int keyBits,
                  const uint8_t* initialVector = nullptr);

// One 8-byte block, each half read and written most significant byte first. input and
// output may be the same bytes.
void BlowfishEncryptBlock(const TBlowfishState& state, const uint8_t* input, uint8_t* output);

// 8-bit cipher feedback from the current Register, which they advance. source and target
// may be the same buffer.
void BlowfishEncipherCFB(TBlowfishState& state, const uint8_t* source, uint8_t* target,
                         size_t count);
void BlowfishDecipherCFB(TBlowfishState& state, const uint8_t* source, uint8_t* target,
                         size_t count);

// Register := IV, so that the next page starts afresh.
void BlowfishResetRegister(TBlowfishState& state);
