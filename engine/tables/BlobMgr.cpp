// TBlobMgr: the collection of the current record's blob values.
#include "engine/tables/BlobMgr.h"

TBlob& TBlobMgr::Add(int32_t fieldIndex) {
  FItems.push_back(std::make_unique<TBlob>(fieldIndex));
  return *FItems.back();
}

TBlob* TBlobMgr::FindBlob(int32_t fieldIndex) {
  for (const auto& item : FItems) {
    if (item->FieldIndex == fieldIndex) return item.get();
  }
  return nullptr;
}

void TBlobMgr::ResetAll() {
  for (const auto& item : FItems) item->Reset();
}
