// Record manager throughput on a database file: appending, reading by address and rewriting
// 100k records of 81 bytes (integer, string of 40, date-time, memo), reported per operation.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "engine/storage/DatabaseFileLayout.h"
#include "engine/storage/DiskIOInterface.h"
#include "engine/storage/DiskMgr.h"
#include "engine/storage/FirstEmptyScope.h"
#include "engine/storage/LittleEndian.h"
#include "engine/tables/FieldValue.h"
#include "engine/tables/RecordMgr.h"
#include "engine/tables/TableHeaderMgr.h"
#include "engine/tables/TableInterfaces.h"

namespace {

constexpr int RecordCount = 100000;
constexpr int32_t PageSize = 4096;

class ScratchFile {
 public:
  ScratchFile() {
    std::string pattern = (std::filesystem::temp_directory_path() / "ox-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data()) != nullptr) FDir = pattern;
  }
  ~ScratchFile() {
    std::error_code ec;
    if (!FDir.empty()) std::filesystem::remove_all(FDir, ec);
  }
  std::string Path() const { return FDir + "/bench.vor"; }

 private:
  std::string FDir;
};

// A new database with one table, its records open as a dataset has them open.
class RecordTable {
 public:
  explicit RecordTable(const std::string& path) {
    FDiskMgr.SetFileName(path);
    FDiskMgr.SetPageSize(PageSize);
    FDiskMgr.CreateNewFile(true);
    FDiskMgr.SetOpenMode(fmOpenReadWrite | fmShareDenyNone);
    FDiskMgr.Open();
    OpenTableHeaderInterface(FHeaderIO, FDiskMgr, false);
    FHeaderMgr.SetBaseAddress(dbfile::UserTableHeaderMapPage * PageSize);
    FHeaderMgr.Open(FHeaderIO);
    const uint32_t table = FHeaderMgr.AddTable(0);
    FHeader = &FHeaderMgr.OpenTable(table);

    const int types[] = {ftInteger, ftString, ftDateTime, ftMemo};
    for (int i = 0; i < 4; ++i) {
      auto& item = FRecords.Fields().Add();
      item.SetDataType(types[i]);
      if (types[i] == ftString) {
        item.SetFieldSize(41);
        item.SetIsVariable(true);
      }
      item.SetFieldIndex(i);
    }
    FRecords.Fields().SetDefaultOffsets();
    FRecords.SetRecordSize(FRecords.Fields().RecordSize());
    FRecordIO.SetDiskMgr(&FDiskMgr);
    FRecordIO.SetBlockSize(FRecords.RecordSize());
    FRecordIO.SetUsage(record::RecordUsage);
    FRecordIO.SetTableID(static_cast<uint16_t>(table));
    FRecordIO.SetPageFlags(PageFlagCached);
    FRecordIO.Open();
    FRecords.Open(FRecordIO);
    FKeeper.Load = [this] { return FHeader->RecordFirstEmpty(); };
    FKeeper.Store = [this](uint32_t v) { FHeader->SetRecordFirstEmpty(v); };
    FTableID = table;
  }
  ~RecordTable() {
    FRecords.Close();
    FRecordIO.Close();
    FHeaderMgr.CloseAll();
  }

  std::vector<uint8_t> MakeRecord(uint32_t id) const {
    std::vector<uint8_t> record(FRecords.RecordSize(), 0);
    record[record::LiveMarkerOffset] = record::LiveMarker;
    le::PutU32(&record[record::SignatureOffset], record::Signature(FTableID));
    le::PutU32(&record[record::RecordIDOffset], id);
    const auto& fields = FRecords.Fields();
    TFieldValue::Set(fields.Items(0), record, {reinterpret_cast<const uint8_t*>(&id), 4});
    const std::string text = "Product number " + std::to_string(id);
    TFieldValue::Set(fields.Items(1), record,
                     {reinterpret_cast<const uint8_t*>(text.data()), text.size()});
    const double when = 45000.5 + id;
    TFieldValue::Set(fields.Items(2), record, {reinterpret_cast<const uint8_t*>(&when), 8});
    return record;
  }

  uint32_t Append(const std::vector<uint8_t>& record) {
    TFirstEmptyScope scope(FRecordIO, &FKeeper);
    return FRecords.AppendRecord(record);
  }

  TRecordMgr& Records() { return FRecords; }

 private:
  TDiskMgr FDiskMgr;
  TDiskIOInterface FHeaderIO;
  TTableHeaderMgr FHeaderMgr;
  TTableHeader* FHeader = nullptr;
  TDiskIOInterface FRecordIO;
  TRecordMgr FRecords;
  TFirstEmptyKeeper FKeeper;
  uint32_t FTableID = 0;
};

void PerOperation(benchmark::State& state) {
  state.SetItemsProcessed(state.iterations() * RecordCount);
  state.counters["per_op"] = benchmark::Counter(
      RecordCount, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_RecordAppend(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    {
      ScratchFile file;
      auto table = std::make_unique<RecordTable>(file.Path());
      std::vector<std::vector<uint8_t>> records;
      records.reserve(RecordCount);
      for (int i = 0; i < RecordCount; ++i) records.push_back(table->MakeRecord(i + 1));
      state.ResumeTiming();
      for (const auto& record : records) benchmark::DoNotOptimize(table->Append(record));
      state.PauseTiming();
      table.reset();
    }
    state.ResumeTiming();
  }
  PerOperation(state);
}

// One table of 100k records for the read and rewrite runs.
struct Filled {
  ScratchFile File;
  std::unique_ptr<RecordTable> Table;
  std::vector<uint32_t> Addresses;

  Filled() : Table(std::make_unique<RecordTable>(File.Path())) {
    for (int i = 0; i < RecordCount; ++i) {
      Addresses.push_back(Table->Append(Table->MakeRecord(i + 1)));
    }
  }
};

void BM_RecordRead(benchmark::State& state) {
  Filled filled;
  std::vector<uint8_t> buffer(filled.Table->Records().RecordSize() + 12);
  for (auto _ : state) {
    for (uint32_t address : filled.Addresses) {
      filled.Table->Records().ReadRecord(address, buffer, true);
      benchmark::DoNotOptimize(buffer.data());
    }
  }
  PerOperation(state);
}

void BM_RecordReadShuffled(benchmark::State& state) {
  Filled filled;
  std::vector<uint32_t> order = filled.Addresses;
  std::shuffle(order.begin(), order.end(), std::mt19937(1));
  std::vector<uint8_t> buffer(filled.Table->Records().RecordSize() + 12);
  for (auto _ : state) {
    for (uint32_t address : order) {
      filled.Table->Records().ReadRecord(address, buffer, true);
      benchmark::DoNotOptimize(buffer.data());
    }
  }
  PerOperation(state);
}

void BM_RecordRewrite(benchmark::State& state) {
  Filled filled;
  std::vector<std::vector<uint8_t>> records;
  records.reserve(RecordCount);
  for (int i = 0; i < RecordCount; ++i) {
    auto record = filled.Table->MakeRecord(i + 1);
    le::PutU32(&record[record::UpdateCountOffset], 1);
    records.push_back(std::move(record));
  }
  for (auto _ : state) {
    for (int i = 0; i < RecordCount; ++i) {
      filled.Table->Records().WriteRecord(filled.Addresses[i], records[i]);
    }
  }
  PerOperation(state);
}

}  // namespace

BENCHMARK(BM_RecordAppend)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_RecordRead)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_RecordReadShuffled)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_RecordRewrite)->Unit(benchmark::kMillisecond)->Iterations(3);

BENCHMARK_MAIN();
