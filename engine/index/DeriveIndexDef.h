// Turns requested indexes into stored index definitions and key fields of a table definition.
// Every derived index has unique keys: a non-unique one gets the record id as a hidden last
// key field, and a table without indexes gets the hidden index "_LogicalRecNo" on the record
// id alone, so that records always have an order and a stable identity.
//
// Invariants: a derivation either adds one complete definition with all its key fields or,
// when it fails, changes nothing; every derived key entry is at most MaxIndexKeySize bytes.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/index/IndexDefSource.h"
#include "engine/index/InternalIndexDefs.h"
#include "engine/index/KeyFields.h"

class TInternalFields;

constexpr const char* LogicalRecNoIndexName = "_LogicalRecNo";
// Longest key entry an index may have, its null flags included.
constexpr int32_t MaxIndexKeySize = 500;
constexpr int32_t DefaultIndexNodeSize = 4096;

struct TIndexTarget {
  const TInternalFields& Fields;
  // The table is an in-memory table.
  bool Memory;
  TKeyFields& KeyFields;
  TInternalIndexDefs& IndexDefs;
};

// Adds the definition of source and its key fields to target. Raises 10116 for an unknown
// field, 10117 for a field that cannot be indexed, 8581 for a string field without a size
// marker, 9602 for a key entry beyond MaxIndexKeySize, 9603 for too many key fields, 10027 for
// a name already defined and 9604 when the table header has no slot left.
void DeriveIndexDef(const TIndexDefSource& source, bool hidden, const TIndexTarget& target);

// Every source in order; the hidden "_LogicalRecNo" index when there is none.
void DeriveIndexDefs(const std::vector<TIndexDefSource>& sources, const TIndexTarget& target);
