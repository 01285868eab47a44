// The database file object: the only code that touches the file's bytes.
//
// Every transfer is routed one of three ways: table pages (page flag bit 0, with the cache on
// or inside a transaction) through the page cache, which enciphers them by flag bits 1-2 on
// their way to the disk; raw structures straight to the file, or inside a transaction into
// the block cache until commit.
//
// Invariants:
// - Outside a transaction every write is in the file when the call returns.
// - Inside one nothing reaches the file before Commit, and every pending copy of a byte (a
//   Dirty page in its enciphered form, any block) holds the value written last; so reads see
//   the file as it will be after commit, and the commit order cannot bring back an older
//   value.
// - A Clean cached page agrees with the file, or with what it will be after commit.
// - Enciphering happens in CryptBuffer, never in a caller's buffer.
// - Addresses are 32-bit: no transfer reaches beyond 4 GB.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/storage/CacheBlockMgr.h"
#include "engine/storage/CacheMgr.h"
#include "engine/storage/PageCrypt.h"
#include "platform/File.h"
#include "platform/Object.h"

constexpr uint32_t PageFlagCached = 1;

class TVorFile : public TObject {
 public:
  TVorFile();
  ~TVorFile() override;
  TVorFile(const TVorFile&) = delete;
  TVorFile& operator=(const TVorFile&) = delete;

  // Closes an open file first; creates or truncates the file. Returns the handle, negative on
  // failure.
  int CreateVorFile(const std::string& name);
  // Needs a page size and an XOR key. Returns the handle.
  int OpenVorFile(const std::string& name);
  // Drops both caches (and any transaction) and both key copies.
  void Close();
  bool IsOpen() const { return FFile.IsOpen(); }
  int Handle() const { return FFile.IsOpen() ? FFile.Handle() : 0; }
  // The open file itself, for the disk manager's open mark and the user monitor's parent lock;
  // bytes written through it would bypass both caches.
  platform::File& FileObject() { return FFile; }

  void SetPageSize(uint32_t pageSize);  // while closed
  void SetReadAccess(bool value) { FReadAccess = value; }
  void SetWriteAccess(bool value) { FWriteAccess = value; }
  void SetShareDenyRead(bool value) { FShareDenyRead = value; }
  void SetShareDenyWrite(bool value) { FShareDenyWrite = value; }
  void SetLockRetryMaximum(int value) { FLockRetryMaximum = value; }
  void SetLockRetryInterval(int value) { FLockRetryInterval = value; }
  void SetUseCache(bool value) { FUseCache = value; }
  void SetXORKeyBuf(const void* key, int length);  // while closed
  void SetBlowKeyBuf(const void* key, int length);

  void ReadRaw(void* buffer, uint32_t address, uint32_t count);
  void WriteRaw(const void* buffer, uint32_t address, uint32_t count);
  void WriteRawPage(uint32_t address, const void* buffer);
  void ReadCached(void* buffer, uint32_t address, uint32_t flags, uint32_t tableID, uint32_t count);
  void WriteCached(const void* buffer, uint32_t address, uint32_t flags, uint32_t tableID,
                   uint32_t count);
  // Writes at FileEnd and returns that address; raises 9600 rather than pass 4 GB.
  uint32_t SeekAndAppendVorFile(const void* buffer, uint32_t count, uint32_t flags,
                                uint32_t tableID);
  // The file size, or AppendPosition inside a transaction (the file size again until the
  // transaction appends); negative when unknown.
  int64_t FileEnd();

  void StartTransaction();
  void Commit();
  void Rollback();
  bool InTransaction() const { return FInTransaction; }

  // Copies the file's bytes (not pending changes) to a new file.
  bool CopyVorFile(const std::string& target);

  // Transfers to and from the file itself, also the caches' IO methods.
  void InternalRead(void* buffer, uint32_t count, uint32_t address);
  void InternalWrite(const void* buffer, uint32_t count, uint32_t address);
  void InternalReadPage(void* buffer, uint32_t tableID, uint32_t address, uint32_t flags);
  void InternalWritePage(const void* buffer, uint32_t tableID, uint32_t address, uint32_t flags);

  TCacheMgr& PageCache() { return FPageCache; }
  const TCacheBlockMgr& BlockCache() const { return FBlockCache; }
  uint32_t PageSize() const { return FPageSize; }
  bool UseCache() const { return FUseCache; }
  int LockRetryMaximum() const { return FLockRetryMaximum; }
  int LockRetryInterval() const { return FLockRetryInterval; }
  int64_t AppendPosition() const { return FAppendPosition; }

 private:
  platform::Share ShareMode() const;
  void ReleaseFile();
  void SetUpCaches();
  bool RoutesToPageCache(uint32_t flags) const;
  void CheckRange(uint32_t address, uint32_t count, bool write, const char* context) const;
  void ReadBytes(uint8_t* buffer, uint32_t address, uint32_t count);
  void WriteBytes(const uint8_t* buffer, uint32_t address, uint32_t count);
  void ReadFromFile(uint8_t* buffer, uint32_t count, uint32_t address, const char* context);
  void WriteToFile(const uint8_t* buffer, uint32_t count, uint32_t address, const char* context);
  void EndTransaction();

  // The one place where a transaction's changes reach the file: pages, then raw blocks.
  void WritePending();
  // Throws every pending change away, after a rollback or a failed commit.
  void DiscardPending();

  // Keeping the two caches' pending copies equal (VorFileCoherence.cpp).
  void ReadPending(uint8_t* buffer, uint32_t count, uint32_t address);
  void CopyDirtyPagesTo(uint8_t* buffer, uint64_t address, uint64_t count);
  void MergeIntoDirtyPages(const uint8_t* data, uint64_t address, uint64_t count);
  void UpdateBlocksFromPages(uint64_t address, uint64_t count);
  void RecodePage(uint8_t* data, uint32_t fromTableID, uint32_t fromFlags, uint32_t toTableID,
                  uint32_t toFlags);
  const uint8_t* FileForm(const TCachePage& page);
  void DropPagesReadFromPending();

  platform::File FFile;
  std::vector<uint8_t> FCryptBuffer;
  TPageCrypt FCrypt;  // keys and Blowfish state
  int64_t FAppendPosition = 0;
  int64_t FSizeAtStart = 0;  // the file size when the transaction started or, until it
                             // appends, as last seen by FileEnd
  TCacheMgr FPageCache;
  TCacheBlockMgr FBlockCache;
  bool FWriteAccess = false;
  bool FReadAccess = false;
  bool FShareDenyRead = false;
  bool FShareDenyWrite = false;
  int FLockRetryInterval = 0;
  int FLockRetryMaximum = 0;
  uint32_t FPageSize = 4096;
  bool FUseCache = false;
  bool FInTransaction = false;
};
