#include "engine/tables/TableHeaderMap.h"

#include <algorithm>
#include <bitset>
#include <string>

#include "engine/storage/LittleEndian.h"
#include "engine/storage/VorErrors.h"
#include "platform/Exception.h"

namespace {

constexpr const char* Unit = "vorDataUnit";

uint32_t PairOffset(int position) {
  return static_cast<uint32_t>(position) * tblmap::PairSize;
}

}  // namespace

TTableHeaderMap::TTableHeaderMap(uint32_t firstTableID) : FFirstTableID(0) {
  SetFirstTableID(firstTableID);
}

void TTableHeaderMap::SetFirstTableID(uint32_t value) {
  VOR_ASSERT(value > 0 && value + tblmap::MaxTables <= tblmap::TableIDLimit,
             "First table id out of range", Unit);
  FFirstTableID = value;
}

uint32_t TTableHeaderMap::GetID(const TBytes& bytes, int position) {
  return le::GetU32(bytes.data() + PairOffset(position) + tblmap::PairTableIDOffset);
}

int TTableHeaderMap::CountOf(const TBytes& bytes) {
  int count = 0;
  while (count < tblmap::MaxTables && GetID(bytes, count) != 0) ++count;
  return count;
}

bool TTableHeaderMap::InRange(uint32_t tableID) const {
  return tableID >= FFirstTableID && tableID - FFirstTableID < tblmap::MaxTables;
}

void TTableHeaderMap::Load(const TBytes& bytes, const char* context) {
  std::bitset<tblmap::MaxTables> used;
  const int count = CountOf(bytes);
  for (int position = 0; position < count; ++position) {
    const uint32_t id = GetID(bytes, position);
    if (!InRange(id) || used.test(id - FFirstTableID)) {
      RaiseDatabaseError(8961, context,
                         "Table header map: bad table id " + std::to_string(id) + " in pair " +
                             std::to_string(position));
    }
    used.set(id - FFirstTableID);
  }
  FBytes = bytes;
}

int TTableHeaderMap::Count() const {
  return CountOf(FBytes);
}

uint32_t TTableHeaderMap::TableIDAt(int position) const {
  VOR_ASSERT(position >= 0 && position < tblmap::MaxTables, "Map position out of range", Unit);
  return GetID(FBytes, position);
}

uint32_t TTableHeaderMap::AddressAt(int position) const {
  VOR_ASSERT(position >= 0 && position < tblmap::MaxTables, "Map position out of range", Unit);
  return le::GetU32(FBytes.data() + PairOffset(position) + tblmap::PairAddressOffset);
}

std::optional<int> TTableHeaderMap::FindMapEntry(uint32_t tableID) const {
  if (tableID == 0) return std::nullopt;
  const int count = Count();
  for (int position = 0; position < count; ++position) {
    if (GetID(FBytes, position) == tableID) return position;
  }
  return std::nullopt;
}

std::optional<uint32_t> TTableHeaderMap::SmallestFreeTableID() const {
  std::bitset<tblmap::MaxTables> used;
  const int count = Count();
  for (int position = 0; position < count; ++position) {
    const uint32_t id = GetID(FBytes, position);
    VOR_ASSERT(InRange(id), "TableID out of range", Unit);
    used.set(id - FFirstTableID);
  }
  for (uint32_t offset = 0; offset < tblmap::MaxTables; ++offset) {
    if (!used.test(offset)) return FFirstTableID + offset;
  }
  return std::nullopt;
}

void TTableHeaderMap::Put(int position, uint32_t tableID, uint32_t address) {
  uint8_t* pair = FBytes.data() + PairOffset(position);
  le::PutU32(pair + tblmap::PairTableIDOffset, tableID);
  le::PutU32(pair + tblmap::PairAddressOffset, address);
}

void TTableHeaderMap::Append(uint32_t tableID, uint32_t address) {
  const int count = Count();
  VOR_ASSERT(count < tblmap::MaxTables, "Table header map is full", Unit);
  VOR_ASSERT(InRange(tableID) && !FindMapEntry(tableID), "TableID out of range", Unit);
  Put(count, tableID, address);
}

void TTableHeaderMap::Remove(int position) {
  const int count = Count();
  VOR_ASSERT(position >= 0 && position < count, "Map position out of range", Unit);
  const auto first = FBytes.begin() + PairOffset(position);
  std::copy(first + tblmap::PairSize, FBytes.begin() + PairOffset(count), first);
  Put(count - 1, 0, 0);
}
