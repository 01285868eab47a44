// TDiskMgr: settings, creating a file, opening and closing.
#include "engine/storage/DiskMgr.h"

#include <exception>

#include "engine/storage/DBUserMonitor.h"
#include "engine/storage/LockFileLayout.h"
#include "engine/storage/LockFileName.h"
#include "engine/storage/VorCommon.h"
#include "engine/storage/VorErrors.h"
#include "engine/storage/WinLockMgr.h"
#include "engine/storage/XorCipher.h"
#include "platform/SystemInfo.h"

namespace {

constexpr uint32_t AccessMask = 0x07;
constexpr uint32_t ShareMask = 0x70;
constexpr uint32_t AccessWriteBits = 0x03;

bool ValidPageSize(int32_t pageSize) {
  return pageSize >= static_cast<int32_t>(dbfile::MinPageSize) &&
         pageSize <= static_cast<int32_t>(dbfile::MaxPageSize) && (pageSize & (pageSize - 1)) == 0;
}

}  // namespace

TDiskMgr::TDiskMgr() {
  FFile.SetLockRetryInterval(FLockRetryInterval);
  FFile.SetLockRetryMaximum(FLockRetryMaximum);
}

TDiskMgr::~TDiskMgr() {
  try {
    Close();
  } catch (...) {
    // Close has closed every part already; there is nobody left to tell.
  }
}

void TDiskMgr::SetLockRetryMaximum(int value) {
  FLockRetryMaximum = value;
  FFile.SetLockRetryMaximum(value);
  for (TWinLockMgr* manager : {FTableLockMgr.get(), FRecordLockMgr.get()}) {
    if (manager) manager->SetRetryMaximum(value);
  }
}

void TDiskMgr::SetLockRetryInterval(int milliseconds) {
  FLockRetryInterval = milliseconds;
  FFile.SetLockRetryInterval(milliseconds);
  for (TWinLockMgr* manager : {FTableLockMgr.get(), FRecordLockMgr.get()}) {
    if (manager) manager->SetRetryInterval(milliseconds);
  }
}

void TDiskMgr::CreateNewFile(bool overwrite) {
  const char* context = "TDiskMgr.CreateNewFile";
  Close();
  // Besides the minimum, the page map needs a power of two whose entry offsets fit 15 bits.
  if (!ValidPageSize(FPageSize)) RaiseDatabaseError(8581, context, "Invalid database page size");
  if (platform::FileExists(FFileName) && !overwrite) RaiseDatabaseError(11043, context);

  const auto pageSize = static_cast<uint32_t>(FPageSize);
  FFile.SetPageSize(pageSize);
  // Exclusive, so that a database that somebody has open is never truncated.
  FFile.SetShareDenyRead(true);
  FFile.SetShareDenyWrite(true);
  if (FFile.CreateVorFile(FFileName) < 0) RaiseDatabaseError(8582, context);

  try {
    FGlobalHdr = std::make_unique<TGlobalHdr>();
    FGlobalHdr->Initialize();
    FMapPageMgr = std::make_unique<TMapPageMgr>(*this, *FGlobalHdr, pageSize);

    const std::vector<uint8_t> zeros(size_t{pageSize} * dbfile::InitialPageCount, 0);
    FFile.WriteRaw(zeros.data(), 0, static_cast<uint32_t>(zeros.size()));

    const uint32_t firstMap = dbfile::FirstMapPageNumber * pageSize;
    FGlobalHdr->SetFirstMapPage(firstMap);
    FGlobalHdr->SetMapPageCount(1);
    FGlobalHdr->SetFirstFreeMapPage(firstMap);
    // Written directly: the header lock protocol would read the zeros back first.
    FFile.WriteRaw(FGlobalHdr->Buffer.data(), FGlobalHdr->FileOffset, FGlobalHdr->Size);

    FMapPageMgr->SetRunFlags(dbfile::MapEntryValue(0, dbfile::UsageHeader), 0,
                             dbfile::FirstMapPageNumber);
    FMapPageMgr->SetMapEntryFlags(dbfile::MapEntryValue(0, dbfile::UsageMap), firstMap, 1);
  } catch (...) {
    FFile.Close();
    FMapPageMgr.reset();
    FGlobalHdr.reset();
    throw;
  }
  FFile.Close();
  FMapPageMgr.reset();
  FGlobalHdr.reset();
}

void TDiskMgr::Open() {
  const char* context = "TDiskMgr.Open";
  Close();
  if (FPageSize == 0) RaiseDatabaseError(8581, context, "PageSize is 0");
  if (!ValidPageSize(FPageSize)) RaiseDatabaseError(8581, context, "Invalid database page size");
  if (!platform::FileExists(FFileName)) RaiseDatabaseError(11010, context, FFileName);
  FMultiUser = !platform::FileIsReadOnly(FFileName);
  try {
    OpenFile();
    if (FMultiUser) OpenLocks();
    FFile.SetUseCache(true);
    FGlobalHdr = std::make_unique<TGlobalHdr>();
    FGlobalHdr->Initialize();
    FMapPageMgr =
        std::make_unique<TMapPageMgr>(*this, *FGlobalHdr, static_cast<uint32_t>(FPageSize));
    ReadLockHeader();
    ReadHeader();
    UnlockHeader();
  } catch (...) {
    // A half-open manager would keep the file and the lock file busy for others.
    try {
      Close();
    } catch (...) {
    }
    throw;
  }
  // Only a mark for others that the file is in use; a second connection cannot take it.
  FOpenMarkHeld = FFile.FileObject().LockRange(lockfile::OpenMarkOffset, lockfile::OpenMarkSize);
}

void TDiskMgr::OpenFile() {
  FFile.SetPageSize(static_cast<uint32_t>(FPageSize));
  FFile.SetXORKeyBuf(BuiltInXorKey.data(), static_cast<int>(BuiltInXorKey.size()));
  FExclusive = (FOpenMode & ShareMask) == fmShareExclusive;
  FReadOnly = (FOpenMode & AccessMask) == fmOpenRead;
  FFile.SetReadAccess(true);
  FFile.SetWriteAccess((FOpenMode & AccessWriteBits) != 0);
  FFile.SetShareDenyRead(FExclusive);
  FFile.SetShareDenyWrite(FExclusive);
  FFile.SetLockRetryMaximum(FLockRetryMaximum);
  FFile.SetLockRetryInterval(FLockRetryInterval);
  try {
    FFile.OpenVorFile(FFileName);
  } catch (const EVorDatabaseError& e) {
    if (e.ErrorCode != 8449) throw;
    RaiseDatabaseError(8449, "TDiskMgr.Open",
                       "Error type of: " + platform::ErrorText(FFile.FileObject().LastError()),
                       this);
  }
}

void TDiskMgr::OpenLocks() {
  // A read-only handle locks too (the platform file locks through a writable description of
  // its own), so every connection takes the parent lock around lock-file creation.
  FUserMonitor = std::make_unique<TDBUserMonitor>(&FFile.FileObject(), LockFileNameFor(FFileName));
  FUserMonitor->Open(CurrentUserName(), CurrentComputerName());

  FTableLockMgr = std::make_unique<TWinLockMgr>(FUserMonitor->LockFile(), lockfile::TableRegionSize,
                                                lockfile::TableRegionBase);
  FTableLockMgr->SetReadFailMessage(lockfile::TableReadFailMessage);
  FTableLockMgr->SetWriteFailMessage(lockfile::TableWriteFailMessage);
  FRecordLockMgr = std::make_unique<TWinLockMgr>(
      FUserMonitor->LockFile(), lockfile::RecordRegionSize, lockfile::RecordRegionBase);
  FRecordLockMgr->SetReadFailMessage(lockfile::RecordFailMessage);
  FRecordLockMgr->SetWriteFailMessage(lockfile::RecordFailMessage);
  for (TWinLockMgr* manager : {FTableLockMgr.get(), FRecordLockMgr.get()}) {
    manager->SetRetryMaximum(FLockRetryMaximum);
    manager->SetRetryInterval(FLockRetryInterval);
  }
}

void TDiskMgr::Close() {
  // Every step runs even when an earlier one fails; the first failure is raised at the end.
  std::exception_ptr failure;
  auto step = [&failure](auto&& action) {
    try {
      action();
    } catch (...) {
      if (!failure) failure = std::current_exception();
    }
  };

  if (FOpenMarkHeld) {
    FFile.FileObject().UnlockRange(lockfile::OpenMarkOffset, lockfile::OpenMarkSize);
    FOpenMarkHeld = false;
  }
  if (FFile.IsOpen()) {
    step([this] {
      if (FGlobalHdr && FGlobalHdr->Dirty) WriteHeader();
    });
    step([this] { ReleaseAllLocks(); });
  }
  FTableLockMgr.reset();
  FRecordLockMgr.reset();
  if (FUserMonitor) step([this] { FUserMonitor->Close(); });
  FUserMonitor.reset();
  step([this] { FFile.Close(); });
  FExclusive = false;
  FHeaderLocked = false;
  FHeaderWriteLocked = false;
  FMapPageMgr.reset();
  FGlobalHdr.reset();

  VOR_ASSERT(!FTableLockMgr, "TableLockMgr is not nil", "vorDisk");
  VOR_ASSERT(!FRecordLockMgr, "RecordLockMgr is not nil", "vorDisk");
  VOR_ASSERT(!FUserMonitor, "UserMonitor is not nil", "vorDisk");
  if (failure) std::rethrow_exception(failure);
}
