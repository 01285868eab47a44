// The page cache of table pages: a collection of TCachePage with O(1) look-up by address.
//
// Invariants:
// - Every non-Empty page is in the address index, and no two pages share an address.
// - A Dirty page is never evicted or invalidated; only Commit (Clean) and Rollback (Empty)
//   end that state.
// - Clean pages sit in the LRU list ordered by LastUse; the front is the eviction victim.
// - Empty pages sit in the empty set; the lowest index is reused first.
// - Inside a transaction, or when every page is Dirty, the cache grows instead of evicting;
//   Shrink gives the extra pages back once the transaction ends.
#pragma once

#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <set>
#include <unordered_map>
#include <vector>

#include "engine/storage/CachePage.h"
#include "platform/Object.h"

class TCacheMgr : public TObject {
 public:
  // Each moves one whole page; the file object supplies them.
  using TReadIO =
      std::function<void(uint8_t* data, uint32_t tableID, uint32_t address, uint32_t flags)>;
  using TWriteIO =
      std::function<void(const uint8_t* data, uint32_t tableID, uint32_t address, uint32_t flags)>;
  // Turns the plain bytes of a pending page into what its enciphered form reads as under
  // another table id and flags, as the file would give them after commit.
  using TRecodeIO = std::function<void(uint8_t* data, uint32_t fromTableID, uint32_t fromFlags,
                                       uint32_t toTableID, uint32_t toFlags)>;

  TReadIO ReadIO;
  TWriteIO WriteIO;
  TRecodeIO RecodeIO;  // optional; without it a pending page keeps its bytes

  void Open(uint32_t capacity, uint32_t pageSize);
  void ReadPages(uint8_t* buffer, uint32_t tableID, uint32_t count, uint32_t address,
                 uint32_t flags);
  void WritePages(const uint8_t* buffer, uint32_t tableID, uint32_t count, uint32_t address,
                  uint32_t flags);
  // Forget a Clean page (by address) or every Clean page of a table.
  void Invalidate(uint32_t address);
  void InvalidateTable(uint32_t tableID);
  // Forget every Clean page overlapping the byte range.
  void InvalidateRange(uint64_t address, uint64_t count);

  void StartTransaction() { FInTransaction = true; }
  void Commit();
  void Rollback();
  void Clear();  // frees every page and leaves any transaction

  // Index of the page holding this address, or -1.
  int32_t FindPage(uint32_t address) const;
  // The Dirty page at this page address, or nullptr. Callers may change its Data so that it
  // stays equal to other pending copies of its bytes, never its tag.
  TCachePage* FindDirtyPage(uint32_t address);
  bool HasDirtyPages() const { return !FDirty.empty(); }

  int32_t Count() const { return static_cast<int32_t>(FPages.size()); }
  const TCachePage& Page(int32_t index) const { return *FPages[index]; }
  uint32_t Capacity() const { return FCapacity; }
  uint32_t PageSize() const { return FPageSize; }
  uint32_t AddressMask() const { return FAddressMask; }
  uint64_t UseCounter() const { return FUseCounter; }
  bool InTransaction() const { return FInTransaction; }
  uint64_t Hits() const { return FHits; }
  uint64_t Misses() const { return FMisses; }

 private:
  uint32_t PageStart(uint32_t address) const { return address - address % FPageSize; }
  int32_t GetNextEmptyPage();
  int32_t AddPage();
  void Shrink();
  // A page holding the current bytes of `address` for this table id; with wholeWrite the
  // caller overwrites the page and retags it, so nothing is read.
  int32_t Acquire(uint32_t address, uint32_t tableID, uint32_t flags, bool wholeWrite);
  void Load(int32_t index, uint32_t address, uint32_t tableID, uint32_t flags);
  // The only way to change a page's tag: keeps index, LRU, empty set and dirty set in step.
  void Retag(int32_t index, uint32_t address, uint32_t tableID, uint32_t flags, TCacheState state);
  void MakeEmpty(int32_t index) { Retag(index, 0, 0, 0, TCacheState::Empty); }
  void Touch(int32_t index);

  std::vector<std::unique_ptr<TCachePage>> FPages;  // collection order
  std::vector<std::list<int32_t>::iterator> FLruPos;
  std::unordered_map<uint32_t, int32_t> FIndex;  // address -> non-Empty page
  std::list<int32_t> FLru;                       // Clean pages, least recently used first
  std::set<int32_t> FEmpty;
  std::set<int32_t> FDirty;  // ordered, so commit writes in collection order
  uint32_t FCapacity = 0;
  uint32_t FPageSize = 0;
  uint32_t FAddressMask = 0;
  uint64_t FUseCounter = 0;
  bool FInTransaction = false;
  uint64_t FHits = 0;
  uint64_t FMisses = 0;
};
