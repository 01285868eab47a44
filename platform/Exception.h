// The class library's exception family: every exception carries a message text.
// Engine and application code raise these (or subclasses) and never abort().
#pragma once

#include <exception>
#include <string>

class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : FMessage(std::move(message)) {}
  const std::string& Message() const { return FMessage; }
  const char* what() const noexcept override { return FMessage.c_str(); }

 protected:
  std::string FMessage;
};

// Base of the engine's database errors.
class EDatabaseError : public Exception {
 public:
  using Exception::Exception;
};

// An input/output failure of a text file (log book, captions); ErrorCode is the errno value.
class EInOutError : public Exception {
 public:
  EInOutError(std::string message, int errorCode)
      : Exception(std::move(message)), ErrorCode(errorCode) {}
  int ErrorCode;
};

// A failed operating-system call; ErrorCode is the errno value.
class EOSError : public Exception {
 public:
  EOSError(std::string message, int errorCode)
      : Exception(std::move(message)), ErrorCode(errorCode) {}
  int ErrorCode;
};

// A failed internal consistency check: "<text> (<unit>, line <n>)".
class EAssertionFailed : public Exception {
 public:
  using Exception::Exception;
};

// The silent abort: handlers of unhandled exceptions ignore it.
class EAbort : public Exception {
 public:
  using Exception::Exception;
};

// Raises EAssertionFailed with the message "%s (%s, line %d)".
[[noreturn]] void AssertFailed(const char* text, const char* unit, int line);

// Internal consistency check naming the engine unit, e.g. VOR_ASSERT(n > 0, "n > 0", "vorDisk").
#define VOR_ASSERT(cond, text, unit)                       \
  do {                                                     \
    if (!(cond)) ::AssertFailed((text), (unit), __LINE__); \
  } while (0)
