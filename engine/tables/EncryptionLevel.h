// A table's page enciphering and the page flags its pages are read and written with. The
// ordinals are stored with table definitions.
#pragma once

#include <cstdint>

enum TEncryptionLevel : int { encNone = 0, encWeak = 1, encStrong = 2 };

// Cached and plain, cached with XOR, cached with Blowfish.
constexpr uint32_t TablePageFlags(TEncryptionLevel level) {
  return level == encStrong ? 5u : level == encWeak ? 3u : 1u;
}
