#include "engine/index/InternalIndexDefProperties.h"

#include <memory>

const TPropertyTable<TInternalIndexDef>& InternalIndexDefProperties() {
  using Item = TInternalIndexDef;
  static const auto table = [] {
    auto t = std::make_unique<TPropertyTable<Item>>("TInternalIndexDef");
    t->AddBooleanField("Hidden", &Item::Hidden)
        .AddBooleanField("Primary", &Item::Primary)
        .AddBooleanField("Unique", &Item::Unique)
        .AddStringField("IndexName", &Item::IndexName)
        .AddBooleanField("Maintained", &Item::Maintained)
        .AddBooleanField("Memory", &Item::Memory)
        .AddInt32Field("IndexPageSize", &Item::IndexPageSize)
        .AddInt32Field("MaximumKeySize", &Item::MaximumKeySize)
        .AddInt32Field("KeyDataOffset", &Item::KeyDataOffset)
        .AddInt32Field("IndexSequence", &Item::IndexSequence)
        .AddEnumeration(
            "IndexKeyType", {"ikFixed", "ikMinStringLen"},
            [](const Item& i) { return int{i.IndexKeyType}; },
            [](Item& i, int v) { i.IndexKeyType = static_cast<TIndexKeyType>(v); });
    return t;
  }();
  return *table;
}
