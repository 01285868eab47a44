#include "engine/tables/TableInterfaces.h"

#include "engine/storage/DatabaseFileLayout.h"
#include "engine/storage/DiskIOInterface.h"
#include "engine/storage/LittleEndian.h"
#include "engine/tables/TableDef.h"
#include "engine/tables/TableHeader.h"

std::unique_ptr<TDiskIOInterface> MakeTableDiskInterface(TDiskMgr& diskMgr, uint16_t tableID,
                                                         uint16_t usage, int32_t blockSize,
                                                         uint32_t pageFlags) {
  auto io = std::make_unique<TDiskIOInterface>();
  io->SetDiskMgr(&diskMgr);
  io->SetTableID(tableID);
  io->SetUsage(usage);
  io->SetBlockSize(blockSize);
  io->SetPageFlags(pageFlags);
  return io;
}

std::vector<uint8_t> EmptyRootBlock(int32_t size) {
  std::vector<uint8_t> block(static_cast<size_t>(size > 4 ? size : 4), 0);
  le::PutU32(block.data(), tabledef::EmptyRootMarker);
  return block;
}

void OpenTableHeaderInterface(TDiskIOInterface& io, TDiskMgr& diskMgr, bool systemTables) {
  io.SetDiskMgr(&diskMgr);
  io.SetBlockSize(tblhdr::BlockSize);
  io.SetUsage(dbfile::UsageHeader);
  io.SetTableID(0);
  io.SetGlobalItem(systemTables ? dbfile::HdrSystemHeaderFirstEmpty
                                : dbfile::HdrUserHeaderFirstEmpty);
  io.SetPageFlags(0);
  io.Open();
}
