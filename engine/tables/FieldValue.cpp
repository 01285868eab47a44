#include "engine/tables/FieldValue.h"

#include <algorithm>
#include <string>

#include "engine/storage/LittleEndian.h"
#include "engine/storage/VorErrors.h"
#include "engine/tables/RecordLayout.h"
#include "platform/Exception.h"

namespace {

constexpr const char* Unit = "vorDataUnit";

// The bytes [offset, offset + size) of the image; the layout must keep them inside it.
template <typename Byte>
std::span<Byte> Area(std::span<Byte> record, int64_t offset, int64_t size) {
  VOR_ASSERT(offset >= 0 && size >= 0 && offset + size <= static_cast<int64_t>(record.size()),
             "Field outside the record buffer", Unit);
  return record.subspan(static_cast<size_t>(offset), static_cast<size_t>(size));
}

void RefuseBlob(const TInternalFieldItem& field, const char* context, const std::string& text) {
  if (field.IsBlob()) RaiseDatabaseError(8581, context, text);
}

}  // namespace

bool TFieldValue::IsNull(const TInternalFieldItem& field, std::span<const uint8_t> record) {
  return Area(record, field.NullFlagOffset(), 1)[0] == record::NullFlagNull;
}

int32_t TFieldValue::StoredLength(const TInternalFieldItem& field,
                                  std::span<const uint8_t> record) {
  const uint8_t flag = Area(record, field.NullFlagOffset(), 1)[0];
  if (field.IsBlob()) {
    if (flag != record::NullFlagValue) return 0;
    return static_cast<int32_t>(BlobRef(field, record).Length);
  }
  if (!field.IsVariable()) return field.FieldSize();
  if (field.SizeMarkerOffset() == 0) {
    RaiseDatabaseError(10000, "TFieldValue.StoredLength", FieldTypeName(field.DataType()));
  }
  if (flag == record::NullFlagNull) return 0;
  const int32_t length =
      le::GetU16(Area(record, field.SizeMarkerOffset(), record::SizeMarkerWidth).data());
  if (length > field.DisplaySize()) {
    RaiseDatabaseError(8962, "TFieldValue.StoredLength",
                       "Size marker out of range in field " + field.FieldName());
  }
  return length;
}

bool TFieldValue::Get(const TInternalFieldItem& field, std::span<const uint8_t> record,
                      std::span<uint8_t> dest) {
  RefuseBlob(field, "TFieldValue.Get",
             "Unable to use this method to access blob fields. Field : " +
                 std::to_string(field.FieldNo()));
  if (IsNull(field, record)) return false;
  const int32_t length = StoredLength(field, record);
  auto data = Area(record, field.DataOffset(), field.FieldSize());
  VOR_ASSERT(dest.size() >= data.size(), "Field destination smaller than the field", Unit);
  if (length < field.FieldSize()) std::fill_n(dest.begin(), data.size(), uint8_t{0});
  std::copy_n(data.begin(), length, dest.begin());
  return true;
}

void TFieldValue::Set(const TInternalFieldItem& field, std::span<uint8_t> record,
                      std::span<const uint8_t> data) {
  RefuseBlob(field, "TFieldValue.Set", "Unable to use this method to access blob fields");
  if (data.size() > static_cast<size_t>(field.DisplaySize())) {
    RaiseDatabaseError(8581, "TFieldValue.Set", "Field data length is out of range");
  }
  auto area = Area(record, field.DataOffset(), field.FieldSize());
  auto flag = Area(record, field.NullFlagOffset(), 1);
  if (field.SizeMarkerOffset() != 0) {
    le::PutU16(Area(record, field.SizeMarkerOffset(), record::SizeMarkerWidth).data(),
               static_cast<uint16_t>(data.size()));
  }
  flag[0] = record::NullFlagValue;
  if (data.size() < area.size()) std::fill(area.begin(), area.end(), uint8_t{0});
  std::copy(data.begin(), data.end(), area.begin());
}

void TFieldValue::SetNull(const TInternalFieldItem& field, std::span<uint8_t> record) {
  auto area = Area(record, field.DataOffset(), field.FieldSize());
  Area(record, field.NullFlagOffset(), 1)[0] = record::NullFlagNull;
  if (field.SizeMarkerOffset() != 0) {
    le::PutU16(Area(record, field.SizeMarkerOffset(), record::SizeMarkerWidth).data(), 0);
  }
  std::fill(area.begin(), area.end(), uint8_t{0});
}

TBlobRef TFieldValue::BlobRef(const TInternalFieldItem& field, std::span<const uint8_t> record) {
  VOR_ASSERT(field.IsBlob(), "Blob reference of a non-blob field", Unit);
  auto area = Area(record, field.DataOffset(), record::BlobRefSize);
  return {le::GetU32(area.data() + record::BlobAddressOffset),
          le::GetU32(area.data() + record::BlobLengthOffset)};
}

void TFieldValue::SetBlobRef(const TInternalFieldItem& field, std::span<uint8_t> record,
                             TBlobRef ref) {
  VOR_ASSERT(field.IsBlob(), "Blob reference of a non-blob field", Unit);
  auto area = Area(record, field.DataOffset(), record::BlobRefSize);
  le::PutU32(area.data() + record::BlobAddressOffset, ref.Address);
  le::PutU32(area.data() + record::BlobLengthOffset, ref.Length);
  Area(record, field.NullFlagOffset(), 1)[0] =
      ref.Length != 0 ? record::NullFlagValue : record::NullFlagNull;
}
