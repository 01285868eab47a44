#include "engine/storage/FieldTypes.h"

#include <array>

namespace {

constexpr std::array<const char*, ftDataSet + 1> FieldTypeNames = {
    "ftUnknown",    "ftString",     "ftSmallint", "ftInteger",     "ftWord",      "ftBoolean",
    "ftFloat",      "ftCurrency",   "ftBCD",      "ftDate",        "ftTime",      "ftDateTime",
    "ftBytes",      "ftVarBytes",   "ftAutoInc",  "ftBlob",        "ftMemo",      "ftGraphic",
    "ftFmtMemo",    "ftParadoxOle", "ftDBaseOle", "ftTypedBinary", "ftCursor",    "ftFixedChar",
    "ftWideString", "ftLargeint",   "ftADT",      "ftArray",       "ftReference", "ftDataSet"};

}  // namespace

std::string FieldTypeName(int fieldType) {
  if (fieldType < 0 || fieldType >= static_cast<int>(FieldTypeNames.size()))
    return std::to_string(fieldType);
  return FieldTypeNames[fieldType];
}
