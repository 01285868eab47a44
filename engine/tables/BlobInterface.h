// Values of blob fields (blob, memo, graphic, formatted memo) as chains of blocks in the
// table's blob block interface. A record holds only the chain's first address and the value's
// length (RecordLayout.h); this class writes, rewrites, reads and frees the chains.
//
// Blob block (B = BlockSize bytes, little-endian; moved through the block interface, so
// enciphered like the table's other pages):
//   offset  width  content
//   0       4      address of the next block of the chain, 0 in the last block
//   4       4      number of data bytes in this block: B - 8, only the last block may hold
//                  fewer (1 to B - 8)
//   8       B - 8  data; bytes after the data bytes are zero
// A value of n bytes takes ceil(n / (B - 8)) blocks holding it in order; an empty value has
// no chain (address 0, length 0).
//
// Invariants:
// - A chain read from the file is followed only while it keeps that form: every link is a
//   plausible block of the interface and is visited once, every count fits, and the chain
//   holds exactly the length the record gives when it is known. Damage raises 8963 before any
//   block of the chain is rewritten or freed, and never makes a copy leave its buffer.
// - A chain is written from its end, so every block is written once and points to the block
//   written before it. A write that fails frees the blocks it had taken.
// - Rewriting keeps the chain's first address, so the record changes only in its length.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "engine/storage/FirstEmptyScope.h"
#include "platform/Object.h"

class TBaseIOInterface;

namespace blobblock {

constexpr uint32_t NextOffset = 0;
constexpr uint32_t CountOffset = 4;
constexpr uint32_t DataOffset = 8;

}  // namespace blobblock

class TBlobInterface : public TObject {
 public:
  void SetBlockSize(uint32_t size) { FBlockSize = size; }
  void SetIOInterface(TBaseIOInterface* io) { FIOInterface = io; }
  // Where the owner keeps the blob interface's FirstEmpty (the table header's BlobFirstEmpty).
  // When set, every change loads it first and stores it back afterwards; without it the owner
  // does so around its calls.
  void SetFirstEmptyKeeper(TFirstEmptyKeeper keeper) { FKeeper = std::move(keeper); }

  // Raises 8581 without an interface or with a block size that leaves no data bytes.
  void Open();
  void Close();

  // The first address of a new chain holding the whole value; 0 for an empty value.
  uint32_t WriteNewBlob(std::span<const uint8_t> value);
  // Rewrites the chain of the given length at address with value, reusing its blocks in
  // order, and returns the address. An empty value is the caller's to free (10029); a chain
  // at address 0 yields a new chain's address.
  uint32_t UpdateBlob(uint32_t address, uint32_t length, std::span<const uint8_t> value);
  // Appends the chain's data to stream. With the length from the record the chain must hold
  // exactly that many bytes; without it, only its form is checked. On error stream is left
  // as it was.
  void ReadBlob(uint32_t address, std::vector<uint8_t>& stream);
  void ReadBlob(uint32_t address, uint32_t length, std::vector<uint8_t>& stream);
  // Frees every block of the chain; a damaged chain frees nothing.
  void FreeBlob(uint32_t address);
  void FreeBlob(uint32_t address, uint32_t length);

  uint32_t BlockSize() const { return FBlockSize; }
  TBaseIOInterface* IOInterface() const { return FIOInterface; }
  bool IsOpen() const { return !FBuffer.empty(); }

 private:
  uint32_t DataPerBlock() const { return FBlockSize - blobblock::DataOffset; }
  void CheckOpen(const char* context) const;
  void CheckValueSize(size_t size, const char* context) const;
  // Follows and checks the chain, calling visit(count, data) for each block in order.
  template <typename Visit>
  void WalkChain(uint32_t address, std::optional<uint32_t> length, const char* context,
                 Visit&& visit);
  std::vector<uint32_t> CollectChain(uint32_t address, std::optional<uint32_t> length,
                                     const char* context);
  void ReadChain(uint32_t address, std::optional<uint32_t> length, std::vector<uint8_t>& stream);
  void FreeChain(uint32_t address, std::optional<uint32_t> length);
  // Fills Buffer with one block: link, count and data.
  void BuildBlock(uint32_t next, std::span<const uint8_t> data);
  // Writes value as a new chain, last block first; returns its first address.
  uint32_t WriteChain(std::span<const uint8_t> value);
  const TFirstEmptyKeeper* Keeper() const { return FKeeper.Load ? &FKeeper : nullptr; }

  uint32_t FBlockSize = 0;
  TBaseIOInterface* FIOInterface = nullptr;
  std::vector<uint8_t> FBuffer;
  TFirstEmptyKeeper FKeeper;
};
