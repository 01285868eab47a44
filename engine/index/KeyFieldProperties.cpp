#include "engine/index/KeyFieldProperties.h"

#include <memory>

#include "engine/tables/FieldTypeNames.h"

const TPropertyTable<TKeyFieldItem>& KeyFieldItemProperties() {
  using Item = TKeyFieldItem;
  static const auto table = [] {
    auto t = std::make_unique<TPropertyTable<Item>>("TKeyFieldItem");
    t->AddBooleanField("CaseInsensitive", &Item::CaseInsensitive)
        .AddBooleanField("Descending", &Item::Descending)
        .AddInt32Field("FieldSize", &Item::FieldSize)
        .AddEnumeration(
            "DataType", StreamedFieldTypeNames(), [](const Item& i) { return int{i.DataType}; },
            [](Item& i, int v) { i.DataType = static_cast<TFieldType>(v); })
        .AddBooleanField("IsVariable", &Item::IsVariable)
        .AddStringField("FieldName", &Item::FieldName)
        .AddInt32Field("RecBufOffset", &Item::RecBufOffset)
        .AddInt32Field("NullFlagOffset", &Item::NullFlagOffset)
        .AddInt32Field("PhysicalFieldNo", &Item::PhysicalFieldNo)
        .AddStringField("IndexName", &Item::IndexName)
        .AddBooleanField("Hidden", &Item::Hidden)
        .AddInt32Field("SizeMarkerOffset", &Item::SizeMarkerOffset)
        .AddInt32Field("KeyIndex", &Item::KeyIndex);
    return t;
  }();
  return *table;
}
