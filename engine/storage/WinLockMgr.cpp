#include "engine/storage/WinLockMgr.h"

#include "engine/storage/LockFileLayout.h"
#include "engine/storage/VorErrors.h"
#include "platform/Exception.h"
#include "platform/File.h"

TWinLockMgr::~TWinLockMgr() {
  try {
    // A closed handle holds nothing any more; only a live one has ranges to give back.
    if (HandleValid()) ReleaseAll();
  } catch (...) {
  }
  MutableLocks().Clear();
}

bool TWinLockMgr::UnlockRange(uint64_t offset, uint32_t size) {
  if (!HandleValid()) RaiseDatabaseError(8450, "TVorFile.UnlockVorFile", "File handle is invalid");
  return FileHandle()->UnlockRange(offset, size);
}

bool TWinLockMgr::LockRange(uint64_t offset, uint32_t size, uint32_t) {
  // Read and write locks are both exclusive ranges; a read lock is shared only in that
  // readers pick different bytes.
  return HandleValid() && FileHandle()->LockRange(offset, size);
}

bool TWinLockMgr::UpgradeRegion(uint32_t ownerId) {
  uint64_t begin = RegionAddress(ownerId);
  uint64_t end = begin + RegionSize();
  const TLockItem* read = Locks().FindLock(ownerId, lkRead);
  VOR_ASSERT(read != nullptr, "No existing read lock can not be found", lockfile::LockUnit);
  uint64_t readBegin = read->Offset;
  uint64_t readEnd = read->Offset + read->Size;  // `read` dies with the next change of Locks

  bool before = readBegin > begin;
  if (before && !LockWithRetries(ownerId, begin, static_cast<uint32_t>(readBegin - begin), lkWrite))
    return false;
  if (readEnd < end &&
      !LockWithRetries(ownerId, readEnd, static_cast<uint32_t>(end - readEnd), lkWrite)) {
    if (before) {
      size_t last = Locks().Count() - 1;
      VOR_ASSERT(Locks()[last].Offset == begin && Locks()[last].Kind == lkWrite,
                 "Upgrade range is not the last lock", lockfile::LockUnit);
      ReleaseItem(last);
    }
    return false;
  }
  return true;
}
