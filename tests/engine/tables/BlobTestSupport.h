// A blob interface over a disk (plain or enciphered) or memory block interface, and a reader
// of chains that follows the block format on its own, for checking what was written.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/storage/IOInterfaceTestSupport.h"
#include "engine/tables/BlobInterface.h"

namespace blob_test {

using namespace iointerface_test;

constexpr uint32_t B = 512;
constexpr uint32_t D = B - 8;  // data bytes per block

enum class TStore { DiskPlain, DiskXor, Memory };

inline std::string StoreName(TStore store) {
  switch (store) {
    case TStore::DiskPlain:
      return "DiskPlain";
    case TStore::DiskXor:
      return "DiskXor";
    case TStore::Memory:
      return "Memory";
  }
  return "?";
}

struct TChainBlock {
  uint32_t Address;
  uint32_t Next;
  uint32_t Count;
  std::vector<uint8_t> Image;
};

class TBlobRig {
 public:
  explicit TBlobRig(TStore store) : FStore(store) {
    if (store != TStore::Memory) FDatabase = std::make_unique<TTestDatabase>();
    OpenInterfaces();
  }

  bool IsDisk() const { return FStore != TStore::Memory; }
  TBaseIOInterface& IO() { return *FIO; }
  TBlobInterface& Blob() { return FBlob; }
  // The table header item that keeps the blob interface's FirstEmpty.
  uint32_t HeaderItem = 0;

  // Closes everything and opens it again from the file and the header item.
  void Reopen() {
    FBlob.Close();
    FIO.reset();
    FDatabase->Reopen();
    OpenInterfaces();
  }

  std::vector<uint8_t> Block(uint32_t address) {
    std::vector<uint8_t> image(B);
    FIO->ReadBlock(address, B, image.data());
    return image;
  }
  void SetBlockField(uint32_t address, uint32_t offset, uint32_t value) {
    std::vector<uint8_t> image = Block(address);
    le::PutU32(image.data() + offset, value);
    FIO->WriteBlock(address, B, image.data());
  }

  // The chain as stored, read without the blob interface (stops after limit blocks).
  std::vector<TChainBlock> Chain(uint32_t address, size_t limit = 100000) {
    std::vector<TChainBlock> chain;
    while (address != 0 && chain.size() < limit) {
      std::vector<uint8_t> image = Block(address);
      const uint32_t next = le::GetU32(image.data() + blobblock::NextOffset);
      const uint32_t count = le::GetU32(image.data() + blobblock::CountOffset);
      chain.push_back({address, next, count, std::move(image)});
      address = next;
    }
    return chain;
  }

  std::vector<uint8_t> Read(uint32_t address, uint32_t length) {
    std::vector<uint8_t> value;
    FBlob.ReadBlob(address, length, value);
    return value;
  }

 private:
  void OpenInterfaces() {
    if (IsDisk()) {
      const uint32_t flags = FStore == TStore::DiskXor ? 3 : 1;
      // The owner's FirstEmpty travels through the keeper, not through the interface.
      FIO = FDatabase->Interface({B, TestTable, dbfile::UsageBlob, 0, flags}, 0xDEAD0000);
      FIO->SetFirstEmptyValidated(false);
    } else {
      auto memory = std::make_unique<TMemoryIOInterface>();
      memory->SetBlockSize(B);
      memory->Open();
      FIO = std::move(memory);
    }
    FBlob.SetIOInterface(FIO.get());
    FBlob.SetBlockSize(B);
    FBlob.SetFirstEmptyKeeper(
        {[this] { return HeaderItem; }, [this](uint32_t value) { HeaderItem = value; }});
    FBlob.Open();
  }

  TStore FStore;
  std::unique_ptr<TTestDatabase> FDatabase;
  std::unique_ptr<TBaseIOInterface> FIO;
  TBlobInterface FBlob;
};

inline std::string StoreParamName(const ::testing::TestParamInfo<TStore>& info) {
  return StoreName(info.param);
}

}  // namespace blob_test
