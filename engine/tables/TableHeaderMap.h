// The table header map: which header block belongs to which table identifier. A manager's map
// covers the identifiers FirstTableID to FirstTableID + 999 (1 for user tables, 1024 for
// internal ones).
//
// Map (8192 bytes: page 1 for internal tables, page 3 for user tables; little-endian):
//   offset      width  content
//   8k          4      table identifier of pair k (k = 0 to 999); 0 ends the list
//   8k + 4      4      address of that table's header block
//   8000        192    zero
// Pairs are packed from offset 0 in creation order; everything after the ending pair is zero.
//
// Invariant: a map taken over by Load has every pair before the ending one within the
// identifier range and no identifier twice (8961 otherwise).
#pragma once

#include <array>
#include <cstdint>
#include <optional>

namespace tblmap {

constexpr uint32_t MapSize = 8192;
constexpr uint32_t PairSize = 8;
constexpr uint32_t PairTableIDOffset = 0;
constexpr uint32_t PairAddressOffset = 4;
constexpr int MaxTables = 1000;
constexpr uint32_t UserFirstTableID = 1;
constexpr uint32_t InternalFirstTableID = 1024;
// Table identifiers own pages in the page map, which keeps owners below 2048.
constexpr uint32_t TableIDLimit = 2048;

}  // namespace tblmap

class TTableHeaderMap {
 public:
  using TBytes = std::array<uint8_t, tblmap::MapSize>;

  explicit TTableHeaderMap(uint32_t firstTableID = tblmap::UserFirstTableID);

  void SetFirstTableID(uint32_t value);
  uint32_t FirstTableID() const { return FFirstTableID; }

  // Takes over a map image read from the file; raises 8961 (with the given context) when its
  // pairs are damaged, keeping the previous contents.
  void Load(const TBytes& bytes, const char* context);
  const TBytes& Bytes() const { return FBytes; }

  // Pairs in use, up to the ending one.
  int Count() const;
  bool Full() const { return Count() == tblmap::MaxTables; }
  uint32_t TableIDAt(int position) const;
  uint32_t AddressAt(int position) const;
  // The position of the table's pair, if it is in the map.
  std::optional<int> FindMapEntry(uint32_t tableID) const;
  // The smallest identifier of the range that no pair uses; nothing when the map is full.
  std::optional<uint32_t> SmallestFreeTableID() const;
  // Appends the pair behind the last one. The map must not be full, and the identifier must
  // be in range and unused.
  void Append(uint32_t tableID, uint32_t address);
  // Moves every following pair one place down and clears the last one.
  void Remove(int position);

 private:
  static uint32_t GetID(const TBytes& bytes, int position);
  static int CountOf(const TBytes& bytes);
  bool InRange(uint32_t tableID) const;
  void Put(int position, uint32_t tableID, uint32_t address);

  TBytes FBytes{};
  uint32_t FFirstTableID;
};
