// Building blocks of a table's block I/O interfaces, shared by the table definition and the
// definition managers: a configured (not yet opened) disk interface, and the image of an
// empty index root block.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

class TDiskIOInterface;
class TDiskMgr;

std::unique_ptr<TDiskIOInterface> MakeTableDiskInterface(TDiskMgr& diskMgr, uint16_t tableID,
                                                         uint16_t usage, int32_t blockSize,
                                                         uint32_t pageFlags);

// size zero bytes but the first 32-bit word, which is 1: an empty tree's only leaf.
std::vector<uint8_t> EmptyRootBlock(int32_t size);
