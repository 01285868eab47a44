#include "engine/storage/MapPageMgr.h"

#include <algorithm>

#include "engine/storage/DatabaseFileLayout.h"
#include "engine/storage/DiskMgr.h"
#include "engine/storage/GlobalHdr.h"
#include "engine/storage/LittleEndian.h"
#include "engine/storage/VorErrors.h"

namespace {

constexpr const char* BadSegment = "Empty segment found is invalid";
constexpr const char* BadMapAddress = "Illegal map page address";
constexpr uint64_t AddressSpace = uint64_t{1} << 32;

uint32_t ShiftOf(uint32_t pageSize) {
  uint32_t shift = 0;
  while (pageSize > 1) {
    pageSize >>= 1;
    ++shift;
  }
  return shift;
}

}  // namespace

TMapPageMgr::TMapPageMgr(TDiskMgr& diskMgr, TGlobalHdr& globalHdr, uint32_t pageSize)
    : FEntriesPerMap(dbfile::EntriesPerMap(pageSize)),
      FPageShift(ShiftOf(pageSize)),
      FPageSize(pageSize),
      FMapBuffer(pageSize, 0),
      FDiskMgr(diskMgr),
      FGlobalHdr(globalHdr) {
  VOR_ASSERT(pageSize >= dbfile::MinPageSize && pageSize <= dbfile::MaxPageSize &&
                 (pageSize & (pageSize - 1)) == 0,
             "Invalid map page size", "vorDisk");
}

uint16_t TMapPageMgr::Entry(uint32_t offset) const {
  return le::GetU16(FMapBuffer.data() + offset);
}

void TMapPageMgr::SetEntry(uint32_t offset, uint16_t value) {
  le::PutU16(FMapBuffer.data() + offset, value);
}

uint16_t TMapPageMgr::Head() const {
  return Entry(dbfile::MapFreeHeadOffset);
}

void TMapPageMgr::SetHead(uint16_t offset) {
  SetEntry(dbfile::MapFreeHeadOffset, offset);
}

uint32_t TMapPageMgr::MapIndex() const {
  return le::GetU32(FMapBuffer.data() + dbfile::MapIndexOffset);
}

uint32_t TMapPageMgr::NextMapPage() const {
  return le::GetU32(FMapBuffer.data() + dbfile::MapNextOffset);
}

void TMapPageMgr::ReadMap(uint32_t address, int64_t expectedIndex, const char* context,
                          const char* message) {
  if (address == 0 || address % FPageSize != 0 ||
      int64_t{address} + FPageSize > FDiskMgr.FileEnd()) {
    RaiseDatabaseError(8581, context, message);
  }
  FDiskMgr.ReadBytes(address, FPageSize, FMapBuffer.data(), 0, 0);
  ++FMapPageReads;
  // The index proves that the link led to the map page expected next, so the chain of
  // map pages cannot run in a circle.
  const uint32_t index = MapIndex();
  const bool valid =
      expectedIndex >= 0 ? index == expectedIndex : index < FGlobalHdr.MapPageCount();
  if (!valid) RaiseDatabaseError(8581, context, message);
}

void TMapPageMgr::WriteMap(uint32_t address) {
  FDiskMgr.WriteBytes(address, FPageSize, FMapBuffer.data(), 0, 0);
}

void TMapPageMgr::CheckLink(uint32_t offset, const char* context) const {
  const bool inside =
      offset % 2 == 0 && offset >= dbfile::MapEntriesOffset && offset <= FPageSize - 2;
  if (!inside || (Entry(offset) & dbfile::MapEntryFree) == 0) {
    RaiseDatabaseError(8581, context, BadSegment);
  }
}

std::vector<uint16_t> TMapPageMgr::CollectFreeChain(const char* context) const {
  std::vector<uint16_t> chain;
  for (uint32_t offset = Head(); offset != 0; offset = Entry(offset) & dbfile::MapEntryLinkMask) {
    CheckLink(offset, context);
    // More links than entries means the chain runs in a circle.
    if (chain.size() == FEntriesPerMap) RaiseDatabaseError(8581, context, BadSegment);
    chain.push_back(static_cast<uint16_t>(offset));
  }
  return chain;
}

void TMapPageMgr::RewriteFreeChain(std::vector<uint16_t> offsets) {
  std::sort(offsets.begin(), offsets.end());
  offsets.erase(std::unique(offsets.begin(), offsets.end()), offsets.end());
  SetHead(offsets.empty() ? 0 : offsets.front());
  for (size_t i = 0; i < offsets.size(); ++i) {
    const uint16_t next = i + 1 < offsets.size() ? offsets[i + 1] : 0;
    SetEntry(offsets[i], static_cast<uint16_t>(dbfile::MapEntryFree | next));
  }
}

void TMapPageMgr::SortFreeChain() {
  RewriteFreeChain(CollectFreeChain("TMapPageMgr.SortFreeChain"));
}

int32_t TMapPageMgr::FindEmptyPagesInMap(uint32_t count) {
  const char* context = "TMapPageMgr.FindEmptyPagesInMap";
  const uint32_t head = Head();
  if (head == 0 || count == 0) return -1;
  CheckLink(head, context);
  uint32_t current = head;
  uint32_t runStart = head;
  uint32_t beforeRun = 0;  // the chained entry in front of the run, 0 when it starts at the head
  uint32_t runLength = 1;
  uint32_t links = 1;
  while (runLength < count) {
    const uint32_t next = Entry(current) & dbfile::MapEntryLinkMask;
    if (next == 0) return -1;
    CheckLink(next, context);
    if (++links > FEntriesPerMap) RaiseDatabaseError(8581, context, BadSegment);
    if (next == current + 2) {
      ++runLength;
    } else {
      beforeRun = current;
      runStart = next;
      runLength = 1;
    }
    current = next;
  }
  const uint32_t after = Entry(current) & dbfile::MapEntryLinkMask;
  if (after != 0) CheckLink(after, context);
  // Only the run leaves the chain; free entries in front of it stay findable.
  if (beforeRun == 0) {
    SetHead(static_cast<uint16_t>(after));
  } else {
    SetEntry(beforeRun, static_cast<uint16_t>(dbfile::MapEntryFree | after));
  }
  return static_cast<int32_t>((runStart - dbfile::MapEntriesOffset) / 2);
}

uint32_t TMapPageMgr::SearchMapsForMapPage(uint32_t index) {
  const char* context = "TMapPageMgr.SearchMapsForMapPage";
  if (index >= FGlobalHdr.MapPageCount()) {
    RaiseDatabaseError(8581, context, "Map Page pageno invalid");
  }
  uint32_t address = FGlobalHdr.FirstMapPage();
  for (uint32_t k = 0;; ++k) {
    ReadMap(address, k, context, "Map Page address invalid");
    if (k == index) return address;
    address = NextMapPage();
  }
}

uint32_t TMapPageMgr::SearchMapsForFirstEmptyMapPage() {
  const char* context = "TMapPageMgr.SearchMapsForFirstEmptyMapPage";
  uint32_t address = FGlobalHdr.FirstMapPage();
  const uint32_t count = FGlobalHdr.MapPageCount();
  for (uint32_t k = 0; k < count; ++k) {
    ReadMap(address, k, context, BadMapAddress);
    if (Head() != 0) return address;
    address = NextMapPage();
  }
  return 0;
}

bool TMapPageMgr::SearchMapsForEmptyPages(uint32_t count, uint32_t& mapIndex, int32_t& entryIndex) {
  const char* context = "TMapPageMgr.SearchMapsForEmptyPages";
  uint32_t address = FGlobalHdr.FirstMapPage();
  const uint32_t mapCount = FGlobalHdr.MapPageCount();
  for (uint32_t k = 0; k < mapCount; ++k) {
    ReadMap(address, k, context, BadMapAddress);
    const int32_t found = FindEmptyPagesInMap(count);
    if (found >= 0) {
      WriteMap(address);
      mapIndex = k;
      entryIndex = found;
      return true;
    }
    address = NextMapPage();
  }
  return false;
}

uint32_t TMapPageMgr::AddMapPage() {
  const uint32_t index = FGlobalHdr.MapPageCount();
  // The chain is checked before the file grows.
  const uint32_t last = SearchMapsForMapPage(index - 1);
  std::vector<uint8_t> fresh(FPageSize, 0);
  le::PutU32(fresh.data() + dbfile::MapIndexOffset, index);
  const uint32_t address = FDiskMgr.AppendPages(fresh.data(), 1, 0, 0);
  le::PutU32(FMapBuffer.data() + dbfile::MapNextOffset, address);
  WriteMap(last);
  FMapBuffer = std::move(fresh);
  return address;
}

void TMapPageMgr::UpdateFirstFreeMapPage(uint32_t mapAddress) {
  if (Head() == 0) {
    FGlobalHdr.SetFirstFreeMapPage(SearchMapsForFirstEmptyMapPage());
  } else if (FGlobalHdr.FirstFreeMapPage() == 0) {
    FGlobalHdr.SetFirstFreeMapPage(mapAddress);
  }
}

uint32_t TMapPageMgr::SetEntriesInMap(uint16_t flags, uint32_t address, uint32_t count) {
  const char* context = "TMapPageMgr.SetMapEntryFlags";
  VOR_ASSERT(count >= 1 && address % FPageSize == 0, "Invalid page run in SetMapEntryFlags",
             "vorDisk");
  const uint32_t page = address >> FPageShift;
  const uint32_t mapIndex = page / FEntriesPerMap;
  const uint32_t firstEntry = page % FEntriesPerMap;
  VOR_ASSERT(uint64_t{firstEntry} + count <= FEntriesPerMap, "Page run crosses a map page",
             "vorDisk");
  const bool releasing = (flags & dbfile::MapEntryFree) != 0;
  const uint32_t mapCount = FGlobalHdr.MapPageCount();
  if (releasing ? mapIndex >= mapCount : mapIndex > mapCount) {
    RaiseDatabaseError(8581, context, "Error in setting map flags - mapping corrupted");
  }

  uint32_t added = 0;
  uint32_t mapAddress;
  if (mapIndex == mapCount) {
    added = AddMapPage();
    FGlobalHdr.SetMapPageCount(mapCount + 1);
    mapAddress = added;
  } else {
    mapAddress = SearchMapsForMapPage(mapIndex);
  }

  const uint32_t first = dbfile::MapEntriesOffset + 2 * firstEntry;
  const uint32_t end = first + 2 * count;
  if (releasing) {
    std::vector<uint16_t> chain = CollectFreeChain(context);
    for (uint32_t offset = first; offset < end; offset += 2) {
      chain.push_back(static_cast<uint16_t>(offset));
    }
    RewriteFreeChain(std::move(chain));
  } else {
    bool anyFree = false;
    for (uint32_t offset = first; offset < end; offset += 2) {
      anyFree = anyFree || (Entry(offset) & dbfile::MapEntryFree) != 0;
    }
    // Pages taken by FindFreePages are out of the chain already; any other free entry must
    // leave it, or the page could be handed out twice.
    if (anyFree) {
      std::vector<uint16_t> chain = CollectFreeChain(context);
      const size_t before = chain.size();
      std::erase_if(chain, [&](uint16_t offset) { return offset >= first && offset < end; });
      if (chain.size() != before) RewriteFreeChain(std::move(chain));
    }
    for (uint32_t offset = first; offset < end; offset += 2) SetEntry(offset, flags);
  }
  WriteMap(mapAddress);
  UpdateFirstFreeMapPage(mapAddress);
  return added;
}

void TMapPageMgr::EnterMapPages(const std::vector<uint32_t>& addresses) {
  for (const uint32_t address : addresses) SetMapEntryFlags(dbfile::UsageMap, address, 1);
}

void TMapPageMgr::SetMapEntryFlags(uint16_t flags, uint32_t address, uint32_t count) {
  const uint32_t added = SetEntriesInMap(flags, address, count);
  if (added != 0) EnterMapPages({added});
}

void TMapPageMgr::SetRunFlags(uint16_t flags, uint32_t address, uint32_t count) {
  if (count < 2) {
    SetMapEntryFlags(flags, address, count);
    return;
  }
  VOR_ASSERT(address % FPageSize == 0 && (uint64_t{count} << FPageShift) <= AddressSpace - address,
             "Invalid page run in SetRunFlags", "vorDisk");
  // Map pages added for a long run are entered once the whole run is mapped: they lie behind
  // it, possibly beyond the map page that the run's next piece is about to add.
  std::vector<uint32_t> added;
  uint32_t page = address >> FPageShift;
  while (count > 0) {
    const uint32_t piece = std::min(count, FEntriesPerMap - page % FEntriesPerMap);
    const uint32_t mapPage = SetEntriesInMap(flags, page << FPageShift, piece);
    if (mapPage != 0) added.push_back(mapPage);
    page += piece;
    count -= piece;
  }
  EnterMapPages(added);
}

uint32_t TMapPageMgr::PageAddress(uint64_t pageNumber, const char* context) const {
  const uint64_t address = pageNumber << FPageShift;
  if (address >= AddressSpace) {
    RaiseDatabaseError(8581, context, "Error in setting map flags - mapping corrupted");
  }
  return static_cast<uint32_t>(address);
}

uint32_t TMapPageMgr::FindFreePages(uint32_t count) {
  const char* context = "TMapPageMgr.FindFreePages";
  const uint32_t firstFree = FGlobalHdr.FirstFreeMapPage();
  if (firstFree == 0 || count == 0) return 0;
  ReadMap(firstFree, -1, context, BadMapAddress);
  uint32_t mapIndex = MapIndex();
  int32_t entry = FindEmptyPagesInMap(count);
  if (entry >= 0) {
    WriteMap(firstFree);
  } else if (!SearchMapsForEmptyPages(count, mapIndex, entry)) {
    return 0;
  }
  return PageAddress(uint64_t{mapIndex} * FEntriesPerMap + static_cast<uint32_t>(entry), context);
}

bool TMapPageMgr::Matches(uint16_t value, uint32_t target, bool matchUsage) const {
  if (value == 0 || (value & dbfile::MapEntryFree) != 0) return false;
  return matchUsage ? value == target : uint32_t{value} >> 4 == target;
}

void TMapPageMgr::FreeOwnerPages(uint32_t owner, uint16_t usage, std::vector<uint32_t>& list,
                                 bool matchUsage) {
  const char* context = "TMapPageMgr.FreeOwnerPages";
  list.clear();
  const uint32_t target = matchUsage ? owner * 16 + usage : owner;
  uint32_t address = FGlobalHdr.FirstMapPage();
  const uint32_t mapCount = FGlobalHdr.MapPageCount();
  uint32_t firstWithFree = 0;
  for (uint32_t k = 0; k < mapCount; ++k) {
    ReadMap(address, k, context, BadMapAddress);
    std::vector<uint16_t> chain = CollectFreeChain(context);
    const size_t before = chain.size();
    for (uint32_t i = 0; i < FEntriesPerMap; ++i) {
      const uint32_t offset = dbfile::MapEntriesOffset + 2 * i;
      if (!Matches(Entry(offset), target, matchUsage)) continue;
      list.push_back(PageAddress(uint64_t{k} * FEntriesPerMap + i, context));
      chain.push_back(static_cast<uint16_t>(offset));
    }
    if (chain.size() != before) {
      RewriteFreeChain(std::move(chain));
      WriteMap(address);
    }
    if (firstWithFree == 0 && Head() != 0) firstWithFree = address;
    address = NextMapPage();
  }
  if (firstWithFree != 0) FGlobalHdr.SetFirstFreeMapPage(firstWithFree);
}

void TMapPageMgr::ListOwnerPages(uint32_t owner, uint16_t usage, std::vector<uint32_t>& list,
                                 bool matchUsage) {
  const char* context = "TMapPageMgr.ListOwnerPages";
  list.clear();
  const uint32_t target = matchUsage ? owner * 16 + usage : owner;
  uint32_t address = FGlobalHdr.FirstMapPage();
  const uint32_t mapCount = FGlobalHdr.MapPageCount();
  for (uint32_t k = 0; k < mapCount; ++k) {
    ReadMap(address, k, context, BadMapAddress);
    for (uint32_t i = 0; i < FEntriesPerMap; ++i) {
      if (Matches(Entry(dbfile::MapEntriesOffset + 2 * i), target, matchUsage)) {
        list.push_back(PageAddress(uint64_t{k} * FEntriesPerMap + i, context));
      }
    }
    address = NextMapPage();
  }
}
