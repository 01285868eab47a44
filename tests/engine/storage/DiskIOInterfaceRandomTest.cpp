// Random allocations, releases and rewrites on disk interfaces against a model of every block
// position: no block is handed out while in use, every freed block is used again before the
// file grows, contents survive, and all of it holds across closing and reopening the file.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>
#include <vector>

#include "IOInterfaceTestSupport.h"

namespace {

using namespace iointerface_test;

struct RandomCase {
  const char* Name;
  TInterfaceSetup Setup;
};

class TBlockModel {
 public:
  TBlockModel(uint32_t blockSize, uint32_t unitSize) : FBlockSize(blockSize), FUnitSize(unitSize) {}

  // Checks an address handed out and takes it into use.
  void Allocated(uint32_t address, std::vector<uint8_t> image) {
    ASSERT_EQ(Live.count(address), 0u) << "handed out twice: " << address;
    if (!Free.empty()) {
      ASSERT_EQ(Free.count(address), 1u) << "a new unit while blocks were free: " << address;
      Free.erase(address);
    } else {
      // A new unit: its blocks must not overlap anything known, the rest of it is free.
      ASSERT_EQ(address % P, 0u);
      for (uint32_t k = 0; k < FUnitSize / FBlockSize; ++k) {
        const uint32_t position = address + k * FBlockSize;
        ASSERT_TRUE(Known(position) == false) << "unit overlaps " << position;
        if (k > 0) Free.insert(position);
      }
    }
    Live[address] = std::move(image);
  }

  void Released(uint32_t address, uint32_t blocks) {
    for (uint32_t k = 0; k < blocks; ++k) {
      Live.erase(address + k * FBlockSize);
      Free.insert(address + k * FBlockSize);
    }
  }

  bool Known(uint32_t position) const { return Live.count(position) || Free.count(position); }

  std::map<uint32_t, std::vector<uint8_t>> Live;
  std::set<uint32_t> Free;

 private:
  uint32_t FBlockSize;
  uint32_t FUnitSize;
};

class DiskIOInterfaceRandomTest : public ::testing::TestWithParam<RandomCase> {};

TEST_P(DiskIOInterfaceRandomTest, AllocateReleaseAndRewriteAgainstAModel) {
  const TInterfaceSetup setup = GetParam().Setup;
  const auto blockSize = static_cast<uint32_t>(setup.BlockSize);
  const bool global = setup.GlobalItem != 0;
  TTestDatabase db;
  db.Mgr().SetMasterKey("random");
  uint32_t tableHeaderItem = 0;  // where the owner keeps a non-global FirstEmpty
  auto io = db.Interface(setup, tableHeaderItem);
  TBlockModel model(blockSize, io->UnitSize());
  std::mt19937 rng(20240607 + blockSize);
  auto pick = [&](size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(rng); };
  auto checkAll = [&] {
    for (const auto& [address, image] : model.Live) {
      std::vector<uint8_t> back(blockSize);
      io->ReadBlock(address, blockSize, back.data());
      ASSERT_EQ(back, image) << "block " << address;
    }
  };

  uint32_t seed = 1;
  for (int step = 0; step < 1500; ++step) {
    const size_t roll = pick(100);
    if (roll < 55 || model.Live.empty()) {
      const uint32_t size = static_cast<uint32_t>(1 + pick(blockSize));
      std::vector<uint8_t> image(blockSize, 0);
      const std::vector<uint8_t> data = Bytes(size, ++seed);
      std::copy(data.begin(), data.end(), image.begin());
      const uint32_t address = io->AllocateNewAddress(size, data.data());
      ASSERT_NO_FATAL_FAILURE(model.Allocated(address, std::move(image))) << "step " << step;
    } else if (roll < 85) {
      auto it = std::next(model.Live.begin(), static_cast<long>(pick(model.Live.size())));
      const uint32_t address = it->first;
      // Two neighbours in one unit may go at once, as one run.
      const bool pair = blockSize < P && model.Live.count(address + blockSize) &&
                        (address % P) + 2 * blockSize <= P && pick(3) == 0;
      io->ReleaseBlock(address, pair ? 2 * blockSize : blockSize);
      model.Released(address, pair ? 2 : 1);
    } else if (roll < 97) {
      auto it = std::next(model.Live.begin(), static_cast<long>(pick(model.Live.size())));
      it->second = Bytes(blockSize, ++seed);
      io->WriteBlock(it->first, blockSize, it->second.data());
    } else {
      // Close everything and start again from what the file (and the owner) kept.
      ASSERT_NO_FATAL_FAILURE(checkAll());
      if (!global) tableHeaderItem = io->FirstEmpty();
      io.reset();
      db.Reopen();
      db.Mgr().SetMasterKey("random");
      io = db.Interface(setup, tableHeaderItem);
    }
  }
  ASSERT_NO_FATAL_FAILURE(checkAll());

  // Every block position the pages hold is either in use or free in the model; whole-page
  // blocks that were freed went back to the page map.
  if (setup.TableID != 0) {
    std::vector<uint32_t> listed;
    io->ListBlocks(listed);
    std::set<uint32_t> known;
    if (blockSize < P) known = model.Free;
    for (const auto& entry : model.Live) known.insert(entry.first);
    EXPECT_EQ(std::set<uint32_t>(listed.begin(), listed.end()), known);
  }
  // Draining the free blocks takes exactly them; then a new unit follows.
  const size_t freeCount = model.Free.size();
  for (size_t i = 0; i <= freeCount; ++i) {
    ASSERT_NO_FATAL_FAILURE(model.Allocated(io->AllocateNewAddress(blockSize, nullptr),
                                            std::vector<uint8_t>(blockSize)));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Interfaces, DiskIOInterfaceRandomTest,
    ::testing::Values(RandomCase{"Records100", {100, TestTable, dbfile::UsageRecords, 0, 1}},
                      RandomCase{"Blobs3000Xor", {3000, TestTable, dbfile::UsageBlob, 0, 3}},
                      RandomCase{"UserHeadersGlobal",
                                 {256, 0, dbfile::UsageHeader, dbfile::HdrUserHeaderFirstEmpty, 0}},
                      RandomCase{"PageBlocks", {4096, TestTable, dbfile::UsageIndex, 0, 1}}),
    [](const ::testing::TestParamInfo<RandomCase>& info) { return std::string(info.param.Name); });

}  // namespace
