// The name of a database's lock file: beside the database, named after its file name with
// the extension ".lck" (ox.vor -> ox.lck, data.db -> data_db.lck). Only the file-name part
// is rewritten, so dots in directory names never matter, and the result never names the
// database file itself (the last user deletes the lock file).
#pragma once

#include <string>

std::string LockFileNameFor(const std::string& databaseFileName);
