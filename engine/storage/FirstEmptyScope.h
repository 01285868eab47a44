// Binds the FirstEmpty of a block interface to the place where its owner keeps it (a table
// header item) for the duration of one change of the free chain: loaded and validated at the
// start, stored back at the end, also when the change fails, so that the owner's copy always
// names the chain as it is on disk.
#pragma once

#include <cstdint>
#include <functional>

#include "engine/storage/BaseIOInterface.h"

struct TFirstEmptyKeeper {
  std::function<uint32_t()> Load;
  std::function<void(uint32_t)> Store;
};

class TFirstEmptyScope {
 public:
  // Without a keeper the scope does nothing: the owner keeps FirstEmpty up to date itself.
  TFirstEmptyScope(TBaseIOInterface& io, const TFirstEmptyKeeper* keeper) : FIO(io) {
    if (keeper == nullptr || !keeper->Load || !keeper->Store) return;
    FIO.SetFirstEmpty(keeper->Load());
    FIO.SetFirstEmptyValidated(true);
    FKeeper = keeper;
  }
  ~TFirstEmptyScope() {
    if (FKeeper == nullptr) return;
    try {
      FKeeper->Store(FIO.FirstEmpty());
    } catch (...) {
      // Storing is an in-memory assignment; a keeper that fails has nobody to tell here.
    }
  }
  TFirstEmptyScope(const TFirstEmptyScope&) = delete;
  TFirstEmptyScope& operator=(const TFirstEmptyScope&) = delete;

 private:
  TBaseIOInterface& FIO;
  const TFirstEmptyKeeper* FKeeper = nullptr;
};
