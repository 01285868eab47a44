#include "engine/index/IndexManager.h"

#include <algorithm>

#include "engine/storage/BaseIOInterface.h"
#include "engine/storage/DiskMgr.h"
#include "engine/storage/VorErrors.h"
#include "engine/tables/TableHeader.h"
#include "platform/Collation.h"
#include "platform/Exception.h"
#include "platform/StringList.h"

namespace {

bool SameName(const std::string& a, const std::string& b) {
  return platform::CollateAnsi(a.data(), static_cast<int>(a.size()), b.data(),
                               static_cast<int>(b.size()), true) == 0;
}

}  // namespace

TIndexItem& TIndexManager::AddItem() {
  FItems.push_back(std::make_unique<TIndexItem>(*this));
  return *FItems.back();
}

void TIndexManager::Assign(const TIndexManager& source) {
  if (&source == this) return;
  FItems.clear();
  for (const auto& item : source.FItems) AddItem().Assign(*item);
}

void TIndexManager::Assign(const TInternalIndexDefs& source) {
  FItems.clear();
  for (int i = 0; i < source.Count(); ++i) AddItem().Assign(source.Items(i));
}

void TIndexManager::AssignKeyFields(const TKeyFields& keyFields) {
  constexpr const char* Context = "TIndexManager.AssignKeyFields";
  for (auto& item : FItems) item->KeyFields.Clear();
  for (int i = 0; i < keyFields.Count(); ++i) {
    const TKeyFieldItem& field = keyFields.Items(i);
    TIndexItem* item = FindIndex(field.IndexName);
    if (item == nullptr) RaiseDatabaseError(9997, Context, field.IndexName);
    if (field.DataType == ftString && field.SizeMarkerOffset <= 0) {
      RaiseDatabaseError(8581, Context, "KeyBuffers invalid");
    }
    CheckKeyFieldCount(item->KeyFields.Count() + 1, item->IndexName, Context);
    item->KeyFields.Add().Assign(field);
  }
  for (auto& item : FItems) {
    if (item->KeyFields.Count() == 0) RaiseDatabaseError(8581, Context, "KeyBuffers invalid");
  }
}

void TIndexManager::Open() {
  if (FSortFunction == nullptr) {
    RaiseDatabaseError(8581, "TIndexManager.Open", "Sort function not assinged");
  }
  LoadRoots(true);
  for (auto& item : FItems) item->Open();
  FVisibleCount = static_cast<int>(
      std::count_if(FItems.begin(), FItems.end(), [](const auto& item) { return !item->Hidden; }));
}

void TIndexManager::LoadRoots(bool invalidate) {
  if (FItems.empty()) return;
  VOR_ASSERT(FTableHeader != nullptr, "IndexManager table header = nil", "vorIndexUnit");
  if (invalidate) InvalidateIndexes();
  for (auto& item : FItems) {
    const auto slot = static_cast<uint32_t>(item->IndexSequence);
    item->Root = FTableHeader->IndexRoot(slot);
    item->Depth = FTableHeader->IndexDepth(slot);
  }
}

void TIndexManager::StoreRoots() {
  if (FItems.empty()) return;
  VOR_ASSERT(FTableHeader != nullptr, "IndexManager table header = nil", "vorIndexUnit");
  for (auto& item : FItems) {
    const auto slot = static_cast<uint32_t>(item->IndexSequence);
    FTableHeader->SetIndexRoot(slot, item->Root);
    FTableHeader->SetIndexDepth(slot, static_cast<uint16_t>(item->Depth));
  }
}

void TIndexManager::EmptyIndexes() {
  if (FIOInterface != nullptr && FIOInterface->DiskMgr() != nullptr &&
      FIOInterface->GlobalItem() != 0 && FIOInterface->DiskMgr()->GlobalHdr() != nullptr) {
    // The free index blocks are the file's; the copy the interface holds may be stale.
    FIOInterface->SetFirstEmpty(FIOInterface->DiskMgr()->GlobalHdr()->GlobalInterfaceGetHdrItem(
        FIOInterface->GlobalItem()));
    FIOInterface->SetFirstEmptyValidated(true);
  }
  std::vector<TIndexItem*> bySequence;
  for (auto& item : FItems) bySequence.push_back(item.get());
  std::stable_sort(
      bySequence.begin(), bySequence.end(),
      [](const TIndexItem* a, const TIndexItem* b) { return a->IndexSequence < b->IndexSequence; });
  if (!bySequence.empty()) {
    VOR_ASSERT(FTableHeader != nullptr, "IndexManager table header = nil", "vorIndexUnit");
  }
  for (TIndexItem* item : bySequence) {
    item->CreateEmpty();
    const auto slot = static_cast<uint32_t>(item->IndexSequence);
    FTableHeader->SetIndexRoot(slot, item->Root);
    FTableHeader->SetIndexDepth(slot, static_cast<uint16_t>(item->Depth));
  }
}

void TIndexManager::CloseIndexes() {
  for (auto& item : FItems) item->Close();
  FItems.clear();
  FVisibleCount = 0;
  FIOInterface = nullptr;
}

void TIndexManager::InvalidateIndexes() {
  for (auto& item : FItems) item->InvalidateNodes();
}

TIndexItem& TIndexManager::CurrentIndex() {
  TIndexItem* item = FindIndex(FCurrentIndexName);
  if (item == nullptr) RaiseDatabaseError(9997, "TIndexManager.CurrentIndex", FCurrentIndexName);
  return *item;
}

TIndexItem* TIndexManager::FindIndex(const std::string& name) {
  for (auto& item : FItems) {
    if (SameName(item->IndexName, name)) return item.get();
  }
  return nullptr;
}

TIndexItem* TIndexManager::IndexForFields(const std::vector<std::string>& fieldNames,
                                          bool caseSensitiveOnly) {
  const int n = static_cast<int>(fieldNames.size());
  for (auto& item : FItems) {
    if (item->KeyFields.Count() < n) continue;
    bool matches = true;
    for (int i = 0; i < n && matches; ++i) {
      const TKeyFieldItem& key = item->KeyFields.Items(i);
      matches = SameName(key.FieldName, fieldNames[static_cast<size_t>(i)]) &&
                !(caseSensitiveOnly && key.CaseInsensitive);
    }
    if (matches) return item.get();
  }
  return nullptr;
}

TIndexItem* TIndexManager::IndexForFields(const std::string& fieldList, bool caseSensitiveOnly) {
  TStringList names;
  SplitFieldList(fieldList, names);
  return IndexForFields(names.Items(), caseSensitiveOnly);
}
