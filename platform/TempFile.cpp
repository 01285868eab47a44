#include "platform/TempFile.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <utility>
#include <vector>

#include "platform/File.h"

namespace platform {

std::string TempDirectory() {
  std::string dir;
  if (const char* env = std::getenv("TMPDIR"); env != nullptr && *env != '\0') {
    struct stat st;
    if (::stat(env, &st) == 0 && S_ISDIR(st.st_mode)) dir = env;
  }
  if (dir.empty()) dir = "/tmp";
  if (dir.back() != '/') dir += '/';
  return dir;
}

std::string CreateTempFileName(const std::string& prefix) {
  std::string name = TempDirectory() + prefix + "XXXXXX";
  std::vector<char> buffer(name.begin(), name.end());
  buffer.push_back('\0');
  int fd = ::mkostemp(buffer.data(), O_CLOEXEC);
  if (fd < 0) return std::string();
  ::close(fd);
  return std::string(buffer.data());
}

FileMapping::~FileMapping() {
  Unmap();
}

FileMapping::FileMapping(FileMapping&& other) noexcept
    : FData(std::exchange(other.FData, nullptr)), FLength(std::exchange(other.FLength, 0)) {}

FileMapping& FileMapping::operator=(FileMapping&& other) noexcept {
  if (this != &other) {
    Unmap();
    FData = std::exchange(other.FData, nullptr);
    FLength = std::exchange(other.FLength, 0);
  }
  return *this;
}

bool FileMapping::Map(File& file, uint64_t offset, size_t length, bool writable) {
  Unmap();
  long page = ::sysconf(_SC_PAGESIZE);
  if (!file.IsOpen()) {
    errno = EBADF;
    return false;
  }
  if (length == 0 || (page > 0 && offset % static_cast<uint64_t>(page) != 0) ||
      offset > static_cast<uint64_t>(INT64_MAX)) {
    errno = EINVAL;
    return false;
  }
  int prot = PROT_READ | (writable ? PROT_WRITE : 0);
  void* p = ::mmap(nullptr, length, prot, MAP_SHARED, file.Handle(), static_cast<off_t>(offset));
  if (p == MAP_FAILED) return false;
  FData = static_cast<uint8_t*>(p);
  FLength = length;
  return true;
}

void FileMapping::Unmap() {
  if (FData != nullptr) {
    ::munmap(FData, FLength);
    FData = nullptr;
    FLength = 0;
  }
}

bool FileMapping::Flush() {
  if (FData == nullptr) return true;
  return ::msync(FData, FLength, MS_SYNC) == 0;
}

}  // namespace platform
