// TDiskMgr: the connection's table and record locks, and transactions with their locks.
#include "engine/storage/DBLogger.h"
#include "engine/storage/DiskMgr.h"
#include "engine/storage/WinLockMgr.h"

uint32_t TDiskMgr::LockTable(uint16_t tableID, uint32_t kind) {
  EngineLogger().IncCounter(kind == lkWrite ? "WRITELOCK" : "READLOCK", 1);
  // Inside a transaction a writer reads until Commit raises all its locks at once.
  const uint32_t effective = InTransaction() && kind == lkWrite ? lkRead : kind;
  if (!FMultiUser || !FTableLockMgr) return kind;
  if (effective == lkWrite) {
    FTableLockMgr->SetWriteLock(tableID, 0);
  } else {
    FTableLockMgr->SetReadLock(tableID, 1);
  }
  return FTableLockMgr->LockKindHeld(tableID);
}

int TDiskMgr::UnlockTable(uint16_t tableID) {
  // Locks taken in a transaction live until it ends.
  if (FMultiUser && FTableLockMgr && !InTransaction()) FTableLockMgr->ReleaseLock(tableID);
  return 0;
}

uint32_t TDiskMgr::LockRecord(uint32_t address) {
  if (!FMultiUser || !FRecordLockMgr) return lkNone;
  FRecordLockMgr->SetWriteLock(address, 0);
  return FRecordLockMgr->LockKindHeld(address);
}

int TDiskMgr::UnlockRecord(uint32_t address) {
  if (FMultiUser && FRecordLockMgr && !InTransaction()) FRecordLockMgr->ReleaseLock(address);
  return 0;
}

void TDiskMgr::ReleaseAllLocks() {
  if (!FFile.IsOpen() || !FMultiUser) return;
  // Both managers give back their locks even when the first fails.
  std::exception_ptr failure;
  for (TWinLockMgr* manager : {FTableLockMgr.get(), FRecordLockMgr.get()}) {
    if (!manager) continue;
    try {
      manager->ReleaseAll();
    } catch (...) {
      if (!failure) failure = std::current_exception();
    }
  }
  if (failure) std::rethrow_exception(failure);
}

void TDiskMgr::Commit() {
  // Without a transaction the file object refuses, and the locks held stay as they are.
  if (!InTransaction()) {
    FFile.Commit();
    return;
  }
  // Writes only while nobody else reads the tables touched; a refusal leaves the
  // transaction open for a rollback.
  if (FMultiUser && FTableLockMgr) FTableLockMgr->UpgradeAllToWrite();
  try {
    FFile.Commit();
  } catch (...) {
    // The transaction is over either way; its locks must not outlive it.
    try {
      ReleaseAllLocks();
    } catch (...) {
    }
    throw;
  }
  ReleaseAllLocks();
}

void TDiskMgr::Rollback() {
  FFile.Rollback();
  try {
    // The header in memory may hold the transaction's changes; the file has the truth.
    if (FHeaderLocked || FHeaderWriteLocked) {
      ReadHeader();
    } else {
      ReadLockHeader();
      UnlockHeader();
    }
  } catch (...) {
    try {
      ReleaseAllLocks();
    } catch (...) {
    }
    throw;
  }
  ReleaseAllLocks();
}
