// The read-ahead buffer: pooled buffers handed out again in order, lookups by address, and
// the age of a fill.
#include "engine/tables/ReadAheadBuffer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "platform/Exception.h"

namespace {

// Adds count items with addresses base, base + 100, ...
void Fill(TReadAheadBuffer& buffer, int count, uint32_t base = 1000) {
  for (int i = 0; i < count; ++i) {
    TReadAheadBufferItem& item = buffer.AddItem();
    buffer.SetAddress(item, base + 100u * static_cast<uint32_t>(i));
    buffer.SetRecNo(item, i + 1);
  }
}

std::vector<const uint8_t*> RecBufs(TReadAheadBuffer& buffer) {
  std::vector<const uint8_t*> bufs;
  for (int i = 0; i < buffer.Count(); ++i) bufs.push_back(buffer.Items(i).RecBuf);
  return bufs;
}

TEST(ReadAheadBufferTest, FillsReuseThePooledBuffersInOrder) {
  struct Step {
    int Count;
    int PoolAfter;
  };
  TReadAheadBuffer buffer;
  buffer.Setup(120, 37, 1000);
  std::vector<const uint8_t*> firstPool;
  for (const Step& step : std::vector<Step>{{10, 10}, {6, 10}, {12, 12}, {0, 12}}) {
    SCOPED_TRACE(step.Count);
    buffer.Empty();
    EXPECT_EQ(buffer.Cursor(), 0);
    Fill(buffer, step.Count);
    EXPECT_EQ(buffer.PoolLength(), step.PoolAfter);
    EXPECT_EQ(buffer.Cursor(), step.Count);
    for (int i = 0; i < step.Count; ++i) {
      EXPECT_EQ(buffer.Items(i).RecBuf, buffer.RecBufPool(i));
      EXPECT_EQ(buffer.Items(i).KeyBuf, buffer.KeyBufPool(i));
    }
    if (firstPool.empty()) {
      firstPool = RecBufs(buffer);
    } else {
      // Entries that existed before are the same buffers.
      for (int i = 0; i < step.Count && i < 10; ++i)
        EXPECT_EQ(buffer.Items(i).RecBuf, firstPool[i]);
    }
  }
  // Every pool entry is a buffer of its own.
  std::set<const uint8_t*> distinct;
  for (int i = 0; i < buffer.PoolLength(); ++i) {
    distinct.insert(buffer.RecBufPool(i));
    distinct.insert(buffer.KeyBufPool(i));
  }
  EXPECT_EQ(distinct.size(), 24u);
}

TEST(ReadAheadBufferTest, ADeletedItemsBuffersAreNotHandedOutBeforeTheNextEmpty) {
  TReadAheadBuffer buffer;
  buffer.Setup(16, 8, 1000);
  Fill(buffer, 3);
  const std::vector<const uint8_t*> before = RecBufs(buffer);
  buffer.DeleteItem(1);
  ASSERT_EQ(buffer.Count(), 2);
  EXPECT_EQ(buffer.Items(0).RecBuf, before[0]);
  EXPECT_EQ(buffer.Items(1).RecBuf, before[2]);
  EXPECT_EQ(buffer.Items(1).Address, 1200u);
  TReadAheadBufferItem& added = buffer.AddItem();
  EXPECT_EQ(buffer.PoolLength(), 4);
  EXPECT_EQ(added.RecBuf, buffer.RecBufPool(3));
  buffer.Empty();
  EXPECT_EQ(buffer.AddItem().RecBuf, before[0]);
  EXPECT_EQ(buffer.PoolLength(), 4);
}

TEST(ReadAheadBufferTest, LookupsByAddress) {
  struct Case {
    uint32_t Address;
    int Index;
    int64_t Next;  // address of NextOf, -1 for none
    int64_t Prior;
  };
  TReadAheadBuffer buffer;
  buffer.Setup(8, 8, 1000);
  Fill(buffer, 4);  // 1000, 1100, 1200, 1300
  const std::vector<Case> cases = {
      {1000, 0, 1100, -1}, {1100, 1, 1200, 1000}, {1300, 3, -1, 1200}, {999, -1, -1, -1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Address);
    EXPECT_EQ(buffer.IndexOfAddress(c.Address), c.Index);
    TReadAheadBufferItem* found = buffer.FindByAddress(c.Address);
    EXPECT_EQ(found, c.Index < 0 ? nullptr : &buffer.Items(c.Index));
    TReadAheadBufferItem* next = buffer.NextOf(c.Address);
    TReadAheadBufferItem* prior = buffer.PriorOf(c.Address);
    EXPECT_EQ(next == nullptr ? -1 : int64_t{next->Address}, c.Next);
    EXPECT_EQ(prior == nullptr ? -1 : int64_t{prior->Address}, c.Prior);
  }
  EXPECT_EQ(buffer.LastItem()->Address, 1300u);
  // The search runs from the last item down: a repeated address finds the later item.
  TReadAheadBufferItem& again = buffer.AddItem();
  buffer.SetAddress(again, 1000);
  EXPECT_EQ(buffer.IndexOfAddress(1000), 4);
  buffer.Empty();
  EXPECT_EQ(buffer.LastItem(), nullptr);
  EXPECT_EQ(buffer.NextOf(1000), nullptr);
}

TEST(ReadAheadBufferTest, AFillIsFreshForItsLifetime) {
  struct Case {
    uint32_t FillTime;
    uint32_t Now;
    bool Fresh;
  };
  const std::vector<Case> cases = {
      {5000, 5000, true},
      {5000, 6000, true},
      {5000, 6001, false},
      {0xFFFFFF00u, 0xFFFFFF00u + 1000u, true},  // across the wrap of the tick count
      {0xFFFFFF00u, 0xFFFFFF00u + 1001u, false},
      {5000, 4999, false},  // a clock that went back tells nothing about the fill
  };
  TReadAheadBuffer buffer;
  buffer.Setup(8, 8, 1000);
  EXPECT_FALSE(buffer.IsFresh(0));
  Fill(buffer, 1);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Now);
    buffer.SetFillTime(c.FillTime);
    EXPECT_EQ(buffer.IsFresh(c.Now), c.Fresh);
  }
  buffer.Empty();
  EXPECT_EQ(buffer.FillTime(), 0u);
  buffer.SetFillTime(5000);
  EXPECT_FALSE(buffer.IsFresh(5000));  // an empty buffer is never fresh
}

TEST(ReadAheadBufferTest, SetupFreesThePoolAndTakesTheNewSizes) {
  TReadAheadBuffer buffer;
  buffer.Setup(8, 4, 1000);
  Fill(buffer, 5);
  buffer.SetFillTime(77);
  buffer.Setup(64, 32, 500);
  EXPECT_EQ(buffer.Count(), 0);
  EXPECT_EQ(buffer.PoolLength(), 0);
  EXPECT_EQ(buffer.FillTime(), 0u);
  EXPECT_EQ(buffer.Lifetime(), 500);
  Fill(buffer, 2);
  EXPECT_EQ(buffer.PoolLength(), 2);
  // The new buffers have the new sizes: the whole of each may be written.
  for (int i = 0; i < 2; ++i) {
    std::fill_n(buffer.Items(i).RecBuf, 64, uint8_t{0xAB});
    std::fill_n(buffer.Items(i).KeyBuf, 32, uint8_t{0xCD});
  }
  buffer.FreeBuffers();
  EXPECT_EQ(buffer.PoolLength(), 0);
  EXPECT_EQ(buffer.Count(), 0);
}

TEST(ReadAheadBufferTest, MissingBuffersFailTheConsistencyCheck) {
  TReadAheadBuffer buffer;
  buffer.Setup(8, 8, 1000);
  TReadAheadBufferItem& item = buffer.AddItem();
  uint8_t key[8];
  EXPECT_THROW(buffer.SetBuffers(item, nullptr, key), EAssertionFailed);
  try {
    buffer.SetBuffers(item, key, nullptr);
    FAIL();
  } catch (const EAssertionFailed& e) {
    EXPECT_NE(e.Message().find("KeyBuf has not been initialized (vorDataUnit, line"),
              std::string::npos);
  }
}

}  // namespace
