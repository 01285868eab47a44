// Reading and writing one field's value in a record image (RecordLayout.h): a stored record,
// or the first RecordSize bytes of a dataset record buffer. Stateless.
//
// Rules: a field has a value when its null flag is not 0. The stored length of a fixed field
// is its FieldSize; of a string, its size marker when it has a value, else 0; of a blob, the
// length after the chain address when the null flag is 1, else 0. A value never exceeds the
// field's DisplaySize; a shorter one leaves the rest of the data area zero.
//
// Every access checks that the field's bytes lie inside the given image (an assertion: the
// layout was checked when the table opened), and every size marker read is checked against
// DisplaySize (8962), so a damaged record never makes a copy run past a buffer.
#pragma once

#include <cstdint>
#include <span>

#include "engine/tables/InternalFieldItem.h"

struct TBlobRef {
  uint32_t Address = 0;
  uint32_t Length = 0;
};

class TFieldValue {
 public:
  static bool IsNull(const TInternalFieldItem& field, std::span<const uint8_t> record);
  // Raises 10000 for a variable field without a size marker, 8962 for a marker beyond
  // DisplaySize.
  static int32_t StoredLength(const TInternalFieldItem& field, std::span<const uint8_t> record);
  // Copies a value into dest (at least FieldSize bytes; zeroed first when the value is
  // shorter) and returns true; returns false for null and leaves dest alone. Blob kinds
  // raise 8581.
  static bool Get(const TInternalFieldItem& field, std::span<const uint8_t> record,
                  std::span<uint8_t> dest);
  // Stores data as the value: 8581 for blob kinds and for data longer than DisplaySize.
  static void Set(const TInternalFieldItem& field, std::span<uint8_t> record,
                  std::span<const uint8_t> data);
  // Clears the null flag, the size marker and the data area.
  static void SetNull(const TInternalFieldItem& field, std::span<uint8_t> record);

  // The chain address and length of a blob-kind field, as stored.
  static TBlobRef BlobRef(const TInternalFieldItem& field, std::span<const uint8_t> record);
  // Stores them; the field has a value exactly when the length is not 0.
  static void SetBlobRef(const TInternalFieldItem& field, std::span<uint8_t> record, TBlobRef ref);
};
