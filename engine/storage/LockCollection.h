// The ranges a lock manager holds, one item per locked range, in the order they were taken.
// Its owner keeps it an exact mirror of what is locked: an item is added only after its
// range was locked and removed when that same range is unlocked, so every unlock names
// exactly a range that was locked (the system would otherwise free or merge parts silently).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

enum TLockKind : uint32_t { lkNone = 0, lkRead = 1, lkWrite = 4 };

struct TLockItem {
  uint32_t Size = 0;  // bytes locked
  uint32_t Kind = lkNone;
  uint64_t Offset = 0;   // first byte locked in the lock file
  uint32_t OwnerID = 0;  // table id or record address
};

class TLockCollection {
 public:
  void AddLock(uint32_t ownerId, uint64_t offset, uint32_t kind, uint32_t size);
  // The first item of that owner and kind, nullptr when none. Invalidated by any change.
  const TLockItem* FindLock(uint32_t ownerId, uint32_t kind) const;
  // The kind of the owner's first item, lkNone when it holds nothing.
  uint32_t KindOf(uint32_t ownerId) const;

  size_t Count() const { return FItems.size(); }
  bool Empty() const { return FItems.empty(); }
  const TLockItem& operator[](size_t index) const { return FItems[index]; }
  void Delete(size_t index);
  void Clear() { FItems.clear(); }

 private:
  std::vector<TLockItem> FItems;
};
