#include "platform/File.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <limits>
#include <utility>

namespace platform {

namespace {

constexpr uint64_t kMaxOffset = static_cast<uint64_t>(std::numeric_limits<off_t>::max());

// Closes a descriptor without disturbing errno (close() is not retried on EINTR: on Linux
// the descriptor is released even then).
void CloseKeepErrno(int fd) {
  int saved = errno;
  ::close(fd);
  errno = saved;
}

// Takes the flock() that emulates the share mode. errno is set on failure.
bool TakeShareLock(int fd, Share share) {
  int op = (share == Share::Exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB;
  for (;;) {
    if (::flock(fd, op) == 0) return true;
    if (errno != EINTR) return false;
  }
}

int OpenRetry(const char* path, int flags, mode_t mode) {
  for (;;) {
    int fd = ::open(path, flags, mode);
    if (fd >= 0 || errno != EINTR) return fd;
  }
}

// The range [offset, offset + length) must be expressible as a struct flock.
bool ValidRange(uint64_t offset, uint64_t length) {
  return length != 0 && offset <= kMaxOffset && length <= kMaxOffset - offset;
}

}  // namespace

File::~File() {
  Close();
}

File::File(File&& other) noexcept
    : FFd(std::exchange(other.FFd, -1)),
      FLockFd(std::exchange(other.FLockFd, -1)),
      FWritable(std::exchange(other.FWritable, false)),
      FLastError(std::exchange(other.FLastError, 0)),
      FPath(std::move(other.FPath)) {
  other.FPath.clear();
}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    Close();
    FFd = std::exchange(other.FFd, -1);
    FLockFd = std::exchange(other.FLockFd, -1);
    FWritable = std::exchange(other.FWritable, false);
    FLastError = std::exchange(other.FLastError, 0);
    FPath = std::move(other.FPath);
    other.FPath.clear();
  }
  return *this;
}

bool File::Create(const std::string& path, Share share) {
  Close();
  FLastError = 0;
  // No O_TRUNC here: the contents may only go once the share lock is held, or a failed
  // create would destroy a file that someone else holds exclusively.
  int fd = OpenRetry(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) {
    FLastError = errno;
    return false;
  }
  if (!TakeShareLock(fd, share)) {
    FLastError = errno;
    CloseKeepErrno(fd);
    return false;
  }
  for (;;) {
    if (::ftruncate(fd, 0) == 0) break;
    if (errno != EINTR) {
      FLastError = errno;
      CloseKeepErrno(fd);
      return false;
    }
  }
  FFd = fd;
  FWritable = true;
  FPath = path;
  return true;
}

bool File::Open(const std::string& path, Access access, Share share) {
  Close();
  FLastError = 0;
  int flags = O_CLOEXEC;
  switch (access) {
    case Access::Read:
      flags |= O_RDONLY;
      break;
    case Access::Write:
      flags |= O_WRONLY;
      break;
    case Access::ReadWrite:
      flags |= O_RDWR;
      break;
  }
  int fd = OpenRetry(path.c_str(), flags, 0);
  if (fd < 0) {
    FLastError = errno;
    return false;
  }
  struct stat st;
  if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    // A directory opens read-only on Linux, but it is not a file (Windows refuses it too).
    FLastError = EISDIR;
    CloseKeepErrno(fd);
    return false;
  }
  if (!TakeShareLock(fd, share)) {
    FLastError = errno;
    CloseKeepErrno(fd);
    return false;
  }
  FFd = fd;
  FWritable = access != Access::Read;
  FPath = path;
  return true;
}

void File::Close() {
  if (FLockFd >= 0) {
    ::close(FLockFd);
    FLockFd = -1;
  }
  FWritable = false;
  if (FFd >= 0) {
    ::close(FFd);  // releases the flock() and the byte-range locks of this handle
    FFd = -1;
  }
  FPath.clear();
}

int64_t File::ReadAt(uint64_t offset, void* buffer, size_t n) {
  if (FFd < 0) {
    FLastError = EBADF;
    return -1;
  }
  if (offset > kMaxOffset || n > kMaxOffset - offset) {
    FLastError = EINVAL;
    return -1;
  }
  auto* p = static_cast<uint8_t*>(buffer);
  size_t done = 0;
  while (done < n) {
    ssize_t r = ::pread(FFd, p + done, n - done, static_cast<off_t>(offset + done));
    if (r < 0) {
      if (errno == EINTR) continue;
      FLastError = errno;
      return done > 0 ? static_cast<int64_t>(done) : -1;
    }
    if (r == 0) break;  // end of file
    done += static_cast<size_t>(r);
  }
  return static_cast<int64_t>(done);
}

int64_t File::WriteAt(uint64_t offset, const void* buffer, size_t n) {
  if (FFd < 0) {
    FLastError = EBADF;
    return -1;
  }
  if (offset > kMaxOffset || n > kMaxOffset - offset) {
    FLastError = EINVAL;
    return -1;
  }
  const auto* p = static_cast<const uint8_t*>(buffer);
  size_t done = 0;
  while (done < n) {
    ssize_t r = ::pwrite(FFd, p + done, n - done, static_cast<off_t>(offset + done));
    if (r < 0) {
      if (errno == EINTR) continue;
      FLastError = errno;
      return done > 0 ? static_cast<int64_t>(done) : -1;
    }
    if (r == 0) {  // no progress and no error: give up rather than spin
      FLastError = ENOSPC;
      break;
    }
    done += static_cast<size_t>(r);
  }
  return static_cast<int64_t>(done);
}

bool File::ReadExact(uint64_t offset, void* buffer, size_t n) {
  int64_t r = ReadAt(offset, buffer, n);
  if (r == static_cast<int64_t>(n)) return true;
  if (r >= 0 && FLastError == 0) FLastError = EIO;  // short read: end of file
  return false;
}

bool File::WriteExact(uint64_t offset, const void* buffer, size_t n) {
  int64_t r = WriteAt(offset, buffer, n);
  if (r == static_cast<int64_t>(n)) return true;
  if (FLastError == 0) FLastError = EIO;
  return false;
}

int64_t File::Size() {
  if (FFd < 0) {
    FLastError = EBADF;
    return -1;
  }
  struct stat st;
  if (::fstat(FFd, &st) != 0) {
    FLastError = errno;
    return -1;
  }
  return static_cast<int64_t>(st.st_size);
}

bool File::Truncate(uint64_t size) {
  if (FFd < 0) {
    FLastError = EBADF;
    return false;
  }
  if (size > kMaxOffset) {
    FLastError = EINVAL;
    return false;
  }
  for (;;) {
    if (::ftruncate(FFd, static_cast<off_t>(size)) == 0) return true;
    if (errno != EINTR) break;
  }
  FLastError = errno;
  return false;
}

bool File::Flush() {
  if (FFd < 0) {
    FLastError = EBADF;
    return false;
  }
  // fdatasync also writes the metadata needed to read the data back (the file size).
  for (;;) {
    if (::fdatasync(FFd) == 0) return true;
    if (errno != EINTR) break;
  }
  FLastError = errno;
  return false;
}

FileId File::Identity() {
  FileId id;
  if (FFd < 0) {
    FLastError = EBADF;
    return id;
  }
  struct stat st;
  if (::fstat(FFd, &st) != 0) {
    FLastError = errno;
    return id;
  }
  id.Device = static_cast<uint64_t>(st.st_dev);
  id.Inode = static_cast<uint64_t>(st.st_ino);
  return id;
}

int File::LockDescriptor() {
  if (FWritable || FFd < 0) return FFd;
  if (FLockFd < 0) {
    // Reopening through /proc gives a new description of this very inode, even if the name
    // has been renamed or deleted since.
    std::string self = "/proc/self/fd/" + std::to_string(FFd);
    FLockFd = OpenRetry(self.c_str(), O_RDWR | O_CLOEXEC, 0);
  }
  return FLockFd;
}

bool File::SetRangeLock(uint64_t offset, uint64_t length, short type) {
  if (FFd < 0) {
    FLastError = EBADF;
    return false;
  }
  if (!ValidRange(offset, length)) {
    FLastError = EINVAL;
    return false;
  }
  int lockFd = LockDescriptor();
  if (lockFd < 0) {
    FLastError = errno;
    return false;
  }
  struct flock fl = {};
  fl.l_type = type;
  fl.l_whence = SEEK_SET;
  fl.l_start = static_cast<off_t>(offset);
  fl.l_len = static_cast<off_t>(length);
  fl.l_pid = 0;  // required by open-file-description locks
  for (;;) {
    if (::fcntl(lockFd, F_OFD_SETLK, &fl) == 0) return true;
    if (errno != EINTR) break;
  }
  // A conflict is reported as EAGAIN or EACCES, depending on the system; one value here.
  FLastError = (errno == EAGAIN || errno == EACCES) ? EWOULDBLOCK : errno;
  return false;
}

bool File::LockRange(uint64_t offset, uint64_t length) {
  return SetRangeLock(offset, length, F_WRLCK);
}

bool File::UnlockRange(uint64_t offset, uint64_t length) {
  return SetRangeLock(offset, length, F_UNLCK);
}

bool FileExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool FileIsReadOnly(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return false;
  return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

bool SetFileReadOnly(const std::string& path, bool readOnly) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return false;
  mode_t mode = st.st_mode & 07777;
  if (readOnly) {
    mode &= ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH);
  } else {
    mode |= S_IWUSR;
  }
  if (mode == (st.st_mode & 07777)) return true;
  return ::chmod(path.c_str(), mode) == 0;
}

bool DeleteFile(const std::string& path) {
  return ::unlink(path.c_str()) == 0;
}

bool CopyFile(const std::string& source, const std::string& target, bool failIfExists) {
  int in = OpenRetry(source.c_str(), O_RDONLY | O_CLOEXEC, 0);
  if (in < 0) return false;
  struct stat sst;
  if (::fstat(in, &sst) != 0) {
    CloseKeepErrno(in);
    return false;
  }
  if (S_ISDIR(sst.st_mode)) {
    ::close(in);
    errno = EISDIR;
    return false;
  }

  bool created = false;
  int out = -1;
  if (failIfExists) {
    out = OpenRetry(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    created = out >= 0;
  } else {
    out = OpenRetry(target.c_str(), O_WRONLY | O_CLOEXEC, 0);
    if (out < 0 && errno == ENOENT) {
      out = OpenRetry(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
      created = out >= 0;
    }
  }
  if (out < 0) {
    CloseKeepErrno(in);
    return false;
  }

  auto fail = [&](int err) {
    ::close(in);
    ::close(out);
    if (created) ::unlink(target.c_str());
    errno = err;
    return false;
  };

  struct stat tst;
  if (::fstat(out, &tst) != 0) return fail(errno);
  if (tst.st_dev == sst.st_dev && tst.st_ino == sst.st_ino) return fail(EINVAL);  // itself
  if (!created && ::ftruncate(out, 0) != 0) return fail(errno);

  char buffer[64 * 1024];
  for (;;) {
    ssize_t r = ::read(in, buffer, sizeof buffer);
    if (r < 0) {
      if (errno == EINTR) continue;
      return fail(errno);
    }
    if (r == 0) break;
    ssize_t done = 0;
    while (done < r) {
      ssize_t w = ::write(out, buffer + done, static_cast<size_t>(r - done));
      if (w < 0) {
        if (errno == EINTR) continue;
        return fail(errno);
      }
      if (w == 0) return fail(ENOSPC);
      done += w;
    }
  }
  if (::fchmod(out, sst.st_mode & 07777) != 0) return fail(errno);
  ::close(in);
  if (::close(out) != 0 && errno != EINTR) {
    int err = errno;
    if (created) ::unlink(target.c_str());
    errno = err;
    return false;
  }
  return true;
}

bool FileIdentity(const std::string& path, FileId& id) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return false;
  id.Device = static_cast<uint64_t>(st.st_dev);
  id.Inode = static_cast<uint64_t>(st.st_ino);
  return true;
}

}  // namespace platform
