// TBTree: insertion with splitting, deletion with borrowing and merging, and the root changes
// that keep the root block in place.
#include "engine/index/BTree.h"
#include "engine/storage/BaseIOInterface.h"
#include "engine/storage/VorErrors.h"
#include "platform/Exception.h"

void TBTree::RefreshEntry(TNode& parent, int32_t pos, const TNode& child) {
  const uint32_t address = parent.EntryAddress(pos);
  child.ReadKey(0, FWorkKey);
  FWorkKey.SetAddress(address);
  FWorkKey.SetCount(static_cast<uint32_t>(child.CountUpTo(-1)));
  parent.ReplaceKey(pos, FWorkKey);
}

int TBTree::Insert() {
  if (!FSearched) {
    RaiseDatabaseError(8581, "TBTree.Insert", "Insert needs a search for the key first");
  }
  const int leafLevel = static_cast<int>(FPath.size()) - 1;
  bool pending = true;
  int32_t pos = FPositions[leafLevel];
  for (int i = leafLevel; i >= 0; --i) {
    TNode& node = *FPath[i];
    // Every parent entry on the path takes its child's count, and its first key: an insertion
    // at the front of the child changes that key even when the child was split.
    if (i != leafLevel) RefreshEntry(node, FPositions[i], *FPath[i + 1]);
    if (pending) {
      pending = false;
      node.InsertKey(pos, FSearchKey);
      if (node.IsFull()) {
        const uint32_t address = AllocateBlock();
        FWorkNode->AssignAddress(address);
        node.SplitNode(*FWorkNode, address);
        // The old right neighbour's back link was rewritten in the block itself.
        if (node.IsLeaf()) ForgetBlock(FWorkNode->NextLeaf());
        FWorkNode->WriteNode();
        pos = i > 0 ? FPath[i - 1]->FindKeyPos(kpNextBoundary, FPositions[i - 1] + 1) : -1;
        pending = true;
        // The upper half's separator goes into the parent.
        FWorkNode->ReadKey(0, FSearchKey);
        FSearchKey.SetAddress(address);
        FSearchKey.SetCount(static_cast<uint32_t>(FWorkNode->CountUpTo(-1)));
      }
    }
    node.WriteNode();
  }
  if (pending) SplitRoot();
  StoreRoot();
  Invalidate();
  return 0;
}

// The root split in two: its lower half moves to a new block and the root, still at its
// address, becomes an internal node over the two halves.
void TBTree::SplitRoot() {
  TNode& root = *FPath[0];
  const bool rootWasLeaf = root.IsLeaf();
  auto lower = NewNode();
  const uint32_t address = AllocateBlock();
  lower->AssignAddress(address);
  lower->CopyBlockFrom(root);
  lower->WriteNode();
  lower->ReadKey(0, FWorkKey);
  FWorkKey.SetAddress(address);
  FWorkKey.SetCount(static_cast<uint32_t>(lower->CountUpTo(-1)));
  if (rootWasLeaf) {
    // The upper half was linked to the root's address.
    FWorkNode->SetPriorLeaf(address);
    FWorkNode->WriteNode();
  }
  root.ClearNode();
  root.SetLeaf(false);
  root.InsertKey(0, FWorkKey);
  root.InsertKey(MaxKeySize(), FSearchKey);
  root.WriteNode();
  FPath.insert(FPath.begin() + 1, std::move(lower));
  FPositions.insert(FPositions.begin() + 1, 0);
}

int TBTree::Delete() {
  static constexpr const char* Context = "TBTree.Delete";
  if (!FSearched) RaiseDatabaseError(8581, Context, "Delete needs a search for the key first");
  const int leafLevel = static_cast<int>(FPath.size()) - 1;
  int32_t pos = FPositions[leafLevel];
  {
    const TNode& leaf = Leaf();
    if (pos < 0 || pos >= leaf.UsedBytes() ||
        CompareKeys(0, nullptr, leaf.EntryAt(pos), FSearchKey.Data()) != 0) {
      RaiseDatabaseError(8581, Context, "Key to delete not found");
    }
  }
  FWorkNode->AssignAddress(0);
  bool pending = true;
  for (int i = leafLevel; i >= 0; --i) {
    TNode& node = *FPath[i];
    TNode* parent = i > 0 ? FPath[i - 1].get() : nullptr;
    const int32_t parentPos = i > 0 ? FPositions[i - 1] : -1;
    int32_t sibling = 0;
    bool merge = false;
    if (pending) {
      pending = false;
      node.DeleteKey(pos);
      if (parent != nullptr && parent->KeyCount() >= 2 && node.IsUnderfull()) {
        sibling = parent->SiblingToJoin(parentPos);
        VOR_ASSERT(sibling >= 0, "No sibling to join", "vorIndexUnit");
        LoadSibling(node, parent->EntryAddress(sibling), i);
        const int r =
            sibling > parentPos ? node.BalanceWith(*FWorkNode) : FWorkNode->BalanceWith(node);
        if (r < 0) {
          merge = true;
        } else if (r > 0) {
          FWorkNode->WriteNode();
          RefreshEntry(*parent, sibling, *FWorkNode);
        }
      } else if (parent != nullptr && node.IsEmpty()) {
        // The only child of its parent lost its last key. It has no sibling to borrow from,
        // and an empty node cannot stand in the tree: it leaves, and its parent entry with it.
        if (node.IsLeaf()) {
          const uint32_t prior = node.PriorLeaf();
          const uint32_t next = node.NextLeaf();
          node.UnlinkLeaf();
          ForgetBlock(prior);
          ForgetBlock(next);
        }
        ReleaseBlock(node.Address());
        pos = parentPos;
        pending = true;
        continue;
      }
    }
    if (merge) {
      const bool siblingIsRight = sibling > parentPos;
      node.MergeNodes(*FWorkNode, siblingIsRight);
      if (node.IsLeaf()) ForgetBlock(siblingIsRight ? node.NextLeaf() : node.PriorLeaf());
      ReleaseBlock(FWorkNode->Address());
      // The absorbed sibling's parent entry goes on the next level.
      pos = sibling;
      pending = true;
    }
    if (parent != nullptr) RefreshEntry(*parent, parentPos, node);
    node.WriteNode();
  }
  CollapseRoot();
  StoreRoot();
  Invalidate();
  return 0;
}

// A root with a single child takes the child's content, and the tree loses a level, until
// the root has two entries or is a leaf. A root emptied entirely becomes an empty leaf.
void TBTree::CollapseRoot() {
  TNode& root = *FPath[0];
  while (FPath.size() > 1 && root.KeyCount() == 1) {
    const uint32_t child = root.EntryAddress(0);
    LoadLevel(1, child);
    root.CopyBlockFrom(*FPath[1]);
    root.WriteNode();
    ReleaseBlock(child);
    FPath.erase(FPath.begin() + 1);
    FPositions.erase(FPositions.begin() + 1);
  }
  if (FPath.size() > 1 && root.IsEmpty()) {
    root.ClearNode();
    root.SetLeaf(true);
    root.WriteNode();
    FPath.resize(1);
    FPositions.resize(1);
  }
}
