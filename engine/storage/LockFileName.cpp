#include "engine/storage/LockFileName.h"

#include <algorithm>
#include <cctype>

#include "platform/SystemInfo.h"

namespace {

constexpr const char* LockExtension = ".lck";

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

// From the last dot on, "" when the name has none.
std::string ExtensionOf(const std::string& name) {
  const size_t dot = name.rfind('.');
  return dot == std::string::npos ? std::string() : name.substr(dot);
}

std::string ChangeExtension(const std::string& name, const std::string& extension) {
  const size_t dot = name.rfind('.');
  return (dot == std::string::npos ? name : name.substr(0, dot)) + extension;
}

}  // namespace

std::string LockFileNameFor(const std::string& databaseFileName) {
  const size_t slash = databaseFileName.rfind(platform::PathDelimiter);
  const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  const std::string directory = databaseFileName.substr(0, nameStart);
  const std::string name = databaseFileName.substr(nameStart);

  std::string base = name;
  if (Lower(name).find(".vor") == std::string::npos) {
    // data.db becomes data_db.db, so that data.db and data.xy get different lock files.
    const size_t dot = base.find('.');
    if (dot != std::string::npos) base[dot] = '_';
    base += ExtensionOf(name);
  }
  const std::string lockName = directory + ChangeExtension(base, LockExtension);
  // "x.vor.lck" would be its own lock file, and deleted by its last user.
  if (lockName == databaseFileName) return databaseFileName + LockExtension;
  return lockName;
}
