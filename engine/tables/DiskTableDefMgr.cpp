#include "engine/tables/DiskTableDefMgr.h"

#include <algorithm>
#include <vector>

#include "engine/storage/BaseIOInterface.h"
#include "engine/storage/DatabaseFileLayout.h"
#include "engine/storage/DiskIOInterface.h"
#include "engine/storage/DiskMgr.h"
#include "engine/storage/VorCommon.h"
#include "engine/storage/VorErrors.h"
#include "engine/tables/TableHeader.h"
#include "engine/tables/TableHeaderMgr.h"
#include "engine/tables/TableInterfaces.h"

namespace {

// One reference to a table header for the length of an operation. Given back unwritten when
// the operation fails, so that a half-done change never reaches the file through it.
class THeaderRef {
 public:
  THeaderRef(TTableHeaderMgr& headers, uint32_t tableID)
      : FHeaders(headers), FHeader(&headers.OpenTable(tableID)) {}
  ~THeaderRef() {
    if (FHeader == nullptr) return;
    FHeader->SetDirty(false);
    try {
      FHeaders.CloseTable(FHeader);
    } catch (...) {
      // The failure of the operation is the one to report.
    }
  }
  THeaderRef(const THeaderRef&) = delete;
  THeaderRef& operator=(const THeaderRef&) = delete;

  TTableHeader& Header() { return *FHeader; }
  void Close() {
    TTableHeader* header = FHeader;
    FHeader = nullptr;
    FHeaders.CloseTable(header);
  }

 private:
  TTableHeaderMgr& FHeaders;
  TTableHeader* FHeader;
};

void StoreEmptyRoots(TBaseIOInterface& index, TTableHeader& header, int count) {
  const std::vector<uint8_t> root = EmptyRootBlock(index.BlockSize());
  for (int i = 0; i < count; ++i) {
    const uint32_t address =
        index.AllocateNewAddress(static_cast<uint32_t>(root.size()), root.data());
    header.SetIndexRoot(static_cast<uint32_t>(i), address);
    header.SetIndexDepth(static_cast<uint32_t>(i), tabledef::EmptyRootDepth);
  }
}

}  // namespace

TDiskTableDefMgr::TDiskTableDefMgr() = default;

TDiskTableDefMgr::~TDiskTableDefMgr() {
  try {
    ClearTableDefs();
  } catch (...) {
    // A destructor has nobody to report to.
  }
}

TTableHeaderMgr& TDiskTableDefMgr::Headers(const char* context) {
  if (!FHeaderMgr) RaiseDatabaseError(8576, context, "Table header manager", this);
  return *FHeaderMgr;
}

TDiskMgr& TDiskTableDefMgr::DiskMgr(const char* context) {
  if (FHeaderInterface == nullptr || FHeaderInterface->DiskMgr() == nullptr) {
    RaiseDatabaseError(8576, context, "Disk manager", this);
  }
  return *FHeaderInterface->DiskMgr();
}

std::unique_ptr<TBaseIOInterface> TDiskTableDefMgr::OpenIndexInterface(const TTableDef& definition,
                                                                       const char* context) {
  auto index = MakeTableDiskInterface(DiskMgr(context), static_cast<uint16_t>(definition.TableID()),
                                      dbfile::UsageIndex, definition.IndexBlockSize(context),
                                      TablePageFlags(definition.EncryptionLevel()));
  index->SetGlobalItem(dbfile::HdrIndexFirstEmpty);
  index->Open();
  return index;
}

void TDiskTableDefMgr::InitIndexRoots(TTableDef& definition) {
  constexpr const char* context = "TDiskTableDefMgr.InitIndexRoots";
  TTableHeaderMgr& headers = Headers(context);
  THeaderRef header(headers, static_cast<uint32_t>(definition.TableID()));
  auto index = OpenIndexInterface(definition, context);
  StoreEmptyRoots(*index, header.Header(), definition.InternalIndexDefs().Count());
  header.Header().WriteHeader();
  index->Close();
  header.Close();
}

void TDiskTableDefMgr::AbandonTable(uint32_t tableID) noexcept {
  try {
    Headers("TDiskTableDefMgr.CreateTableDef").DeleteTable(tableID);
  } catch (...) {
  }
  try {
    DiskMgr("TDiskTableDefMgr.CreateTableDef").ReleaseOwnerPages(tableID, 0, false);
  } catch (...) {
  }
}

int32_t TDiskTableDefMgr::CreateTableDef(const std::string& name, TTableDef& definition) {
  constexpr const char* context = "TDiskTableDefMgr.CreateTableDef";
  if (definition.Memory()) RaiseDatabaseError(8577, context, name, this);
  if (IndexOfTableName(name) >= 0) RaiseDatabaseError(8580, context, name, this);
  TTableHeaderMgr& headers = Headers(context);
  std::unique_ptr<TTableDef> owned = OwnedCopy(definition);
  const uint32_t tableID = headers.AddTable(definition.InternalIndexDefs().Count());
  owned->SetTableID(static_cast<int32_t>(tableID));
  owned->SetOwnerFlag(tableID * 16);
  try {
    InitIndexRoots(*owned);
  } catch (...) {
    // A table without its roots could never be opened; nothing of it may stay behind.
    AbandonTable(tableID);
    throw;
  }
  FTableDefs.push_back(std::move(owned));
  definition.SetTableID(static_cast<int32_t>(tableID));
  definition.SetOwnerFlag(tableID * 16);
  return static_cast<int32_t>(tableID);
}

void TDiskTableDefMgr::CloseTableDefConnection(int32_t tableID) {
  constexpr const char* context = "TDiskTableDefMgr.CloseTableDefConnection";
  const int position = IndexOfTableID(tableID);
  if (position < 0) RaiseDatabaseError(8579, context, std::to_string(tableID), this);
  TTableDef& owned = TableDefs(position);
  if (owned.OpenCount() > 0) owned.SetOpenCount(owned.OpenCount() - 1);
  if (owned.OpenCount() > 0) return;
  std::unique_ptr<TTableDef> closing = TakeAt(position);
  CloseOwned(*closing, FHeaderMgr.get());
}

void TDiskTableDefMgr::OpenTableDefConnection(const std::string& name, TTableDef& definition) {
  constexpr const char* context = "TDiskTableDefMgr.OpenTableDefConnection";
  TTableHeaderMgr& headers = Headers(context);
  const int position = IndexOfTableName(name);
  std::unique_ptr<TTableDef> fresh;
  TTableDef* owned = nullptr;
  if (position < 0) {
    fresh = OwnedCopy(definition);
    owned = fresh.get();
  } else {
    owned = &TableDefs(position);
  }
  if (!owned->InterfacesOpen()) OpenOwned(*owned, headers, &DiskMgr(context));
  if (fresh) FTableDefs.push_back(std::move(fresh));
  owned->ShareConnection(definition);
  owned->SetOpenCount(owned->OpenCount() + 1);
}

void TDiskTableDefMgr::DeleteTableDef(const std::string& /*name*/, TTableDef& definition) {
  constexpr const char* context = "TDiskTableDefMgr.DeleteTableDef";
  InternalDeleteTableDef(definition, Headers(context), context);
}

void TDiskTableDefMgr::RestructureTableDef(TTableDef& definition,
                                           const TRestructureDescription& description) {
  constexpr const char* context = "TDiskTableDefMgr.RestructureTableDef";
  if (definition.Memory()) RaiseDatabaseError(8577, context, definition.TableName(), this);
  const int indexCount = definition.InternalIndexDefs().Count();
  CheckHeaderSize(indexCount);
  // Emptying or re-rooting a table under open connections would pull their pages away.
  const int position = IndexOfTableID(definition.TableID());
  if (position >= 0 && TableDefs(position).OpenCount() > 0) {
    RaiseDatabaseError(8578, context, definition.TableName(), this);
  }
  TTableHeaderMgr& headers = Headers(context);
  THeaderRef ref(headers, static_cast<uint32_t>(definition.TableID()));
  TTableHeader& header = ref.Header();

  const bool fieldsChange = NeedsRebuild(description.FieldChangeStatus);
  const bool rebuild = fieldsChange || NeedsRebuild(description.IndexChangeStatus);
  const uint32_t autoInc = description.LastAutoIncValue.value_or(header.LastAutoIncValue());
  const uint32_t reserved1 = description.Reserved1.value_or(header.Reserved1());
  const uint32_t reserved2 = description.Reserved2.value_or(header.Reserved2());

  if (rebuild) {
    const uint32_t tableID = header.TableID();
    // The counter keeps rising, so that every reader of the header sees the change.
    const uint32_t counter = header.ChangeCounter();
    if (!fieldsChange) {
      // Slots that go away are cleared: after the last slot a header holds zeros.
      for (uint32_t slot = static_cast<uint32_t>(indexCount); slot < header.IndexCount(); ++slot) {
        header.SetIndexRoot(slot, 0);
        header.SetIndexDepth(slot, 0);
      }
    }
    header.ResizeBuffer(tblhdr::BlockSize, fieldsChange);
    header.SetTableID(tableID);
    header.SetChangeCounter(counter);
    header.SetIndexCount(static_cast<uint32_t>(std::max(indexCount, 1)));
  }
  header.SetLastAutoIncValue(autoInc);
  header.SetReserved1(reserved1);
  header.SetReserved2(reserved2);

  if (fieldsChange) {
    // Only the owner matters to emptying: every page of the table goes, whatever its usage.
    TDiskMgr& diskMgr = DiskMgr(context);
    auto records = MakeTableDiskInterface(diskMgr, static_cast<uint16_t>(definition.TableID()),
                                          dbfile::UsageRecords, diskMgr.PageSize(),
                                          TablePageFlags(definition.EncryptionLevel()));
    records->Open();
    records->Empty(false);
    records->Close();
  }
  if (rebuild) {
    auto index = OpenIndexInterface(definition, context);
    index->SetFirstEmpty(0);
    index->SetFirstEmptyValidated(false);
    StoreEmptyRoots(*index, header, indexCount);
    index->Close();
  }
  header.WriteHeader();
  ref.Close();
}

void TDiskTableDefMgr::OpenManager() {
  ClearTableDefs();
  InternalInitHeaderMgr();
}

void TDiskTableDefMgr::ClearTableDefs() {
  CloseAll(FHeaderMgr.get());
}

void TDiskTableDefMgr::InternalInitHeaderMgr() {
  constexpr const char* context = "TDiskTableDefMgr.InternalInitHeaderMgr";
  if (FHeaderInterface == nullptr) RaiseDatabaseError(8579, context, "Header interface", this);
  if (FHeaderMapAddress == 0) RaiseDatabaseError(8576, context, "Header map address", this);
  if (FHeaderMgr) {
    const bool same = FHeaderMgr->IOInterface() == FHeaderInterface &&
                      FHeaderMgr->BaseAddress() == FHeaderMapAddress;
    // A manager of another interface or map is only replaced when no definition uses it.
    if (same || !FTableDefs.empty()) return;
    FHeaderMgr.reset();
  }
  auto headers = std::make_unique<TTableHeaderMgr>();
  headers->SetBaseAddress(FHeaderMapAddress);
  headers->SetFirstTableID(FirstTableID());
  headers->Open(*FHeaderInterface);
  FHeaderMgr = std::move(headers);
}
