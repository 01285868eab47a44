#include "engine/storage/CacheMgr.h"

#include <algorithm>
#include <cstring>

#include "engine/storage/VorErrors.h"
#include "platform/Exception.h"

void TCacheMgr::Open(uint32_t capacity, uint32_t pageSize) {
  Clear();
  FUseCounter = 0;
  FCapacity = capacity;
  FPageSize = pageSize;
  if (!ReadIO) RaiseDatabaseError(10065, "TCacheMgr.Open", "ReadIO", this);
  if (!WriteIO) RaiseDatabaseError(10065, "TCacheMgr.Open", "WriteIO", this);
  VOR_ASSERT(pageSize > 0, "Cache page size is 0", "vorCache");
  FAddressMask = 0u - pageSize;
  FPages.reserve(capacity);
  FIndex.reserve(capacity * 2);
  for (uint32_t i = 0; i < capacity; ++i) AddPage();
  FHits = 0;
  FMisses = 0;
}

int32_t TCacheMgr::FindPage(uint32_t address) const {
  auto it = FIndex.find(address);
  return it == FIndex.end() ? -1 : it->second;
}

TCachePage* TCacheMgr::FindDirtyPage(uint32_t address) {
  int32_t i = FindPage(address);
  if (i < 0 || FPages[i]->State != TCacheState::Dirty) return nullptr;
  return FPages[i].get();
}

int32_t TCacheMgr::AddPage() {
  int32_t i = Count();
  FPages.push_back(std::make_unique<TCachePage>(FPageSize));
  FLruPos.emplace_back();
  FEmpty.insert(i);
  return i;
}

int32_t TCacheMgr::GetNextEmptyPage() {
  if (!FEmpty.empty()) return *FEmpty.begin();
  // Evicting inside a transaction would lose the chance to roll a Clean page back cheaply;
  // with every page Dirty there is nothing to evict.
  if (FInTransaction || FLru.empty()) return AddPage();
  return FLru.front();
}

void TCacheMgr::Retag(int32_t index, uint32_t address, uint32_t tableID, uint32_t flags,
                      TCacheState state) {
  TCachePage& p = *FPages[index];
  const TCacheState old = p.State;
  const bool wasIndexed = old != TCacheState::Empty;
  const bool willIndex = state != TCacheState::Empty;
  const bool moves = p.Address != address;
  if (old != state) {
    if (old == TCacheState::Clean) FLru.erase(FLruPos[index]);
    if (old == TCacheState::Empty) FEmpty.erase(index);
    if (old == TCacheState::Dirty) FDirty.erase(index);
  }
  if (wasIndexed && (!willIndex || moves)) FIndex.erase(p.Address);
  if (willIndex && (!wasIndexed || moves)) {
    auto [it, added] = FIndex.emplace(address, index);
    VOR_ASSERT(added, "Two cache pages for one address", "vorCache");
  }
  if (old != state) {
    if (state == TCacheState::Clean) FLruPos[index] = FLru.insert(FLru.end(), index);
    if (state == TCacheState::Empty) FEmpty.insert(index);
    if (state == TCacheState::Dirty) FDirty.insert(index);
  }
  p.Address = address;
  p.TableID = tableID;
  p.Flags = flags;
  p.State = state;
}

void TCacheMgr::Touch(int32_t index) {
  TCachePage& p = *FPages[index];
  p.LastUse = FUseCounter++;
  if (p.State == TCacheState::Clean) FLru.splice(FLru.end(), FLru, FLruPos[index]);
}

void TCacheMgr::Load(int32_t index, uint32_t address, uint32_t tableID, uint32_t flags) {
  ++FMisses;
  try {
    ReadIO(FPages[index]->Data.get(), tableID, address, flags);
  } catch (...) {
    MakeEmpty(index);
    throw;
  }
  Retag(index, address, tableID, flags, TCacheState::Clean);
}

int32_t TCacheMgr::Acquire(uint32_t address, uint32_t tableID, uint32_t flags, bool wholeWrite) {
  int32_t i = FindPage(address);
  if (i < 0) {
    i = GetNextEmptyPage();
    if (wholeWrite) {
      ++FHits;
    } else {
      Load(i, address, tableID, flags);
    }
    return i;
  }
  TCachePage& p = *FPages[i];
  if (p.TableID == tableID || wholeWrite) {
    ++FHits;
  } else if (p.State == TCacheState::Dirty) {
    // The file does not hold this page yet: re-reading it would lose the pending change.
    ++FMisses;
    if (RecodeIO) RecodeIO(p.Data.get(), p.TableID, p.Flags, tableID, flags);
    Retag(i, address, tableID, flags, TCacheState::Dirty);
  } else {
    Load(i, address, tableID, flags);
  }
  return i;
}

void TCacheMgr::ReadPages(uint8_t* buffer, uint32_t tableID, uint32_t count, uint32_t address,
                          uint32_t flags) {
  VOR_ASSERT(uint64_t{address} + count <= uint64_t{1} << 32, "Cache read beyond 4 GB", "vorCache");
  uint32_t a = PageStart(address);
  uint32_t o = address - a;
  while (count > 0) {
    const uint32_t n = std::min(FPageSize - o, count);
    const int32_t i = Acquire(a, tableID, flags, false);
    std::memcpy(buffer, FPages[i]->Data.get() + o, n);
    Touch(i);
    buffer += n;
    count -= n;
    a += FPageSize;
    o = 0;
  }
}

void TCacheMgr::WritePages(const uint8_t* buffer, uint32_t tableID, uint32_t count,
                           uint32_t address, uint32_t flags) {
  VOR_ASSERT(uint64_t{address} + count <= uint64_t{1} << 32, "Cache write beyond 4 GB", "vorCache");
  uint32_t a = PageStart(address);
  uint32_t o = address - a;
  while (count > 0) {
    const uint32_t n = std::min(FPageSize - o, count);
    const int32_t i = Acquire(a, tableID, flags, n == FPageSize);
    TCachePage& p = *FPages[i];
    std::memcpy(p.Data.get() + o, buffer, n);
    if (FInTransaction) {
      Retag(i, a, tableID, flags, TCacheState::Dirty);
    } else {
      try {
        WriteIO(p.Data.get(), tableID, a, flags);
      } catch (...) {
        // Neither the old nor the new bytes are known to be on disk.
        MakeEmpty(i);
        throw;
      }
      Retag(i, a, tableID, flags, TCacheState::Clean);
    }
    Touch(i);
    buffer += n;
    count -= n;
    a += FPageSize;
    o = 0;
  }
}

void TCacheMgr::Invalidate(uint32_t address) {
  const int32_t i = FindPage(PageStart(address));
  if (i >= 0 && FPages[i]->State == TCacheState::Clean) MakeEmpty(i);
}

void TCacheMgr::InvalidateTable(uint32_t tableID) {
  for (int32_t i = 0; i < Count(); ++i) {
    const TCachePage& p = *FPages[i];
    if (p.State == TCacheState::Clean && p.TableID == tableID) MakeEmpty(i);
  }
}

void TCacheMgr::InvalidateRange(uint64_t address, uint64_t count) {
  if (count == 0 || FPageSize == 0 || FIndex.empty()) return;
  const uint64_t end = std::min(address + count, uint64_t{1} << 32);
  for (uint64_t a = address - address % FPageSize; a < end; a += FPageSize) {
    Invalidate(static_cast<uint32_t>(a));
  }
}

void TCacheMgr::Commit() {
  if (!FInTransaction) RaiseDatabaseError(10257, "TCachePage.Commit", "", this);
  // All writes first: should one fail, every page stays Dirty for the caller to discard.
  for (int32_t i : FDirty) {
    const TCachePage& p = *FPages[i];
    WriteIO(p.Data.get(), p.TableID, p.Address, p.Flags);
  }
  // The pages join the LRU list by their last use, as if they had been Clean all along.
  std::vector<int32_t> written(FDirty.begin(), FDirty.end());
  std::sort(written.begin(), written.end(),
            [this](int32_t x, int32_t y) { return FPages[x]->LastUse < FPages[y]->LastUse; });
  std::list<int32_t> clean;
  for (int32_t i : written) {
    FLruPos[i] = clean.insert(clean.end(), i);
    FPages[i]->State = TCacheState::Clean;
  }
  FDirty.clear();
  FLru.merge(clean,
             [this](int32_t x, int32_t y) { return FPages[x]->LastUse < FPages[y]->LastUse; });
  Shrink();
  FInTransaction = false;
}

void TCacheMgr::Rollback() {
  if (!FInTransaction) RaiseDatabaseError(10257, "TCacheMgr.Rollback", "", this);
  while (!FDirty.empty()) MakeEmpty(*FDirty.begin());
  Shrink();
  FInTransaction = false;
}

void TCacheMgr::Shrink() {
  if (Count() < static_cast<int64_t>(FCapacity) + 3) return;
  while (Count() > static_cast<int64_t>(FCapacity)) {
    const int32_t i = Count() - 1;
    VOR_ASSERT(FPages[i]->State != TCacheState::Dirty, "Shrinking a dirty cache page", "vorCache");
    MakeEmpty(i);
    FEmpty.erase(i);
    FPages.pop_back();
    FLruPos.pop_back();
  }
}

void TCacheMgr::Clear() {
  FPages.clear();
  FLruPos.clear();
  FIndex.clear();
  FLru.clear();
  FEmpty.clear();
  FDirty.clear();
  FInTransaction = false;
}
