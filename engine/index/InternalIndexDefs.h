// The index definitions stored with a table definition: one item per index, with the options
// it was made with and the sizes of its nodes and key entries. The properties are plain
// fields with their stored names, in stored order, so that the table definition's text form
// can enumerate them. The collection owns its items; an item's address stays the same while
// it is held.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Stored and copied; every index is built with fixed-length entries whatever its value.
enum TIndexKeyType : int { ikFixed = 0, ikMinStringLen = 1 };

class TInternalIndexDef {
 public:
  void Assign(const TInternalIndexDef& source) { *this = source; }

  // Made by the engine ("_LogicalRecNo"); not offered to users.
  bool Hidden = false;
  bool Primary = false;
  bool Unique = false;
  std::string IndexName;
  bool Maintained = false;
  // The table is an in-memory table.
  bool Memory = false;
  // Node size in bytes.
  int32_t IndexPageSize = 0;
  // The length of every key entry of the index.
  int32_t MaximumKeySize = 0;
  // Null-flag bytes at the start of a key: key field count div 8 + 1.
  int32_t KeyDataOffset = 0;
  // Slot of the index in the table header's root and depth table.
  int32_t IndexSequence = 0;
  TIndexKeyType IndexKeyType = ikFixed;
};

class TInternalIndexDefs {
 public:
  TInternalIndexDefs() = default;
  TInternalIndexDefs(const TInternalIndexDefs&) = delete;
  TInternalIndexDefs& operator=(const TInternalIndexDefs&) = delete;

  TInternalIndexDef& Add();
  // Clears, then adds a copy of every item.
  void Assign(const TInternalIndexDefs& source);
  void Clear() { FItems.clear(); }
  int Count() const { return static_cast<int>(FItems.size()); }
  TInternalIndexDef& Items(int position) { return *FItems.at(static_cast<size_t>(position)); }
  const TInternalIndexDef& Items(int position) const {
    return *FItems.at(static_cast<size_t>(position));
  }
  // The first definition whose IndexName equals name ignoring case; nullptr when none.
  TInternalIndexDef* FindIndexDef(const std::string& name);
  const TInternalIndexDef* FindIndexDef(const std::string& name) const;

 private:
  std::vector<std::unique_ptr<TInternalIndexDef>> FItems;
};
