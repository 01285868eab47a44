// The reflected CRC-32 of IEEE 802.3 (polynomial 0xEDB88320, the one zlib computes), which
// guards the database record and the headers.
#pragma once

#include <cstdint>

// A count of 0 or less gives 0.
uint32_t Crc32(const void* data, int count);
