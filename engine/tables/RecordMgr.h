// The records of one open table: appends, reads, rewrites and deletes fixed-size record blocks
// (RecordLayout.h) by address through the table's record interface, keeps a copy of the record
// last read, written or appended, and holds the blob values of that record (one TBlob per blob
// field).
//
// Invariants:
// - Open only with a layout that fits RecordSize (CheckLayout) and an interface whose blocks
//   hold a whole record; CurrentRecord holds RecordSize bytes exactly while open.
// - A record is written or released only at an address where the interface says a block may
//   start, and a live record of this table is handed out only with sound size markers (8962
//   otherwise).
// - RecordSize does not change while open.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "engine/tables/BlobMgr.h"
#include "engine/tables/InternalFields.h"

class TBaseIOInterface;

class TRecordMgr {
 public:
  TRecordMgr() = default;
  TRecordMgr(const TRecordMgr&) = delete;
  TRecordMgr& operator=(const TRecordMgr&) = delete;

  // Only while closed (assertion "Setting record size when buffers set").
  void SetRecordSize(int32_t recordSize);
  int32_t RecordSize() const { return FRecordSize; }
  // The layout in use; the dataset copies the table's layout in before Open.
  TInternalFields& Fields() { return FFields; }
  const TInternalFields& Fields() const { return FFields; }
  TBlobMgr& BlobMgr() { return FBlobMgr; }
  TBaseIOInterface* IOInterface() const { return FIOInterface; }
  bool IsOpen() const { return !FCurrentRecord.empty(); }

  // Keeps the interface (not owned), builds the index map and one blob item per blob field.
  // 8576 for record size 0, 8451 for a layout that does not fit, 8581 for an interface whose
  // blocks are smaller than a record.
  void Open(TBaseIOInterface& ioInterface);
  // Clears the layout and the blob items and frees CurrentRecord.
  void Close();

  // Buffers hold at least RecordSize bytes (a dataset buffer has its trailer behind).
  uint32_t AppendRecord(std::span<const uint8_t> record);
  void ReadRecord(uint32_t address, std::span<uint8_t> buffer, bool keepAsCurrent);
  void WriteRecord(uint32_t address, std::span<const uint8_t> record);
  void DeleteRecord(uint32_t address);
  void GetCurrentRecord(std::span<uint8_t> buffer) const;
  std::span<const uint8_t> CurrentRecord() const { return FCurrentRecord; }

 private:
  TBaseIOInterface& Interface(const char* context) const;
  void CheckAddress(uint32_t address, const char* context) const;
  void CheckBuffer(size_t size) const;
  void KeepAsCurrent(std::span<const uint8_t> record);

  TBaseIOInterface* FIOInterface = nullptr;
  TBlobMgr FBlobMgr;
  TInternalFields FFields;
  int32_t FRecordSize = 0;
  std::vector<uint8_t> FCurrentRecord;
};
