// XOR cipher with a table-id stride over the key.
#include "engine/storage/XorCipher.h"

#include <cstring>

void XorCipher(const uint8_t* source, uint8_t* target, const uint8_t* key, uint32_t tableId,
               size_t keyLength, size_t count) {
  if (keyLength == 0 || key == nullptr) {
    // Nothing to index: a modulo by zero otherwise.
    if (source != target && count > 0) std::memmove(target, source, count);
    return;
  }
  // Reduced once, so that one subtraction keeps the index in range.
  const size_t step = XorStride(tableId) % keyLength;
  size_t d = 0;
  for (size_t i = 0; i < count; ++i) {
    target[i] = static_cast<uint8_t>(source[i] ^ key[d]);
    d += step;
    if (d >= keyLength) d -= keyLength;
  }
}
