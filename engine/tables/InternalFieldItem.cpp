#include "engine/tables/InternalFieldItem.h"

#include <algorithm>
#include <random>

#include "engine/storage/VorErrors.h"
#include "engine/tables/RecordLayout.h"

void TInternalFieldItem::Assign(const TInternalFieldItem& source) {
  if (&source == this) return;
  FFieldName = source.FFieldName;
  FFieldNo = source.FFieldNo;
  FFieldIndex = source.FFieldIndex;
  FDataType = source.FDataType;
  FFieldSize = source.FFieldSize;
  FNumDecimalPlaces = source.FNumDecimalPlaces;
  FRequired = source.FRequired;
  FSizeMarkerOffset = source.FSizeMarkerOffset;
  FDataOffset = source.FDataOffset;
  FNullFlagOffset = source.FNullFlagOffset;
  FIsVariable = source.FIsVariable;
  FFieldGeneratorID = source.FFieldGeneratorID;
  FOldFieldName = source.FOldFieldName;
  FPrivileges = source.FPrivileges;
}

void TInternalFieldItem::SetDataType(int value) {
  if (!IsStorableFieldType(value)) {
    RaiseDatabaseError(10000, "TInternalFieldItem.SetDataType", FieldTypeName(value));
  }
  FDataType = static_cast<TFieldType>(value);
  FFieldSize = FixedFieldSize(value);
}

int32_t TInternalFieldItem::DisplaySize() const {
  // A string whose size is not set yet holds nothing.
  return FDataType == ftString ? std::max(FFieldSize - 1, 0) : FFieldSize;
}

bool TInternalFieldItem::IsBlob() const {
  return IsBlobFieldType(FDataType);
}

int32_t NewFieldGeneratorID() {
  // One generator per thread, so that no state is shared between connections.
  thread_local std::mt19937 generator{std::random_device{}()};
  std::uniform_int_distribution<int32_t> draw(0, 2147483646);
  return draw(generator);
}
