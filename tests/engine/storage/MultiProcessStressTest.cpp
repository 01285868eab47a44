// Several processes at once on one database file, each through its own connection: page
// allocations and releases (some inside transactions that commit or roll back), and tables
// added and deleted through the user table header map. Each child logs what it holds when it
// ends; the parent then checks the file against those logs and against the map's own rules.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "DiskMgrTestSupport.h"
#include "engine/storage/DiskIOInterface.h"
#include "engine/storage/FreeBlockRun.h"
#include "engine/tables/TableHeaderMgr.h"
#include "engine/tables/TableInterfaces.h"

using namespace diskmgr_test;

namespace {

constexpr uint32_t P = 4096;
constexpr uint32_t E = dbfile::EntriesPerMap(P);
constexpr uint16_t Records = dbfile::UsageRecords;
constexpr int Children = 4;
constexpr int RetryInterval = 5;
// Long enough for any honest wait: a transaction keeps the header read-locked to its end.
constexpr int RetryMaximum = 1000;
// A commit that waits on another transaction's read lock waits on a commit that waits on it:
// one of them has to give up soon.
constexpr int CommitRetryMaximum = 30;

constexpr uint32_t FillerOwner = 7;
constexpr uint32_t FirstChildOwner = 100;
constexpr uint32_t PatternMagic = 0x53545253;

constexpr int ChildOk = 0;
constexpr int ChildEngineError = 10;
constexpr int ChildBadPage = 11;
constexpr int ChildOtherError = 12;
constexpr int ChildBadTable = 13;

// What one page of a run holds: who wrote it, in which allocation, at which place of the run;
// the rest of the page is a byte derived from these.
struct PageTag {
  uint32_t Owner = 0;
  uint32_t Seq = 0;
  uint32_t Index = 0;
  bool operator==(const PageTag&) const = default;
};

std::vector<uint8_t> PatternPage(const PageTag& tag) {
  std::vector<uint8_t> page(P, static_cast<uint8_t>(tag.Owner * 31 + tag.Seq * 7 + tag.Index));
  le::PutU32(page.data(), PatternMagic);
  le::PutU32(page.data() + 4, tag.Owner);
  le::PutU32(page.data() + 8, tag.Seq);
  le::PutU32(page.data() + 12, tag.Index);
  return page;
}

bool HoldsPattern(const uint8_t* page, const PageTag& tag) {
  const std::vector<uint8_t> expected = PatternPage(tag);
  return std::equal(expected.begin(), expected.end(), page);
}

std::unique_ptr<TDiskMgr> Connect(const std::string& path) {
  auto dm = MakeDiskMgr(path, P);
  dm->SetLockRetryInterval(RetryInterval);
  dm->SetLockRetryMaximum(RetryMaximum);
  dm->Open();
  return dm;
}

// Children wait at the gate until the parent has forked them all, so that they really overlap.
class Gate {
 public:
  Gate() { FOk = ::pipe(FFds) == 0; }
  ~Gate() { Open(); }
  bool Ok() const { return FOk; }
  void Wait() {
    ::close(FFds[1]);
    char c;
    while (::read(FFds[0], &c, 1) < 0 && errno == EINTR) {
    }
  }
  void Open() {
    for (int& fd : FFds) {
      if (fd >= 0) ::close(fd);
      fd = -1;
    }
  }

 private:
  int FFds[2] = {-1, -1};
  bool FOk = false;
};

template <typename Body>
std::vector<int> RunChildren(int count, Body body) {
  Gate gate;
  std::vector<pid_t> pids;
  for (int i = 0; i < count && gate.Ok(); ++i) {
    const pid_t pid = ::fork();
    if (pid == 0) {
      gate.Wait();
      int code = ChildOtherError;
      try {
        code = body(i);
      } catch (...) {
      }
      ::_exit(code);
    }
    pids.push_back(pid);
  }
  gate.Open();
  std::vector<int> codes;
  for (const pid_t pid : pids) {
    int status = 0;
    while (pid > 0 && ::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    codes.push_back(pid > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1);
  }
  return codes;
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// The parent's view of the page map, read straight from the file's bytes.
struct FileMap {
  std::vector<uint8_t> Bytes;
  uint32_t PageCount = 0;
  std::vector<uint32_t> MapPages;  // addresses in chain order

  uint16_t Entry(uint32_t page) const {
    return U16(Bytes, size_t{MapPages[page / E]} + dbfile::MapEntriesOffset + 2 * (page % E));
  }
  uint32_t Header(uint32_t offset) const { return U32(Bytes, dbfile::GlobalHeaderOffset + offset); }
  const uint8_t* Page(uint32_t page) const { return Bytes.data() + size_t{page} * P; }
};

// Checks the structure of the map and its free chains; fills map with what it found.
void CheckMapStructure(const std::string& path, FileMap& map) {
  map.Bytes = ReadFileBytes(path);
  ASSERT_EQ(map.Bytes.size() % P, 0u);
  map.PageCount = static_cast<uint32_t>(map.Bytes.size() / P);
  ASSERT_EQ(map.Header(dbfile::HdrFirstMapPage), dbfile::FirstMapPageNumber * P);
  const uint32_t mapCount = map.Header(dbfile::HdrMapPageCount);
  ASSERT_GE(mapCount, 1u);
  ASSERT_GE(uint64_t{mapCount} * E, map.PageCount) << "pages without a map entry";
  ASSERT_LT(uint64_t{mapCount - 1} * E, map.PageCount) << "a map page for no page";

  uint32_t address = dbfile::FirstMapPageNumber * P;
  for (uint32_t k = 0; k < mapCount; ++k) {
    ASSERT_TRUE(address != 0 && address % P == 0 && address < map.Bytes.size()) << k;
    ASSERT_EQ(U32(map.Bytes, address + dbfile::MapIndexOffset), k);
    map.MapPages.push_back(address);
    address = U32(map.Bytes, address + dbfile::MapNextOffset);
  }
  EXPECT_EQ(address, 0u) << "the last map page links on";

  std::set<uint32_t> mapPageSet(map.MapPages.begin(), map.MapPages.end());
  bool anyFree = false;
  for (uint32_t k = 0; k < mapCount; ++k) {
    const size_t base = map.MapPages[k];
    // Every free entry is in the chain once, and the chain holds nothing else.
    std::set<uint32_t> chained;
    uint32_t previous = 0;
    for (uint32_t offset = U16(map.Bytes, base + dbfile::MapFreeHeadOffset); offset != 0;) {
      ASSERT_TRUE(offset % 2 == 0 && offset >= dbfile::MapEntriesOffset && offset < P)
          << "map " << k << " bad link " << offset;
      ASSERT_GT(offset, previous) << "map " << k << " chain out of order or circular";
      const uint16_t entry = U16(map.Bytes, base + offset);
      ASSERT_NE(entry & dbfile::MapEntryFree, 0) << "map " << k << " chains a used entry";
      chained.insert(offset);
      previous = offset;
      offset = entry & dbfile::MapEntryLinkMask;
    }
    std::set<uint32_t> free;
    for (uint32_t i = 0; i < E; ++i) {
      const uint32_t offset = dbfile::MapEntriesOffset + 2 * i;
      const uint16_t entry = U16(map.Bytes, base + offset);
      const uint64_t page = uint64_t{k} * E + i;
      if (page >= map.PageCount) {
        EXPECT_EQ(entry, 0) << "entry of page " << page << " beyond the file's end";
        continue;
      }
      EXPECT_NE(entry, 0) << "page " << page << " is in the file but not in the map";
      if (entry & dbfile::MapEntryFree) free.insert(offset);
      const bool isMapPage = mapPageSet.count(static_cast<uint32_t>(page * P)) != 0;
      EXPECT_EQ(isMapPage, entry == dbfile::MapEntryValue(0, dbfile::UsageMap)) << page;
    }
    EXPECT_EQ(chained, free) << "free chain of map page " << k;
    anyFree = anyFree || !free.empty();
  }

  const uint32_t firstFree = map.Header(dbfile::HdrFirstFreeMapPage);
  if (firstFree != 0) {
    ASSERT_TRUE(mapPageSet.count(firstFree)) << "FirstFreeMapPage " << firstFree;
    EXPECT_NE(U16(map.Bytes, firstFree + dbfile::MapFreeHeadOffset), 0)
        << "FirstFreeMapPage names a full map page";
  }
  EXPECT_EQ(firstFree != 0, anyFree) << "FirstFreeMapPage " << firstFree;
  for (uint32_t page = 0; page < dbfile::FirstMapPageNumber; ++page) {
    EXPECT_EQ(map.Entry(page), dbfile::MapEntryValue(0, dbfile::UsageHeader));
  }
  // Released pages are zeroed: a free page with data got a late write.
  for (uint32_t page = 0; page < map.PageCount; ++page) {
    if ((map.Entry(page) & dbfile::MapEntryFree) == 0) continue;
    const uint8_t* bytes = map.Page(page);
    EXPECT_TRUE(std::all_of(bytes, bytes + P, [](uint8_t b) { return b == 0; }))
        << "free page " << page << " is not zero";
  }
}

// ---- Pages -------------------------------------------------------------------------------

class PageChild {
 public:
  PageChild(const std::string& path, int index)
      : FPath(path), FOwner(FirstChildOwner + index), FRandom(0xC0FFEE + 977 * index) {}

  int Run(int operations, const std::string& logPath) {
    FDm = Connect(FPath);
    for (int op = 0; op < operations; ++op) {
      const uint32_t r = Draw(100);
      if (r < 45) {
        Allocate(FHeld, Draw(3) + 1);
      } else if (r < 75) {
        Release(FHeld);
      } else if (r < 90) {
        Transaction();
      } else if (!Verify(0)) {
        return Finish(logPath, ChildBadPage);
      }
    }
    if (!Verify(0) || !Verify(PageFlagCached)) return Finish(logPath, ChildBadPage);
    FDm->Close();
    return Finish(logPath, ChildOk);
  }

  void Fail(const std::string& what) { FProblem = what; }
  int Finish(const std::string& logPath, int code) {
    std::ofstream log(logPath);
    log << "commits " << FCommits << " rollbacks " << FRollbacks << " refused " << FRefused << "\n";
    if (!FProblem.empty()) log << "problem " << FProblem << "\n";
    for (const auto& [address, tag] : FHeld) {
      log << "page " << address << " " << tag.Seq << " " << tag.Index << "\n";
    }
    return code;
  }

 private:
  using Held = std::map<uint32_t, PageTag>;

  uint32_t Draw(uint32_t bound) {
    return std::uniform_int_distribution<uint32_t>(0, bound - 1)(FRandom);
  }

  void Allocate(Held& held, uint32_t count) {
    const uint32_t seq = ++FSeq;
    std::vector<uint8_t> buffer;
    for (uint32_t i = 0; i < count; ++i) {
      const std::vector<uint8_t> page = PatternPage({FOwner, seq, i});
      buffer.insert(buffer.end(), page.begin(), page.end());
    }
    // Inside a transaction raw writes are held as blocks that later writes must match
    // exactly, so a run released page by page is written through the page cache there.
    const uint32_t flags = seq % 2 == 0 || FDm->InTransaction() ? PageFlagCached : 0;
    const uint32_t address = FDm->AllocatePages(FOwner, flags, buffer.data(), count, Records);
    for (uint32_t i = 0; i < count; ++i) {
      const uint32_t page = address + i * P;
      if (held.count(page)) Fail("page " + std::to_string(page) + " handed out twice");
      held[page] = {FOwner, seq, i};
    }
  }

  // A random page and up to two held pages after it.
  void Release(Held& held) {
    if (held.empty()) return;
    auto it = std::next(held.begin(), Draw(static_cast<uint32_t>(held.size())));
    const uint32_t address = it->first;
    const uint32_t wanted = Draw(3) + 1;
    uint32_t count = 1;
    while (count < wanted && held.count(address + count * P)) ++count;
    FDm->ReleasePages(address, count);
    for (uint32_t i = 0; i < count; ++i) held.erase(address + i * P);
  }

  void Transaction() {
    Held pending = FHeld;
    FDm->StartTransaction();
    const uint32_t steps = Draw(4) + 1;
    for (uint32_t s = 0; s < steps; ++s) {
      if (Draw(2) == 0) {
        Allocate(pending, Draw(3) + 1);
      } else {
        Release(pending);
      }
    }
    if (Draw(4) == 0) {
      FDm->Rollback();
      ++FRollbacks;
      return;
    }
    FDm->SetLockRetryMaximum(CommitRetryMaximum);
    try {
      FDm->Commit();
      FHeld = std::move(pending);
      ++FCommits;
    } catch (const EVorDatabaseError& e) {
      if (e.ErrorCode != 10249) throw;
      ++FRefused;
      FDm->Rollback();
    }
    FDm->SetLockRetryMaximum(RetryMaximum);
  }

  bool Verify(uint32_t flags) {
    std::vector<uint8_t> page(P);
    for (const auto& [address, tag] : FHeld) {
      FDm->ReadPages(address, 1, page.data(), flags, FOwner);
      if (!HoldsPattern(page.data(), tag)) {
        Fail("page " + std::to_string(address) + " lost its pattern (flags " +
             std::to_string(flags) + ")");
        return false;
      }
    }
    return true;
  }

  std::string FPath;
  uint32_t FOwner;
  std::mt19937 FRandom;
  std::unique_ptr<TDiskMgr> FDm;
  Held FHeld;
  uint32_t FSeq = 0;
  int FCommits = 0;
  int FRollbacks = 0;
  int FRefused = 0;
  std::string FProblem;
};

struct ChildLog {
  std::map<uint32_t, PageTag> Pages;
  std::set<uint32_t> Tables;
  std::map<uint32_t, uint32_t> Tags;  // table -> tag written into its header
  int Commits = 0;
  int Refused = 0;
  std::string Text;
};

ChildLog ReadLog(const std::string& path, uint32_t owner) {
  ChildLog log;
  log.Text = ReadText(path);
  std::istringstream lines(log.Text);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream in(line);
    std::string word;
    in >> word;
    if (word == "page") {
      uint32_t address = 0;
      PageTag tag{owner, 0, 0};
      in >> address >> tag.Seq >> tag.Index;
      log.Pages[address] = tag;
    } else if (word == "table") {
      uint32_t id = 0, tag = 0;
      in >> id >> tag;
      log.Tables.insert(id);
      log.Tags[id] = tag;
    } else if (word == "commits") {
      std::string rollbacks, refused;
      int count = 0;
      in >> log.Commits >> rollbacks >> count >> refused >> log.Refused;
    }
  }
  return log;
}

class MultiProcessStress : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(Dir.Valid());
    CreateDatabase(Path, P);
  }

  ScratchDir Dir;
  std::string Path = Dir / "stress.vor";
};

TEST_F(MultiProcessStress, ConcurrentPageAllocationKeepsTheMapSound) {
  // A filler nearly as long as the first map page, with every third page given back: the
  // children reuse single free pages, append longer runs, and grow the map into a second map
  // page while they race.
  constexpr uint32_t FillerPages = E - 120;
  std::map<uint32_t, PageTag> filler;
  {
    auto dm = Connect(Path);
    std::vector<uint8_t> buffer;
    for (uint32_t i = 0; i < FillerPages; ++i) {
      const std::vector<uint8_t> page = PatternPage({FillerOwner, 1, i});
      buffer.insert(buffer.end(), page.begin(), page.end());
    }
    const uint32_t first = dm->AllocatePages(FillerOwner, 0, buffer.data(), FillerPages, Records);
    ASSERT_EQ(first, dbfile::InitialPageCount * P);
    for (uint32_t i = 0; i < FillerPages; ++i) {
      if (i % 3 == 1) {
        dm->ReleasePages(first + i * P, 1);
      } else {
        filler[first + i * P] = {FillerOwner, 1, i};
      }
    }
  }

  constexpr int Operations = 600;
  const std::vector<int> codes = RunChildren(Children, [&](int i) {
    PageChild child(Path, i);
    try {
      return child.Run(Operations, Dir / ("child" + std::to_string(i) + ".log"));
    } catch (const EVorDatabaseError& e) {
      const std::vector<std::string> lines = EngineLogger().LinesSnapshot();
      child.Fail("engine error " + std::to_string(e.ErrorCode) + ": " + e.Message() + " at " +
                 (lines.empty() ? std::string() : lines.back()));
      return child.Finish(Dir / ("child" + std::to_string(i) + ".log"), ChildEngineError);
    }
  });

  std::vector<ChildLog> logs;
  int commits = 0;
  int refused = 0;
  for (int i = 0; i < Children; ++i) {
    logs.push_back(ReadLog(Dir / ("child" + std::to_string(i) + ".log"), FirstChildOwner + i));
    EXPECT_EQ(codes[i], ChildOk) << "child " << i << ":\n" << logs[i].Text.substr(0, 400);
    commits += logs[i].Commits;
    refused += logs[i].Refused;
  }
  RecordProperty("commits", commits);
  RecordProperty("refused_commits", refused);
  // Enough transactions have to get through for the run to say anything about them.
  EXPECT_GT(commits, 0);

  FileMap map;
  ASSERT_NO_FATAL_FAILURE(CheckMapStructure(Path, map));
  EXPECT_GE(map.MapPages.size(), 2u) << "the run never grew the map";
  EXPECT_EQ(map.Header(dbfile::HdrUserHeaderFirstEmpty), 0u);
  EXPECT_EQ(map.Header(dbfile::HdrSystemHeaderFirstEmpty), 0u);
  EXPECT_EQ(map.Header(dbfile::HdrIndexFirstEmpty), 0u);

  // Every page anybody holds is its own, with its pattern; nobody else's page is in use.
  std::map<uint32_t, PageTag> claimed = filler;
  for (const ChildLog& log : logs) {
    for (const auto& [address, tag] : log.Pages) {
      EXPECT_TRUE(claimed.emplace(address, tag).second) << "page " << address << " claimed twice";
    }
  }
  for (uint32_t page = 0; page < map.PageCount; ++page) {
    const uint16_t entry = map.Entry(page);
    const uint32_t owner = entry >> 4;
    const auto it = claimed.find(page * P);
    if (entry & dbfile::MapEntryFree || owner == 0) {
      EXPECT_EQ(it, claimed.end()) << "page " << page << " is claimed but " << entry;
      continue;
    }
    ASSERT_NE(it, claimed.end()) << "page " << page << " of owner " << owner
                                 << " is claimed by none";
    EXPECT_EQ(entry, dbfile::MapEntryValue(it->second.Owner, Records)) << "page " << page;
    EXPECT_TRUE(HoldsPattern(map.Page(page), it->second)) << "page " << page;
  }

  // The engine's own listing agrees.
  auto dm = Connect(Path);
  for (int i = 0; i < Children; ++i) {
    std::vector<uint32_t> list;
    dm->ReadLockHeader();
    dm->MapPageMgr()->ListOwnerPages(FirstChildOwner + i, Records, list, true);
    dm->UnlockHeader();
    std::vector<uint32_t> expected;
    for (const auto& item : logs[i].Pages) expected.push_back(item.first);
    EXPECT_EQ(list, expected) << "child " << i;
  }
}

// ---- Tables ------------------------------------------------------------------------------

constexpr uint32_t UserMapAddress = dbfile::UserTableHeaderMapPage * P;

int TableChild(const std::string& path, int index, int operations, const std::string& logPath) {
  std::ofstream log(logPath);
  std::mt19937 random(0xBEEF + 131 * index);
  auto draw = [&random](uint32_t bound) {
    return std::uniform_int_distribution<uint32_t>(0, bound - 1)(random);
  };
  std::map<uint32_t, uint32_t> held;  // table -> tag
  int code = ChildOk;
  try {
    auto dm = Connect(path);
    TDiskIOInterface io;
    OpenTableHeaderInterface(io, *dm, false);
    TTableHeaderMgr mgr;
    mgr.SetBaseAddress(UserMapAddress);
    mgr.SetFirstTableID(tblmap::UserFirstTableID);
    dm->ReadLockHeader();
    mgr.Open(io);
    dm->UnlockHeader();

    uint32_t seq = 0;
    for (int op = 0; op < operations && code == ChildOk; ++op) {
      dm->WriteLockHeader();
      if (held.empty() || draw(100) < 60) {
        const uint32_t id = mgr.AddTable(static_cast<int>(draw(4)));
        const uint32_t tag = (static_cast<uint32_t>(index) << 16) | ++seq;
        if (held.count(id)) code = ChildBadTable;
        TTableHeader& header = mgr.OpenTable(id);
        header.SetReserved1(tag);
        mgr.CloseTable(&header);
        held[id] = tag;
      } else {
        auto it = std::next(held.begin(), draw(static_cast<uint32_t>(held.size())));
        // The table must still be the one this child made.
        TTableHeader& header = mgr.OpenTable(it->first);
        if (header.Reserved1() != it->second) code = ChildBadTable;
        mgr.CloseTable(&header);
        mgr.DeleteTable(it->first);
        held.erase(it);
      }
      dm->UnlockHeader();
    }
    mgr.CloseAll();
    io.Close();
    dm->Close();
  } catch (const EVorDatabaseError& e) {
    log << "problem engine error " << e.ErrorCode << ": " << e.Message() << "\n";
    code = ChildEngineError;
  }
  for (const auto& [id, tag] : held) log << "table " << id << " " << tag << "\n";
  return code;
}

TEST_F(MultiProcessStress, ConcurrentTablesNeverShareAnIdentifier) {
  constexpr int Operations = 300;
  const std::vector<int> codes = RunChildren(Children, [&](int i) {
    return TableChild(Path, i, Operations, Dir / ("tables" + std::to_string(i) + ".log"));
  });
  std::map<uint32_t, uint32_t> claimed;  // table -> tag
  for (int i = 0; i < Children; ++i) {
    const ChildLog log = ReadLog(Dir / ("tables" + std::to_string(i) + ".log"), 0);
    EXPECT_EQ(codes[i], ChildOk) << "child " << i << ":\n" << log.Text.substr(0, 400);
    for (const auto& [id, tag] : log.Tags) {
      EXPECT_TRUE(claimed.emplace(id, tag).second) << "table " << id << " held twice";
    }
  }

  FileMap map;
  ASSERT_NO_FATAL_FAILURE(CheckMapStructure(Path, map));
  // The map names exactly the tables held, each at a block of its own with its own header.
  std::map<uint32_t, uint32_t> named;  // table -> block address
  std::set<uint32_t> blocks;
  int pairs = 0;
  for (; pairs < tblmap::MaxTables; ++pairs) {
    const uint32_t id = U32(map.Bytes, UserMapAddress + 8 * pairs);
    if (id == 0) break;
    const uint32_t address = U32(map.Bytes, UserMapAddress + 8 * pairs + 4);
    EXPECT_TRUE(named.emplace(id, address).second) << "table " << id << " twice in the map";
    EXPECT_TRUE(blocks.insert(address).second) << "block " << address << " named twice";
    ASSERT_TRUE(address % tblhdr::BlockSize == 0 && address >= dbfile::InitialPageCount * P &&
                address < map.Bytes.size())
        << address;
    EXPECT_EQ(map.Entry(address / P), dbfile::MapEntryValue(0, dbfile::UsageHeader)) << address;
    EXPECT_EQ(U32(map.Bytes, address + tblhdr::TableIDOffset), id);
    EXPECT_EQ(U32(map.Bytes, address + tblhdr::HeaderSizeOffset), tblhdr::BlockSize);
    const auto it = claimed.find(id);
    if (it != claimed.end()) {
      EXPECT_EQ(U32(map.Bytes, address + tblhdr::Reserved1Offset), it->second) << "table " << id;
    }
  }
  for (int k = pairs; k < tblmap::MaxTables; ++k) {
    EXPECT_EQ(U32(map.Bytes, UserMapAddress + 8 * k), 0u) << "pair " << k << " after the end";
  }
  std::set<uint32_t> namedIds, claimedIds;
  for (const auto& item : named) namedIds.insert(item.first);
  for (const auto& item : claimed) claimedIds.insert(item.first);
  EXPECT_EQ(namedIds, claimedIds);

  // The free header blocks lie on header pages and overlap no table's block.
  std::set<uint32_t> freeBlocks;
  uint32_t run = map.Header(dbfile::HdrUserHeaderFirstEmpty);
  for (int steps = 0; run != 0; ++steps) {
    ASSERT_LT(steps, 100000) << "free header chain runs in a circle";
    ASSERT_TRUE(run % tblhdr::BlockSize == 0 && run < map.Bytes.size()) << run;
    const uint8_t* block = map.Bytes.data() + run;
    ASSERT_TRUE(freerun::HasZeroPrefix(block)) << "free run " << run;
    const uint32_t count = freerun::Count(block);
    ASSERT_TRUE(count >= 1 && count <= P / tblhdr::BlockSize) << "free run " << run;
    for (uint32_t b = 0; b < count; ++b) {
      const uint32_t address = run + b * tblhdr::BlockSize;
      EXPECT_EQ(map.Entry(address / P), dbfile::MapEntryValue(0, dbfile::UsageHeader)) << address;
      EXPECT_TRUE(freeBlocks.insert(address).second) << "free block " << address << " twice";
      EXPECT_EQ(blocks.count(address), 0u) << "free block " << address << " is in use";
    }
    run = freerun::Next(block);
  }
}

}  // namespace
