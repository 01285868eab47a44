// TDiskMgr: the header lock protocol, the master key and security header, and byte transfers.
#include "engine/storage/DiskMgr.h"
#include "engine/storage/LockCollection.h"
#include "engine/storage/VorErrors.h"

namespace {

constexpr uint16_t HeaderTableID = 0;

}  // namespace

TGlobalHdr& TDiskMgr::Header(const char* context) {
  VOR_ASSERT(FGlobalHdr != nullptr, context, "vorDisk");
  return *FGlobalHdr;
}

TMapPageMgr& TDiskMgr::Map() {
  VOR_ASSERT(FMapPageMgr != nullptr, "The page map is used while the file is closed", "vorDisk");
  return *FMapPageMgr;
}

void TDiskMgr::ReadHeader() {
  if (!FHeaderLocked && !FHeaderWriteLocked) RaiseDatabaseError(10248, "TDiskMgr.ReadHeader");
  TGlobalHdr& header = Header("The global header is read while the file is closed");
  ReadBytes(header.FileOffset, header.Size, header.Buffer.data(), 0, 0);
  header.Dirty = false;
  header.Loaded = true;
}

void TDiskMgr::WriteHeader() {
  if (!FHeaderWriteLocked) WriteLockHeader();
  TGlobalHdr& header = Header("The global header is written while the file is closed");
  WriteBytes(header.FileOffset, header.Size, header.Buffer.data(), 0, 0);
  header.Dirty = false;
}

void TDiskMgr::WriteLockHeader() {
  const bool wasLocked = FHeaderLocked || FHeaderWriteLocked;
  LockTable(HeaderTableID, lkWrite);
  FHeaderWriteLocked = true;
  FHeaderLocked = true;
  if (wasLocked) return;
  try {
    ReadHeader();
  } catch (...) {
    // The buffer may be half read: nothing of it goes to the file.
    AbandonHeaderLock(false);
    throw;
  }
}

void TDiskMgr::ReadLockHeader() {
  const bool wasLocked = FHeaderLocked || FHeaderWriteLocked;
  LockTable(HeaderTableID, lkRead);
  FHeaderLocked = true;
  if (wasLocked) return;
  try {
    ReadHeader();
  } catch (...) {
    // The buffer may be half read: nothing of it goes to the file.
    AbandonHeaderLock(false);
    throw;
  }
}

void TDiskMgr::UnlockHeader() {
  if (FGlobalHdr && FGlobalHdr->Dirty) WriteHeader();
  UnlockTable(HeaderTableID);
  FHeaderLocked = false;
  FHeaderWriteLocked = false;
}

void TDiskMgr::AbandonHeaderLock(bool writeDirty) noexcept {
  try {
    // The map pages written so far belong to this header; a write that fails is reported by
    // the failure that brought us here.
    if (writeDirty && FGlobalHdr && FGlobalHdr->Dirty && FHeaderWriteLocked) WriteHeader();
  } catch (...) {
  }
  try {
    UnlockTable(HeaderTableID);
  } catch (...) {
  }
  FHeaderLocked = false;
  FHeaderWriteLocked = false;
}

void TDiskMgr::SetMasterKey(const std::string& key) {
  FMasterKey = key.empty() ? std::string(DefaultMasterKey) : key;
  FFile.SetBlowKeyBuf(FMasterKey.data(), static_cast<int>(FMasterKey.size()));
}

void TDiskMgr::WriteSecurityHeader(TSecurityHeader& rec) {
  BuildSecurityHeader(FMasterKey, Now(), rec);
  WriteBytes(dbfile::SecurityHeaderOffset, dbfile::SecurityHeaderSize, rec.data(), 0, 0);
}

void TDiskMgr::ReadSecurityHeader(TSecurityHeader& rec) {
  ReadBytes(dbfile::SecurityHeaderOffset, dbfile::SecurityHeaderSize, rec.data(), 0, 0);
  CheckSecurityHeader(rec, FMasterKey);
}

void TDiskMgr::ReadBytes(uint32_t address, uint32_t size, void* buffer, uint32_t pageFlags,
                         uint32_t tableID) {
  FFile.ReadCached(buffer, address, pageFlags, tableID, size);
}

void TDiskMgr::WriteBytes(uint32_t address, uint32_t size, const void* buffer, uint32_t pageFlags,
                          uint32_t tableID) {
  FFile.WriteCached(buffer, address, pageFlags, tableID, size);
}

void TDiskMgr::ReadPages(uint32_t address, uint32_t count, void* buffer, uint32_t pageFlags,
                         uint32_t tableID) {
  const uint64_t size = uint64_t{count} * static_cast<uint32_t>(FPageSize);
  if (size > UINT32_MAX)
    RaiseDatabaseError(8450, "TDiskMgr.ReadPages", "Unable to seek for file read operation");
  ReadBytes(address, static_cast<uint32_t>(size), buffer, pageFlags, tableID);
}

void TDiskMgr::WritePages(uint32_t address, uint32_t count, const void* buffer, uint32_t pageFlags,
                          uint32_t tableID) {
  const uint64_t size = uint64_t{count} * static_cast<uint32_t>(FPageSize);
  if (size > UINT32_MAX)
    RaiseDatabaseError(8450, "TDiskMgr.WritePages", "Unable to seek for file write operation");
  WriteBytes(address, static_cast<uint32_t>(size), buffer, pageFlags, tableID);
}
