// Helpers for the table tests: a scratch database file opened like a connection opens it, its
// user-table header interface and header manager, raw access to the file's bytes, and
// catching engine errors.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/storage/DatabaseFileLayout.h"
#include "engine/storage/DiskIOInterface.h"
#include "engine/storage/DiskMgr.h"
#include "engine/storage/LittleEndian.h"
#include "engine/storage/VorErrors.h"
#include "engine/tables/TableHeaderMgr.h"
#include "engine/tables/TableInterfaces.h"
#include "platform/File.h"
#include "support/TestDir.h"

namespace tables_test {

constexpr int32_t PageSize = 4096;
constexpr uint32_t UserMapAddress = dbfile::UserTableHeaderMapPage * PageSize;

using test_support::ScratchDir;

struct RaisedError {
  int Code = 0;
  std::string Message;
};

// The engine error fn raised (Code 0 when none).
inline RaisedError ErrorOf(const std::function<void()>& fn) {
  RaisedError error;
  try {
    fn();
  } catch (const EVorDatabaseError& e) {
    error.Code = e.ErrorCode;
    error.Message = e.Message();
  }
  return error;
}

inline std::vector<uint8_t> ReadFileBytes(const std::string& path, uint64_t offset, size_t count) {
  platform::File f;
  std::vector<uint8_t> bytes(count);
  EXPECT_TRUE(f.Open(path, platform::Access::Read, platform::Share::DenyNone));
  EXPECT_TRUE(f.ReadExact(offset, bytes.data(), count));
  return bytes;
}

inline void WriteFileBytes(const std::string& path, uint64_t offset,
                           const std::vector<uint8_t>& bytes) {
  platform::File f;
  ASSERT_TRUE(f.Open(path, platform::Access::ReadWrite, platform::Share::DenyNone));
  ASSERT_TRUE(f.WriteExact(offset, bytes.data(), bytes.size()));
}

inline uint64_t FileSize(const std::string& path) {
  return std::filesystem::file_size(path);
}

inline uint32_t FileU32(const std::string& path, uint64_t offset) {
  return le::GetU32(ReadFileBytes(path, offset, 4).data());
}

inline void PutFileU32(const std::string& path, uint64_t offset, uint32_t value) {
  std::vector<uint8_t> bytes(4);
  le::PutU32(bytes.data(), value);
  WriteFileBytes(path, offset, bytes);
}

inline void CreateDatabase(const std::string& path) {
  TDiskMgr dm;
  dm.SetFileName(path);
  dm.SetPageSize(PageSize);
  dm.CreateNewFile(true);
}

// One connection to a database file: the disk manager with the user tables' header interface
// and header manager, set up as a connection sets them up.
class Connection {
 public:
  explicit Connection(const std::string& path) {
    FDiskMgr.SetFileName(path);
    FDiskMgr.SetPageSize(PageSize);
    FDiskMgr.SetOpenMode(fmOpenReadWrite | fmShareDenyNone);
    FDiskMgr.SetLockRetryMaximum(2);
    FDiskMgr.SetLockRetryInterval(1);
    FDiskMgr.Open();
    OpenTableHeaderInterface(FHeaderIO, FDiskMgr, false);
    FHeaderMgr.SetBaseAddress(UserMapAddress);
    FHeaderMgr.SetFirstTableID(tblmap::UserFirstTableID);
    FHeaderMgr.Open(FHeaderIO);
  }
  ~Connection() {
    try {
      FHeaderMgr.CloseAll();
    } catch (...) {
    }
  }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  TDiskMgr& DiskMgr() { return FDiskMgr; }
  TDiskIOInterface& HeaderIO() { return FHeaderIO; }
  TTableHeaderMgr& HeaderMgr() { return FHeaderMgr; }

 private:
  TDiskMgr FDiskMgr;
  TDiskIOInterface FHeaderIO;
  TTableHeaderMgr FHeaderMgr;
};

// A scratch directory with a new database file in it.
class DatabaseTest : public ::testing::Test {
 protected:
  DatabaseTest() : FPath(FDir / "test.vor") { CreateDatabase(FPath); }

  ScratchDir FDir;
  std::string FPath;
};

}  // namespace tables_test
