#include "engine/storage/LockCollection.h"

#include "engine/storage/LockFileLayout.h"
#include "platform/Exception.h"

void TLockCollection::AddLock(uint32_t ownerId, uint64_t offset, uint32_t kind, uint32_t size) {
  FItems.push_back(TLockItem{size, kind, offset, ownerId});
}

const TLockItem* TLockCollection::FindLock(uint32_t ownerId, uint32_t kind) const {
  for (const TLockItem& item : FItems)
    if (item.OwnerID == ownerId && item.Kind == kind) return &item;
  return nullptr;
}

uint32_t TLockCollection::KindOf(uint32_t ownerId) const {
  for (const TLockItem& item : FItems)
    if (item.OwnerID == ownerId) return item.Kind;
  return lkNone;
}

void TLockCollection::Delete(size_t index) {
  VOR_ASSERT(index < FItems.size(), "Lock item index out of range", lockfile::LockUnit);
  FItems.erase(FItems.begin() + static_cast<std::ptrdiff_t>(index));
}
