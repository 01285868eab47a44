// Table headers and their map in real database files: identifiers, the header block's bytes,
// the change counter and the page cache, sharing of open headers, and damaged maps and
// headers.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "TablesTestSupport.h"
#include "engine/storage/MemoryIOInterface.h"
#include "engine/tables/TableHeaderMgr.h"

namespace {

using namespace tables_test;

uint32_t MapID(const std::string& path, int pair) {
  return FileU32(path, UserMapAddress + 8 * pair);
}
uint32_t MapAddress(const std::string& path, int pair) {
  return FileU32(path, UserMapAddress + 8 * pair + 4);
}

class TableHeaderTest : public DatabaseTest {};

TEST_F(TableHeaderTest, IdentifiersAreReusedSmallestFirst) {
  Connection c(FPath);
  EXPECT_EQ(c.HeaderMgr().AddTable(0), 1u);
  EXPECT_EQ(c.HeaderMgr().AddTable(3), 2u);
  const uint32_t second = MapAddress(FPath, 1);
  c.HeaderMgr().DeleteTable(1);
  EXPECT_EQ(MapID(FPath, 0), 2u);
  EXPECT_EQ(MapAddress(FPath, 0), second);
  EXPECT_EQ(MapID(FPath, 1), 0u);
  EXPECT_EQ(MapAddress(FPath, 1), 0u);

  EXPECT_EQ(c.HeaderMgr().AddTable(1), 1u);
  EXPECT_EQ(c.HeaderMgr().AddTable(1), 3u);
  // Pairs stay in creation order: the reused identifier comes after the older table.
  EXPECT_EQ(MapID(FPath, 0), 2u);
  EXPECT_EQ(MapID(FPath, 1), 1u);
  EXPECT_EQ(MapID(FPath, 2), 3u);
  EXPECT_EQ(MapID(FPath, 3), 0u);
  // The freed header block was handed out again.
  EXPECT_NE(MapAddress(FPath, 1), 0u);
}

TEST_F(TableHeaderTest, NewHeaderBlockOnDisk) {
  Connection c(FPath);
  ASSERT_EQ(c.HeaderMgr().AddTable(3), 1u);
  const uint32_t address = MapAddress(FPath, 0);
  EXPECT_EQ(address % 256, 0u);
  EXPECT_GE(address, 6u * PageSize);
  auto block = ReadFileBytes(FPath, address, 256);
  std::vector<uint8_t> expected(256, 0);
  le::PutU32(&expected[0], 1);    // TableID
  le::PutU32(&expected[4], 1);    // ChangeCounter
  le::PutU32(&expected[8], 256);  // HeaderSize
  le::PutU32(&expected[36], 3);   // IndexCount
  EXPECT_EQ(block, expected);
}

TEST_F(TableHeaderTest, ItemsReachTheFileAtTheirOffsets) {
  Connection c(FPath);
  ASSERT_EQ(c.HeaderMgr().AddTable(3), 1u);
  TTableHeader& h = c.HeaderMgr().OpenTable(1);
  EXPECT_FALSE(h.Dirty());
  EXPECT_EQ(h.ChangeCounter(), 1u);
  h.SetRecordFirstEmpty(0x11111111);
  h.SetLastAutoIncValue(0x22222222);
  h.SetLastRecordID(0x33333333);
  h.SetBlobFirstEmpty(0x44444444);
  h.SetReserved1(0x55555555);
  h.SetReserved2(0x66666666);
  for (uint32_t slot = 0; slot < 3; ++slot) {
    h.SetIndexRoot(slot, 0x70000000 + slot);
    h.SetIndexDepth(slot, static_cast<uint16_t>(0x100 + slot));
  }
  EXPECT_TRUE(h.Dirty());
  h.WriteHeader();
  EXPECT_FALSE(h.Dirty());
  EXPECT_EQ(h.ChangeCounter(), 2u);

  const uint32_t address = MapAddress(FPath, 0);
  struct Item {
    uint32_t Offset;
    uint32_t Value;
  };
  const Item items[] = {{0, 1},           {4, 2},           {8, 256},         {12, 0x11111111},
                        {16, 0x22222222}, {20, 0x33333333}, {24, 0x44444444}, {28, 0x55555555},
                        {32, 0x66666666}, {36, 3},          {48, 0x70000000}, {54, 0x70000001},
                        {60, 0x70000002}};
  for (const auto& item : items) EXPECT_EQ(FileU32(FPath, address + item.Offset), item.Value);
  auto bytes = ReadFileBytes(FPath, address, 256);
  EXPECT_EQ(le::GetU16(&bytes[52]), 0x100);
  EXPECT_EQ(le::GetU16(&bytes[58]), 0x101);
  EXPECT_EQ(le::GetU16(&bytes[64]), 0x102);
  for (size_t i = 66; i < 256; ++i) EXPECT_EQ(bytes[i], 0) << i;

  // Storing the value an item already has changes nothing.
  h.SetLastRecordID(0x33333333);
  EXPECT_FALSE(h.Dirty());
  c.HeaderMgr().CloseTable(&h);
}

TEST_F(TableHeaderTest, IndexSlotsOutsideTheCountAreRefused) {
  Connection c(FPath);
  ASSERT_EQ(c.HeaderMgr().AddTable(3), 1u);
  TTableHeader& h = c.HeaderMgr().OpenTable(1);
  for (uint32_t slot : {3u, 34u, 1000u, 0xFFFFFFFFu}) {
    SCOPED_TRACE(slot);
    EXPECT_EQ(ErrorOf([&] { h.IndexRoot(slot); }).Code, 8581);
    EXPECT_EQ(ErrorOf([&] { h.IndexDepth(slot); }).Code, 8581);
    auto error = ErrorOf([&] { h.SetIndexRoot(slot, 1); });
    EXPECT_EQ(error.Code, 8581);
    EXPECT_NE(error.Message.find("Table header: The offset value is out of range"),
              std::string::npos);
  }
  EXPECT_EQ(ErrorOf([&] { h.SetIndexCount(35); }).Code, 8581);
  h.SetIndexCount(34);
  EXPECT_NO_THROW(h.SetIndexRoot(33, 5));
  EXPECT_EQ(h.IndexRoot(33), 5u);
  c.HeaderMgr().CloseTable(&h);
}

TEST_F(TableHeaderTest, OpenHeadersAreSharedUntilTheLastClose) {
  Connection c(FPath);
  ASSERT_EQ(c.HeaderMgr().AddTable(0), 1u);
  TTableHeader& first = c.HeaderMgr().OpenTable(1);
  TTableHeader& second = c.HeaderMgr().OpenTable(1);
  EXPECT_EQ(&first, &second);
  EXPECT_EQ(first.OpenCount(), 2);
  first.SetLastRecordID(7);
  c.HeaderMgr().CloseTable(&first);
  EXPECT_EQ(c.HeaderMgr().FindOpenHeader(1), &second);
  EXPECT_EQ(second.OpenCount(), 1);
  const uint32_t address = MapAddress(FPath, 0);
  EXPECT_EQ(FileU32(FPath, address + 20), 0u);  // not written yet
  c.HeaderMgr().CloseTable(&second);
  EXPECT_EQ(c.HeaderMgr().FindOpenHeader(1), nullptr);
  EXPECT_EQ(FileU32(FPath, address + 20), 7u);  // the dirty header was written at the last close
  EXPECT_EQ(FileU32(FPath, address + 4), 2u);

  auto error = ErrorOf([&] { c.HeaderMgr().CloseTable(nullptr); });
  EXPECT_EQ(error.Code, 8581);
  EXPECT_NE(error.Message.find("The requested object has not been assigned"), std::string::npos);
}

TEST_F(TableHeaderTest, UnknownAndOpenTables) {
  Connection c(FPath);
  ASSERT_EQ(c.HeaderMgr().AddTable(0), 1u);
  auto error = ErrorOf([&] { c.HeaderMgr().OpenTable(5); });
  EXPECT_EQ(error.Code, 8581);
  EXPECT_NE(error.Message.find("The TableID could not be found: 5"), std::string::npos);
  EXPECT_EQ(ErrorOf([&] { c.HeaderMgr().DeleteTable(5); }).Code, 8579);
  EXPECT_EQ(ErrorOf([&] { c.HeaderMgr().DeleteTable(0); }).Code, 8579);

  // Deleting a table whose header is open would let the header be written over a free block.
  TTableHeader& h = c.HeaderMgr().OpenTable(1);
  EXPECT_EQ(ErrorOf([&] { c.HeaderMgr().DeleteTable(1); }).Code, 8578);
  c.HeaderMgr().CloseTable(&h);
  EXPECT_NO_THROW(c.HeaderMgr().DeleteTable(1));
}

TEST_F(TableHeaderTest, OpeningWithoutABaseAddressIsRefused) {
  Connection c(FPath);
  TTableHeaderMgr mgr;
  auto error = ErrorOf([&] { mgr.Open(c.HeaderIO()); });
  EXPECT_EQ(error.Code, 8581);
  EXPECT_NE(error.Message.find("Base address of table header mapper has not been set"),
            std::string::npos);
}

TEST_F(TableHeaderTest, AFullMapRefusesNewTables) {
  {
    Connection c(FPath);
    ASSERT_EQ(c.HeaderMgr().AddTable(0), 1u);
  }
  const uint32_t address = MapAddress(FPath, 0);
  std::vector<uint8_t> map(8192, 0);
  for (uint32_t i = 0; i < 1000; ++i) {
    le::PutU32(&map[8 * i], 1 + i);
    le::PutU32(&map[8 * i + 4], address);
  }
  WriteFileBytes(FPath, UserMapAddress, map);
  Connection c(FPath);
  EXPECT_EQ(ErrorOf([&] { c.HeaderMgr().AddTable(0); }).Code, 9601);

  // With the last pair free again, the smallest identifier no pair uses is taken.
  le::PutU32(&map[8 * 999], 0);
  le::PutU32(&map[8 * 999 + 4], 0);
  le::PutU32(&map[8 * 998], 1000);
  WriteFileBytes(FPath, UserMapAddress, map);
  EXPECT_EQ(c.HeaderMgr().AddTable(0), 999u);
}

// Damage to a map or a header must give the corruption error, never a read or write elsewhere.
TEST_F(TableHeaderTest, DamagedMapsAndHeadersAreCorruption) {
  struct Case {
    const char* What;
    uint32_t Offset;  // relative to the map (Map) or the header block
    bool Map;
    uint32_t Value;
    bool DeleteRefused = true;  // a header whose size and id are sound may still be deleted
  };
  const Case cases[] = {
      {"header size 512", 8, false, 512},
      {"header size 0", 8, false, 0},
      {"header size 8192", 8, false, 8192},
      {"other table id", 0, false, 2},
      {"index count 35", 36, false, 35, false},
      {"address outside the file", 4, true, 0x7FFFF000},
      {"address off the block boundary", 4, true, 0},  // Value: header + 8, below
      {"address in the fixed pages", 4, true, 1024},
      {"address 0", 4, true, 0},
      {"table id out of range", 8, true, 1000 + 1},
      {"table id twice", 8, true, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.What);
    CreateDatabase(FPath);
    {
      Connection conn(FPath);
      ASSERT_EQ(conn.HeaderMgr().AddTable(2), 1u);
      ASSERT_EQ(conn.HeaderMgr().AddTable(2), 2u);
    }
    const uint32_t header = MapAddress(FPath, 0);
    uint32_t value = c.Value;
    if (std::string(c.What) == "address off the block boundary") value = header + 8;
    PutFileU32(FPath, c.Map ? UserMapAddress + c.Offset : header + c.Offset, value);
    const uint64_t tableArea = 6 * PageSize;
    const auto before = ReadFileBytes(FPath, tableArea, FileSize(FPath) - tableArea);

    // A damaged map is refused as soon as the manager reads it, a damaged header when the
    // table is opened or deleted.
    std::unique_ptr<Connection> conn;
    EXPECT_EQ(ErrorOf([&] {
                conn = std::make_unique<Connection>(FPath);
                conn->HeaderMgr().OpenTable(1);
              }).Code,
              8961);
    if (conn && c.DeleteRefused) {
      EXPECT_EQ(ErrorOf([&] { conn->HeaderMgr().DeleteTable(1); }).Code, 8961);
    }
    conn.reset();
    // Nothing was freed or written.
    if (c.DeleteRefused) {
      EXPECT_EQ(ReadFileBytes(FPath, tableArea, FileSize(FPath) - tableArea), before);
    }
  }
}

TEST_F(TableHeaderTest, AFailedReReadKeepsTheHeaderAsItWas) {
  Connection c(FPath);
  ASSERT_EQ(c.HeaderMgr().AddTable(1), 1u);
  TTableHeader& h = c.HeaderMgr().OpenTable(1);
  h.SetLastRecordID(42);
  const uint32_t address = MapAddress(FPath, 0);
  PutFileU32(FPath, address + 8, 4096);
  EXPECT_EQ(ErrorOf([&] { h.ReadHeader(); }).Code, 8961);
  EXPECT_EQ(h.LastRecordID(), 42u);
  EXPECT_EQ(h.HeaderSize(), 256u);
  PutFileU32(FPath, address + 8, 256);
  h.ReadHeader();
  EXPECT_EQ(h.LastRecordID(), 0u);
  c.HeaderMgr().CloseTable(&h);
}

// Another connection's write raises the change counter; re-reading the header then drops the
// table's pages from this connection's page cache, and re-reading it unchanged keeps them.
TEST_F(TableHeaderTest, ChangeCounterInvalidatesThePageCache) {
  Connection a(FPath);
  const uint32_t table = a.HeaderMgr().AddTable(0);
  std::vector<uint8_t> page(PageSize, 0);
  page[100] = 1;
  const uint32_t address = a.DiskMgr().AllocatePages(table, PageFlagCached, page.data(), 1, 9);
  TTableHeader& ha = a.HeaderMgr().OpenTable(table);
  const auto& cache = a.DiskMgr().File().PageCache();

  uint8_t byte = 0;
  a.DiskMgr().ReadBytes(address + 100, 1, &byte, PageFlagCached, table);
  EXPECT_EQ(byte, 1);
  ASSERT_GE(cache.FindPage(address), 0);
  ha.ReadHeader();  // unchanged: the page stays
  EXPECT_GE(cache.FindPage(address), 0);

  {
    Connection b(FPath);
    const uint8_t two = 2;
    b.DiskMgr().WriteBytes(address + 100, 1, &two, PageFlagCached, table);
    TTableHeader& hb = b.HeaderMgr().OpenTable(table);
    hb.WriteHeader();
    b.HeaderMgr().CloseTable(&hb);
  }
  a.DiskMgr().ReadBytes(address + 100, 1, &byte, PageFlagCached, table);
  EXPECT_EQ(byte, 1);  // the stale cached page, until the header is re-read

  const uint32_t before = ha.ChangeCounter();
  ha.ReadHeader();
  EXPECT_EQ(ha.ChangeCounter(), before + 1);
  EXPECT_LT(cache.FindPage(address), 0);
  a.DiskMgr().ReadBytes(address + 100, 1, &byte, PageFlagCached, table);
  EXPECT_EQ(byte, 2);
  a.HeaderMgr().CloseTable(&ha);
}

TEST(TableHeaderMemory, InMemoryMapWorksAlike) {
  TMemoryIOInterface io;
  io.SetBlockSize(4096);
  io.SetUsage(1);
  io.Open();
  const uint32_t mapAddress = io.AllocateNewAddress(8192, nullptr);
  TTableHeaderMgr mgr;
  mgr.SetBaseAddress(mapAddress);
  mgr.SetFirstTableID(tblmap::InternalFirstTableID);
  mgr.Open(io);
  EXPECT_EQ(mgr.AddTable(2), 1024u);
  EXPECT_EQ(mgr.AddTable(0), 1025u);
  TTableHeader& h = mgr.OpenTable(1024);
  EXPECT_EQ(h.IndexCount(), 2u);
  EXPECT_EQ(h.ChangeCounter(), 1u);
  h.SetIndexRoot(1, 77);
  mgr.CloseTable(&h);
  TTableHeader& again = mgr.OpenTable(1024);
  EXPECT_EQ(again.IndexRoot(1), 77u);
  EXPECT_EQ(again.ChangeCounter(), 2u);
  mgr.CloseAll();
  EXPECT_EQ(mgr.OpenHeaderCount(), 0);
  mgr.DeleteTable(1024);
  EXPECT_EQ(mgr.AddTable(0), 1024u);
  EXPECT_EQ(mgr.Map().TableIDAt(0), 1025u);
  EXPECT_EQ(mgr.Map().TableIDAt(1), 1024u);
}

}  // namespace
