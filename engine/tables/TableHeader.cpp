#include "engine/tables/TableHeader.h"

#include <algorithm>
#include <string>

#include "engine/storage/BaseIOInterface.h"
#include "engine/storage/LittleEndian.h"
#include "engine/storage/VorErrors.h"
#include "engine/tables/TableHeaderMgr.h"
#include "platform/Exception.h"

namespace {

constexpr const char* Unit = "vorDataUnit";
constexpr const char* OutOfRange = "Table header: The offset value is out of range";

}  // namespace

bool IsSoundTableHeader(const std::vector<uint8_t>& block, uint32_t tableID) {
  if (block.size() != tblhdr::BlockSize) return false;
  return le::GetU32(block.data() + tblhdr::HeaderSizeOffset) == tblhdr::BlockSize &&
         le::GetU32(block.data() + tblhdr::TableIDOffset) == tableID &&
         le::GetU32(block.data() + tblhdr::IndexCountOffset) <= tblhdr::MaxIndexCount;
}

TTableHeader::TTableHeader(TTableHeaderMgr& mgr, uint32_t address, uint32_t tableID)
    : FMgr(mgr), FAddress(address), FMapTableID(tableID) {}

void TTableHeader::CheckItem(uint32_t offset, uint32_t width, const char* context,
                             bool setter) const {
  VOR_ASSERT(!FBuffer.empty(), "Table header buf is not allocated", Unit);
  // The buffer always holds HeaderSize bytes (ResizeBuffer, ReadHeader).
  if (uint64_t{offset} + width > FBuffer.size()) {
    RaiseDatabaseError(8581, context, setter ? OutOfRange : "");
  }
}

uint32_t TTableHeader::InternalGetHdrItemDWord(uint32_t offset) const {
  CheckItem(offset, 4, "TTableHeader.InternalGetHdrItemDWord", false);
  return le::GetU32(FBuffer.data() + offset);
}

uint16_t TTableHeader::InternalGetHdrItemWord(uint32_t offset) const {
  CheckItem(offset, 2, "TTableHeader.InternalGetHdrItemWord", false);
  return le::GetU16(FBuffer.data() + offset);
}

void TTableHeader::InternalSetHdrItemDWord(uint32_t offset, uint32_t value) {
  CheckItem(offset, 4, "TTableHeader.InternalSetHdrItemDWord", true);
  uint8_t* item = FBuffer.data() + offset;
  if (le::GetU32(item) == value) return;
  le::PutU32(item, value);
  FDirty = true;
}

void TTableHeader::InternalSetHdrItemWord(uint32_t offset, uint16_t value) {
  CheckItem(offset, 2, "TTableHeader.InternalSetHdrItemWord", true);
  uint8_t* item = FBuffer.data() + offset;
  if (le::GetU16(item) == value) return;
  le::PutU16(item, value);
  FDirty = true;
}

uint32_t TTableHeader::InternalGetIndexOffset(uint32_t slot) const {
  const uint32_t offset = tblhdr::IndexSlotsOffset + slot * tblhdr::IndexSlotSize;
  if (slot >= IndexCount() || slot >= tblhdr::MaxIndexCount ||
      offset + tblhdr::IndexSlotSize > FBuffer.size()) {
    RaiseDatabaseError(8581, "TTableHeader.InternalGetIndexOffset", OutOfRange);
  }
  return offset;
}

uint32_t TTableHeader::TableID() const {
  return InternalGetHdrItemDWord(tblhdr::TableIDOffset);
}
uint32_t TTableHeader::ChangeCounter() const {
  return InternalGetHdrItemDWord(tblhdr::ChangeCounterOffset);
}
uint32_t TTableHeader::HeaderSize() const {
  return InternalGetHdrItemDWord(tblhdr::HeaderSizeOffset);
}
uint32_t TTableHeader::RecordFirstEmpty() const {
  return InternalGetHdrItemDWord(tblhdr::RecordFirstEmptyOffset);
}
uint32_t TTableHeader::LastAutoIncValue() const {
  return InternalGetHdrItemDWord(tblhdr::LastAutoIncValueOffset);
}
uint32_t TTableHeader::LastRecordID() const {
  return InternalGetHdrItemDWord(tblhdr::LastRecordIDOffset);
}
uint32_t TTableHeader::BlobFirstEmpty() const {
  return InternalGetHdrItemDWord(tblhdr::BlobFirstEmptyOffset);
}
uint32_t TTableHeader::Reserved1() const {
  return InternalGetHdrItemDWord(tblhdr::Reserved1Offset);
}
uint32_t TTableHeader::Reserved2() const {
  return InternalGetHdrItemDWord(tblhdr::Reserved2Offset);
}
uint32_t TTableHeader::IndexCount() const {
  return InternalGetHdrItemDWord(tblhdr::IndexCountOffset);
}

uint32_t TTableHeader::IndexRoot(uint32_t slot) const {
  return InternalGetHdrItemDWord(InternalGetIndexOffset(slot) + tblhdr::IndexRootInSlot);
}

uint16_t TTableHeader::IndexDepth(uint32_t slot) const {
  return InternalGetHdrItemWord(InternalGetIndexOffset(slot) + tblhdr::IndexDepthInSlot);
}

void TTableHeader::SetTableID(uint32_t value) {
  InternalSetHdrItemDWord(tblhdr::TableIDOffset, value);
}
void TTableHeader::SetChangeCounter(uint32_t value) {
  InternalSetHdrItemDWord(tblhdr::ChangeCounterOffset, value);
}
void TTableHeader::SetHeaderSize(uint32_t value) {
  InternalSetHdrItemDWord(tblhdr::HeaderSizeOffset, value);
}
void TTableHeader::SetRecordFirstEmpty(uint32_t value) {
  InternalSetHdrItemDWord(tblhdr::RecordFirstEmptyOffset, value);
}
void TTableHeader::SetLastAutoIncValue(uint32_t value) {
  InternalSetHdrItemDWord(tblhdr::LastAutoIncValueOffset, value);
}
void TTableHeader::SetLastRecordID(uint32_t value) {
  InternalSetHdrItemDWord(tblhdr::LastRecordIDOffset, value);
}
void TTableHeader::SetBlobFirstEmpty(uint32_t value) {
  InternalSetHdrItemDWord(tblhdr::BlobFirstEmptyOffset, value);
}
void TTableHeader::SetReserved1(uint32_t value) {
  InternalSetHdrItemDWord(tblhdr::Reserved1Offset, value);
}
void TTableHeader::SetReserved2(uint32_t value) {
  InternalSetHdrItemDWord(tblhdr::Reserved2Offset, value);
}

void TTableHeader::SetIndexCount(uint32_t value) {
  if (value > tblhdr::MaxIndexCount ||
      tblhdr::IndexSlotsOffset + value * tblhdr::IndexSlotSize > FBuffer.size()) {
    RaiseDatabaseError(8581, "TTableHeader.InternalSetHdrItemDWord", OutOfRange);
  }
  InternalSetHdrItemDWord(tblhdr::IndexCountOffset, value);
}

void TTableHeader::SetIndexRoot(uint32_t slot, uint32_t value) {
  InternalSetHdrItemDWord(InternalGetIndexOffset(slot) + tblhdr::IndexRootInSlot, value);
}

void TTableHeader::SetIndexDepth(uint32_t slot, uint16_t value) {
  InternalSetHdrItemWord(InternalGetIndexOffset(slot) + tblhdr::IndexDepthInSlot, value);
}

void TTableHeader::ReadHeader() {
  if (FBuffer.empty()) RaiseDatabaseError(8576, "TTableHeader.ReadHeader");
  TBaseIOInterface* io = FMgr.IOInterface();
  VOR_ASSERT(io != nullptr, "Table header has no interface", Unit);
  const uint32_t oldCounter = ChangeCounter();
  std::vector<uint8_t> block(FBuffer.size());
  io->ReadBlock(FAddress, static_cast<uint32_t>(block.size()), block.data());
  if (!IsSoundTableHeader(block, FMapTableID)) {
    RaiseDatabaseError(8961, "TTableHeader.ReadHeader",
                       "Table header of table " + std::to_string(FMapTableID));
  }
  FBuffer = std::move(block);
  FDirty = false;
  const uint32_t newCounter = ChangeCounter();
  if (oldCounter == 0 || oldCounter != newCounter) io->InvalidateCache(TableID());
}

void TTableHeader::WriteHeader() {
  if (FBuffer.empty()) RaiseDatabaseError(8576, "TTableHeader.WriteHeader");
  TBaseIOInterface* io = FMgr.IOInterface();
  VOR_ASSERT(io != nullptr, "Table header has no interface", Unit);
  SetChangeCounter(ChangeCounter() + 1);
  io->WriteBlock(FAddress, static_cast<uint32_t>(FBuffer.size()), FBuffer.data());
  FDirty = false;
}

void TTableHeader::ResizeBuffer(uint32_t size, bool clear) {
  // Smaller than the fixed items, HeaderSize itself would not fit.
  VOR_ASSERT(size >= tblhdr::IndexSlotsOffset && size <= tblhdr::BlockSize,
             "Table header size out of range", Unit);
  std::vector<uint8_t> resized(size, 0);
  if (!clear) {
    std::copy_n(FBuffer.begin(), std::min<size_t>(FBuffer.size(), size), resized.begin());
  }
  FBuffer = std::move(resized);
  SetHeaderSize(size);
}
