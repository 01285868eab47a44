// The block I/O interface that every block owner (table headers, records, blobs, index nodes)
// talks to: it hands out block addresses, keeps freed blocks for reuse, and moves blocks in
// and out. TDiskIOInterface carves blocks out of pages of the database file;
// TMemoryIOInterface keeps every block as a separate piece of memory for in-memory tables.
// The base implements nothing: its changing operations raise 10065.
//
// Invariants:
// - MapFlags = TableID * 16 + Usage once Open has run.
// - FirstEmpty is used and stored only while FirstEmptyValidated is set. An interface with a
//   GlobalItem loads it from the global header under the header lock for every change; the
//   owner of any other disk interface loads it from its table header before a change and
//   stores it back afterwards (TFirstEmptyScope).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Object.h"

class TDiskMgr;
class TStringList;

constexpr uint8_t ioKindMemory = 1;
constexpr uint8_t ioKindDisk = 2;

class TBaseIOInterface : public TObject {
 public:
  TBaseIOInterface() = default;
  TBaseIOInterface(const TBaseIOInterface&) = delete;
  TBaseIOInterface& operator=(const TBaseIOInterface&) = delete;

  virtual void Open();
  virtual void Close() {}
  // Frees every page of TableID (only those of Usage with matchUsage).
  virtual void Empty(bool matchUsage);
  // A block holding size bytes of data (nullptr: zeros) and zeros after them.
  virtual uint32_t AllocateNewAddress(uint32_t size, const void* data);
  // Frees the blocks covering size bytes from address.
  virtual void ReleaseBlock(uint32_t address, uint32_t size);
  virtual void WriteBlock(uint32_t address, uint32_t size, const void* buffer);
  virtual void ReadBlock(uint32_t /*address*/, uint32_t /*size*/, void* /*buffer*/) {}
  virtual void WriteBlockHeader(uint32_t address, uint32_t size, const void* buffer);
  virtual void ReadBlockHeader(uint32_t /*address*/, uint32_t /*size*/, void* /*buffer*/) {}
  // Every block position of the interface (used or free for disk interfaces).
  virtual void ListBlocks(std::vector<uint32_t>& list) { list.clear(); }
  virtual bool IsValidAddress(uint32_t /*address*/) { return false; }
  virtual uint32_t NextAddress(uint32_t /*address*/) { return 0; }
  virtual bool Exists(uint32_t /*address*/) { return false; }
  // Drops the table's pages from the page cache: another process changed the table.
  virtual void InvalidateCache(uint32_t /*tableID*/) {}
  // Whether a block of this interface may start at the address: exact for memory blocks, a
  // cheap test of place and alignment for disk blocks. Links read from the file are checked
  // with it before they are followed.
  virtual bool IsPlausibleBlock(uint32_t /*address*/) { return false; }

  void SetKind(uint8_t kind) { FKind = kind; }
  void SetBlockSize(int32_t blockSize) { FBlockSize = blockSize; }
  void SetTableID(uint16_t tableID) { FTableID = tableID; }
  void SetUsage(uint16_t usage) { FUsage = usage; }
  void SetDiskMgr(TDiskMgr* diskMgr) { FDiskMgr = diskMgr; }
  void SetFirstEmpty(uint32_t firstEmpty) { FFirstEmpty = firstEmpty; }
  void SetFirstEmptyValidated(bool validated) { FFirstEmptyValidated = validated; }
  void SetGlobalItem(uint32_t globalItem) { FGlobalItem = globalItem; }
  void SetPageFlags(uint32_t pageFlags) { FPageFlags = pageFlags; }
  // Tracing lines go here when set; the list is the caller's.
  void SetDebugLog(TStringList* log) { FDebugLog = log; }

  int32_t BlockSize() const { return FBlockSize; }
  uint8_t Kind() const { return FKind; }
  uint16_t Usage() const { return FUsage; }
  uint16_t TableID() const { return FTableID; }
  uint16_t MapFlags() const { return FMapFlags; }
  uint32_t FirstEmpty() const { return FFirstEmpty; }
  TDiskMgr* DiskMgr() const { return FDiskMgr; }
  uint32_t GlobalItem() const { return FGlobalItem; }
  bool FirstEmptyValidated() const { return FFirstEmptyValidated; }
  uint32_t PageFlags() const { return FPageFlags; }

 protected:
  void Trace(const std::string& line);

  int32_t FBlockSize = 0;
  uint8_t FKind = 0;
  TStringList* FDebugLog = nullptr;
  uint16_t FUsage = 0;
  uint16_t FTableID = 0;
  uint16_t FMapFlags = 0;
  uint32_t FFirstEmpty = 0;
  TDiskMgr* FDiskMgr = nullptr;
  uint32_t FGlobalItem = 0;
  bool FFirstEmptyValidated = false;
  uint32_t FPageFlags = 0;
};
