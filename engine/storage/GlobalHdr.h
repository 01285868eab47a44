// The in-memory copy of the database file's global header (128 bytes at 1024): 32-bit items
// by byte offset. Dirty tells that an item changed since the copy was last read or written;
// TDiskMgr reads and writes it under the header lock.
//
// Invariant: an item is read or stored only when all four of its bytes lie inside Buffer.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/storage/DatabaseFileLayout.h"

class TGlobalHdr {
 public:
  // Allocates Size zeroed bytes. Raises 8581 when Size is 0.
  void Initialize();

  uint32_t FirstFreeMapPage() const {
    return GlobalInterfaceGetHdrItem(dbfile::HdrFirstFreeMapPage);
  }
  uint32_t FirstMapPage() const { return GlobalInterfaceGetHdrItem(dbfile::HdrFirstMapPage); }
  uint32_t MapPageCount() const { return GlobalInterfaceGetHdrItem(dbfile::HdrMapPageCount); }
  uint32_t UserHeaderFirstEmpty() const {
    return GlobalInterfaceGetHdrItem(dbfile::HdrUserHeaderFirstEmpty);
  }
  uint32_t SystemHeaderFirstEmpty() const {
    return GlobalInterfaceGetHdrItem(dbfile::HdrSystemHeaderFirstEmpty);
  }
  uint32_t IndexFirstEmpty() const { return GlobalInterfaceGetHdrItem(dbfile::HdrIndexFirstEmpty); }

  void SetFirstFreeMapPage(uint32_t value) { SetHdrItem(dbfile::HdrFirstFreeMapPage, value); }
  void SetFirstMapPage(uint32_t value) { SetHdrItem(dbfile::HdrFirstMapPage, value); }
  void SetMapPageCount(uint32_t value) { SetHdrItem(dbfile::HdrMapPageCount, value); }
  void SetUserHeaderFirstEmpty(uint32_t value) {
    SetHdrItem(dbfile::HdrUserHeaderFirstEmpty, value);
  }
  void SetSystemHeaderFirstEmpty(uint32_t value) {
    SetHdrItem(dbfile::HdrSystemHeaderFirstEmpty, value);
  }
  void SetIndexFirstEmpty(uint32_t value) { SetHdrItem(dbfile::HdrIndexFirstEmpty, value); }

  // Any item by offset. Offset 0 and offsets whose four bytes do not fit raise 8581.
  // Storing a different value sets Dirty.
  void SetHdrItem(uint32_t offset, uint32_t value);
  uint32_t GlobalInterfaceGetHdrItem(uint32_t offset) const;

  bool Dirty = false;
  uint32_t Size = dbfile::GlobalHeaderSize;
  std::vector<uint8_t> Buffer;
  uint32_t FileOffset = dbfile::GlobalHeaderOffset;
  bool Loaded = false;

 private:
  void CheckOffset(uint32_t offset, const char* context) const;
};
