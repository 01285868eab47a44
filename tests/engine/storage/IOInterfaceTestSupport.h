// Helpers for the block interface and blob tests: a database file in a scratch directory
// opened with 4096-byte pages, and disk interfaces configured like a table's.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "DiskMgrTestSupport.h"
#include "engine/storage/DiskIOInterface.h"
#include "engine/storage/MemoryIOInterface.h"

namespace iointerface_test {

using diskmgr_test::ErrorOf;
using diskmgr_test::RaisedError;

constexpr uint32_t P = 4096;
constexpr uint32_t FirstDataPage = 6 * P;  // the first page the map hands out in a new file
constexpr uint16_t TestTable = 1;

struct TInterfaceSetup {
  int32_t BlockSize = 100;
  uint16_t TableID = TestTable;
  uint16_t Usage = dbfile::UsageRecords;
  uint32_t GlobalItem = 0;
  uint32_t PageFlags = 1;
};

// A fresh database file, closed and opened again on request.
class TTestDatabase {
 public:
  TTestDatabase() : FPath(FDir / "io.vor") {
    diskmgr_test::CreateDatabase(FPath, P);
    Open();
  }

  TDiskMgr& Mgr() { return *FMgr; }
  const std::string& Path() const { return FPath; }
  void Open() { FMgr = diskmgr_test::OpenDatabase(FPath, P); }
  void Close() { FMgr.reset(); }
  void Reopen() {
    Close();
    Open();
  }

  // An open disk interface; a non-global one starts from firstEmpty, validated.
  std::unique_ptr<TDiskIOInterface> Interface(const TInterfaceSetup& setup,
                                              uint32_t firstEmpty = 0) {
    auto io = std::make_unique<TDiskIOInterface>();
    io->SetDiskMgr(FMgr.get());
    io->SetBlockSize(setup.BlockSize);
    io->SetTableID(setup.TableID);
    io->SetUsage(setup.Usage);
    io->SetGlobalItem(setup.GlobalItem);
    io->SetPageFlags(setup.PageFlags);
    if (setup.GlobalItem == 0) {
      io->SetFirstEmpty(firstEmpty);
      io->SetFirstEmptyValidated(true);
    }
    io->Open();
    return io;
  }

  // Bytes as the interface sees them (same flags and owner).
  std::vector<uint8_t> Read(const TBaseIOInterface& io, uint32_t address, uint32_t size) {
    std::vector<uint8_t> bytes(size);
    FMgr->ReadBytes(address, size, bytes.data(), io.PageFlags(), io.TableID());
    return bytes;
  }
  void Write(const TBaseIOInterface& io, uint32_t address, const std::vector<uint8_t>& bytes) {
    FMgr->WriteBytes(address, static_cast<uint32_t>(bytes.size()), bytes.data(), io.PageFlags(),
                     io.TableID());
  }
  void PutU32(const TBaseIOInterface& io, uint32_t address, uint32_t value) {
    std::vector<uint8_t> bytes(4);
    le::PutU32(bytes.data(), value);
    Write(io, address, bytes);
  }
  uint32_t GetU32(const TBaseIOInterface& io, uint32_t address) {
    return le::GetU32(Read(io, address, 4).data());
  }
  int64_t FileEnd() { return FMgr->FileEnd(); }

 private:
  vorfile_test::ScratchDir FDir;
  std::string FPath;
  std::unique_ptr<TDiskMgr> FMgr;
};

// Engine messages end with the custom message.
inline bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

inline std::vector<uint8_t> Bytes(size_t size, uint32_t seed) {
  return vorfile_test::Pattern(size, seed);
}

}  // namespace iointerface_test
