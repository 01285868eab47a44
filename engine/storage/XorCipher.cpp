// XOR cipher with a table-id stride over the key.
#include "engine/storage/XorCipher.h"

#include <algorithm>
#include <cstring>
#include <numeric>

namespace {

// The key bytes repeat with a period of keyLength / gcd(step, keyLength); XORing a whole
// stretch of them at once works in whole words instead of walking the key index byte by
// byte.
constexpr size_t StreamSize = 4096;

}  // namespace

void XorCipher(const uint8_t* source, uint8_t* target, const uint8_t* key, uint32_t tableId,
               size_t keyLength, size_t count) {
  if (keyLength == 0 || key == nullptr) {
    // Nothing to index: a modulo by zero otherwise.
    if (source != target && count > 0) std::memmove(target, source, count);
    return;
  }
  const size_t step = XorStride(tableId) % keyLength;
  const size_t period = keyLength / std::gcd(step, keyLength);
  if (period > StreamSize) {
    // A key this long never comes from the engine; walk it the plain way.
    size_t d = 0;
    for (size_t i = 0; i < count; ++i) {
      target[i] = static_cast<uint8_t>(source[i] ^ key[d]);
      d += step;
      if (d >= keyLength) d -= keyLength;
    }
    return;
  }
  // Whole periods only, so that every chunk starts at key index 0 again.
  const size_t chunk = StreamSize - StreamSize % period;
  uint8_t stream[StreamSize];
  const size_t filled = std::min(chunk, count);
  size_t d = 0;
  for (size_t i = 0; i < std::min(period, filled); ++i) {
    stream[i] = key[d];
    d += step;
    if (d >= keyLength) d -= keyLength;
  }
  for (size_t have = period; have < filled; have *= 2) {
    std::memcpy(stream + have, stream, std::min(have, filled - have));
  }
  for (size_t done = 0; done < count; done += chunk) {
    const size_t n = std::min(chunk, count - done);
    const uint8_t* s = source + done;
    uint8_t* t = target + done;
    size_t i = 0;
    // Eight bytes at a time; source and target may be the same buffer, which rules out
    // letting the compiler vectorise the byte loop.
    for (; i + 8 <= n; i += 8) {
      uint64_t a, b;
      std::memcpy(&a, s + i, 8);
      std::memcpy(&b, stream + i, 8);
      a ^= b;
      std::memcpy(t + i, &a, 8);
    }
    for (; i < n; ++i) t[i] = static_cast<uint8_t>(s[i] ^ stream[i]);
  }
}
