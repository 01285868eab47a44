// Hexadecimal test data for the cipher and digest tests.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace crypto_test {

inline std::vector<uint8_t> Hex(std::string_view hex) {
  std::vector<uint8_t> bytes;
  auto nibble = [](char c) -> uint8_t {
    if (c >= '0' && c <= '9') return static_cast<uint8_t>(c - '0');
    if (c >= 'a' && c <= 'f') return static_cast<uint8_t>(c - 'a' + 10);
    return static_cast<uint8_t>(c - 'A' + 10);
  };
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes.push_back(static_cast<uint8_t>(nibble(hex[i]) << 4 | nibble(hex[i + 1])));
  }
  return bytes;
}

template <typename Bytes>
std::string ToHex(const Bytes& bytes) {
  static constexpr char digits[] = "0123456789ABCDEF";
  std::string hex;
  for (uint8_t b : bytes) {
    hex += digits[b >> 4];
    hex += digits[b & 15];
  }
  return hex;
}

// Bytes that are neither constant nor periodic in a short cycle.
inline std::vector<uint8_t> Pattern(size_t count, uint32_t seed = 1) {
  std::vector<uint8_t> bytes(count);
  uint32_t x = seed * 2654435761u + 12345;
  for (auto& b : bytes) {
    x = x * 1103515245u + 12345;
    b = static_cast<uint8_t>(x >> 16);
  }
  return bytes;
}

}  // namespace crypto_test
