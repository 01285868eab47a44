// The definition manager of the tables in a database file. A database has two: one for its
// internal tables (header map at page 1, identifiers from 1024) and one for its user tables
// (page 3, identifiers from 1), each on its own table-header block interface and with its own
// header manager. An owned definition lives while a connection to it is open.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "engine/tables/TableDefMgr.h"

class TBaseIOInterface;
class TDiskMgr;
class TTableHeaderMgr;

class TDiskTableDefMgr : public TBaseTableDefMgr {
 public:
  TDiskTableDefMgr();
  // Closes what is still open; failures have nobody to go to here.
  ~TDiskTableDefMgr() override;

  // One empty root block (first word 1, depth 1) per index definition of a new table.
  void InitIndexRoots(TTableDef& definition) override;
  // 8577 for an in-memory definition, 8580 for a name that is held already. Registers the
  // table in the header map, makes its index roots and writes the identifier (and OwnerFlag)
  // into definition. A failure after registering takes the table out again.
  int32_t CreateTableDef(const std::string& name, TTableDef& definition) override;
  // 8579 for an unknown table. The last connection closes and frees the owned definition.
  void CloseTableDefConnection(int32_t tableID) override;
  // Opens (on first use) the owned definition and lets definition refer to its header and
  // interfaces.
  void OpenTableDefConnection(const std::string& name, TTableDef& definition) override;
  // 8578 while connections other than the caller's are open; otherwise the table leaves the
  // manager and the header map. Its pages are the caller's to release.
  void DeleteTableDef(const std::string& name, TTableDef& definition) override;
  // Rebuilds the table header (and empties the table when its fields change) as description
  // says. 8577 for an in-memory definition, 8578 while the table has open connections.
  void RestructureTableDef(TTableDef& definition,
                           const TRestructureDescription& description) override;
  void OpenManager() override;
  void ClearTableDefs() override;

  void SetHeaderMapAddress(uint32_t address) { FHeaderMapAddress = address; }
  uint32_t HeaderMapAddress() const { return FHeaderMapAddress; }
  // The table-header block interface (not owned); its disk manager is the file's.
  void SetHeaderInterface(TBaseIOInterface* headerInterface) { FHeaderInterface = headerInterface; }
  TBaseIOInterface* HeaderInterface() const { return FHeaderInterface; }
  // 8579 without a header interface, 8576 without a map address. Makes the header manager
  // unless one exists for this interface and address.
  void InternalInitHeaderMgr();
  TTableHeaderMgr* HeaderMgr() const { return FHeaderMgr.get(); }

 private:
  TTableHeaderMgr& Headers(const char* context);
  TDiskMgr& DiskMgr(const char* context);
  // The index interface of a table for making root blocks.
  std::unique_ptr<TBaseIOInterface> OpenIndexInterface(const TTableDef& definition,
                                                       const char* context);
  // Takes a table that could not be completed out of the map and frees its pages.
  void AbandonTable(uint32_t tableID) noexcept;

  std::unique_ptr<TTableHeaderMgr> FHeaderMgr;
  uint32_t FHeaderMapAddress = 0;
  TBaseIOInterface* FHeaderInterface = nullptr;
};
