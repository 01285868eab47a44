#include "engine/tables/InternalFieldProperties.h"

#include <cstdint>
#include <limits>
#include <memory>

#include "engine/tables/FieldTypeNames.h"

namespace {

using Item = TInternalFieldItem;
using TGetInt = int32_t (Item::*)() const;
using TSetInt = void (Item::*)(int32_t);

void AddInt(TPropertyTable<Item>& table, const char* name, TGetInt get, TSetInt set,
            std::optional<int64_t> def = std::nullopt) {
  table.AddInteger(
      name, [get](const Item& i) -> int64_t { return (i.*get)(); },
      [set](Item& i, int64_t v) { (i.*set)(static_cast<int32_t>(v)); },
      std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max(), def);
}

}  // namespace

const TPropertyTable<TInternalFieldItem>& InternalFieldItemProperties() {
  static const auto table = [] {
    auto t = std::make_unique<TPropertyTable<Item>>("TInternalFieldItem");
    t->AddString(
        "FieldName", [](const Item& i) { return i.FieldName(); },
        [](Item& i, const std::string& v) { i.SetFieldName(v); });
    AddInt(*t, "FieldNo", &Item::FieldNo, &Item::SetFieldNo);
    AddInt(*t, "FieldIndex", &Item::FieldIndex, &Item::SetFieldIndex);
    // Setting the type also sets the type's fixed size; FieldSize comes after it.
    t->AddEnumeration(
        "DataType", StreamedFieldTypeNames(), [](const Item& i) { return int{i.DataType()}; },
        [](Item& i, int v) { i.SetDataType(v); });
    AddInt(*t, "FieldSize", &Item::FieldSize, &Item::SetFieldSize);
    AddInt(*t, "NumDecimalPlaces", &Item::NumDecimalPlaces, &Item::SetNumDecimalPlaces, 0);
    t->AddBoolean(
        "Required", [](const Item& i) { return i.Required(); },
        [](Item& i, bool v) { i.SetRequired(v); });
    AddInt(*t, "SizeMarkerOffset", &Item::SizeMarkerOffset, &Item::SetSizeMarkerOffset);
    AddInt(*t, "DataOffset", &Item::DataOffset, &Item::SetDataOffset);
    AddInt(*t, "NullFlagOffset", &Item::NullFlagOffset, &Item::SetNullFlagOffset);
    t->AddBoolean(
        "IsVariable", [](const Item& i) { return i.IsVariable(); },
        [](Item& i, bool v) { i.SetIsVariable(v); }, false);
    AddInt(*t, "FieldGeneratorID", &Item::FieldGeneratorID, &Item::SetFieldGeneratorID);
    return t;
  }();
  return *table;
}
