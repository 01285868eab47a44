// Thousands of inserts and deletes in random order against a std::multimap of the visible keys
// (equal keys in the order of their record ids, as the hidden record-id field orders them).
// Small nodes make the trees four and more levels deep, so root splits, borrowing, merging and
// root collapses all happen; after every batch the whole tree on file, its counts, ordinals,
// leaf chain, navigation and find modes are checked.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "IndexTestSupport.h"

namespace {

using namespace index_test;

enum class TKind { IntAscending, IntDescending, StringUnique };

struct TRandomCase {
  TKind Kind;
  TStore Store;
  int32_t NodeSize;
  int MinDepth;  // the depth the run must reach
};

void PrintTo(const TRandomCase& c, std::ostream* os) {
  *os << static_cast<int>(c.Kind) << StoreName(c.Store) << c.NodeSize;
}

std::string CaseName(const testing::TestParamInfo<TRandomCase>& info) {
  const char* kind = info.param.Kind == TKind::IntAscending    ? "IntAscending"
                     : info.param.Kind == TKind::IntDescending ? "IntDescending"
                                                               : "StringUnique";
  return std::string(kind) + StoreName(info.param.Store) + std::to_string(info.param.NodeSize);
}

// Visible key in tree order: (number, text).
using TOrderKey = std::pair<int64_t, std::string>;

struct TLive {
  int64_t Value = 0;
  std::string Text;
  uint32_t RecordId = 0;
  uint32_t Address = 0;
};

class BTreeRandomTest : public testing::TestWithParam<TRandomCase> {
 protected:
  BTreeRandomTest()
      : FKind(GetParam().Kind),
        FLayout(FKind == TKind::StringUnique
                    ? std::vector<TFieldSpec>{{ftString, 20}}
                    : std::vector<TFieldSpec>{{ftInteger, 4, FKind == TKind::IntDescending}}),
        FTree(GetParam().Store, FLayout, FKind != TKind::StringUnique, GetParam().NodeSize, soASCII,
              FKind == TKind::IntDescending) {}

  TOrderKey OrderKey(const TLive& e) const {
    switch (FKind) {
      case TKind::IntAscending:
        return {e.Value, ""};
      case TKind::IntDescending:
        return {-e.Value, ""};
      default:
        return {0, e.Text};
    }
  }

  TRecord RecordOf(const TLive& e) const {
    TRecord r(FLayout, e.RecordId);
    if (FKind == TKind::StringUnique) {
      r.Str(0, e.Text);
    } else {
      r.Int(0, e.Value);
    }
    return r;
  }

  TLive RandomEntry() {
    TLive e;
    e.RecordId = ++FLastRecordId;
    e.Address = 0x1000 + e.RecordId * 8;
    if (FKind == TKind::StringUnique) {
      const int length = std::uniform_int_distribution<int>(0, 8)(FRandom);
      for (int i = 0; i < length; ++i) {
        e.Text += static_cast<char>('a' + std::uniform_int_distribution<int>(0, 5)(FRandom));
      }
      return e;
    }
    const int pick = std::uniform_int_distribution<int>(0, 19)(FRandom);
    if (pick == 0) {
      e.Value = std::numeric_limits<int32_t>::min();
    } else if (pick == 1) {
      e.Value = std::numeric_limits<int32_t>::max();
    } else {
      e.Value = std::uniform_int_distribution<int>(-300, 300)(FRandom);
    }
    return e;
  }

  void InsertOne() {
    TLive e = RandomEntry();
    const bool present = FOracle.count(OrderKey(e)) != 0;
    const bool inserted = FTree.Insert(RecordOf(e), e.Address);
    if (FKind == TKind::StringUnique) {
      ASSERT_EQ(inserted, !present) << "key '" << e.Text << "'";
      if (!inserted) return;
    } else {
      ASSERT_TRUE(inserted);
    }
    // Among equal visible keys the record id orders: ascending, or descending with the key.
    if (FKind == TKind::IntDescending) {
      FOracle.emplace_hint(FOracle.lower_bound(OrderKey(e)), OrderKey(e), e.Address);
    } else {
      FOracle.emplace(OrderKey(e), e.Address);
    }
    FLive.push_back(e);
  }

  void DeleteOne() {
    const size_t i = std::uniform_int_distribution<size_t>(0, FLive.size() - 1)(FRandom);
    const TLive e = FLive[i];
    FLive[i] = FLive.back();
    FLive.pop_back();
    ASSERT_TRUE(FTree.Delete(RecordOf(e))) << "record " << e.RecordId;
    auto [from, to] = FOracle.equal_range(OrderKey(e));
    for (; from != to && from->second != e.Address; ++from) {
    }
    ASSERT_NE(from, to);
    FOracle.erase(from);
  }

  std::vector<uint32_t> Expected() const {
    std::vector<uint32_t> addresses;
    for (const auto& [key, address] : FOracle) addresses.push_back(address);
    return addresses;
  }

  void CheckAll() {
    TBTree& tree = FTree.Tree();
    const TTreeShape shape = TTreeChecker(FTree).Check();
    ASSERT_FALSE(HasFailure());
    const std::vector<uint32_t> expected = Expected();
    ASSERT_EQ(shape.LeafAddresses, expected);
    ASSERT_EQ(FTree.Root, FRoot) << "the root block moved";
    FMaxDepth = std::max(FMaxDepth, FTree.Depth);
    if (FTree.Depth > 1) FMinEntriesSeen = std::min(FMinEntriesSeen, shape.MinEntries);
    if (FTree.Store().BlockCount() >= 0) {
      ASSERT_EQ(FTree.Store().BlockCount(), shape.Nodes) << "blocks leaked or lost";
    }
    const auto n = static_cast<int64_t>(expected.size());
    ASSERT_EQ(tree.TotalKeys(), n);

    // Ordinals both ways.
    for (int64_t k = 1; k <= n; ++k) ASSERT_EQ(tree.GetAddressByRecNo(k), expected[k - 1]) << k;
    if (n > 0) {
      EXPECT_EQ(tree.GetAddressByRecNo(0), expected[0]);
      EXPECT_EQ(tree.GetAddressByRecNo(n + 5), expected[n - 1]);
    }
    std::map<uint32_t, int64_t> ordinalOf;
    for (int64_t k = 0; k < n; ++k) ordinalOf[expected[k]] = k + 1;
    const size_t stride = std::max<size_t>(1, FLive.size() / 150);
    for (size_t i = 0; i < FLive.size(); i += stride) {
      ASSERT_EQ(FTree.FindAddress(RecordOf(FLive[i]), fmExact), FLive[i].Address);
      ASSERT_EQ(tree.GetRecNo(), ordinalOf[FLive[i].Address]);
    }

    // Navigation over the whole chain, both ways; GetRecNo stays right across leaves.
    std::vector<uint32_t> forward;
    for (bool on = tree.First(); on; on = tree.Next()) {
      forward.push_back(tree.GetRecordAddress());
      ASSERT_EQ(tree.GetRecNo(), static_cast<int64_t>(forward.size()));
    }
    ASSERT_EQ(forward, expected);
    std::vector<uint32_t> backward;
    for (bool on = tree.Last(); on; on = tree.Prior()) backward.push_back(tree.GetRecordAddress());
    std::reverse(backward.begin(), backward.end());
    ASSERT_EQ(backward, expected);

    CheckFindModes(expected);
  }

  // Probes with a visible key only: the hidden record id marked below or above every value,
  // as datasets search non-unique indexes; the unique index takes whole keys.
  void CheckFindModes(const std::vector<uint32_t>& expected) {
    const auto n = static_cast<int64_t>(expected.size());
    for (int probe = 0; probe < 8; ++probe) {
      TLive p = RandomEntry();
      --FLastRecordId;
      const TOrderKey key = OrderKey(p);
      const int64_t lower = std::distance(FOracle.begin(), FOracle.lower_bound(key));
      const int64_t upper = std::distance(FOracle.begin(), FOracle.upper_bound(key));
      for (int32_t marker : {KeyMarkerBelow, KeyMarkerAbove, KeyMarkerValue}) {
        if (FKind != TKind::StringUnique && marker == KeyMarkerValue) continue;
        if (FKind == TKind::StringUnique && marker != KeyMarkerValue) continue;
        const TKeyMarkers markers{KeyMarkerValue, marker};
        // Where the probe sorts: before the equal keys, after them, or on the one equal key.
        const int64_t before = marker == KeyMarkerAbove ? upper : lower;
        const bool equal = marker == KeyMarkerValue && upper > lower;
        const int64_t after = equal ? upper : before;
        auto at = [&](int64_t i) -> uint32_t { return i >= 0 && i < n ? expected[i] : 0; };
        const struct {
          int Mode;
          uint32_t Address;
        } cases[] = {
            {fmBelow, at(before - 1)},
            {fmAtOrBelow, equal ? at(before) : at(before - 1)},
            {fmExact, equal ? at(before) : 0},
            {fmAtOrAbove, at(before)},
            {fmAbove, at(after)},
            {fmNearest, before < n ? at(before) : at(n - 1)},
        };
        for (const auto& c : cases) {
          ASSERT_EQ(FTree.FindAddress(RecordOf(p), c.Mode, &markers), c.Address)
              << "mode " << c.Mode << " marker " << marker << " value " << p.Value << " text '"
              << p.Text << "'";
        }
      }
      if (FKind != TKind::StringUnique) {
        // Only the visible field counts: any record of that value will do.
        const uint32_t found = FTree.FindAddress(RecordOf(p), fmExactVisible);
        EXPECT_EQ(found != 0, upper > lower);
        if (found != 0) {
          auto [from, to] = FOracle.equal_range(key);
          EXPECT_TRUE(std::any_of(from, to, [&](const auto& e) { return e.second == found; }));
        }
      }
    }
  }

  TKind FKind;
  TRecordLayout FLayout;
  TTestTree FTree;
  std::mt19937 FRandom{20240611};
  std::multimap<TOrderKey, uint32_t> FOracle;
  std::vector<TLive> FLive;
  uint32_t FLastRecordId = 0;
  uint32_t FRoot = 0;
  int32_t FMaxDepth = 0;
  int FMinEntriesSeen = 1 << 30;
};

TEST_P(BTreeRandomTest, InsertsAndDeletesAgreeWithTheModel) {
  FRoot = FTree.Root;
  constexpr int Batch = 64;
  constexpr int GrowOperations = 4000;
  // Grow with mostly inserts, shrink with mostly deletes, then delete what is left.
  for (int op = 1; op <= 2 * GrowOperations; ++op) {
    const int insertPercent = op <= GrowOperations ? 70 : 30;
    if (FLive.empty() || std::uniform_int_distribution<int>(0, 99)(FRandom) < insertPercent) {
      ASSERT_NO_FATAL_FAILURE(InsertOne());
    } else {
      ASSERT_NO_FATAL_FAILURE(DeleteOne());
    }
    if (op % Batch == 0) {
      ASSERT_NO_FATAL_FAILURE(CheckAll()) << "after operation " << op;
    }
  }
  int step = 0;
  while (!FLive.empty()) {
    ASSERT_NO_FATAL_FAILURE(DeleteOne());
    if (++step % Batch == 0) {
      ASSERT_NO_FATAL_FAILURE(CheckAll());
    }
  }
  ASSERT_NO_FATAL_FAILURE(CheckAll());
  EXPECT_GE(FMaxDepth, GetParam().MinDepth);
  EXPECT_EQ(FTree.Depth, 1) << "every level collapsed again";
  EXPECT_EQ(FTree.Tree().TotalKeys(), 0);
  if (FKind == TKind::StringUnique) {
    // Keys this large leave some nodes with a single entry, whose only child can run empty.
    EXPECT_EQ(FMinEntriesSeen, 1);
  }
}

INSTANTIATE_TEST_SUITE_P(Trees, BTreeRandomTest,
                         testing::Values(TRandomCase{TKind::IntAscending, TStore::Memory, 256, 4},
                                         TRandomCase{TKind::IntAscending, TStore::Disk, 256, 4},
                                         TRandomCase{TKind::IntDescending, TStore::Memory, 320, 4},
                                         TRandomCase{TKind::IntDescending, TStore::Disk, 320, 4},
                                         TRandomCase{TKind::StringUnique, TStore::Memory, 256, 4},
                                         TRandomCase{TKind::StringUnique, TStore::Disk, 256, 4}),
                         CaseName);

}  // namespace
