// TBTree: set-up, the path, search and navigation.
#include "engine/index/BTree.h"

#include <algorithm>

#include "engine/storage/BaseIOInterface.h"
#include "engine/storage/DBLogger.h"
#include "engine/storage/VorErrors.h"
#include "platform/Format.h"

namespace {

// The smallest node the tree works with: room for four entries, so that a split leaves
// entries on both sides and a merge always fits.
constexpr int32_t MinEntriesPerNode = 4;
constexpr int32_t MaxNodeSize = 65536;

}  // namespace

TBTree::TBTree() = default;
TBTree::~TBTree() = default;

// ---- set-up ----

void TBTree::Attach(TBaseIOInterface* io, int32_t nodeSize, int32_t& depth, uint32_t& root) {
  FIO = io;
  FNodeSize = nodeSize;
  FDepthRef = &depth;
  FRootRef = &root;
  CheckGeometry("TBTree.Attach");
  FPath.clear();
  FPositions.clear();
  FNodeCache.Clear();
  FWorkNode = NewNode();
  Invalidate();
}

void TBTree::SetKeyFields(const TKeyFields& keyFields) {
  FLayout.Setup(keyFields, "TBTree.SetKeyFields");
  FKeyFields.Assign(keyFields);
}

void TBTree::SetSortFunction(TCompareKeysFunc sortFunction) {
  FSortFunction = sortFunction;
  FLayout.SetSortFunction(sortFunction);
}

void TBTree::AllocateKeyBuffers(int32_t maxKeySize) {
  FLayout.SetMaxKeySize(maxKeySize, "TBTree.AllocateKeyBuffers");
  FSearchKey.Allocate(maxKeySize);
  FWorkKey.Allocate(maxKeySize);
  FNodeCache.Clear();
  if (FIO != nullptr) {
    CheckGeometry("TBTree.AllocateKeyBuffers");
    // Nodes copy the key size when they are initialised.
    for (auto& node : FPath) node->Initialize(this, FIO, FNodeSize);
    FWorkNode = NewNode();
  }
  Invalidate();
}

void TBTree::CheckAttached(const char* context) const {
  if (FIO == nullptr || FRootRef == nullptr || FDepthRef == nullptr || !FWorkNode) {
    RaiseDatabaseError(8581, context, "IO Interface is unassigned");
  }
}

void TBTree::CheckGeometry(const char* context) const {
  const int32_t m = MaxKeySize();
  const int64_t smallest =
      nodeblock::HeaderSize + int64_t{MinEntriesPerNode} * std::max<int32_t>(m, 1);
  if (FNodeSize < smallest || FNodeSize > MaxNodeSize) {
    RaiseDatabaseError(8581, context,
                       Format("Invalid node size %d for key size %d", {FNodeSize, m}));
  }
}

std::unique_ptr<TNode> TBTree::NewNode() {
  auto node = std::make_unique<TNode>();
  node->Initialize(this, FIO, FNodeSize);
  return node;
}

void TBTree::Open() {
  static constexpr const char* Context = "TBTree.Open";
  Close();
  if (FSortFunction == nullptr) {
    RaiseDatabaseError(8581, Context, "No sort order function assigned");
  }
  CheckAttached(Context);
  if (!FSearchKey.Allocated()) RaiseDatabaseError(8581, Context, "KeyBuffers invalid");
  CheckGeometry(Context);
  const int32_t depth = *FDepthRef;
  if (depth < 1 || depth > MaxDepth) {
    RaiseDatabaseError(8965, Context, Format("Index depth %d", {depth}));
  }
  for (int32_t i = 0; i < depth; ++i) {
    FPath.push_back(NewNode());
    FPositions.push_back(0);
  }
}

void TBTree::Close() {
  FNodeCache.Clear();
  FPath.clear();
  FPositions.clear();
  Invalidate();
}

void TBTree::CreateEmptyTree() {
  CheckAttached("TBTree.CreateEmptyTree");
  Close();
  const uint32_t address = AllocateBlock();
  FPath.push_back(NewNode());
  FPositions.push_back(0);
  TNode& root = *FPath[0];
  root.AssignAddress(address);
  root.ClearNode();
  root.SetLeaf(true);
  root.WriteNode();
  FMarkers.clear();
  StoreRoot();
}

void TBTree::InvalidateNodes() {
  FNodeCache.Clear();
  for (auto& node : FPath) node->AssignAddress(0);
  if (FWorkNode) FWorkNode->AssignAddress(0);
  Invalidate();
}

void TBTree::StoreRoot() {
  *FRootRef = FPath[0]->Address();
  *FDepthRef = static_cast<int32_t>(FPath.size());
}

uint32_t TBTree::AllocateBlock() {
  const uint32_t address = FIO->AllocateNewAddress(static_cast<uint32_t>(FNodeSize), nullptr);
  ForgetBlock(address);
  return address;
}

void TBTree::ReleaseBlock(uint32_t address) {
  FIO->ReleaseBlock(address, static_cast<uint32_t>(FNodeSize));
  ForgetBlock(address);
}

void TBTree::ForgetBlock(uint32_t address) {
  if (address == 0) return;
  FNodeCache.Forget(address);
  for (auto& node : FPath) {
    if (node->Address() == address) node->AssignAddress(0);
  }
  if (FWorkNode && FWorkNode->Address() == address) FWorkNode->AssignAddress(0);
}

// ---- the path ----

void TBTree::ResetPath() {
  static constexpr const char* Context = "TBTree.ResetPath";
  Invalidate();
  CheckAttached(Context);
  if (!FSearchKey.Allocated()) RaiseDatabaseError(8581, Context, "KeyBuffers invalid");
  const uint32_t root = *FRootRef;
  const int32_t depth = *FDepthRef;
  if (depth < 1 || depth > MaxDepth || root == 0) {
    RaiseDatabaseError(8965, Context, Format("Root %u, depth %d", {root, depth}));
  }
  while (static_cast<int32_t>(FPath.size()) < depth) FPath.push_back(NewNode());
  FPath.resize(static_cast<size_t>(depth));
  FPositions.assign(static_cast<size_t>(depth), 0);
  VOR_ASSERT(FPath.size() == FPositions.size(), "Node and InsertPos List not in sync",
             "vorIndexUnit");
  FWorkNode->AssignAddress(0);
  LoadLevel(0, root);
}

void TBTree::CheckLevel(TNode& node, int level, int depth, const char* context) const {
  const bool leafLevel = level == depth - 1;
  // Only the root of a one-level tree may be empty.
  if (node.IsLeaf() != leafLevel || (node.IsEmpty() && depth > 1)) {
    const std::string message =
        Format("Node %u at level %d of %d: leaf %d, %d used bytes",
               {node.Address(), level, depth, node.IsLeaf() ? 1 : 0, node.UsedBytes()});
    node.AssignAddress(0);
    RaiseDatabaseError(8965, context, message);
  }
}

void TBTree::LoadLevel(int level, uint32_t address) {
  static constexpr const char* Context = "TBTree.LoadNode";
  TNode& node = *FPath[level];
  if (level > 0 && (address == 0 || address == FPath[level - 1]->Address())) {
    RaiseDatabaseError(8965, Context,
                       Format("Node %u links to block %u", {FPath[level - 1]->Address(), address}));
  }
  node.LoadBlock(address);
  CheckLevel(node, level, static_cast<int>(FPath.size()), Context);
}

void TBTree::LoadSibling(const TNode& node, uint32_t address, int level) {
  static constexpr const char* Context = "TBTree.Delete";
  if (address == 0 || address == node.Address()) {
    RaiseDatabaseError(8965, Context, Format("Sibling link to block %u", {address}));
  }
  FWorkNode->LoadBlock(address);
  CheckLevel(*FWorkNode, level, static_cast<int>(FPath.size()), Context);
}

// ---- search ----

int TBTree::SearchKey(int n, bool forceToKey) {
  ResetPath();
  if (FPath[0]->IsEmpty()) {
    // An empty tree: nothing to stand on, but an insertion point at the root.
    FSearched = true;
    return -1;
  }
  const int depth = static_cast<int>(FPath.size());
  int r = 0;
  for (int level = 0; level < depth; ++level) {
    TNode& node = *FPath[level];
    int32_t pos = 0;
    r = node.FindKey(n, &FMarkers, FSearchKey, pos);
    FPositions[level] = pos;
    if (level < depth - 1) LoadLevel(level + 1, node.EntryAddress(pos));
  }
  if (forceToKey) Leaf().ForceCursorToPhysicalKey();
  FPathValid = FCursorValid = FSearched = true;
  return r;
}

int TBTree::Find(int mode) {
  const int n = mode == fmExactVisible ? FLayout.VisibleCount() : 0;
  int r = SearchKey(n, true);
  if (r != 0 && FPath[0]->IsEmpty()) return r;
  switch (mode) {
    case fmBelow:
      if (r == 0) {
        if (!Prior()) r = -1;
      } else if (r > 0) {
        r = 0;
      } else if (Prior()) {
        r = 0;
      }
      break;
    case fmAtOrBelow:
      if (r >= 0) {
        r = 0;
      } else if (Prior()) {
        r = 0;
      }
      break;
    case fmAtOrAbove:
      if (r <= 0) {
        r = 0;
      } else if (Next()) {
        r = 0;
      }
      break;
    case fmAbove:
      if (r == 0) {
        if (!Next()) r = -1;
      } else if (r < 0) {
        r = 0;
      } else if (Next()) {
        r = 0;
      }
      break;
    case fmNearest:
      // With r > 0 the cursor already stands on the greatest key below the search key; when
      // no key follows, that key is the nearest, so the cursor does not step back again.
      if (r > 0) Next();
      r = 0;
      break;
    default:  // fmExact, fmExactVisible
      break;
  }
  return r;
}

// ---- navigation ----

void TBTree::FollowLeafLink(bool forward) {
  static constexpr const char* Context = "TBTree.FollowLeafLink";
  TNode& leaf = Leaf();
  const uint32_t from = leaf.Address();
  const uint32_t to = forward ? leaf.NextLeaf() : leaf.PriorLeaf();
  if (to == 0 || to == from) {
    RaiseDatabaseError(8965, Context, Format("Leaf %u links to block %u", {from, to}));
  }
  // The key at the edge being left: the neighbour's keys must continue the order, which also
  // keeps a chain that runs in a circle from being walked for ever.
  ReadEdgeKey(leaf, forward, FWorkKey);
  leaf.LoadBlock(to);
  const uint32_t back = forward ? leaf.PriorLeaf() : leaf.NextLeaf();
  bool valid = leaf.IsLeaf() && !leaf.IsEmpty() && back == from;
  if (valid) {
    const uint8_t* edge = leaf.EntryAt(forward ? 0 : leaf.UsedBytes() - MaxKeySize());
    const int order = CompareKeys(0, nullptr, FWorkKey.Data(), edge);
    valid = forward ? order > 0 : order < 0;
  }
  if (!valid) {
    leaf.AssignAddress(0);
    Invalidate();
    RaiseDatabaseError(8965, Context, Format("Leaf %u does not continue leaf %u", {to, from}));
  }
}

void TBTree::ReadEdgeKey(const TNode& leaf, bool last, TKeyBuffer& key) const {
  leaf.ReadKey(last ? leaf.UsedBytes() - MaxKeySize() : 0, key);
}

bool TBTree::Next() {
  if (!FCursorValid) return false;
  TNode& leaf = Leaf();
  if (leaf.NextKey()) return true;
  if (leaf.NextLeaf() == 0) return false;
  FollowLeafLink(true);
  Leaf().CursorFirst();
  RefreshPath();
  return true;
}

bool TBTree::Prior() {
  if (!FCursorValid) return false;
  TNode& leaf = Leaf();
  if (leaf.PriorKey()) return true;
  if (leaf.PriorLeaf() == 0) return false;
  FollowLeafLink(false);
  Leaf().CursorLast();
  RefreshPath();
  return true;
}

void TBTree::RefreshPath() {
  Leaf().CopyCurrentKey(FSearchKey);
  FMarkers.clear();
  FOptimizedKey.PrepareFromKey(FLayout, nullptr, FSearchKey.Bytes());
  FPathValid = true;
  if (SearchKey(0, true) != 0) {
    EngineLogger().Log("BTree", "Failure of internal refresh to cursor");
  }
}

bool TBTree::First() {
  ResetPath();
  if (FPath[0]->IsEmpty()) return false;
  const int depth = static_cast<int>(FPath.size());
  for (int level = 0; level < depth; ++level) {
    TNode& node = *FPath[level];
    node.CursorFirst();
    FPositions[level] = node.Cursor();
    if (level < depth - 1) LoadLevel(level + 1, node.EntryAddress(node.Cursor()));
  }
  FPathValid = FCursorValid = true;
  return true;
}

bool TBTree::Last() {
  ResetPath();
  if (FPath[0]->IsEmpty()) return false;
  const int depth = static_cast<int>(FPath.size());
  for (int level = 0; level < depth; ++level) {
    TNode& node = *FPath[level];
    node.CursorLast();
    FPositions[level] = node.Cursor();
    if (level < depth - 1) LoadLevel(level + 1, node.EntryAddress(node.Cursor()));
  }
  FPathValid = FCursorValid = true;
  return true;
}

// ---- the current key ----

std::span<const uint8_t> TBTree::GetCurrentKeyBuf() const {
  if (!FCursorValid || FPath.empty()) {
    RaiseDatabaseError(8581, "TBTree.GetCurrentKeyBuf", "CurrentKeyCursor is invalid");
  }
  return {Leaf().GetCurrentKey(), static_cast<size_t>(MaxKeySize())};
}

uint32_t TBTree::GetRecordAddress() const {
  if (FPath.empty() || !Leaf().IsLeaf()) {
    RaiseDatabaseError(8581, "TBTree.CompareKeys",
                       "Attempt to read record address from non-leaf node");
  }
  return Leaf().GetRecordAddress();
}

int TBTree::CompareWithCurrentKey(const TKeyMarkers* markers, std::span<const uint8_t> key) const {
  if (static_cast<int64_t>(key.size()) < MaxKeySize()) {
    RaiseDatabaseError(8581, "TBTree.CompareWithCurrentKey", "KeySize out of range");
  }
  return CompareKeys(0, markers, GetCurrentKeyBuf().data(), key.data());
}
