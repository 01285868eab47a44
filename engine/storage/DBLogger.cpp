#include "engine/storage/DBLogger.h"

#include <charconv>

#include "platform/DateTime.h"
#include "platform/Format.h"

namespace {

long long CounterValue(const TStringList& counters, const std::string& name) {
  std::string text = counters.Values(name);
  long long value = 0;
  const char* end = text.data() + text.size();
  auto res = std::from_chars(text.data(), end, value);
  return res.ec == std::errc() && res.ptr == end ? value : 0;
}

}  // namespace

void TDBLogger::Log(const std::string& name, const std::string& message) noexcept {
  try {
    std::string line = Format("%10s; %30s : %s", {DateTimeToStr(Now()), name, message});
    std::lock_guard<std::mutex> guard(FLock);
    if (MaxLines > 0 && Lines.Count() > MaxLines) Lines.Delete(0);
    Lines.Add(std::move(line));
  } catch (...) {
  }
}

void TDBLogger::IncCounter(const std::string& name, int delta) noexcept {
  try {
    std::lock_guard<std::mutex> guard(FLock);
    Counters.SetValue(name, std::to_string(CounterValue(Counters, name) + delta));
  } catch (...) {
  }
}

void TDBLogger::SaveToFile(const std::string& fileName) {
  if (fileName.empty()) return;
  std::lock_guard<std::mutex> guard(FLock);
  Lines.SaveToFile(fileName);
}

std::vector<std::string> TDBLogger::LinesSnapshot() {
  std::lock_guard<std::mutex> guard(FLock);
  return Lines.Items();
}

long long TDBLogger::Counter(const std::string& name) {
  std::lock_guard<std::mutex> guard(FLock);
  return CounterValue(Counters, name);
}

TDBLogger& EngineLogger() {
  static TDBLogger logger;
  return logger;
}
