#include "engine/index/KeyLayout.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "engine/index/KeyEntry.h"
#include "engine/index/OptimizedSearchKey.h"
#include "engine/storage/VorErrors.h"

namespace {

constexpr const char* KeyBuffersInvalid = "KeyBuffers invalid";

int Sign(int64_t v) {
  return (v > 0) - (v < 0);
}

[[noreturn]] void RaiseCorruptKey(const char* context) {
  RaiseDatabaseError(8965, context, "Key data runs past the key entry");
}

// Reads positions through one entry's key data without ever leaving its M bytes.
class TEntryReader {
 public:
  TEntryReader(const uint8_t* entry, int32_t keyDataOffset, int32_t maxKeySize, const char* context)
      : FFlags(entry + keyentry::NullFlagsOffset),
        FPos(FFlags + keyDataOffset),
        FEnd(entry + maxKeySize),
        FContext(context) {}

  bool HasValue(int i) const { return keyentry::HasValue(FFlags, i); }
  // The next size bytes; advances past them.
  const uint8_t* Take(int32_t size) {
    if (size < 0 || FEnd - FPos < size) RaiseCorruptKey(FContext);
    const uint8_t* p = FPos;
    FPos += size;
    return p;
  }
  // A string value: its characters, with the length stored before them.
  const uint8_t* TakeString(int32_t& length) {
    length = le::GetU16(Take(keydata::StringLengthSize));
    return Take(length);
  }

 private:
  const uint8_t* FFlags;
  const uint8_t* FPos;
  const uint8_t* FEnd;
  const char* FContext;
};

}  // namespace

void TKeyLayout::Setup(const TKeyFields& keyFields, const char* context) {
  const int count = keyFields.Count();
  CheckKeyFieldCount(count, count > 0 ? keyFields.Items(0).IndexName : std::string(), context);
  std::vector<TKeyFieldSpec> fields;
  int32_t bytes = 0;
  int visible = count;
  for (int i = 0; i < count; ++i) {
    const TKeyFieldItem& item = keyFields.Items(i);
    TKeyFieldSpec spec;
    spec.Kind = keydata::KindOf(item.DataType);
    if (spec.Kind == keydata::TValueKind::None) {
      RaiseDatabaseError(8581, context, "Field type not found: " + FieldTypeName(item.DataType));
    }
    const bool sizeValid = spec.Kind == keydata::TValueKind::String
                               ? item.FieldSize >= 0 && item.FieldSize <= keyentry::MaxKeySize
                               : item.FieldSize == keydata::ValueSize(item.DataType);
    if (!sizeValid || item.RecBufOffset < 0 || item.NullFlagOffset < 0) {
      RaiseDatabaseError(8581, context, KeyBuffersInvalid);
    }
    spec.DataType = item.DataType;
    spec.Descending = item.Descending;
    spec.CaseInsensitive = item.CaseInsensitive;
    spec.Hidden = item.Hidden;
    spec.FieldSize = item.FieldSize;
    spec.RecBufOffset = item.RecBufOffset;
    spec.NullFlagOffset = item.NullFlagOffset;
    spec.SizeMarkerOffset = item.SizeMarkerOffset;
    bytes += spec.Kind == keydata::TValueKind::String ? keydata::StringLengthSize + item.FieldSize
                                                      : item.FieldSize;
    if (item.Hidden && visible == count) visible = i;
    fields.push_back(spec);
  }
  const int32_t keyDataOffset = keyFields.KeyDataOffset;
  if (keyDataOffset < 0 || int64_t{keyDataOffset} * 8 < count ||
      keyDataOffset > keyentry::MaxKeySize) {
    RaiseDatabaseError(8581, context, KeyBuffersInvalid);
  }
  FFields = std::move(fields);
  FKeyDataOffset = keyDataOffset;
  FKeyDataBytes = bytes;
  FVisibleCount = visible;
  CheckFits(context);
}

void TKeyLayout::SetMaxKeySize(int32_t maxKeySize, const char* context) {
  if (maxKeySize <= static_cast<int32_t>(keyentry::FixedSize) ||
      maxKeySize > keyentry::MaxKeySize) {
    RaiseDatabaseError(8581, context, KeyBuffersInvalid);
  }
  FMaxKeySize = maxKeySize;
  CheckFits(context);
}

void TKeyLayout::CheckFits(const char* context) const {
  if (FMaxKeySize == 0) return;
  const int64_t needed = int64_t{keyentry::FixedSize} + FKeyDataOffset + FKeyDataBytes;
  if (needed > FMaxKeySize) RaiseDatabaseError(8581, context, KeyBuffersInvalid);
}

bool TKeyLayout::FieldInRecord(int i, std::span<const uint8_t> record, const uint8_t*& data,
                               int32_t& length, const char* context) const {
  const TKeyFieldSpec& f = FFields[i];
  const auto size = static_cast<int64_t>(record.size());
  if (f.NullFlagOffset >= size) {
    RaiseDatabaseError(8581, context, "Key field outside the record buffer");
  }
  if (record[f.NullFlagOffset] != 1) return false;
  int32_t l = f.FieldSize;
  if (f.Kind == keydata::TValueKind::String && f.SizeMarkerOffset > 0) {
    if (int64_t{f.SizeMarkerOffset} + keydata::StringLengthSize > size) {
      RaiseDatabaseError(8581, context, "Key field outside the record buffer");
    }
    l = le::GetU16(record.data() + f.SizeMarkerOffset);
    if (l > f.FieldSize) RaiseDatabaseError(8581, context, "Field data length is out of range");
  }
  if (int64_t{f.RecBufOffset} + l > size) {
    RaiseDatabaseError(8581, context, "Key field outside the record buffer");
  }
  data = record.data() + f.RecBufOffset;
  length = l;
  return true;
}

void TKeyLayout::BuildKey(uint8_t* entry, std::span<const uint8_t> record) const {
  std::memset(entry, 0, static_cast<size_t>(FMaxKeySize));
  uint8_t* flags = entry + keyentry::NullFlagsOffset;
  uint8_t* pos = flags + FKeyDataOffset;
  for (int i = 0; i < Count(); ++i) {
    const uint8_t* data = nullptr;
    int32_t length = 0;
    if (!FieldInRecord(i, record, data, length, "TBTree.BuildKey")) continue;
    // Setup made the entry large enough for every field at its longest.
    if (FFields[i].Kind == keydata::TValueKind::String) {
      le::PutU16(pos, static_cast<uint16_t>(length));
      pos += keydata::StringLengthSize;
    }
    std::memcpy(pos, data, static_cast<size_t>(length));
    pos += length;
    keyentry::SetHasValue(flags, i);
  }
  keyentry::SetEntryLength(entry, static_cast<uint16_t>(FMaxKeySize));
}

int TKeyLayout::CompareToOptimizedKey(int n, const TOptimizedSearchKey& key,
                                      const uint8_t* entry) const {
  static constexpr const char* Context = "TBTree.CompareToOptimizedKey";
  const uint16_t length = keyentry::EntryLength(entry);
  if (length > FMaxKeySize) {
    RaiseDatabaseError(8581, Context, "Invalid key size: " + std::to_string(length));
  }
  TEntryReader reader(entry, FKeyDataOffset, FMaxKeySize, Context);
  const int count = std::min(FieldCount(n), key.Count());
  for (int i = 0; i < count; ++i) {
    const TOptimizedSearchKey::TSlot& slot = key.Slot(i);
    if (slot.Marker != 0) return slot.Marker > 0 ? 1 : -1;
    const TKeyFieldSpec& f = FFields[i];
    const bool searchHas = key.HasValue(i);
    const bool entryHas = reader.HasValue(i);
    int c = int{searchHas} - int{entryHas};
    if (searchHas && entryHas) {
      switch (f.Kind) {
        case keydata::TValueKind::String: {
          int32_t l2 = 0;
          const uint8_t* text = reader.TakeString(l2);
          c = Sign(FSortFunction(slot.Text, reinterpret_cast<const char*>(text), slot.Length, l2,
                                 f.CaseInsensitive, false));
          break;
        }
        case keydata::TValueKind::Integer:
          c = CompareIntegers(slot.Integer,
                              keydata::IntegerValue(f.DataType, reader.Take(f.FieldSize)));
          break;
        case keydata::TValueKind::Float:
          c = CompareFloats(slot.Float, keydata::FloatValue(reader.Take(f.FieldSize)));
          break;
        default:
          RaiseDatabaseError(8581, Context,
                             "Field type not found in KeyBufCompare: " + FieldTypeName(f.DataType));
      }
    }
    if (c != 0) return f.Descending ? -c : c;
  }
  return 0;
}

int TKeyLayout::CompareKeys(int n, const TKeyMarkers* markersQ, const uint8_t* p, const uint8_t* q,
                            const TKeyMarkers* markersP) const {
  static constexpr const char* Context = "TBTree.CompareKeys";
  if (keyentry::EntryLength(p) > FMaxKeySize || keyentry::EntryLength(q) > FMaxKeySize) {
    RaiseDatabaseError(8581, Context, "KeySize out of range");
  }
  TEntryReader readerP(p, FKeyDataOffset, FMaxKeySize, Context);
  TEntryReader readerQ(q, FKeyDataOffset, FMaxKeySize, Context);
  const int count = FieldCount(n);
  for (int i = 0; i < count; ++i) {
    if (markersQ != nullptr && i < static_cast<int>(markersQ->size())) {
      const int32_t markerQ = (*markersQ)[i] & KeyMarkerMask;
      const int32_t markerP = markersP != nullptr && i < static_cast<int>(markersP->size())
                                  ? (*markersP)[i] & KeyMarkerMask
                                  : KeyMarkerValue;
      if (markerQ != markerP) return markerQ > markerP ? 1 : -1;
    }
    const TKeyFieldSpec& f = FFields[i];
    const bool qHas = readerQ.HasValue(i);
    const bool pHas = readerP.HasValue(i);
    int c = int{qHas} - int{pHas};
    if (qHas && pHas) {
      switch (f.Kind) {
        case keydata::TValueKind::String: {
          int32_t lq = 0;
          int32_t lp = 0;
          const uint8_t* tq = readerQ.TakeString(lq);
          const uint8_t* tp = readerP.TakeString(lp);
          c = Sign(FSortFunction(reinterpret_cast<const char*>(tq),
                                 reinterpret_cast<const char*>(tp), lq, lp, f.CaseInsensitive,
                                 false));
          break;
        }
        case keydata::TValueKind::Integer:
          c = CompareIntegers(keydata::IntegerValue(f.DataType, readerQ.Take(f.FieldSize)),
                              keydata::IntegerValue(f.DataType, readerP.Take(f.FieldSize)));
          break;
        case keydata::TValueKind::Float:
          c = CompareFloats(keydata::FloatValue(readerQ.Take(f.FieldSize)),
                            keydata::FloatValue(readerP.Take(f.FieldSize)));
          break;
        default:
          RaiseDatabaseError(8581, Context, "Field type not found: " + FieldTypeName(f.DataType));
      }
    }
    if (c != 0) return f.Descending ? -c : c;
  }
  return 0;
}
