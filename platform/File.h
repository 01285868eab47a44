// A file handle with Windows-like access and share modes and byte-range locks.
//
// Sharing is emulated with flock(): an exclusive open takes LOCK_EX|LOCK_NB, every other
// share mode LOCK_SH|LOCK_NB, so an exclusive open fails while anyone else (this process
// or another) has the file open, and nobody can open a file that is held exclusively.
// Deny-read and deny-write are therefore as weak as deny-none; callers must not rely on
// them for more than "not exclusive".
//
// Byte-range locks are open-file-description locks (F_OFD_SETLK): exclusive, non-blocking,
// owned by this handle, so two handles of one process conflict like two processes, and a
// range far beyond the end of the file can be locked. Overlapping requests through the same
// handle merge (Windows would refuse); callers must not rely on either behaviour.
//
// Failures are reported by return value; LastError() tells the errno value of the last
// failed call on this handle (EWOULDBLOCK for a sharing or lock conflict).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

enum class Access { Read, Write, ReadWrite };
enum class Share { Exclusive, DenyWrite, DenyRead, DenyNone };

// Identity of a file on disk (device and inode), to tell whether a name still names the
// file that a handle has open.
struct FileId {
  uint64_t Device = 0;
  uint64_t Inode = 0;
  bool operator==(const FileId&) const = default;
};

class File {
 public:
  File() = default;
  ~File();
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // Creates (or truncates) a file for reading and writing. False on failure.
  bool Create(const std::string& path, Share share);
  // Opens an existing file. False on failure (ENOENT, EACCES, EWOULDBLOCK for sharing, ...).
  bool Open(const std::string& path, Access access, Share share);
  void Close();
  bool IsOpen() const { return FFd >= 0; }
  const std::string& Path() const { return FPath; }

  // Positioned I/O. Return the number of bytes transferred (less than n only at end of file
  // for reads, or on failure), or -1 on failure.
  int64_t ReadAt(uint64_t offset, void* buffer, size_t n);
  int64_t WriteAt(uint64_t offset, const void* buffer, size_t n);
  // True only when exactly n bytes were transferred; a short read at end of file sets
  // LastError() to EIO.
  bool ReadExact(uint64_t offset, void* buffer, size_t n);
  bool WriteExact(uint64_t offset, const void* buffer, size_t n);

  int64_t Size();  // -1 on failure
  bool Truncate(uint64_t size);
  bool Flush();
  FileId Identity();

  // Exclusive, non-blocking byte-range lock and its release. False on conflict/failure.
  // Linux takes exclusive locks only through a writable descriptor, so a handle opened for
  // reading locks through a second, writable description of the same file, opened on first
  // use and owned by this handle (it fails when the file cannot be written to). A zero length
  // fails with EINVAL.
  // A forked child shares the parent's handles and so their locks until it closes them.
  bool LockRange(uint64_t offset, uint64_t length);
  bool UnlockRange(uint64_t offset, uint64_t length);

  int LastError() const { return FLastError; }
  int Handle() const { return FFd; }

 private:
  int LockDescriptor();
  // One fcntl request (F_WRLCK or F_UNLCK) for the range through LockDescriptor().
  bool SetRangeLock(uint64_t offset, uint64_t length, short type);

  int FFd = -1;
  int FLockFd = -1;  // the writable description that read-only handles lock through
  bool FWritable = false;
  int FLastError = 0;
  std::string FPath;
};

bool FileExists(const std::string& path);
// Read-only by the mode's write bits (root ignores access(W_OK), so it cannot tell).
bool FileIsReadOnly(const std::string& path);
bool SetFileReadOnly(const std::string& path, bool readOnly);
bool DeleteFile(const std::string& path);
// Copies contents (and permission bits). With failIfExists an existing target fails.
bool CopyFile(const std::string& source, const std::string& target, bool failIfExists);
// False when the name does not exist.
bool FileIdentity(const std::string& path, FileId& id);

}  // namespace platform
