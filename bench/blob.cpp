// Blob chains of 64 KB and 1 MB in 512-byte blocks: writing a new chain, rewriting it in place
// and reading it, over a database file (page cache on, plain pages) and over memory blocks.
// Reported per operation, as bytes per second, and as seconds per MB.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "engine/storage/DatabaseFileLayout.h"
#include "engine/storage/DiskIOInterface.h"
#include "engine/storage/DiskMgr.h"
#include "engine/storage/MemoryIOInterface.h"
#include "engine/tables/BlobInterface.h"

namespace {

constexpr uint32_t BlobBlockSize = 512;
constexpr double MB = 1024.0 * 1024.0;

class TBenchBlobs {
 public:
  explicit TBenchBlobs(bool disk) {
    if (disk) {
      std::random_device rd;
      FDir = std::filesystem::temp_directory_path() / ("ox-bench-blob-" + std::to_string(rd()));
      std::filesystem::create_directories(FDir);
      FDiskMgr = std::make_unique<TDiskMgr>();
      FDiskMgr->SetFileName((FDir / "bench.vor").string());
      FDiskMgr->SetPageSize(dbfile::DefaultPageSize);
      FDiskMgr->SetOpenMode(fmOpenReadWrite | fmShareExclusive);
      FDiskMgr->CreateNewFile(true);
      FDiskMgr->Open();
      auto io = std::make_unique<TDiskIOInterface>();
      io->SetDiskMgr(FDiskMgr.get());
      io->SetTableID(1);
      io->SetUsage(dbfile::UsageBlob);
      io->SetPageFlags(1);
      io->SetFirstEmptyValidated(true);
      FIO = std::move(io);
    } else {
      FIO = std::make_unique<TMemoryIOInterface>();
    }
    FIO->SetBlockSize(BlobBlockSize);
    FIO->Open();
    Blob.SetIOInterface(FIO.get());
    Blob.SetBlockSize(BlobBlockSize);
    Blob.Open();
  }
  ~TBenchBlobs() {
    Blob.Close();
    FIO.reset();
    FDiskMgr.reset();
    std::error_code ec;
    if (!FDir.empty()) std::filesystem::remove_all(FDir, ec);
  }

  TBlobInterface Blob;

 private:
  std::filesystem::path FDir;
  std::unique_ptr<TDiskMgr> FDiskMgr;
  std::unique_ptr<TBaseIOInterface> FIO;
};

std::vector<uint8_t> Value(size_t size) {
  std::vector<uint8_t> value(size);
  std::mt19937 gen(7);
  for (auto& b : value) b = static_cast<uint8_t>(gen());
  return value;
}

void Report(benchmark::State& state, size_t size) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
  state.counters["s_per_MB"] = benchmark::Counter(
      static_cast<double>(size) / MB,
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_BlobWrite(benchmark::State& state, bool disk) {
  const auto size = static_cast<size_t>(state.range(0));
  TBenchBlobs blobs(disk);
  const std::vector<uint8_t> value = Value(size);
  for (auto _ : state) {
    const uint32_t address = blobs.Blob.WriteNewBlob(value);
    state.PauseTiming();
    blobs.Blob.FreeBlob(address, static_cast<uint32_t>(size));
    state.ResumeTiming();
  }
  Report(state, size);
}

void BM_BlobUpdate(benchmark::State& state, bool disk) {
  const auto size = static_cast<size_t>(state.range(0));
  TBenchBlobs blobs(disk);
  const std::vector<uint8_t> value = Value(size);
  const uint32_t address = blobs.Blob.WriteNewBlob(value);
  for (auto _ : state) {
    benchmark::DoNotOptimize(blobs.Blob.UpdateBlob(address, static_cast<uint32_t>(size), value));
  }
  Report(state, size);
}

void BM_BlobRead(benchmark::State& state, bool disk) {
  const auto size = static_cast<size_t>(state.range(0));
  TBenchBlobs blobs(disk);
  const uint32_t address = blobs.Blob.WriteNewBlob(Value(size));
  std::vector<uint8_t> stream;
  stream.reserve(size);
  for (auto _ : state) {
    stream.clear();
    blobs.Blob.ReadBlob(address, static_cast<uint32_t>(size), stream);
    benchmark::DoNotOptimize(stream.data());
  }
  Report(state, size);
}

BENCHMARK_CAPTURE(BM_BlobWrite, Disk, true)
    ->Arg(64 << 10)
    ->Arg(1 << 20)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_BlobUpdate, Disk, true)
    ->Arg(64 << 10)
    ->Arg(1 << 20)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_BlobRead, Disk, true)
    ->Arg(64 << 10)
    ->Arg(1 << 20)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_BlobWrite, Memory, false)->Arg(1 << 20)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_BlobRead, Memory, false)->Arg(1 << 20)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
