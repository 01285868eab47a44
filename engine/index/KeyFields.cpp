#include "engine/index/KeyFields.h"

#include "engine/storage/VorCommon.h"
#include "engine/storage/VorErrors.h"
#include "platform/Collation.h"

namespace {

bool SameName(const std::string& a, const std::string& b) {
  return platform::CollateAnsi(a.data(), static_cast<int>(a.size()), b.data(),
                               static_cast<int>(b.size()), true) == 0;
}

int32_t FieldEntryBytes(const TKeyFieldItem& item) {
  const int32_t core = CoreDataSize(item.DataType);
  return item.DataType == ftString ? core + item.FieldSize : core;
}

}  // namespace

TKeyFieldItem& TKeyFields::Add() {
  FItems.push_back(std::make_unique<TKeyFieldItem>());
  return *FItems.back();
}

void TKeyFields::Assign(const TKeyFields& source) {
  if (&source == this) return;
  FItems.clear();
  for (const auto& item : source.FItems) Add().Assign(*item);
  KeyDataOffset = source.KeyDataOffset;
}

TKeyFieldItem* TKeyFields::FindByFieldName(const std::string& name) {
  for (const auto& item : FItems) {
    if (SameName(item->FieldName, name)) return item.get();
  }
  return nullptr;
}

int TKeyFields::CountForIndex(const std::string& name) const {
  int count = 0;
  for (const auto& item : FItems) {
    if (SameName(item->IndexName, name)) ++count;
  }
  return count;
}

int32_t KeyEntrySize(const TKeyFields& keyFields) {
  int32_t size = 10;
  for (int i = 0; i < keyFields.Count(); ++i) size += FieldEntryBytes(keyFields.Items(i));
  return size;
}

int32_t KeyEntrySize(const TKeyFields& keyFields, const std::string& indexName) {
  int32_t size = 10;
  for (int i = 0; i < keyFields.Count(); ++i) {
    const TKeyFieldItem& item = keyFields.Items(i);
    if (SameName(item.IndexName, indexName)) size += FieldEntryBytes(item);
  }
  return size;
}

void CheckKeyFieldCount(int count, const std::string& indexName, const char* context) {
  if (count > MaxKeyFields) RaiseDatabaseError(9603, context, indexName);
}
