// A table's sort order and the collation its index trees compare string key fields with.
// The ordinals are stored with table and database definitions.
#pragma once

#include "engine/storage/VorCommon.h"

enum TSortOrder : int { soANSI = 0, soASCII = 1 };

// CompareAsciiKeys for soASCII; CompareAnsiKeys otherwise (also the default before a table
// has a sort order of its own).
inline TCompareKeysFunc SortFunctionFor(TSortOrder order) {
  return order == soASCII ? &CompareAsciiKeys : &CompareAnsiKeys;
}
