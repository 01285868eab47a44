// The definition manager of in-memory tables. Their headers, header map and data all live in
// memory interfaces: the map and headers in the manager's own, each table's records, blobs
// and index nodes in the interfaces of its owned definition. An owned definition therefore
// lives until its table is deleted or the manager is cleared, whatever its open count.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "engine/tables/TableDefMgr.h"

class TMemoryIOInterface;
class TTableHeaderMgr;

class TMemoryTableDefMgr : public TBaseTableDefMgr {
 public:
  TMemoryTableDefMgr();
  ~TMemoryTableDefMgr() override;

  // 8577 for a definition that is not in-memory, 8580 for a name that is held already.
  int32_t CreateTableDef(const std::string& name, TTableDef& definition) override;
  // Lowers the open count, never below 0. 8579 for an unknown table.
  void CloseTableDefConnection(int32_t tableID) override;
  // 8579 for an unknown name. definition becomes a copy of the owned one and refers to its
  // header and interfaces.
  void OpenTableDefConnection(const std::string& name, TTableDef& definition) override;
  // As the disk manager's: 8578 while connections other than the caller's are open.
  void DeleteTableDef(const std::string& name, TTableDef& definition) override;
  // In-memory tables cannot be restructured: 10766.
  void RestructureTableDef(TTableDef& definition,
                           const TRestructureDescription& description) override;
  // Clears, then starts an empty header map.
  void OpenManager() override;
  // Frees every table with its data, the header manager and the memory they lived in.
  void ClearTableDefs() override;

  TTableHeaderMgr* HeaderMgr() const { return FHeaderMgr.get(); }
  TMemoryIOInterface* MemoryInterface() const { return FMemoryInterface.get(); }

 private:
  TTableHeaderMgr& Headers(const char* context);

  std::unique_ptr<TMemoryIOInterface> FMemoryInterface;
  std::unique_ptr<TTableHeaderMgr> FHeaderMgr;
};
