// Key order: one table of cases, each checked through all three ways a tree compares (entry
// against entry, and a prepared search key from a record and from a key entry against an
// entry), which must agree. Then key building, the key-field set-up checks, and the key-field
// collection.
#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "IndexTestSupport.h"
#include "engine/index/KeyLayout.h"

namespace {

using namespace index_test;

constexpr int32_t IntMax = std::numeric_limits<int32_t>::max();
constexpr int32_t IntMin = std::numeric_limits<int32_t>::min();

using TFill = std::function<void(TRecord&)>;

struct TCompareCase {
  const char* Name;
  std::vector<TFieldSpec> Fields;
  TFill Q;       // the search key's record
  TFill P;       // the stored entry's record
  int Expected;  // sign of (Q - P)
  TKeyMarkers MarkersQ = {};
  TSortOrder Order = soASCII;
};

TFieldSpec Str(int32_t size, bool descending = false, bool caseInsensitive = false) {
  return {ftString, size, descending, caseInsensitive};
}
TFieldSpec Fix(TFieldType type, bool descending = false) {
  return {type, 0, descending};
}

// Windows-1250: "ą" is 0xB9, "Ł" 0xA3.
const std::string AOgonek = "\xB9";
const std::string LStroke = "\xA3";

const std::vector<TCompareCase>& Cases() {
  static const std::vector<TCompareCase> cases = {
      {"IntegerLess",
       {Fix(ftInteger)},
       [](TRecord& r) { r.Int(0, 1); },
       [](TRecord& r) { r.Int(0, 2); },
       -1},
      {"IntegerEqual",
       {Fix(ftInteger)},
       [](TRecord& r) { r.Int(0, -7); },
       [](TRecord& r) { r.Int(0, -7); },
       0},
      {"IntegerExtremes",
       {Fix(ftInteger)},
       [](TRecord& r) { r.Int(0, IntMax); },
       [](TRecord& r) { r.Int(0, IntMin); },
       1},
      {"IntegerExtremesReversed",
       {Fix(ftInteger)},
       [](TRecord& r) { r.Int(0, IntMin); },
       [](TRecord& r) { r.Int(0, IntMax); },
       -1},
      {"AutoIncExtremes",
       {Fix(ftAutoInc)},
       [](TRecord& r) { r.Int(0, IntMax); },
       [](TRecord& r) { r.Int(0, IntMin); },
       1},
      {"SmallintIsSigned",
       {Fix(ftSmallint)},
       [](TRecord& r) { r.Int(0, -1); },
       [](TRecord& r) { r.Int(0, 1); },
       -1},
      {"WordIsUnsigned",
       {Fix(ftWord)},
       [](TRecord& r) { r.Int(0, 65535); },
       [](TRecord& r) { r.Int(0, 1); },
       1},
      {"Boolean",
       {Fix(ftBoolean)},
       [](TRecord& r) { r.Int(0, 1); },
       [](TRecord& r) { r.Int(0, 0); },
       1},
      {"Float",
       {Fix(ftFloat)},
       [](TRecord& r) { r.Float(0, -0.5); },
       [](TRecord& r) { r.Float(0, 0.25); },
       -1},
      {"Currency",
       {Fix(ftCurrency)},
       [](TRecord& r) { r.Float(0, 10.01); },
       [](TRecord& r) { r.Float(0, 10.0); },
       1},
      {"DateTime",
       {Fix(ftDateTime)},
       [](TRecord& r) { r.Float(0, 45000.75); },
       [](TRecord& r) { r.Float(0, 45000.75); },
       0},
      {"Date",
       {Fix(ftDate)},
       [](TRecord& r) { r.Float(0, 1.0); },
       [](TRecord& r) { r.Float(0, 2.0); },
       -1},
      {"Time",
       {Fix(ftTime)},
       [](TRecord& r) { r.Float(0, 0.5); },
       [](TRecord& r) { r.Float(0, 0.25); },
       1},
      {"NullSortsFirst",
       {Fix(ftInteger)},
       [](TRecord& r) { r.Null(0); },
       [](TRecord& r) { r.Int(0, IntMin); },
       -1},
      {"BothNull",
       {Fix(ftInteger)},
       [](TRecord& r) { r.Null(0); },
       [](TRecord& r) { r.Null(0); },
       0},
      {"DescendingNegates",
       {Fix(ftInteger, true)},
       [](TRecord& r) { r.Int(0, 2); },
       [](TRecord& r) { r.Int(0, 1); },
       -1},
      {"DescendingNullSortsLast",
       {Fix(ftInteger, true)},
       [](TRecord& r) { r.Null(0); },
       [](TRecord& r) { r.Int(0, 5); },
       1},
      {"PrefixFirst",
       {Str(21)},
       [](TRecord& r) { r.Str(0, "abc"); },
       [](TRecord& r) { r.Str(0, "abcd"); },
       -1},
      {"CaseMattersByDefault",
       {Str(21)},
       [](TRecord& r) { r.Str(0, "ABC"); },
       [](TRecord& r) { r.Str(0, "abc"); },
       -1},
      {"CaseInsensitive",
       {Str(21, false, true)},
       [](TRecord& r) { r.Str(0, "ABC"); },
       [](TRecord& r) { r.Str(0, "abc"); },
       0},
      {"EmptyStringHasAValue",
       {Str(21)},
       [](TRecord& r) { r.Str(0, ""); },
       [](TRecord& r) { r.Null(0); },
       1},
      {"EmptyStringBeforeText",
       {Str(21)},
       [](TRecord& r) { r.Str(0, ""); },
       [](TRecord& r) { r.Str(0, "a"); },
       -1},
      {"DescendingString",
       {Str(21, true)},
       [](TRecord& r) { r.Str(0, "b"); },
       [](TRecord& r) { r.Str(0, "a"); },
       -1},
      {"AsciiOrdersBytes",
       {Str(21)},
       [](TRecord& r) { r.Str(0, "a"); },
       [](TRecord& r) { r.Str(0, "B"); },
       1},
      {"AnsiOrdersLetters",
       {Str(21)},
       [](TRecord& r) { r.Str(0, "a"); },
       [](TRecord& r) { r.Str(0, "B"); },
       -1,
       {},
       soANSI},
      {"AsciiAccentAfterLetters",
       {Str(21)},
       [](TRecord& r) { r.Str(0, AOgonek); },
       [](TRecord& r) { r.Str(0, "b"); },
       1},
      {"AnsiAccentInTheAlphabet",
       {Str(21)},
       [](TRecord& r) { r.Str(0, AOgonek); },
       [](TRecord& r) { r.Str(0, "b"); },
       -1,
       {},
       soANSI},
      {"AnsiCaseInsensitiveAccent",
       {Str(21, false, true)},
       [](TRecord& r) { r.Str(0, LStroke); },
       [](TRecord& r) { r.Str(0, "\xB3"); },
       0,
       {},
       soANSI},
      {"SecondFieldDecides",
       {Fix(ftInteger), Str(11)},
       [](TRecord& r) { r.Int(0, 1).Str(1, "b"); },
       [](TRecord& r) { r.Int(0, 1).Str(1, "a"); },
       1},
      {"FirstFieldDecides",
       {Str(11), Fix(ftInteger)},
       [](TRecord& r) { r.Str(0, "ab").Int(1, 5); },
       [](TRecord& r) { r.Str(0, "abc").Int(1, 1); },
       -1},
      {"WalkPastStringsOfOtherLengths",
       {Str(11), Fix(ftInteger)},
       [](TRecord& r) { r.Str(0, "ab").Int(1, 5); },
       [](TRecord& r) { r.Str(0, "ab").Int(1, 7); },
       -1},
      {"WalkPastNullFields",
       {Fix(ftInteger), Fix(ftFloat), Fix(ftSmallint)},
       [](TRecord& r) { r.Null(0).Null(1).Int(2, 3); },
       [](TRecord& r) { r.Null(0).Null(1).Int(2, 4); },
       -1},
      {"MarkerBelowEveryValue",
       {Fix(ftInteger), Fix(ftInteger)},
       [](TRecord& r) { r.Int(0, 5).Int(1, 0); },
       [](TRecord& r) { r.Int(0, 5).Int(1, IntMin); },
       -1,
       {1, 0}},
      {"MarkerBelowEvenNull",
       {Fix(ftInteger), Fix(ftInteger)},
       [](TRecord& r) { r.Int(0, 5).Int(1, 0); },
       [](TRecord& r) { r.Int(0, 5).Null(1); },
       -1,
       {1, 0}},
      {"MarkerAboveEveryValue",
       {Fix(ftInteger), Fix(ftInteger)},
       [](TRecord& r) { r.Int(0, 5).Int(1, 0); },
       [](TRecord& r) { r.Int(0, 5).Int(1, IntMax); },
       1,
       {1, 2}},
      {"MarkerAfterADifferentField",
       {Fix(ftInteger), Fix(ftInteger)},
       [](TRecord& r) { r.Int(0, 4).Int(1, 0); },
       [](TRecord& r) { r.Int(0, 5).Int(1, 0); },
       -1,
       {1, 2}},
      {"MarkerOnFirstField",
       {Fix(ftInteger)},
       [](TRecord& r) { r.Int(0, IntMax); },
       [](TRecord& r) { r.Int(0, IntMin); },
       -1,
       {0}},
      {"MarkerNotNegatedWhenDescending",
       {Fix(ftInteger, true)},
       [](TRecord& r) { r.Int(0, 0); },
       [](TRecord& r) { r.Int(0, 0); },
       1,
       {2}},
      {"MarkerValueCompares",
       {Fix(ftInteger)},
       [](TRecord& r) { r.Int(0, 3); },
       [](TRecord& r) { r.Int(0, 3); },
       0,
       {1}},
  };
  return cases;
}

void PrintTo(const TCompareCase& c, std::ostream* os) {
  *os << c.Name;
}

class KeyCompareTest : public testing::TestWithParam<TCompareCase> {};

TEST_P(KeyCompareTest, AllComparisonsAgree) {
  const TCompareCase& c = GetParam();
  TRecordLayout layout(c.Fields);
  TKeyFields keys;
  layout.AddKeyFields(keys, false);
  TBTree tree;
  tree.SetKeyFields(keys);
  tree.SetSortOrder(c.Order);
  tree.AllocateKeyBuffers(KeyEntrySize(keys) + keys.KeyDataOffset);
  const int32_t m = tree.MaxKeySize();

  TRecord q(layout);
  TRecord p(layout);
  c.Q(q);
  c.P(p);
  std::vector<uint8_t> entryQ(static_cast<size_t>(m));
  std::vector<uint8_t> entryP(static_cast<size_t>(m));
  tree.BuildKeyToBuffer(entryQ, q.Bytes(), nullptr);
  tree.BuildKeyToBuffer(entryP, p.Bytes(), nullptr);
  const TKeyMarkers* markers = c.MarkersQ.empty() ? nullptr : &c.MarkersQ;

  EXPECT_EQ(tree.CompareKeys(0, markers, entryP.data(), entryQ.data()), c.Expected);
  tree.SetSearchKeyFromRecord(q.Bytes(), markers);
  EXPECT_EQ(tree.CompareToOptimizedKey(0, entryP.data()), c.Expected);
  tree.SetSearchKeyFromKeyBuf(entryQ, markers);
  EXPECT_EQ(tree.CompareToOptimizedKey(0, entryP.data()), c.Expected);
  if (markers == nullptr) {
    EXPECT_EQ(tree.CompareKeys(0, nullptr, entryQ.data(), entryP.data()), -c.Expected)
        << "the order is antisymmetric";
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, KeyCompareTest, testing::ValuesIn(Cases()),
                         [](const testing::TestParamInfo<TCompareCase>& info) {
                           return std::string(info.param.Name);
                         });

// A tree with the fields of layout as its keys.
struct TKeyTree {
  explicit TKeyTree(const TRecordLayout& layout, bool hidden = false) {
    layout.AddKeyFields(Keys, hidden);
    Tree.SetKeyFields(Keys);
    Tree.SetSortOrder(soASCII);
    Tree.AllocateKeyBuffers(KeyEntrySize(Keys) + Keys.KeyDataOffset);
  }
  std::vector<uint8_t> Entry(const TRecord& r) {
    std::vector<uint8_t> e(static_cast<size_t>(Tree.MaxKeySize()));
    Tree.BuildKeyToBuffer(e, r.Bytes(), nullptr);
    return e;
  }
  TKeyFields Keys;
  TBTree Tree;
};

TEST(KeyBuildTest, KeyEntryLayout) {
  TRecordLayout layout({Fix(ftInteger), Str(6), Fix(ftSmallint)});
  TKeyTree t(layout);
  ASSERT_EQ(t.Tree.MaxKeySize(), 10 + 1 + 4 + (2 + 6) + 2);
  TRecord r(layout);
  r.Null(0).Str(1, "xyz").Int(2, -2);
  const std::vector<uint8_t> e = t.Entry(r);
  const std::vector<uint8_t> expected = {
      25,   0,                          // EntryLength
      0,    0,    0,   0,               // Count
      0,    0,    0,   0,               // Address
      0x60,                             // fields 1 and 2 have values
      3,    0,    'x', 'y', 'z',        // string: length, characters
      0xFE, 0xFF,                       // small integer -2
      0,    0,    0,   0,   0,   0, 0,  // unused tail
  };
  EXPECT_EQ(e, expected);
}

TEST(KeyBuildTest, PartialKeyComparesOnlyLeadingFields) {
  TRecordLayout layout({Fix(ftInteger), Fix(ftInteger)});
  TKeyTree t(layout);
  TRecord a(layout);
  TRecord b(layout);
  a.Int(0, 1).Int(1, 1);
  b.Int(0, 1).Int(1, 9);
  const auto ea = t.Entry(a);
  const auto eb = t.Entry(b);
  EXPECT_EQ(t.Tree.CompareKeys(1, nullptr, ea.data(), eb.data()), 0);
  EXPECT_EQ(t.Tree.CompareKeys(2, nullptr, ea.data(), eb.data()), 1);
  t.Tree.SetSearchKeyFromRecord(b.Bytes(), nullptr);
  EXPECT_EQ(t.Tree.CompareToOptimizedKey(1, ea.data()), 0);
  EXPECT_EQ(t.Tree.CompareToOptimizedKey(0, ea.data()), 1);
}

TEST(KeyBuildTest, MarkersOfBothSides) {
  TRecordLayout layout({Fix(ftInteger)});
  TKeyTree t(layout);
  TRecord r(layout);
  r.Int(0, 4);
  const auto e = t.Entry(r);
  const TKeyMarkers below{0};
  const TKeyMarkers above{2};
  EXPECT_EQ(t.Tree.CompareKeys(0, &above, e.data(), e.data(), &below), 1);
  EXPECT_EQ(t.Tree.CompareKeys(0, &below, e.data(), e.data(), &above), -1);
  EXPECT_EQ(t.Tree.CompareKeys(0, &above, e.data(), e.data(), &above), 0);
  // The markers of the other side count only when the search key's are given.
  EXPECT_EQ(t.Tree.CompareKeys(0, nullptr, e.data(), e.data(), &above), 0);
}

TEST(KeyBuildTest, BadInputIsRefused) {
  TRecordLayout layout({Str(6), Fix(ftInteger)});
  TKeyTree t(layout);
  TRecord r(layout);
  r.Str(0, "abc").Int(1, 1);
  // A size marker longer than the field.
  TRecord longer = r;
  le::PutU16(longer.Raw().data() + layout.MarkerOffset(0), 7);
  EXPECT_EQ(ErrorOf([&] { t.Tree.SetSearchKeyFromRecord(longer.Bytes(), nullptr); }), 8581);
  // A record buffer shorter than the layout.
  const std::vector<uint8_t> cut(r.Bytes().begin(), r.Bytes().begin() + layout.DataOffset(1));
  EXPECT_EQ(ErrorOf([&] { t.Tree.SetSearchKeyFromRecord(cut, nullptr); }), 8581);
  // Entries longer than the key size, or too short for one, and a string running past it.
  std::vector<uint8_t> entry = t.Entry(r);
  std::vector<uint8_t> tooLong = entry;
  tooLong[0] = static_cast<uint8_t>(t.Tree.MaxKeySize() + 1);
  EXPECT_EQ(ErrorOf([&] { t.Tree.CompareKeys(0, nullptr, entry.data(), tooLong.data()); }), 8581);
  EXPECT_EQ(ErrorOf([&] { t.Tree.CompareToOptimizedKey(0, tooLong.data()); }), 8581);
  EXPECT_EQ(ErrorOf([&] { t.Tree.SetSearchKeyFromKeyBuf(tooLong, nullptr); }), 8581);
  EXPECT_EQ(ErrorOf([&] { t.Tree.SetSearchKeyFromKeyBuf({}, nullptr); }), 8581);
  std::vector<uint8_t> overrun = entry;
  le::PutU16(overrun.data() + 11, 200);
  EXPECT_EQ(ErrorOf([&] { t.Tree.CompareKeys(0, nullptr, entry.data(), overrun.data()); }), 8965);
  t.Tree.SetSearchKeyFromRecord(r.Bytes(), nullptr);
  EXPECT_EQ(ErrorOf([&] { t.Tree.CompareToOptimizedKey(0, overrun.data()); }), 8965);
  EXPECT_EQ(ErrorOf([&] { t.Tree.SetSearchKeyFromKeyBuf(overrun, nullptr); }), 8965);
  std::vector<uint8_t> small(4);
  EXPECT_EQ(ErrorOf([&] { t.Tree.BuildKeyToBuffer(small, r.Bytes(), nullptr); }), 8581);
}

// ---- key-field set-up ----

TEST(KeyFieldsTest, ThirtyTwoFieldsAreTheLimit) {
  std::vector<TFieldSpec> fields(32, Fix(ftSmallint));
  TRecordLayout layout(fields);
  TKeyFields unique;
  layout.AddKeyFields(unique, false);
  TBTree tree;
  tree.SetKeyFields(unique);
  tree.SetSortOrder(soASCII);
  tree.AllocateKeyBuffers(KeyEntrySize(unique) + unique.KeyDataOffset);
  TRecord r(layout);
  for (int i = 0; i < 32; ++i) r.Int(i, i);
  TRecord s = r;
  s.Int(31, 40);
  std::vector<uint8_t> er(static_cast<size_t>(tree.MaxKeySize()));
  tree.BuildKeyToBuffer(er, r.Bytes(), nullptr);
  tree.SetSearchKeyFromRecord(s.Bytes(), nullptr);
  EXPECT_EQ(tree.CompareToOptimizedKey(0, er.data()), 1) << "the 32nd field still counts";

  // A non-unique index on 32 fields gets a hidden 33rd.
  TKeyFields nonUnique;
  layout.AddKeyFields(nonUnique, true);
  ASSERT_EQ(nonUnique.Count(), 33);
  TBTree other;
  EXPECT_EQ(ErrorOf([&] { other.SetKeyFields(nonUnique); }), 9603);
  EXPECT_EQ(ErrorOf([&] { CheckKeyFieldCount(33, "Idx", "TIndexManager.AssignKeyFields"); }), 9603);
  EXPECT_EQ(ErrorOf([&] { CheckKeyFieldCount(32, "Idx", "TIndexManager.AssignKeyFields"); }), 0);
}

TEST(KeyFieldsTest, UnusableSetUpsAreRefused) {
  TRecordLayout layout({Fix(ftInteger)});
  struct {
    const char* Name;
    std::function<void(TKeyFields&)> Change;
  } cases[] = {
      {"blob", [](TKeyFields& k) { k.Items(0).DataType = ftBlob; }},
      {"bcd", [](TKeyFields& k) { k.Items(0).DataType = ftBCD; }},
      {"integer of 8 bytes", [](TKeyFields& k) { k.Items(0).FieldSize = 8; }},
      {"negative offset", [](TKeyFields& k) { k.Items(0).RecBufOffset = -1; }},
      {"no null-flag byte", [](TKeyFields& k) { k.KeyDataOffset = 0; }},
  };
  for (const auto& c : cases) {
    TKeyFields keys;
    layout.AddKeyFields(keys, false);
    c.Change(keys);
    TBTree tree;
    EXPECT_EQ(ErrorOf([&] { tree.SetKeyFields(keys); }), 8581) << c.Name;
  }
  TKeyFields keys;
  layout.AddKeyFields(keys, false);
  const int32_t m = KeyEntrySize(keys) + keys.KeyDataOffset;
  TBTree tree;
  tree.SetKeyFields(keys);
  EXPECT_EQ(ErrorOf([&] { tree.AllocateKeyBuffers(m - 1); }), 8581) << "key data would not fit";
  EXPECT_EQ(ErrorOf([&] { tree.AllocateKeyBuffers(501); }), 8581);
  EXPECT_EQ(ErrorOf([&] { tree.AllocateKeyBuffers(m); }), 0);
  EXPECT_EQ(ErrorOf([&] { tree.Open(); }), 8581) << "no sort order";
}

TEST(KeyFieldsTest, EntrySizeOfANonUniqueStringIndex) {
  // One string field of size 20 and the hidden record id: K = 1, M = 10 + 1 + (2 + 20) + 4.
  TKeyFields keys;
  TKeyFieldItem& s = keys.Add();
  s.IndexName = "ByName";
  s.FieldName = "Name";
  s.DataType = ftString;
  s.FieldSize = 20;
  s.SizeMarkerOffset = 15;
  TKeyFieldItem& h = keys.Add();
  h.IndexName = "ByName";
  h.Hidden = true;
  h.DataType = ftInteger;
  h.FieldSize = 4;
  TKeyFieldItem& other = keys.Add();
  other.IndexName = "Other";
  other.DataType = ftFloat;
  other.FieldSize = 8;
  EXPECT_EQ(KeyEntrySize(keys, "byname") + 2 / 8 + 1, 37);
  EXPECT_EQ(KeyEntrySize(keys), 10 + 22 + 4 + 8);
  keys.Items(2).DataType = ftBlob;
  EXPECT_THROW(KeyEntrySize(keys), Exception);
}

TEST(KeyFieldsTest, CollectionOperations) {
  TKeyFields keys;
  TKeyFieldItem& a = keys.Add();
  a.FieldName = "Kalorie";
  a.IndexName = "ByKcal";
  a.DataType = ftFloat;
  a.FieldSize = 8;
  a.Descending = true;
  a.CaseInsensitive = true;
  a.IsVariable = false;
  a.RecBufOffset = 30;
  a.NullFlagOffset = 15;
  a.PhysicalFieldNo = 1;
  a.SizeMarkerOffset = 0;
  a.KeyIndex = 0;
  TKeyFieldItem& b = keys.Add();
  b.IndexName = "bykcal";
  b.Hidden = true;
  keys.KeyDataOffset = 1;

  EXPECT_EQ(keys.FindByFieldName("KALORIE"), &keys.Items(0));
  EXPECT_EQ(keys.FindByFieldName("Bialko"), nullptr);
  EXPECT_EQ(keys.CountForIndex("BYKCAL"), 2);
  EXPECT_EQ(keys.CountForIndex("none"), 0);

  TKeyFields copy;
  copy.Add();
  copy.Assign(keys);
  ASSERT_EQ(copy.Count(), 2);
  EXPECT_EQ(copy.KeyDataOffset, 1);
  const TKeyFieldItem& c = copy.Items(0);
  EXPECT_EQ(c.FieldName, "Kalorie");
  EXPECT_EQ(c.IndexName, "ByKcal");
  EXPECT_EQ(c.DataType, ftFloat);
  EXPECT_EQ(c.FieldSize, 8);
  EXPECT_TRUE(c.Descending);
  EXPECT_TRUE(c.CaseInsensitive);
  EXPECT_EQ(c.RecBufOffset, 30);
  EXPECT_EQ(c.NullFlagOffset, 15);
  EXPECT_EQ(c.PhysicalFieldNo, 1);
  EXPECT_TRUE(copy.Items(1).Hidden);

  TKeyFieldItem broken;
  broken.DataType = ftString;
  broken.SizeMarkerOffset = 0;
  TKeyFieldItem target;
  EXPECT_EQ(ErrorOf([&] { target.Assign(broken); }), -1);
}

}  // namespace
