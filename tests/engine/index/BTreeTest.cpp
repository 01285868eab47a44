// The tree's edge cases by hand: root split and collapse in place, first keys after inserting a
// new smallest key, borrowing before merging, ordinals, find modes at both ends, range
// collection, and what the tree refuses.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <vector>

#include "IndexTestSupport.h"
#include "engine/storage/CompoundList.h"
#include "engine/tables/ReadAheadBuffer.h"

namespace {

using namespace index_test;

// Unique integer keys, M = 15; 256-byte nodes are full at 15 entries.
class BTreeTest : public testing::TestWithParam<TStore> {
 protected:
  BTreeTest()
      : FLayout(std::vector<TFieldSpec>{{ftInteger}}), FT(GetParam(), FLayout, false, 256) {}

  TBTree& Tree() { return FT.Tree(); }
  TRecord Rec(int32_t v) {
    TRecord r(FLayout);
    r.Int(0, v);
    return r;
  }
  static uint32_t AddressOf(int32_t v) { return 0x10000 + static_cast<uint32_t>(v) * 4; }
  void Insert(int32_t v) { ASSERT_TRUE(FT.Insert(Rec(v), AddressOf(v))) << v; }
  void InsertAll(const std::vector<int32_t>& values) {
    for (int32_t v : values) ASSERT_NO_FATAL_FAILURE(Insert(v));
  }
  TTreeShape Check() { return TTreeChecker(FT).Check(); }
  std::vector<uint8_t> Block(uint32_t address) { return FT.ReadBlock(address); }
  static int Entries(const std::vector<uint8_t>& block) {
    return static_cast<int>(le::GetU32(block.data() + BlkUsed)) / 15;
  }
  static uint32_t Child(const std::vector<uint8_t>& block, int i) {
    return le::GetU32(block.data() + BlkEntries + i * 15 + EntAddress);
  }
  static uint32_t CountOf(const std::vector<uint8_t>& block, int i) {
    return le::GetU32(block.data() + BlkEntries + i * 15 + EntCount);
  }

  TRecordLayout FLayout;
  TTestTree FT;
};

TEST_P(BTreeTest, RootSplitKeepsTheRootBlock) {
  const uint32_t root = FT.Root;
  for (int32_t v = 1; v <= 14; ++v) Insert(v);
  EXPECT_EQ(FT.Depth, 1);
  Insert(15);
  EXPECT_EQ(FT.Root, root);
  EXPECT_EQ(FT.Depth, 2);
  const std::vector<uint8_t> top = Block(root);
  ASSERT_EQ(Entries(top), 2);
  EXPECT_EQ(CountOf(top, 0) + CountOf(top, 1), 15u);
  const std::vector<uint8_t> left = Block(Child(top, 0));
  const std::vector<uint8_t> right = Block(Child(top, 1));
  EXPECT_EQ(le::GetU32(left.data() + BlkNext), Child(top, 1));
  EXPECT_EQ(le::GetU32(right.data() + BlkPrior), Child(top, 0));
  EXPECT_EQ(le::GetU32(left.data() + BlkPrior), 0u);
  EXPECT_EQ(le::GetU32(right.data() + BlkNext), 0u);
  EXPECT_EQ(Check().LeafAddresses.size(), 15u);
}

TEST_P(BTreeTest, NewSmallestKeysRewriteTheFirstKeysOnThePath) {
  // Descending insertions put every key at the front of the leftmost leaf, which splits again
  // and again; the checker compares every internal key with its child's first key.
  for (int32_t v = 600; v > 0; --v) {
    ASSERT_NO_FATAL_FAILURE(Insert(v));
    if (v % 20 == 0) {
      ASSERT_NO_FATAL_FAILURE(Check());
    }
  }
  EXPECT_GE(FT.Depth, 3);
  // Down the leftmost path every first entry names key 1.
  uint32_t address = FT.Root;
  for (int level = 0; level < FT.Depth; ++level) {
    const std::vector<uint8_t> block = Block(address);
    EXPECT_EQ(le::GetU32(block.data() + BlkEntries + 11), 1u) << "level " << level;
    address = Child(block, 0);
  }
}

TEST_P(BTreeTest, OrdinalsBothWays) {
  std::vector<int32_t> values(300);
  std::iota(values.begin(), values.end(), 1);
  std::shuffle(values.begin(), values.end(), std::mt19937(7));
  InsertAll(values);
  ASSERT_GE(FT.Depth, 3);
  EXPECT_EQ(Tree().TotalKeys(), 300);
  for (int32_t k = 1; k <= 300; ++k) {
    ASSERT_EQ(FT.FindAddress(Rec(k), fmExact), AddressOf(k));
    ASSERT_EQ(Tree().GetRecNo(), k);
    ASSERT_EQ(Tree().GetAddressByRecNo(k), AddressOf(k));
  }
  EXPECT_EQ(Tree().GetAddressByRecNo(0), AddressOf(1));
  EXPECT_EQ(Tree().GetAddressByRecNo(-5), AddressOf(1));
  EXPECT_EQ(Tree().GetAddressByRecNo(301), AddressOf(300));
  EXPECT_FALSE(Tree().CursorValid()) << "an ordinal lookup leaves no cursor";
  EXPECT_FALSE(Tree().Next());
}

TEST_P(BTreeTest, TotalKeysKeepsTheCursor) {
  for (int32_t v = 1; v <= 100; ++v) Insert(v);
  ASSERT_EQ(FT.FindAddress(Rec(40), fmExact), AddressOf(40));
  EXPECT_EQ(Tree().TotalKeys(), 100);
  EXPECT_EQ(Tree().GetRecNo(), 40);
  ASSERT_TRUE(Tree().Next());
  EXPECT_EQ(Tree().GetRecordAddress(), AddressOf(41));
  EXPECT_EQ(Tree().GetRecNo(), 41);
}

TEST_P(BTreeTest, FindModesAtBothEnds) {
  for (int32_t v = 10; v <= 1000; v += 10) Insert(v);
  ASSERT_GE(FT.Depth, 2);
  const struct {
    int32_t Probe;
    int Mode;
    int32_t Expected;  // the key the cursor ends on; 0 for none
  } cases[] = {
      {10, fmBelow, 0},          {10, fmAtOrBelow, 10},
      {10, fmExact, 10},         {10, fmAbove, 20},
      {5, fmBelow, 0},           {5, fmAtOrBelow, 0},
      {5, fmExact, 0},           {5, fmAtOrAbove, 10},
      {5, fmAbove, 10},          {5, fmNearest, 10},
      {1000, fmAbove, 0},        {1000, fmAtOrAbove, 1000},
      {1000, fmNearest, 1000},   {1000, fmBelow, 990},
      {1005, fmAtOrAbove, 0},    {1005, fmAbove, 0},
      {1005, fmNearest, 1000},   {1005, fmBelow, 1000},
      {1005, fmAtOrBelow, 1000}, {15, fmBelow, 10},
      {15, fmAtOrBelow, 10},     {15, fmExact, 0},
      {15, fmAtOrAbove, 20},     {15, fmAbove, 20},
      {15, fmNearest, 20},       {500, fmBelow, 490},
      {500, fmAbove, 510},       {500, fmExactVisible, 500},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FT.FindAddress(Rec(c.Probe), c.Mode), c.Expected == 0 ? 0 : AddressOf(c.Expected))
        << "probe " << c.Probe << " mode " << c.Mode;
  }
}

TEST_P(BTreeTest, AnEmptyTreeFindsNothing) {
  for (int mode = fmBelow; mode <= fmExactVisible; ++mode) {
    Tree().SetSearchKeyFromRecord(Rec(1).Bytes(), nullptr);
    EXPECT_NE(Tree().Find(mode), 0) << mode;
  }
  EXPECT_EQ(Tree().GetRecNo(), 0);
  EXPECT_EQ(Tree().TotalKeys(), 0);
  EXPECT_EQ(Tree().GetAddressByRecNo(1), 0u);
  EXPECT_FALSE(Tree().First());
  EXPECT_FALSE(Tree().Last());
  EXPECT_FALSE(Tree().Next());
}

TEST_P(BTreeTest, DeletionBorrowsBeforeItMerges) {
  const uint32_t root = FT.Root;
  for (int32_t v = 1; v <= 15; ++v) Insert(v);
  ASSERT_EQ(FT.Depth, 2);
  auto leafSizes = [&] {
    const std::vector<uint8_t> top = Block(FT.Root);
    std::vector<int> sizes;
    for (int i = 0; i < Entries(top); ++i) sizes.push_back(Entries(Block(Child(top, i))));
    return sizes;
  };
  ASSERT_EQ(leafSizes(), (std::vector<int>{7, 8}));
  const int64_t blocks = FT.Store().BlockCount();

  // The left leaf is underfull: it borrows from its neighbour, which shares whole entries.
  ASSERT_TRUE(FT.Delete(Rec(1)));
  EXPECT_EQ(leafSizes(), (std::vector<int>{7, 7}));
  EXPECT_EQ(FT.Store().BlockCount(), blocks);
  Check();

  // Down to five keys in both: the leaves merge, the absorbed block is released and the root
  // takes the one remaining child's content.
  int32_t next = 2;
  while (FT.Depth == 2) {
    ASSERT_TRUE(FT.Delete(Rec(next++)));
    Check();
  }
  EXPECT_EQ(FT.Root, root);
  EXPECT_EQ(Tree().TotalKeys(), 5);
  EXPECT_EQ(next, 11);
  if (FT.Store().BlockCount() >= 0) {
    EXPECT_EQ(FT.Store().BlockCount(), blocks - 2);
  }
  const std::vector<uint8_t> top = Block(FT.Root);
  EXPECT_EQ(le::GetU32(top.data() + BlkIsLeaf), 1u);
  EXPECT_EQ(le::GetU32(top.data() + BlkNext), 0u);
  EXPECT_EQ(le::GetU32(top.data() + BlkPrior), 0u);
}

TEST_P(BTreeTest, CollectRangeForwardBackwardAndStop) {
  for (int32_t v = 10; v <= 1000; v += 10) Insert(v);
  TCompoundList list;
  ASSERT_EQ(FT.FindAddress(Rec(500), fmExact), AddressOf(500));
  Tree().CollectRange(0, list, fmAtOrAbove, AddressOf(530));
  EXPECT_EQ(list.Keys, (std::vector<uint32_t>{AddressOf(500), AddressOf(510), AddressOf(520),
                                              AddressOf(530)}));
  EXPECT_EQ(list.Values, (std::vector<uint32_t>{50, 51, 52, 53}));

  list.Clear();
  ASSERT_EQ(FT.FindAddress(Rec(500), fmExact), AddressOf(500));
  Tree().CollectRange(0, list, fmBelow, 0);
  ASSERT_EQ(list.Count(), 50);
  for (int i = 0; i < 50; ++i) {
    EXPECT_EQ(list.Key(i), AddressOf(500 - 10 * i));
    EXPECT_EQ(list.Value(i), static_cast<uint32_t>(50 - i));
  }
  EXPECT_FALSE(Tree().PathValid()) << "the walk left the searched leaf";
  EXPECT_FALSE(Tree().Next());
}

TEST_P(BTreeTest, ReadAheadTakesNeighboursFromTheCurrentLeaf) {
  for (int32_t v = 1; v <= 100; ++v) Insert(v);
  TReadAheadBuffer buffer;
  buffer.Setup(8, 15, 1000);
  const struct {
    int Mode;
    int Count;
    int MaxBefore;  // entries taken before the cursor entry at most
    int MaxFrom;    // entries taken from the cursor entry on at most
  } cases[] = {{0, 5, 0, 5}, {1, 5, 4, 1}, {3, 6, 3, 3}, {2, 1, 0, 1}};
  for (const auto& c : cases) {
    ASSERT_EQ(FT.FindAddress(Rec(50), fmExact), AddressOf(50));
    buffer.Empty();
    const int read = Tree().FillReadAhead(c.Mode, c.Count, buffer);
    ASSERT_EQ(read, buffer.Count());
    ASSERT_GT(read, 0) << c.Mode;
    int before = 0;
    int from = 0;
    for (int i = 0; i < read; ++i) {
      const TReadAheadBufferItem& item = buffer.Items(i);
      EXPECT_EQ(item.Address, AddressOf(item.RecNo)) << "mode " << c.Mode;
      if (i > 0) {
        EXPECT_EQ(item.RecNo, buffer.Items(i - 1).RecNo + 1) << "mode " << c.Mode;
      }
      EXPECT_EQ(keyentry::Address(item.KeyBuf), item.Address);
      (item.RecNo < 50 ? before : from) += 1;
    }
    EXPECT_LE(before, c.MaxBefore) << "mode " << c.Mode;
    EXPECT_LE(from, c.MaxFrom) << "mode " << c.Mode;
    EXPECT_GE(from, 1) << "mode " << c.Mode;
    EXPECT_EQ(Tree().GetRecordAddress(), AddressOf(50)) << "the cursor stays";
  }
  TReadAheadBuffer small;
  small.Setup(8, 10, 1000);
  EXPECT_EQ(ErrorOf([&] { Tree().FillReadAhead(0, 3, small); }), 8581);
  Tree().GetAddressByRecNo(3);
  EXPECT_EQ(Tree().FillReadAhead(0, 3, buffer), 0) << "no path, nothing read";
}

TEST_P(BTreeTest, ChangesNeedAMatchingSearch) {
  for (int32_t v = 1; v <= 40; ++v) Insert(v);
  EXPECT_EQ(ErrorOf([&] { Tree().Insert(); }), 8581) << "no search since the last change";
  Tree().SetSearchKeyFromRecord(Rec(100).Bytes(), nullptr);
  EXPECT_NE(Tree().Find(fmExact), 0);
  EXPECT_EQ(ErrorOf([&] { Tree().Delete(); }), 8581) << "the key is not there";
  EXPECT_EQ(Tree().TotalKeys(), 40);
  EXPECT_EQ(ErrorOf([&] { Tree().GetCurrentKeyBuf(); }), 0);
  Tree().SetSearchKeyFromRecord(Rec(5).Bytes(), nullptr);
  EXPECT_EQ(Tree().Find(fmExact), 0);
  Tree().Delete();
  EXPECT_EQ(ErrorOf([&] { Tree().GetCurrentKeyBuf(); }), 8581) << "no cursor after a change";
  Check();
}

TEST_P(BTreeTest, AnotherTreeReadsWhatWasWritten) {
  std::vector<int32_t> values(500);
  std::iota(values.begin(), values.end(), -250);
  std::shuffle(values.begin(), values.end(), std::mt19937(3));
  InsertAll(values);
  TKeyFields keys;
  FLayout.AddKeyFields(keys, false);
  TBTree reader;
  reader.SetKeyFields(keys);
  reader.AllocateKeyBuffers(Tree().MaxKeySize());
  reader.SetSortOrder(soASCII);
  int32_t depth = FT.Depth;
  uint32_t root = FT.Root;
  reader.Attach(&FT.IO(), 256, depth, root);
  reader.Open();
  EXPECT_EQ(reader.TotalKeys(), 500);
  int32_t expected = -250;
  for (bool on = reader.First(); on; on = reader.Next()) {
    ASSERT_EQ(reader.GetRecordAddress(), AddressOf(expected++));
  }
  EXPECT_EQ(expected, 250);
}

TEST_P(BTreeTest, SetUpChecks) {
  TKeyFields keys;
  FLayout.AddKeyFields(keys, false);
  TBTree tree;
  tree.SetKeyFields(keys);
  tree.AllocateKeyBuffers(15);
  int32_t depth = 1;
  uint32_t root = FT.Root;
  EXPECT_EQ(ErrorOf([&] { tree.Attach(&FT.IO(), 16 + 3 * 15, depth, root); }), 8581)
      << "a node must take four entries";
  tree.Attach(&FT.IO(), 256, depth, root);
  EXPECT_EQ(ErrorOf([&] { tree.Open(); }), 8581) << "no sort order";
  tree.SetSortOrder(soANSI);
  EXPECT_EQ(ErrorOf([&] { tree.Open(); }), 0);
}

INSTANTIATE_TEST_SUITE_P(Stores, BTreeTest, testing::Values(TStore::Memory, TStore::Disk),
                         [](const testing::TestParamInfo<TStore>& info) {
                           return std::string(StoreName(info.param));
                         });

// A two-field key: ranges over the first field, with the second marked below every value.
TEST(BTreeRangeTest, ExactRangeStopsAtTheNextGroup) {
  TRecordLayout layout(std::vector<TFieldSpec>{{ftInteger}, {ftInteger}});
  TTestTree t(TStore::Memory, layout, false, 256);
  uint32_t address = 1;
  for (int32_t group = 1; group <= 5; ++group) {
    for (int32_t i = 0; i < 30; ++i) {
      TRecord r(layout);
      r.Int(0, group).Int(1, i);
      ASSERT_TRUE(t.Insert(r, address++));
    }
  }
  TRecord probe(layout);
  probe.Int(0, 3).Int(1, 0);
  const TKeyMarkers below{KeyMarkerValue, KeyMarkerBelow};
  ASSERT_EQ(t.FindAddress(probe, fmAtOrAbove, &below), 61u);
  TCompoundList list;
  t.Tree().CollectRange(1, list, fmExact, 0);
  ASSERT_EQ(list.Count(), 30);
  EXPECT_EQ(list.Key(0), 61u);
  EXPECT_EQ(list.Key(29), 90u);
  EXPECT_EQ(list.Value(0), 61u);
  const TKeyMarkers above{KeyMarkerValue, KeyMarkerAbove};
  EXPECT_EQ(t.FindAddress(probe, fmAtOrBelow, &above), 90u);
}

}  // namespace
