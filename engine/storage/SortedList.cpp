#include "engine/storage/SortedList.h"

#include <algorithm>

int TSortedList::Add(uint32_t Item) {
  if (FSorted && !FItems.empty() && FCompare(FItems.back(), Item) > 0) FSorted = false;
  FItems.push_back(Item);
  return Count() - 1;
}

void TSortedList::Clear() {
  FItems.clear();
  FSorted = false;
}

void TSortedList::SortIfLarge(TCompare Compare) {
  if (Count() <= SortThreshold || !Compare) {
    FSorted = false;
    return;
  }
  std::stable_sort(FItems.begin(), FItems.end(),
                   [&Compare](uint32_t a, uint32_t b) { return Compare(a, b) < 0; });
  FCompare = std::move(Compare);
  FSorted = true;
}

int TSortedList::IndexOf(uint32_t Item) const {
  if (FSorted) {
    auto it = std::lower_bound(FItems.begin(), FItems.end(), Item,
                               [this](uint32_t a, uint32_t b) { return FCompare(a, b) < 0; });
    // A comparison that ties distinct items (one by key, say) leaves a run to scan.
    for (; it != FItems.end() && FCompare(*it, Item) == 0; ++it)
      if (*it == Item) return static_cast<int>(it - FItems.begin());
    return -1;
  }
  auto it = std::find(FItems.begin(), FItems.end(), Item);
  return it != FItems.end() ? static_cast<int>(it - FItems.begin()) : -1;
}
