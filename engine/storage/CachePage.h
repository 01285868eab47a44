// One page of the page cache: a page of plain (deciphered) bytes and the tag saying which file
// page they are and for which table and page flags they were read. TCacheMgr alone changes
// the tag, so that its look-up structures always agree with it.
#pragma once

#include <cstdint>
#include <memory>

#include "engine/storage/CacheState.h"

class TCachePage {
 public:
  explicit TCachePage(uint32_t pageSize)
      : Data(std::make_unique<uint8_t[]>(pageSize)), PageSize(pageSize) {}

  std::unique_ptr<uint8_t[]> Data;  // zeroed when allocated
  uint32_t Address = 0;             // page-aligned file offset
  uint32_t TableID = 0;
  uint32_t PageSize;
  uint64_t LastUse = 0;
  TCacheState State = TCacheState::Empty;
  uint32_t Flags = 0;
};
