// The record manager over real database files and in memory: records appended, read, rewritten
// and deleted by address, kept across close and reopen, a randomized run against a model, and
// damaged records, addresses and layouts.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "TablesTestSupport.h"
#include "engine/storage/FirstEmptyScope.h"
#include "engine/storage/MemoryIOInterface.h"
#include "engine/tables/FieldValue.h"
#include "engine/tables/RecordMgr.h"

namespace {

using namespace tables_test;

// Integer, string 40, date-time, memo: the 72-byte example plus a blob field.
void BuildLayout(TInternalFields& fields) {
  const int types[] = {ftInteger, ftString, ftDateTime, ftMemo};
  for (int i = 0; i < 4; ++i) {
    auto& item = fields.Add();
    item.SetFieldName("F" + std::to_string(i));
    item.SetDataType(types[i]);
    if (types[i] == ftString) {
      item.SetFieldSize(41);
      item.SetIsVariable(true);
    }
    item.SetFieldNo(i);
    item.SetFieldIndex(i);
  }
  fields.SetDefaultOffsets();
}

// One table of a connection: its header, record interface and record manager, with the record
// chain's head kept in the header as a dataset keeps it.
class OpenRecords {
 public:
  OpenRecords(Connection& c, uint32_t tableID)
      : FConn(c), FHeader(c.HeaderMgr().OpenTable(tableID)) {
    BuildLayout(FMgr.Fields());
    FMgr.SetRecordSize(FMgr.Fields().RecordSize());
    FIO.SetDiskMgr(&c.DiskMgr());
    FIO.SetBlockSize(FMgr.RecordSize());
    FIO.SetUsage(record::RecordUsage);
    FIO.SetTableID(static_cast<uint16_t>(tableID));
    FIO.SetPageFlags(PageFlagCached);
    FIO.Open();
    FMgr.Open(FIO);
    FKeeper.Load = [this] { return FHeader.RecordFirstEmpty(); };
    FKeeper.Store = [this](uint32_t v) { FHeader.SetRecordFirstEmpty(v); };
  }
  ~OpenRecords() {
    FMgr.Close();
    FIO.Close();
    FConn.HeaderMgr().CloseTable(&FHeader);
  }

  uint32_t Append(const std::vector<uint8_t>& record) {
    TFirstEmptyScope scope(FIO, &FKeeper);
    return FMgr.AppendRecord(record);
  }
  void Delete(uint32_t address) {
    TFirstEmptyScope scope(FIO, &FKeeper);
    FMgr.DeleteRecord(address);
  }
  std::vector<uint8_t> Read(uint32_t address) {
    std::vector<uint8_t> buffer(FMgr.RecordSize() + 12, 0);
    FMgr.ReadRecord(address, buffer, true);
    buffer.resize(FMgr.RecordSize());
    return buffer;
  }

  TRecordMgr& Mgr() { return FMgr; }
  TTableHeader& Header() { return FHeader; }

 private:
  Connection& FConn;
  TTableHeader& FHeader;
  TDiskIOInterface FIO;
  TRecordMgr FMgr;
  TFirstEmptyKeeper FKeeper;
};

std::vector<uint8_t> MakeRecord(const TInternalFields& fields, uint32_t tableID, uint32_t id,
                                std::mt19937& gen) {
  std::vector<uint8_t> record(fields.RecordSize(), 0);
  record[record::LiveMarkerOffset] = record::LiveMarker;
  le::PutU32(&record[record::SignatureOffset], record::Signature(tableID));
  le::PutU32(&record[record::RecordIDOffset], id);
  const int32_t number = static_cast<int32_t>(gen());
  TFieldValue::Set(fields.Items(0), record, {reinterpret_cast<const uint8_t*>(&number), 4});
  std::string text(gen() % 41, 'a');
  for (auto& ch : text) ch = static_cast<char>('a' + gen() % 26);
  if (gen() % 5 != 0) {
    TFieldValue::Set(fields.Items(1), record,
                     {reinterpret_cast<const uint8_t*>(text.data()), text.size()});
  }
  if (gen() % 3 == 0) {
    const auto blobAddress = static_cast<uint32_t>(gen());
    const auto blobLength = static_cast<uint32_t>(gen() % 1000);
    TFieldValue::SetBlobRef(fields.Items(3), record, {blobAddress, blobLength});
  }
  return record;
}

class RecordMgrTest : public DatabaseTest {};

TEST_F(RecordMgrTest, LayoutExampleGivesSeventyTwoBytesAndBlobItems) {
  Connection c(FPath);
  const uint32_t table = c.HeaderMgr().AddTable(0);
  OpenRecords t(c, table);
  // 72 bytes for the example's three fields, one more null flag and 8 bytes for the memo.
  EXPECT_EQ(t.Mgr().RecordSize(), 72 + 1 + 8);
  EXPECT_EQ(t.Mgr().CurrentRecord().size(), 81u);
  ASSERT_EQ(t.Mgr().BlobMgr().Count(), 1);
  EXPECT_EQ(t.Mgr().BlobMgr().Items(0).FieldIndex, 3);
  EXPECT_TRUE(t.Mgr().Fields().HasBlobs());
  EXPECT_NE(t.Mgr().BlobMgr().FindBlob(3), nullptr);
}

TEST_F(RecordMgrTest, AppendReadRewriteDeleteByAddress) {
  std::mt19937 gen(7);
  Connection c(FPath);
  const uint32_t table = c.HeaderMgr().AddTable(0);
  OpenRecords t(c, table);
  const auto& fields = t.Mgr().Fields();

  auto first = MakeRecord(fields, table, 1, gen);
  auto second = MakeRecord(fields, table, 2, gen);
  const uint32_t a1 = t.Append(first);
  EXPECT_EQ(std::vector<uint8_t>(t.Mgr().CurrentRecord().begin(), t.Mgr().CurrentRecord().end()),
            first);
  const uint32_t a2 = t.Append(second);
  EXPECT_NE(a1, a2);
  EXPECT_EQ(t.Read(a1), first);
  EXPECT_EQ(t.Read(a2), second);

  // The blob items go back to the stored value whenever a record is read.
  t.Mgr().BlobMgr().Items(0).State = bsChanged;
  t.Read(a1);
  EXPECT_EQ(t.Mgr().BlobMgr().Items(0).State, bsStored);

  auto rewritten = MakeRecord(fields, table, 1, gen);
  le::PutU32(&rewritten[record::UpdateCountOffset], 1);
  t.Mgr().WriteRecord(a1, rewritten);
  EXPECT_EQ(t.Read(a1), rewritten);
  std::vector<uint8_t> current(fields.RecordSize());
  t.Mgr().GetCurrentRecord(current);
  EXPECT_EQ(current, rewritten);

  // Reading without keeping leaves the current record alone.
  std::vector<uint8_t> scratch(fields.RecordSize());
  t.Mgr().ReadRecord(a2, scratch, false);
  EXPECT_EQ(scratch, second);
  t.Mgr().GetCurrentRecord(current);
  EXPECT_EQ(current, rewritten);

  t.Delete(a1);
  EXPECT_EQ(t.Read(a1)[record::LiveMarkerOffset], 0);  // the live marker tells it is gone
  EXPECT_EQ(t.Header().RecordFirstEmpty(), a1);
  EXPECT_EQ(t.Append(first), a1);  // the freed block is the first one handed out again
}

TEST_F(RecordMgrTest, RecordsSurviveCloseAndReopen) {
  std::mt19937 gen(11);
  std::map<uint32_t, std::vector<uint8_t>> stored;
  uint32_t table = 0;
  {
    Connection c(FPath);
    table = c.HeaderMgr().AddTable(0);
    OpenRecords t(c, table);
    for (uint32_t id = 1; id <= 300; ++id) {
      auto record = MakeRecord(t.Mgr().Fields(), table, id, gen);
      stored[t.Append(record)] = record;
    }
    // Delete every third one.
    int n = 0;
    for (auto it = stored.begin(); it != stored.end();) {
      if (n++ % 3 == 0) {
        t.Delete(it->first);
        it = stored.erase(it);
      } else {
        ++it;
      }
    }
    t.Header().WriteHeader();
  }
  Connection c(FPath);
  OpenRecords t(c, table);
  for (const auto& [address, record] : stored) EXPECT_EQ(t.Read(address), record) << address;
  // New records fill the freed blocks before the table grows.
  const uint64_t size = FileSize(FPath);
  for (uint32_t id = 301; id <= 400; ++id) t.Append(MakeRecord(t.Mgr().Fields(), table, id, gen));
  EXPECT_EQ(FileSize(FPath), size);
}

// Random appends, rewrites and deletes against a map of the live records.
TEST_F(RecordMgrTest, RandomizedAgainstModel) {
  std::mt19937 gen(424242);
  std::map<uint32_t, std::vector<uint8_t>> model;
  std::vector<uint32_t> freed;
  uint32_t table = 0;
  uint32_t nextID = 1;
  {
    Connection c(FPath);
    table = c.HeaderMgr().AddTable(0);
    OpenRecords t(c, table);
    auto pick = [&] {
      auto it = model.begin();
      std::advance(it, gen() % model.size());
      return it->first;
    };
    for (int step = 0; step < 3000; ++step) {
      const unsigned op = gen() % 10;
      if (model.empty() || op < 5) {
        auto record = MakeRecord(t.Mgr().Fields(), table, nextID++, gen);
        const uint32_t address = t.Append(record);
        ASSERT_EQ(model.count(address), 0u) << "a live block was handed out again";
        model[address] = record;
      } else if (op < 8) {
        const uint32_t address = pick();
        auto record = MakeRecord(t.Mgr().Fields(), table, nextID++, gen);
        t.Mgr().WriteRecord(address, record);
        model[address] = record;
      } else {
        const uint32_t address = pick();
        t.Delete(address);
        model.erase(address);
        freed.push_back(address);
      }
      if (step % 500 == 0) {
        for (const auto& [address, record] : model) ASSERT_EQ(t.Read(address), record);
      }
    }
    for (uint32_t address : freed) {
      if (!model.count(address)) {
        EXPECT_EQ(t.Read(address)[0], 0) << address;
      }
    }
    t.Header().WriteHeader();
  }
  Connection c(FPath);
  OpenRecords t(c, table);
  for (const auto& [address, record] : model) ASSERT_EQ(t.Read(address), record) << address;
}

TEST_F(RecordMgrTest, DamagedRecordsAndAddressesAreCorruption) {
  std::mt19937 gen(3);
  Connection c(FPath);
  const uint32_t table = c.HeaderMgr().AddTable(0);
  OpenRecords t(c, table);
  const auto& fields = t.Mgr().Fields();
  auto record = MakeRecord(fields, table, 1, gen);
  const uint32_t address = t.Append(record);
  const uint32_t marker = static_cast<uint32_t>(fields.Items(1).SizeMarkerOffset());

  // A size marker beyond the string's 40 characters.
  std::vector<uint8_t> bad = {41, 0};
  c.DiskMgr().WriteBytes(address + marker, 2, bad.data(), PageFlagCached, table);
  EXPECT_EQ(ErrorOf([&] { t.Read(address); }).Code, 8962);
  // A freed block or another table's record is not checked against this layout.
  std::vector<uint8_t> otherTable(4);
  le::PutU32(otherTable.data(), record::Signature(table + 1));
  c.DiskMgr().WriteBytes(address + record::SignatureOffset, 4, otherTable.data(), PageFlagCached,
                         table);
  EXPECT_NO_THROW(t.Read(address));

  // Writes and releases only where a record block can be.
  const uint32_t wrong[] = {0, 1024, address + 1, 0x7FFFF000};
  for (uint32_t w : wrong) {
    SCOPED_TRACE(w);
    EXPECT_EQ(ErrorOf([&] { t.Mgr().WriteRecord(w, record); }).Code, 8962);
    EXPECT_EQ(ErrorOf([&] { t.Delete(w); }).Code, 8962);
  }
}

TEST(RecordMgrOpen, RefusesWhatCannotHoldItsRecords) {
  TMemoryIOInterface io;
  io.SetUsage(record::RecordUsage);

  TRecordMgr empty;
  io.SetBlockSize(100);
  EXPECT_EQ(ErrorOf([&] { empty.Open(io); }).Code, 8576);

  TRecordMgr unfit;
  BuildLayout(unfit.Fields());
  unfit.SetRecordSize(unfit.Fields().RecordSize() - 1);
  EXPECT_EQ(ErrorOf([&] { unfit.Open(io); }).Code, 8451);

  TRecordMgr small;
  BuildLayout(small.Fields());
  small.SetRecordSize(small.Fields().RecordSize());
  io.SetBlockSize(small.RecordSize() - 1);
  EXPECT_EQ(ErrorOf([&] { small.Open(io); }).Code, 8581);
  EXPECT_FALSE(small.IsOpen());

  io.SetBlockSize(small.RecordSize());
  small.Open(io);
  try {
    small.SetRecordSize(10);
    ADD_FAILURE() << "record size changed while open";
  } catch (const EAssertionFailed& e) {
    EXPECT_NE(e.Message().find("Setting record size when buffers set"), std::string::npos);
  }
  small.Close();
  EXPECT_EQ(small.Fields().Count(), 0);
  EXPECT_EQ(small.BlobMgr().Count(), 0);
  EXPECT_EQ(ErrorOf([&] { small.DeleteRecord(1); }).Code, 8576);
}

TEST(RecordMgrMemory, InMemoryRecords) {
  std::mt19937 gen(5);
  TMemoryIOInterface io;
  TRecordMgr mgr;
  BuildLayout(mgr.Fields());
  mgr.SetRecordSize(mgr.Fields().RecordSize());
  io.SetBlockSize(mgr.RecordSize());
  io.SetUsage(record::RecordUsage);
  io.SetTableID(1);
  io.Open();
  mgr.Open(io);
  auto record = MakeRecord(mgr.Fields(), 1, 1, gen);
  const uint32_t address = mgr.AppendRecord(record);
  std::vector<uint8_t> buffer(mgr.RecordSize());
  mgr.ReadRecord(address, buffer, true);
  EXPECT_EQ(buffer, record);
  auto other = MakeRecord(mgr.Fields(), 1, 2, gen);
  mgr.WriteRecord(address, other);
  mgr.ReadRecord(address, buffer, false);
  EXPECT_EQ(buffer, other);
  mgr.DeleteRecord(address);
  EXPECT_FALSE(io.Exists(address));
  // A deleted in-memory record cannot be written or released again.
  EXPECT_EQ(ErrorOf([&] { mgr.WriteRecord(address, other); }).Code, 8962);
  EXPECT_EQ(ErrorOf([&] { mgr.DeleteRecord(address); }).Code, 8962);
}

}  // namespace
