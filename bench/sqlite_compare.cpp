// The engine against SQLite 3 on one table of (integer id, string of 40, float) with a unique
// index on id and a non-unique index on the string: N inserts in one transaction, N random
// point look-ups by id returning the record, and a walk of the string index in key order
// returning every record. Both engines run in this process on the same data, each in a file
// of the same temporary directory.
//
// Usage: bench_sqlite_compare [N [ours]]   (N defaults to 100000; "ours" skips SQLite).
#include <sqlite3.h>
#include <stdlib.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <numeric>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/index/DeriveIndexDef.h"
#include "engine/index/IndexManager.h"
#include "engine/storage/DatabaseFileLayout.h"
#include "engine/storage/DiskIOInterface.h"
#include "engine/storage/DiskMgr.h"
#include "engine/storage/FirstEmptyScope.h"
#include "engine/storage/LittleEndian.h"
#include "engine/storage/VorFile.h"
#include "engine/tables/FieldValue.h"
#include "engine/tables/InternalFields.h"
#include "engine/tables/RecordMgr.h"
#include "engine/tables/TableHeaderMgr.h"
#include "engine/tables/TableInterfaces.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

struct TRow {
  int32_t Id;
  std::string Name;
  double Price;
};

// Ids in random order; names of 40 characters, about two records per name.
std::vector<TRow> MakeRows(int n) {
  std::mt19937 rng(42);
  std::vector<int32_t> ids(static_cast<size_t>(n));
  std::iota(ids.begin(), ids.end(), 1);
  std::shuffle(ids.begin(), ids.end(), rng);
  std::vector<TRow> rows;
  rows.reserve(ids.size());
  for (int32_t id : ids) {
    char name[64];
    std::snprintf(name, sizeof name, "product %08u of the catalogue ......",
                  static_cast<unsigned>(rng() % static_cast<unsigned>(n / 2 + 1)));
    rows.push_back({id, std::string(name, 40), (rng() % 100000) / 100.0});
  }
  return rows;
}

class TScratchDir {
 public:
  TScratchDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "ox-vs-sqlite-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("no temporary directory");
    FPath = pattern;
  }
  ~TScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(FPath, ec);
  }
  std::string File(const char* name) const { return FPath + "/" + name; }

 private:
  std::string FPath;
};

struct TTimes {
  double Insert = 0, Lookup = 0, Walk = 0;
  uint64_t WalkHash = 0;
  int64_t Found = 0;
};

// Order-sensitive digest of the ids met by a walk.
void HashId(uint64_t& hash, int32_t id) {
  hash = hash * 1099511628211ull + static_cast<uint32_t>(id);
}

// ---- ours ----

class TOurTable {
 public:
  static constexpr int32_t PageSize = 4096;

  explicit TOurTable(const std::string& path) {
    FFields.Add().SetFieldName("Id");
    FFields.Items(0).SetDataType(ftInteger);
    FFields.Add().SetFieldName("Name");
    FFields.Items(1).SetDataType(ftString);
    FFields.Items(1).SetFieldSize(41);
    FFields.Items(1).SetIsVariable(true);
    FFields.Add().SetFieldName("Price");
    FFields.Items(2).SetDataType(ftFloat);
    for (int i = 0; i < 3; ++i) FFields.Items(i).SetFieldIndex(i);
    FFields.SetDefaultOffsets();
    DeriveIndexDefs({{"ById", "Id", ixopt::Unique, "", ""}, {"ByName", "Name", 0, "", ""}},
                    {FFields, false, FKeyFields, FIndexDefs});

    FDiskMgr.SetFileName(path);
    FDiskMgr.SetPageSize(PageSize);
    FDiskMgr.CreateNewFile(true);
    FDiskMgr.SetOpenMode(fmOpenReadWrite | fmShareDenyNone);
    FDiskMgr.Open();
    OpenTableHeaderInterface(FHeaderIO, FDiskMgr, false);
    FHeaders.SetBaseAddress(dbfile::UserTableHeaderMapPage * PageSize);
    FHeaders.Open(FHeaderIO);
    FTableID = FHeaders.AddTable(FIndexDefs.Count());
    FHeader = &FHeaders.OpenTable(FTableID);

    FRecords.Fields().Assign(FFields);
    FRecords.SetRecordSize(FFields.RecordSize());
    FRecordIO = MakeTableDiskInterface(FDiskMgr, static_cast<uint16_t>(FTableID),
                                       dbfile::UsageRecords, FRecords.RecordSize(), PageFlagCached);
    FRecordIO->Open();
    FRecords.Open(*FRecordIO);
    FKeeper.Load = [this] { return FHeader->RecordFirstEmpty(); };
    FKeeper.Store = [this](uint32_t v) { FHeader->SetRecordFirstEmpty(v); };
    FIndexIO = MakeTableDiskInterface(FDiskMgr, static_cast<uint16_t>(FTableID), dbfile::UsageIndex,
                                      4096, PageFlagCached);
    FIndexIO->SetGlobalItem(dbfile::HdrIndexFirstEmpty);
    FIndexIO->Open();

    // Byte order for strings, as SQLite's default collation.
    FIndexes.SetSortFunction(&CompareAsciiKeys);
    FIndexes.Assign(FIndexDefs);
    FIndexes.AssignKeyFields(FKeyFields);
    FIndexes.SetIOInterface(FIndexIO.get());
    FIndexes.SetTableHeader(FHeader);
    FIndexes.EmptyIndexes();
    FIndexes.Open();
  }
  ~TOurTable() {
    FIndexes.CloseIndexes();
    FRecords.Close();
    FRecordIO->Close();
    FIndexIO->Close();
    FHeaders.CloseAll();
    FDiskMgr.Close();
  }

  void FillRecord(std::vector<uint8_t>& record, const TRow& row, uint32_t recordId) const {
    std::fill(record.begin(), record.end(), 0);
    record[record::LiveMarkerOffset] = record::LiveMarker;
    le::PutU32(&record[record::SignatureOffset], record::Signature(FTableID));
    le::PutU32(&record[record::RecordIDOffset], recordId);
    TFieldValue::Set(FFields.Items(0), record, {reinterpret_cast<const uint8_t*>(&row.Id), 4});
    TFieldValue::Set(FFields.Items(1), record,
                     {reinterpret_cast<const uint8_t*>(row.Name.data()), row.Name.size()});
    TFieldValue::Set(FFields.Items(2), record, {reinterpret_cast<const uint8_t*>(&row.Price), 8});
  }

  double Insert(const std::vector<TRow>& rows) {
    std::vector<uint8_t> record(static_cast<size_t>(FRecords.RecordSize()));
    const auto start = Clock::now();
    FDiskMgr.StartTransaction();
    for (const TRow& row : rows) {
      const uint32_t recordId = FHeader->LastRecordID() + 1;
      FHeader->SetLastRecordID(recordId);
      FillRecord(record, row, recordId);
      FIndexes.PrepareInsert(record);
      uint32_t address = 0;
      {
        TFirstEmptyScope scope(*FRecordIO, &FKeeper);
        address = FRecords.AppendRecord(record);
      }
      FIndexes.CompleteInsert(address);
    }
    FHeader->WriteHeader();
    FDiskMgr.Commit();
    return Seconds(start);
  }

  double Lookup(const std::vector<int32_t>& ids, int64_t& found) {
    std::vector<uint8_t> probe(static_cast<size_t>(FRecords.RecordSize()), 0);
    std::vector<uint8_t> record(probe.size());
    const TInternalFieldItem& id = FFields.Items(0);
    probe[record::LiveMarkerOffset] = record::LiveMarker;
    probe[static_cast<size_t>(id.NullFlagOffset())] = record::NullFlagValue;
    TIndexItem& byId = *FIndexes.FindIndex("ById");
    const auto start = Clock::now();
    for (int32_t value : ids) {
      le::PutU32(&probe[static_cast<size_t>(id.DataOffset())], static_cast<uint32_t>(value));
      byId.SetSearchKeyFromRecord(probe, nullptr);
      if (byId.Find(fmExact) != 0) continue;
      FRecords.ReadRecord(byId.GetRecordAddress(), record, false);
      found +=
          le::GetU32(&record[static_cast<size_t>(id.DataOffset())]) == static_cast<uint32_t>(value);
    }
    return Seconds(start);
  }

  double Walk(uint64_t& hash, int64_t& count) {
    std::vector<uint8_t> record(static_cast<size_t>(FRecords.RecordSize()));
    const size_t idOffset = static_cast<size_t>(FFields.Items(0).DataOffset());
    TIndexItem& byName = *FIndexes.FindIndex("ByName");
    const auto start = Clock::now();
    if (byName.Tree().First()) {
      do {
        FRecords.ReadRecord(byName.GetRecordAddress(), record, false);
        HashId(hash, static_cast<int32_t>(le::GetU32(&record[idOffset])));
        ++count;
      } while (byName.Next());
    }
    return Seconds(start);
  }

 private:
  TInternalFields FFields;
  TKeyFields FKeyFields;
  TInternalIndexDefs FIndexDefs;
  TDiskMgr FDiskMgr;
  TDiskIOInterface FHeaderIO;
  TTableHeaderMgr FHeaders;
  TTableHeader* FHeader = nullptr;
  uint32_t FTableID = 0;
  std::unique_ptr<TDiskIOInterface> FRecordIO;
  std::unique_ptr<TDiskIOInterface> FIndexIO;
  TRecordMgr FRecords;
  TFirstEmptyKeeper FKeeper;
  TIndexManager FIndexes;
};

// ---- SQLite ----

class TSqlite {
 public:
  explicit TSqlite(const std::string& path) {
    if (sqlite3_open(path.c_str(), &FDb) != SQLITE_OK) Fail("open");
    // The engine does not sync the file at commit; neither does SQLite here.
    Exec("PRAGMA synchronous=OFF");
    Exec("CREATE TABLE t(id INTEGER, name TEXT, price REAL)");
    Exec("CREATE UNIQUE INDEX t_id ON t(id)");
    Exec("CREATE INDEX t_name ON t(name)");
  }
  ~TSqlite() { sqlite3_close(FDb); }

  double Insert(const std::vector<TRow>& rows) {
    sqlite3_stmt* st = Prepare("INSERT INTO t(id, name, price) VALUES(?, ?, ?)");
    const auto start = Clock::now();
    Exec("BEGIN");
    for (const TRow& row : rows) {
      sqlite3_bind_int(st, 1, row.Id);
      sqlite3_bind_text(st, 2, row.Name.data(), static_cast<int>(row.Name.size()), SQLITE_STATIC);
      sqlite3_bind_double(st, 3, row.Price);
      if (sqlite3_step(st) != SQLITE_DONE) Fail("insert");
      sqlite3_reset(st);
    }
    Exec("COMMIT");
    const double t = Seconds(start);
    sqlite3_finalize(st);
    return t;
  }

  double Lookup(const std::vector<int32_t>& ids, int64_t& found) {
    sqlite3_stmt* st = Prepare("SELECT id, name, price FROM t WHERE id = ?");
    char name[64];
    const auto start = Clock::now();
    // One read transaction, as the engine's look-ups take no lock per look-up either.
    Exec("BEGIN");
    for (int32_t value : ids) {
      sqlite3_bind_int(st, 1, value);
      if (sqlite3_step(st) == SQLITE_ROW) {
        found += sqlite3_column_int(st, 0) == value;
        std::memcpy(name, sqlite3_column_text(st, 1),
                    static_cast<size_t>(std::min(sqlite3_column_bytes(st, 1), 63)));
        volatile double price = sqlite3_column_double(st, 2);
        (void)price;
      }
      sqlite3_reset(st);
    }
    Exec("COMMIT");
    const double t = Seconds(start);
    sqlite3_finalize(st);
    return t;
  }

  double Walk(uint64_t& hash, int64_t& count) {
    sqlite3_stmt* st = Prepare("SELECT id, name, price FROM t ORDER BY name");
    char name[64];
    const auto start = Clock::now();
    while (sqlite3_step(st) == SQLITE_ROW) {
      HashId(hash, sqlite3_column_int(st, 0));
      std::memcpy(name, sqlite3_column_text(st, 1),
                  static_cast<size_t>(std::min(sqlite3_column_bytes(st, 1), 63)));
      volatile double price = sqlite3_column_double(st, 2);
      (void)price;
      ++count;
    }
    const double t = Seconds(start);
    sqlite3_finalize(st);
    return t;
  }

 private:
  [[noreturn]] void Fail(const char* what) {
    throw std::runtime_error(std::string("sqlite ") + what + ": " + sqlite3_errmsg(FDb));
  }
  void Exec(const char* sql) {
    if (sqlite3_exec(FDb, sql, nullptr, nullptr, nullptr) != SQLITE_OK) Fail(sql);
  }
  sqlite3_stmt* Prepare(const char* sql) {
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(FDb, sql, -1, &st, nullptr) != SQLITE_OK) Fail(sql);
    return st;
  }

  sqlite3* FDb = nullptr;
};

template <typename Engine>
TTimes Run(Engine& engine, const std::vector<TRow>& rows, const std::vector<int32_t>& probes) {
  TTimes t;
  t.Insert = engine.Insert(rows);
  t.Lookup = engine.Lookup(probes, t.Found);
  int64_t walked = 0;
  t.Walk = engine.Walk(t.WalkHash, walked);
  if (walked != static_cast<int64_t>(rows.size())) throw std::runtime_error("walk lost records");
  return t;
}

void Print(const char* name, double ours, double theirs, int n) {
  std::printf("%-28s ours %9.1f ms (%6.2f us/op)   SQLite %9.1f ms (%6.2f us/op)   ratio %5.2f\n",
              name, ours * 1e3, ours * 1e6 / n, theirs * 1e3, theirs * 1e6 / n, ours / theirs);
}

}  // namespace

int main(int argc, char** argv) {
  try {
    const int n = argc > 1 ? std::max(1, std::atoi(argv[1])) : 100000;
    const bool oursOnly = argc > 2 && std::string(argv[2]) == "ours";
    const std::vector<TRow> rows = MakeRows(n);
    std::vector<int32_t> probes(static_cast<size_t>(n));
    std::mt19937 rng(7);
    for (int32_t& p : probes) p = static_cast<int32_t>(rng() % static_cast<unsigned>(n)) + 1;

    TScratchDir dir;
    TTimes ours;
    {
      TOurTable table(dir.File("bench.vor"));
      ours = Run(table, rows, probes);
    }
    std::printf("%d records; database file %.1f MB\n", n,
                static_cast<double>(std::filesystem::file_size(dir.File("bench.vor"))) / 1e6);
    if (oursOnly) {
      std::printf("insert %.1f ms, lookup %.1f ms, walk %.1f ms\n", ours.Insert * 1e3,
                  ours.Lookup * 1e3, ours.Walk * 1e3);
      return 0;
    }
    TTimes theirs;
    {
      TSqlite db(dir.File("bench.sqlite"));
      theirs = Run(db, rows, probes);
    }
    std::printf("SQLite %s file %.1f MB\n", sqlite3_libversion(),
                static_cast<double>(std::filesystem::file_size(dir.File("bench.sqlite"))) / 1e6);
    Print("insert (one transaction)", ours.Insert, theirs.Insert, n);
    Print("point look-up by id", ours.Lookup, theirs.Lookup, n);
    Print("ordered walk of name index", ours.Walk, theirs.Walk, n);
    std::printf("look-ups found: ours %lld, SQLite %lld; walk order identical: %s\n",
                static_cast<long long>(ours.Found), static_cast<long long>(theirs.Found),
                ours.WalkHash == theirs.WalkHash ? "yes" : "no");
    return ours.Found == theirs.Found && ours.WalkHash == theirs.WalkHash ? 0 : 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "failed: %s\n", e.what());
    return 2;
  }
}
