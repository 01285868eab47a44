// What a restructure changes at the storage level of a table: the overall change status of
// its field definitions and of its index definitions, and the header values to carry over
// into the rebuilt table header, each only when given (otherwise the current one is kept).
#pragma once

#include <cstdint>
#include <optional>

// Change statuses, by weight; the values are those of the restructure definitions.
enum TChangeStatus : uint8_t {
  csUnchanged = 0,
  csDefinitionOnly = 1,
  csNewItem = 2,
  csDeletedItem = 3,
  csDataRequirementsChanged = 4,
  csDataLossPossible = 5,
};

struct TRestructureDescription {
  uint8_t FieldChangeStatus = csUnchanged;
  uint8_t IndexChangeStatus = csUnchanged;
  std::optional<uint32_t> LastAutoIncValue;
  std::optional<uint32_t> Reserved1;
  std::optional<uint32_t> Reserved2;
};

// Statuses "New Item" to "Data Loss Possible" rebuild what they describe; the lower ones only
// rename or reorder.
constexpr bool NeedsRebuild(uint8_t status) {
  return status >= csNewItem && status <= csDataLossPossible;
}
