#include "platform/SystemInfo.h"

#include <limits.h>
#include <pwd.h>
#include <sys/utsname.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace platform {

namespace {

constexpr const char* kUnknownError = "The error type could not be determined";

// strerror_r comes in two flavours; these overloads accept either result.
[[maybe_unused]] const char* StrerrorResult(int result, const char* buffer) {
  return result == 0 ? buffer : nullptr;
}
[[maybe_unused]] const char* StrerrorResult(const char* result, const char*) {
  return result;
}

// Reads the leading number of text at pos and moves past it and one following '.'.
int NextVersionPart(const char*& p) {
  if (*p < '0' || *p > '9') return 0;
  long v = 0;
  while (*p >= '0' && *p <= '9') {
    if (v < 100000000) v = v * 10 + (*p - '0');
    ++p;
  }
  if (*p == '.') ++p;
  return static_cast<int>(v);
}

}  // namespace

std::string CurrentUserName() {
  long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 16384);
  struct passwd pwd;
  struct passwd* result = nullptr;
  for (;;) {
    int rc = ::getpwuid_r(::geteuid(), &pwd, buffer.data(), buffer.size(), &result);
    if (rc == ERANGE && buffer.size() < (1u << 20)) {
      buffer.resize(buffer.size() * 2);
      continue;
    }
    if (rc == EINTR) continue;
    break;
  }
  if (result != nullptr && result->pw_name != nullptr && *result->pw_name != '\0')
    return result->pw_name;
  if (const char* user = std::getenv("USER"); user != nullptr) return user;
  return std::string();
}

std::string CurrentComputerName() {
  char name[HOST_NAME_MAX + 1] = {};
  if (::gethostname(name, sizeof name) != 0) return std::string();
  name[HOST_NAME_MAX] = '\0';
  return name;
}

std::string OSDescription() {
  struct utsname u;
  if (::uname(&u) != 0) return "unknown";
  const char* p = u.release;
  int major = NextVersionPart(p);
  int minor = NextVersionPart(p);
  int patch = NextVersionPart(p);
  char numbers[64];
  std::snprintf(numbers, sizeof numbers, " %d.%d.%d.%d ", 3, major, minor, patch);
  return std::string("XX: ") + numbers + " " + u.sysname;
}

std::string LastErrorText() {
  return ErrorText(errno);
}

std::string ErrorText(int errorCode) {
  // strerrordesc_np knows which codes have a text at all; strerror_r gives that text (in
  // the language of LC_MESSAGES, as the system would show it).
  if (::strerrordesc_np(errorCode) == nullptr) return kUnknownError;
  char buffer[256] = {};
  const char* text = StrerrorResult(::strerror_r(errorCode, buffer, sizeof buffer), buffer);
  if (text == nullptr || *text == '\0') return kUnknownError;
  return text;
}

uint32_t TickCount() {
  struct timespec ts;
  ::clock_gettime(CLOCK_MONOTONIC, &ts);
  uint64_t ms =
      static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
  return static_cast<uint32_t>(ms);
}

void SleepMs(uint32_t milliseconds) {
  struct timespec req;
  req.tv_sec = static_cast<time_t>(milliseconds / 1000);
  req.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
  struct timespec rem;
  while (::nanosleep(&req, &rem) != 0 && errno == EINTR) req = rem;
}

std::string ExecutableDirectory() {
  std::vector<char> buffer(PATH_MAX);
  for (;;) {
    ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n < 0) return std::string();
    if (static_cast<size_t>(n) < buffer.size()) {
      std::string path(buffer.data(), static_cast<size_t>(n));
      size_t slash = path.rfind('/');
      if (slash == std::string::npos) return std::string();
      return path.substr(0, slash + 1);
    }
    if (buffer.size() >= (1u << 20)) return std::string();
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace platform
