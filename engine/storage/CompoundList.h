// Record addresses (Keys) with an attached value each (Values, e.g. a record number), as
// filters and tree walks collect them. Keys and Values always have equal length; Sorted
// promises Keys ascending as unsigned values, and Add drops the promise as soon as an
// appended key breaks it, so a binary search never runs over unsorted keys.
#pragma once

#include <cstdint>
#include <vector>

class TCompoundList {
 public:
  // Returns the new index.
  int Add(uint32_t Key, uint32_t Value);
  void Clear();
  // Raises Exception when Keys and Values differ in length.
  int Count() const;
  uint32_t Key(int Index) const { return Keys.at(Index); }
  uint32_t Value(int Index) const { return Values.at(Index); }
  // The lowest index holding Key, or -1.
  int IndexOf(uint32_t Key) const;
  // Orders both lists by key (equal keys keep their order) and sets Sorted.
  void Sort();

  std::vector<uint32_t> Keys;
  std::vector<uint32_t> Values;
  bool Sorted = false;
};
