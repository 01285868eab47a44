// TDiskIOInterface: allocation units, free runs and the global first-empty protocol.
#include "engine/storage/DiskIOInterface.h"

#include <algorithm>
#include <cstring>
#include <numeric>
#include <type_traits>

#include "engine/storage/DBLogger.h"
#include "engine/storage/DatabaseFileLayout.h"
#include "engine/storage/DiskMgr.h"
#include "engine/storage/FreeBlockRun.h"
#include "engine/storage/VorErrors.h"
#include "platform/Format.h"

namespace {

constexpr const char* OpenContext = "TDiskIOInterface.Open";
constexpr const char* AllocateContext = "TDiskIOInterface.AllocateNewAddress";
constexpr const char* ReleaseContext = "TDiskIOInterface.ReleaseBlock";

std::string AddressText(const char* what, uint32_t address) {
  return std::string(what) + std::to_string(address);
}

}  // namespace

// Holds the header write lock for one change. Taken from the unlocked state it is given back
// at the end; under a caller's lock the header is written when dirty and the lock stays.
class TDiskIOInterface::THeaderHold {
 public:
  explicit THeaderHold(TDiskMgr& diskMgr)
      : FDiskMgr(diskMgr), FTook(!diskMgr.HeaderLocked() && !diskMgr.HeaderWriteLocked()) {
    if (!FDiskMgr.HeaderWriteLocked()) FDiskMgr.WriteLockHeader();
  }
  THeaderHold(const THeaderHold&) = delete;
  THeaderHold& operator=(const THeaderHold&) = delete;

  // WriteLockHeader has just read the header when the lock was free. Under a caller's lock a
  // dirty copy holds changes the file does not have yet, so only a clean one is read again.
  void Refresh() {
    TGlobalHdr* header = FDiskMgr.GlobalHdr();
    if (!FTook && header != nullptr && (!header->Loaded || !header->Dirty)) FDiskMgr.ReadHeader();
  }

  void Release() {
    TGlobalHdr* header = FDiskMgr.GlobalHdr();
    if (header != nullptr && header->Dirty) FDiskMgr.WriteHeader();
    if (FTook) FDiskMgr.UnlockHeader();
  }

  void Abandon() noexcept {
    try {
      Release();
    } catch (...) {
      if (FTook) {
        try {
          FDiskMgr.UnlockHeader();
        } catch (...) {
        }
      }
    }
  }

 private:
  TDiskMgr& FDiskMgr;
  bool FTook;
};

void TDiskIOInterface::Open() {
  if (FDiskMgr == nullptr) {
    RaiseDatabaseError(8581, OpenContext, "Unable to open Disk IOInterface - DiskMgr is null",
                       this);
  }
  if (FUsage == 0) {
    RaiseDatabaseError(8581, OpenContext, "Unable to open Disk IOInterface - Usage is not set",
                       this);
  }
  if (FBlockSize == 0) {
    RaiseDatabaseError(8581, OpenContext, "Unable to open Disk IOInterface - Block size is 0",
                       this);
  }
  // A free run's header must fit a block, or releasing one would overwrite its neighbour.
  if (FBlockSize < static_cast<int32_t>(freerun::HeaderSize)) {
    RaiseDatabaseError(8581, OpenContext,
                       "Unable to open Disk IOInterface - Block size is below 16", this);
  }
  if (FTableID >= dbfile::MaxPageOwner || FUsage >= dbfile::MaxPageUsage) {
    RaiseDatabaseError(8581, OpenContext,
                       "Unable to open Disk IOInterface - TableID or Usage is out of range", this);
  }
  if (FDiskMgr->PageSize() <= 0) {
    RaiseDatabaseError(8581, OpenContext, "Unable to open Disk IOInterface - Page size is 0", this);
  }
  if (!FHeaderBuffer.empty()) {
    EngineLogger().Log("DiskInterface",
                       Format("Open- BlockSize %d FirstEmpty %d", {FBlockSize, FFirstEmpty}));
  }
  const auto blockSize = static_cast<uint32_t>(FBlockSize);
  FPageSize = static_cast<uint32_t>(FDiskMgr->PageSize());
  FUnitSize = TDiskMgr::GetBestPageRequestSize(blockSize, FPageSize);
  VOR_ASSERT(FUnitSize >= blockSize && FUnitSize % FPageSize == 0,
             "Invalid request size returned from GetBestPageRequestSize", "vorDisk");
  FAlignment = std::gcd(blockSize, FPageSize);
  FKnownFileEnd = -1;
  // Sized again on every open: the block size may have changed since the last one.
  FHeaderBuffer.assign(size_t{blockSize} * 2, 0);
  TBaseIOInterface::Open();
}

void TDiskIOInterface::Close() {
  FHeaderBuffer.clear();
  FHeaderBuffer.shrink_to_fit();
}

void TDiskIOInterface::CheckOpen(const char* context) const {
  if (FHeaderBuffer.empty())
    RaiseDatabaseError(8576, context, "Disk IOInterface is not open", this);
  if (!FDiskMgr->IsOpen()) RaiseDatabaseError(8576, context, "The database file is not open", this);
}

void TDiskIOInterface::Empty(bool matchUsage) {
  const char* context = "TDiskIOInterface.Empty";
  CheckOpen(context);
  // Owner 0 is the file itself: its pages 0 to 4 and every table header block.
  if (FTableID == 0) {
    RaiseDatabaseError(8581, context, "Unable to empty the pages of the file itself", this);
  }
  FDiskMgr->ReleaseOwnerPages(FTableID, FUsage, matchUsage);
  FFirstEmptyValidated = false;
}

void TDiskIOInterface::LoadGlobalFirstEmpty() {
  FFirstEmpty = FDiskMgr->GlobalHdr()->GlobalInterfaceGetHdrItem(FGlobalItem);
  FFirstEmptyValidated = true;
}

void TDiskIOInterface::StoreGlobalFirstEmpty() {
  if (!FFirstEmptyValidated) {
    RaiseDatabaseError(8581, ReleaseContext,
                       "Attempt to write non validated first empty to global header", this);
  }
  FDiskMgr->GlobalHdr()->SetHdrItem(FGlobalItem, FFirstEmpty);
}

template <typename Change>
auto TDiskIOInterface::ChangeChain(const char* context, Change&& change) -> decltype(change()) {
  if (FGlobalItem == 0) {
    if (!FFirstEmptyValidated) {
      RaiseDatabaseError(8581, context, "DiskIOInterface - non global first empty not set", this);
    }
    return change();
  }
  THeaderHold hold(*FDiskMgr);
  try {
    hold.Refresh();
    LoadGlobalFirstEmpty();
    if constexpr (std::is_void_v<decltype(change())>) {
      change();
      StoreGlobalFirstEmpty();
      hold.Release();
    } else {
      auto result = change();
      StoreGlobalFirstEmpty();
      hold.Release();
      return result;
    }
  } catch (...) {
    // FirstEmpty names the chain as far as the change got; the header must say so too.
    try {
      if (FFirstEmptyValidated) StoreGlobalFirstEmpty();
    } catch (...) {
    }
    hold.Abandon();
    throw;
  }
}

bool TDiskIOInterface::FitsInterface(uint32_t address, uint64_t count, int64_t fileEnd) const {
  const uint64_t blockSize = static_cast<uint32_t>(FBlockSize);
  if (count == 0 || count > FUnitSize / blockSize) return false;
  if (address < uint64_t{dbfile::InitialPageCount} * FPageSize) return false;
  // Units start on page boundaries and blocks follow each other from there.
  if (address % FAlignment != 0) return false;
  if (FUnitSize == FPageSize) {
    const uint64_t offset = address % FPageSize;
    if (offset % blockSize != 0 || offset + count * blockSize > FPageSize) return false;
  }
  return fileEnd < 0 || address + count * blockSize <= static_cast<uint64_t>(fileEnd);
}

bool TDiskIOInterface::IsPlausibleBlock(uint32_t address) {
  if (FHeaderBuffer.empty() || !FDiskMgr->IsOpen()) return false;
  // The file only grows while blocks are followed; ask for its size only past the known end.
  const uint64_t end = uint64_t{address} + static_cast<uint32_t>(FBlockSize);
  if (FKnownFileEnd < 0 || end > static_cast<uint64_t>(FKnownFileEnd)) {
    FKnownFileEnd = FDiskMgr->FileEnd();
  }
  return FKnownFileEnd >= 0 && FitsInterface(address, 1, FKnownFileEnd);
}

uint32_t TDiskIOInterface::AllocateNewAddress(uint32_t size, const void* data) {
  CheckOpen(AllocateContext);
  if (size > static_cast<uint32_t>(FBlockSize)) {
    RaiseDatabaseError(8581, AllocateContext, "Block request sizes < block size", this);
  }
  const uint32_t address = ChangeChain(AllocateContext, [&] {
    return FFirstEmpty != 0 ? TakeFromRun(size, data, AllocateContext) : AllocateUnit(size, data);
  });
  if (FDebugLog != nullptr) Trace(Format("AllocateNewAddress %d size %d", {address, size}));
  return address;
}

uint32_t TDiskIOInterface::TakeFromRun(uint32_t size, const void* data, const char* context) {
  const auto blockSize = static_cast<uint32_t>(FBlockSize);
  const uint32_t head = FFirstEmpty;
  const int64_t fileEnd = FDiskMgr->FileEnd();
  if (!FitsInterface(head, 1, fileEnd)) {
    RaiseDatabaseError(8962, context, AddressText("Free block chain points outside: ", head), this);
  }
  uint8_t* header = FHeaderBuffer.data();
  uint8_t* image = header + blockSize;
  FDiskMgr->ReadBytes(head, blockSize, header, FPageFlags, FTableID);
  const uint32_t next = freerun::Next(header);
  const uint32_t count = freerun::Count(header);
  const uint64_t runEnd = uint64_t{head} + uint64_t{count} * blockSize;
  if (!freerun::HasZeroPrefix(header) || !FitsInterface(head, count, fileEnd) ||
      (next >= head && next < runEnd)) {
    RaiseDatabaseError(8962, context, AddressText("Free block run is invalid at ", head), this);
  }

  // The rest of the run gets its header before the head is handed out, so that a failure
  // in between loses at most the block, never the chain.
  uint32_t newHead = next;
  if (count > 1) {
    std::fill_n(header, blockSize, uint8_t{0});
    freerun::PutHeader(header, next, count - 1);
    FDiskMgr->WriteBytes(head + blockSize, blockSize, header, FPageFlags, FTableID);
    newHead = head + blockSize;
  }
  FFirstEmpty = newHead;

  // The caller's buffer holds only size bytes: the block is built in a zeroed image.
  std::fill_n(image, blockSize, uint8_t{0});
  if (data != nullptr && size > 0) std::memcpy(image, data, size);
  FDiskMgr->WriteBytes(head, blockSize, image, FPageFlags, FTableID);
  return head;
}

uint32_t TDiskIOInterface::AllocateUnit(uint32_t size, const void* data) {
  const auto blockSize = static_cast<uint32_t>(FBlockSize);
  // One block is taken (size never exceeds it); the whole blocks after it form one run whose
  // next link is 0, since the chain was empty.
  std::vector<uint8_t> unit(FUnitSize, 0);
  if (data != nullptr && size > 0) std::memcpy(unit.data(), data, size);
  const uint32_t runCount = (FUnitSize - blockSize) / blockSize;
  if (runCount > 0) freerun::PutHeader(unit.data() + blockSize, 0, runCount);
  const uint32_t address =
      FDiskMgr->AllocatePages(FTableID, FPageFlags, unit.data(), FUnitSize / FPageSize, FUsage);
  if (runCount > 0) FFirstEmpty = address + blockSize;
  return address;
}

void TDiskIOInterface::ReleaseBlock(uint32_t address, uint32_t size) {
  CheckOpen(ReleaseContext);
  ChangeChain(ReleaseContext, [&] {
    if (size >= FPageSize && address % FPageSize == 0 && size % FPageSize == 0) {
      ReleasePages(address, size, ReleaseContext);
    } else {
      ReleaseRun(address, size, ReleaseContext);
    }
  });
  if (FDebugLog != nullptr) Trace(Format("ReleaseBlock %d size %d", {address, size}));
}

void TDiskIOInterface::ReleasePages(uint32_t address, uint32_t size, const char* context) {
  const int64_t fileEnd = FDiskMgr->FileEnd();
  if (address < uint64_t{dbfile::InitialPageCount} * FPageSize ||
      (fileEnd >= 0 && uint64_t{address} + size > static_cast<uint64_t>(fileEnd))) {
    RaiseDatabaseError(8451, context, AddressText("Block address is out of range: ", address),
                       this);
  }
  FDiskMgr->ReleasePages(address, size / FPageSize);
}

void TDiskIOInterface::ReleaseRun(uint32_t address, uint32_t size, const char* context) {
  const auto blockSize = static_cast<uint32_t>(FBlockSize);
  // A release frees at least the block at the address.
  const uint64_t count = std::max<uint64_t>(1, (uint64_t{size} + blockSize - 1) / blockSize);
  if (!FitsInterface(address, count, FDiskMgr->FileEnd())) {
    RaiseDatabaseError(8451, context, AddressText("Block address is out of range: ", address),
                       this);
  }
  // The head of the chain is free already; linking it to itself would hand it out forever.
  if (address == FFirstEmpty) {
    RaiseDatabaseError(8451, context, AddressText("Block is already free: ", address), this);
  }
  std::vector<uint8_t> run(count * blockSize, 0);
  freerun::PutHeader(run.data(), FFirstEmpty, static_cast<uint32_t>(count));
  FDiskMgr->WriteBytes(address, static_cast<uint32_t>(run.size()), run.data(), FPageFlags,
                       FTableID);
  FFirstEmpty = address;
}

void TDiskIOInterface::WriteBlock(uint32_t address, uint32_t size, const void* buffer) {
  if (buffer == nullptr && size > 0) {
    RaiseDatabaseError(8581, "TDiskIOInterface.WriteBlock", "Write page error - nil pointer", this);
  }
  FDiskMgr->WriteBytes(address, size, buffer, FPageFlags, FTableID);
}

void TDiskIOInterface::ReadBlock(uint32_t address, uint32_t size, void* buffer) {
  if (buffer == nullptr && size > 0) {
    RaiseDatabaseError(8581, "TDiskIOInterface.ReadBlock", "Unassigned memory pointer", this);
  }
  FDiskMgr->ReadBytes(address, size, buffer, FPageFlags, FTableID);
}

void TDiskIOInterface::WriteBlockHeader(uint32_t address, uint32_t size, const void* buffer) {
  if (buffer == nullptr && size > 0) {
    RaiseDatabaseError(8581, "TDiskIOInterface.WriteBlockHeader",
                       "Write header error - nil pointer", this);
  }
  FDiskMgr->WriteBytes(address, size, buffer, FPageFlags, FTableID);
}

void TDiskIOInterface::ReadBlockHeader(uint32_t address, uint32_t size, void* buffer) {
  if (buffer == nullptr && size > 0) {
    RaiseDatabaseError(8581, "TDiskIOInterface.ReadBlockHeader", "Read header error - nil pointer",
                       this);
  }
  FDiskMgr->ReadBytes(address, size, buffer, FPageFlags, FTableID);
}

void TDiskIOInterface::ListBlocks(std::vector<uint32_t>& list) {
  FDiskMgr->ListAllocatedFixedBlocks(static_cast<uint32_t>(FBlockSize), FTableID, list, FUsage);
}

void TDiskIOInterface::InvalidateCache(uint32_t tableID) {
  if (FDiskMgr != nullptr) FDiskMgr->File().PageCache().InvalidateTable(tableID);
}
