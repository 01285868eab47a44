// TBTree: key counts, ordinals, range collection and read-ahead.
#include <algorithm>
#include <cstring>

#include "engine/index/BTree.h"
#include "engine/storage/CompoundList.h"
#include "engine/storage/VorErrors.h"
#include "engine/tables/ReadAheadBuffer.h"
#include "platform/Exception.h"

int64_t TBTree::TotalKeys() {
  // The root node is already held while a path exists: reading the count from it keeps the
  // cursor, which a new path would lose.
  const bool held = !FPath.empty() && FRootRef != nullptr && FDepthRef != nullptr &&
                    FPath[0]->Address() == *FRootRef &&
                    static_cast<int32_t>(FPath.size()) == *FDepthRef;
  if (!held) ResetPath();
  const TNode& root = *FPath[0];
  return root.IsEmpty() ? 0 : root.CountUpTo(-1);
}

int64_t TBTree::GetRecNo() const {
  if (!FPath.empty() && FPath.size() == 1 && FPath[0]->IsEmpty()) return 0;
  if (!FPathValid) {
    RaiseDatabaseError(8581, "TBTree.GetRecNo", "CurrentKeyCursor is invalid");
  }
  int64_t ordinal = 0;
  for (size_t level = 0; level + 1 < FPath.size(); ++level) {
    const TNode& node = *FPath[level];
    if (node.Cursor() != 0) ordinal += node.CountUpTo(node.Cursor() - 1);
  }
  return ordinal + Leaf().CountUpTo(Leaf().Cursor());
}

uint32_t TBTree::GetAddressByRecNo(int64_t n) {
  ResetPath();
  if (FPath[0]->IsEmpty()) return 0;
  int64_t rest = std::max<int64_t>(n, 0);
  const int depth = static_cast<int>(FPath.size());
  uint32_t address = 0;
  for (int level = 0; level < depth; ++level) {
    int64_t before = 0;
    address = FPath[level]->FindByOrdinal(rest, before);
    rest -= before;
    VOR_ASSERT(rest >= 0, "invalid recno in getaddr of recno", "vorIndexUnit");
    if (level < depth - 1) LoadLevel(level + 1, address);
  }
  if (address == 0) {
    RaiseDatabaseError(8965, "TBTree.GetAddressByRecNo", "Leaf entry without record address");
  }
  // The nodes now stand on the ordinal's path, not on a searched key.
  Invalidate();
  return address;
}

void TBTree::CollectRange(int n, TCompoundList& list, int mode, uint32_t stopAddress) {
  if (!FPathValid) return;
  const bool backward = mode == fmBelow || mode == fmAtOrBelow;
  const int32_t step = backward ? -MaxKeySize() : MaxKeySize();
  int64_t ordinal = GetRecNo();
  TNode* leaf = &Leaf();
  TKeyBuffer start;
  start.Allocate(MaxKeySize());
  leaf->CopyCurrentKey(start);
  int32_t pos = leaf->Cursor();
  for (;;) {
    for (; pos >= 0 && pos < leaf->UsedBytes(); pos += step) {
      if (mode == fmExact && CompareKeys(n, nullptr, start.Data(), leaf->EntryAt(pos)) != 0) {
        return;
      }
      const uint32_t address = leaf->EntryAddress(pos);
      list.Add(address, static_cast<uint32_t>(ordinal));
      ordinal += backward ? -1 : 1;
      if (stopAddress != 0 && address == stopAddress) return;
    }
    if ((backward ? leaf->PriorLeaf() : leaf->NextLeaf()) == 0) return;
    // The path no longer leads to the leaf node, nor does its cursor mark the start.
    Invalidate();
    FollowLeafLink(!backward);
    leaf = &Leaf();
    pos = backward ? leaf->UsedBytes() - MaxKeySize() : 0;
  }
}

int TBTree::FillReadAhead(int mode, int count, TReadAheadBuffer& buffer) {
  static constexpr const char* Unit = "vorIndexUnit";
  if (!FPathValid || count <= 0) return 0;
  if (buffer.KeyBufSize() < MaxKeySize()) {
    RaiseDatabaseError(8581, "TBTree.FillReadAhead", "KeyBuffers invalid");
  }
  const TNode& leaf = Leaf();
  const int32_t cursor = leaf.Cursor();
  const int current = cursor / MaxKeySize();
  const int last = leaf.KeyCount() - 1;
  int first = current;
  int end = current;  // one past the last entry taken
  switch (mode) {
    case 1:  // backward: the entries up to and including the cursor entry
      first = std::max(0, current - count + 1);
      end = current + 1;
      break;
    case 3:  // around the cursor entry
      first = std::max(0, current - count / 2);
      end = std::min(last + 1, current + count / 2);
      break;
    default:  // forward from the cursor entry
      end = std::min(last + 1, current + count);
      break;
  }
  int64_t ordinal = GetRecNo() - (current - first);
  int read = 0;
  uint32_t previous = 0;
  for (int i = first; i < end; ++i, ++ordinal, ++read) {
    const uint8_t* entry = leaf.EntryAt(i * MaxKeySize());
    const uint32_t address = keyentry::Address(entry);
    VOR_ASSERT(read == 0 || address != previous, "Read ahead buffer has duplicate records", Unit);
    TReadAheadBufferItem& item = buffer.AddItem();
    std::memcpy(item.KeyBuf, entry, static_cast<size_t>(MaxKeySize()));
    buffer.SetAddress(item, address);
    buffer.SetRecNo(item, static_cast<int32_t>(ordinal));
    previous = address;
  }
  VOR_ASSERT(leaf.Cursor() == cursor, "CursorPos invalid", Unit);
  return read;
}
