#include "engine/tables/InternalFields.h"

#include "engine/storage/LittleEndian.h"
#include "engine/storage/VorErrors.h"
#include "platform/Collation.h"
#include "platform/Exception.h"

namespace {

constexpr const char* Unit = "vorDataUnit";

bool SameName(const std::string& a, const std::string& b) {
  return platform::CollateAnsi(a.data(), static_cast<int>(a.size()), b.data(),
                               static_cast<int>(b.size()), true) == 0;
}

// Whether [offset, offset + size) lies within [low, high), in wide arithmetic so that no
// stored value can overflow the test.
bool Within(int64_t offset, int64_t size, int64_t low, int64_t high) {
  return offset >= low && size >= 0 && offset + size <= high;
}

}  // namespace

TInternalFields::TInternalFields() {
  FIndexMap.fill(NoPosition);
}

TInternalFieldItem& TInternalFields::Add() {
  FItems.push_back(NewItem());
  FItems.back()->SetFieldGeneratorID(NewFieldGeneratorID());
  return *FItems.back();
}

TInternalFieldItem& TInternalFields::Items(int position) {
  VOR_ASSERT(position >= 0 && position < Count(), "Field position out of range", Unit);
  return *FItems[position];
}

const TInternalFieldItem& TInternalFields::Items(int position) const {
  VOR_ASSERT(position >= 0 && position < Count(), "Field position out of range", Unit);
  return *FItems[position];
}

void TInternalFields::Clear() {
  FItems.clear();
  FIndexMap.fill(NoPosition);
}

std::unique_ptr<TInternalFieldItem> TInternalFields::NewItem() const {
  return std::make_unique<TInternalFieldItem>();
}

void TInternalFields::SetDefaultOffsets() {
  const int n = Count();
  int32_t offset = static_cast<int32_t>(record::NullFlagsOffset) + n;
  for (int i = 0; i < n; ++i) {
    TInternalFieldItem& item = *FItems[i];
    if (item.DataType() == ftString) {
      if (item.FieldSize() < record::MinStringFieldSize ||
          item.FieldSize() > record::MaxStringFieldSize) {
        RaiseDatabaseError(9606, "TInternalFieldItem.SetDefaultOffsets", item.FieldName());
      }
      item.SetSizeMarkerOffset(offset);
      offset += record::SizeMarkerWidth;
    } else {
      item.SetFieldSize(FixedFieldSize(item.DataType()));
      item.SetSizeMarkerOffset(0);
    }
    item.SetDataOffset(offset);
    item.SetNullFlagOffset(static_cast<int32_t>(record::NullFlagsOffset) + i);
    offset += item.FieldSize();
  }
  FRecordSize = offset;
}

int TInternalFields::PositionOfName(const std::string& name) const {
  for (int position = 0; position < Count(); ++position) {
    if (SameName(FItems[position]->FieldName(), name)) return position;
  }
  return NoPosition;
}

TInternalFieldItem* TInternalFields::FindField(const std::string& name) {
  const int position = PositionOfName(name);
  return position == NoPosition ? nullptr : FItems[position].get();
}

const TInternalFieldItem* TInternalFields::FindField(const std::string& name) const {
  const int position = PositionOfName(name);
  return position == NoPosition ? nullptr : FItems[position].get();
}

void TInternalFields::Assign(const TInternalFields& source) {
  if (&source == this) return;
  FItems.clear();
  for (const auto& item : source.FItems) {
    FItems.push_back(NewItem());
    FItems.back()->Assign(*item);
  }
  FIndexMap = source.FIndexMap;
  FRecordSize = 0;
  FHasBlobs = false;
  FAutoIncFieldIndex = -1;
}

void TInternalFields::BuildIndexMap() {
  FAutoIncFieldIndex = -1;
  FHasBlobs = false;
  for (const auto& item : FItems) {
    if (item->IsBlob()) FHasBlobs = true;
    if (item->DataType() == ftAutoInc) FAutoIncFieldIndex = item->FieldIndex();
  }
  FIndexMap.fill(NoPosition);
  for (int position = 0; position < Count(); ++position) {
    const int32_t fieldIndex = FItems[position]->FieldIndex();
    // The map holds 256 entries; a layout has at most 255 fields.
    const bool valid = fieldIndex >= 0 && fieldIndex < Count() && fieldIndex < record::IndexMapSize;
    if (!valid) {
      FIndexMap.fill(NoPosition);
      AssertFailed("Invalid field index", Unit, __LINE__);
    }
    if (FIndexMap[fieldIndex] != NoPosition) {
      FIndexMap.fill(NoPosition);
      AssertFailed("Field indexes degenerate", Unit, __LINE__);
    }
    FIndexMap[fieldIndex] = static_cast<int16_t>(position);
  }
}

int TInternalFields::PositionOfIndex(int32_t fieldIndex) const {
  VOR_ASSERT(fieldIndex >= 0 && fieldIndex < Count() && fieldIndex < record::IndexMapSize,
             "Invalid field index in GetField", Unit);
  const int position = FIndexMap[fieldIndex];
  // An entry is unset (or stale) when the items changed after the map was built.
  VOR_ASSERT(position >= 0 && position < Count(), "Field index map not built", Unit);
  return position;
}

TInternalFieldItem& TInternalFields::FieldByIndex(int32_t fieldIndex) {
  return *FItems[PositionOfIndex(fieldIndex)];
}

const TInternalFieldItem& TInternalFields::FieldByIndex(int32_t fieldIndex) const {
  return *FItems[PositionOfIndex(fieldIndex)];
}

void TInternalFields::CheckLayout(const char* context) const {
  const int n = Count();
  if (n > record::MaxFieldCount) {
    RaiseDatabaseError(8451, context, "Field layout: too many fields");
  }
  const int64_t dataStart = int64_t{record::NullFlagsOffset} + n;
  if (FRecordSize < dataStart) {
    RaiseDatabaseError(8451, context, "Field layout: record size is too small");
  }
  for (const auto& item : FItems) {
    const int32_t size = item->FieldSize();
    bool sizeOk =
        item->DataType() == ftString
            ? size >= record::MinStringFieldSize && size <= record::MaxStringFieldSize
            : IsStorableFieldType(item->DataType()) && size == FixedFieldSize(item->DataType());
    bool placed =
        Within(item->NullFlagOffset(), 1, record::NullFlagsOffset, dataStart) &&
        Within(item->DataOffset(), size, dataStart, FRecordSize) &&
        (item->SizeMarkerOffset() == 0 ||
         Within(item->SizeMarkerOffset(), record::SizeMarkerWidth, dataStart, FRecordSize));
    if (!sizeOk || !placed) {
      RaiseDatabaseError(8451, context,
                         "Field layout: field does not fit the record: " + item->FieldName());
    }
  }
}

void TInternalFields::CheckRecord(std::span<const uint8_t> record, const char* context) const {
  VOR_ASSERT(FRecordSize >= 0 && record.size() >= static_cast<size_t>(FRecordSize),
             "Record buffer smaller than the record size", Unit);
  for (const auto& item : FItems) {
    const int32_t marker = item->SizeMarkerOffset();
    if (marker == 0) continue;
    if (!Within(marker, record::SizeMarkerWidth, record::NullFlagsOffset, FRecordSize)) {
      RaiseDatabaseError(8451, context,
                         "Field layout: field does not fit the record: " + item->FieldName());
    }
    if (le::GetU16(record.data() + marker) > item->DisplaySize()) {
      RaiseDatabaseError(8962, context, "Size marker out of range in field " + item->FieldName());
    }
  }
}
