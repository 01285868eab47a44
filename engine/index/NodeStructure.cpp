// TNode's structural operations: split, balance and merge of neighbouring nodes, the leaf
// chain, the choice of a sibling, and the count arithmetic of an order-statistics tree.
#include <algorithm>
#include <cstring>

#include "engine/index/Node.h"
#include "engine/storage/BaseIOInterface.h"
#include "engine/storage/VorErrors.h"
#include "platform/Exception.h"
#include "platform/Format.h"

namespace {

constexpr const char* Unit = "vorIndexUnit";

}  // namespace

void TNode::SetNeighbourLink(uint32_t neighbour, uint32_t linkOffset, uint32_t expected,
                             uint32_t value, const char* context) {
  uint8_t header[nodeblock::HeaderSize] = {};
  if (!FIO->IsPlausibleBlock(neighbour)) {
    RaiseDatabaseError(8965, context, Format("Leaf %u links to block %u", {FAddress, neighbour}));
  }
  FIO->ReadBlockHeader(neighbour, nodeblock::HeaderSize, header);
  // The neighbour must be a leaf that links back; anything else is a damaged chain, which
  // must not be made worse by writing into the block.
  if (le::GetU32(header + nodeblock::IsLeafOffset) != 1 ||
      le::GetU32(header + linkOffset) != expected) {
    RaiseDatabaseError(8965, context,
                       Format("Leaf %u does not link back to %u", {neighbour, expected}));
  }
  le::PutU32(header + linkOffset, value);
  FIO->WriteBlockHeader(neighbour, nodeblock::HeaderSize, header);
}

void TNode::SplitNode(TNode& newNode, uint32_t newAddress) {
  static constexpr const char* Context = "TNode.SplitNode";
  const int32_t used = UsedBytes();
  if (used == 0) RaiseDatabaseError(8581, Context, "Node is empty");
  if (used + static_cast<int32_t>(nodeblock::HeaderSize) > FNodeSize) {
    RaiseDatabaseError(8581, Context, "Node is overfull");
  }
  // With n entries the left node keeps n div 2.
  const int32_t c = FindKeyPos(kpContaining, used / 2);
  if (c < 0) RaiseDatabaseError(8581, Context, "Cursor is out of range");
  VOR_ASSERT(newNode.FBuffer.size() == FBuffer.size(), "Node sizes differ", Unit);

  std::fill(newNode.FBuffer.begin(), newNode.FBuffer.end(), 0);
  std::memcpy(newNode.FBuffer.data(), FBuffer.data(), nodeblock::HeaderSize);
  std::memcpy(newNode.KeyArea(), KeyArea() + c, static_cast<size_t>(used - c));
  newNode.SetUsedBytes(used - c);
  newNode.FCursor = 0;
  SetUsedBytes(c);
  std::memset(KeyArea() + c, 0, static_cast<size_t>(KeyAreaSize() - c));

  if (IsLeaf()) {
    newNode.SetNextLeaf(NextLeaf());
    newNode.SetPriorLeaf(FAddress);
    if (NextLeaf() != 0) {
      SetNeighbourLink(NextLeaf(), nodeblock::PriorLeafOffset, FAddress, newAddress, Context);
    }
    SetNextLeaf(newAddress);
  }
  if (FCursor > c) FCursor = c;
}

int TNode::BalanceWith(TNode& right) {
  const int32_t a = UsedBytes();
  const int32_t b = right.UsedBytes();
  if (static_cast<double>(FNodeSize) / 3 >= a + b) return -1;
  if (a == b) return 0;
  const int32_t half = (a + b) / 2;
  const int32_t c = FindKeyPos(kpContaining, half);
  if (c >= 0) {
    // This node is the larger: its tail goes to the front of the right node.
    const int32_t k = a - c;
    right.MoveBlock(0, k, true);
    std::memcpy(right.KeyArea(), KeyArea() + c, static_cast<size_t>(k));
    right.SetUsedBytes(b + k);
    SetUsedBytes(c);
    std::memset(KeyArea() + c, 0, static_cast<size_t>(k));
  } else {
    const int32_t k = right.FindKeyPos(kpNextBoundary, half - a);
    if (k < 0) return 1;
    VOR_ASSERT(a + k <= KeyAreaSize(), "Balance overfills the node", Unit);
    std::memcpy(KeyArea() + a, right.KeyArea(), static_cast<size_t>(k));
    SetUsedBytes(a + k);
    right.MoveBlock(k, k, false);
    right.SetUsedBytes(b - k);
    std::memset(right.KeyArea() + (b - k), 0, static_cast<size_t>(k));
  }
  FCursor = 0;
  right.FCursor = 0;
  return 1;
}

void TNode::MergeNodes(TNode& other, bool otherIsRight) {
  static constexpr const char* Context = "TNode.MergeNodes";
  const int32_t a = UsedBytes();
  const int32_t b = other.UsedBytes();
  if (a + b + FMaxKeySize > FNodeSize || a + b > KeyAreaSize()) {
    const std::string text =
        Format("Invalid parameters for MergeNodes (size too large): size1 %d size2 %d key %d",
               {a, b, FMaxKeySize});
    AssertFailed(text.c_str(), Unit, __LINE__);
  }
  if (IsLeaf()) {
    const bool linked = otherIsRight
                            ? NextLeaf() == other.FAddress && other.PriorLeaf() == FAddress
                            : PriorLeaf() == other.FAddress && other.NextLeaf() == FAddress;
    if (!linked) {
      RaiseDatabaseError(8965, Context,
                         Format("Leaves %u and %u are not neighbours", {FAddress, other.FAddress}));
    }
  }
  if (otherIsRight) {
    std::memcpy(KeyArea() + a, other.KeyArea(), static_cast<size_t>(b));
    SetUsedBytes(a + b);
    if (IsLeaf()) {
      SetNextLeaf(other.NextLeaf());
      if (NextLeaf() != 0) {
        SetNeighbourLink(NextLeaf(), nodeblock::PriorLeafOffset, other.FAddress, FAddress, Context);
      }
    }
  } else {
    MoveBlock(0, b, true);
    std::memcpy(KeyArea(), other.KeyArea(), static_cast<size_t>(b));
    SetUsedBytes(a + b);
    if (IsLeaf()) {
      SetPriorLeaf(other.PriorLeaf());
      if (PriorLeaf() != 0) {
        SetNeighbourLink(PriorLeaf(), nodeblock::NextLeafOffset, other.FAddress, FAddress, Context);
      }
    }
  }
  FCursor = 0;
}

void TNode::UnlinkLeaf() {
  static constexpr const char* Context = "TNode.UnlinkLeaf";
  const uint32_t prior = PriorLeaf();
  const uint32_t next = NextLeaf();
  if (prior != 0) SetNeighbourLink(prior, nodeblock::NextLeafOffset, FAddress, next, Context);
  if (next != 0) SetNeighbourLink(next, nodeblock::PriorLeafOffset, FAddress, prior, Context);
  SetPriorLeaf(0);
  SetNextLeaf(0);
}

int32_t TNode::SiblingToJoin(int32_t pos) const {
  if (IsLeaf() || IsEmpty() || !ValidEntryStart(pos)) return -1;
  const int32_t left = pos > 0 ? FindKeyPos(kpContaining, pos - 1) : -1;
  const int32_t right = pos + FMaxKeySize < UsedBytes() ? pos + FMaxKeySize : -1;
  if (left < 0) return right;
  if (right < 0) return left;
  return EntryCount(left) < EntryCount(right) ? left : right;
}

int64_t TNode::CountUpTo(int32_t pos) const {
  const int32_t used = UsedBytes();
  if (used == 0 || FMaxKeySize <= 0) return 0;
  if (pos < 0 || pos >= used) pos = used - FMaxKeySize;
  const int32_t last = pos / FMaxKeySize;
  if (IsLeaf()) return last + 1;
  int64_t count = 0;
  for (int32_t i = 0; i <= last; ++i) count += EntryCount(i * FMaxKeySize);
  return count;
}

uint32_t TNode::FindByOrdinal(int64_t n, int64_t& before) const {
  before = 0;
  const int32_t used = UsedBytes();
  if (used == 0 || FMaxKeySize <= 0) return 0;
  int32_t pos = 0;
  int64_t sum = 0;
  while (n > sum && pos < used) {
    before = sum;
    sum += IsLeaf() ? 1 : EntryCount(pos);
    if (n > sum) pos += FMaxKeySize;
  }
  if (pos >= used) pos = used - FMaxKeySize;
  return EntryAddress(pos);
}
