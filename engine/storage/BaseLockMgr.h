// Shared and exclusive locks per owner (a table id or a record address) built from exclusive
// byte ranges of the lock file: owner n has the region RegionBase + n * RegionSize; a reader
// locks one random byte of it, a writer the whole region. Requests are bounded series of
// non-blocking attempts.
//
// Invariants: Locks mirrors exactly the ranges held through FileHandle; an owner holds at most
// one read item; a failed request or upgrade leaves the locks as they were before it.
// The lock file handle is borrowed (the user monitor owns it) and must outlive the manager.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>

#include "engine/storage/LockCollection.h"

namespace platform {
class File;
}

// Draws the read-lock byte: a value below bound (bound >= 1).
using TRandomSource = std::function<uint32_t(uint32_t bound)>;

class TBaseLockMgr {
 public:
  // Fails an assertion when the handle is not open or the region size is 0.
  TBaseLockMgr(platform::File* fileHandle, uint32_t regionSize, uint32_t regionBase);
  virtual ~TBaseLockMgr();
  TBaseLockMgr(const TBaseLockMgr&) = delete;
  TBaseLockMgr& operator=(const TBaseLockMgr&) = delete;

  // First byte of the owner's region; 64-bit, since record addresses run up to 4 GiB.
  uint64_t RegionAddress(uint32_t ownerId) const;

  // True once the owner holds a read lock (a held lock of any kind already grants reading).
  // Raises 10249 with ReadFailMessage after RetryMaximum failed attempts.
  bool SetReadLock(uint32_t ownerId, uint32_t size);
  // Locks size bytes from the region's start (0: the whole region), or upgrades a held read
  // lock. Returns lkWrite; raises 10249 with WriteFailMessage on failure.
  uint32_t SetWriteLock(uint32_t ownerId, uint32_t size);
  void UpgradeReadLockToWriteLock(uint32_t ownerId);
  bool ReleaseLock(uint32_t ownerId);
  void ReleaseAll();
  // Raises every held read lock to a write lock (before a commit writes).
  void UpgradeAllToWrite();
  // lkWrite when the owner holds a write range (also after an upgrade), else the kind of its
  // first item, lkNone when it holds nothing.
  uint32_t LockKindHeld(uint32_t ownerId) const;

  void SetRetryMaximum(int value) { FRetryMaximum = value; }
  void SetRetryInterval(int milliseconds) { FRetryInterval = milliseconds; }
  void SetReadFailMessage(const std::string& text) { FReadFailMessage = text; }
  void SetWriteFailMessage(const std::string& text) { FWriteFailMessage = text; }
  // Replaces the draw of the read-lock byte (tests force a byte with it); empty restores it.
  void SetRandomSource(TRandomSource source) { FRandomSource = std::move(source); }

  platform::File* FileHandle() const { return FFileHandle; }
  const TLockCollection& Locks() const { return FLocks; }
  uint32_t RegionSize() const { return FRegionSize; }
  uint32_t RegionBase() const { return FRegionBase; }
  int RetryMaximum() const { return FRetryMaximum; }
  int RetryInterval() const { return FRetryInterval; }
  const std::string& ReadFailMessage() const { return FReadFailMessage; }
  const std::string& WriteFailMessage() const { return FWriteFailMessage; }

 protected:
  // The base class holds no system locks: it unlocks nothing and locks nothing.
  virtual bool UnlockRange(uint64_t offset, uint32_t size);
  virtual bool LockRange(uint64_t offset, uint32_t size, uint32_t kind);
  // Write-locks the rest of the owner's region around its read byte; false leaves only the
  // read lock.
  virtual bool UpgradeRegion(uint32_t ownerId);

  bool HandleValid() const;
  // Up to RetryMaximum attempts of LockRange, pausing RetryInterval between them; a success
  // is added to Locks.
  bool LockWithRetries(uint32_t ownerId, uint64_t offset, uint32_t size, uint32_t kind);
  // Removes the item, then unlocks its range. An unlock raises only when the handle is
  // unusable, and such a handle holds nothing: the whole mirror is cleared then.
  void ReleaseItem(size_t index);
  void PauseBetweenAttempts() const;
  TLockCollection& MutableLocks() { return FLocks; }

 private:
  uint32_t DrawReadByte(uint32_t size);

  platform::File* FFileHandle;
  TLockCollection FLocks;
  uint32_t FRegionSize;
  int FRetryMaximum = 10;
  int FRetryInterval = 200;
  uint32_t FRegionBase;
  std::string FWriteFailMessage;
  std::string FReadFailMessage;
  TRandomSource FRandomSource;
};
