// TMemoryIOInterface: blocks in memory, addressed by handles.
#include "engine/storage/MemoryIOInterface.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <string>

#include "engine/storage/VorErrors.h"

namespace {

std::string WithAddress(const char* text, uint32_t address) {
  return std::string(text) + " " + std::to_string(address);
}

}  // namespace

std::vector<uint8_t>* TMemoryIOInterface::Find(uint32_t address) {
  auto it = FBlocks.find(address);
  return it == FBlocks.end() ? nullptr : &it->second;
}

void TMemoryIOInterface::CheckSize(const std::vector<uint8_t>& block, uint32_t size,
                                   const char* context, const char* message) const {
  if (size > block.size()) RaiseDatabaseError(8581, context, message, this);
}

uint32_t TMemoryIOInterface::AllocateNewAddress(uint32_t size, const void* data) {
  if (FLastAddress == std::numeric_limits<uint32_t>::max()) {
    RaiseDatabaseError(8581, "TMemoryIOInterface.AllocateNewAddress",
                       "Memory IOInterface - no block address left", this);
  }
  // At least BlockSize, so that reading a whole block of this interface always fits.
  const size_t length = std::max<size_t>(size, static_cast<size_t>(std::max(FBlockSize, 0)));
  std::vector<uint8_t> block(length, 0);
  if (data != nullptr && size > 0) std::memcpy(block.data(), data, size);
  const uint32_t address = ++FLastAddress;
  FBlocks.emplace(address, std::move(block));
  return address;
}

void TMemoryIOInterface::ReleaseBlock(uint32_t address, uint32_t /*size*/) {
  FBlocks.erase(address);
}

void TMemoryIOInterface::WriteBlock(uint32_t address, uint32_t size, const void* buffer) {
  const char* context = "TMemoryIOInterface.WriteBlock";
  std::vector<uint8_t>* block = Find(address);
  // A write that went nowhere would be lost without a word.
  if (block == nullptr) {
    RaiseDatabaseError(8581, context,
                       WithAddress("Write page error - block address not found", address), this);
  }
  if (buffer == nullptr) RaiseDatabaseError(8581, context, "Write page error - nil pointer", this);
  CheckSize(*block, size, context, "Write page error - size exceeds the block");
  std::memmove(block->data(), buffer, size);
}

void TMemoryIOInterface::ReadBlock(uint32_t address, uint32_t size, void* buffer) {
  const char* context = "TMemoryIOInterface.ReadBlock";
  if (buffer == nullptr) RaiseDatabaseError(8581, context, "Unassigned memory pointer", this);
  std::vector<uint8_t>* block = Find(address);
  if (block == nullptr) {
    RaiseDatabaseError(8581, context,
                       WithAddress("Read page error - block address not found", address), this);
  }
  if (buffer == block->data()) {
    RaiseDatabaseError(8581, context, "Read page error - buffers equal", this);
  }
  CheckSize(*block, size, context, "Read page error - size exceeds the block");
  std::memmove(buffer, block->data(), size);
}

void TMemoryIOInterface::WriteBlockHeader(uint32_t address, uint32_t size, const void* buffer) {
  const char* context = "TMemoryIOInterface.WriteBlockHeader";
  std::vector<uint8_t>* block = Find(address);
  if (block == nullptr) {
    RaiseDatabaseError(8581, context,
                       WithAddress("Write header error - block address not found", address), this);
  }
  if (buffer == nullptr) {
    RaiseDatabaseError(8581, context, "Write header error - nil pointer", this);
  }
  CheckSize(*block, size, context, "Write header error - size exceeds the block");
  std::memmove(block->data(), buffer, size);
}

void TMemoryIOInterface::ReadBlockHeader(uint32_t address, uint32_t size, void* buffer) {
  const char* context = "TMemoryIOInterface.ReadBlockHeader";
  std::vector<uint8_t>* block = Find(address);
  if (block == nullptr) return;
  if (buffer == nullptr) RaiseDatabaseError(8581, context, "Read header error - nil pointer", this);
  CheckSize(*block, size, context, "Read header error - size exceeds the block");
  std::memmove(buffer, block->data(), size);
}

void TMemoryIOInterface::ListBlocks(std::vector<uint32_t>& list) {
  list.clear();
  list.reserve(FBlocks.size());
  for (const auto& entry : FBlocks) list.push_back(entry.first);
}

uint32_t TMemoryIOInterface::NextAddress(uint32_t address) {
  if (address == 0) return FBlocks.empty() ? 0 : FBlocks.begin()->first;
  auto it = FBlocks.find(address);
  if (it == FBlocks.end() || ++it == FBlocks.end()) return 0;
  return it->first;
}
