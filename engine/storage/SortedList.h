// A list of record addresses that is sorted only when it is large enough for a binary
// search to pay. Sorted is true only while the items are in the order of the comparison
// that sorted them; IndexOf then searches with that same comparison.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

class TSortedList {
 public:
  // <0, 0 or >0, like CompareIntegers.
  using TCompare = std::function<int(uint32_t, uint32_t)>;

  int Add(uint32_t Item);
  void Clear();
  int Count() const { return static_cast<int>(FItems.size()); }
  uint32_t Items(int Index) const { return FItems.at(Index); }
  const std::vector<uint32_t>& List() const { return FItems; }
  bool Sorted() const { return FSorted; }

  // More than SortThreshold items: sort with Compare and become Sorted; otherwise leave the
  // order alone and become unsorted.
  void SortIfLarge(TCompare Compare);
  // The lowest index holding Item, or -1.
  int IndexOf(uint32_t Item) const;

  static constexpr int SortThreshold = 100;

 private:
  std::vector<uint32_t> FItems;
  TCompare FCompare;
  bool FSorted = false;
};
