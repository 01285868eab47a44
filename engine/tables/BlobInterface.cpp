// TBlobInterface: writing chains backwards, rewriting them in place, reading and freeing them.
#include "engine/tables/BlobInterface.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <string>
#include <unordered_set>

#include "engine/storage/BaseIOInterface.h"
#include "engine/storage/LittleEndian.h"
#include "engine/storage/VorErrors.h"
#include "platform/Format.h"

namespace {

constexpr int MemoCorrupted = 8963;
constexpr int InvalidBlobLength = 10029;

uint64_t BlocksFor(uint64_t length, uint32_t dataPerBlock) {
  return (length + dataPerBlock - 1) / dataPerBlock;
}

}  // namespace

void TBlobInterface::Open() {
  const char* context = "TBlobInterface.Open";
  if (FIOInterface == nullptr) {
    RaiseDatabaseError(8581, context, "Unable to create blob interface - IOInterface is null",
                       this);
  }
  if (FBlockSize == 0) {
    RaiseDatabaseError(8581, context, "Unable to create blob interface - Block size is 0", this);
  }
  if (FBlockSize <= blobblock::DataOffset) {
    RaiseDatabaseError(8581, context, "Unable to create blob interface - Block size is too small",
                       this);
  }
  FBuffer.assign(FBlockSize, 0);
}

void TBlobInterface::Close() {
  FBuffer.clear();
  FBuffer.shrink_to_fit();
  FIOInterface = nullptr;
  FBlockSize = 0;
}

void TBlobInterface::CheckOpen(const char* context) const {
  if (FBuffer.empty()) RaiseDatabaseError(8576, context, "Blob interface is not open", this);
}

void TBlobInterface::CheckValueSize(size_t size, const char* context) const {
  // The record keeps a 32-bit length.
  if (size > std::numeric_limits<uint32_t>::max()) {
    RaiseDatabaseError(InvalidBlobLength, context, "", this);
  }
}

template <typename Visit>
void TBlobInterface::WalkChain(uint32_t address, std::optional<uint32_t> length,
                               const char* context, Visit&& visit) {
  if (length && (*length == 0) != (address == 0)) {
    RaiseDatabaseErrorFmt(MemoCorrupted, context, "Blob address %d does not fit its length %d",
                          this, {address, *length});
  }
  const uint32_t dataPerBlock = DataPerBlock();
  // With a known length the block count bounds the walk; without one, a visited set does.
  const uint64_t maxBlocks =
      length ? BlocksFor(*length, dataPerBlock) : std::numeric_limits<uint64_t>::max();
  std::unordered_set<uint32_t> visited;
  uint64_t blocks = 0;
  uint64_t total = 0;
  for (uint32_t current = address; current != 0;) {
    if (blocks == maxBlocks) {
      RaiseDatabaseErrorFmt(MemoCorrupted, context, "Blob chain at %d is longer than %d bytes",
                            this, {address, *length});
    }
    if (!length && !visited.insert(current).second) {
      RaiseDatabaseErrorFmt(MemoCorrupted, context, "Blob chain at %d loops at %d", this,
                            {address, current});
    }
    if (!FIOInterface->IsPlausibleBlock(current)) {
      RaiseDatabaseErrorFmt(MemoCorrupted, context, "Blob chain at %d links to %d", this,
                            {address, current});
    }
    FIOInterface->ReadBlock(current, FBlockSize, FBuffer.data());
    const uint32_t next = le::GetU32(FBuffer.data() + blobblock::NextOffset);
    const uint32_t count = le::GetU32(FBuffer.data() + blobblock::CountOffset);
    if (count == 0 || count > dataPerBlock || (next != 0 && count != dataPerBlock)) {
      RaiseDatabaseErrorFmt(MemoCorrupted, context, "Blob block at %d holds %d data bytes", this,
                            {current, count});
    }
    ++blocks;
    total += count;
    visit(current, std::span<const uint8_t>(FBuffer.data() + blobblock::DataOffset, count));
    current = next;
  }
  if (length && total != *length) {
    RaiseDatabaseErrorFmt(MemoCorrupted, context, "Blob chain at %d holds %d of %d bytes", this,
                          {address, total, *length});
  }
}

std::vector<uint32_t> TBlobInterface::CollectChain(uint32_t address, std::optional<uint32_t> length,
                                                   const char* context) {
  std::vector<uint32_t> chain;
  if (length) chain.reserve(BlocksFor(*length, DataPerBlock()));
  WalkChain(address, length, context,
            [&chain](uint32_t block, std::span<const uint8_t>) { chain.push_back(block); });
  return chain;
}

void TBlobInterface::BuildBlock(uint32_t next, std::span<const uint8_t> data) {
  uint8_t* block = FBuffer.data();
  le::PutU32(block + blobblock::NextOffset, next);
  le::PutU32(block + blobblock::CountOffset, static_cast<uint32_t>(data.size()));
  std::memcpy(block + blobblock::DataOffset, data.data(), data.size());
  std::fill(block + blobblock::DataOffset + data.size(), block + FBlockSize, uint8_t{0});
}

uint32_t TBlobInterface::WriteChain(std::span<const uint8_t> value) {
  const uint32_t dataPerBlock = DataPerBlock();
  std::vector<uint32_t> written;
  written.reserve(BlocksFor(value.size(), dataPerBlock));
  uint32_t previous = 0;
  try {
    // The last chunk first: it holds the remainder, every chunk before it a full block.
    size_t chunk = value.size() % dataPerBlock == 0 ? dataPerBlock : value.size() % dataPerBlock;
    for (size_t position = value.size(); position > 0; chunk = dataPerBlock) {
      position -= chunk;
      BuildBlock(previous, value.subspan(position, chunk));
      previous = FIOInterface->AllocateNewAddress(FBlockSize, FBuffer.data());
      written.push_back(previous);
    }
  } catch (...) {
    // Blocks of a chain nobody will record would be lost for good.
    for (const uint32_t block : written) {
      try {
        FIOInterface->ReleaseBlock(block, FBlockSize);
      } catch (...) {
      }
    }
    throw;
  }
  return previous;
}

uint32_t TBlobInterface::WriteNewBlob(std::span<const uint8_t> value) {
  const char* context = "TBlobInterface.WriteNewBlob";
  CheckOpen(context);
  CheckValueSize(value.size(), context);
  if (value.empty()) return 0;
  TFirstEmptyScope scope(*FIOInterface, Keeper());
  return WriteChain(value);
}

uint32_t TBlobInterface::UpdateBlob(uint32_t address, uint32_t length,
                                    std::span<const uint8_t> value) {
  const char* context = "TBlobInterface.UpdateBlob";
  CheckOpen(context);
  CheckValueSize(value.size(), context);
  if (value.empty()) RaiseDatabaseError(InvalidBlobLength, context, "", this);
  // Every old block is known and checked before the first one changes.
  const std::vector<uint32_t> old = CollectChain(address, length, context);
  if (old.empty()) return WriteNewBlob(value);

  TFirstEmptyScope scope(*FIOInterface, Keeper());
  const uint32_t dataPerBlock = DataPerBlock();
  const uint64_t needed = BlocksFor(value.size(), dataPerBlock);
  const size_t reused = static_cast<size_t>(std::min<uint64_t>(old.size(), needed));
  // The part that does not fit the old blocks goes first, so the last reused block can link
  // to it as it is rewritten.
  const uint32_t tail = needed > old.size() ? WriteChain(value.subspan(reused * dataPerBlock)) : 0;
  for (size_t i = 0; i < reused; ++i) {
    const size_t position = i * dataPerBlock;
    const size_t chunk = std::min<size_t>(dataPerBlock, value.size() - position);
    BuildBlock(i + 1 < reused ? old[i + 1] : tail, value.subspan(position, chunk));
    FIOInterface->WriteBlock(old[i], FBlockSize, FBuffer.data());
  }
  for (size_t i = reused; i < old.size(); ++i) FIOInterface->ReleaseBlock(old[i], FBlockSize);
  return address;
}

void TBlobInterface::ReadChain(uint32_t address, std::optional<uint32_t> length,
                               std::vector<uint8_t>& stream) {
  const char* context = "TBlobInterface.ReadBlob";
  CheckOpen(context);
  const size_t start = stream.size();
  try {
    if (length) stream.reserve(start + *length);
    WalkChain(address, length, context, [&stream](uint32_t, std::span<const uint8_t> data) {
      stream.insert(stream.end(), data.begin(), data.end());
    });
  } catch (...) {
    stream.resize(start);
    throw;
  }
}

void TBlobInterface::ReadBlob(uint32_t address, std::vector<uint8_t>& stream) {
  ReadChain(address, std::nullopt, stream);
}

void TBlobInterface::ReadBlob(uint32_t address, uint32_t length, std::vector<uint8_t>& stream) {
  ReadChain(address, length, stream);
}

void TBlobInterface::FreeChain(uint32_t address, std::optional<uint32_t> length) {
  const char* context = "TBlobInterface.FreeBlob";
  CheckOpen(context);
  const std::vector<uint32_t> chain = CollectChain(address, length, context);
  if (chain.empty()) return;
  TFirstEmptyScope scope(*FIOInterface, Keeper());
  for (const uint32_t block : chain) FIOInterface->ReleaseBlock(block, FBlockSize);
}

void TBlobInterface::FreeBlob(uint32_t address) {
  FreeChain(address, std::nullopt);
}

void TBlobInterface::FreeBlob(uint32_t address, uint32_t length) {
  FreeChain(address, length);
}
