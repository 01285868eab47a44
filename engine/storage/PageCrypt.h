// The keys and cipher state of one database file object, and the routine that enciphers a
// table page on its way to the disk and deciphers it on the way back.
//
// Page flags choose the cipher: bit 1 the XOR cipher under the XOR key, strided by the table
// id; bit 2 Blowfish in 8-bit cipher feedback under the Blowfish key; with both, XOR wins.
// Nothing on disk marks a page as enciphered. Invariants: every page is enciphered on its own
// (the feedback register is back at IV after each CryptBytes); the Blowfish state outlives
// ClearKeys and changes only with SetBlowKeyBuf, which resets it to all zero bytes when the
// key is refused (0 or more than 56 bytes).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/storage/Blowfish.h"

constexpr uint32_t CryptFlagXor = 2;
constexpr uint32_t CryptFlagBlowfish = 4;
constexpr uint32_t CryptFlagMask = CryptFlagXor | CryptFlagBlowfish;

// Whether a page transfer with these flags goes through CryptBytes.
constexpr bool IsCryptFlags(uint32_t pageFlags) {
  return (pageFlags & CryptFlagMask) != 0;
}

class TPageCrypt {
 public:
  // Keeps a copy of the key. Raises 8581 (context "TVorFile.SetXORKeyBuf") when the file is
  // open or the copy fails. A 0-byte key counts as no key.
  void SetXORKeyBuf(const void* key, int length, bool fileIsOpen);
  // Keeps a copy of the key and builds the Blowfish schedule from it (no initial vector).
  // Allowed while the file is open. Raises 8581 (context "TVorFile.SetBlowKeyBuf") when the
  // copy fails.
  void SetBlowKeyBuf(const void* key, int length);

  // The file may be opened only with an XOR key.
  bool HasXORKey() const { return !FXORKey.empty(); }
  // On close: drops both key copies, keeps the Blowfish schedule.
  void ClearKeys();

  // Enciphers (encipher true) or deciphers count bytes from source into target by the page
  // flags; table id takes part in the XOR cipher. source and target may be the same buffer.
  // Flags without a cipher bit copy the bytes unchanged. Allocates nothing.
  void CryptBytes(bool encipher, const uint8_t* source, size_t count, uint32_t tableId,
                  uint32_t pageFlags, uint8_t* target);

  const std::vector<uint8_t>& XORKey() const { return FXORKey; }
  const std::vector<uint8_t>& BlowfishKey() const { return FBlowfishKey; }
  const TBlowfishState& BlowfishState() const { return FBlowfishState; }

 private:
  std::vector<uint8_t> FXORKey;
  std::vector<uint8_t> FBlowfishKey;
  TBlowfishState FBlowfishState{};
};
