// Helpers for the disk manager and page map tests: opening managers on scratch files, reading
// the map straight from the file's bytes, and catching engine errors with their context.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "VorFileTestSupport.h"
#include "engine/storage/DBLogger.h"
#include "engine/storage/DatabaseFileLayout.h"
#include "engine/storage/DiskMgr.h"
#include "engine/storage/LittleEndian.h"

namespace diskmgr_test {

using vorfile_test::ReadFileBytes;
using vorfile_test::ScratchDir;
using vorfile_test::WriteFileBytes;

constexpr uint32_t ReadWriteShared = fmOpenReadWrite | fmShareDenyNone;

struct RaisedError {
  int Code = 0;
  std::string Message;
  std::string Context;  // from the engine log line written by the raise
};

// Runs fn and tells the engine error it raised (Code 0 when none).
template <typename Fn>
RaisedError ErrorOf(Fn fn) {
  RaisedError error;
  try {
    fn();
  } catch (const EVorDatabaseError& e) {
    error.Code = e.ErrorCode;
    error.Message = e.Message();
    const std::vector<std::string> lines = EngineLogger().LinesSnapshot();
    if (!lines.empty()) error.Context = lines.back();
  }
  return error;
}

inline std::unique_ptr<TDiskMgr> MakeDiskMgr(const std::string& path, int32_t pageSize,
                                             uint32_t openMode = ReadWriteShared) {
  auto dm = std::make_unique<TDiskMgr>();
  dm->SetFileName(path);
  dm->SetPageSize(pageSize);
  dm->SetOpenMode(openMode);
  // Lock conflicts in tests should fail fast.
  dm->SetLockRetryMaximum(2);
  dm->SetLockRetryInterval(1);
  return dm;
}

inline void CreateDatabase(const std::string& path, int32_t pageSize) {
  auto dm = MakeDiskMgr(path, pageSize);
  dm->CreateNewFile(true);
}

inline std::unique_ptr<TDiskMgr> OpenDatabase(const std::string& path, int32_t pageSize,
                                              uint32_t openMode = ReadWriteShared) {
  auto dm = MakeDiskMgr(path, pageSize, openMode);
  dm->Open();
  return dm;
}

inline uint16_t U16(const std::vector<uint8_t>& bytes, size_t offset) {
  return le::GetU16(bytes.data() + offset);
}

inline uint32_t U32(const std::vector<uint8_t>& bytes, size_t offset) {
  return le::GetU32(bytes.data() + offset);
}

inline void PutU16(std::vector<uint8_t>& bytes, size_t offset, uint16_t value) {
  le::PutU16(bytes.data() + offset, value);
}

inline void PutU32(std::vector<uint8_t>& bytes, size_t offset, uint32_t value) {
  le::PutU32(bytes.data() + offset, value);
}

// Offset of page n's entry inside its map page, and the byte offset of that in the file for
// the first map page (page 5).
inline uint32_t EntryOffset(uint32_t pageSize, uint32_t page) {
  return dbfile::MapEntriesOffset + 2 * (page % dbfile::EntriesPerMap(pageSize));
}

inline size_t FirstMapByte(uint32_t pageSize, uint32_t offsetInMap) {
  return size_t{dbfile::FirstMapPageNumber} * pageSize + offsetInMap;
}

// A 16-bit word of the first map page, read from the file.
inline uint16_t FirstMapWord(const std::string& path, uint32_t pageSize, uint32_t offsetInMap) {
  return U16(ReadFileBytes(path), FirstMapByte(pageSize, offsetInMap));
}

inline std::vector<uint8_t> Pages(uint32_t pageSize, uint32_t count, uint8_t fill) {
  return std::vector<uint8_t>(size_t{pageSize} * count, fill);
}

}  // namespace diskmgr_test
