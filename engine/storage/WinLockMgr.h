// The lock manager over the system's exclusive, non-blocking byte-range locks on the lock
// file. Two handles conflict even inside one process, so every connection needs its own
// handle. Keeps TBaseLockMgr's invariant: Locks mirrors exactly the ranges held.
#pragma once

#include "engine/storage/BaseLockMgr.h"

class TWinLockMgr : public TBaseLockMgr {
 public:
  using TBaseLockMgr::TBaseLockMgr;
  // Gives back every range still held.
  ~TWinLockMgr() override;

 protected:
  // Raises 8450 when the handle is unusable; a refused unlock is otherwise ignored.
  bool UnlockRange(uint64_t offset, uint32_t size) override;
  bool LockRange(uint64_t offset, uint32_t size, uint32_t kind) override;
  // Write-locks the part of the region before the read byte, then the part after it; when
  // the second part fails the first is given back, so a failed upgrade leaves just the read
  // lock.
  bool UpgradeRegion(uint32_t ownerId) override;
};
