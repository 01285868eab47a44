#include "engine/tables/TableDefMgr.h"

#include <exception>

#include "engine/storage/VorErrors.h"
#include "engine/tables/TableHeaderMap.h"
#include "engine/tables/TableHeaderMgr.h"
#include "platform/Collation.h"
#include "platform/Exception.h"
#include "platform/StringList.h"

TBaseTableDefMgr::~TBaseTableDefMgr() = default;

int TBaseTableDefMgr::GetOpenCount(const std::string& name) const {
  const int position = IndexOfTableName(name);
  return position < 0 ? 0 : FTableDefs[static_cast<size_t>(position)]->OpenCount();
}

void TBaseTableDefMgr::ListTableNames(TStringList& list) const {
  for (const auto& def : FTableDefs) list.Add(def->TableName());
}

int TBaseTableDefMgr::IndexOfTableID(int32_t tableID) const {
  for (size_t i = 0; i < FTableDefs.size(); ++i) {
    if (FTableDefs[i]->TableID() == tableID) return static_cast<int>(i);
  }
  return -1;
}

int TBaseTableDefMgr::IndexOfTableName(const std::string& name) const {
  for (size_t i = 0; i < FTableDefs.size(); ++i) {
    const std::string& own = FTableDefs[i]->TableName();
    if (platform::CollateAnsi(own.data(), static_cast<int>(own.size()), name.data(),
                              static_cast<int>(name.size()), true) == 0) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

uint32_t TBaseTableDefMgr::FirstTableID() const {
  return FInternalTables ? tblmap::InternalFirstTableID : tblmap::UserFirstTableID;
}

std::unique_ptr<TTableDef> TBaseTableDefMgr::OwnedCopy(const TTableDef& definition) {
  auto owned = std::make_unique<TTableDef>();
  owned->Assign(definition);
  owned->SetOwned(true);
  return owned;
}

std::unique_ptr<TTableDef> TBaseTableDefMgr::TakeAt(int position) {
  auto it = FTableDefs.begin() + position;
  std::unique_ptr<TTableDef> taken = std::move(*it);
  FTableDefs.erase(it);
  return taken;
}

void TBaseTableDefMgr::OpenOwned(TTableDef& owned, TTableHeaderMgr& headers, TDiskMgr* diskMgr) {
  if (owned.InterfacesOpen()) return;
  const bool takeHeader = owned.TableHeader() == nullptr;
  if (takeHeader) owned.SetTableHeader(&headers.OpenTable(static_cast<uint32_t>(owned.TableID())));
  try {
    owned.InternalOpen(diskMgr);
  } catch (...) {
    if (takeHeader) {
      TTableHeader* header = owned.TableHeader();
      owned.SetTableHeader(nullptr);
      try {
        headers.CloseTable(header);
      } catch (...) {
        // The failure to open is the one to report.
      }
    }
    throw;
  }
}

void TBaseTableDefMgr::CloseOwned(TTableDef& owned, TTableHeaderMgr* headers) {
  owned.CloseInterfaces();
  TTableHeader* header = owned.TableHeader();
  owned.SetTableHeader(nullptr);
  if (header != nullptr && headers != nullptr) headers->CloseTable(header);
}

void TBaseTableDefMgr::CloseAll(TTableHeaderMgr* headers) {
  std::exception_ptr failure;
  auto defs = std::move(FTableDefs);
  FTableDefs.clear();
  for (auto& def : defs) {
    def->SetOpenCount(0);
    try {
      CloseOwned(*def, headers);
    } catch (...) {
      if (!failure) failure = std::current_exception();
    }
  }
  if (failure) std::rethrow_exception(failure);
}

void TBaseTableDefMgr::InternalDeleteTableDef(TTableDef& definition, TTableHeaderMgr& headers,
                                              const char* context) {
  const int32_t tableID = definition.TableID();
  const int position = IndexOfTableID(tableID);
  if (position >= 0) {
    TTableDef& owned = *FTableDefs[static_cast<size_t>(position)];
    VOR_ASSERT(&owned != &definition, "Deleting a table through its owned definition",
               "vorDataUnit");
    // The caller's own connection is the only one a delete may end: with more, the table
    // stays registered and every holder keeps its connection.
    if (owned.OpenCount() > 1) RaiseDatabaseError(8578, context, owned.TableName(), this);
    std::unique_ptr<TTableDef> closing = TakeAt(position);
    closing->SetOpenCount(0);
    CloseOwned(*closing, &headers);
    closing->SetTableID(0);
  }
  headers.DeleteTable(static_cast<uint32_t>(tableID));
  definition.CloseInterfaces();
  definition.SetTableHeader(nullptr);
  definition.SetTableID(0);
}
