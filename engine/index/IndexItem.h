// One index of an open table: its definition, its key fields and the tree that holds its keys.
// All tree operations of the dataset and the manager go through the item.
//
// Invariants: Root and Depth are the item's working copy of the table header's slot
// IndexSequence; the tree reads and writes them through references, so the item never moves
// while its tree is attached (the manager holds items by pointer). A tree is opened only
// with key fields that fit MaximumKeySize and nodes of the interface's block size.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "engine/index/BTree.h"
#include "engine/index/InternalIndexDefs.h"
#include "engine/index/KeyFields.h"
#include "engine/index/KeyMarkers.h"

class TIndexManager;
class TCompoundList;

class TIndexItem {
 public:
  explicit TIndexItem(TIndexManager& manager) : FManager(manager) {}
  TIndexItem(const TIndexItem&) = delete;
  TIndexItem& operator=(const TIndexItem&) = delete;

  // Takes the definition's properties; the key fields are emptied.
  void Assign(const TInternalIndexDef& source);
  // Also takes the key fields, Root and Depth.
  void Assign(const TIndexItem& source);

  void Open();
  void Close();
  // A new empty tree (one empty leaf), left open; Root and Depth are set by it.
  void CreateEmpty();

  int Find(int mode) { return FTree.Find(mode); }
  bool Next() { return FTree.Next(); }
  bool Prior() { return FTree.Prior(); }
  // Moves n keys (backwards for n < 0); false as soon as a move fails.
  bool SkipKeys(int n);
  // At the path of the preceding search; Root and Depth follow the tree.
  int Insert(uint32_t address);
  int Delete();

  void SetSearchKeyFromRecord(std::span<const uint8_t> record, const TKeyMarkers* markers) {
    FTree.SetSearchKeyFromRecord(record, markers);
  }
  void SetSearchKeyFromKeyBuf(std::span<const uint8_t> entry, const TKeyMarkers* markers) {
    FTree.SetSearchKeyFromKeyBuf(entry, markers);
  }
  void BuildKeyToBuffer(std::span<uint8_t> destination, std::span<const uint8_t> record,
                        const TKeyMarkers* markers) {
    FTree.BuildKeyToBuffer(destination, record, markers);
  }
  // Sign of a - b.
  int CompareKeyBuffers(const uint8_t* a, const uint8_t* b, const TKeyMarkers* markersB,
                        const TKeyMarkers* markersA) const {
    return FTree.CompareKeys(0, markersA, b, a, markersB);
  }
  int CompareWithCurrentKey(const TKeyMarkers* markers, std::span<const uint8_t> key) const {
    return FTree.CompareWithCurrentKey(markers, key);
  }
  std::span<const uint8_t> GetCurrentKeyBuf() const { return FTree.GetCurrentKeyBuf(); }
  uint32_t GetRecordAddress() const { return FTree.GetRecordAddress(); }
  int64_t TotalKeys() { return FTree.TotalKeys(); }
  int64_t GetRecNo() const { return FTree.GetRecNo(); }
  uint32_t GetAddressByRecNo(int64_t n) { return FTree.GetAddressByRecNo(n); }
  void CollectRange(int n, TCompoundList& list, int mode, uint32_t stopAddress) {
    FTree.CollectRange(n, list, mode, stopAddress);
  }
  void InvalidateNodes() { FTree.InvalidateNodes(); }
  TBTree& Tree() { return FTree; }
  TIndexManager& Manager() const { return FManager; }

  bool Hidden = false;
  bool Primary = false;
  bool Unique = false;
  std::string IndexName;
  bool Maintained = false;
  bool Memory = false;
  uint32_t Root = 0;
  int32_t Depth = 0;
  TKeyFields KeyFields;
  int32_t IndexPageSize = 0;
  int32_t MaximumKeySize = 0;
  int32_t KeyDataOffset = 0;
  int32_t IndexSequence = 0;
  TIndexKeyType IndexKeyType = ikFixed;

 private:
  // Key fields, key buffers, node size and sort function into the tree, then attaches it.
  void PrepareTree(const char* context);

  TIndexManager& FManager;
  TBTree FTree;
};
