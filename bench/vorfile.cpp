// Cost of the file object's page cache: a hot page read and written through TVorFile beside a
// plain 4096-byte memcpy, and the look-up cost with 50 and with 1000 cached pages.
#include <benchmark/benchmark.h>

#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "engine/storage/CacheMgr.h"
#include "engine/storage/VorFile.h"
#include "engine/storage/XorCipher.h"
#include "platform/File.h"

namespace {

constexpr uint32_t P = 4096;

// A database-sized scratch file, removed at the end.
class TBenchFile {
 public:
  explicit TBenchFile(uint32_t pages) {
    std::random_device rd;
    Path = (std::filesystem::temp_directory_path() /
            ("ox-bench-vorfile-" + std::to_string(rd()) + ".vor"))
               .string();
    platform::File f;
    f.Create(Path, platform::Share::DenyNone);
    std::vector<uint8_t> page(P, 0x5A);
    for (uint32_t i = 0; i < pages; ++i) f.WriteExact(uint64_t{i} * P, page.data(), P);
    f.Close();
    File.SetReadAccess(true);
    File.SetWriteAccess(true);
    File.SetUseCache(true);
    File.SetXORKeyBuf(BuiltInXorKey.data(), static_cast<int>(BuiltInXorKey.size()));
    File.OpenVorFile(Path);
  }
  ~TBenchFile() {
    File.Close();
    std::error_code ec;
    std::filesystem::remove(Path, ec);
  }

  std::string Path;
  TVorFile File;
};

void BM_Memcpy4096(benchmark::State& state) {
  std::vector<uint8_t> from(P, 1), to(P);
  for (auto _ : state) {
    std::memcpy(to.data(), from.data(), P);
    benchmark::DoNotOptimize(to.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Memcpy4096);

void BM_CachedReadHotPage(benchmark::State& state) {
  TBenchFile db(16);
  std::vector<uint8_t> buffer(P);
  db.File.ReadCached(buffer.data(), 3 * P, 1, 1, P);
  for (auto _ : state) {
    db.File.ReadCached(buffer.data(), 3 * P, 1, 1, P);
    benchmark::DoNotOptimize(buffer.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CachedReadHotPage);

// Inside a transaction a cached write stays in memory: the cache's own cost.
void BM_CachedWriteHotPageInTransaction(benchmark::State& state) {
  TBenchFile db(16);
  std::vector<uint8_t> buffer(P, 7);
  db.File.StartTransaction();
  for (auto _ : state) {
    db.File.WriteCached(buffer.data(), 3 * P, 1, 1, P);
    benchmark::ClobberMemory();
  }
  db.File.Rollback();
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CachedWriteHotPageInTransaction);

// Outside a transaction every write also reaches the file (one positioned write).
void BM_CachedWriteHotPageThrough(benchmark::State& state) {
  TBenchFile db(16);
  std::vector<uint8_t> buffer(P, 7);
  for (auto _ : state) {
    db.File.WriteCached(buffer.data(), 3 * P, 1, 1, P);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CachedWriteHotPageThrough);

// Look-up of resident pages in a full cache of state.range(0) pages, 16 bytes per read so
// that the look-up, not the copy, dominates. Must not grow with the cache size.
void BM_PageCacheLookup(benchmark::State& state) {
  const auto pages = static_cast<uint32_t>(state.range(0));
  TCacheMgr cache;
  cache.ReadIO = [](uint8_t* data, uint32_t, uint32_t, uint32_t) { std::memset(data, 1, P); };
  cache.WriteIO = [](const uint8_t*, uint32_t, uint32_t, uint32_t) {};
  cache.Open(pages, P);
  uint8_t bytes[16];
  for (uint32_t i = 0; i < pages; ++i) cache.ReadPages(bytes, 1, 16, i * P, 1);
  std::vector<uint32_t> order(pages);
  for (uint32_t i = 0; i < pages; ++i) order[i] = i * P;
  std::shuffle(order.begin(), order.end(), std::mt19937(7));
  size_t next = 0;
  for (auto _ : state) {
    cache.ReadPages(bytes, 1, 16, order[next], 1);
    benchmark::DoNotOptimize(bytes);
    if (++next == order.size()) next = 0;
  }
  if (cache.Misses() != pages) state.SkipWithError("pages were evicted");
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_PageCacheLookup)->Arg(50)->Arg(1000);

// The address look-up alone, without touching the page's bytes.
void BM_PageCacheFindPage(benchmark::State& state) {
  const auto pages = static_cast<uint32_t>(state.range(0));
  TCacheMgr cache;
  cache.ReadIO = [](uint8_t*, uint32_t, uint32_t, uint32_t) {};
  cache.WriteIO = [](const uint8_t*, uint32_t, uint32_t, uint32_t) {};
  cache.Open(pages, P);
  uint8_t byte;
  for (uint32_t i = 0; i < pages; ++i) cache.ReadPages(&byte, 1, 1, i * P, 1);
  std::vector<uint32_t> order(pages);
  for (uint32_t i = 0; i < pages; ++i) order[i] = i * P;
  std::shuffle(order.begin(), order.end(), std::mt19937(7));
  size_t next = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(cache.FindPage(order[next]));
    if (++next == order.size()) next = 0;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_PageCacheFindPage)->Arg(50)->Arg(1000);

}  // namespace

BENCHMARK_MAIN();
