// Helpers for the file-object and cache tests: a scratch directory and whole-file access.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "engine/storage/VorErrors.h"
#include "platform/File.h"
#include "support/TestDir.h"

namespace vorfile_test {

using test_support::ScratchDir;

inline std::vector<uint8_t> ReadFileBytes(const std::string& path) {
  platform::File f;
  if (!f.Open(path, platform::Access::Read, platform::Share::DenyNone)) return {};
  std::vector<uint8_t> bytes(static_cast<size_t>(f.Size()));
  if (!bytes.empty()) f.ReadExact(0, bytes.data(), bytes.size());
  return bytes;
}

inline void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  platform::File f;
  ASSERT_TRUE(f.Create(path, platform::Share::DenyNone));
  if (!bytes.empty()) {
    ASSERT_TRUE(f.WriteExact(0, bytes.data(), bytes.size()));
  }
}

inline std::vector<uint8_t> Pattern(size_t size, uint32_t seed) {
  std::vector<uint8_t> bytes(size);
  std::mt19937 gen(seed);
  for (auto& b : bytes) b = static_cast<uint8_t>(gen());
  return bytes;
}

// Runs fn and returns the engine error code it raised (0 when none), keeping its message.
template <typename Fn>
int ErrorCodeOf(Fn fn, std::string* message = nullptr) {
  try {
    fn();
  } catch (const EVorDatabaseError& e) {
    if (message) *message = e.Message();
    return e.ErrorCode;
  }
  return 0;
}

}  // namespace vorfile_test
