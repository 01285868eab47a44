// The engine's log: a bounded list of timestamped lines and a set of named counters,
// shared by every connection of the process through EngineLogger(). Every member function
// runs under the logger's one mutex; Log and IncCounter never throw, so logging can never
// fail the operation that logs. Lines keeps at most MaxLines + 1 entries, oldest first.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "platform/StringList.h"

class TDBLogger {
 public:
  TDBLogger() = default;
  TDBLogger(const TDBLogger&) = delete;
  TDBLogger& operator=(const TDBLogger&) = delete;

  // Appends "<date time>; <name> : <message>", first dropping the oldest line while more
  // than MaxLines are held (MaxLines <= 0 means unbounded).
  void Log(const std::string& name, const std::string& message) noexcept;
  // Adds delta to the counter's decimal value; an absent or non-numeric value counts as 0.
  void IncCounter(const std::string& name, int delta) noexcept;
  // Writes Lines with CR LF ends; nothing for an empty name. Raises EInOutError.
  void SaveToFile(const std::string& fileName);

  // Consistent copies for readers that run beside writers.
  std::vector<std::string> LinesSnapshot();
  long long Counter(const std::string& name);

  // Direct access is safe only while no other thread uses the logger.
  TStringList Lines;
  TStringList Counters;  // "name=value"
  int MaxLines = 500;

 private:
  std::mutex FLock;
};

// The process-wide logger, created on first use.
TDBLogger& EngineLogger();
