#include "engine/storage/CacheBlockMgr.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "engine/storage/VorErrors.h"

void TCacheBlockMgr::Open() {
  if (!ReadIO) RaiseDatabaseError(10065, "TCacheBlockMgr.Open", "ReadIO", this);
  if (!WriteIO) RaiseDatabaseError(10065, "TCacheBlockMgr.Open", "WriteIO", this);
  FReadCount = 0;
  FWriteCount = 0;
}

void TCacheBlockMgr::StartTransaction() {
  Open();
  Clear();
  FInTransaction = true;
}

uint32_t TCacheBlockMgr::LowestCandidate(uint64_t address) const {
  const uint64_t reach = FMaxBlockSize == 0 ? 0 : FMaxBlockSize - 1;
  return static_cast<uint32_t>(address > reach ? address - reach : 0);
}

TCacheBlock* TCacheBlockMgr::FindBlock(uint32_t address) {
  auto exact = FBlocks.find(address);
  const uint64_t matchSequence =
      exact == FBlocks.end() ? std::numeric_limits<uint64_t>::max() : exact->second->Sequence;
  // Only a covering block written before the match counts, as a scan in write order would
  // meet it first.
  for (auto it = FBlocks.lower_bound(LowestCandidate(address));
       it != FBlocks.end() && it->first < address; ++it) {
    const TCacheBlock& b = *it->second;
    if (uint64_t{b.Address} + b.BlockSize > address && b.Sequence < matchSequence) {
      RaiseDatabaseError(8579, "TCacheBlockMgr.FindBlock", "", this);
    }
  }
  return exact == FBlocks.end() ? nullptr : exact->second.get();
}

TCacheBlock* TCacheBlockMgr::AddBlock(uint32_t size, uint32_t address) {
  auto block = std::make_unique<TCacheBlock>();
  block->Data.assign(size, 0);
  block->Address = address;
  block->BlockSize = size;
  block->Sequence = FWriteOrder.size();
  TCacheBlock* b = block.get();
  FBlocks.emplace(address, std::move(block));
  FWriteOrder.push_back(b);
  FMaxBlockSize = std::max(FMaxBlockSize, size);
  return b;
}

void TCacheBlockMgr::ReadBlock(uint8_t* buffer, uint32_t tableID, uint32_t size, uint32_t address,
                               uint32_t /*flags*/) {
  ++FReadCount;
  const TCacheBlock* b = FindBlock(address);
  if (b == nullptr) {
    ReadIO(buffer, size, address);
    return;
  }
  if (b->TableID != tableID || b->BlockSize != size) {
    RaiseDatabaseError(8581, "TCacheBlockMgr.ReadBlock", "CacheBlock invalid", this);
  }
  std::memcpy(buffer, b->Data.data(), size);
}

void TCacheBlockMgr::WriteBlock(const uint8_t* buffer, uint32_t tableID, uint32_t size,
                                uint32_t address, uint32_t flags) {
  ++FWriteCount;
  TCacheBlock* b = FindBlock(address);
  if (b == nullptr) {
    b = AddBlock(size, address);
    b->TableID = tableID;
    b->Flags = flags;
  } else if (b->TableID != tableID || b->BlockSize != size) {
    RaiseDatabaseError(8581, "TCacheBlockMgr.WriteBlock", "CacheBlock invalid", this);
  }
  std::memcpy(b->Data.data(), buffer, size);
  b->State = TCacheState::Dirty;
  UpdatePending(buffer, address, size, b);
}

bool TCacheBlockMgr::Overlaps(uint64_t address, uint64_t count) const {
  const uint64_t end = address + count;
  for (auto it = FBlocks.lower_bound(LowestCandidate(address));
       it != FBlocks.end() && it->first < end; ++it) {
    if (uint64_t{it->first} + it->second->BlockSize > address) return true;
  }
  return false;
}

void TCacheBlockMgr::CopyPendingTo(uint8_t* buffer, uint64_t address, uint64_t count) const {
  const uint64_t end = address + count;
  for (auto it = FBlocks.lower_bound(LowestCandidate(address));
       it != FBlocks.end() && it->first < end; ++it) {
    const TCacheBlock& b = *it->second;
    const uint64_t from = std::max<uint64_t>(b.Address, address);
    const uint64_t to = std::min<uint64_t>(uint64_t{b.Address} + b.BlockSize, end);
    if (from < to) std::memcpy(buffer + (from - address), &b.Data[from - b.Address], to - from);
  }
}

void TCacheBlockMgr::UpdatePending(const uint8_t* data, uint64_t address, uint64_t count,
                                   const TCacheBlock* except) {
  const uint64_t end = address + count;
  for (auto it = FBlocks.lower_bound(LowestCandidate(address));
       it != FBlocks.end() && it->first < end; ++it) {
    TCacheBlock& b = *it->second;
    if (&b == except) continue;
    const uint64_t from = std::max<uint64_t>(b.Address, address);
    const uint64_t to = std::min<uint64_t>(uint64_t{b.Address} + b.BlockSize, end);
    if (from < to) std::memcpy(&b.Data[from - b.Address], data + (from - address), to - from);
  }
}

void TCacheBlockMgr::Commit() {
  if (!FInTransaction) RaiseDatabaseError(10257, "TCacheBlockMgr.Commit", "", this);
  for (const TCacheBlock* b : FWriteOrder) {
    if (b->State == TCacheState::Dirty) WriteIO(b->Data.data(), b->BlockSize, b->Address);
  }
  Clear();
}

void TCacheBlockMgr::Rollback() {
  if (!FInTransaction) RaiseDatabaseError(10257, "TCacheBlockMgr.Rollback", "", this);
  Clear();
}

void TCacheBlockMgr::Clear() {
  FWriteOrder.clear();
  FBlocks.clear();
  FMaxBlockSize = 0;
  FInTransaction = false;
}
