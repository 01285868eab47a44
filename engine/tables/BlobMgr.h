// The blob values of the current record: one TBlob per blob field, made when the record
// manager opens. Items keep their addresses while the manager lives, so callers may hold them.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/tables/Blob.h"

class TBlobMgr {
 public:
  TBlob& Add(int32_t fieldIndex);
  // The item of that field, or nullptr.
  TBlob* FindBlob(int32_t fieldIndex);
  int Count() const { return static_cast<int>(FItems.size()); }
  TBlob& Items(int index) { return *FItems.at(static_cast<size_t>(index)); }
  // Every item back to its stored value: the record was read, deleted or left.
  void ResetAll();
  void Clear() { FItems.clear(); }

 private:
  std::vector<std::unique_ptr<TBlob>> FItems;
};
