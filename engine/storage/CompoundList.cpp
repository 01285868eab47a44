#include "engine/storage/CompoundList.h"

#include <algorithm>
#include <numeric>

#include "platform/Exception.h"

int TCompoundList::Add(uint32_t Key, uint32_t Value) {
  if (Sorted && !Keys.empty() && Key < Keys.back()) Sorted = false;
  Keys.push_back(Key);
  Values.push_back(Value);
  return static_cast<int>(Keys.size()) - 1;
}

void TCompoundList::Clear() {
  Keys.clear();
  Values.clear();
  Sorted = false;
}

int TCompoundList::Count() const {
  if (Keys.size() != Values.size()) throw Exception("Compound list - list counts do no match");
  return static_cast<int>(Keys.size());
}

int TCompoundList::IndexOf(uint32_t Key) const {
  if (Sorted) {
    auto it = std::lower_bound(Keys.begin(), Keys.end(), Key);
    return it != Keys.end() && *it == Key ? static_cast<int>(it - Keys.begin()) : -1;
  }
  auto it = std::find(Keys.begin(), Keys.end(), Key);
  return it != Keys.end() ? static_cast<int>(it - Keys.begin()) : -1;
}

void TCompoundList::Sort() {
  const int count = Count();
  std::vector<int> order(count);
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [this](int a, int b) { return Keys[a] < Keys[b]; });
  std::vector<uint32_t> keys(count), values(count);
  for (int i = 0; i < count; ++i) {
    keys[i] = Keys[order[i]];
    values[i] = Values[order[i]];
  }
  Keys = std::move(keys);
  Values = std::move(values);
  Sorted = true;
}
