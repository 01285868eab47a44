// A search key unpacked once per search, so that each probe of a node's binary search
// compares without parsing the key again. One slot per key field: the value decoded by its
// kind (strings are referenced in place, in the record buffer or key entry prepared from,
// which must outlive the searches), its length and its marker - 1 (-1 below every value,
// 0 a value, +1 above every value).
//
// Invariant: only the first Count() slots are set; Count() <= SlotCount, so no layout can
// make a preparation write past the slots.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "engine/index/KeyFields.h"
#include "engine/index/KeyMarkers.h"

class TKeyLayout;

class TOptimizedSearchKey {
 public:
  static constexpr int SlotCount = MaxKeyFields;

  struct TSlot {
    int64_t Integer = 0;
    double Float = 0;
    const char* Text = nullptr;
    int32_t Length = 0;
    int32_t Marker = 0;
  };

  // Context of failures: "TBTree.SetSearchKeyFromRecord".
  void PrepareFromRecord(const TKeyLayout& layout, const TKeyMarkers* markers,
                         std::span<const uint8_t> record);
  // entry holds a key entry of the layout's MaxKeySize bytes; key data that runs past it
  // raises 8965.
  void PrepareFromKey(const TKeyLayout& layout, const TKeyMarkers* markers,
                      std::span<const uint8_t> entry);

  int Count() const { return FCount; }
  const TSlot& Slot(int i) const { return FSlots[i]; }
  bool HasValue(int i) const { return (FNullBits & (1u << i)) != 0; }

 private:
  void Clear(const TKeyLayout& layout, const TKeyMarkers* markers);

  std::array<TSlot, SlotCount> FSlots;
  uint32_t FNullBits = 0;
  int FCount = 0;
};
