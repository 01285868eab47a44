// The database file of one connection: creates, opens and closes it, owns its global header,
// page map, lock managers and user monitor, and is the one object through which the rest of
// the engine reads and writes the file (layout in DatabaseFileLayout.h).
//
// Invariants:
// - The global header is guarded as table 0 of TableLockMgr. It is re-read whenever a header
//   lock is taken from the unlocked state, and written when dirty at UnlockHeader,
//   WriteHeader and Close.
// - All map changes happen under the header write lock; an operation that had to take it
//   gives it back at its end, also when it fails.
// - GlobalHdr and MapPageMgr exist exactly while the file is open; the lock managers and the
//   user monitor exist only while a multi-user file is open (its mode has write bits). A
//   failed Open leaves the manager closed; Close closes every part even when one step fails.
// - Inside a transaction table locks are read locks until Commit raises them to write locks.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/storage/GlobalHdr.h"
#include "engine/storage/MapPageMgr.h"
#include "engine/storage/SecurityHeader.h"
#include "engine/storage/VorFile.h"
#include "platform/Object.h"

class TDBUserMonitor;
class TWinLockMgr;

// Open modes: access in bits 0-2, sharing in bits 4-6.
constexpr uint32_t fmOpenRead = 0x0000;
constexpr uint32_t fmOpenWrite = 0x0001;
constexpr uint32_t fmOpenReadWrite = 0x0002;
constexpr uint32_t fmShareExclusive = 0x0010;
constexpr uint32_t fmShareDenyWrite = 0x0020;
constexpr uint32_t fmShareDenyRead = 0x0030;
constexpr uint32_t fmShareDenyNone = 0x0040;

class TDiskMgr : public TObject {
 public:
  TDiskMgr();
  ~TDiskMgr() override;
  TDiskMgr(const TDiskMgr&) = delete;
  TDiskMgr& operator=(const TDiskMgr&) = delete;

  // Settings, while closed; the retry values also go to the file object and the lock managers
  // at once.
  void SetFileName(const std::string& fileName) { FFileName = fileName; }
  void SetOpenMode(uint32_t openMode) { FOpenMode = openMode; }
  void SetPageSize(int32_t pageSize) { FPageSize = pageSize; }
  void SetLockRetryMaximum(int value);
  void SetLockRetryInterval(int milliseconds);

  // Writes pages 0-5 of a new file and leaves it closed. Refuses to replace a file that
  // anybody has open.
  void CreateNewFile(bool overwrite);
  void Open();
  // Also run by the destructor (which swallows its failures).
  void Close();
  bool IsOpen() const { return FFile.IsOpen(); }

  // Header lock protocol.
  void ReadHeader();   // raises 10248 without a header lock
  void WriteHeader();  // takes the write lock when not held, and keeps it
  void WriteLockHeader();
  void ReadLockHeader();
  void UnlockHeader();  // writes a dirty header first

  // An empty key stands for DefaultMasterKey, which is then kept as MasterKey.
  void SetMasterKey(const std::string& key);
  void ReadSecurityHeader(TSecurityHeader& rec);
  void WriteSecurityHeader(TSecurityHeader& rec);

  // Transfers through the file object by page flags (bit 0 page cache, bits 1-2 cipher).
  void ReadBytes(uint32_t address, uint32_t size, void* buffer, uint32_t pageFlags,
                 uint32_t tableID);
  void WriteBytes(uint32_t address, uint32_t size, const void* buffer, uint32_t pageFlags,
                  uint32_t tableID);
  void ReadPages(uint32_t address, uint32_t count, void* buffer, uint32_t pageFlags,
                 uint32_t tableID);
  void WritePages(uint32_t address, uint32_t count, const void* buffer, uint32_t pageFlags,
                  uint32_t tableID);
  bool CopyFile(const std::string& target) { return FFile.CopyVorFile(target); }
  // The file size, or the transaction's logical end.
  int64_t FileEnd() { return FFile.FileEnd(); }

  // Page allocation through the page map, each under the header write lock.
  // Writes count pages of buffer into newly allocated pages of owner and usage.
  uint32_t AllocatePages(uint32_t owner, uint32_t pageFlags, const void* buffer, uint32_t count,
                         uint16_t usage);
  // Writes count pages at the end of the file without entering them in the map.
  uint32_t AppendPages(const void* buffer, uint32_t count, uint32_t pageFlags, uint32_t owner);
  // Frees the pages and writes zeros over them.
  void ReleasePages(uint32_t address, uint32_t count);
  void ReleaseOwnerPages(uint32_t owner, uint16_t usage, bool matchUsage);
  // Every position of a blockSize block in the owner's pages of that usage.
  void ListAllocatedFixedBlocks(uint32_t blockSize, uint32_t owner, std::vector<uint32_t>& list,
                                uint16_t usage);
  // The allocation unit in bytes for blocks of blockSize: whole pages wasting little.
  static uint32_t GetBestPageRequestSize(uint32_t blockSize, uint32_t pageSize);

  void StartTransaction() { FFile.StartTransaction(); }
  void Commit();
  void Rollback();
  bool InTransaction() const { return FFile.IsOpen() && FFile.InTransaction(); }

  // Locks for the connection: kind 1 read, 4 write. Without MultiUser none is taken.
  uint32_t LockTable(uint16_t tableID, uint32_t kind);
  int UnlockTable(uint16_t tableID);
  uint32_t LockRecord(uint32_t address);
  int UnlockRecord(uint32_t address);
  void ReleaseAllLocks();

  TVorFile& File() { return FFile; }
  int32_t PageSize() const { return FPageSize; }
  uint32_t OpenMode() const { return FOpenMode; }
  const std::string& FileName() const { return FFileName; }
  TGlobalHdr* GlobalHdr() { return FGlobalHdr.get(); }
  TMapPageMgr* MapPageMgr() { return FMapPageMgr.get(); }
  bool Exclusive() const { return FExclusive; }
  bool ReadOnly() const { return FReadOnly; }
  bool HeaderLocked() const { return FHeaderLocked; }
  bool HeaderWriteLocked() const { return FHeaderWriteLocked; }
  int LockRetryInterval() const { return FLockRetryInterval; }
  int LockRetryMaximum() const { return FLockRetryMaximum; }
  bool MultiUser() const { return FMultiUser; }
  TDBUserMonitor* UserMonitor() { return FUserMonitor.get(); }
  TWinLockMgr* TableLockMgr() { return FTableLockMgr.get(); }
  TWinLockMgr* RecordLockMgr() { return FRecordLockMgr.get(); }
  const std::string& MasterKey() const { return FMasterKey; }

 private:
  class THeaderGuard;

  void OpenFile();
  void OpenLocks();
  // Gives the header lock back after a failure: writes a dirty header first if asked and it
  // can, then releases the lock and clears the flags whatever happens.
  void AbandonHeaderLock(bool writeDirty) noexcept;
  TGlobalHdr& Header(const char* context);
  TMapPageMgr& Map();

  TVorFile FFile;
  int32_t FPageSize = 0;
  uint32_t FOpenMode = 0;
  std::string FFileName;
  std::unique_ptr<TGlobalHdr> FGlobalHdr;
  std::unique_ptr<TMapPageMgr> FMapPageMgr;
  bool FExclusive = false;
  bool FReadOnly = false;
  bool FHeaderLocked = false;
  bool FHeaderWriteLocked = false;
  int FLockRetryInterval = 200;
  int FLockRetryMaximum = 10;
  bool FMultiUser = false;
  // The managers borrow the monitor's lock file handle: they are declared after it so that
  // they are destroyed first.
  std::unique_ptr<TDBUserMonitor> FUserMonitor;
  std::unique_ptr<TWinLockMgr> FTableLockMgr;
  std::unique_ptr<TWinLockMgr> FRecordLockMgr;
  std::string FMasterKey;
  bool FOpenMarkHeld = false;
};
