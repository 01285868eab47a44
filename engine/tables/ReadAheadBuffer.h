// The neighbours of a dataset's current record in index order (record addresses, record
// numbers, key entries and records), filled by the index tree and served to the next
// navigation steps while the fill is young. The record and key buffers are pooled: allocated
// on first use, handed out again by every later fill in the same order, and freed only by
// Setup or destruction, so that a fill allocates nothing once the pools have grown to the
// largest fill seen.
//
// Invariants:
// - RecBufPool and KeyBufPool always have the same length and only grow between set-ups.
// - Items added since the last emptying use pool entries 0 to Cursor - 1 in the order of
//   addition; a deleted item's entry is not handed out again before the next Empty.
// - Every item's buffers point into the pools.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

class TReadAheadBufferItem {
 public:
  uint8_t* RecBuf = nullptr;
  uint8_t* KeyBuf = nullptr;
  // The record's number in index order, as the index counts it.
  int32_t RecNo = 0;
  uint32_t Address = 0;
};

class TReadAheadBuffer {
 public:
  TReadAheadBuffer() = default;
  TReadAheadBuffer(const TReadAheadBuffer&) = delete;
  TReadAheadBuffer& operator=(const TReadAheadBuffer&) = delete;

  // Frees the pooled buffers and keeps the new sizes and lifetime; the buffer is empty.
  void Setup(int32_t recBufSize, int32_t keyBufSize, int32_t lifetime);
  // A new last item with buffers from the pool; the caller fills them.
  TReadAheadBufferItem& AddItem();
  // Assertion failures for a missing buffer.
  void SetBuffers(TReadAheadBufferItem& item, uint8_t* recBuf, uint8_t* keyBuf);
  void SetRecNo(TReadAheadBufferItem& item, int32_t recNo) { item.RecNo = recNo; }
  void SetAddress(TReadAheadBufferItem& item, uint32_t address) { item.Address = address; }
  // No items, no fill time; the pooled buffers stay.
  void Empty();
  // No items and no pooled buffers.
  void FreeBuffers();
  void DeleteItem(int index);

  // Searching from the last item to the first; -1 when none has the address.
  int IndexOfAddress(uint32_t address) const;
  TReadAheadBufferItem* FindByAddress(uint32_t address);
  // The item after (before) the one with the address; nullptr when that one is the last
  // (first) or absent.
  TReadAheadBufferItem* NextOf(uint32_t address);
  TReadAheadBufferItem* PriorOf(uint32_t address);
  // nullptr when empty.
  TReadAheadBufferItem* LastItem();

  void SetFillTime(uint32_t ticks) { FFillTime = ticks; }
  // Whether the items are at most Lifetime milliseconds old at now (both tick counts, which
  // wrap at 2^32); never for an empty buffer.
  bool IsFresh(uint32_t now) const;

  int Count() const { return static_cast<int>(FItems.size()); }
  TReadAheadBufferItem& Items(int index) { return *FItems.at(static_cast<size_t>(index)); }
  int32_t RecBufSize() const { return FRecBufSize; }
  int32_t KeyBufSize() const { return FKeyBufSize; }
  int Cursor() const { return FCursor; }
  uint32_t FillTime() const { return FFillTime; }
  int32_t Lifetime() const { return FLifetime; }
  int PoolLength() const { return static_cast<int>(FRecBufPool.size()); }
  const uint8_t* RecBufPool(int index) const {
    return FRecBufPool.at(static_cast<size_t>(index)).get();
  }
  const uint8_t* KeyBufPool(int index) const {
    return FKeyBufPool.at(static_cast<size_t>(index)).get();
  }

 private:
  std::vector<std::unique_ptr<TReadAheadBufferItem>> FItems;
  int32_t FRecBufSize = 0;
  int32_t FKeyBufSize = 0;
  int FCursor = 0;
  uint32_t FFillTime = 0;
  int32_t FLifetime = 0;
  std::vector<std::unique_ptr<uint8_t[]>> FRecBufPool;
  std::vector<std::unique_ptr<uint8_t[]>> FKeyBufPool;
};
