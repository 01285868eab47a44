#include "engine/tables/TableDef.h"

#include <string>
#include <vector>

#include "engine/storage/BaseIOInterface.h"
#include "engine/storage/DatabaseFileLayout.h"
#include "engine/storage/DiskIOInterface.h"
#include "engine/storage/MemoryIOInterface.h"
#include "engine/storage/VorErrors.h"
#include "engine/tables/RecordLayout.h"
#include "engine/tables/TableHeader.h"
#include "engine/tables/TableHeaderMap.h"
#include "engine/tables/TableInterfaces.h"

namespace {

// The largest record a layout of at most 255 fields can give: every field a string of 255.
constexpr int32_t MaxRecordSize =
    static_cast<int32_t>(record::HeaderSize) +
    record::MaxFieldCount *
        (1 + static_cast<int32_t>(record::SizeMarkerWidth) + record::MaxStringFieldSize);

// Block sizes come from a stored definition: out of range they would make the interfaces
// allocate absurd buffers.
void CheckBlockSize(int32_t size, int32_t max, const char* what, const std::string& context) {
  if (size <= 0 || size > max) {
    RaiseDatabaseError(8451, context,
                       std::string(what) + " " + std::to_string(size) + " is out of range");
  }
}

std::unique_ptr<TMemoryIOInterface> MakeMemoryInterface(uint16_t tableID, uint16_t usage,
                                                        int32_t blockSize, uint32_t pageFlags) {
  auto io = std::make_unique<TMemoryIOInterface>();
  io->SetTableID(tableID);
  io->SetUsage(usage);
  io->SetBlockSize(blockSize);
  io->SetPageFlags(pageFlags);
  return io;
}

}  // namespace

TTableDef::TTableDef() = default;
TTableDef::~TTableDef() = default;

int32_t TTableDef::IndexBlockSize(const std::string& context) const {
  if (FInternalIndexDefs.Count() == 0) return tabledef::DefaultIndexPageSize;
  const int32_t size = FInternalIndexDefs.Items(0).IndexPageSize;
  CheckBlockSize(size, tabledef::MaxIndexPageSize, "Index page size", context);
  return size;
}

void TTableDef::InternalOpen(TDiskMgr* diskMgr) {
  const std::string context = FTableName + "TableDef.InternalOpen";
  if (FTableHeader == nullptr) RaiseDatabaseError(8576, context, "Table header", this);
  if (!FOwned || FInterfacesOpen) return;
  // The identifier owns the table's pages; the page map keeps owners below 2048.
  if (FTableID <= 0 || static_cast<uint32_t>(FTableID) >= tblmap::TableIDLimit) {
    RaiseDatabaseError(8451, context, "Table identifier " + std::to_string(FTableID), this);
  }
  if (FMemory) {
    OpenMemoryInterfaces(context);
  } else {
    if (diskMgr == nullptr) RaiseDatabaseError(8576, context, "Disk manager", this);
    OpenDiskInterfaces(*diskMgr, context);
  }
  FIndexInterface = FOwnIndexInterface.get();
  FBlobInterface = FOwnBlobInterface.get();
  FRecordInterface = FOwnRecordInterface.get();
  FInterfacesOpen = true;
}

void TTableDef::OpenMemoryInterfaces(const std::string& context) {
  if (FUsesBlobs)
    CheckBlockSize(FDefaultBlobSize, tabledef::MaxBlobBlockSize, "Blob size", context);
  CheckBlockSize(FRecordSize, MaxRecordSize, "Record size", context);
  const auto id = static_cast<uint16_t>(FTableID);
  const uint32_t flags = TablePageFlags(FEncryptionLevel);
  auto index = MakeMemoryInterface(id, dbfile::UsageIndex, tabledef::MemoryIndexBlockSize, flags);
  auto blob = MakeMemoryInterface(id, dbfile::UsageBlob, FDefaultBlobSize, flags);
  auto records = MakeMemoryInterface(id, dbfile::UsageRecords, FRecordSize, flags);
  index->Open();
  if (FUsesBlobs) blob->Open();
  records->Open();

  // The data of a memory table lives in its interfaces, so its empty trees are made here.
  const std::vector<uint8_t> root = EmptyRootBlock(tabledef::MemoryIndexBlockSize);
  for (int i = 0; i < FInternalIndexDefs.Count(); ++i) {
    const uint32_t address =
        index->AllocateNewAddress(static_cast<uint32_t>(root.size()), root.data());
    FTableHeader->SetIndexRoot(static_cast<uint32_t>(i), address);
    FTableHeader->SetIndexDepth(static_cast<uint32_t>(i), tabledef::EmptyRootDepth);
  }
  FTableHeader->WriteHeader();

  FOwnIndexInterface = std::move(index);
  FOwnBlobInterface = std::move(blob);
  FOwnRecordInterface = std::move(records);
}

void TTableDef::OpenDiskInterfaces(TDiskMgr& diskMgr, const std::string& context) {
  if (FInternalFields.RecordSize() == 0) FInternalFields.SetDefaultOffsets();
  const int32_t recordSize = FInternalFields.RecordSize();
  CheckBlockSize(recordSize, MaxRecordSize, "Record size", context);
  if (FUsesBlobs)
    CheckBlockSize(FDefaultBlobSize, tabledef::MaxBlobBlockSize, "Blob size", context);
  const int32_t indexSize = IndexBlockSize(context);

  const auto id = static_cast<uint16_t>(FTableID);
  const uint32_t flags = TablePageFlags(FEncryptionLevel);
  auto index = MakeTableDiskInterface(diskMgr, id, dbfile::UsageIndex, indexSize, flags);
  index->SetGlobalItem(dbfile::HdrIndexFirstEmpty);
  auto blob = MakeTableDiskInterface(diskMgr, id, dbfile::UsageBlob, FDefaultBlobSize, flags);
  blob->SetFirstEmpty(FTableHeader->BlobFirstEmpty());
  auto records = MakeTableDiskInterface(diskMgr, id, dbfile::UsageRecords, recordSize, flags);
  records->SetFirstEmpty(FTableHeader->RecordFirstEmpty());
  index->Open();
  if (FUsesBlobs) blob->Open();
  records->Open();

  FOwnIndexInterface = std::move(index);
  FOwnBlobInterface = std::move(blob);
  FOwnRecordInterface = std::move(records);
}

void TTableDef::CloseInterfaces() {
  if (FInterfacesOpen && FOwned) {
    for (auto* own : {&FOwnIndexInterface, &FOwnBlobInterface, &FOwnRecordInterface}) {
      if (*own) (*own)->Close();
      own->reset();
    }
  }
  FIndexInterface = nullptr;
  FBlobInterface = nullptr;
  FRecordInterface = nullptr;
  FInterfacesOpen = false;
}

void TTableDef::ForgetConnection() {
  FTableHeader = nullptr;
  FIndexInterface = nullptr;
  FBlobInterface = nullptr;
  FRecordInterface = nullptr;
  FInterfacesOpen = false;
}

void TTableDef::Clear() {
  if (FOwned) RaiseDatabaseError(8577, "TTableDef.Clear", FTableName, this);
  ForgetConnection();
  FOwned = false;
  FOpenCount = 0;
  // Every streamed property starts afresh, so that nothing of a previous table is carried
  // into the next one described by this object.
  FTableID = 0;
  FOwnerFlag = 0;
  FTableName.clear();
  FAltName.clear();
  FVersion.clear();
  FOS.clear();
  FCreationDate = 0;
  FLastModDate = 0;
  FCreatedBy.clear();
  FPassword.clear();
  FEncrypted = false;
  FSecurityLevel = 0;
  FMemory = false;
  FRecordSize = 0;
  FDefaultBlobSize = tabledef::DefaultBlobSize;
  FUsesBlobs = false;
  FSortOrder = soANSI;
  FInternalTable = false;
  FEncryptionLevel = encNone;
  FKeyFields.Clear();
  FKeyFields.KeyDataOffset = 0;
  FInternalFields.Clear();
  FInternalIndexDefs.Clear();
  FPrivileges = 0;
}

void TTableDef::Assign(const TTableDef& source) {
  if (&source == this) return;
  FTableID = source.FTableID;
  FTableName = source.FTableName;
  FVersion = source.FVersion;
  FOS = source.FOS;
  FCreationDate = source.FCreationDate;
  FCreatedBy = source.FCreatedBy;
  FEncrypted = source.FEncrypted;
  FEncryptionLevel = source.FEncryptionLevel;
  FPassword = source.FPassword;
  FMemory = source.FMemory;
  FKeyFields.Assign(source.FKeyFields);
  FInternalFields.Assign(source.FInternalFields);
  FInternalIndexDefs.Assign(source.FInternalIndexDefs);
  FRecordSize = source.FRecordSize;
  FUsesBlobs = source.FUsesBlobs;
  FDefaultBlobSize = source.FDefaultBlobSize;
  FSortOrder = source.FSortOrder;
  FAltName = source.FAltName;
  FPrivileges = source.FPrivileges;
}

void TTableDef::RepairKeyFieldIndexNames() {
  const TInternalIndexDef* unnamed = nullptr;
  for (int i = 0; i < FInternalIndexDefs.Count() && unnamed == nullptr; ++i) {
    const TInternalIndexDef& def = FInternalIndexDefs.Items(i);
    if (FKeyFields.CountForIndex(def.IndexName) == 0) unnamed = &def;
  }
  if (unnamed == nullptr) return;
  for (int i = 0; i < FKeyFields.Count(); ++i) {
    TKeyFieldItem& field = FKeyFields.Items(i);
    if (FInternalIndexDefs.FindIndexDef(field.IndexName) == nullptr) {
      field.IndexName = unnamed->IndexName;
    }
  }
}

void TTableDef::ShareConnection(TTableDef& target) const {
  if (&target == this) return;
  target.FTableHeader = FTableHeader;
  target.FIndexInterface = FIndexInterface;
  target.FBlobInterface = FBlobInterface;
  target.FRecordInterface = FRecordInterface;
  target.FInterfacesOpen = FInterfacesOpen;
}
