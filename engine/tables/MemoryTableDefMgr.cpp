#include "engine/tables/MemoryTableDefMgr.h"

#include <exception>

#include "engine/storage/DatabaseFileLayout.h"
#include "engine/storage/MemoryIOInterface.h"
#include "engine/storage/VorErrors.h"
#include "engine/tables/TableHeaderMap.h"
#include "engine/tables/TableHeaderMgr.h"

namespace {

// Blocks of the manager's own interface: the header map takes one of 8192 bytes.
constexpr int32_t HeaderBlockSize = 4096;

}  // namespace

TMemoryTableDefMgr::TMemoryTableDefMgr() = default;

TMemoryTableDefMgr::~TMemoryTableDefMgr() {
  try {
    ClearTableDefs();
  } catch (...) {
    // A destructor has nobody to report to.
  }
}

TTableHeaderMgr& TMemoryTableDefMgr::Headers(const char* context) {
  if (!FHeaderMgr) RaiseDatabaseError(8576, context, "Table header manager", this);
  return *FHeaderMgr;
}

int32_t TMemoryTableDefMgr::CreateTableDef(const std::string& name, TTableDef& definition) {
  constexpr const char* context = "MemoryTableDefMgr.CreateTableDef";
  if (!definition.Memory()) RaiseDatabaseError(8577, context, name, this);
  if (IndexOfTableName(name) >= 0) RaiseDatabaseError(8580, context, name, this);
  TTableHeaderMgr& headers = Headers(context);
  std::unique_ptr<TTableDef> owned = OwnedCopy(definition);
  // The index roots are made when the table first opens: its data lives in its interfaces.
  const uint32_t tableID = headers.AddTable(definition.InternalIndexDefs().Count());
  owned->SetTableID(static_cast<int32_t>(tableID));
  owned->SetOwnerFlag(tableID * 16);
  FTableDefs.push_back(std::move(owned));
  definition.SetTableID(static_cast<int32_t>(tableID));
  definition.SetOwnerFlag(tableID * 16);
  return static_cast<int32_t>(tableID);
}

void TMemoryTableDefMgr::CloseTableDefConnection(int32_t tableID) {
  const int position = IndexOfTableID(tableID);
  if (position < 0) {
    RaiseDatabaseError(8579, "TMemoryTableDefMgr.CloseTableDefConnection", std::to_string(tableID),
                       this);
  }
  TTableDef& owned = TableDefs(position);
  if (owned.OpenCount() > 0) owned.SetOpenCount(owned.OpenCount() - 1);
}

void TMemoryTableDefMgr::OpenTableDefConnection(const std::string& name, TTableDef& definition) {
  constexpr const char* context = "TMemoryTableDefMgr.OpenTableDefConnection";
  const int position = IndexOfTableName(name);
  if (position < 0) RaiseDatabaseError(8579, context, name, this);
  TTableDef& owned = TableDefs(position);
  OpenOwned(owned, Headers(context), nullptr);
  if (&definition != &owned) {
    definition.Assign(owned);
    owned.ShareConnection(definition);
  }
  owned.SetOpenCount(owned.OpenCount() + 1);
}

void TMemoryTableDefMgr::DeleteTableDef(const std::string& /*name*/, TTableDef& definition) {
  constexpr const char* context = "TMemoryTableDefMgr.DeleteTableDef";
  InternalDeleteTableDef(definition, Headers(context), context);
}

void TMemoryTableDefMgr::RestructureTableDef(TTableDef& definition,
                                             const TRestructureDescription& /*description*/) {
  RaiseDatabaseError(10766, "TMemoryTableDefMgr.RestructureTableDef", definition.TableName(), this);
}

void TMemoryTableDefMgr::OpenManager() {
  ClearTableDefs();
  auto memory = std::make_unique<TMemoryIOInterface>();
  memory->SetBlockSize(HeaderBlockSize);
  memory->SetUsage(dbfile::UsageHeader);
  memory->SetTableID(0);
  memory->Open();
  const uint32_t map = memory->AllocateNewAddress(tblmap::MapSize, nullptr);
  auto headers = std::make_unique<TTableHeaderMgr>();
  headers->SetBaseAddress(map);
  headers->SetFirstTableID(FirstTableID());
  headers->Open(*memory);
  FMemoryInterface = std::move(memory);
  FHeaderMgr = std::move(headers);
}

void TMemoryTableDefMgr::ClearTableDefs() {
  std::exception_ptr failure;
  try {
    CloseAll(FHeaderMgr.get());
  } catch (...) {
    failure = std::current_exception();
  }
  FHeaderMgr.reset();
  FMemoryInterface.reset();
  if (failure) std::rethrow_exception(failure);
}
