// Helpers for the table definition tests: engine errors with their context, definitions of a
// given shape, and a database file with its user-table definition manager set up as a
// connection sets it up.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "TablesTestSupport.h"
#include "engine/storage/DBLogger.h"
#include "engine/storage/DatabaseFileLayout.h"
#include "engine/storage/DiskIOInterface.h"
#include "engine/storage/DiskMgr.h"
#include "engine/storage/VorErrors.h"
#include "engine/tables/DiskTableDefMgr.h"
#include "engine/tables/TableDef.h"
#include "engine/tables/TableHeaderMap.h"
#include "engine/tables/TableInterfaces.h"

namespace tabledef_test {

using tables_test::PageSize;
using tables_test::ScratchDir;

struct EngineError {
  int Code = 0;
  std::string Message;
  std::string LogLine;  // the engine log line of the raise, which names the context

  bool HasContext(const std::string& context) const {
    // The name is right-aligned in its column after "; ".
    return LogLine.find(" " + context + " : ") != std::string::npos;
  }
};

// The engine error fn raised (Code 0 when none).
inline EngineError EngineErrorOf(const std::function<void()>& fn) {
  EngineError error;
  try {
    fn();
  } catch (const EVorDatabaseError& e) {
    error.Code = e.ErrorCode;
    error.Message = e.Message();
    const std::vector<std::string> lines = EngineLogger().LinesSnapshot();
    if (!lines.empty()) error.LogLine = lines.back();
  }
  return error;
}

struct FieldSpec {
  const char* Name;
  TFieldType Type;
  int32_t DeclaredSize = 0;  // strings only
};

// A definition as the dataset builds one: the fields laid out, one unique index per entry of
// indexNames, each on the first field.
inline void BuildDefinition(TTableDef& def, const std::string& name,
                            const std::vector<FieldSpec>& fields,
                            const std::vector<std::string>& indexNames, bool memory = false) {
  def.SetTableName(name);
  def.SetAltName(name);
  def.SetMemory(memory);
  TInternalFields& layout = def.InternalFields();
  for (size_t i = 0; i < fields.size(); ++i) {
    TInternalFieldItem& field = layout.Add();
    field.SetFieldName(fields[i].Name);
    field.SetFieldNo(static_cast<int32_t>(i));
    field.SetFieldIndex(static_cast<int32_t>(i));
    field.SetDataType(fields[i].Type);
    if (fields[i].Type == ftString) {
      field.SetFieldSize(fields[i].DeclaredSize + 1);
      field.SetIsVariable(true);
    }
    if (field.IsBlob()) def.SetUsesBlobs(true);
  }
  layout.SetDefaultOffsets();
  layout.BuildIndexMap();
  def.SetRecordSize(layout.RecordSize());
  for (size_t i = 0; i < indexNames.size(); ++i) {
    TInternalIndexDef& index = def.InternalIndexDefs().Add();
    index.IndexName = indexNames[i];
    index.Unique = true;
    index.Maintained = true;
    index.Memory = memory;
    index.IndexPageSize = 4096;
    index.KeyDataOffset = 1;
    index.IndexSequence = static_cast<int32_t>(i);
    const TInternalFieldItem& first = layout.Items(0);
    TKeyFieldItem& key = def.KeyFields().Add();
    key.IndexName = indexNames[i];
    key.FieldName = first.FieldName();
    key.DataType = first.DataType();
    key.FieldSize = first.FieldSize();
    key.IsVariable = first.IsVariable();
    key.RecBufOffset = first.DataOffset();
    key.NullFlagOffset = first.NullFlagOffset();
    key.SizeMarkerOffset = first.SizeMarkerOffset();
    key.PhysicalFieldNo = 0;
    index.MaximumKeySize = KeyEntrySize(def.KeyFields(), index.IndexName) + 1;
  }
}

inline std::vector<FieldSpec> ProductFields() {
  return {{"ProduktID", ftInteger}, {"Opis", ftString, 40}, {"Kalorie", ftFloat}};
}

// A new database file, open like a connection opens it, with the user tables' header
// interface and an opened user-table definition manager.
class DiskTableDefTest : public ::testing::Test {
 protected:
  DiskTableDefTest() : FPath(FDir / "test.vor") {
    tables_test::CreateDatabase(FPath);
    FDiskMgr.SetFileName(FPath);
    FDiskMgr.SetPageSize(PageSize);
    FDiskMgr.SetOpenMode(fmOpenReadWrite | fmShareDenyNone);
    FDiskMgr.SetLockRetryMaximum(2);
    FDiskMgr.SetLockRetryInterval(1);
    FDiskMgr.Open();
    OpenTableHeaderInterface(FHeaderIO, FDiskMgr, false);
    FMgr.SetHeaderInterface(&FHeaderIO);
    FMgr.SetHeaderMapAddress(dbfile::UserTableHeaderMapPage * PageSize);
    FMgr.OpenManager();
  }

  // The header block address of a table, from the map on disk.
  uint32_t HeaderAddress(uint32_t tableID) {
    const uint32_t map = dbfile::UserTableHeaderMapPage * PageSize;
    for (int pair = 0; pair < tblmap::MaxTables; ++pair) {
      const uint32_t id = tables_test::FileU32(FPath, map + 8u * pair);
      if (id == 0) break;
      if (id == tableID) return tables_test::FileU32(FPath, map + 8u * pair + 4);
    }
    return 0;
  }

  ScratchDir FDir;
  std::string FPath;
  TDiskMgr FDiskMgr;
  TDiskIOInterface FHeaderIO;
  TDiskTableDefMgr FMgr;
};

}  // namespace tabledef_test
