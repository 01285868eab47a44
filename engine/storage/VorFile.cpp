#include "engine/storage/VorFile.h"

#include <algorithm>

#include "engine/storage/DBLogger.h"
#include "engine/storage/VorErrors.h"
#include "platform/SystemInfo.h"

namespace {

constexpr uint32_t MaxTableID = 2048;
constexpr uint32_t MinCachePages = 50;
constexpr uint32_t MaxCachePages = 1000;
constexpr int64_t AddressSpace = int64_t{1} << 32;

}  // namespace

TVorFile::TVorFile() {
  FPageCache.ReadIO = [this](uint8_t* data, uint32_t tableID, uint32_t address, uint32_t flags) {
    InternalReadPage(data, tableID, address, flags);
  };
  FPageCache.WriteIO = [this](const uint8_t* data, uint32_t tableID, uint32_t address,
                              uint32_t flags) { InternalWritePage(data, tableID, address, flags); };
  FPageCache.RecodeIO = [this](uint8_t* data, uint32_t fromTableID, uint32_t fromFlags,
                               uint32_t toTableID, uint32_t toFlags) {
    RecodePage(data, fromTableID, fromFlags, toTableID, toFlags);
  };
  // A block-cache miss must still see pending bytes that lie in other blocks or pages.
  FBlockCache.ReadIO = [this](uint8_t* data, uint32_t count, uint32_t address) {
    ReadPending(data, count, address);
  };
  FBlockCache.WriteIO = [this](const uint8_t* data, uint32_t count, uint32_t address) {
    InternalWrite(data, count, address);
  };
}

TVorFile::~TVorFile() {
  Close();
}

platform::Share TVorFile::ShareMode() const {
  if (FShareDenyWrite && FShareDenyRead) return platform::Share::Exclusive;
  if (FShareDenyWrite) return platform::Share::DenyWrite;
  if (FShareDenyRead) return platform::Share::DenyRead;
  return platform::Share::DenyNone;
}

void TVorFile::SetPageSize(uint32_t pageSize) {
  VOR_ASSERT(!IsOpen(), "Page size changed on an open file", "vorFile");
  FPageSize = pageSize;
}

void TVorFile::SetXORKeyBuf(const void* key, int length) {
  FCrypt.SetXORKeyBuf(key, length, IsOpen());
}

void TVorFile::SetBlowKeyBuf(const void* key, int length) {
  FCrypt.SetBlowKeyBuf(key, length);
}

void TVorFile::SetUpCaches() {
  const int64_t size = std::max<int64_t>(FFile.Size(), 0);
  const int64_t pages = size / FPageSize / 4;
  const auto capacity =
      static_cast<uint32_t>(std::clamp<int64_t>(pages, MinCachePages, MaxCachePages));
  FPageCache.Open(capacity, FPageSize);
  FBlockCache.Open();
  FCryptBuffer.assign(FPageSize, 0);
}

int TVorFile::CreateVorFile(const std::string& name) {
  Close();
  if (!FFile.Create(name, ShareMode())) return -1;
  if (FPageSize > 0) SetUpCaches();
  return Handle();
}

int TVorFile::OpenVorFile(const std::string& name) {
  const char* context = "TVorFile.OpenVorFile";
  if (FPageSize == 0) {
    RaiseDatabaseError(8581, context, "Database page size not set on opening", this);
  }
  if (!FCrypt.HasXORKey())
    RaiseDatabaseError(8581, context, "Crypt key not set before opening", this);
  ReleaseFile();
  platform::Access access = platform::Access::Read;
  if (FReadAccess && FWriteAccess) {
    access = platform::Access::ReadWrite;
  } else if (FWriteAccess) {
    access = platform::Access::Write;
  }
  if (!FFile.Open(name, access, ShareMode())) {
    RaiseDatabaseError(
        8449, context,
        "Unable to open file. Error type of: " + platform::ErrorText(FFile.LastError()), this);
  }
  SetUpCaches();
  return Handle();
}

void TVorFile::ReleaseFile() {
  FPageCache.Clear();
  FBlockCache.Clear();
  FInTransaction = false;
  FAppendPosition = 0;
  FFile.Close();
  FCryptBuffer = {};
}

void TVorFile::Close() {
  ReleaseFile();
  FCrypt.ClearKeys();
}

bool TVorFile::RoutesToPageCache(uint32_t flags) const {
  // Only the page cache enciphers: an enciphered page that bypassed it would reach the disk
  // plain and be read back as if deciphered.
  return (flags & PageFlagCached) != 0 && (FUseCache || FInTransaction || IsCryptFlags(flags));
}

void TVorFile::ReadBytes(uint8_t* buffer, uint32_t address, uint32_t count) {
  if (FInTransaction) {
    FBlockCache.ReadBlock(buffer, 0, count, address, 0);
  } else {
    InternalRead(buffer, count, address);
  }
}

void TVorFile::WriteBytes(const uint8_t* buffer, uint32_t address, uint32_t count) {
  if (FInTransaction) {
    FBlockCache.WriteBlock(buffer, 0, count, address, 0);
    MergeIntoDirtyPages(buffer, address, count);
  } else {
    InternalWrite(buffer, count, address);
  }
  // A cached copy of these bytes is stale now; pages of table data released by a raw zero
  // page are the usual case.
  FPageCache.InvalidateRange(address, count);
}

void TVorFile::ReadRaw(void* buffer, uint32_t address, uint32_t count) {
  if (count == 0) return;
  CheckRange(address, count, false, "TVorFile.InternalRead");
  ReadBytes(static_cast<uint8_t*>(buffer), address, count);
}

void TVorFile::WriteRaw(const void* buffer, uint32_t address, uint32_t count) {
  if (count == 0) return;
  CheckRange(address, count, true, "TVorFile.InternalWrite");
  WriteBytes(static_cast<const uint8_t*>(buffer), address, count);
}

void TVorFile::WriteRawPage(uint32_t address, const void* buffer) {
  WriteRaw(buffer, address, FPageSize);
}

void TVorFile::ReadCached(void* buffer, uint32_t address, uint32_t flags, uint32_t tableID,
                          uint32_t count) {
  if (tableID > MaxTableID) EngineLogger().Log("VorFile", "Invalid table id");
  if (count == 0) return;
  CheckRange(address, count, false, "TVorFile.InternalRead");
  auto* bytes = static_cast<uint8_t*>(buffer);
  if (RoutesToPageCache(flags)) {
    FPageCache.ReadPages(bytes, tableID, count, address, flags);
  } else {
    ReadBytes(bytes, address, count);
  }
}

void TVorFile::WriteCached(const void* buffer, uint32_t address, uint32_t flags, uint32_t tableID,
                           uint32_t count) {
  if (tableID > MaxTableID) EngineLogger().Log("VorFile", "Invalid table id");
  if (count == 0) return;
  CheckRange(address, count, true, "TVorFile.InternalWrite");
  const auto* bytes = static_cast<const uint8_t*>(buffer);
  if (RoutesToPageCache(flags)) {
    FPageCache.WritePages(bytes, tableID, count, address, flags);
    if (FInTransaction) UpdateBlocksFromPages(address, count);
  } else {
    WriteBytes(bytes, address, count);
  }
}

uint32_t TVorFile::SeekAndAppendVorFile(const void* buffer, uint32_t count, uint32_t flags,
                                        uint32_t tableID) {
  const int64_t e = FileEnd();
  // Wrapping past 4 GB would overwrite the start of the file.
  if (e < 0 || e + count > AddressSpace || (count == 0 && e >= AddressSpace)) {
    RaiseDatabaseError(9600, "TVorFile.SeekAndAppendVorFile", "", this);
  }
  const auto address = static_cast<uint32_t>(e);
  WriteCached(buffer, address, flags, tableID, count);
  if (FInTransaction) FAppendPosition += count;
  return address;
}

int64_t TVorFile::FileEnd() {
  if (!FInTransaction) return FFile.Size();
  // StartTransaction takes no lock, so other connections may append until this transaction
  // holds the header lock (and, holding it to commit, appends itself). Until its first append
  // its end is the file's, or it would append over their pages.
  if (FAppendPosition == FSizeAtStart) {
    const int64_t size = FFile.Size();
    if (size > FSizeAtStart) FSizeAtStart = FAppendPosition = size;
  }
  return FAppendPosition;
}

void TVorFile::StartTransaction() {
  if (FInTransaction) RaiseDatabaseError(10256, "TVorFile.StartTransaction", "", this);
  FPageCache.StartTransaction();
  FBlockCache.StartTransaction();
  FAppendPosition = FFile.Size();
  FSizeAtStart = FAppendPosition;
  FInTransaction = true;
}

void TVorFile::WritePending() {
  FPageCache.Commit();
  FBlockCache.Commit();
}

void TVorFile::DiscardPending() {
  DropPagesReadFromPending();
  if (FPageCache.InTransaction()) FPageCache.Rollback();
  if (FBlockCache.InTransaction()) FBlockCache.Rollback();
}

void TVorFile::EndTransaction() {
  FAppendPosition = 0;
  FInTransaction = false;
}

void TVorFile::Commit() {
  if (!FInTransaction) RaiseDatabaseError(10257, "TVorFile.Commit", "", this);
  try {
    WritePending();
  } catch (...) {
    // The file is partly written; no cache may keep claiming what it holds.
    DiscardPending();
    EndTransaction();
    throw;
  }
  EndTransaction();
}

void TVorFile::Rollback() {
  if (!FInTransaction) RaiseDatabaseError(10257, "TVorFile.Rollback", "", this);
  DiscardPending();
  EndTransaction();
}

bool TVorFile::CopyVorFile(const std::string& target) {
  const char* context = "TVorFile.CopyVorFile";
  if (!IsOpen()) RaiseDatabaseError(8449, context, "", this);
  if (FFile.Size() < 0) {
    RaiseDatabaseError(8450, context, "The file could not be positioned for copying", this);
  }
  platform::File copy;
  if (!copy.Create(target, platform::Share::DenyNone)) {
    RaiseDatabaseError(8450, context, "The file could not be copied correctly", this);
  }
  constexpr uint32_t ChunkSize = 4096;
  std::vector<uint8_t> chunk(ChunkSize);
  uint64_t offset = 0;
  for (;;) {
    const int64_t got = FFile.ReadAt(offset, chunk.data(), ChunkSize);
    if (got > 0 && copy.WriteAt(offset, chunk.data(), static_cast<size_t>(got)) != got) break;
    if (got < static_cast<int64_t>(ChunkSize)) break;
    offset += ChunkSize;
  }
  if (copy.Size() != FileEnd()) {
    RaiseDatabaseError(8450, context, "The file could not be copied correctly", this);
  }
  return true;
}
