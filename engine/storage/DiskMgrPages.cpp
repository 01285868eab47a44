// TDiskMgr: page allocation through the page map, and the allocation unit of fixed blocks.
#include <algorithm>

#include "engine/storage/DiskMgr.h"
#include "engine/storage/VorErrors.h"

// Holds the header lock for one page operation: takes it unless held (a write guard raises a
// held read lock to a write lock) and gives it back at the end only when it was taken from
// the unlocked state. Finish() gives it back normally (writing a dirty header); without it
// the destructor gives it back as after a failure.
class TDiskMgr::THeaderGuard {
 public:
  THeaderGuard(TDiskMgr& diskMgr, bool write)
      : FDiskMgr(diskMgr), FTook(!diskMgr.FHeaderLocked && !diskMgr.FHeaderWriteLocked) {
    if (write && !diskMgr.FHeaderWriteLocked) {
      diskMgr.WriteLockHeader();
    } else if (!diskMgr.FHeaderLocked && !diskMgr.FHeaderWriteLocked) {
      diskMgr.ReadLockHeader();
    }
  }
  ~THeaderGuard() {
    if (FTook) FDiskMgr.AbandonHeaderLock(true);
  }
  THeaderGuard(const THeaderGuard&) = delete;
  THeaderGuard& operator=(const THeaderGuard&) = delete;

  void Finish() {
    if (!FTook) return;
    FTook = false;
    try {
      FDiskMgr.UnlockHeader();
    } catch (...) {
      FDiskMgr.AbandonHeaderLock(true);
      throw;
    }
  }

 private:
  TDiskMgr& FDiskMgr;
  bool FTook;
};

namespace {

void CheckPageRequest(uint32_t owner, uint16_t usage, uint32_t count) {
  VOR_ASSERT(owner < dbfile::MaxPageOwner && usage < dbfile::MaxPageUsage && usage != 0,
             "Page owner or usage out of range", "vorDisk");
  VOR_ASSERT(count >= 1, "Invalid page count", "vorDisk");
}

}  // namespace

uint32_t TDiskMgr::AllocatePages(uint32_t owner, uint32_t pageFlags, const void* buffer,
                                 uint32_t count, uint16_t usage) {
  CheckPageRequest(owner, usage, count);
  THeaderGuard guard(*this, true);
  uint32_t address = Map().FindFreePages(count);
  if (address != 0) {
    WritePages(address, count, buffer, pageFlags, owner);
  } else {
    address = AppendPages(buffer, count, pageFlags, owner);
  }
  Map().SetRunFlags(dbfile::MapEntryValue(owner, usage), address, count);
  guard.Finish();
  return address;
}

uint32_t TDiskMgr::AppendPages(const void* buffer, uint32_t count, uint32_t pageFlags,
                               uint32_t owner) {
  const char* context = "TDiskMgr.AppendPages";
  VOR_ASSERT(count >= 1, "Invalid page count", "vorDisk");
  // Two connections must not append at the same end of the file.
  THeaderGuard guard(*this, true);
  const auto pageSize = static_cast<uint32_t>(FPageSize);
  // A file cut off inside a page would put every later page off its map entry.
  if (FileEnd() % pageSize != 0) {
    RaiseDatabaseError(8581, context, "The database file does not end on a page boundary");
  }
  const uint64_t size = uint64_t{count} * pageSize;
  if (size > UINT32_MAX) RaiseDatabaseError(9600, context);
  const uint32_t address =
      FFile.SeekAndAppendVorFile(buffer, static_cast<uint32_t>(size), pageFlags, owner);
  guard.Finish();
  return address;
}

void TDiskMgr::ReleasePages(uint32_t address, uint32_t count) {
  const auto pageSize = static_cast<uint32_t>(FPageSize);
  VOR_ASSERT(count >= 1 && pageSize != 0 && address % pageSize == 0, "Invalid page run to release",
             "vorDisk");
  THeaderGuard guard(*this, true);
  Map().SetRunFlags(dbfile::MapEntryFree, address, count);
  const std::vector<uint8_t> zeros(pageSize, 0);
  for (uint32_t i = 0; i < count; ++i) FFile.WriteRawPage(address + i * pageSize, zeros.data());
  guard.Finish();
}

void TDiskMgr::ReleaseOwnerPages(uint32_t owner, uint16_t usage, bool matchUsage) {
  THeaderGuard guard(*this, true);
  FFile.PageCache().InvalidateTable(owner);
  std::vector<uint32_t> freed;
  Map().FreeOwnerPages(owner, usage, freed, matchUsage);
  if (FGlobalHdr->Dirty) WriteHeader();
  const std::vector<uint8_t> zeros(static_cast<uint32_t>(FPageSize), 0);
  for (const uint32_t page : freed) FFile.WriteRawPage(page, zeros.data());
  guard.Finish();
}

void TDiskMgr::ListAllocatedFixedBlocks(uint32_t blockSize, uint32_t owner,
                                        std::vector<uint32_t>& list, uint16_t usage) {
  VOR_ASSERT(blockSize != 0, "Invalid block size of 0 in ListAllocatedFixedBlocks", "vorDisk");
  list.clear();
  // A header lock of the caller's is used as it is: taking and dropping table 0 here would
  // drop the caller's lock with it.
  THeaderGuard guard(*this, false);
  const auto pageSize = static_cast<uint32_t>(FPageSize);
  const uint32_t unitPages = GetBestPageRequestSize(blockSize, pageSize) / pageSize;
  VOR_ASSERT(unitPages >= 1, "Invalid request size returned from GetBestPageRequestSize",
             "vorDisk");
  std::vector<uint32_t> pages;
  Map().ListOwnerPages(owner, usage, pages, true);

  for (size_t unit = 0; unit < pages.size(); unit += unitPages) {
    const uint64_t unitStart = pages[unit];
    uint64_t position = unitStart;
    for (uint32_t k = 0; k < unitPages; ++k) {
      VOR_ASSERT(unit + k < pages.size() && pages[unit + k] == unitStart + uint64_t{k} * pageSize,
                 "Invalid requestpage/pagelist sequence", "vorDisk");
      // A block belongs to the page it starts in while it ends inside the unit's pages so far.
      const uint64_t pageEnd = unitStart + uint64_t{k + 1} * pageSize;
      while (position + blockSize <= pageEnd) {
        list.push_back(static_cast<uint32_t>(position));
        position += blockSize;
      }
    }
  }
  guard.Finish();
}

uint32_t TDiskMgr::GetBestPageRequestSize(uint32_t blockSize, uint32_t pageSize) {
  VOR_ASSERT(blockSize != 0 && pageSize != 0,
             "Invalid block or page size in GetBestPageRequestSize", "vorDisk");
  const uint64_t block = blockSize;
  const uint64_t page = pageSize;
  const uint64_t minimal = page * ((block + page - 1) / page);
  if (page >= block && minimal % block <= page / 4) return static_cast<uint32_t>(minimal);
  uint64_t best = minimal;
  for (uint64_t candidate = minimal; candidate < 10 * minimal; candidate += page) {
    if (candidate % block < best % block) best = candidate;
  }
  VOR_ASSERT(best <= UINT32_MAX, "Invalid block size in GetBestPageRequestSize", "vorDisk");
  return static_cast<uint32_t>(best);
}
