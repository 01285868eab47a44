// In-node operations on small nodes of integer keys: positions, search, cursor, entry edits,
// split, balance, merge, sibling choice and count arithmetic.
#include <gtest/gtest.h>

#include <vector>

#include "IndexTestSupport.h"

namespace {

using namespace index_test;

// Unique integer keys: M = 10 + 1 + 4 = 15; nodes of 256 bytes hold up to 16 entries and are
// full at 15.
constexpr int32_t S = 256;
constexpr int32_t M = 15;

class NodeTest : public testing::Test {
 protected:
  NodeTest()
      : FLayout(std::vector<TFieldSpec>{{ftInteger}}), FTree(TStore::Memory, FLayout, false, S) {}

  TBTree& Tree() { return FTree.Tree(); }
  TBaseIOInterface& IO() { return FTree.IO(); }

  TKeyBuffer Key(int32_t value, uint32_t address = 0, uint32_t count = 0) {
    TKeyBuffer key;
    key.Allocate(M);
    TRecord r(FLayout);
    r.Int(0, value);
    Tree().BuildKey(key, r.Bytes(), nullptr);
    key.SetAddress(address != 0 ? address : 1000 + static_cast<uint32_t>(value));
    key.SetCount(count);
    return key;
  }

  // A node on a fresh block holding the values in order.
  std::unique_ptr<TNode> Node(const std::vector<int32_t>& values, bool leaf = true,
                              const std::vector<uint32_t>& counts = {}) {
    auto node = std::make_unique<TNode>();
    node->Initialize(&Tree(), &IO(), S);
    node->AssignAddress(IO().AllocateNewAddress(S, nullptr));
    node->SetLeaf(leaf);
    for (size_t i = 0; i < values.size(); ++i) {
      node->InsertKey(static_cast<int32_t>(i) * M,
                      Key(values[i], 0, i < counts.size() ? counts[i] : 0));
    }
    return node;
  }

  std::vector<int32_t> Values(const TNode& node) {
    std::vector<int32_t> values;
    for (int32_t pos = 0; pos < node.UsedBytes(); pos += M) {
      values.push_back(static_cast<int32_t>(le::GetU32(node.EntryAt(pos) + 11)));
    }
    return values;
  }

  int FindKey(TNode& node, int32_t value, int32_t& position) {
    TRecord r(FLayout);
    r.Int(0, value);
    Tree().SetSearchKeyFromRecord(r.Bytes(), nullptr);
    return node.FindKey(0, nullptr, Tree().SearchKeyBuf(), position);
  }

  uint32_t HeaderOf(uint32_t address, uint32_t offset) {
    uint8_t header[16];
    IO().ReadBlockHeader(address, 16, header);
    return le::GetU32(header + offset);
  }

  static std::vector<int32_t> Range(int32_t from, int32_t count) {
    std::vector<int32_t> v;
    for (int32_t i = 0; i < count; ++i) v.push_back(from + 10 * i);
    return v;
  }

  TRecordLayout FLayout;
  TTestTree FTree;
};

TEST_F(NodeTest, FindKeyPosModes) {
  auto node = Node({10, 20, 30});  // UsedBytes 45
  const struct {
    int Mode;
    int32_t Pos;
    int32_t Expected;
  } cases[] = {
      {kpContaining, 0, 0},     {kpContaining, 14, 0},    {kpContaining, 15, 15},
      {kpContaining, 44, 30},   {kpContaining, 45, 45},   {kpContaining, 46, -1},
      {kpContaining, -1, 0},    {kpExactStart, 15, 15},   {kpExactStart, 16, -1},
      {kpExactStart, 45, 45},   {kpExactStart, 60, -1},   {kpNextBoundary, 0, 0},
      {kpNextBoundary, 1, 15},  {kpNextBoundary, 15, 15}, {kpNextBoundary, 31, 45},
      {kpNextBoundary, 45, 45}, {kpNextBoundary, 46, -1}, {3, 0, -1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(node->FindKeyPos(c.Mode, c.Pos), c.Expected) << c.Mode << "/" << c.Pos;
  }
}

TEST_F(NodeTest, FindKeyInLeavesAndInternalNodes) {
  int32_t pos = -1;
  auto empty = Node({});
  EXPECT_EQ(FindKey(*empty, 5, pos), 1);
  EXPECT_EQ(pos, 0);
  EXPECT_EQ(empty->Cursor(), 0);

  auto leaf = Node({10, 20, 30});
  const struct {
    int32_t Value;
    int Sign;
    int32_t Cursor;
  } leafCases[] = {{5, -1, 0}, {10, 0, 0}, {15, -1, 15}, {20, 0, 15}, {30, 0, 30}, {40, 1, 45}};
  for (const auto& c : leafCases) {
    const int r = FindKey(*leaf, c.Value, pos);
    EXPECT_EQ((r > 0) - (r < 0), c.Sign) << c.Value;
    EXPECT_EQ(pos, c.Cursor) << c.Value;
    EXPECT_EQ(leaf->Cursor(), c.Cursor) << c.Value;
  }
  // Beyond every key the cursor is past the entries until forced onto the last one.
  FindKey(*leaf, 40, pos);
  leaf->ForceCursorToPhysicalKey();
  EXPECT_EQ(leaf->Cursor(), 30);

  // An internal node leads to the last child whose first key is not above the key.
  auto internal = Node({10, 20, 30}, false, {1, 1, 1});
  const struct {
    int32_t Value;
    int32_t Child;
  } internalCases[] = {{5, 0}, {10, 0}, {15, 0}, {20, 15}, {25, 15}, {30, 30}, {99, 30}};
  for (const auto& c : internalCases) {
    FindKey(*internal, c.Value, pos);
    EXPECT_EQ(pos, c.Child) << c.Value;
  }
}

TEST_F(NodeTest, CursorMoves) {
  auto node = Node({10, 20, 30});
  node->CursorLast();
  EXPECT_EQ(node->Cursor(), 30);
  EXPECT_FALSE(node->NextKey());
  EXPECT_TRUE(node->PriorKey());
  EXPECT_EQ(node->GetRecordAddress(), 1020u);
  EXPECT_TRUE(node->PriorKey());
  EXPECT_FALSE(node->PriorKey());
  EXPECT_EQ(node->Cursor(), 0);
  EXPECT_TRUE(node->NextKey());
  EXPECT_EQ(node->Cursor(), 15);

  auto empty = Node({});
  empty->CursorLast();
  EXPECT_EQ(empty->Cursor(), 0);
  EXPECT_FALSE(empty->NextKey());
  EXPECT_FALSE(empty->PriorKey());
  EXPECT_EQ(ErrorOf([&] { empty->ForceCursorToPhysicalKey(); }), 8581);
  EXPECT_EQ(ErrorOf([&] { empty->GetCurrentKey(); }), 8581);
  EXPECT_EQ(ErrorOf([&] { empty->GetRecordAddress(); }), 8581);
}

TEST_F(NodeTest, EntryEditsKeepOrderAndRefuseBadPositions) {
  auto node = Node({10, 30});
  node->InsertKey(15, Key(20));
  node->InsertKey(45, Key(40));
  EXPECT_EQ(Values(*node), (std::vector<int32_t>{10, 20, 30, 40}));
  EXPECT_EQ(node->KeyCount(), 4);
  EXPECT_EQ(node->ReplaceKey(15, Key(25)), 0);
  node->DeleteKey(0);
  EXPECT_EQ(Values(*node), (std::vector<int32_t>{25, 30, 40}));
  EXPECT_EQ(node->UsedBytes(), 45);
  TKeyBuffer read;
  read.Allocate(M);
  node->ReadKey(30, read);
  EXPECT_EQ(read.Address(), 1040u);

  const struct {
    const char* Name;
    std::function<void()> Edit;
    int Code;
  } bad[] = {
      {"read before", [&] { node->ReadKey(-15, read); }, 8581},
      {"read at end", [&] { node->ReadKey(45, read); }, 8581},
      {"read inside an entry", [&] { node->ReadKey(7, read); }, 8581},
      {"delete at end", [&] { node->DeleteKey(45); }, 8581},
      {"insert inside an entry", [&] { node->InsertKey(7, Key(1)); }, 8581},
      {"insert past the end", [&] { node->InsertKey(60, Key(1)); }, 8581},
      {"replace at end", [&] { node->ReplaceKey(45, Key(1)); }, 8581},
      {"move left past the start", [&] { node->MoveBlock(10, 15, false); }, 8581},
  };
  for (const auto& c : bad) EXPECT_EQ(ErrorOf(c.Edit), c.Code) << c.Name;
  EXPECT_EQ(Values(*node), (std::vector<int32_t>{25, 30, 40})) << "nothing changed";

  TKeyBuffer shortKey = Key(1);
  shortKey.SetEntryLength(M - 1);
  EXPECT_EQ(ErrorOf([&] { node->InsertKey(0, shortKey); }), 8581);
  // A node whose key area is taken up completely cannot take one more entry.
  auto packed = Node(Range(0, 16));
  EXPECT_EQ(packed->UsedBytes(), S - 16);
  EXPECT_EQ(ErrorOf([&] { packed->InsertKey(0, Key(-1)); }), 8965);
}

TEST_F(NodeTest, CapacityRules) {
  EXPECT_FALSE(Node(Range(0, 14))->IsFull());
  EXPECT_TRUE(Node(Range(0, 15))->IsFull());
  EXPECT_TRUE(Node(Range(0, 7))->IsUnderfull());   // 105 + 16 < 128
  EXPECT_FALSE(Node(Range(0, 8))->IsUnderfull());  // 120 + 16
  EXPECT_TRUE(Node({})->IsEmpty());
}

TEST_F(NodeTest, SplitLeavesHalfAndRelinksTheLeaves) {
  for (int n : {15, 14}) {
    auto left = Node(Range(0, n));
    auto right = Node({1000});
    left->SetNextLeaf(right->Address());
    right->SetPriorLeaf(left->Address());
    left->WriteNode();
    right->WriteNode();

    auto upper = std::make_unique<TNode>();
    upper->Initialize(&Tree(), &IO(), S);
    const uint32_t address = IO().AllocateNewAddress(S, nullptr);
    upper->AssignAddress(address);
    left->SplitNode(*upper, address);
    EXPECT_EQ(left->KeyCount(), n / 2) << n;
    EXPECT_EQ(upper->KeyCount(), n - n / 2) << n;
    EXPECT_EQ(Values(*upper).front(), 10 * (n / 2));
    EXPECT_TRUE(upper->IsLeaf());
    EXPECT_EQ(left->NextLeaf(), address);
    EXPECT_EQ(upper->PriorLeaf(), left->Address());
    EXPECT_EQ(upper->NextLeaf(), right->Address());
    EXPECT_EQ(HeaderOf(right->Address(), 12), address) << "old neighbour's prior link";
  }

  // Internal nodes keep their header as it was.
  auto internal = Node(Range(0, 15), false, std::vector<uint32_t>(15, 2));
  internal->SetNextLeaf(77);
  auto upper = std::make_unique<TNode>();
  upper->Initialize(&Tree(), &IO(), S);
  const uint32_t address = IO().AllocateNewAddress(S, nullptr);
  upper->AssignAddress(address);
  internal->SplitNode(*upper, address);
  EXPECT_FALSE(upper->IsLeaf());
  EXPECT_EQ(upper->NextLeaf(), 77u);
  EXPECT_EQ(internal->NextLeaf(), 77u);

  auto empty = Node({});
  EXPECT_EQ(ErrorOf([&] { empty->SplitNode(*upper, address); }), 8581);
}

TEST_F(NodeTest, BalanceMergesSmallPairsAndSharesWholeEntries) {
  // S / 3 = 85.3 bytes: up to five entries together ask for a merge.
  const struct {
    int Left;
    int Right;
    int Result;
    int LeftAfter;
    int RightAfter;
  } cases[] = {
      {2, 3, -1, 2, 3}, {0, 5, -1, 0, 5}, {3, 3, 0, 3, 3}, {10, 2, 1, 6, 6},
      {2, 10, 1, 6, 6}, {7, 2, 1, 4, 5},  {0, 6, 1, 3, 3}, {9, 8, 1, 8, 9},
  };
  for (const auto& c : cases) {
    auto left = Node(Range(0, c.Left));
    auto right = Node(Range(1000, c.Right));
    std::vector<int32_t> all = Values(*left);
    for (int32_t v : Values(*right)) all.push_back(v);
    EXPECT_EQ(left->BalanceWith(*right), c.Result) << c.Left << "+" << c.Right;
    EXPECT_EQ(left->KeyCount(), c.LeftAfter) << c.Left << "+" << c.Right;
    EXPECT_EQ(right->KeyCount(), c.RightAfter) << c.Left << "+" << c.Right;
    std::vector<int32_t> after = Values(*left);
    for (int32_t v : Values(*right)) after.push_back(v);
    EXPECT_EQ(after, all) << "order kept";
  }
}

TEST_F(NodeTest, MergeTakesAllEntriesAndTheOuterLinks) {
  // Four leaves a - b - c - d; b absorbs c (right), then b absorbs a (left).
  auto a = Node({1, 2});
  auto b = Node({10, 11});
  auto c = Node({20, 21});
  auto d = Node({30});
  const std::vector<TNode*> chain = {a.get(), b.get(), c.get(), d.get()};
  for (size_t i = 0; i < chain.size(); ++i) {
    chain[i]->SetPriorLeaf(i > 0 ? chain[i - 1]->Address() : 0);
    chain[i]->SetNextLeaf(i + 1 < chain.size() ? chain[i + 1]->Address() : 0);
    chain[i]->WriteNode();
  }
  b->MergeNodes(*c, true);
  EXPECT_EQ(Values(*b), (std::vector<int32_t>{10, 11, 20, 21}));
  EXPECT_EQ(b->NextLeaf(), d->Address());
  EXPECT_EQ(HeaderOf(d->Address(), 12), b->Address());
  b->MergeNodes(*a, false);
  EXPECT_EQ(Values(*b), (std::vector<int32_t>{1, 2, 10, 11, 20, 21}));
  EXPECT_EQ(b->PriorLeaf(), 0u);

  // Leaves that are not neighbours are not merged.
  auto e = Node({40});
  EXPECT_EQ(ErrorOf([&] { b->MergeNodes(*e, true); }), 8965);
  // Two nodes that would overfill one block fail the consistency check.
  auto big = Node(Range(0, 10), false);
  auto other = Node(Range(500, 7), false);
  EXPECT_EQ(ErrorOf([&] { big->MergeNodes(*other, true); }), -1);
}

TEST_F(NodeTest, SiblingToJoinPrefersTheSmallerSubtree) {
  auto parent = Node({10, 20, 30, 40}, false, {5, 3, 3, 9});
  const struct {
    int32_t Pos;
    int32_t Expected;
  } cases[] = {{0, 15}, {15, 30}, {30, 15}, {45, 30}, {7, -1}, {60, -1}};
  for (const auto& c : cases) EXPECT_EQ(parent->SiblingToJoin(c.Pos), c.Expected) << c.Pos;
  EXPECT_EQ(Node({10, 20}, true)->SiblingToJoin(0), -1) << "leaf";
  EXPECT_EQ(Node({10}, false, {4})->SiblingToJoin(0), -1) << "single child";
}

TEST_F(NodeTest, CountsAndOrdinals) {
  auto internal = Node({10, 20, 30}, false, {3, 4, 5});
  EXPECT_EQ(internal->CountUpTo(-1), 12);
  EXPECT_EQ(internal->CountUpTo(0), 3);
  EXPECT_EQ(internal->CountUpTo(15), 7);
  EXPECT_EQ(internal->CountUpTo(29), 7);
  EXPECT_EQ(internal->CountUpTo(999), 12);
  const struct {
    int64_t N;
    uint32_t Address;
    int64_t Before;
  } cases[] = {{-4, 1010, 0}, {0, 1010, 0}, {1, 1010, 0},  {3, 1010, 0},  {4, 1020, 3},
               {7, 1020, 3},  {8, 1030, 7}, {12, 1030, 7}, {13, 1030, 7}, {99, 1030, 7}};
  for (const auto& c : cases) {
    int64_t before = -1;
    EXPECT_EQ(internal->FindByOrdinal(c.N, before), c.Address) << c.N;
    EXPECT_EQ(before, c.Before) << c.N;
  }
  auto leaf = Node({10, 20, 30});
  int64_t before = -1;
  EXPECT_EQ(leaf->CountUpTo(15), 2);
  EXPECT_EQ(leaf->FindByOrdinal(2, before), 1020u);
  EXPECT_EQ(before, 1);
  EXPECT_EQ(Node({})->CountUpTo(-1), 0);
  EXPECT_EQ(Node({})->FindByOrdinal(1, before), 0u);
}

TEST_F(NodeTest, LoadBlockReadsOnlyANewAddressAndChecksIt) {
  auto node = Node({10, 20});
  node->WriteNode();
  const uint32_t address = node->Address();
  auto reader = std::make_unique<TNode>();
  reader->Initialize(&Tree(), &IO(), S);
  reader->LoadBlock(address);
  EXPECT_EQ(Values(*reader), (std::vector<int32_t>{10, 20}));

  auto changed = Node({10, 20, 30});
  std::vector<uint8_t> image(changed->Block(), changed->Block() + S);
  IO().WriteBlock(address, S, image.data());
  reader->LoadBlock(address);
  EXPECT_EQ(reader->KeyCount(), 2) << "the held block is not read again";
  reader->AssignAddress(0);
  reader->LoadBlock(address);
  EXPECT_EQ(reader->KeyCount(), 3);

  le::PutU32(image.data() + 4, 44);  // not a whole number of entries
  IO().WriteBlock(address, S, image.data());
  reader->AssignAddress(0);
  EXPECT_EQ(ErrorOf([&] { reader->LoadBlock(address); }), 8965);
  EXPECT_EQ(reader->Address(), 0u) << "a refused image is not held";
}

}  // namespace
