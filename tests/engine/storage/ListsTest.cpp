#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "engine/storage/CompoundList.h"
#include "engine/storage/SortedList.h"
#include "engine/storage/VorCommon.h"
#include "platform/Exception.h"

namespace {

int FirstIndex(const std::vector<uint32_t>& v, uint32_t x) {
  auto it = std::find(v.begin(), v.end(), x);
  return it == v.end() ? -1 : static_cast<int>(it - v.begin());
}

TEST(SortedListTest, SortsOnlyAboveOneHundredItems) {
  for (int count : {100, 101}) {
    TSortedList list;
    std::vector<uint32_t> added;
    for (int i = 0; i < count; ++i) {
      uint32_t item = static_cast<uint32_t>((count - i) * 7);
      list.Add(item);
      added.push_back(item);
    }
    list.SortIfLarge(CompareIntegers);
    if (count == 100) {
      EXPECT_FALSE(list.Sorted());
      EXPECT_EQ(list.List(), added);
    } else {
      EXPECT_TRUE(list.Sorted());
      EXPECT_TRUE(std::is_sorted(list.List().begin(), list.List().end()));
    }
    for (uint32_t item : added) EXPECT_EQ(list.IndexOf(item), FirstIndex(list.List(), item));
    EXPECT_EQ(list.IndexOf(3), -1);
    EXPECT_EQ(list.Count(), count);
  }
}

TEST(SortedListTest, SearchAgreesWithLinearScan) {
  std::mt19937 random(7);
  for (int round = 0; round < 20; ++round) {
    TSortedList list;
    int count = 90 + static_cast<int>(random() % 300);
    for (int i = 0; i < count; ++i) {
      uint32_t item = static_cast<uint32_t>(random() % 200);
      if (i % 3 == 0) item |= 0x80000000u;  // addresses past 2 GB sort last
      list.Add(item);
    }
    list.SortIfLarge(CompareIntegers);
    ASSERT_EQ(list.Sorted(), count > 100);
    if (list.Sorted()) {
      ASSERT_TRUE(std::is_sorted(list.List().begin(), list.List().end()));
    }
    for (uint32_t probe = 0; probe < 210; ++probe) {
      for (uint32_t item : {probe, probe | 0x80000000u})
        ASSERT_EQ(list.IndexOf(item), FirstIndex(list.List(), item)) << item;
    }
  }
}

TEST(SortedListTest, StaysCorrectAfterAddsAndUnderCoarseComparisons) {
  TSortedList list;
  for (uint32_t i = 0; i < 200; ++i) list.Add(i * 2);
  list.SortIfLarge(CompareIntegers);
  list.Add(1000);  // keeps the order
  EXPECT_TRUE(list.Sorted());
  EXPECT_EQ(list.IndexOf(1000), 200);
  list.Add(5);  // breaks it: searches fall back to scanning
  EXPECT_FALSE(list.Sorted());
  EXPECT_EQ(list.IndexOf(5), 201);

  // A comparison that ties distinct items (by tens) still finds the exact item.
  TSortedList coarse;
  for (uint32_t i = 0; i < 150; ++i) coarse.Add(149 - i);
  coarse.SortIfLarge([](uint32_t a, uint32_t b) { return CompareIntegers(a / 10, b / 10); });
  ASSERT_TRUE(coarse.Sorted());
  for (uint32_t item = 0; item < 150; ++item)
    EXPECT_EQ(coarse.IndexOf(item), FirstIndex(coarse.List(), item)) << item;
  EXPECT_EQ(coarse.IndexOf(155), -1);
}

TEST(CompoundListTest, LowestIndexWithDuplicatesSortedOrNot) {
  TCompoundList list;
  const std::vector<uint32_t> keys = {40, 10, 30, 10, 0x90000000u, 30, 10, 20};
  for (size_t i = 0; i < keys.size(); ++i)
    EXPECT_EQ(list.Add(keys[i], static_cast<uint32_t>(i)), static_cast<int>(i));
  EXPECT_FALSE(list.Sorted);
  EXPECT_EQ(list.IndexOf(10), 1);
  EXPECT_EQ(list.IndexOf(30), 2);
  EXPECT_EQ(list.IndexOf(99), -1);

  list.Sort();
  EXPECT_TRUE(list.Sorted);
  EXPECT_EQ(list.Keys, (std::vector<uint32_t>{10, 10, 10, 20, 30, 30, 40, 0x90000000u}));
  // Values travel with their keys; equal keys keep their order.
  EXPECT_EQ(list.Values, (std::vector<uint32_t>{1, 3, 6, 7, 2, 5, 0, 4}));
  EXPECT_EQ(list.IndexOf(10), 0);
  EXPECT_EQ(list.IndexOf(30), 4);
  EXPECT_EQ(list.IndexOf(0x90000000u), 7);
  EXPECT_EQ(list.Value(list.IndexOf(20)), 7u);
  EXPECT_EQ(list.IndexOf(25), -1);
  EXPECT_EQ(list.IndexOf(0xFFFFFFFFu), -1);
  EXPECT_EQ(list.Count(), 8);

  list.Add(0x90000000u, 8);  // still ascending: stays sorted
  EXPECT_TRUE(list.Sorted);
  list.Add(15, 9);  // out of order: searches fall back to scanning
  EXPECT_FALSE(list.Sorted);
  EXPECT_EQ(list.IndexOf(15), 9);
  EXPECT_EQ(list.IndexOf(0x90000000u), 7);

  list.Clear();
  EXPECT_FALSE(list.Sorted);
  EXPECT_EQ(list.Count(), 0);
}

TEST(CompoundListTest, CountRaisesWhenListsDiffer) {
  TCompoundList list;
  list.Add(1, 1);
  list.Keys.push_back(2);
  try {
    list.Count();
    FAIL() << "no exception";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Compound list - list counts do no match");
  }
  EXPECT_THROW(list.Sort(), Exception);
  EXPECT_THROW(list.Key(5), std::out_of_range);
}

}  // namespace
