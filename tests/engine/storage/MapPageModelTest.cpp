// Random allocations and releases against a simple model of the page map: after every step
// each map entry, each free chain, the map-page chain and the pages' contents on disk must
// be what the model says, and no page may be handed out while it is in use. Small pages make
// the file cross several map pages; reopening and transactions are mixed in.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "DiskMgrTestSupport.h"

using namespace diskmgr_test;

namespace {

constexpr uint16_t FreeEntry = 0x8000;

struct PageModel {
  uint32_t P = 0;
  uint32_t E = 0;
  uint32_t FilePages = 0;
  std::map<uint32_t, uint16_t> Entries;  // absent: 0; FreeEntry: free
  std::map<uint32_t, uint8_t> Fill;      // contents of allocated data pages
  std::vector<uint32_t> MapPages;        // page numbers, by map index

  uint16_t Entry(uint32_t page) const {
    auto it = Entries.find(page);
    return it == Entries.end() ? 0 : it->second;
  }
  bool IsDataPage(uint32_t page) const {
    const uint16_t v = Entry(page);
    return v != 0 && v != FreeEntry && (v >> 4) != 0;
  }
  bool AnyFree() const {
    return std::any_of(Entries.begin(), Entries.end(),
                       [](const auto& e) { return e.second == FreeEntry; });
  }

  // The first run of count free pages, walking map page m's entries in order.
  std::optional<uint32_t> FirstRun(uint32_t m, uint32_t count) const {
    uint32_t runStart = 0;
    uint32_t runLength = 0;
    for (uint32_t page = m * E; page < (m + 1) * E; ++page) {
      if (Entry(page) != FreeEntry) {
        runLength = 0;
        continue;
      }
      if (runLength == 0) runStart = page;
      if (++runLength == count) return runStart;
    }
    return std::nullopt;
  }

  // Where AllocatePages puts count pages, given the header's FirstFreeMapPage.
  uint32_t PredictAllocation(uint32_t count, uint32_t firstFreeMapPage) const {
    if (firstFreeMapPage != 0) {
      auto it = std::find(MapPages.begin(), MapPages.end(), firstFreeMapPage / P);
      EXPECT_NE(it, MapPages.end()) << "FirstFreeMapPage is no map page";
      if (it != MapPages.end()) {
        if (auto run = FirstRun(static_cast<uint32_t>(it - MapPages.begin()), count)) return *run;
      }
      for (uint32_t m = 0; m < MapPages.size(); ++m) {
        if (auto run = FirstRun(m, count)) return *run;
      }
    }
    return FilePages;
  }

  void EnterMapPage(uint32_t page) {
    if (page / E == MapPages.size()) {
      const uint32_t added = FilePages++;
      MapPages.push_back(added);
      Entries[page] = dbfile::UsageMap;
      EnterMapPage(added);
    } else {
      Entries[page] = dbfile::UsageMap;
    }
  }

  void Allocate(uint32_t start, uint32_t count, uint16_t value, uint8_t fill) {
    for (uint32_t page = start; page < start + count; ++page) {
      ASSERT_TRUE(page >= FilePages || Entry(page) == FreeEntry) << "page " << page << " in use";
      Entries[page] = value;
      Fill[page] = fill;
    }
    if (start < FilePages) return;
    FilePages = start + count;
    std::vector<uint32_t> added;
    for (uint32_t m = start / E; m <= (start + count - 1) / E; ++m) {
      if (m == MapPages.size()) {
        MapPages.push_back(FilePages++);
        added.push_back(MapPages.back());
      }
    }
    for (const uint32_t page : added) EnterMapPage(page);
  }

  void Release(uint32_t page) {
    Entries[page] = FreeEntry;
    Fill.erase(page);
  }
};

class MapPageModelTest : public ::testing::TestWithParam<uint32_t> {
 protected:
  void SetUp() override { Reset(); }

  // A new file, model and connection.
  void Reset() {
    Dm.reset();
    Model = PageModel();
    P = GetParam();
    CreateDatabase(Path, static_cast<int32_t>(P));
    Model.P = P;
    Model.E = dbfile::EntriesPerMap(P);
    Model.FilePages = static_cast<uint32_t>(ReadFileBytes(Path).size() / P);
    for (uint32_t page = 0; page < 5; ++page) Model.Entries[page] = dbfile::UsageHeader;
    Model.Entries[5] = dbfile::UsageMap;
    Model.MapPages = {5};
    Dm = OpenDatabase(Path, static_cast<int32_t>(P));
  }

  // Everything on disk against the model.
  void CheckDisk() {
    const std::vector<uint8_t> bytes = ReadFileBytes(Path);
    ASSERT_EQ(bytes.size(), size_t{Model.FilePages} * P);
    ASSERT_EQ(U32(bytes, 1024 + 0x14), 5 * P);
    ASSERT_EQ(U32(bytes, 1024 + 0x18), Model.MapPages.size());
    const uint32_t firstFree = U32(bytes, 1024 + 0x10);
    if (Model.AnyFree()) {
      ASSERT_NE(firstFree, 0u) << "free pages but no FirstFreeMapPage";
    }
    if (firstFree != 0) {
      ASSERT_NE(std::find(Model.MapPages.begin(), Model.MapPages.end(), firstFree / P),
                Model.MapPages.end());
    }
    for (uint32_t m = 0; m < Model.MapPages.size(); ++m) {
      const size_t map = size_t{Model.MapPages[m]} * P;
      ASSERT_EQ(U32(bytes, map), m);
      const uint32_t next = m + 1 < Model.MapPages.size() ? Model.MapPages[m + 1] * P : 0;
      ASSERT_EQ(U32(bytes, map + 4), next) << "map page " << m;
      std::vector<uint16_t> free;
      for (uint32_t i = 0; i < Model.E; ++i) {
        const uint32_t page = m * Model.E + i;
        const uint16_t onDisk = U16(bytes, map + 20 + 2 * i);
        const uint16_t expected = Model.Entry(page);
        if (expected == FreeEntry) {
          ASSERT_NE(onDisk & FreeEntry, 0) << "page " << page;
          free.push_back(static_cast<uint16_t>(20 + 2 * i));
        } else {
          ASSERT_EQ(onDisk, expected) << "page " << page;
        }
      }
      // The chain holds exactly the free entries, in ascending order.
      std::vector<uint16_t> chain;
      for (uint16_t offset = U16(bytes, map + 8); offset != 0 && chain.size() <= Model.E;
           offset = U16(bytes, map + offset) & 0x7FFF) {
        chain.push_back(offset);
      }
      ASSERT_EQ(chain, free) << "free chain of map page " << m;
    }
    for (const auto& [page, fill] : Model.Fill) {
      const size_t start = size_t{page} * P;
      ASSERT_TRUE(std::all_of(bytes.begin() + start, bytes.begin() + start + P,
                              [fill = fill](uint8_t b) { return b == fill; }))
          << "contents of page " << page;
    }
    for (const auto& [page, value] : Model.Entries) {
      if (value != FreeEntry) continue;
      const size_t start = size_t{page} * P;
      ASSERT_TRUE(std::all_of(bytes.begin() + start, bytes.begin() + start + P,
                              [](uint8_t b) { return b == 0; }))
          << "free page " << page << " is not zero";
    }
  }

  void AllocateStep() {
    const uint32_t roll = Random() % 10;
    const uint32_t count = roll < 7   ? 1 + Random() % 3
                           : roll < 9 ? 4 + Random() % 8
                                      : 1 + Random() % (2 * Model.E);
    const uint32_t owner = 1 + Random() % 6;
    const uint16_t usage = static_cast<uint16_t>(8 + Random() % 3);
    const uint8_t fill = static_cast<uint8_t>(1 + Step % 250);
    const uint32_t expected = Model.PredictAllocation(count, Dm->GlobalHdr()->FirstFreeMapPage());
    const std::vector<uint8_t> buffer(size_t{count} * P, fill);
    const uint32_t address = Dm->AllocatePages(owner, 1, buffer.data(), count, usage);
    ASSERT_EQ(address, expected * P) << count << " pages";
    if (expected < Model.FilePages) ++Reused;
    Model.Allocate(expected, count, dbfile::MapEntryValue(owner, usage), fill);
  }

  void ReleaseStep() {
    std::vector<uint32_t> data;
    for (const auto& [page, value] : Model.Entries) {
      if (Model.IsDataPage(page) || value == FreeEntry) data.push_back(page);
    }
    if (data.empty()) return;
    const uint32_t start = data[Random() % data.size()];
    uint32_t count = 1;
    const uint32_t wanted = 1 + Random() % 4;
    while (count < wanted && (start + count) / Model.E == start / Model.E &&
           (Model.IsDataPage(start + count) || Model.Entry(start + count) == FreeEntry)) {
      ++count;
    }
    Dm->ReleasePages(start * P, count);
    for (uint32_t page = start; page < start + count; ++page) Model.Release(page);
  }

  void ReleaseOwnerStep() {
    const uint32_t owner = 1 + Random() % 6;
    const uint16_t usage = static_cast<uint16_t>(8 + Random() % 3);
    const bool matchUsage = Random() % 2 == 0;
    Dm->ReleaseOwnerPages(owner, usage, matchUsage);
    for (const auto& [page, value] : std::map<uint32_t, uint16_t>(Model.Entries)) {
      if (!Model.IsDataPage(page)) continue;
      if (matchUsage ? value == dbfile::MapEntryValue(owner, usage) : value >> 4 == owner) {
        Model.Release(page);
      }
    }
  }

  void RandomStep() {
    const uint32_t roll = Random() % 100;
    if (roll < 55) {
      AllocateStep();
    } else if (roll < 90) {
      ReleaseStep();
    } else if (roll < 95) {
      ReleaseOwnerStep();
    } else {
      Dm->Close();
      Dm->Open();
    }
  }

  uint32_t Random() { return static_cast<uint32_t>(Gen()); }

  uint32_t P = 0;
  ScratchDir Dir;
  std::string Path = Dir / "model.vor";
  PageModel Model;
  std::unique_ptr<TDiskMgr> Dm;
  std::mt19937 Gen;
  int Step = 0;
  int Reused = 0;  // allocations that took freed pages back
};

TEST_P(MapPageModelTest, RandomAllocationsAndReleases) {
  for (const uint32_t seed : {1u, 2u, 3u}) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    Reset();
    Gen.seed(seed);
    for (Step = 0; Step < 400; ++Step) {
      SCOPED_TRACE("step " + std::to_string(Step));
      RandomStep();
      if (HasFatalFailure()) return;
      CheckDisk();
      if (HasFatalFailure()) return;
    }
    EXPECT_GE(Model.MapPages.size(), 3u) << "the run never left the first map pages";
    EXPECT_GE(Reused, 20) << "freed pages were hardly ever reused";
    Reused = 0;
  }
}

// Blocks of steps in transactions: a rollback brings back the file and the model as they
// were, a commit keeps both.
TEST_P(MapPageModelTest, RandomTransactions) {
  Gen.seed(7);
  for (Step = 0; Step < 300;) {
    SCOPED_TRACE("step " + std::to_string(Step));
    const std::vector<uint8_t> before = ReadFileBytes(Path);
    const PageModel saved = Model;
    const bool commit = Random() % 2 == 0;
    Dm->StartTransaction();
    for (int i = 0; i < 8; ++i, ++Step) {
      const uint32_t roll = Random() % 10;
      if (roll < 6) {
        AllocateStep();
      } else if (roll < 9) {
        ReleaseStep();
      } else {
        ReleaseOwnerStep();
      }
      if (HasFatalFailure()) return;
    }
    ASSERT_EQ(ReadFileBytes(Path), before) << "a transaction wrote before its end";
    if (commit) {
      Dm->Commit();
    } else {
      Dm->Rollback();
      Model = saved;
      ASSERT_EQ(ReadFileBytes(Path), before);
    }
    CheckDisk();
    if (HasFatalFailure()) return;
  }
}

INSTANTIATE_TEST_SUITE_P(PageSizes, MapPageModelTest, ::testing::Values(128u, 256u),
                         [](const auto& info) { return "P" + std::to_string(info.param); });

}  // namespace
