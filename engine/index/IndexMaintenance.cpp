// The upkeep of every index of a table when one of its records is added, changed or deleted.
#include <cstring>

#include "engine/index/FindMode.h"
#include "engine/index/IndexManager.h"
#include "engine/storage/VorErrors.h"

std::vector<uint8_t> TIndexManager::BuildKey(TIndexItem& item, std::span<const uint8_t> record) {
  std::vector<uint8_t> key(static_cast<size_t>(item.Tree().MaxKeySize()), 0);
  item.BuildKeyToBuffer(key, record, nullptr);
  return key;
}

void TIndexManager::PrepareInsert(std::span<const uint8_t> record) {
  for (auto& item : FItems) {
    item->SetSearchKeyFromRecord(record, nullptr);
    if (item->Find(fmExact) == 0) {
      RaiseDatabaseError(9729, "TIndexManager.PrepareInsert", item->IndexName);
    }
  }
}

void TIndexManager::CompleteInsert(uint32_t address) {
  for (auto& item : FItems) item->Insert(address);
  StoreRoots();
}

void TIndexManager::InsertRecordKeys(std::span<const uint8_t> record, uint32_t address) {
  PrepareInsert(record);
  CompleteInsert(address);
}

void TIndexManager::DeleteRecordKeys(std::span<const uint8_t> record, uint32_t address) {
  for (auto& item : FItems) {
    item->SetSearchKeyFromRecord(record, nullptr);
    if (item->Find(fmExact) != 0 || item->GetRecordAddress() != address) {
      RaiseDatabaseError(8708, "TIndexManager.DeleteRecordKeys", item->IndexName);
    }
  }
  for (auto& item : FItems) item->Delete();
  StoreRoots();
}

void TIndexManager::UpdateRecordKeys(std::span<const uint8_t> oldRecord,
                                     std::span<const uint8_t> newRecord, uint32_t address) {
  constexpr const char* Context = "TIndexManager.UpdateRecordKeys";
  // Whole entries are compared byte by byte: a change of letter case in a case-insensitive
  // field still reaches the stored key.
  std::vector<TIndexItem*> changed;
  for (auto& item : FItems) {
    if (BuildKey(*item, oldRecord) != BuildKey(*item, newRecord)) changed.push_back(item.get());
  }
  for (TIndexItem* item : changed) {
    item->SetSearchKeyFromRecord(newRecord, nullptr);
    // The record's own entry may compare equal to its new key (letter case only).
    if (item->Find(fmExact) == 0 && item->GetRecordAddress() != address) {
      RaiseDatabaseError(9729, Context, item->IndexName);
    }
    item->SetSearchKeyFromRecord(oldRecord, nullptr);
    if (item->Find(fmExact) != 0 || item->GetRecordAddress() != address) {
      RaiseDatabaseError(8708, Context, item->IndexName);
    }
  }
  for (TIndexItem* item : changed) {
    item->SetSearchKeyFromRecord(oldRecord, nullptr);
    item->Find(fmExact);
    item->Delete();
    item->SetSearchKeyFromRecord(newRecord, nullptr);
    item->Find(fmExact);
    item->Insert(address);
  }
  StoreRoots();
}
