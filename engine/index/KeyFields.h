// The key fields of a table's indexes (one collection for all of them, each item naming its
// index) or of one index (the copy a tree holds). The collection owns its items; an item's
// address stays the same while it is held.
//
// An index has at most MaxKeyFields key fields, its hidden record-number field included: a
// prepared search key has that many slots. CheckKeyFieldCount refuses more wherever key
// fields are set up for an index.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/index/KeyFieldItem.h"

constexpr int MaxKeyFields = 32;

class TKeyFields {
 public:
  TKeyFields() = default;
  TKeyFields(const TKeyFields&) = delete;
  TKeyFields& operator=(const TKeyFields&) = delete;

  TKeyFieldItem& Add();
  // Clears, then adds a copy of every item; KeyDataOffset is copied too.
  void Assign(const TKeyFields& source);
  void Clear() { FItems.clear(); }
  int Count() const { return static_cast<int>(FItems.size()); }
  TKeyFieldItem& Items(int position) { return *FItems.at(position); }
  const TKeyFieldItem& Items(int position) const { return *FItems.at(position); }

  // The first item whose FieldName equals name ignoring case; nullptr when none.
  TKeyFieldItem* FindByFieldName(const std::string& name);
  // Items whose IndexName equals name ignoring case.
  int CountForIndex(const std::string& name) const;

  // Null-flag bytes at the start of an index's key data: key field count div 8 + 1.
  int32_t KeyDataOffset = 0;

 private:
  std::vector<std::unique_ptr<TKeyFieldItem>> FItems;
};

// 10 + the key-data bytes of the fields at most (without the null flags): the fixed size for
// non-string fields, 2 + FieldSize for strings. Raises Exception "Error in setting
// CoreDataSize - field type not found: <type>" for a type without a core size.
int32_t KeyEntrySize(const TKeyFields& keyFields);
// The same over the items of one index (IndexName compared ignoring case).
int32_t KeyEntrySize(const TKeyFields& keyFields, const std::string& indexName);

// Raises 9603 ("Too many fields in index") under context when count exceeds MaxKeyFields.
void CheckKeyFieldCount(int count, const std::string& indexName, const char* context);
