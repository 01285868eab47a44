// Definition managers: they keep the owned definitions of a database's tables and create,
// open, close, delete and restructure tables at the storage level. TDiskTableDefMgr serves
// the tables of the file (one manager for internal tables, one for user tables),
// TMemoryTableDefMgr the in-memory tables. The base class holds the list and the look-ups;
// its virtual operations do nothing.
//
// Invariants:
// - The manager owns every definition in TableDefs; each is Owned and holds at most one open
//   reference to its table header, taken when its interfaces open and given back when it goes.
// - A definition's OpenCount is the number of connections that callers hold to it; a failed
//   operation leaves every count as it was.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/tables/RestructureDescription.h"
#include "engine/tables/TableDef.h"
#include "platform/Object.h"

class TStringList;
class TTableHeaderMgr;

class TBaseTableDefMgr : public TObject {
 public:
  TBaseTableDefMgr() = default;
  ~TBaseTableDefMgr() override;
  TBaseTableDefMgr(const TBaseTableDefMgr&) = delete;
  TBaseTableDefMgr& operator=(const TBaseTableDefMgr&) = delete;

  // Virtual operations, in slot order.
  virtual void InitIndexRoots(TTableDef& /*definition*/) {}
  // The new table's identifier; -1 from the base.
  virtual int32_t CreateTableDef(const std::string& /*name*/, TTableDef& /*definition*/) {
    return -1;
  }
  virtual void CloseTableDefConnection(int32_t /*tableID*/) {}
  virtual void OpenTableDefConnection(const std::string& /*name*/, TTableDef& /*definition*/) {}
  virtual void DeleteTableDef(const std::string& /*name*/, TTableDef& /*definition*/) {}
  virtual void RestructureTableDef(TTableDef& /*definition*/,
                                   const TRestructureDescription& /*description*/) {}
  virtual void OpenManager() {}
  virtual void ClearTableDefs() {}

  // The open count of the definition of that name; 0 when there is none.
  int GetOpenCount(const std::string& name) const;
  // Appends the name of every owned definition.
  void ListTableNames(TStringList& list) const;
  // Positions in TableDefs, or -1; names compare without regard to case.
  int IndexOfTableID(int32_t tableID) const;
  int IndexOfTableName(const std::string& name) const;
  void SetInternalTables(bool value) { FInternalTables = value; }
  bool InternalTables() const { return FInternalTables; }
  int Count() const { return static_cast<int>(FTableDefs.size()); }
  TTableDef& TableDefs(int position) { return *FTableDefs.at(static_cast<size_t>(position)); }

 protected:
  // First identifier of the header map this manager serves.
  uint32_t FirstTableID() const;
  // A new owned copy of definition.
  static std::unique_ptr<TTableDef> OwnedCopy(const TTableDef& definition);
  // Takes the definition at position out of the list.
  std::unique_ptr<TTableDef> TakeAt(int position);
  // Makes sure the owned definition's interfaces are open, taking its header reference first
  // when it has none; on failure the header reference taken here is given back.
  static void OpenOwned(TTableDef& owned, TTableHeaderMgr& headers, TDiskMgr* diskMgr);
  // Closes the definition's interfaces and gives its header reference back.
  static void CloseOwned(TTableDef& owned, TTableHeaderMgr* headers);
  // Closes and frees every owned definition; the first failure is passed on after all went.
  void CloseAll(TTableHeaderMgr* headers);
  // The delete both managers share (see DeleteTableDef).
  void InternalDeleteTableDef(TTableDef& definition, TTableHeaderMgr& headers, const char* context);

  std::vector<std::unique_ptr<TTableDef>> FTableDefs;
  bool FInternalTables = false;
};
