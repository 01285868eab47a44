// Where things lie in a database file: pages 0-5, the database record, the security header,
// the global header and the map page. All values are little-endian (LittleEndian.h). The
// page size P is not stored in the file; a file is opened with the size it was created with.
//
// File (page n starts at byte n * P):
//   offset   length     content
//   0        254        database record (written by the connection)
//   254      514        zero
//   768      40         security header, only in encrypted databases, else zero
//   808      216        zero
//   1024     128        global header
//   1152     P - 1152   zero
//   page 1-2 2 * 4096   table header map of the system tables
//   page 3-4 2 * 4096   table header map of the user tables
//   page 5   P          first map page
//   page 6.. pages handed out by the page map (headers, records, blobs, index nodes, maps)
//
// Database record (254 bytes at 0, never enciphered; wide texts are UTF-16, zero-terminated):
//   0   2   FormatMarker        always 1
//   2   60  DatabaseName        30 wide characters, at most 29 kept
//   62  2   zero
//   64  60  CreatedOnOS         30 wide characters
//   124 2   zero
//   126 8   CreationDate        date-time double
//   134 60  CreatedBy           30 wide characters
//   194 2   zero
//   196 4   zero
//   200 4   DefaultSortOrder    0 ANSI, 1 ASCII; read back as its low byte
//   204 40  Version             20 wide characters, "1.30.02"
//   244 2   zero
//   246 4   SecurityLevel       0 plain, 1 encrypted, 2 secured
//   250 4   Checksum            CRC-32 of the bytes 0..255 followed by the record with
//                               Checksum = 0
//
// Security header (40 bytes at 768, never enciphered):
//   0   4   record size, 40
//   4   8   date-time of writing
//   12  2   1, not checked
//   14  2   1, not checked
//   16  20  SHA-1 digest of the master key in stored word order (Sha1.h)
//   36  4   CRC-32 of the 40 bytes with this field 0
//
// Global header (128 bytes at 1024, never enciphered): 32-bit items by byte offset, the rest
// zero:
//   16  FirstFreeMapPage        a map page with free entries, 0 when none is known
//   20  FirstMapPage            5 * P
//   24  MapPageCount
//   28  UserHeaderFirstEmpty    first free 256-byte block of the user table headers
//   32  SystemHeaderFirstEmpty  first free 256-byte block of the system table headers
//   36  IndexFirstEmpty         first free index node block
//
// Map page (P bytes, raw); E = (P - 20) / 2 entries; page n is entry n mod E of map page
// n div E:
//   0   4       map index (0 for the first map page)
//   4   4       address of the next map page, 0 for the last
//   8   2       free chain head: offset in this page of the first free entry, 0 when none
//   10  10      zero
//   20  2 * E   entries; entry i at 20 + 2i
// Entry: 0 never allocated; bit 15 set: free, bits 0-14 the offset of the next free entry
// (0 for the last); otherwise owner * 16 + usage.
#pragma once

#include <cstdint>

namespace dbfile {

constexpr uint32_t DefaultPageSize = 4096;
constexpr uint32_t MinPageSize = 128;
// A free-chain link holds an offset in 15 bits, so a map page may not be larger.
constexpr uint32_t MaxPageSize = 32768;

// Pages 0-5 exist in every file; page 5 is the first map page.
constexpr uint32_t SystemTableHeaderMapPage = 1;
constexpr uint32_t UserTableHeaderMapPage = 3;
constexpr uint32_t TableHeaderMapSize = 8192;
constexpr uint32_t FirstMapPageNumber = 5;
constexpr uint32_t InitialPageCount = 6;

// Database record.
constexpr uint32_t DatabaseRecordOffset = 0;
constexpr uint32_t DatabaseRecordSize = 254;
constexpr uint32_t RecFormatMarker = 0;
constexpr uint32_t RecDatabaseName = 2;
constexpr uint32_t RecCreatedOnOS = 64;
constexpr uint32_t RecCreationDate = 126;
constexpr uint32_t RecCreatedBy = 134;
constexpr uint32_t RecReserved = 196;
constexpr uint32_t RecDefaultSortOrder = 200;
constexpr uint32_t RecVersion = 204;
constexpr uint32_t RecSecurityLevel = 246;
constexpr uint32_t RecChecksum = 250;
constexpr uint32_t RecNameChars = 30;     // DatabaseName, CreatedOnOS, CreatedBy
constexpr uint32_t RecVersionChars = 20;  // Version
constexpr uint16_t FormatMarkerValue = 1;
// The checksum runs over the bytes 0, 1, ..., 255 followed by the record.
constexpr uint32_t ChecksumPrefixSize = 256;
constexpr uint32_t SecurityLevelPlain = 0;
constexpr uint32_t SecurityLevelEncrypted = 1;
constexpr uint32_t SecurityLevelSecured = 2;

// Security header.
constexpr uint32_t SecurityHeaderOffset = 768;
constexpr uint32_t SecurityHeaderSize = 40;
constexpr uint32_t SecRecordSize = 0;
constexpr uint32_t SecWrittenAt = 4;
constexpr uint32_t SecWord1 = 12;
constexpr uint32_t SecWord2 = 14;
constexpr uint32_t SecKeyDigest = 16;
constexpr uint32_t SecCrc = 36;

// Global header.
constexpr uint32_t GlobalHeaderOffset = 1024;
constexpr uint32_t GlobalHeaderSize = 128;
constexpr uint32_t HdrFirstFreeMapPage = 0x10;
constexpr uint32_t HdrFirstMapPage = 0x14;
constexpr uint32_t HdrMapPageCount = 0x18;
constexpr uint32_t HdrUserHeaderFirstEmpty = 0x1C;
constexpr uint32_t HdrSystemHeaderFirstEmpty = 0x20;
constexpr uint32_t HdrIndexFirstEmpty = 0x24;

// Map page.
constexpr uint32_t MapIndexOffset = 0;
constexpr uint32_t MapNextOffset = 4;
constexpr uint32_t MapFreeHeadOffset = 8;
constexpr uint32_t MapEntriesOffset = 20;
constexpr uint16_t MapEntryFree = 0x8000;
constexpr uint16_t MapEntryLinkMask = 0x7FFF;
// Owners are table ids below this, so that owner * 16 + usage keeps bit 15 clear.
constexpr uint32_t MaxPageOwner = 2048;
constexpr uint32_t MaxPageUsage = 16;

// Page usages in map entries.
constexpr uint16_t UsageHeader = 1;  // pages 0-4 and 256-byte table-header blocks
constexpr uint16_t UsageMap = 2;
constexpr uint16_t UsageIndex = 8;
constexpr uint16_t UsageRecords = 9;
constexpr uint16_t UsageBlob = 10;

constexpr uint16_t MapEntryValue(uint32_t owner, uint32_t usage) {
  return static_cast<uint16_t>(owner * 16 + usage);
}

constexpr uint32_t EntriesPerMap(uint32_t pageSize) {
  return (pageSize - MapEntriesOffset) / 2;
}

}  // namespace dbfile
