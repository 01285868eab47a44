// One index node block held in memory: its buffer, the block address it holds and a cursor
// on one key entry, with the in-node operations that TBTree builds its search, insertion,
// deletion, navigation and ordinal arithmetic from. A node decides nothing about the tree;
// it asks its tree only to compare keys.
//
// Node block (S = node size, M = the index's key entry size; little-endian):
//   offset     width      content
//   0          4          IsLeaf: 1 in a leaf, 0 in an internal node
//   4          4          UsedBytes: signed, bytes of key entries after the header
//   8          4          NextLeaf: right neighbour leaf, 0 for none (leaves only)
//   12         4          PriorLeaf: left neighbour leaf, 0 for none (leaves only)
//   16         UsedBytes  key entries (KeyEntry.h), packed, in ascending key order; entry i at
//                         key-area offset i * M. Leaf: one per record. Internal: one per
//                         child, with the child's first key, its block address and its
//                         subtree's key count
//   16 + Used  rest       free; nothing reads it
//
// Capacity: full when UsedBytes + 16 + M >= S (a node is split when an insertion fills it,
// so no block at rest is full); underfull when UsedBytes + 16 < S div 2.
//
// Invariants: a node read from the file is checked before anything uses it (IsLeaf 0 or 1,
// UsedBytes a multiple of M within the block, every entry M bytes long; 8965 otherwise), and
// every entry edit keeps UsedBytes within the block. So every key-area position the
// operations touch lies inside the buffer. Whether a block belongs where a link leads is
// checked by the tree where it follows the link.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/index/KeyEntry.h"
#include "engine/index/KeyMarkers.h"
#include "engine/storage/LittleEndian.h"

class TBaseIOInterface;
class TBTree;

namespace nodeblock {

constexpr uint32_t IsLeafOffset = 0;
constexpr uint32_t UsedBytesOffset = 4;
constexpr uint32_t NextLeafOffset = 8;
constexpr uint32_t PriorLeafOffset = 12;
constexpr uint32_t HeaderSize = 16;

}  // namespace nodeblock

// FindKeyPos modes.
constexpr int kpContaining = 0;    // start of the entry containing the position
constexpr int kpExactStart = 1;    // the position when an entry starts there, else -1
constexpr int kpNextBoundary = 2;  // first entry boundary at or after the position

class TNode {
 public:
  TNode() = default;
  TNode(const TNode&) = delete;
  TNode& operator=(const TNode&) = delete;

  // Block handling.
  void Initialize(TBTree* tree, TBaseIOInterface* io, int32_t nodeSize);
  // Reads the block unless it is the one held; an address where no block of the interface
  // can lie, or an image that fails the checks, raises 8965. Cursor 0.
  void LoadBlock(uint32_t address);
  // Holds address without reading; a different address clears the node first.
  void AssignAddress(uint32_t address);
  void WriteNode();
  void ClearNode();
  void CopyBlockFrom(const TNode& other);
  void CheckOpen() const;
  uint32_t Address() const { return FAddress; }
  int32_t NodeSize() const { return FNodeSize; }
  const uint8_t* Block() const { return FBuffer.data(); }

  // Header.
  bool IsLeaf() const { return Header(nodeblock::IsLeafOffset) == 1; }
  void SetLeaf(bool leaf) { SetHeader(nodeblock::IsLeafOffset, leaf ? 1 : 0); }
  uint32_t NextLeaf() const { return Header(nodeblock::NextLeafOffset); }
  void SetNextLeaf(uint32_t address) { SetHeader(nodeblock::NextLeafOffset, address); }
  uint32_t PriorLeaf() const { return Header(nodeblock::PriorLeafOffset); }
  void SetPriorLeaf(uint32_t address) { SetHeader(nodeblock::PriorLeafOffset, address); }
  int32_t UsedBytes() const { return static_cast<int32_t>(Header(nodeblock::UsedBytesOffset)); }
  bool IsFull() const;
  bool IsUnderfull() const;
  bool IsEmpty() const { return UsedBytes() == 0; }
  int KeyCount() const;

  // Cursor.
  int32_t Cursor() const { return FCursor; }
  void CursorFirst();
  void CursorLast();
  bool NextKey();
  bool PriorKey();
  void ForceCursorToPhysicalKey();
  const uint8_t* GetCurrentKey() const;
  uint32_t GetRecordAddress() const;
  void CopyCurrentKey(TKeyBuffer& key) const;

  // Entries; pos is a key-area offset.
  int32_t FindKeyPos(int mode, int32_t pos) const;
  int FindKey(int n, const TKeyMarkers* markers, const TKeyBuffer& key, int32_t& position);
  void ReadKey(int32_t pos, TKeyBuffer& key) const;
  void InsertKey(int32_t pos, const TKeyBuffer& key);
  int32_t ReplaceKey(int32_t pos, const TKeyBuffer& key);
  void DeleteKey(int32_t pos);
  void MoveBlock(int32_t pos, int32_t delta, bool toRight);
  const uint8_t* EntryAt(int32_t pos) const { return KeyArea() + pos; }
  uint32_t EntryAddress(int32_t pos) const { return keyentry::Address(EntryAt(pos)); }
  uint32_t EntryCount(int32_t pos) const { return keyentry::Count(EntryAt(pos)); }

  // Structure.
  void SplitNode(TNode& newNode, uint32_t newAddress);
  int BalanceWith(TNode& right);
  void MergeNodes(TNode& other, bool otherIsRight);
  int32_t SiblingToJoin(int32_t pos) const;
  // Keys in the entries that start at or before pos (the last entry for pos outside them).
  int64_t CountUpTo(int32_t pos) const;
  uint32_t FindByOrdinal(int64_t n, int64_t& before) const;
  // A leaf that leaves the chain: its neighbours are linked to each other.
  void UnlinkLeaf();

 private:
  uint32_t Header(uint32_t offset) const { return le::GetU32(FBuffer.data() + offset); }
  void SetHeader(uint32_t offset, uint32_t value) { le::PutU32(FBuffer.data() + offset, value); }
  void SetUsedBytes(int32_t value) {
    SetHeader(nodeblock::UsedBytesOffset, static_cast<uint32_t>(value));
  }
  uint8_t* KeyArea() { return FBuffer.data() + nodeblock::HeaderSize; }
  const uint8_t* KeyArea() const { return FBuffer.data() + nodeblock::HeaderSize; }
  int32_t KeyAreaSize() const { return FNodeSize - static_cast<int32_t>(nodeblock::HeaderSize); }
  void CheckEntries(uint32_t address, const char* context) const;
  bool ValidEntryStart(int32_t pos) const;
  // Sets a neighbour leaf's link field (PriorLeaf or NextLeaf) to value in the block itself.
  void SetNeighbourLink(uint32_t neighbour, uint32_t linkOffset, uint32_t expected, uint32_t value,
                        const char* context);

  TBTree* FTree = nullptr;
  TBaseIOInterface* FIO = nullptr;
  std::vector<uint8_t> FBuffer;
  uint32_t FAddress = 0;
  int32_t FNodeSize = 0;
  int32_t FMaxKeySize = 0;
  int32_t FCursor = 0;
};
