// Blocks of an in-memory table, each a separate piece of memory owned by the interface. A
// block's address is a handle: block addresses are 32-bit, memory addresses are not. Handles
// are issued in increasing order and never reused while the interface lives, so list order is
// allocation order and a stale address is never mistaken for a newer block.
//
// Invariants:
// - Every block is at least BlockSize bytes (more when it was allocated larger), and no
//   transfer reaches past its block: a larger request raises 8581.
// - Destroying the interface frees all its blocks.
#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include "engine/storage/BaseIOInterface.h"

class TMemoryIOInterface : public TBaseIOInterface {
 public:
  TMemoryIOInterface() { FKind = ioKindMemory; }

  void Empty(bool /*matchUsage*/) override {}
  uint32_t AllocateNewAddress(uint32_t size, const void* data) override;
  void ReleaseBlock(uint32_t address, uint32_t size) override;
  void WriteBlock(uint32_t address, uint32_t size, const void* buffer) override;
  void ReadBlock(uint32_t address, uint32_t size, void* buffer) override;
  void WriteBlockHeader(uint32_t address, uint32_t size, const void* buffer) override;
  // An unknown address reads nothing and leaves the buffer alone.
  void ReadBlockHeader(uint32_t address, uint32_t size, void* buffer) override;
  void ListBlocks(std::vector<uint32_t>& list) override;
  bool IsValidAddress(uint32_t address) override { return Known(address); }
  // The first block for 0; 0 after the last block and for an unknown address.
  uint32_t NextAddress(uint32_t address) override;
  bool Exists(uint32_t address) override { return Known(address); }
  bool IsPlausibleBlock(uint32_t address) override { return Known(address); }

  size_t BlockCount() const { return FBlocks.size(); }
  // The block's own memory (at least BlockSize bytes), or nullptr for an unknown address.
  uint8_t* BlockData(uint32_t address) {
    std::vector<uint8_t>* block = Find(address);
    return block == nullptr ? nullptr : block->data();
  }

 private:
  bool Known(uint32_t address) const { return FBlocks.count(address) != 0; }
  std::vector<uint8_t>* Find(uint32_t address);
  void CheckSize(const std::vector<uint8_t>& block, uint32_t size, const char* context,
                 const char* message) const;

  std::map<uint32_t, std::vector<uint8_t>> FBlocks;
  uint32_t FLastAddress = 0;
};
