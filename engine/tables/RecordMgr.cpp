#include "engine/tables/RecordMgr.h"

#include <algorithm>
#include <string>

#include "engine/storage/BaseIOInterface.h"
#include "engine/storage/LittleEndian.h"
#include "engine/storage/VorErrors.h"
#include "engine/tables/RecordLayout.h"
#include "platform/Exception.h"

namespace {

constexpr const char* Unit = "vorDataUnit";

}  // namespace

void TRecordMgr::SetRecordSize(int32_t recordSize) {
  VOR_ASSERT(!IsOpen(), "Setting record size when buffers set", Unit);
  FRecordSize = recordSize;
}

void TRecordMgr::Open(TBaseIOInterface& ioInterface) {
  constexpr const char* context = "TRecordMgr.Open";
  if (FRecordSize == 0) RaiseDatabaseError(8576, context);
  FFields.BuildIndexMap();
  FFields.SetRecordSize(FRecordSize);
  FFields.CheckLayout(context);
  if (ioInterface.BlockSize() < FRecordSize) {
    RaiseDatabaseError(8581, context, "Record size exceeds the block size of the record interface");
  }
  FBlobMgr.Clear();
  for (int i = 0; i < FFields.Count(); ++i) {
    const TInternalFieldItem& item = FFields.Items(i);
    if (item.IsBlob()) FBlobMgr.Add(item.FieldIndex());
  }
  FIOInterface = &ioInterface;
  FCurrentRecord.assign(static_cast<size_t>(FRecordSize), 0);
}

void TRecordMgr::Close() {
  FFields.Clear();
  FBlobMgr.Clear();
  FCurrentRecord.clear();
  FCurrentRecord.shrink_to_fit();
  FIOInterface = nullptr;
}

TBaseIOInterface& TRecordMgr::Interface(const char* context) const {
  if (!IsOpen() || FIOInterface == nullptr) {
    RaiseDatabaseError(8576, context, "Record manager is not open");
  }
  return *FIOInterface;
}

void TRecordMgr::CheckAddress(uint32_t address, const char* context) const {
  // Addresses come from indexes: a damaged one must not make a write or a release land
  // somewhere else in the file. (A read only fills the caller's buffer, which the caller
  // checks by live marker and signature.)
  if (!FIOInterface->IsPlausibleBlock(address)) {
    RaiseDatabaseError(8962, context, "Invalid record address " + std::to_string(address));
  }
}

void TRecordMgr::CheckBuffer(size_t size) const {
  VOR_ASSERT(size >= FCurrentRecord.size(), "Record buffer smaller than the record size", Unit);
}

void TRecordMgr::KeepAsCurrent(std::span<const uint8_t> record) {
  std::copy_n(record.begin(), FCurrentRecord.size(), FCurrentRecord.begin());
}

uint32_t TRecordMgr::AppendRecord(std::span<const uint8_t> record) {
  TBaseIOInterface& io = Interface("TRecordMgr.AppendRecord");
  CheckBuffer(record.size());
  const uint32_t address = io.AllocateNewAddress(static_cast<uint32_t>(FRecordSize), record.data());
  KeepAsCurrent(record);
  return address;
}

void TRecordMgr::ReadRecord(uint32_t address, std::span<uint8_t> buffer, bool keepAsCurrent) {
  constexpr const char* context = "TRecordMgr.ReadRecord";
  TBaseIOInterface& io = Interface(context);
  CheckBuffer(buffer.size());
  io.ReadBlock(address, static_cast<uint32_t>(FRecordSize), buffer.data());
  // Only a live record of this table has to follow the layout; a free block or another
  // table's record is told apart by the caller through the marker and the signature.
  if (buffer[record::LiveMarkerOffset] == record::LiveMarker &&
      le::GetU32(buffer.data() + record::SignatureOffset) == io.MapFlags()) {
    FFields.CheckRecord(buffer.first(FCurrentRecord.size()), context);
  }
  if (keepAsCurrent) KeepAsCurrent(buffer);
  FBlobMgr.ResetAll();
}

void TRecordMgr::WriteRecord(uint32_t address, std::span<const uint8_t> record) {
  constexpr const char* context = "TRecordMgr.WriteRecord";
  TBaseIOInterface& io = Interface(context);
  CheckBuffer(record.size());
  CheckAddress(address, context);
  io.WriteBlock(address, static_cast<uint32_t>(FRecordSize), record.data());
  KeepAsCurrent(record);
}

void TRecordMgr::DeleteRecord(uint32_t address) {
  constexpr const char* context = "TRecordMgr.DeleteRecord";
  TBaseIOInterface& io = Interface(context);
  CheckAddress(address, context);
  io.ReleaseBlock(address, static_cast<uint32_t>(FRecordSize));
  FBlobMgr.ResetAll();
}

void TRecordMgr::GetCurrentRecord(std::span<uint8_t> buffer) const {
  CheckBuffer(buffer.size());
  std::copy(FCurrentRecord.begin(), FCurrentRecord.end(), buffer.begin());
}
