// The block cache: raw structures written inside a transaction, held until commit.
//
// Invariants:
// - At most one block starts at any address; look-up is by an address-ordered map.
// - Blocks commit in first-write order.
// - Where blocks overlap, every one of them holds the bytes written last, so neither the
//   commit order nor the block a reader finds can bring back an older value.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "engine/storage/CacheBlock.h"
#include "platform/Object.h"

class TCacheBlockMgr : public TObject {
 public:
  using TReadIO = std::function<void(uint8_t* data, uint32_t count, uint32_t address)>;
  using TWriteIO = std::function<void(const uint8_t* data, uint32_t count, uint32_t address)>;

  TReadIO ReadIO;
  TWriteIO WriteIO;

  void Open();
  void StartTransaction();
  void ReadBlock(uint8_t* buffer, uint32_t tableID, uint32_t size, uint32_t address,
                 uint32_t flags);
  void WriteBlock(const uint8_t* buffer, uint32_t tableID, uint32_t size, uint32_t address,
                  uint32_t flags);
  void Commit();
  void Rollback();
  void Clear();  // frees every block and leaves any transaction

  // The block starting exactly at the address, or nullptr; raises 8579 when a block written
  // before it starts below the address and covers it.
  TCacheBlock* FindBlock(uint32_t address);

  // Whether any block overlaps [address, address + count).
  bool Overlaps(uint64_t address, uint64_t count) const;
  // Copies the pending bytes inside [address, address + count) over `buffer`, which holds
  // the file's bytes of that range.
  void CopyPendingTo(uint8_t* buffer, uint64_t address, uint64_t count) const;
  // Makes every block overlapping [address, address + count) hold `data` there.
  void UpdatePending(const uint8_t* data, uint64_t address, uint64_t count,
                     const TCacheBlock* except = nullptr);

  bool InTransaction() const { return FInTransaction; }
  int32_t Count() const { return static_cast<int32_t>(FWriteOrder.size()); }
  // Blocks in first-write order.
  const TCacheBlock& Block(int32_t index) const { return *FWriteOrder[index]; }
  uint64_t ReadCount() const { return FReadCount; }
  uint64_t WriteCount() const { return FWriteCount; }

 private:
  TCacheBlock* AddBlock(uint32_t size, uint32_t address);
  // The lowest start address a block overlapping `address` can have.
  uint32_t LowestCandidate(uint64_t address) const;

  std::map<uint32_t, std::unique_ptr<TCacheBlock>> FBlocks;
  std::vector<TCacheBlock*> FWriteOrder;
  uint32_t FMaxBlockSize = 0;
  bool FInTransaction = false;
  uint64_t FReadCount = 0;
  uint64_t FWriteCount = 0;
};
