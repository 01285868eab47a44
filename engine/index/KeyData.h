// The key data of a key entry (KeyEntry.h): which field types an index may hold, how many bytes
// each takes and how its bytes are read back as a value. Changing any of this changes the
// order of stored index entries, which existing index blocks rely on.
//
// Key data: the key fields that have a value, in key-field order; a field without a value
// takes no bytes. Per type (little-endian):
//   type                          ordinal     bytes           compared as
//   string                        1           2-byte length L, then L bytes   table collation
//   small integer                 2           2               signed 16-bit
//   integer, auto-increment       3, 14       4               signed 32-bit
//   word                          4           2               unsigned 16-bit
//   boolean                       5           1               unsigned byte
//   float, currency               6, 7        8               IEEE double
//   date, time, date-time         9, 10, 11   8               IEEE double
#pragma once

#include <cstdint>

#include "engine/storage/FieldTypes.h"
#include "engine/storage/LittleEndian.h"

namespace keydata {

constexpr int32_t StringLengthSize = 2;

enum class TValueKind : uint8_t { None, String, Integer, Float };

inline TValueKind KindOf(int dataType) {
  switch (dataType) {
    case ftString:
      return TValueKind::String;
    case ftSmallint:
    case ftInteger:
    case ftAutoInc:
    case ftWord:
    case ftBoolean:
      return TValueKind::Integer;
    case ftFloat:
    case ftCurrency:
    case ftDate:
    case ftTime:
    case ftDateTime:
      return TValueKind::Float;
    default:
      return TValueKind::None;
  }
}

inline bool IsIndexableType(int dataType) {
  return KindOf(dataType) != TValueKind::None;
}

// Bytes of a non-string value; 0 for strings and for types an index cannot hold.
inline int32_t ValueSize(int dataType) {
  switch (dataType) {
    case ftBoolean:
      return 1;
    case ftSmallint:
    case ftWord:
      return 2;
    case ftInteger:
    case ftAutoInc:
      return 4;
    case ftFloat:
    case ftCurrency:
    case ftDate:
    case ftTime:
    case ftDateTime:
      return 8;
    default:
      return 0;
  }
}

// An integer-kind value as it orders: every such type fits a signed 64-bit value exactly.
inline int64_t IntegerValue(int dataType, const uint8_t* p) {
  switch (dataType) {
    case ftSmallint:
      return static_cast<int16_t>(le::GetU16(p));
    case ftWord:
      return le::GetU16(p);
    case ftBoolean:
      return p[0];
    default:  // integer, auto-increment
      return static_cast<int32_t>(le::GetU32(p));
  }
}

inline double FloatValue(const uint8_t* p) {
  return le::GetDouble(p);
}

}  // namespace keydata
