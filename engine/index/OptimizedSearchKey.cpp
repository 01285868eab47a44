#include "engine/index/OptimizedSearchKey.h"

#include "engine/index/KeyEntry.h"
#include "engine/index/KeyLayout.h"
#include "engine/storage/VorErrors.h"
#include "platform/Exception.h"

namespace {

void SetValue(TOptimizedSearchKey::TSlot& slot, const TKeyFieldSpec& f, const uint8_t* data,
              int32_t length) {
  slot.Length = length;
  switch (f.Kind) {
    case keydata::TValueKind::String:
      slot.Text = reinterpret_cast<const char*>(data);
      break;
    case keydata::TValueKind::Integer:
      slot.Integer = keydata::IntegerValue(f.DataType, data);
      break;
    case keydata::TValueKind::Float:
      slot.Float = keydata::FloatValue(data);
      break;
    default:
      break;
  }
}

}  // namespace

void TOptimizedSearchKey::Clear(const TKeyLayout& layout, const TKeyMarkers* markers) {
  // The layout refuses more fields than there are slots; this guards the slots regardless.
  VOR_ASSERT(layout.Count() <= SlotCount, "Too many fields in index", "vorIndexUnit");
  FCount = layout.Count();
  FNullBits = 0;
  for (int i = 0; i < FCount; ++i) {
    FSlots[i] = TSlot();
    if (markers != nullptr && i < static_cast<int>(markers->size())) {
      FSlots[i].Marker = ((*markers)[i] & KeyMarkerMask) - 1;
    }
  }
}

void TOptimizedSearchKey::PrepareFromRecord(const TKeyLayout& layout, const TKeyMarkers* markers,
                                            std::span<const uint8_t> record) {
  Clear(layout, markers);
  for (int i = 0; i < FCount; ++i) {
    const uint8_t* data = nullptr;
    int32_t length = 0;
    if (!layout.FieldInRecord(i, record, data, length, "TBTree.SetSearchKeyFromRecord")) {
      continue;
    }
    SetValue(FSlots[i], layout.Field(i), data, length);
    FNullBits |= 1u << i;
  }
}

void TOptimizedSearchKey::PrepareFromKey(const TKeyLayout& layout, const TKeyMarkers* markers,
                                         std::span<const uint8_t> entry) {
  static constexpr const char* Context = "TBTree.SetSearchKeyFromKeyBuf";
  if (static_cast<int64_t>(entry.size()) < layout.MaxKeySize()) {
    RaiseDatabaseError(8581, Context, "KeySize out of range");
  }
  Clear(layout, markers);
  const uint8_t* flags = entry.data() + keyentry::NullFlagsOffset;
  int64_t pos = keyentry::NullFlagsOffset + int64_t{layout.KeyDataOffset()};
  const int64_t end = layout.MaxKeySize();
  for (int i = 0; i < FCount; ++i) {
    if (!keyentry::HasValue(flags, i)) continue;
    const TKeyFieldSpec& f = layout.Field(i);
    int32_t length = f.FieldSize;
    if (f.Kind == keydata::TValueKind::String) {
      if (pos + keydata::StringLengthSize > end) {
        RaiseDatabaseError(8965, Context, "Key data runs past the key entry");
      }
      length = le::GetU16(entry.data() + pos);
      pos += keydata::StringLengthSize;
    }
    if (pos + length > end) RaiseDatabaseError(8965, Context, "Key data runs past the key entry");
    SetValue(FSlots[i], f, entry.data() + pos, length);
    FNullBits |= 1u << i;
    pos += length;
  }
}
