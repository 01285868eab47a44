// The state of a cached page or block. Empty holds nothing; Clean equals what the file holds
// (or will hold once the running transaction commits); Dirty is a change that only the cache
// holds until commit.
#pragma once

#include <cstdint>

enum class TCacheState : uint8_t { Empty = 0, Clean = 1, Dirty = 2 };

constexpr const char* CacheStateName(TCacheState state) {
  switch (state) {
    case TCacheState::Empty:
      return "Empty";
    case TCacheState::Clean:
      return "Clean";
    case TCacheState::Dirty:
      return "Dirty";
  }
  return "";
}
