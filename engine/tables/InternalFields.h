// The record layout of a table: its fields in collection order, the record size, and the map
// from a field's FieldIndex to its position.
//
// Invariants:
// - The collection owns its items; an item's position never changes while it is held.
// - After BuildIndexMap, IndexMap is a one-to-one map of the FieldIndex values 0 to Count - 1
//   onto the positions; Assign copies it with the items, every other change of the items
//   leaves it to be rebuilt.
// - A layout that passed CheckLayout places every null flag, size marker and data area inside
//   a record of RecordSize bytes and after the null flags.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "engine/tables/InternalFieldItem.h"
#include "engine/tables/RecordLayout.h"

class TInternalFields {
 public:
  TInternalFields();
  virtual ~TInternalFields() = default;
  TInternalFields(const TInternalFields&) = delete;
  TInternalFields& operator=(const TInternalFields&) = delete;

  // A new item at the end, with a fresh FieldGeneratorID.
  TInternalFieldItem& Add();
  int Count() const { return static_cast<int>(FItems.size()); }
  TInternalFieldItem& Items(int position);
  const TInternalFieldItem& Items(int position) const;
  void Clear();

  // Lays the fields out one after the other behind the null flags and sets RecordSize
  // (RecordLayout.h). Raises 9606 for a string whose FieldSize is outside 2 to 256.
  void SetDefaultOffsets();
  void SetRecordSize(int32_t value) { FRecordSize = value; }
  int32_t RecordSize() const { return FRecordSize; }
  bool HasBlobs() const { return FHasBlobs; }
  int32_t AutoIncFieldIndex() const { return FAutoIncFieldIndex; }
  // -1 switches the auto-increment handling off.
  void SetAutoIncFieldIndex(int32_t value) { FAutoIncFieldIndex = value; }

  // The first item of that name, compared without regard to case; nullptr when none.
  TInternalFieldItem* FindField(const std::string& name);
  const TInternalFieldItem* FindField(const std::string& name) const;
  // Copies the items; RecordSize, HasBlobs and AutoIncFieldIndex start afresh.
  void Assign(const TInternalFields& source);
  // Derives HasBlobs and AutoIncFieldIndex and maps each FieldIndex to its position.
  // Assertion failures: "Field indexes degenerate", "Invalid field index".
  void BuildIndexMap();
  TInternalFieldItem& FieldByIndex(int32_t fieldIndex);
  const TInternalFieldItem& FieldByIndex(int32_t fieldIndex) const;

  // Checks the layout against RecordSize before records are read through it: a layout from a
  // damaged definition raises 8451 under the given context.
  void CheckLayout(const char* context) const;
  // Checks the size markers of a record image of RecordSize bytes: a marker beyond its
  // field's DisplaySize raises 8962 under the given context.
  void CheckRecord(std::span<const uint8_t> record, const char* context) const;

 protected:
  // The kind of item this collection holds.
  virtual std::unique_ptr<TInternalFieldItem> NewItem() const;

 private:
  static constexpr int16_t NoPosition = -1;
  int PositionOfIndex(int32_t fieldIndex) const;
  int PositionOfName(const std::string& name) const;

  std::vector<std::unique_ptr<TInternalFieldItem>> FItems;
  int32_t FRecordSize = 0;
  bool FHasBlobs = false;
  int32_t FAutoIncFieldIndex = -1;
  std::array<int16_t, record::IndexMapSize> FIndexMap;
};
