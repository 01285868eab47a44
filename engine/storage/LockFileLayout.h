// Where the engine's multi-process locks lie. Exclusion between connections comes only from
// exclusive byte-range locks; no data is ever written in a locked range, and ranges may lie
// far beyond the end of a file.
//
// Lock file (all data a multiple of 4096 bytes):
//   bytes 0..4095           zero bytes, written at creation and never read
//   slot at 4096 * k, k>=1  "<computer>\r\n<user>\r\n", zero-padded to 4096; first byte 0 = free
//
// Ranges locked:
//   lock file  byte 0                     monitor lock, guards the slot area
//   lock file  0x400000 + slot + i        one byte per connection of the slot's user, i < 4096
//   lock file  0x800000 + id * 8192       table region, 8192 bytes (table 0: database header)
//   lock file  0x2000000 + address        record lock, one byte
//   database   byte 8192                  parent lock, guards creation and deletion of the
//                                         lock file
//   database   0x0FF10000, 1000 bytes     mark that the database is open
//
// The lock file stays below 0x400000 bytes, so every slot byte lies below the table regions;
// table ids stay below 2048, so the table regions end below the record locks. Record
// addresses are 32-bit, so record locks reach up to 0x2000000 + 0xFFFFFFFF: lock offsets
// are 64-bit.
#pragma once

#include <cstdint>

namespace lockfile {

constexpr uint64_t MonitorLockOffset = 0;
constexpr uint64_t SlotSize = 4096;
constexpr uint64_t FirstSlotOffset = SlotSize;  // slot area starts after the zero block
constexpr uint64_t SlotLockBase = 0x400000;
// A longer lock file is refused ("grown too large"); it holds at most 1023 slots.
constexpr int64_t MaxLockFileSize = 0x3FFFFF;
constexpr uint64_t SlotAreaEnd = SlotLockBase;  // no slot may end beyond this offset

constexpr uint32_t TableRegionBase = 0x800000;
constexpr uint32_t TableRegionSize = 8192;
constexpr uint32_t RecordRegionBase = 0x2000000;
constexpr uint32_t RecordRegionSize = 1;

// In the database file.
constexpr uint64_t ParentLockOffset = 8192;
constexpr uint64_t OpenMarkOffset = 0x0FF10000;
constexpr uint64_t OpenMarkSize = 1000;

// Failure texts of the two lock managers and of the user monitor.
constexpr const char* TableReadFailMessage = "A read lock could not be obtained on the table";
constexpr const char* TableWriteFailMessage = "A write lock could not be obtained on the table";
constexpr const char* RecordFailMessage = "A lock could not be obtained on the record";
constexpr const char* LockFileFailMessage = "A lock could not be obtained on the lock file";

// Unit named by the consistency checks of the lock classes.
constexpr const char* LockUnit = "vorLockMgrUnit";

}  // namespace lockfile
