// The byte layout of a stored record and the storage rules of the field types. A record is one
// fixed-size block of its table's record interface; all integers are little-endian.
//
// Record (n = number of fields, fields in collection order):
//   offset  width  content
//   0       1      live marker: 1 in a live record, 0 in a free block
//   1       1      zero
//   2       4      record signature: table id * 16 + 9 (the record interface's map flags)
//   6       4      record id: the table header's LastRecordID + 1 when the record was added
//   10      4      update count, +1 at every update
//   14      n      null flags, field i at 14 + i: 0 null, otherwise the field has a value
//   14 + n  ...    data areas in field order: a string has a 2-byte size marker (its number
//                  of characters) and then FieldSize bytes, zero-padded; any other field its
//                  fixed size
// A freed record block carries the free-block chain in bytes 8-15 and has byte 0 cleared.
//
// Fixed data areas: small integer 2 (signed), integer 4 (signed), word 2 (unsigned), boolean 1
// (0 false), float, currency, date, time, date-time 8 (double; dates as days since 30 December
// 1899), auto-increment 4 (signed); blob, memo, graphic, formatted memo 8: the 32-bit address
// of the chain's first block, then the 32-bit length.
#pragma once

#include <cstdint>

namespace record {

constexpr uint32_t LiveMarkerOffset = 0;
constexpr uint32_t SignatureOffset = 2;
constexpr uint32_t RecordIDOffset = 6;
constexpr uint32_t UpdateCountOffset = 10;
constexpr uint32_t HeaderSize = 14;
constexpr uint32_t NullFlagsOffset = HeaderSize;

constexpr uint8_t LiveMarker = 1;
constexpr uint8_t NullFlagNull = 0;
constexpr uint8_t NullFlagValue = 1;

constexpr uint32_t SizeMarkerWidth = 2;
// Data area of a blob-kind field: chain address, then total length.
constexpr uint32_t BlobAddressOffset = 0;
constexpr uint32_t BlobLengthOffset = 4;
constexpr uint32_t BlobRefSize = 8;

// A string's data area holds the declared size + 1 bytes; declared sizes run from 1 to 255.
constexpr int32_t MinStringFieldSize = 2;
constexpr int32_t MaxStringFieldSize = 256;
constexpr int MaxFieldCount = 255;
constexpr int IndexMapSize = 256;

constexpr uint16_t RecordUsage = 9;
constexpr uint32_t Signature(uint32_t tableID) {
  return tableID * 16 + RecordUsage;
}

}  // namespace record

// Whether a table may hold a field of this type.
bool IsStorableFieldType(int fieldType);
// Types 15 to 18, whose values live in blob chains.
bool IsBlobFieldType(int fieldType);
// Bytes of the type's data area: 0 for strings (their size is declared) and for types that a
// table cannot hold.
int32_t FixedFieldSize(int fieldType);
