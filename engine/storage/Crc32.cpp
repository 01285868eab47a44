// CRC-32 with a table built at compile time.
#include "engine/storage/Crc32.h"

#include <array>

namespace {

constexpr uint32_t Crc32Polynomial = 0xEDB88320;

constexpr std::array<uint32_t, 256> MakeCrc32Table() {
  std::array<uint32_t, 256> table{};
  for (uint32_t n = 0; n < 256; ++n) {
    uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? (Crc32Polynomial ^ (c >> 1)) : (c >> 1);
    table[n] = c;
  }
  return table;
}

constexpr std::array<uint32_t, 256> Crc32Table = MakeCrc32Table();

}  // namespace

uint32_t Crc32(const void* data, int count) {
  if (count <= 0) return 0;
  const auto* bytes = static_cast<const uint8_t*>(data);
  uint32_t crc = 0xFFFFFFFF;
  for (int i = 0; i < count; ++i) crc = (crc >> 8) ^ Crc32Table[(crc ^ bytes[i]) & 0xFF];
  return crc ^ 0xFFFFFFFF;
}
