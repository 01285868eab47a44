// The disk manager: allocating and releasing pages through the page map (one allocation and
// its release per iteration), and opening and closing a database file together with its lock
// file (one open and close per iteration; the first connection creates the lock file and
// the last deletes it).
#include <benchmark/benchmark.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "engine/storage/DatabaseFileLayout.h"
#include "engine/storage/DiskMgr.h"

namespace {

constexpr int32_t PageSize = 4096;

class ScratchFile {
 public:
  explicit ScratchFile(const std::string& name) {
    std::random_device rd;
    FDir = std::filesystem::temp_directory_path() / ("ox-bench-" + std::to_string(rd()));
    std::filesystem::create_directories(FDir);
    FPath = (FDir / name).string();
  }
  ~ScratchFile() {
    std::error_code ec;
    std::filesystem::remove_all(FDir, ec);
  }
  const std::string& Path() const { return FPath; }

 private:
  std::filesystem::path FDir;
  std::string FPath;
};

std::unique_ptr<TDiskMgr> MakeDatabase(const std::string& path) {
  auto dm = std::make_unique<TDiskMgr>();
  dm->SetFileName(path);
  dm->SetPageSize(PageSize);
  dm->SetOpenMode(fmOpenReadWrite | fmShareDenyNone);
  dm->CreateNewFile(true);
  return dm;
}

// args: pages per allocation, pages kept allocated around it (a fuller map to walk).
void BM_AllocateRelease(benchmark::State& state) {
  const auto count = static_cast<uint32_t>(state.range(0));
  const auto kept = static_cast<uint32_t>(state.range(1));
  ScratchFile file("alloc.vor");
  auto dm = MakeDatabase(file.Path());
  dm->Open();
  const std::vector<uint8_t> buffer(size_t{count} * PageSize, 0x5A);
  const std::vector<uint8_t> page(PageSize, 0x11);
  // Every other kept page is freed again, so the free chain has many short runs.
  std::vector<uint32_t> keptPages;
  for (uint32_t i = 0; i < kept; ++i) {
    keptPages.push_back(dm->AllocatePages(1, 1, page.data(), 1, dbfile::UsageRecords));
  }
  for (uint32_t i = 0; i < kept; i += 2) dm->ReleasePages(keptPages[i], 1);
  for (auto _ : state) {
    const uint32_t address = dm->AllocatePages(2, 1, buffer.data(), count, dbfile::UsageRecords);
    dm->ReleasePages(address, count);
    benchmark::DoNotOptimize(address);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_AllocateRelease)
    ->Args({1, 0})
    ->Args({3, 0})
    ->Args({1, 1000})
    ->Args({3, 1000})
    ->Unit(benchmark::kMicrosecond);

void BM_OpenClose(benchmark::State& state) {
  ScratchFile file("open.vor");
  auto dm = MakeDatabase(file.Path());
  for (auto _ : state) {
    dm->Open();
    dm->Close();
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_OpenClose)->Unit(benchmark::kMicrosecond);

// The same while another connection keeps the database open: the lock file stays.
void BM_OpenCloseBesideAnother(benchmark::State& state) {
  ScratchFile file("open.vor");
  auto other = MakeDatabase(file.Path());
  other->Open();
  auto dm = std::make_unique<TDiskMgr>();
  dm->SetFileName(file.Path());
  dm->SetPageSize(PageSize);
  dm->SetOpenMode(fmOpenReadWrite | fmShareDenyNone);
  for (auto _ : state) {
    dm->Open();
    dm->Close();
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_OpenCloseBesideAnother)->Unit(benchmark::kMicrosecond);

// Allocation as the file grows: every iteration allocates 10,000 runs of `count` pages into a
// fresh file (up to several map pages), reported per allocation with the map pages read.
void BM_Allocate10k(benchmark::State& state) {
  const auto count = static_cast<uint32_t>(state.range(0));
  constexpr int Allocations = 10000;
  const std::vector<uint8_t> buffer(size_t{count} * PageSize, 0x5A);
  uint64_t reads = 0;
  uint64_t mapPages = 0;
  for (auto _ : state) {
    state.PauseTiming();
    ScratchFile file("grow.vor");
    auto dm = MakeDatabase(file.Path());
    dm->Open();
    const uint64_t before = dm->MapPageMgr()->MapPageReads();
    state.ResumeTiming();
    for (int i = 0; i < Allocations; ++i) {
      benchmark::DoNotOptimize(dm->AllocatePages(1, 1, buffer.data(), count, dbfile::UsageRecords));
    }
    state.PauseTiming();
    reads += dm->MapPageMgr()->MapPageReads() - before;
    dm->ReadLockHeader();
    mapPages = dm->GlobalHdr()->MapPageCount();
    dm->UnlockHeader();
    dm->Close();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * Allocations);
  state.counters["map_reads_per_alloc"] =
      static_cast<double>(reads) / static_cast<double>(state.iterations() * Allocations);
  state.counters["map_pages"] = static_cast<double>(mapPages);
}
BENCHMARK(BM_Allocate10k)->Arg(1)->Arg(4)->Unit(benchmark::kMicrosecond)->Iterations(2);

// Map pages read by one allocation when the file already spans `maps` map pages and no page
// is free (the allocation appends and marks its entry in the last map page).
void BM_AppendAtMapPages(benchmark::State& state) {
  const auto maps = static_cast<uint32_t>(state.range(0));
  ScratchFile file("maps.vor");
  auto dm = MakeDatabase(file.Path());
  dm->Open();
  const std::vector<uint8_t> page(PageSize, 0x22);
  const uint32_t perMap = dm->MapPageMgr()->EntriesPerMap();
  while (dm->FileEnd() / PageSize < int64_t{maps - 1} * perMap + 1) {
    dm->AllocatePages(1, 1, page.data(), 1, dbfile::UsageRecords);
  }
  uint64_t before = dm->MapPageMgr()->MapPageReads();
  for (auto _ : state) {
    benchmark::DoNotOptimize(dm->AllocatePages(1, 1, page.data(), 1, dbfile::UsageRecords));
  }
  state.counters["map_reads_per_alloc"] =
      static_cast<double>(dm->MapPageMgr()->MapPageReads() - before) /
      static_cast<double>(state.iterations());
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_AppendAtMapPages)
    ->Arg(1)
    ->Arg(2)
    ->Arg(4)
    ->Arg(8)
    ->Iterations(500)
    ->Unit(benchmark::kMicrosecond);

// LockTable/UnlockTable pairs between two live connections (the lock file is shared).
void BM_LockUnlockTable(benchmark::State& state) {
  const auto kind = static_cast<uint32_t>(state.range(0));
  ScratchFile file("locks.vor");
  auto dm = MakeDatabase(file.Path());
  dm->Open();
  auto other = std::make_unique<TDiskMgr>();
  other->SetFileName(file.Path());
  other->SetPageSize(PageSize);
  other->SetOpenMode(fmOpenReadWrite | fmShareDenyNone);
  other->Open();
  for (auto _ : state) {
    benchmark::DoNotOptimize(dm->LockTable(7, kind));
    dm->UnlockTable(7);
  }
  state.SetItemsProcessed(state.iterations());
  state.SetLabel(kind == 4 ? "write" : "read");
}
BENCHMARK(BM_LockUnlockTable)->Arg(1)->Arg(4)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
