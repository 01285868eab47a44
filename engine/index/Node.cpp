#include "engine/index/Node.h"

#include <cstring>
#include <string>

#include "engine/index/BTree.h"
#include "engine/storage/BaseIOInterface.h"
#include "engine/storage/VorErrors.h"
#include "platform/Exception.h"
#include "platform/Format.h"

namespace {

constexpr const char* Unit = "vorIndexUnit";

}  // namespace

void TNode::Initialize(TBTree* tree, TBaseIOInterface* io, int32_t nodeSize) {
  FTree = tree;
  FIO = io;
  FNodeSize = nodeSize;
  FBuffer.assign(static_cast<size_t>(nodeSize), 0);
  FMaxKeySize = tree->MaxKeySize();
  FAddress = 0;
  FCursor = 0;
}

void TNode::CheckOpen() const {
  if (FBuffer.empty()) RaiseDatabaseError(8581, "TNode.CheckOpen", "Node Buffer not allocated");
}

void TNode::LoadBlock(uint32_t address) {
  CheckOpen();
  if (address != FAddress) {
    // Held again only once the image has passed its checks.
    FAddress = 0;
    if (const uint8_t* image = FTree->NodeCache().Find(address)) {
      std::memcpy(FBuffer.data(), image, FBuffer.size());
    } else {
      if (address == 0 || !FIO->IsPlausibleBlock(address)) {
        RaiseDatabaseError(8965, "TNode.LoadBlock", Format("No index block at %u", {address}));
      }
      FIO->ReadBlock(address, static_cast<uint32_t>(FNodeSize), FBuffer.data());
      CheckEntries(address, "TNode.LoadBlock");
      if (!IsLeaf()) FTree->NodeCache().Store(address, FBuffer);
    }
  }
  FAddress = address;
  FCursor = 0;
}

void TNode::CheckEntries(uint32_t address, const char* context) const {
  const uint32_t isLeaf = Header(nodeblock::IsLeafOffset);
  const int32_t used = UsedBytes();
  bool valid = isLeaf <= 1 && used >= 0 && used <= KeyAreaSize();
  if (valid && FMaxKeySize <= 0) {
    valid = used == 0;
  } else if (valid) {
    valid = used % FMaxKeySize == 0;
    for (int32_t pos = 0; valid && pos < used; pos += FMaxKeySize) {
      valid = keyentry::EntryLength(EntryAt(pos)) == FMaxKeySize;
    }
  }
  if (!valid) {
    RaiseDatabaseError(8965, context,
                       Format("Node %u: leaf flag %u, %d used bytes, key size %d",
                              {address, isLeaf, used, FMaxKeySize}));
  }
}

void TNode::AssignAddress(uint32_t address) {
  if (address != FAddress) ClearNode();
  FAddress = address;
}

void TNode::WriteNode() {
  CheckOpen();
  VOR_ASSERT(FAddress != 0, "Node has no block address", Unit);
  FIO->WriteBlock(FAddress, static_cast<uint32_t>(FNodeSize), FBuffer.data());
  if (IsLeaf()) {
    FTree->NodeCache().Forget(FAddress);
  } else {
    FTree->NodeCache().Store(FAddress, FBuffer);
  }
}

void TNode::ClearNode() {
  CheckOpen();
  const bool leaf = IsLeaf();
  std::fill(FBuffer.begin(), FBuffer.end(), 0);
  SetLeaf(leaf);
  FCursor = 0;
}

void TNode::CopyBlockFrom(const TNode& other) {
  VOR_ASSERT(other.FBuffer.size() == FBuffer.size(), "Node sizes differ", Unit);
  FBuffer = other.FBuffer;
  FCursor = 0;
}

bool TNode::IsFull() const {
  return UsedBytes() + static_cast<int32_t>(nodeblock::HeaderSize) + FMaxKeySize >= FNodeSize;
}

bool TNode::IsUnderfull() const {
  return UsedBytes() + static_cast<int32_t>(nodeblock::HeaderSize) < FNodeSize / 2;
}

int TNode::KeyCount() const {
  return FMaxKeySize > 0 ? UsedBytes() / FMaxKeySize : 0;
}

bool TNode::ValidEntryStart(int32_t pos) const {
  return FMaxKeySize > 0 && pos >= 0 && pos < UsedBytes() && pos % FMaxKeySize == 0;
}

// ---- cursor ----

void TNode::CursorFirst() {
  FCursor = 0;
}

void TNode::CursorLast() {
  FCursor = FindKeyPos(kpContaining, UsedBytes() - 1);
}

bool TNode::NextKey() {
  if (FCursor >= UsedBytes()) return false;
  const int32_t p = FindKeyPos(kpNextBoundary, FCursor + 1);
  if (p > FCursor && p < UsedBytes()) {
    FCursor = p;
    return true;
  }
  return false;
}

bool TNode::PriorKey() {
  if (FCursor <= 0) return false;
  const int32_t p = FindKeyPos(kpContaining, FCursor - 1);
  if (p >= 0 && p < FCursor) {
    FCursor = p;
    return true;
  }
  return false;
}

void TNode::ForceCursorToPhysicalKey() {
  if (IsEmpty()) RaiseDatabaseError(8581, "TNode.ForceCursorToPhysicalKey", "Node is empty");
  if (FCursor >= UsedBytes()) FCursor = UsedBytes() - FMaxKeySize;
}

const uint8_t* TNode::GetCurrentKey() const {
  VOR_ASSERT(!FBuffer.empty(), "Node buffers not assigned", Unit);
  if (!ValidEntryStart(FCursor)) {
    RaiseDatabaseError(8581, "TNode.GetCurrentKey", "Node cursor out of range");
  }
  return EntryAt(FCursor);
}

uint32_t TNode::GetRecordAddress() const {
  if (!ValidEntryStart(FCursor)) {
    RaiseDatabaseError(8581, "TNode.GetRecordAddress", "Node cursor out of range");
  }
  return EntryAddress(FCursor);
}

void TNode::CopyCurrentKey(TKeyBuffer& key) const {
  if (!ValidEntryStart(FCursor)) {
    RaiseDatabaseError(8581, "TNode.CopyCurrentKey", "Cursor is out of range");
  }
  VOR_ASSERT(key.Size() >= FMaxKeySize, "Key buffer too small", Unit);
  std::memcpy(key.Data(), EntryAt(FCursor), static_cast<size_t>(FMaxKeySize));
}

// ---- entries ----

// Every entry is M bytes long (checked when the block was read, kept by every edit), so the
// walk over entry lengths reduces to arithmetic.
int32_t TNode::FindKeyPos(int mode, int32_t pos) const {
  VOR_ASSERT(FMaxKeySize > 0, "MaxKeySize is 0", Unit);
  const int32_t used = UsedBytes();
  if (pos > used) return -1;
  const int32_t m = FMaxKeySize;
  switch (mode) {
    case kpContaining:
      return pos < 0 ? 0 : pos / m * m;
    case kpExactStart:
      return pos >= 0 && pos % m == 0 ? pos : -1;
    case kpNextBoundary: {
      if (pos <= 0) return 0;
      const int32_t boundary = (pos + m - 1) / m * m;
      return boundary <= used ? boundary : -1;
    }
    default:
      return -1;
  }
}

int TNode::FindKey(int n, const TKeyMarkers* markers, const TKeyBuffer& key, int32_t& position) {
  position = 0;
  VOR_ASSERT(FMaxKeySize > 0, "MaxKeySize is 0", Unit);
  if (IsEmpty()) {
    FCursor = 0;
    return 1;
  }
  int lo = 0;
  int hi = UsedBytes() / FMaxKeySize - 1;
  int mid = 0;
  int r = 0;
  while (lo <= hi) {
    mid = (lo + hi) / 2;
    r = FTree->CompareToOptimizedKey(n, EntryAt(mid * FMaxKeySize));
    if (r < 0) {
      hi = mid - 1;
    } else if (r > 0) {
      lo = mid + 1;
    } else {
      break;
    }
  }
  if (IsLeaf()) {
    position = (r > 0 ? mid + 1 : mid) * FMaxKeySize;
    if (position < UsedBytes()) r = FTree->CompareKeys(n, markers, EntryAt(position), key.Data());
  } else {
    // The last child whose first key is not above the key, or the first child.
    position = (r < 0 && mid > 0 ? mid - 1 : mid) * FMaxKeySize;
  }
  FCursor = position;
  return r;
}

void TNode::ReadKey(int32_t pos, TKeyBuffer& key) const {
  if (!ValidEntryStart(pos)) {
    RaiseDatabaseError(8581, "TNode.ReadKey", "ReadPos is out of range: " + std::to_string(pos));
  }
  VOR_ASSERT(key.Size() >= FMaxKeySize, "Key buffer too small", Unit);
  std::memcpy(key.Data(), EntryAt(pos), static_cast<size_t>(FMaxKeySize));
}

void TNode::InsertKey(int32_t pos, const TKeyBuffer& key) {
  const int32_t length = key.EntryLength();
  if (length != FMaxKeySize) {
    RaiseDatabaseError(8581, "TNode.InsertKey", "Invalid key size: " + std::to_string(length));
  }
  if (pos < 0 || pos > UsedBytes() || pos % FMaxKeySize != 0) {
    RaiseDatabaseError(8581, "TNode.InsertKey",
                       "Insert position is out of range: " + std::to_string(pos));
  }
  // Blocks at rest are never full; one that is came from a damaged file.
  if (UsedBytes() + length > KeyAreaSize()) {
    RaiseDatabaseError(8965, "TNode.InsertKey", Format("Node %u is overfull", {FAddress}));
  }
  MoveBlock(pos, length, true);
  std::memcpy(KeyArea() + pos, key.Data(), static_cast<size_t>(length));
  SetUsedBytes(UsedBytes() + length);
}

int32_t TNode::ReplaceKey(int32_t pos, const TKeyBuffer& key) {
  // Every entry of an index has the same length, so a replacement never moves the rest.
  if (!ValidEntryStart(pos) || key.EntryLength() != FMaxKeySize) {
    RaiseDatabaseError(8581, "TNode.ReplaceKey",
                       Format("Hdr %d Delta %d", {UsedBytes(), key.EntryLength() - FMaxKeySize}));
  }
  std::memcpy(KeyArea() + pos, key.Data(), static_cast<size_t>(FMaxKeySize));
  return 0;
}

void TNode::DeleteKey(int32_t pos) {
  const int32_t length = ValidEntryStart(pos) ? keyentry::EntryLength(EntryAt(pos)) : 0;
  if (length == 0 || length > FMaxKeySize) {
    RaiseDatabaseError(8581, "TNode.DeleteKey",
                       "Invalid key size in Delete key: " + std::to_string(length));
  }
  MoveBlock(pos + length, length, false);
  SetUsedBytes(UsedBytes() - length);
  std::memset(KeyArea() + UsedBytes(), 0, static_cast<size_t>(length));
}

void TNode::MoveBlock(int32_t pos, int32_t delta, bool toRight) {
  if (delta == 0) return;
  const int32_t used = UsedBytes();
  const bool valid = delta > 0 && pos >= 0 && pos <= used &&
                     (toRight ? used + delta <= KeyAreaSize() : delta <= pos);
  if (!valid) {
    RaiseDatabaseError(8581, "TNode.MoveBlock",
                       "Move block error - Start Pos - Delta are out of range");
  }
  uint8_t* from = KeyArea() + pos;
  std::memmove(toRight ? from + delta : from - delta, from, static_cast<size_t>(used - pos));
}
