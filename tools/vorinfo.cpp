// vorinfo: prints what a database file holds at the storage level — its global header items
// and, from the page map, how many pages each owner keeps for each usage.
//
//   vorinfo FILE
//
// The file is opened for reading only and shared, so it may be in use by the program.
#include <cstdio>
#include <exception>
#include <map>
#include <utility>
#include <vector>

#include "engine/storage/DatabaseFileLayout.h"
#include "engine/storage/DiskMgr.h"
#include "engine/storage/LittleEndian.h"

namespace {

const char* UsageName(uint32_t usage) {
  switch (usage) {
    case dbfile::UsageHeader:
      return "header";
    case dbfile::UsageMap:
      return "map";
    case dbfile::UsageIndex:
      return "index";
    case dbfile::UsageRecords:
      return "records";
    case dbfile::UsageBlob:
      return "blob";
    default:
      return "other";
  }
}

int Run(const char* path) {
  TDiskMgr dm;
  dm.SetFileName(path);
  dm.SetPageSize(dbfile::DefaultPageSize);
  dm.SetOpenMode(fmOpenRead | fmShareDenyNone);
  dm.Open();
  dm.ReadLockHeader();
  const TGlobalHdr& hdr = *dm.GlobalHdr();
  const uint32_t pageSize = dbfile::DefaultPageSize;
  std::printf("file size          %lld bytes (%lld pages)\n", static_cast<long long>(dm.FileEnd()),
              static_cast<long long>(dm.FileEnd() / pageSize));
  std::printf("first map page     %u\n", hdr.FirstMapPage());
  std::printf("map pages          %u\n", hdr.MapPageCount());
  std::printf("first free map     %u\n", hdr.FirstFreeMapPage());
  std::printf("user header empty  %u\n", hdr.UserHeaderFirstEmpty());
  std::printf("system hdr empty   %u\n", hdr.SystemHeaderFirstEmpty());
  std::printf("index first empty  %u\n", hdr.IndexFirstEmpty());

  // Walk the map pages along their chain, at most MapPageCount of them.
  std::map<std::pair<uint32_t, uint32_t>, uint32_t> owned;  // (owner, usage) -> pages
  uint32_t freePages = 0;
  std::vector<uint8_t> page(pageSize);
  uint32_t address = hdr.FirstMapPage();
  const uint32_t entries = dbfile::EntriesPerMap(pageSize);
  for (uint32_t m = 0; m < hdr.MapPageCount() && address != 0; ++m) {
    dm.ReadBytes(address, pageSize, page.data(), 0, 0);
    for (uint32_t i = 0; i < entries; ++i) {
      const uint16_t entry = le::GetU16(page.data() + dbfile::MapEntriesOffset + 2 * i);
      if (entry == 0) continue;
      if (entry & dbfile::MapEntryFree) {
        ++freePages;
      } else {
        ++owned[{entry >> 4, entry & 0xF}];
      }
    }
    address = le::GetU32(page.data() + dbfile::MapNextOffset);
  }
  dm.UnlockHeader();
  std::printf("free pages         %u\n\n%-8s %-8s %s\n", freePages, "owner", "usage", "pages");
  for (const auto& [key, count] : owned) {
    std::printf("%-8u %-8s %u\n", key.first, UsageName(key.second), count);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s FILE\n", argv[0]);
    return 2;
  }
  try {
    return Run(argv[1]);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "vorinfo: %s\n", e.what());
    return 1;
  }
}
