// The page map: one 16-bit entry per page of the file, kept in a chain of map pages
// (layout in DatabaseFileLayout.h). Each map page also threads its free entries into a free
// chain, kept in ascending offset order after every change.
//
// Invariants:
// - The truth is on disk and in the global header; the manager holds only MapBuffer, the
//   map page last read, and reads map pages again for every operation.
// - All map changes happen under the header write lock (TDiskMgr), so map pages change in
//   one process at a time.
// - Map pages are untrusted: every chain link and map page address is checked before use,
//   a free chain is followed for at most EntriesPerMap links and the map-page chain for at
//   most MapPageCount pages; damage raises 8581.
// - A page is never handed out while its entry is allocated, and every free entry of a map
//   page that this manager writes is in that page's free chain.
#pragma once

#include <cstdint>
#include <vector>

class TDiskMgr;
class TGlobalHdr;

class TMapPageMgr {
 public:
  TMapPageMgr(TDiskMgr& diskMgr, TGlobalHdr& globalHdr, uint32_t pageSize);
  TMapPageMgr(const TMapPageMgr&) = delete;
  TMapPageMgr& operator=(const TMapPageMgr&) = delete;

  // Sets the entries of count pages from address, all inside one map page. Flags with bit 15
  // clear allocate (owner * 16 + usage), 0x8000 releases.
  void SetMapEntryFlags(uint16_t flags, uint32_t address, uint32_t count);
  // The same for a run that may cross map pages.
  void SetRunFlags(uint16_t flags, uint32_t address, uint32_t count);
  // The address of count consecutive free pages inside one map page, taken out of its free
  // chain, or 0. Their entries still read free until SetRunFlags allocates them.
  uint32_t FindFreePages(uint32_t count);
  // Frees every page of the owner (and usage when matchUsage); their addresses go to list.
  void FreeOwnerPages(uint32_t owner, uint16_t usage, std::vector<uint32_t>& list, bool matchUsage);
  // The addresses of the owner's pages in page order, nothing changed.
  void ListOwnerPages(uint32_t owner, uint16_t usage, std::vector<uint32_t>& list, bool matchUsage);

  // Steps of the operations above, on the map page in MapBuffer where they say so.
  // The entry index of the first of count consecutive chained free entries, unlinked from the
  // chain (the caller writes the page back), or -1.
  int32_t FindEmptyPagesInMap(uint32_t count);
  // Finds and unlinks count free pages in any map page and writes that page back; false when
  // none has them. mapIndex and entryIndex tell where they are.
  bool SearchMapsForEmptyPages(uint32_t count, uint32_t& mapIndex, int32_t& entryIndex);
  // The first map page with free entries, 0 when none has any.
  uint32_t SearchMapsForFirstEmptyMapPage();
  // Reads map page index into MapBuffer and returns its address.
  uint32_t SearchMapsForMapPage(uint32_t index);
  // Appends map page number MapPageCount and links it from the last one; MapBuffer holds the
  // fresh page afterwards. The caller raises MapPageCount.
  uint32_t AddMapPage();
  // Rewrites the free chain of MapBuffer in ascending order.
  void SortFreeChain();

  uint32_t EntriesPerMap() const { return FEntriesPerMap; }
  uint32_t PageShift() const { return FPageShift; }
  uint32_t PageSize() const { return FPageSize; }
  const std::vector<uint8_t>& MapBuffer() const { return FMapBuffer; }
  // Map pages read from the file since the manager was made (for measurements).
  uint64_t MapPageReads() const { return FMapPageReads; }

 private:
  uint16_t Entry(uint32_t offset) const;
  void SetEntry(uint32_t offset, uint16_t value);
  uint16_t Head() const;
  void SetHead(uint16_t offset);
  uint32_t MapIndex() const;
  uint32_t NextMapPage() const;

  // Reads the map page at address; with expectedIndex >= 0 its map index must be that one.
  void ReadMap(uint32_t address, int64_t expectedIndex, const char* context, const char* message);
  void WriteMap(uint32_t address);
  // The free chain of MapBuffer, checked link by link.
  std::vector<uint16_t> CollectFreeChain(const char* context) const;
  void CheckLink(uint32_t offset, const char* context) const;
  // Writes the chain of these offsets (any order, duplicates allowed) into MapBuffer.
  void RewriteFreeChain(std::vector<uint16_t> offsets);
  // Steps 1-7 of SetMapEntryFlags; returns the address of a map page it added, else 0.
  uint32_t SetEntriesInMap(uint16_t flags, uint32_t address, uint32_t count);
  // Enters newly added map pages in the map as usage 2 of owner 0.
  void EnterMapPages(const std::vector<uint32_t>& addresses);
  void UpdateFirstFreeMapPage(uint32_t mapAddress);
  uint32_t PageAddress(uint64_t pageNumber, const char* context) const;
  bool Matches(uint16_t value, uint32_t target, bool matchUsage) const;

  uint32_t FEntriesPerMap;
  uint32_t FPageShift;
  uint32_t FPageSize;
  std::vector<uint8_t> FMapBuffer;
  uint64_t FMapPageReads = 0;
  TDiskMgr& FDiskMgr;
  TGlobalHdr& FGlobalHdr;
};
