// Blob chains over disk and memory block interfaces: their layout, rewriting in place with
// reuse of freed blocks, damaged chains, and the blob values of a record.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "BlobTestSupport.h"
#include "engine/tables/BlobMgr.h"

namespace {

using namespace blob_test;

class BlobInterfaceTest : public ::testing::TestWithParam<TStore> {};

std::set<uint32_t> Addresses(const std::vector<TChainBlock>& chain, size_t from = 0) {
  std::set<uint32_t> addresses;
  for (size_t i = from; i < chain.size(); ++i) addresses.insert(chain[i].Address);
  return addresses;
}

// Every block holds its share of the value in order, zeros after the data, and the last one
// ends the chain.
void ExpectChainHolds(const std::vector<TChainBlock>& chain, const std::vector<uint8_t>& value) {
  ASSERT_EQ(chain.size(), (value.size() + D - 1) / D);
  for (size_t i = 0; i < chain.size(); ++i) {
    const size_t position = i * D;
    const size_t count = std::min<size_t>(D, value.size() - position);
    EXPECT_EQ(chain[i].Count, count) << "block " << i;
    EXPECT_EQ(chain[i].Next == 0, i + 1 == chain.size()) << "block " << i;
    const auto data = chain[i].Image.begin() + blobblock::DataOffset;
    EXPECT_TRUE(std::equal(data, data + count, value.begin() + position)) << "block " << i;
    EXPECT_TRUE(std::all_of(data + count, chain[i].Image.end(), [](uint8_t b) { return b == 0; }))
        << "block " << i;
  }
}

TEST_P(BlobInterfaceTest, NewChainsHoldTheValueInOrder) {
  for (const uint32_t size : {0u, 1u, D - 1, D, D + 1, 2 * D, 2 * D + 1, 5000u, 70000u}) {
    TBlobRig rig(GetParam());
    const std::vector<uint8_t> value = Bytes(size, size);
    const uint32_t address = rig.Blob().WriteNewBlob(value);
    EXPECT_EQ(address == 0, size == 0) << size;
    ASSERT_NO_FATAL_FAILURE(ExpectChainHolds(rig.Chain(address), value)) << size;
    EXPECT_EQ(rig.Read(address, size), value) << size;
    std::vector<uint8_t> appended{'x', 'y'};
    rig.Blob().ReadBlob(address, appended);
    EXPECT_EQ(appended.size(), size + 2) << size;
    EXPECT_TRUE(std::equal(value.begin(), value.end(), appended.begin() + 2)) << size;
  }
}

TEST_P(BlobInterfaceTest, RewritingKeepsTheFirstBlockAndReusesTheFreedOnes) {
  struct Case {
    uint32_t Old;
    uint32_t New;
  };
  const Case cases[] = {{3 * D, D},  {D, 1000},      {1000, 1000},   {5000, 20000},
                        {20000, 10}, {D + 1, 2 * D}, {2 * D, D + 1}, {1, 3 * D + 7}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.Old) + " -> " + std::to_string(c.New));
    TBlobRig rig(GetParam());
    const uint32_t other = rig.Blob().WriteNewBlob(Bytes(3000, 7));  // must stay intact
    const uint32_t address = rig.Blob().WriteNewBlob(Bytes(c.Old, 1));
    const std::vector<TChainBlock> before = rig.Chain(address);
    const std::vector<uint8_t> value = Bytes(c.New, 2);

    EXPECT_EQ(rig.Blob().UpdateBlob(address, c.Old, value), address);
    const std::vector<TChainBlock> after = rig.Chain(address);
    ASSERT_NO_FATAL_FAILURE(ExpectChainHolds(after, value));
    EXPECT_EQ(rig.Read(address, c.New), value);
    EXPECT_EQ(rig.Read(other, 3000), Bytes(3000, 7));
    const size_t kept = std::min(before.size(), after.size());
    for (size_t i = 0; i < kept; ++i) EXPECT_EQ(after[i].Address, before[i].Address) << i;

    const std::set<uint32_t> freed = Addresses(before, kept);
    if (rig.IsDisk()) {
      // The freed blocks are the first ones handed out again.
      const uint32_t reuse = rig.Blob().WriteNewBlob(Bytes(freed.size() * D, 3));
      EXPECT_EQ(Addresses(rig.Chain(reuse)), freed);
    } else {
      for (const uint32_t block : freed) EXPECT_FALSE(rig.IO().Exists(block)) << block;
    }
  }
}

TEST_P(BlobInterfaceTest, FreeingAChainFreesEveryBlock) {
  TBlobRig rig(GetParam());
  const uint32_t address = rig.Blob().WriteNewBlob(Bytes(5000, 1));
  const std::set<uint32_t> blocks = Addresses(rig.Chain(address));
  rig.Blob().FreeBlob(address, 5000);
  if (rig.IsDisk()) {
    EXPECT_EQ(Addresses(rig.Chain(rig.Blob().WriteNewBlob(Bytes(5000, 2)))), blocks);
  } else {
    EXPECT_EQ(static_cast<TMemoryIOInterface&>(rig.IO()).BlockCount(), 0u);
  }
  rig.Blob().FreeBlob(0);
  rig.Blob().FreeBlob(0, 0);
  std::vector<uint8_t> nothing;
  rig.Blob().ReadBlob(0, nothing);
  EXPECT_TRUE(nothing.empty());
}

TEST_P(BlobInterfaceTest, UpdatingWithoutAChainWritesANewOneAndAnEmptyValueIsRefused) {
  TBlobRig rig(GetParam());
  const uint32_t address = rig.Blob().UpdateBlob(0, 0, Bytes(600, 1));
  EXPECT_NE(address, 0u);
  EXPECT_EQ(rig.Read(address, 600), Bytes(600, 1));
  const RaisedError e = ErrorOf([&] { rig.Blob().UpdateBlob(address, 600, {}); });
  EXPECT_EQ(e.Code, 10029);
  EXPECT_EQ(rig.Read(address, 600), Bytes(600, 1));
}

// Damage to a three-block chain of 1500 bytes (504, 504, 492).
struct ChainDamage {
  const char* Name;
  std::function<void(TBlobRig&, const std::vector<TChainBlock>&)> Apply;
  uint32_t Length = 1500;    // what the record says
  bool AddressZero = false;  // the record names no chain
  bool FoundWithoutLength = true;
};

TEST_P(BlobInterfaceTest, DamagedChainsRaise8963AndChangeNothing) {
  using Chain = std::vector<TChainBlock>;
  const ChainDamage cases[] = {
      {"count beyond the block",
       [](TBlobRig& r, const Chain& c) {
         r.SetBlockField(c[0].Address, blobblock::CountOffset, D + 1);
       }},
      {"count 0", [](TBlobRig& r,
                     const Chain& c) { r.SetBlockField(c[1].Address, blobblock::CountOffset, 0); }},
      {"huge count",
       [](TBlobRig& r, const Chain& c) {
         r.SetBlockField(c[2].Address, blobblock::CountOffset, 0xFFFFFFF0);
       }},
      {"short block inside the chain",
       [](TBlobRig& r, const Chain& c) {
         r.SetBlockField(c[1].Address, blobblock::CountOffset, 100);
       }},
      {"loop back to the first block",
       [](TBlobRig& r, const Chain& c) {
         r.SetBlockField(c[2].Address, blobblock::CountOffset, D);
         r.SetBlockField(c[2].Address, blobblock::NextOffset, c[0].Address);
       }},
      {"loop to itself",
       [](TBlobRig& r, const Chain& c) {
         r.SetBlockField(c[1].Address, blobblock::NextOffset, c[1].Address);
       }},
      {"link to no block",
       [](TBlobRig& r, const Chain& c) {
         r.SetBlockField(c[0].Address, blobblock::NextOffset, c[2].Address + 7);
       }},
      {"link to the file's own pages",
       [](TBlobRig& r, const Chain& c) {
         r.SetBlockField(c[0].Address, blobblock::NextOffset, 1024);
       }},
      {"chain shorter than its length", nullptr, 2000, false, false},
      {"chain longer than its length", nullptr, 1000, false, false},
      {"length without a chain", nullptr, 1500, true, false},
      {"chain without a length", nullptr, 0, false, false},
  };
  for (const ChainDamage& c : cases) {
    SCOPED_TRACE(c.Name);
    TBlobRig rig(GetParam());
    const uint32_t stored = rig.Blob().WriteNewBlob(Bytes(1500, 1));
    const std::vector<TChainBlock> chain = rig.Chain(stored);
    ASSERT_EQ(chain.size(), 3u);
    if (c.Apply) c.Apply(rig, chain);
    const uint32_t address = c.AddressZero ? 0 : stored;
    auto snapshot = [&] {
      std::vector<std::vector<uint8_t>> images;
      for (const TChainBlock& block : chain) images.push_back(rig.Block(block.Address));
      return images;
    };
    const auto before = snapshot();
    const uint32_t firstEmpty = rig.HeaderItem;

    std::vector<uint8_t> stream{'k'};
    EXPECT_EQ(ErrorOf([&] { rig.Blob().ReadBlob(address, c.Length, stream); }).Code, 8963);
    EXPECT_EQ(stream, std::vector<uint8_t>{'k'});
    if (c.FoundWithoutLength) {
      EXPECT_EQ(ErrorOf([&] { rig.Blob().ReadBlob(address, stream); }).Code, 8963);
      EXPECT_EQ(ErrorOf([&] { rig.Blob().FreeBlob(address); }).Code, 8963);
    }
    EXPECT_EQ(ErrorOf([&] { rig.Blob().UpdateBlob(address, c.Length, Bytes(700, 2)); }).Code, 8963);
    EXPECT_EQ(ErrorOf([&] { rig.Blob().UpdateBlob(address, c.Length, Bytes(3000, 2)); }).Code,
              8963);
    EXPECT_EQ(ErrorOf([&] { rig.Blob().FreeBlob(address, c.Length); }).Code, 8963);
    EXPECT_EQ(snapshot(), before);
    EXPECT_EQ(rig.HeaderItem, firstEmpty) << "nothing was allocated or freed";
    for (const TChainBlock& block : chain)
      EXPECT_TRUE(rig.IO().Exists(block.Address) || rig.IsDisk());
  }
}

TEST_P(BlobInterfaceTest, OpenChecksItsSettingsAndUseNeedsOpen) {
  TBlobRig rig(GetParam());
  struct Case {
    TBaseIOInterface* IO;
    uint32_t BlockSize;
    const char* Message;
  };
  const Case cases[] = {
      {nullptr, B, "Unable to create blob interface - IOInterface is null"},
      {&rig.IO(), 0, "Unable to create blob interface - Block size is 0"},
      {&rig.IO(), 8, "Unable to create blob interface - Block size is too small"},
  };
  for (const Case& c : cases) {
    TBlobInterface blob;
    blob.SetIOInterface(c.IO);
    blob.SetBlockSize(c.BlockSize);
    const RaisedError e = ErrorOf([&] { blob.Open(); });
    EXPECT_EQ(e.Code, 8581) << c.Message;
    EXPECT_TRUE(EndsWith(e.Message, c.Message)) << e.Message;
    EXPECT_EQ(ErrorOf([&] { blob.WriteNewBlob(Bytes(10, 1)); }).Code, 8576);
  }
  rig.Blob().Close();
  EXPECT_EQ(rig.Blob().IOInterface(), nullptr);
  EXPECT_EQ(rig.Blob().BlockSize(), 0u);
}

TEST_P(BlobInterfaceTest, RandomValuesSurviveRewritesFreesAndReopening) {
  TBlobRig rig(GetParam());
  std::mt19937 rng(4711);
  auto pick = [&](size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(rng); };
  auto randomSize = [&] { return static_cast<uint32_t>(pick(6) == 0 ? pick(30000) : pick(1600)); };
  std::map<uint32_t, std::vector<uint8_t>> model;  // chain address -> value
  uint32_t seed = 1;
  auto checkAll = [&] {
    std::set<uint32_t> used;
    for (const auto& [address, value] : model) {
      ASSERT_EQ(rig.Read(address, static_cast<uint32_t>(value.size())), value);
      for (const TChainBlock& block : rig.Chain(address)) {
        ASSERT_TRUE(used.insert(block.Address).second) << "block in two chains: " << block.Address;
      }
    }
  };
  for (int step = 0; step < 400; ++step) {
    const size_t roll = pick(100);
    if (roll < 40 || model.empty()) {
      std::vector<uint8_t> value = Bytes(1 + randomSize(), ++seed);
      const uint32_t address = rig.Blob().WriteNewBlob(value);
      ASSERT_EQ(model.count(address), 0u);
      model[address] = std::move(value);
    } else {
      auto it = std::next(model.begin(), static_cast<long>(pick(model.size())));
      const auto length = static_cast<uint32_t>(it->second.size());
      if (roll < 75) {
        std::vector<uint8_t> value = Bytes(1 + randomSize(), ++seed);
        ASSERT_EQ(rig.Blob().UpdateBlob(it->first, length, value), it->first);
        it->second = std::move(value);
      } else if (roll < 95) {
        rig.Blob().FreeBlob(it->first, length);
        model.erase(it);
      } else {
        ASSERT_NO_FATAL_FAILURE(checkAll());
        if (rig.IsDisk()) rig.Reopen();
      }
    }
  }
  ASSERT_NO_FATAL_FAILURE(checkAll());
}

INSTANTIATE_TEST_SUITE_P(Stores, BlobInterfaceTest,
                         ::testing::Values(TStore::DiskPlain, TStore::DiskXor, TStore::Memory),
                         StoreParamName);

TEST(BlobMgrTest, ItemsAreFoundByFieldAndResetToTheStoredValue) {
  TBlobMgr mgr;
  TBlob& memo = mgr.Add(3);
  mgr.Add(7);
  EXPECT_EQ(mgr.Count(), 2);
  EXPECT_EQ(mgr.FindBlob(3), &memo);
  EXPECT_EQ(mgr.FindBlob(7), &mgr.Items(1));
  EXPECT_EQ(mgr.FindBlob(5), nullptr);
  EXPECT_EQ(memo.State, bsStored);

  memo.State = bsChanged;
  memo.Stream = Bytes(100, 1);
  mgr.Add(9);  // adding keeps earlier items where they are
  EXPECT_EQ(mgr.FindBlob(3), &memo);
  mgr.ResetAll();
  EXPECT_EQ(memo.State, bsStored);
  EXPECT_TRUE(memo.Stream.empty());
  mgr.Clear();
  EXPECT_EQ(mgr.Count(), 0);
}

}  // namespace
