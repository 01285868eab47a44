// TBTree: search keys built from record buffers and key entries.
#include <algorithm>
#include <cstring>
#include <string>

#include "engine/index/BTree.h"
#include "engine/storage/VorErrors.h"

void TBTree::BuildKey(TKeyBuffer& buffer, std::span<const uint8_t> record,
                      const TKeyMarkers* markers) {
  if (!buffer.Allocated() || buffer.Size() < MaxKeySize() + 1) {
    RaiseDatabaseError(8581, "TBTree.BuildKey", "KeyBuffers invalid");
  }
  FMarkers.clear();
  for (int i = 0; i < FLayout.Count(); ++i) {
    FMarkers.push_back(markers != nullptr && i < static_cast<int>(markers->size())
                           ? (*markers)[i]
                           : KeyMarkerValue);
  }
  FLayout.BuildKey(buffer.Data(), record);
}

// The prepared key refers to the search key's own bytes rather than to the caller's record,
// so it stays valid however long the caller keeps the record.
void TBTree::SetSearchKeyFromRecord(std::span<const uint8_t> record, const TKeyMarkers* markers) {
  BuildKey(FSearchKey, record, markers);
  FOptimizedKey.PrepareFromKey(FLayout, &FMarkers, FSearchKey.Bytes());
  FSearched = false;
}

void TBTree::SetSearchKeyFromKeyBuf(std::span<const uint8_t> entry, const TKeyMarkers* markers) {
  CopyKey(entry);
  FMarkers.clear();
  for (int i = 0; i < FLayout.Count(); ++i) {
    FMarkers.push_back(markers != nullptr && i < static_cast<int>(markers->size())
                           ? (*markers)[i]
                           : KeyMarkerValue);
  }
  FOptimizedKey.PrepareFromKey(FLayout, &FMarkers, FSearchKey.Bytes());
  FSearched = false;
}

void TBTree::BuildKeyToBuffer(std::span<uint8_t> destination, std::span<const uint8_t> record,
                              const TKeyMarkers* markers) {
  if (static_cast<int64_t>(destination.size()) < MaxKeySize()) {
    RaiseDatabaseError(8581, "TBTree.BuildKeyToBuffer", "KeyBuffers invalid");
  }
  BuildKey(FWorkKey, record, markers);
  std::memcpy(destination.data(), FWorkKey.Data(), static_cast<size_t>(MaxKeySize()));
}

void TBTree::CopyKey(std::span<const uint8_t> source, TKeyBuffer* destination) {
  static constexpr const char* Context = "TBTree.CopyKey";
  if (source.empty()) RaiseDatabaseError(8581, Context, "SrcBuf is unassigned");
  TKeyBuffer& target = destination != nullptr ? *destination : FSearchKey;
  const int64_t length =
      source.size() >= keyentry::FixedSize ? keyentry::EntryLength(source.data()) : -1;
  if (length < keyentry::FixedSize || length > MaxKeySize() ||
      length > static_cast<int64_t>(source.size()) || target.Size() < MaxKeySize() + 1) {
    RaiseDatabaseError(8581, Context, "Invalid key size: " + std::to_string(length));
  }
  std::memcpy(target.Data(), source.data(), static_cast<size_t>(length));
  std::fill(target.Data() + length, target.Data() + target.Size(), uint8_t{0});
  if (destination == nullptr) FSearched = false;
}
