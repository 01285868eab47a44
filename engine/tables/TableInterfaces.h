// Building blocks of a table's block I/O interfaces, shared by the table definition and the
// definition managers: a configured (not yet opened) disk interface, the opened interface of
// the 256-byte table-header blocks, and the image of an empty index root block.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

class TDiskIOInterface;
class TDiskMgr;

std::unique_ptr<TDiskIOInterface> MakeTableDiskInterface(TDiskMgr& diskMgr, uint16_t tableID,
                                                         uint16_t usage, int32_t blockSize,
                                                         uint32_t pageFlags);

// Sets up and opens io as the header-block interface of the user (or system) tables: raw
// blocks of owner 0 with usage 1, whose first free block is an item of the global header.
void OpenTableHeaderInterface(TDiskIOInterface& io, TDiskMgr& diskMgr, bool systemTables);

// size zero bytes but the first 32-bit word, which is 1: an empty tree's only leaf.
std::vector<uint8_t> EmptyRootBlock(int32_t size);
