// The key fields of one index compiled for use: builds key entries from record buffers and
// compares entries with each other and with a prepared search key, in the order every index
// node keeps (KeyData.h). Nothing here allocates or changes state while comparing.
//
// Invariants once Setup and SetMaxKeySize have both run:
// - at most MaxKeyFields fields, each of an indexable type; a non-string field's FieldSize is
//   its type's value size;
// - the null flags (KeyDataOffset bytes) hold a bit for every field, and 10 + KeyDataOffset +
//   the largest key data fit in MaxKeySize <= keyentry::MaxKeySize, so a built key never
//   leaves its entry;
// - every entry read for a comparison is walked within its MaxKeySize bytes: key data that
//   would run past the entry is reported as a corrupt index (8965).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "engine/index/KeyData.h"
#include "engine/index/KeyFields.h"
#include "engine/index/KeyMarkers.h"
#include "engine/storage/VorCommon.h"

class TOptimizedSearchKey;

struct TKeyFieldSpec {
  keydata::TValueKind Kind = keydata::TValueKind::None;
  uint8_t DataType = 0;
  bool Descending = false;
  bool CaseInsensitive = false;
  bool Hidden = false;
  int32_t FieldSize = 0;
  int32_t RecBufOffset = 0;
  int32_t NullFlagOffset = 0;
  int32_t SizeMarkerOffset = 0;
};

class TKeyLayout {
 public:
  // Takes the fields of one index. Raises 9603 for more than MaxKeyFields, 8581 "KeyBuffers
  // invalid" for a field an index cannot hold or a key-data offset without room for every
  // null-flag bit.
  void Setup(const TKeyFields& keyFields, const char* context);
  // Raises 8581 "KeyBuffers invalid" when the fields do not fit entries of this size.
  void SetMaxKeySize(int32_t maxKeySize, const char* context);
  // nullptr keeps the default collation, CompareAnsiKeys.
  void SetSortFunction(TCompareKeysFunc sortFunction) {
    FSortFunction = sortFunction != nullptr ? sortFunction : &CompareAnsiKeys;
  }

  int Count() const { return static_cast<int>(FFields.size()); }
  const TKeyFieldSpec& Field(int i) const { return FFields[i]; }
  int32_t KeyDataOffset() const { return FKeyDataOffset; }
  int32_t MaxKeySize() const { return FMaxKeySize; }
  TCompareKeysFunc SortFunction() const { return FSortFunction; }
  // Fields before the first hidden one.
  int VisibleCount() const { return FVisibleCount; }

  // Where field i's value lies in a record buffer: false when its null flag is not 1;
  // otherwise data and length (a string's size marker, else FieldSize). Raises 8581 under
  // context when the field reaches outside the record or a string is longer than its field.
  bool FieldInRecord(int i, std::span<const uint8_t> record, const uint8_t*& data, int32_t& length,
                     const char* context) const;
  // Fills the first MaxKeySize bytes of entry: EntryLength M, Count and Address 0, the null
  // flags and key data of the record's values.
  void BuildKey(uint8_t* entry, std::span<const uint8_t> record) const;

  // Sign of (search key - entry) over the first n fields (all when n <= 0).
  int CompareToOptimizedKey(int n, const TOptimizedSearchKey& key, const uint8_t* entry) const;
  // Sign of (Q - P) over the first n fields (all when n <= 0), markers of Q against those of
  // P (missing markers count as KeyMarkerValue; markersP counts only when markersQ is given).
  int CompareKeys(int n, const TKeyMarkers* markersQ, const uint8_t* p, const uint8_t* q,
                  const TKeyMarkers* markersP) const;

 private:
  void CheckFits(const char* context) const;
  int FieldCount(int n) const { return n <= 0 || n > Count() ? Count() : n; }

  std::vector<TKeyFieldSpec> FFields;
  int32_t FKeyDataOffset = 0;
  int32_t FMaxKeySize = 0;
  int32_t FKeyDataBytes = 0;  // the largest key data the fields can take
  int FVisibleCount = 0;
  TCompareKeysFunc FSortFunction = &CompareAnsiKeys;
};
