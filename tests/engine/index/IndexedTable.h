// A table in a real database file with its records and all its indexes open, as a dataset
// holds them: the test fixture of the index manager. Records are added, changed and deleted
// through the record manager and the index manager together.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <tuple>
#include <vector>

#include "engine/index/DeriveIndexDef.h"
#include "engine/index/IndexManager.h"
#include "engine/storage/DatabaseFileLayout.h"
#include "engine/storage/DiskIOInterface.h"
#include "engine/storage/DiskMgr.h"
#include "engine/storage/FirstEmptyScope.h"
#include "engine/storage/LittleEndian.h"
#include "engine/storage/VorFile.h"
#include "engine/tables/InternalFields.h"
#include "engine/tables/RecordMgr.h"
#include "engine/tables/TableHeaderMgr.h"
#include "engine/tables/TableInterfaces.h"

namespace index_test {

struct TTableSchema {
  TInternalFields Fields;
  TKeyFields KeyFields;
  TInternalIndexDefs IndexDefs;

  // Fields as (name, type, string data area size), then the indexes derived from sources.
  TTableSchema(const std::vector<std::tuple<std::string, TFieldType, int32_t>>& fields,
               const std::vector<TIndexDefSource>& indexes) {
    for (size_t i = 0; i < fields.size(); ++i) {
      auto& [name, type, size] = fields[i];
      TInternalFieldItem& item = Fields.Add();
      item.SetFieldName(name);
      item.SetDataType(type);
      if (type == ftString) {
        item.SetFieldSize(size);
        item.SetIsVariable(true);
      }
      item.SetFieldIndex(static_cast<int32_t>(i));
      item.SetFieldNo(static_cast<int32_t>(i + 1));
    }
    Fields.SetDefaultOffsets();
    DeriveIndexDefs(indexes, {Fields, false, KeyFields, IndexDefs});
  }
};

class TIndexedTable {
 public:
  static constexpr int32_t PageSize = 4096;

  // A new file with the table (tableID 0), or the table tableID of an existing file.
  TIndexedTable(const std::string& path, const TTableSchema& schema, uint32_t tableID = 0) {
    if (tableID == 0) {
      FDiskMgr.SetFileName(path);
      FDiskMgr.SetPageSize(PageSize);
      FDiskMgr.CreateNewFile(true);
    }
    FDiskMgr.SetFileName(path);
    FDiskMgr.SetPageSize(PageSize);
    FDiskMgr.SetOpenMode(fmOpenReadWrite | fmShareDenyNone);
    FDiskMgr.Open();
    OpenTableHeaderInterface(FHeaderIO, FDiskMgr, false);
    FHeaders.SetBaseAddress(dbfile::UserTableHeaderMapPage * PageSize);
    FHeaders.Open(FHeaderIO);
    const bool create = tableID == 0;
    if (create) tableID = FHeaders.AddTable(schema.IndexDefs.Count());
    FTableID = tableID;
    FHeader = &FHeaders.OpenTable(tableID);

    FRecords.Fields().Assign(schema.Fields);
    FRecords.Fields().SetRecordSize(schema.Fields.RecordSize());
    FRecords.SetRecordSize(schema.Fields.RecordSize());
    FRecordIO = MakeTableDiskInterface(FDiskMgr, static_cast<uint16_t>(tableID),
                                       dbfile::UsageRecords, FRecords.RecordSize(), PageFlagCached);
    FRecordIO->Open();
    FRecords.Open(*FRecordIO);
    FKeeper.Load = [this] { return FHeader->RecordFirstEmpty(); };
    FKeeper.Store = [this](uint32_t v) { FHeader->SetRecordFirstEmpty(v); };

    FIndexIO = MakeTableDiskInterface(FDiskMgr, static_cast<uint16_t>(tableID), dbfile::UsageIndex,
                                      4096, PageFlagCached);
    FIndexIO->SetGlobalItem(dbfile::HdrIndexFirstEmpty);
    FIndexIO->Open();

    FIndexes.SetSortFunction(&CompareAsciiKeys);
    FIndexes.Assign(schema.IndexDefs);
    FIndexes.AssignKeyFields(schema.KeyFields);
    FIndexes.SetIOInterface(FIndexIO.get());
    FIndexes.SetTableHeader(FHeader);
    if (create) FIndexes.EmptyIndexes();
    FIndexes.Open();
  }

  ~TIndexedTable() {
    FIndexes.CloseIndexes();
    FRecords.Close();
    FRecordIO->Close();
    FIndexIO->Close();
    FHeaders.CloseAll();
    FDiskMgr.Close();
  }

  TIndexedTable(const TIndexedTable&) = delete;
  TIndexedTable& operator=(const TIndexedTable&) = delete;

  // A blank live record of this table with the next record id.
  std::vector<uint8_t> NewRecordImage() { return NewRecord(); }
  std::vector<uint8_t> NewRecord() {
    std::vector<uint8_t> record(static_cast<size_t>(FRecords.RecordSize()), 0);
    record[record::LiveMarkerOffset] = record::LiveMarker;
    le::PutU32(&record[record::SignatureOffset], record::Signature(FTableID));
    const uint32_t id = FHeader->LastRecordID() + 1;
    FHeader->SetLastRecordID(id);
    le::PutU32(&record[record::RecordIDOffset], id);
    return record;
  }

  // The keys are checked before the record is stored, so a refused record leaves no trace.
  uint32_t Insert(std::span<const uint8_t> record) {
    FIndexes.PrepareInsert(record);
    uint32_t address = 0;
    {
      TFirstEmptyScope scope(*FRecordIO, &FKeeper);
      address = FRecords.AppendRecord(record);
    }
    FIndexes.CompleteInsert(address);
    return address;
  }
  void Update(uint32_t address, std::span<const uint8_t> oldRecord,
              std::span<const uint8_t> newRecord) {
    FIndexes.UpdateRecordKeys(oldRecord, newRecord, address);
    FRecords.WriteRecord(address, newRecord);
  }
  void Delete(uint32_t address, std::span<const uint8_t> record) {
    FIndexes.DeleteRecordKeys(record, address);
    TFirstEmptyScope scope(*FRecordIO, &FKeeper);
    FRecords.DeleteRecord(address);
  }
  std::vector<uint8_t> Read(uint32_t address) {
    std::vector<uint8_t> record(static_cast<size_t>(FRecords.RecordSize()));
    FRecords.ReadRecord(address, record, false);
    return record;
  }
  // Record addresses of an index in key order, walked from its first key.
  std::vector<uint32_t> Walk(const std::string& index) {
    std::vector<uint32_t> addresses;
    TIndexItem* item = FIndexes.FindIndex(index);
    if (item == nullptr || !item->Tree().First()) return addresses;
    do {
      addresses.push_back(item->GetRecordAddress());
    } while (item->Next());
    return addresses;
  }

  TIndexManager& Indexes() { return FIndexes; }
  TRecordMgr& Records() { return FRecords; }
  TTableHeader& Header() { return *FHeader; }
  TDiskMgr& DiskMgr() { return FDiskMgr; }
  uint32_t TableID() const { return FTableID; }

 private:
  TDiskMgr FDiskMgr;
  TDiskIOInterface FHeaderIO;
  TTableHeaderMgr FHeaders;
  TTableHeader* FHeader = nullptr;
  std::unique_ptr<TDiskIOInterface> FRecordIO;
  std::unique_ptr<TDiskIOInterface> FIndexIO;
  TRecordMgr FRecords;
  TFirstEmptyKeeper FKeeper;
  TIndexManager FIndexes;
  uint32_t FTableID = 0;
};

}  // namespace index_test
