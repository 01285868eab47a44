#include "engine/tables/TableHeaderMgr.h"

#include <algorithm>
#include <exception>
#include <string>

#include "engine/storage/BaseIOInterface.h"
#include "engine/storage/LittleEndian.h"
#include "engine/storage/VorCommon.h"
#include "engine/storage/VorErrors.h"
#include "platform/Exception.h"

namespace {

constexpr const char* Unit = "vorDataUnit";

// The header block of a new table, as AddTable writes it.
std::vector<uint8_t> NewHeaderBlock(uint32_t tableID, uint32_t indexCount) {
  std::vector<uint8_t> block(tblhdr::BlockSize, 0);
  le::PutU32(block.data() + tblhdr::TableIDOffset, tableID);
  le::PutU32(block.data() + tblhdr::ChangeCounterOffset, 1);
  le::PutU32(block.data() + tblhdr::HeaderSizeOffset, tblhdr::BlockSize);
  le::PutU32(block.data() + tblhdr::IndexCountOffset, indexCount);
  return block;
}

}  // namespace

TBaseIOInterface& TTableHeaderMgr::Interface(const char* text) const {
  VOR_ASSERT(FIOInterface != nullptr, text, Unit);
  return *FIOInterface;
}

void TTableHeaderMgr::Open(TBaseIOInterface& ioInterface) {
  if (FBaseAddress == 0) {
    RaiseDatabaseError(8581, "TTableHeaderMgr.Open",
                       "Base address of table header mapper has not been set");
  }
  FIOInterface = &ioInterface;
  ReadMap();
}

void TTableHeaderMgr::ReadMap() {
  TTableHeaderMap::TBytes bytes;
  Interface("InternalReadMap: IOInterface = nil")
      .ReadBlock(FBaseAddress, tblmap::MapSize, bytes.data());
  FMap.Load(bytes, "TTableHeaderMgr.ReadMap");
}

void TTableHeaderMgr::WriteMap() {
  Interface("InternalWriteMap: IOInterface = nil")
      .WriteBlock(FBaseAddress, tblmap::MapSize, FMap.Bytes().data());
}

void TTableHeaderMgr::CheckHeaderAddress(uint32_t address, const char* context) const {
  if (!Interface("HeaderMgr: IOInterface = nil").IsPlausibleBlock(address)) {
    RaiseDatabaseError(8961, context,
                       "Table header map: bad header address " + std::to_string(address));
  }
}

uint32_t TTableHeaderMgr::ReadHeaderSize(uint32_t address, uint32_t tableID, const char* context) {
  uint8_t probe[tblhdr::SizeProbeBytes];
  Interface("HeaderMgr: IOInterface = nil").ReadBlock(address, sizeof probe, probe);
  // The size decides how much is freed: only a sound header of this table may give it.
  const uint32_t size = le::GetU32(probe + tblhdr::HeaderSizeOffset);
  if (size != tblhdr::BlockSize || le::GetU32(probe + tblhdr::TableIDOffset) != tableID) {
    RaiseDatabaseError(8961, context, "Table header of table " + std::to_string(tableID));
  }
  return size;
}

uint32_t TTableHeaderMgr::AddTable(int indexCount) {
  constexpr const char* context = "TTableHeaderMgr.AddTable";
  ReadMap();
  if (FMap.Full()) RaiseDatabaseError(9601, context);
  CheckHeaderSize(indexCount);
  const auto tableID = FMap.SmallestFreeTableID();
  VOR_ASSERT(tableID.has_value(), "TableID out of range", Unit);

  // The block is written complete before the map names it, so that no failure can leave a
  // map pair pointing at an empty block.
  TBaseIOInterface& io = Interface("HeaderMgr: IOInterface = nil");
  const auto block = NewHeaderBlock(*tableID, static_cast<uint32_t>(indexCount));
  const uint32_t address = io.AllocateNewAddress(tblhdr::BlockSize, block.data());
  VOR_ASSERT(address != 0, "HeaderMgr. AddTable allocate = 0", Unit);
  try {
    FMap.Append(*tableID, address);
    WriteMap();
  } catch (...) {
    try {
      io.ReleaseBlock(address, tblhdr::BlockSize);
    } catch (...) {
      // The block stays allocated; the first failure is the one to report.
    }
    throw;
  }
  return *tableID;
}

void TTableHeaderMgr::DeleteTable(uint32_t tableID) {
  constexpr const char* context = "TTableHeaderMgr.DeleteTable";
  ReadMap();
  const auto position = FMap.FindMapEntry(tableID);
  if (!position) RaiseDatabaseError(8579, context, "Delete table");
  // A header still open would later be written over a freed (and perhaps reused) block.
  if (FindOpenHeader(tableID) != nullptr) {
    RaiseDatabaseError(8578, context, "Table " + std::to_string(tableID));
  }
  const uint32_t address = FMap.AddressAt(*position);
  CheckHeaderAddress(address, context);
  const uint32_t size = ReadHeaderSize(address, tableID, context);
  // The map forgets the block before it is freed: a failure in between leaks one block
  // instead of leaving a pair that names a free block.
  FMap.Remove(*position);
  WriteMap();
  Interface("HeaderMgr: IOInterface = nil").ReleaseBlock(address, size);
}

TTableHeader* TTableHeaderMgr::FindOpenHeader(uint32_t tableID) const {
  for (const auto& header : FHeaders) {
    if (header->MapTableID() == tableID) return header.get();
  }
  return nullptr;
}

TTableHeader& TTableHeaderMgr::OpenTable(uint32_t tableID) {
  constexpr const char* context = "TTableHeaderMgr.OpenTable";
  if (TTableHeader* open = FindOpenHeader(tableID)) {
    open->SetOpenCount(open->OpenCount() + 1);
    return *open;
  }
  ReadMap();
  const auto position = FMap.FindMapEntry(tableID);
  if (!position) {
    RaiseDatabaseError(8581, context, "The TableID could not be found: " + std::to_string(tableID));
  }
  const uint32_t address = FMap.AddressAt(*position);
  CheckHeaderAddress(address, context);
  auto header = std::make_unique<TTableHeader>(*this, address, tableID);
  // ReadHeader takes the block over only when its stored HeaderSize is this size.
  header->ResizeBuffer(tblhdr::BlockSize, true);
  header->ReadHeader();
  header->SetOpenCount(1);
  header->SetDirty(false);
  FHeaders.push_back(std::move(header));
  return *FHeaders.back();
}

void TTableHeaderMgr::CloseTable(TTableHeader* header) {
  if (header == nullptr) {
    RaiseDatabaseError(8581, "TTableHeaderMgr.CloseTable",
                       "The requested object has not been assigned");
  }
  auto it = std::find_if(FHeaders.begin(), FHeaders.end(),
                         [header](const auto& item) { return item.get() == header; });
  VOR_ASSERT(it != FHeaders.end(), "Table header is not open in this manager", Unit);
  header->SetOpenCount(header->OpenCount() - 1);
  if (header->OpenCount() > 0) return;
  std::unique_ptr<TTableHeader> closing = std::move(*it);
  FHeaders.erase(it);
  if (closing->Dirty()) closing->WriteHeader();
}

void TTableHeaderMgr::CloseAll() {
  std::exception_ptr failure;
  auto headers = std::move(FHeaders);
  FHeaders.clear();
  for (auto& header : headers) {
    try {
      if (header->Dirty()) header->WriteHeader();
    } catch (...) {
      if (!failure) failure = std::current_exception();
    }
  }
  if (failure) std::rethrow_exception(failure);
}
