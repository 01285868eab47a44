// The header block of one table: its identifier, change counter, the heads of its free record
// and blob chains, its record-id and auto-increment counters, and the root and depth of each
// index. One object per open table, shared by every dataset of the table in the process; items
// change in memory and reach the file only through WriteHeader.
//
// Header block (256 bytes, raw and plain, through the table-header block interface; all
// values little-endian):
//   offset   width  item
//   0        4      TableID
//   4        4      ChangeCounter      +1 at every write of the header
//   8        4      HeaderSize         256
//   12       4      RecordFirstEmpty   first free record block
//   16       4      LastAutoIncValue   last auto-increment value handed out
//   20       4      LastRecordID       last record id handed out
//   24       4      BlobFirstEmpty     first free blob block
//   28       4      reserved 1         carried over by restructuring
//   32       4      reserved 2         carried over by restructuring
//   36       4      IndexCount         number of index slots (0 to 34)
//   40       8      zero
//   48 + 6i  4      root of index i    address of its root node block
//   52 + 6i  2      depth of index i   1 for a tree that is a single leaf
//   ...             zero up to 256
//
// Invariants:
// - Item access never leaves Buffer: an item is read or stored only when all its bytes lie
//   below HeaderSize and inside Buffer.
// - A header read from the file is only taken over when it is sound: HeaderSize 256, the
//   expected TableID, and an IndexCount whose slots fit the block (8961 otherwise).
// - Dirty tells that an item changed since the last read or write.
#pragma once

#include <cstdint>
#include <vector>

class TTableHeaderMgr;

namespace tblhdr {

constexpr uint32_t TableIDOffset = 0;
constexpr uint32_t ChangeCounterOffset = 4;
constexpr uint32_t HeaderSizeOffset = 8;
constexpr uint32_t RecordFirstEmptyOffset = 12;
constexpr uint32_t LastAutoIncValueOffset = 16;
constexpr uint32_t LastRecordIDOffset = 20;
constexpr uint32_t BlobFirstEmptyOffset = 24;
constexpr uint32_t Reserved1Offset = 28;
constexpr uint32_t Reserved2Offset = 32;
constexpr uint32_t IndexCountOffset = 36;
constexpr uint32_t IndexSlotsOffset = 48;
constexpr uint32_t IndexSlotSize = 6;
constexpr uint32_t IndexRootInSlot = 0;
constexpr uint32_t IndexDepthInSlot = 4;

constexpr uint32_t BlockSize = 256;
constexpr uint32_t MaxIndexCount = (BlockSize - IndexSlotsOffset) / IndexSlotSize;  // 34
// DeleteTable reads only this much to learn a header's size.
constexpr uint32_t SizeProbeBytes = 64;

}  // namespace tblhdr

class TTableHeader {
 public:
  // A header of the manager's table at the given block address, with no buffer yet.
  TTableHeader(TTableHeaderMgr& mgr, uint32_t address, uint32_t tableID);
  TTableHeader(const TTableHeader&) = delete;
  TTableHeader& operator=(const TTableHeader&) = delete;

  uint32_t TableID() const;
  uint32_t ChangeCounter() const;
  uint32_t HeaderSize() const;
  uint32_t RecordFirstEmpty() const;
  uint32_t LastAutoIncValue() const;
  uint32_t LastRecordID() const;
  uint32_t BlobFirstEmpty() const;
  uint32_t Reserved1() const;
  uint32_t Reserved2() const;
  uint32_t IndexCount() const;
  // Slots 0 to IndexCount - 1; others raise 8581.
  uint32_t IndexRoot(uint32_t slot) const;
  uint16_t IndexDepth(uint32_t slot) const;

  void SetTableID(uint32_t value);
  void SetChangeCounter(uint32_t value);
  void SetHeaderSize(uint32_t value);
  void SetRecordFirstEmpty(uint32_t value);
  void SetLastAutoIncValue(uint32_t value);
  void SetLastRecordID(uint32_t value);
  void SetBlobFirstEmpty(uint32_t value);
  void SetReserved1(uint32_t value);
  void SetReserved2(uint32_t value);
  // Raises 8581 when the slots would not fit HeaderSize.
  void SetIndexCount(uint32_t value);
  void SetIndexRoot(uint32_t slot, uint32_t value);
  void SetIndexDepth(uint32_t slot, uint16_t value);

  // Reads the block at Address. Unless the change counter is the one last seen (and that was
  // not 0), the table's pages are dropped from the page cache: another process (or a
  // restructure) has changed the table. 8576 without a buffer; 8961 for a damaged block, which
  // leaves the buffer as it was.
  void ReadHeader();
  // Raises ChangeCounter and writes the block. 8576 without a buffer.
  void WriteHeader();
  // Buffer becomes size zero bytes, keeping the old bytes unless clear; HeaderSize := size.
  void ResizeBuffer(uint32_t size, bool clear);

  const std::vector<uint8_t>& Buffer() const { return FBuffer; }
  TTableHeaderMgr& Mgr() const { return FMgr; }
  bool Dirty() const { return FDirty; }
  void SetDirty(bool value) { FDirty = value; }
  uint32_t Address() const { return FAddress; }
  void SetAddress(uint32_t value) { FAddress = value; }
  int OpenCount() const { return FOpenCount; }
  void SetOpenCount(int value) { FOpenCount = value; }
  // The identifier the manager's map gives this header; ReadHeader insists on it.
  uint32_t MapTableID() const { return FMapTableID; }

 private:
  uint32_t InternalGetHdrItemDWord(uint32_t offset) const;
  uint16_t InternalGetHdrItemWord(uint32_t offset) const;
  void InternalSetHdrItemDWord(uint32_t offset, uint32_t value);
  void InternalSetHdrItemWord(uint32_t offset, uint16_t value);
  uint32_t InternalGetIndexOffset(uint32_t slot) const;
  void CheckItem(uint32_t offset, uint32_t width, const char* context, bool setter) const;

  std::vector<uint8_t> FBuffer;
  TTableHeaderMgr& FMgr;
  bool FDirty = false;
  uint32_t FAddress;
  int FOpenCount = 0;
  uint32_t FMapTableID;
};

// Whether a header block image is sound for that table (see the invariants above).
bool IsSoundTableHeader(const std::vector<uint8_t>& block, uint32_t tableID);
