// SHA-1 of FIPS 180-1 as a write-only stream, and a helper that digests a text. Used to
// prove the master key and to keep password digests.
//
// Stored digest layout: H0..H4, each as a 32-bit little-endian word, so every 4-byte group
// is reversed against the usual SHA-1 byte string; reading the five words as integers gives
// H0..H4. Invariant: all 80 schedule words are zero whenever a new block starts, and
// FinalDigest leaves the stream reset for the next message.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/Object.h"

constexpr int Sha1DigestSize = 20;
constexpr int Sha1WordCount = 5;
constexpr int Sha1BlockSize = 64;

using TSha1Digest = std::array<uint8_t, Sha1DigestSize>;

class TSha1Stream : public TObject {
 public:
  enum class SeekOrigin { Beginning, Current, End };

  TSha1Stream() { Reset(); }

  void Restart() { Reset(); }

  // Reads nothing: the stream only consumes bytes.
  virtual int32_t Read(void* buffer, int32_t count);
  // Adds the bytes in order; returns count (0 for a negative count, which adds nothing).
  virtual int32_t Write(const void* buffer, int32_t count);
  // Moves nothing; returns the number of bytes taken in so far.
  virtual int64_t Seek(int64_t offset, SeekOrigin origin);

  virtual void AddByte(uint8_t b);
  // FinalDigest's 20 bytes as a 20-character string.
  virtual std::string DigestString();
  virtual void Reset();
  virtual void Transform();
  // Adds the bytes from the last to the first; returns count like Write.
  virtual int32_t WriteReversed(const void* buffer, int32_t count);
  // Pads, stores H0..H4 in the stored layout, then resets.
  virtual void FinalDigest(TSha1Digest& digest);

  uint64_t BlockCount = 0;
  int32_t ByteIndex = 0;
  std::array<uint32_t, 80> W{};
  std::array<uint32_t, Sha1WordCount> H{};
};

// The digest of the text's bytes; the empty text gives 20 zero bytes, not the digest of the
// empty message.
void Sha1Digest(std::string_view text, TSha1Digest& digest);

// Word i (0..4) of a stored digest, that is H0..H4.
uint32_t Sha1DigestWord(const TSha1Digest& digest, int i);
