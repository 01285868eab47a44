#include "engine/storage/CopyDatabaseFile.h"

#include "platform/File.h"

bool CopyDatabaseFile(const std::string& source, const std::string& target, bool overwrite) {
  return platform::CopyFile(source, target, !overwrite);
}
