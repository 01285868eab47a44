// One block of the block cache: the bytes a transaction wrote at an exact file offset, held
// until commit.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/storage/CacheState.h"

class TCacheBlock {
 public:
  std::vector<uint8_t> Data;
  uint32_t Address = 0;  // file offset of the first byte
  uint32_t TableID = 0;
  uint32_t BlockSize = 0;
  TCacheState State = TCacheState::Empty;
  uint32_t Flags = 0;
  uint64_t Sequence = 0;  // first-write order within the transaction
};
