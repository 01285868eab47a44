// Index trees of unique integer keys with 4096-byte nodes, over a database file (index
// interface through the page cache) and over memory blocks: inserts in random order at 10^5
// and 10^6 keys, then 100k random finds of present keys at 10^4, 10^5 and 10^6 keys. Prints
// the cost per operation and the ratio of a find at 10^6 keys to one at 10^4 (the goal is
// at most 1.5: a search should cost little more than one block per level).
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "engine/index/BTree.h"
#include "engine/storage/DatabaseFileLayout.h"
#include "engine/storage/DiskIOInterface.h"
#include "engine/storage/DiskMgr.h"
#include "engine/storage/LittleEndian.h"
#include "engine/storage/MemoryIOInterface.h"

namespace {

constexpr int32_t NodeSize = 4096;
// Record: 14 header bytes, one null flag, the integer.
constexpr int32_t NullFlagOffset = 14;
constexpr int32_t ValueOffset = 15;
constexpr int32_t RecordSize = 19;
constexpr int FindCount = 100000;

using TClock = std::chrono::steady_clock;

double NanosecondsPer(TClock::time_point start, int64_t count) {
  return std::chrono::duration<double, std::nano>(TClock::now() - start).count() /
         static_cast<double>(count);
}

class TScratchFile {
 public:
  TScratchFile() {
    std::random_device rd;
    FDir = std::filesystem::temp_directory_path() / ("ox-bench-btree-" + std::to_string(rd()));
    std::filesystem::create_directories(FDir);
  }
  ~TScratchFile() {
    std::error_code ec;
    std::filesystem::remove_all(FDir, ec);
  }
  std::string Path(const std::string& name) const { return (FDir / name).string(); }

 private:
  std::filesystem::path FDir;
};

// A tree with its store, root and depth.
class TBenchTree {
 public:
  TBenchTree(bool disk, const TScratchFile& dir, const std::string& name) {
    if (disk) {
      FDiskMgr = std::make_unique<TDiskMgr>();
      FDiskMgr->SetFileName(dir.Path(name));
      FDiskMgr->SetPageSize(4096);
      FDiskMgr->SetOpenMode(fmOpenReadWrite | fmShareDenyNone);
      FDiskMgr->CreateNewFile(true);
      FDiskMgr->Open();
      auto io = std::make_unique<TDiskIOInterface>();
      io->SetDiskMgr(FDiskMgr.get());
      io->SetTableID(1);
      io->SetPageFlags(1);
      io->SetFirstEmptyValidated(true);
      FIO = std::move(io);
    } else {
      FIO = std::make_unique<TMemoryIOInterface>();
    }
    FIO->SetBlockSize(NodeSize);
    FIO->SetUsage(dbfile::UsageIndex);
    FIO->Open();

    TKeyFields keys;
    TKeyFieldItem& k = keys.Add();
    k.IndexName = "ById";
    k.FieldName = "Id";
    k.DataType = ftInteger;
    k.FieldSize = 4;
    k.RecBufOffset = ValueOffset;
    k.NullFlagOffset = NullFlagOffset;
    keys.KeyDataOffset = 1;
    FTree.SetKeyFields(keys);
    FTree.SetSortOrder(soASCII);
    FTree.AllocateKeyBuffers(KeyEntrySize(keys) + keys.KeyDataOffset);
    FTree.Attach(FIO.get(), NodeSize, FDepth, FRoot);
    FTree.CreateEmptyTree();
    FTree.Open();
    FRecord.assign(RecordSize, 0);
    FRecord[0] = 1;
    FRecord[NullFlagOffset] = 1;
  }
  ~TBenchTree() {
    FTree.Close();
    FIO.reset();
    if (FDiskMgr) FDiskMgr->Close();
  }

  void Insert(int32_t value) {
    Search(value);
    if (FTree.Find(fmExact) == 0) std::fprintf(stderr, "duplicate %d\n", value);
    FTree.SetKeyAddress(static_cast<uint32_t>(value) * 8 + 8);
    FTree.Insert();
  }
  bool Find(int32_t value) {
    Search(value);
    return FTree.Find(fmExact) == 0;
  }
  int32_t Depth() const { return FDepth; }

 private:
  void Search(int32_t value) {
    le::PutU32(FRecord.data() + ValueOffset, static_cast<uint32_t>(value));
    FTree.SetSearchKeyFromRecord(FRecord, nullptr);
  }

  std::unique_ptr<TDiskMgr> FDiskMgr;
  std::unique_ptr<TBaseIOInterface> FIO;
  TBTree FTree;
  uint32_t FRoot = 0;
  int32_t FDepth = 0;
  std::vector<uint8_t> FRecord;
};

struct TResult {
  double InsertNs = 0;
  double FindNs = 0;
  int32_t Depth = 0;
};

TResult Measure(bool disk, const TScratchFile& dir, int count, std::mt19937& random) {
  TBenchTree tree(disk, dir, "bench" + std::to_string(count) + ".vor");
  std::vector<int32_t> values(static_cast<size_t>(count));
  std::iota(values.begin(), values.end(), 0);
  for (int32_t& v : values) v *= 2;
  std::shuffle(values.begin(), values.end(), random);

  TResult result;
  auto start = TClock::now();
  for (int32_t v : values) tree.Insert(v);
  result.InsertNs = NanosecondsPer(start, count);

  std::vector<int32_t> probes(FindCount);
  std::uniform_int_distribution<size_t> pick(0, values.size() - 1);
  for (int32_t& p : probes) p = values[pick(random)];
  int found = 0;
  start = TClock::now();
  for (int32_t p : probes) found += tree.Find(p) ? 1 : 0;
  result.FindNs = NanosecondsPer(start, FindCount);
  if (found != FindCount) std::fprintf(stderr, "only %d of %d found\n", found, FindCount);
  result.Depth = tree.Depth();
  return result;
}

}  // namespace

int main() {
  TScratchFile dir;
  std::mt19937 random(12345);
  std::printf("%-8s %9s %6s %14s %14s\n", "store", "keys", "depth", "insert ns/op", "find ns/op");
  for (bool disk : {true, false}) {
    double find4 = 0;
    double find6 = 0;
    for (int count : {10000, 100000, 1000000}) {
      const TResult r = Measure(disk, dir, count, random);
      std::printf("%-8s %9d %6d %14.0f %14.0f\n", disk ? "file" : "memory", count, r.Depth,
                  r.InsertNs, r.FindNs);
      if (count == 10000) find4 = r.FindNs;
      if (count == 1000000) find6 = r.FindNs;
    }
    std::printf("%-8s find at 10^6 / find at 10^4 = %.2f\n", disk ? "file" : "memory",
                find6 / find4);
  }
  return 0;
}
