#include "engine/tables/RecordLayout.h"

#include "engine/storage/FieldTypes.h"

bool IsStorableFieldType(int fieldType) {
  switch (fieldType) {
    case ftString:
      return true;
    default:
      return FixedFieldSize(fieldType) != 0;
  }
}

bool IsBlobFieldType(int fieldType) {
  return fieldType >= ftBlob && fieldType <= ftFmtMemo;
}

int32_t FixedFieldSize(int fieldType) {
  switch (fieldType) {
    case ftSmallint:
    case ftWord:
      return 2;
    case ftInteger:
    case ftAutoInc:
      return 4;
    case ftBoolean:
      return 1;
    case ftFloat:
    case ftCurrency:
    case ftDate:
    case ftTime:
    case ftDateTime:
      return 8;
    case ftBlob:
    case ftMemo:
    case ftGraphic:
    case ftFmtMemo:
      return record::BlobRefSize;
    default:
      return 0;
  }
}
