// The table headers of one header map (TableHeaderMap.h): hands out identifiers and header
// blocks for new tables, deletes them, and opens and closes the shared TTableHeader objects.
// The map and the header blocks are read from the file whenever they are used, under the locks
// the callers hold (the header lock for creating and deleting tables).
//
// Invariants:
// - At most one header object per table identifier is open; it lives from the first
//   OpenTable to the last CloseTable.
// - A header block address from the map is only used when it lies on a block boundary in the
//   table-header pages of the file (8961 otherwise), so a damaged map never makes the manager
//   read, write or free anything else.
// - A table's header block is released only when nobody has the header open.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/tables/TableHeader.h"
#include "engine/tables/TableHeaderMap.h"

class TBaseIOInterface;

class TTableHeaderMgr {
 public:
  TTableHeaderMgr() = default;
  TTableHeaderMgr(const TTableHeaderMgr&) = delete;
  TTableHeaderMgr& operator=(const TTableHeaderMgr&) = delete;
  // Drops the open headers without writing them: the interface may be gone by now. Call
  // CloseAll first to keep changes.
  ~TTableHeaderMgr() = default;

  void SetBaseAddress(uint32_t address) { FBaseAddress = address; }
  void SetFirstTableID(uint32_t firstTableID) { FMap.SetFirstTableID(firstTableID); }
  uint32_t BaseAddress() const { return FBaseAddress; }
  uint32_t FirstTableID() const { return FMap.FirstTableID(); }
  TBaseIOInterface* IOInterface() const { return FIOInterface; }
  const TTableHeaderMap& Map() const { return FMap; }

  // Keeps the interface (not owned) and reads the map. 8581 without a base address.
  void Open(TBaseIOInterface& ioInterface);
  // A new table with that many index slots: a header block with ChangeCounter 1 and the
  // smallest free identifier, which is returned. 9601 when the map is full.
  uint32_t AddTable(int indexCount);
  // Frees the table's header block and its map pair. 8579 for an unknown table, 8578 while
  // its header is open.
  void DeleteTable(uint32_t tableID);
  // The table's shared header, read from the file on the first open. 8581 for an unknown
  // table.
  TTableHeader& OpenTable(uint32_t tableID);
  // At the last close a dirty header is written and the object goes. 8581 for none.
  void CloseTable(TTableHeader* header);
  // Writes every dirty header and drops them all (also when a write fails; the first failure
  // is passed on).
  void CloseAll();
  int OpenHeaderCount() const { return static_cast<int>(FHeaders.size()); }
  TTableHeader* FindOpenHeader(uint32_t tableID) const;

 private:
  TBaseIOInterface& Interface(const char* context) const;
  void ReadMap();
  void WriteMap();
  // Refuses (8961) a header block address that a sound map cannot hold.
  void CheckHeaderAddress(uint32_t address, const char* context) const;
  // The stored HeaderSize of the table's block; 8961 unless it is a sound header of that table.
  uint32_t ReadHeaderSize(uint32_t address, uint32_t tableID, const char* context);

  TTableHeaderMap FMap;
  TBaseIOInterface* FIOInterface = nullptr;
  uint32_t FBaseAddress = 0;
  std::vector<std::unique_ptr<TTableHeader>> FHeaders;
};
