// Per-field markers of a search key. A search with fewer fields than the key has (a partial
// key, a range bound) marks the missing fields below or above every value, so that it lands
// before the first or after the last key with the given prefix. Entries stored in a tree
// always count as KeyMarkerValue; a field without a marker is KeyMarkerValue too.
#pragma once

#include <cstdint>
#include <vector>

constexpr int32_t KeyMarkerBelow = 0;
constexpr int32_t KeyMarkerValue = 1;
constexpr int32_t KeyMarkerAbove = 2;
// Only the low seven bits of a marker count.
constexpr int32_t KeyMarkerMask = 0x7F;

using TKeyMarkers = std::vector<int32_t>;
