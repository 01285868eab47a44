// Blocks carved out of pages of the database file. New blocks come in allocation units of
// TDiskMgr::GetBestPageRequestSize(BlockSize, P) bytes: the requested block at the start of
// the unit, the remaining whole blocks of the unit as one free run (FreeBlockRun.h). A freed
// block becomes a run at the head of the chain; runs are never merged and their pages stay
// with the table. Whole pages are given back to the page map instead.
//
// Invariants:
// - Every run header read from the file is checked before use: zero prefix, a count that fits
//   the allocation unit and the file, a place where a block of this interface may start, and a
//   next link outside the run itself (8962 otherwise). A release is checked the same way
//   (8451), so damage never makes the interface write outside the pages it could own.
// - An interface with a GlobalItem changes its chain only under the header write lock and
//   stores FirstEmpty into the global header before giving the lock back, also on error; it
//   gives the lock back only when it took it from the unlocked state.
// - HeaderBuffer holds two blocks while open: a run header and a block image.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/storage/BaseIOInterface.h"

class TDiskIOInterface : public TBaseIOInterface {
 public:
  TDiskIOInterface() { FKind = ioKindDisk; }

  void Open() override;
  void Close() override;
  void Empty(bool matchUsage) override;
  uint32_t AllocateNewAddress(uint32_t size, const void* data) override;
  void ReleaseBlock(uint32_t address, uint32_t size) override;
  void WriteBlock(uint32_t address, uint32_t size, const void* buffer) override;
  void ReadBlock(uint32_t address, uint32_t size, void* buffer) override;
  void WriteBlockHeader(uint32_t address, uint32_t size, const void* buffer) override;
  void ReadBlockHeader(uint32_t address, uint32_t size, void* buffer) override;
  void ListBlocks(std::vector<uint32_t>& list) override;
  void InvalidateCache(uint32_t tableID) override;
  bool IsPlausibleBlock(uint32_t address) override;

  bool IsOpen() const { return !FHeaderBuffer.empty(); }
  // The allocation unit in bytes, known once open.
  uint32_t UnitSize() const { return FUnitSize; }

 private:
  class THeaderHold;

  void CheckOpen(const char* context) const;
  // Runs a change of the free chain with FirstEmpty loaded (global) or required (owner kept).
  template <typename Change>
  auto ChangeChain(const char* context, Change&& change) -> decltype(change());
  void LoadGlobalFirstEmpty();
  void StoreGlobalFirstEmpty();

  uint32_t TakeFromRun(uint32_t size, const void* data, const char* context);
  uint32_t AllocateUnit(uint32_t size, const void* data);
  void ReleasePages(uint32_t address, uint32_t size, const char* context);
  void ReleaseRun(uint32_t address, uint32_t size, const char* context);

  // Whether count blocks from address lie where this interface's blocks can lie: past the
  // file's fixed pages, aligned as a block of an allocation unit, inside one unit and inside
  // the file (checked against fileEnd when it is not negative).
  bool FitsInterface(uint32_t address, uint64_t count, int64_t fileEnd) const;

  std::vector<uint8_t> FHeaderBuffer;
  uint32_t FPageSize = 0;
  uint32_t FUnitSize = 0;
  uint32_t FAlignment = 1;     // gcd(BlockSize, P): every block address is a multiple
  int64_t FKnownFileEnd = -1;  // the largest file end seen, for the cheap plausibility test
};
