// One index of an open table: a B+-tree of TNode blocks whose leaves hold one entry per record
// (key, record address) in key order, chained both ways, and whose internal entries hold each
// child's first key, block address and key count. The counts make it an order-statistics
// tree: a key's ordinal and the record at an ordinal cost one descent.
//
// The tree keeps the path from the root to the current leaf (one node per level) and the entry
// position chosen on each level; Insert and Delete work bottom-up along the path of the search
// that preceded them. The root block never moves: a root split moves the lower half to a new
// block, and a root left with a single child takes that child's content. Root address and
// depth live with the owner (the index item, which copies them to and from the table header);
// the tree reads and writes them through the references given to Attach.
//
// Invariants (of the tree on file, checked where the tree follows it; 8965 otherwise):
// - every root-to-leaf path has Depth nodes; exactly the last is a leaf; only the root of a
//   one-level tree may be empty;
// - an internal entry's key equals its child's first key and its Count the keys below it;
// - leaves are chained in key order, each link matched by the neighbour's back link;
// - keys are unique (the index manager appends the record id where a key could repeat).
// In memory: Positions has as many items as Path; neither a node nor the node cache holds a
// block the tree released or rewrote behind its back (ForgetBlock); after Insert or Delete
// the path describes no cursor until the next search.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "engine/index/FindMode.h"
#include "engine/index/KeyEntry.h"
#include "engine/index/KeyFields.h"
#include "engine/index/KeyLayout.h"
#include "engine/index/KeyMarkers.h"
#include "engine/index/Node.h"
#include "engine/index/NodeCache.h"
#include "engine/index/OptimizedSearchKey.h"
#include "engine/index/SortOrder.h"

class TBaseIOInterface;
class TCompoundList;
class TReadAheadBuffer;

class TBTree {
 public:
  // Deeper trees are taken for damage: even one-entry nodes do not build them.
  static constexpr int32_t MaxDepth = 64;

  TBTree();
  ~TBTree();
  TBTree(const TBTree&) = delete;
  TBTree& operator=(const TBTree&) = delete;

  // Set-up. Attach keeps references to the owner's Depth and Root, which must outlive the
  // tree's use. SetKeyFields raises 9603 for more than MaxKeyFields fields.
  void Attach(TBaseIOInterface* io, int32_t nodeSize, int32_t& depth, uint32_t& root);
  void SetKeyFields(const TKeyFields& keyFields);
  const TKeyFields& KeyFields() const { return FKeyFields; }
  void SetSortFunction(TCompareKeysFunc sortFunction);
  void SetSortOrder(TSortOrder order) { SetSortFunction(SortFunctionFor(order)); }
  void AllocateKeyBuffers(int32_t maxKeySize);
  void Open();
  void Close();
  // One empty leaf as root; Root and Depth (1) are set.
  void CreateEmptyTree();
  // Every node forgets its block, so the next search reads from the file.
  void InvalidateNodes();
  void ResetPath();

  // Search and navigation. Find returns 0 when the cursor is on a key satisfying the mode.
  int SearchKey(int n, bool forceToKey);
  int Find(int mode);
  bool Next();
  bool Prior();
  // The smallest / greatest key; false for an empty tree.
  bool First();
  bool Last();

  // Changes, at the path of the preceding search for the search key. Insert needs the search
  // key complete with its record address; Delete refuses (8581) when the search did not end
  // on an entry equal to the search key.
  int Insert();
  int Delete();
  void SetKeyAddress(uint32_t address) { FSearchKey.SetAddress(address); }
  // Copies an entry into destination, or into the search key when none is given.
  void CopyKey(std::span<const uint8_t> source, TKeyBuffer* destination = nullptr);

  std::span<const uint8_t> GetCurrentKeyBuf() const;
  uint32_t GetRecordAddress() const;
  // Sign of (key - current entry) over all fields.
  int CompareWithCurrentKey(const TKeyMarkers* markers, std::span<const uint8_t> key) const;

  // Ordinals are 1-based.
  int64_t TotalKeys();
  int64_t GetRecNo() const;
  // Leaves no cursor: search again before navigating.
  uint32_t GetAddressByRecNo(int64_t n);
  // Appends (record address, ordinal) from the cursor on: backward for fmBelow and
  // fmAtOrBelow, forward otherwise; fmExact stops at the first key that differs on the
  // first n fields; stops after stopAddress (0: none).
  void CollectRange(int n, TCompoundList& list, int mode, uint32_t stopAddress);
  // Appends items for entries of the current leaf around the cursor, each with the record
  // address, the entry and its ordinal: mode 1 up to count entries ending with the cursor
  // entry, mode 3 up to count div 2 before it and count div 2 from it, otherwise up to count
  // from it. Returns the number appended; 0 without a valid path.
  int FillReadAhead(int mode, int count, TReadAheadBuffer& buffer);

  // Keys (markers: nullptr or one per leading key field; missing ones count as a value).
  void BuildKey(TKeyBuffer& buffer, std::span<const uint8_t> record, const TKeyMarkers* markers);
  void SetSearchKeyFromRecord(std::span<const uint8_t> record, const TKeyMarkers* markers);
  void SetSearchKeyFromKeyBuf(std::span<const uint8_t> entry, const TKeyMarkers* markers);
  void BuildKeyToBuffer(std::span<uint8_t> destination, std::span<const uint8_t> record,
                        const TKeyMarkers* markers);
  int CompareToOptimizedKey(int n, const uint8_t* entry) const {
    return FLayout.CompareToOptimizedKey(n, FOptimizedKey, entry);
  }
  int CompareKeys(int n, const TKeyMarkers* markersQ, const uint8_t* p, const uint8_t* q,
                  const TKeyMarkers* markersP = nullptr) const {
    return FLayout.CompareKeys(n, markersQ, p, q, markersP);
  }

  int32_t MaxKeySize() const { return FLayout.MaxKeySize(); }
  int32_t NodeSize() const { return FNodeSize; }
  const TKeyLayout& Layout() const { return FLayout; }
  const TKeyBuffer& SearchKeyBuf() const { return FSearchKey; }
  const TKeyMarkers& Markers() const { return FMarkers; }
  bool PathValid() const { return FPathValid; }
  bool CursorValid() const { return FCursorValid; }
  int PathLength() const { return static_cast<int>(FPath.size()); }
  TNodeCache& NodeCache() { return FNodeCache; }

 private:
  void CheckAttached(const char* context) const;
  void CheckGeometry(const char* context) const;
  std::unique_ptr<TNode> NewNode();
  void Invalidate() { FPathValid = FCursorValid = FSearched = false; }
  TNode& Leaf() const { return *FPath.back(); }
  // Loads a block into the path node of a level and checks that it belongs there.
  void LoadLevel(int level, uint32_t address);
  void CheckLevel(TNode& node, int level, int depth, const char* context) const;
  void LoadSibling(const TNode& node, uint32_t address, int level);
  // Moves the leaf node to its neighbour in the chain, checking the neighbour's back link
  // and that its keys continue the order (keys of a tree are unique).
  void FollowLeafLink(bool forward);
  void ReadEdgeKey(const TNode& leaf, bool last, TKeyBuffer& key) const;
  void RefreshPath();
  // The parent entry at pos takes the child's first key and count, keeping its address.
  void RefreshEntry(TNode& parent, int32_t pos, const TNode& child);
  void SplitRoot();
  void CollapseRoot();
  // Nodes holding address drop it: the block was released, newly allocated or rewritten
  // through another node.
  void ForgetBlock(uint32_t address);
  uint32_t AllocateBlock();
  void ReleaseBlock(uint32_t address);
  void StoreRoot();

  TBaseIOInterface* FIO = nullptr;
  std::vector<std::unique_ptr<TNode>> FPath;
  std::vector<int32_t> FPositions;
  TKeyMarkers FMarkers;
  std::unique_ptr<TNode> FWorkNode;
  int32_t FNodeSize = 0;
  uint32_t* FRootRef = nullptr;
  int32_t* FDepthRef = nullptr;
  TKeyFields FKeyFields;
  TKeyLayout FLayout;
  TKeyBuffer FSearchKey;
  TKeyBuffer FWorkKey;
  bool FPathValid = false;
  bool FCursorValid = false;
  // The path and positions are those of a search for FSearchKey: Insert and Delete may run.
  bool FSearched = false;
  TCompareKeysFunc FSortFunction = nullptr;
  TOptimizedSearchKey FOptimizedKey;
  TNodeCache FNodeCache;
};
