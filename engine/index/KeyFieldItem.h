// One field of an index key: which record field it takes (offsets into the record buffer),
// how it is stored in the key data and how it compares. The properties are plain fields with
// their stored names, in stored order, so that the table definition's writer and reader can
// enumerate them.
#pragma once

#include <cstdint>
#include <string>

#include "engine/storage/FieldTypes.h"

class TKeyFieldItem {
 public:
  // Copies all thirteen properties. A string field without a size marker is an assertion
  // failure "Internal status error in assign KeyField".
  void Assign(const TKeyFieldItem& source);

  bool CaseInsensitive = false;
  bool Descending = false;
  // Bytes of the field's data; for strings the longest value in bytes.
  int32_t FieldSize = 0;
  TFieldType DataType = ftUnknown;
  bool IsVariable = false;
  // Empty for the hidden record-number field.
  std::string FieldName;
  int32_t RecBufOffset = 0;
  // The record's null-flag byte of the field: 1 when the field has a value.
  int32_t NullFlagOffset = 0;
  // -1 for the hidden field.
  int32_t PhysicalFieldNo = 0;
  std::string IndexName;
  // Added by the engine: the record-number suffix of a non-unique index.
  bool Hidden = false;
  // Offset of a string's 2-byte actual length in the record buffer; <= 0 when it has none.
  int32_t SizeMarkerOffset = 0;
  int32_t KeyIndex = 0;
};
