// Temporary files in the system's temporary directory and memory mappings of files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

class File;

// $TMPDIR when set and a directory, else "/tmp"; with a trailing "/".
std::string TempDirectory();
// Creates a new empty file with a unique name "<dir><prefix>XXXXXX" and returns its name
// ("" on failure). The caller deletes it.
std::string CreateTempFileName(const std::string& prefix = "~mr");

// A shared mapping of a byte range of an open file; unmapped on destruction.
class FileMapping {
 public:
  FileMapping() = default;
  ~FileMapping();
  FileMapping(FileMapping&& other) noexcept;
  FileMapping& operator=(FileMapping&& other) noexcept;
  FileMapping(const FileMapping&) = delete;
  FileMapping& operator=(const FileMapping&) = delete;

  // Maps [offset, offset + length) of the file; offset must be a multiple of the page size.
  // The file must be at least that long. False on failure.
  bool Map(File& file, uint64_t offset, size_t length, bool writable);
  void Unmap();
  bool Flush();
  uint8_t* Data() const { return FData; }
  size_t Length() const { return FLength; }

 private:
  uint8_t* FData = nullptr;
  size_t FLength = 0;
};

}  // namespace platform
