#include "engine/tables/ReadAheadBuffer.h"

#include "platform/Exception.h"

namespace {

constexpr const char* Unit = "vorDataUnit";

}  // namespace

void TReadAheadBuffer::Setup(int32_t recBufSize, int32_t keyBufSize, int32_t lifetime) {
  VOR_ASSERT(recBufSize >= 0 && keyBufSize >= 0 && lifetime >= 0, "Read-ahead sizes are negative",
             Unit);
  FreeBuffers();
  FRecBufSize = recBufSize;
  FKeyBufSize = keyBufSize;
  FLifetime = lifetime;
  FFillTime = 0;
}

TReadAheadBufferItem& TReadAheadBuffer::AddItem() {
  FItems.push_back(std::make_unique<TReadAheadBufferItem>());
  TReadAheadBufferItem& item = *FItems.back();
  if (FCursor == PoolLength()) {
    FRecBufPool.push_back(std::make_unique<uint8_t[]>(static_cast<size_t>(FRecBufSize)));
    FKeyBufPool.push_back(std::make_unique<uint8_t[]>(static_cast<size_t>(FKeyBufSize)));
  }
  VOR_ASSERT(FCursor >= 0 && FCursor < PoolLength(), " RecBuf cursor is incorrect", Unit);
  VOR_ASSERT(FRecBufPool.size() == FKeyBufPool.size(), "Buffer cursors out of sync", Unit);
  SetBuffers(item, FRecBufPool[static_cast<size_t>(FCursor)].get(),
             FKeyBufPool[static_cast<size_t>(FCursor)].get());
  ++FCursor;
  return item;
}

void TReadAheadBuffer::SetBuffers(TReadAheadBufferItem& item, uint8_t* recBuf, uint8_t* keyBuf) {
  VOR_ASSERT(recBuf != nullptr, "RecBuf has not been initialized", Unit);
  VOR_ASSERT(keyBuf != nullptr, "KeyBuf has not been initialized", Unit);
  item.RecBuf = recBuf;
  item.KeyBuf = keyBuf;
}

void TReadAheadBuffer::Empty() {
  FItems.clear();
  FFillTime = 0;
  FCursor = 0;
}

void TReadAheadBuffer::FreeBuffers() {
  // Items go first: they point into the pools.
  FItems.clear();
  FRecBufPool.clear();
  FKeyBufPool.clear();
  FCursor = 0;
}

void TReadAheadBuffer::DeleteItem(int index) {
  VOR_ASSERT(index >= 0 && index < Count(), "Read-ahead item index out of range", Unit);
  FItems.erase(FItems.begin() + index);
}

int TReadAheadBuffer::IndexOfAddress(uint32_t address) const {
  for (int i = Count() - 1; i >= 0; --i) {
    if (FItems[static_cast<size_t>(i)]->Address == address) return i;
  }
  return -1;
}

TReadAheadBufferItem* TReadAheadBuffer::FindByAddress(uint32_t address) {
  const int index = IndexOfAddress(address);
  return index < 0 ? nullptr : FItems[static_cast<size_t>(index)].get();
}

TReadAheadBufferItem* TReadAheadBuffer::NextOf(uint32_t address) {
  const int index = IndexOfAddress(address);
  if (index < 0 || index + 1 >= Count()) return nullptr;
  return FItems[static_cast<size_t>(index + 1)].get();
}

TReadAheadBufferItem* TReadAheadBuffer::PriorOf(uint32_t address) {
  const int index = IndexOfAddress(address);
  if (index <= 0) return nullptr;
  return FItems[static_cast<size_t>(index - 1)].get();
}

TReadAheadBufferItem* TReadAheadBuffer::LastItem() {
  return FItems.empty() ? nullptr : FItems.back().get();
}

bool TReadAheadBuffer::IsFresh(uint32_t now) const {
  if (FItems.empty()) return false;
  // The age is taken modulo 2^32, so a fill shortly before the tick count wraps is as young
  // as any other; a now before the fill time counts as very old.
  const uint32_t age = now - FFillTime;
  return age <= static_cast<uint32_t>(FLifetime);
}
