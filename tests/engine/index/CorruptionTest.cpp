// Damaged index blocks and roots: every kind of damage must surface as 8965 ("Index is
// corrupt") from the operation that meets it, never as a read outside a buffer, a write into
// a foreign block or an endless walk.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "IndexTestSupport.h"
#include "engine/storage/CompoundList.h"

namespace {

using namespace index_test;

constexpr int32_t S = 256;
constexpr int32_t M = 15;

// A tree of the keys 10, 20, ..., 4000 with helpers to reach and damage its blocks.
class TDamagedTree {
 public:
  explicit TDamagedTree(TStore store)
      : FLayout(std::vector<TFieldSpec>{{ftInteger}}), T(store, FLayout, false, S) {
    for (int32_t v = 10; v <= 4000; v += 10) T.Insert(Rec(v), Address(v));
  }

  TRecord Rec(int32_t v) const {
    TRecord r(FLayout);
    r.Int(0, v);
    return r;
  }
  static uint32_t Address(int32_t v) { return 0x20000 + static_cast<uint32_t>(v); }

  uint32_t Child(uint32_t node, int i) {
    return le::GetU32(T.ReadBlock(node).data() + BlkEntries + i * M + EntAddress);
  }
  // The first node of a level down the leftmost path (0 = root).
  uint32_t Leftmost(int level) {
    uint32_t address = T.Root;
    for (int i = 0; i < level; ++i) address = Child(address, 0);
    return address;
  }
  uint32_t FirstLeaf() { return Leftmost(T.Depth - 1); }
  uint32_t NextLeaf(uint32_t leaf) { return le::GetU32(T.ReadBlock(leaf).data() + BlkNext); }
  uint32_t LastLeaf() {
    uint32_t leaf = FirstLeaf();
    while (NextLeaf(leaf) != 0) leaf = NextLeaf(leaf);
    return leaf;
  }
  void Put32(uint32_t block, uint32_t offset, uint32_t value) {
    std::vector<uint8_t> b = T.ReadBlock(block);
    le::PutU32(b.data() + offset, value);
    T.WriteBlock(block, b);
  }
  void Put16(uint32_t block, uint32_t offset, uint16_t value) {
    std::vector<uint8_t> b = T.ReadBlock(block);
    le::PutU16(b.data() + offset, value);
    T.WriteBlock(block, b);
  }

  TRecordLayout FLayout;
  TTestTree T;
};

enum class TOp { Find, Walk, WalkBack, Collect, Ordinal, Delete, InsertUntilSplit };

void RunOperation(TDamagedTree& d, TOp op) {
  TBTree& tree = d.T.Tree();
  switch (op) {
    case TOp::Find:
      d.T.FindAddress(d.Rec(10), fmExact);
      break;
    case TOp::Walk:
      for (bool on = tree.First(); on; on = tree.Next()) {
      }
      break;
    case TOp::WalkBack:
      for (bool on = tree.Last(); on; on = tree.Prior()) {
      }
      break;
    case TOp::Collect: {
      TCompoundList list;
      d.T.FindAddress(d.Rec(10), fmExact);
      tree.CollectRange(0, list, fmAtOrAbove, 0);
      break;
    }
    case TOp::Ordinal:
      tree.GetAddressByRecNo(1);
      break;
    case TOp::Delete:
      d.T.Delete(d.Rec(10));
      break;
    case TOp::InsertUntilSplit:
      for (int32_t v = 11; v < 30; ++v) {
        if (v != 20) d.T.Insert(d.Rec(v), TDamagedTree::Address(v));
      }
      break;
  }
}

struct TDamageCase {
  const char* Name;
  std::function<void(TDamagedTree&)> Damage;
  TOp Op;
};

const std::vector<TDamageCase>& Cases() {
  static const std::vector<TDamageCase> cases = {
      {"UsedBytesPastTheNode", [](TDamagedTree& d) { d.Put32(d.T.Root, BlkUsed, S); }, TOp::Find},
      {"UsedBytesHuge", [](TDamagedTree& d) { d.Put32(d.T.Root, BlkUsed, 0x7FFFFFF0); }, TOp::Find},
      {"UsedBytesNegative", [](TDamagedTree& d) { d.Put32(d.FirstLeaf(), BlkUsed, -15u); },
       TOp::Find},
      {"UsedBytesNotWholeEntries", [](TDamagedTree& d) { d.Put32(d.FirstLeaf(), BlkUsed, 44); },
       TOp::Find},
      {"EntryLengthNotTheKeySize",
       [](TDamagedTree& d) { d.Put16(d.FirstLeaf(), BlkEntries + M + EntLength, 14); }, TOp::Find},
      {"LeafFlagNeitherZeroNorOne", [](TDamagedTree& d) { d.Put32(d.Leftmost(1), BlkIsLeaf, 7); },
       TOp::Find},
      {"ChildOffABlockBoundary",
       [](TDamagedTree& d) {
         d.Put32(d.T.Root, BlkEntries + EntAddress, d.Child(d.T.Root, 0) + 1);
       },
       TOp::Find},
      {"ChildPastTheEndOfTheFile",
       [](TDamagedTree& d) { d.Put32(d.T.Root, BlkEntries + EntAddress, 0x7FFFF000); }, TOp::Find},
      {"ChildZero", [](TDamagedTree& d) { d.Put32(d.T.Root, BlkEntries + EntAddress, 0); },
       TOp::Find},
      {"ChildIsItsParent",
       [](TDamagedTree& d) { d.Put32(d.T.Root, BlkEntries + EntAddress, d.T.Root); }, TOp::Find},
      {"ChildOfTheOrdinalWalk",
       [](TDamagedTree& d) { d.Put32(d.T.Root, BlkEntries + EntAddress, 0x7FFFF000); },
       TOp::Ordinal},
      {"LeafWhereAnInternalNodeBelongs",
       [](TDamagedTree& d) { d.Put32(d.Leftmost(1), BlkIsLeaf, 1); }, TOp::Find},
      {"InternalNodeWhereALeafBelongs",
       [](TDamagedTree& d) { d.Put32(d.FirstLeaf(), BlkIsLeaf, 0); }, TOp::Find},
      {"EmptyInternalNode", [](TDamagedTree& d) { d.Put32(d.Leftmost(1), BlkUsed, 0); }, TOp::Find},
      {"EmptyLeafBelowTheRoot", [](TDamagedTree& d) { d.Put32(d.FirstLeaf(), BlkUsed, 0); },
       TOp::Find},
      {"EmptyInternalRoot", [](TDamagedTree& d) { d.Put32(d.T.Root, BlkUsed, 0); }, TOp::Find},
      {"DepthTooLarge", [](TDamagedTree& d) { d.T.Depth += 1; }, TOp::Find},
      {"DepthTooSmall", [](TDamagedTree& d) { d.T.Depth -= 1; }, TOp::Find},
      {"DepthZero", [](TDamagedTree& d) { d.T.Depth = 0; }, TOp::Find},
      {"DepthHuge", [](TDamagedTree& d) { d.T.Depth = 1000000; }, TOp::Find},
      {"RootNotABlock", [](TDamagedTree& d) { d.T.Root += 3; }, TOp::Find},
      {"RootZero", [](TDamagedTree& d) { d.T.Root = 0; }, TOp::Ordinal},
      {"NextLeafIsItself", [](TDamagedTree& d) { d.Put32(d.FirstLeaf(), BlkNext, d.FirstLeaf()); },
       TOp::Walk},
      {"NextLeafDoesNotLinkBack",
       [](TDamagedTree& d) {
         const uint32_t first = d.FirstLeaf();
         d.Put32(first, BlkNext, d.NextLeaf(d.NextLeaf(first)));
       },
       TOp::Walk},
      {"NextLeafIsAnInternalNode",
       [](TDamagedTree& d) { d.Put32(d.FirstLeaf(), BlkNext, d.Leftmost(1)); }, TOp::Walk},
      {"NextLeafOffTheFile", [](TDamagedTree& d) { d.Put32(d.FirstLeaf(), BlkNext, 0x7FFFF000); },
       TOp::Walk},
      {"PriorLeafDoesNotLinkBack",
       [](TDamagedTree& d) { d.Put32(d.LastLeaf(), BlkPrior, d.FirstLeaf()); }, TOp::WalkBack},
      {"LeafChainInACircleWalked",
       [](TDamagedTree& d) {
         const uint32_t first = d.FirstLeaf();
         const uint32_t last = d.LastLeaf();
         d.Put32(last, BlkNext, first);
         d.Put32(first, BlkPrior, last);
       },
       TOp::Walk},
      {"LeafChainInACircleCollected",
       [](TDamagedTree& d) {
         const uint32_t first = d.FirstLeaf();
         const uint32_t last = d.LastLeaf();
         d.Put32(last, BlkNext, first);
         d.Put32(first, BlkPrior, last);
       },
       TOp::Collect},
      {"SplitNeighbourDoesNotLinkBack",
       [](TDamagedTree& d) { d.Put32(d.NextLeaf(d.FirstLeaf()), BlkPrior, 0); },
       TOp::InsertUntilSplit},
      {"DeleteMeetsAForeignSibling",
       [](TDamagedTree& d) {
         // The first leaf's right sibling entry in its parent names an internal node.
         const uint32_t parent = d.Leftmost(d.T.Depth - 2);
         d.Put32(parent, BlkEntries + M + EntAddress, d.Leftmost(d.T.Depth - 2));
         // Make the first leaf underfull on the next deletion.
         std::vector<uint8_t> leaf = d.T.ReadBlock(d.FirstLeaf());
         le::PutU32(leaf.data() + BlkUsed, 2 * M);
         d.T.WriteBlock(d.FirstLeaf(), leaf);
       },
       TOp::Delete},
  };
  return cases;
}

struct TDamageParam {
  size_t Case;
  TStore Store;
};

void PrintTo(const TDamageParam& p, std::ostream* os) {
  *os << Cases()[p.Case].Name << StoreName(p.Store);
}

class CorruptionTest : public testing::TestWithParam<TDamageParam> {};

TEST_P(CorruptionTest, DamageIsReportedAsACorruptIndex) {
  const TDamageCase& c = Cases()[GetParam().Case];
  TDamagedTree d(GetParam().Store);
  ASSERT_GE(d.T.Depth, 3);
  c.Damage(d);
  d.T.Tree().InvalidateNodes();
  EXPECT_EQ(ErrorOf([&] { RunOperation(d, c.Op); }), 8965);
}

std::vector<TDamageParam> AllParams() {
  std::vector<TDamageParam> params;
  for (size_t i = 0; i < Cases().size(); ++i) {
    params.push_back({i, TStore::Memory});
    params.push_back({i, TStore::Disk});
  }
  return params;
}

INSTANTIATE_TEST_SUITE_P(Damage, CorruptionTest, testing::ValuesIn(AllParams()),
                         [](const testing::TestParamInfo<TDamageParam>& info) {
                           return std::string(Cases()[info.param.Case].Name) +
                                  StoreName(info.param.Store);
                         });

// Key data inside an entry that claims more bytes than the entry has.
TEST(CorruptKeyDataTest, StringLengthRunningPastTheEntry) {
  TRecordLayout layout(std::vector<TFieldSpec>{{ftString, 12}});
  TTestTree t(TStore::Memory, layout, false, 256);
  for (const char* s : {"apple", "banana", "cherry"}) {
    TRecord r(layout);
    r.Str(0, s);
    ASSERT_TRUE(t.Insert(r, 100));
  }
  std::vector<uint8_t> block = t.ReadBlock(t.Root);
  for (int e = 0; e < 3; ++e) le::PutU16(block.data() + BlkEntries + e * t.M() + 11, 250);
  t.WriteBlock(t.Root, block);
  TRecord probe(layout);
  probe.Str(0, "banana");
  EXPECT_EQ(ErrorOf([&] { t.FindAddress(probe, fmExact); }), 8965);
}

// The intact tree still works after a damaged block was refused and repaired.
TEST(CorruptionRecoveryTest, ARefusedBlockIsReadAgainOnceRepaired) {
  TDamagedTree d(TStore::Memory);
  const uint32_t leaf = d.FirstLeaf();
  const std::vector<uint8_t> good = d.T.ReadBlock(leaf);
  d.Put32(leaf, BlkUsed, 44);
  EXPECT_EQ(ErrorOf([&] { d.T.FindAddress(d.Rec(10), fmExact); }), 8965);
  d.T.WriteBlock(leaf, good);
  EXPECT_EQ(d.T.FindAddress(d.Rec(10), fmExact), TDamagedTree::Address(10));
}

}  // namespace
