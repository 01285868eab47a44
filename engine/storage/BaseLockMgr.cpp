#include "engine/storage/BaseLockMgr.h"

#include <chrono>
#include <random>
#include <thread>

#include "engine/storage/LockFileLayout.h"
#include "engine/storage/VorErrors.h"
#include "platform/Exception.h"
#include "platform/File.h"
#include "platform/SystemInfo.h"

namespace {

// One generator per thread, seeded once: connections on different threads never share
// state, and processes differ by the random device even when they start in the same tick.
uint32_t DefaultRandom(uint32_t bound) {
  thread_local std::mt19937 generator([] {
    std::random_device device;
    auto ticks =
        static_cast<uint64_t>(std::chrono::high_resolution_clock::now().time_since_epoch().count());
    std::seed_seq seed{
        static_cast<uint32_t>(ticks), static_cast<uint32_t>(ticks >> 32), device(), device(),
        static_cast<uint32_t>(std::hash<std::thread::id>{}(std::this_thread::get_id()))};
    return std::mt19937(seed);
  }());
  return std::uniform_int_distribution<uint32_t>(0, bound - 1)(generator);
}

}  // namespace

TBaseLockMgr::TBaseLockMgr(platform::File* fileHandle, uint32_t regionSize, uint32_t regionBase)
    : FFileHandle(fileHandle), FRegionSize(regionSize), FRegionBase(regionBase) {
  VOR_ASSERT(HandleValid(), "File handle is not set", lockfile::LockUnit);
  VOR_ASSERT(regionSize != 0, "Lock region size is 0", lockfile::LockUnit);
}

TBaseLockMgr::~TBaseLockMgr() {
  // A derived manager has given its system locks back already; only the mirror is left.
  FLocks.Clear();
}

bool TBaseLockMgr::HandleValid() const {
  return FFileHandle != nullptr && FFileHandle->IsOpen();
}

uint64_t TBaseLockMgr::RegionAddress(uint32_t ownerId) const {
  if (FRegionSize < 2) return uint64_t{FRegionBase} + ownerId;
  return uint64_t{FRegionBase} + uint64_t{ownerId} * FRegionSize;
}

bool TBaseLockMgr::UnlockRange(uint64_t, uint32_t) {
  return false;
}
bool TBaseLockMgr::LockRange(uint64_t, uint32_t, uint32_t) {
  return false;
}
bool TBaseLockMgr::UpgradeRegion(uint32_t) {
  return false;
}

uint32_t TBaseLockMgr::DrawReadByte(uint32_t size) {
  // The byte range must stay inside the owner's region, or it would reach into the next one.
  uint32_t bound = FRegionSize - size + 1;
  uint32_t value = FRandomSource ? FRandomSource(bound) : DefaultRandom(bound);
  return value % bound;
}

void TBaseLockMgr::PauseBetweenAttempts() const {
  if (FRetryInterval > 0) platform::SleepMs(static_cast<uint32_t>(FRetryInterval));
}

bool TBaseLockMgr::SetReadLock(uint32_t ownerId, uint32_t size) {
  uint64_t region = RegionAddress(ownerId);
  // A write lock covers the read byte too; locking it again through this handle would merge
  // with the write range, and releasing it later would cut a hole into that range.
  if (FLocks.KindOf(ownerId) != lkNone) return true;
  if (!HandleValid()) RaiseDatabaseError(8449, "TVorFile.ReadLockVorFile");
  if (size == 0) size = 1;
  VOR_ASSERT(size <= FRegionSize, "Lock Request size is out of range", lockfile::LockUnit);

  for (int attempt = 0; attempt < FRetryMaximum; ++attempt) {
    uint64_t offset = FRegionSize > 1 ? region + DrawReadByte(size) : region;
    if (LockRange(offset, size, lkRead)) {
      FLocks.AddLock(ownerId, offset, lkRead, size);
      return true;
    }
    if (attempt + 1 < FRetryMaximum) PauseBetweenAttempts();
  }
  RaiseDatabaseError(10249, "TBaseLockMgr.SetReadLock", FReadFailMessage);
}

bool TBaseLockMgr::LockWithRetries(uint32_t ownerId, uint64_t offset, uint32_t size,
                                   uint32_t kind) {
  for (int attempt = 0; attempt < FRetryMaximum; ++attempt) {
    if (LockRange(offset, size, kind)) {
      FLocks.AddLock(ownerId, offset, kind, size);
      return true;
    }
    if (attempt + 1 < FRetryMaximum) PauseBetweenAttempts();
  }
  return false;
}

uint32_t TBaseLockMgr::SetWriteLock(uint32_t ownerId, uint32_t size) {
  if (!HandleValid()) RaiseDatabaseError(8450, "TVorFile.SetWriteLock", "File handle is invalid");
  VOR_ASSERT(size <= FRegionSize, "Lock size is greater than lock region", lockfile::LockUnit);
  uint64_t region = RegionAddress(ownerId);
  if (FLocks.FindLock(ownerId, lkWrite) != nullptr) return lkWrite;
  if (FLocks.FindLock(ownerId, lkRead) != nullptr) {
    UpgradeReadLockToWriteLock(ownerId);
    return lkWrite;
  }
  if (size == 0) size = FRegionSize;
  if (!LockWithRetries(ownerId, region, size, lkWrite))
    RaiseDatabaseError(10249, "TBaseLockMgr.SetWriteLock", FWriteFailMessage);
  return lkWrite;
}

void TBaseLockMgr::UpgradeReadLockToWriteLock(uint32_t ownerId) {
  if (!UpgradeRegion(ownerId))
    RaiseDatabaseError(10249, "TBaseLockMgr.UpgradeReadLockToWriteLock", FWriteFailMessage);
}

void TBaseLockMgr::ReleaseItem(size_t index) {
  TLockItem item = FLocks[index];
  FLocks.Delete(index);
  try {
    UnlockRange(item.Offset, item.Size);
  } catch (...) {
    FLocks.Clear();
    throw;
  }
}

bool TBaseLockMgr::ReleaseLock(uint32_t ownerId) {
  for (size_t i = FLocks.Count(); i-- > 0;)
    if (FLocks[i].OwnerID == ownerId) ReleaseItem(i);
  return true;
}

void TBaseLockMgr::ReleaseAll() {
  while (!FLocks.Empty()) ReleaseItem(FLocks.Count() - 1);
}

void TBaseLockMgr::UpgradeAllToWrite() {
  TLockCollection held = FLocks;
  for (size_t i = 0; i < held.Count(); ++i) SetWriteLock(held[i].OwnerID, held[i].Size);
}

uint32_t TBaseLockMgr::LockKindHeld(uint32_t ownerId) const {
  if (FLocks.FindLock(ownerId, lkWrite) != nullptr) return lkWrite;
  return FLocks.KindOf(ownerId);
}
