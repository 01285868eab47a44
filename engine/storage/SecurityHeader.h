// The security header (40 bytes at 768, layout in DatabaseFileLayout.h): proof that a master
// key is the one the database was enciphered with. It keeps only the key's SHA-1 digest, and
// a CRC-32 that tells damage apart from a wrong key.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/storage/DatabaseFileLayout.h"
#include "platform/DateTime.h"

using TSecurityHeader = std::array<uint8_t, dbfile::SecurityHeaderSize>;

// The key used when a database is given an empty master key.
constexpr std::string_view DefaultMasterKey = "7Qp#wz4Lk2!rTb";

// Fills the record for the key, written at the given time, CRC included.
void BuildSecurityHeader(const std::string& masterKey, TDateTime writtenAt, TSecurityHeader& rec);

// Raises 8451 (context "TDiskMgr.ReadSecurityHeader") with "The Security Header CRC is
// incorrect" when the record is damaged, "The MasterKey is incorrect" when its digest is not
// the key's. The record is left as it was.
void CheckSecurityHeader(TSecurityHeader& rec, const std::string& masterKey);
