// The on-disk form of a run of free blocks of a disk block interface. Only the first block of a
// run carries a header; the other blocks of the run are all zero.
//
// First block of a run (BlockSize bytes, little-endian):
//   offset  width          content
//   0       8              zero (a block in use never starts with eight zero bytes in the
//                          engine's formats, which is how a stray link is told apart)
//   8       4              address of the first block of the next run, 0 for none
//   12      4              number of consecutive free blocks in this run, starting here
//   16      BlockSize-16   zero
//
// A block interface therefore needs blocks of at least HeaderSize bytes.
#pragma once

#include <cstdint>

#include "engine/storage/LittleEndian.h"

namespace freerun {

constexpr uint32_t ZeroPrefixSize = 8;
constexpr uint32_t NextOffset = 8;
constexpr uint32_t CountOffset = 12;
constexpr uint32_t HeaderSize = 16;

inline uint32_t Next(const uint8_t* block) {
  return le::GetU32(block + NextOffset);
}
inline uint32_t Count(const uint8_t* block) {
  return le::GetU32(block + CountOffset);
}

inline bool HasZeroPrefix(const uint8_t* block) {
  for (uint32_t i = 0; i < ZeroPrefixSize; ++i) {
    if (block[i] != 0) return false;
  }
  return true;
}

// Writes a run header into a block whose bytes are all zero.
inline void PutHeader(uint8_t* zeroBlock, uint32_t next, uint32_t count) {
  le::PutU32(zeroBlock + NextOffset, next);
  le::PutU32(zeroBlock + CountOffset, count);
}

}  // namespace freerun
