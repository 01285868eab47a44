#include "engine/index/InternalIndexDefs.h"

#include "platform/Collation.h"

TInternalIndexDef& TInternalIndexDefs::Add() {
  FItems.push_back(std::make_unique<TInternalIndexDef>());
  return *FItems.back();
}

void TInternalIndexDefs::Assign(const TInternalIndexDefs& source) {
  if (&source == this) return;
  FItems.clear();
  for (const auto& item : source.FItems) Add().Assign(*item);
}

TInternalIndexDef* TInternalIndexDefs::FindIndexDef(const std::string& name) {
  const auto& self = *this;
  return const_cast<TInternalIndexDef*>(self.FindIndexDef(name));
}

const TInternalIndexDef* TInternalIndexDefs::FindIndexDef(const std::string& name) const {
  for (const auto& item : FItems) {
    const std::string& own = item->IndexName;
    if (platform::CollateAnsi(own.data(), static_cast<int>(own.size()), name.data(),
                              static_cast<int>(name.size()), true) == 0) {
      return item.get();
    }
  }
  return nullptr;
}
