// Little-endian access to byte buffers: every multi-byte value in the database file is stored
// low byte first, whatever the host's byte order. Callers check bounds before calling.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

namespace le {

inline uint16_t GetU16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

inline uint32_t GetU32(const uint8_t* p) {
  return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}

inline uint64_t GetU64(const uint8_t* p) {
  return uint64_t{GetU32(p)} | (uint64_t{GetU32(p + 4)} << 32);
}

inline void PutU16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

inline void PutU32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

inline void PutU64(uint8_t* p, uint64_t v) {
  PutU32(p, static_cast<uint32_t>(v));
  PutU32(p + 4, static_cast<uint32_t>(v >> 32));
}

inline double GetDouble(const uint8_t* p) {
  return std::bit_cast<double>(GetU64(p));
}

inline void PutDouble(uint8_t* p, double v) {
  PutU64(p, std::bit_cast<uint64_t>(v));
}

}  // namespace le
