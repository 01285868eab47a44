// The indexes of a table opened as a dataset: one TIndexItem per index definition, the
// current index the dataset navigates by, and the upkeep of every index when a record is
// added, changed or deleted.
//
// Invariants:
// - Items are held by pointer: their Root and Depth stay where their trees refer to them.
// - Item Root and Depth are a working copy of the table header: LoadRoots takes them (with
//   node invalidation), StoreRoots gives them back before the header is written; a record
//   change ends with StoreRoots.
// - A record change searches every index before it changes any, so a refused change (key
//   violation, record changed under the caller) leaves every index as it was.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "engine/index/IndexItem.h"
#include "engine/index/InternalIndexDefs.h"
#include "engine/index/KeyFields.h"
#include "engine/storage/VorCommon.h"

class TBaseIOInterface;
class TTableHeader;

class TIndexManager {
 public:
  TIndexManager() = default;
  TIndexManager(const TIndexManager&) = delete;
  TIndexManager& operator=(const TIndexManager&) = delete;

  // Copies the other manager's items.
  void Assign(const TIndexManager& source);
  // Clears, then one item per definition in definition order.
  void Assign(const TInternalIndexDefs& source);
  // Gives each key field to the item of its index (9997 for none, 8581 "KeyBuffers invalid"
  // for a string without size marker or an item left without fields).
  void AssignKeyFields(const TKeyFields& keyFields);
  void Open();
  void LoadRoots(bool invalidate);
  void StoreRoots();
  // A new empty tree for every index, its root and depth stored in the table header.
  void EmptyIndexes();
  void CloseIndexes();
  void InvalidateIndexes();

  // 9997 when CurrentIndexName names no item.
  TIndexItem& CurrentIndex();
  // Names compare ignoring case; nullptr when none.
  TIndexItem* FindIndex(const std::string& name);
  // The first item whose leading key fields have these names in this order; with
  // caseSensitiveOnly none of them may be case-insensitive. nullptr when none.
  TIndexItem* IndexForFields(const std::vector<std::string>& fieldNames, bool caseSensitiveOnly);
  // The same for a list "A;B".
  TIndexItem* IndexForFields(const std::string& fieldList, bool caseSensitiveOnly);

  // Record changes. record is a stored record image with its record id set.
  // Searches every index for the new record's key: 9729 when one holds it already.
  void PrepareInsert(std::span<const uint8_t> record);
  // Inserts address into every index at the path PrepareInsert left; StoreRoots.
  void CompleteInsert(uint32_t address);
  void InsertRecordKeys(std::span<const uint8_t> record, uint32_t address);
  // Removes the stored record's keys: 8708 when an index lacks one.
  void DeleteRecordKeys(std::span<const uint8_t> record, uint32_t address);
  // Moves the keys that the change touches: 9729 when another record holds a new key, 8708
  // when an old key is missing.
  void UpdateRecordKeys(std::span<const uint8_t> oldRecord, std::span<const uint8_t> newRecord,
                        uint32_t address);

  int Count() const { return static_cast<int>(FItems.size()); }
  TIndexItem& Items(int position) { return *FItems.at(static_cast<size_t>(position)); }
  const TIndexItem& Items(int position) const { return *FItems.at(static_cast<size_t>(position)); }

  const std::string& CurrentIndexName() const { return FCurrentIndexName; }
  void SetCurrentIndexName(const std::string& name) { FCurrentIndexName = name; }
  TCompareKeysFunc SortFunction() const { return FSortFunction; }
  void SetSortFunction(TCompareKeysFunc function) { FSortFunction = function; }
  TBaseIOInterface* IOInterface() const { return FIOInterface; }
  void SetIOInterface(TBaseIOInterface* io) { FIOInterface = io; }
  TTableHeader* TableHeader() const { return FTableHeader; }
  void SetTableHeader(TTableHeader* header) { FTableHeader = header; }
  int VisibleCount() const { return FVisibleCount; }

 private:
  TIndexItem& AddItem();
  // The item's key of the record, MaximumKeySize bytes.
  std::vector<uint8_t> BuildKey(TIndexItem& item, std::span<const uint8_t> record);

  std::vector<std::unique_ptr<TIndexItem>> FItems;
  TBaseIOInterface* FIOInterface = nullptr;
  TTableHeader* FTableHeader = nullptr;
  std::string FCurrentIndexName;
  TCompareKeysFunc FSortFunction = nullptr;
  int FVisibleCount = 0;
};
