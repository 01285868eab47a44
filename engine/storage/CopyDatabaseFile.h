// Copies a closed database file with the operating system's copy.
#pragma once

#include <string>

// False when the copy fails, or when the target exists and overwrite is false.
bool CopyDatabaseFile(const std::string& source, const std::string& target, bool overwrite);
