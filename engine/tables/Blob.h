// One blob field's value for the record a dataset is working on: either the value stored in
// the record's chain (bsStored, Stream empty) or a changed value waiting to be written
// (bsChanged, Stream holds it, possibly empty).
#pragma once

#include <cstdint>
#include <vector>

enum TBlobState : uint8_t { bsStored = 1, bsChanged = 3 };

class TBlob {
 public:
  explicit TBlob(int32_t fieldIndex) : FieldIndex(fieldIndex) {}

  // Back to the stored value; the stream gives its memory back.
  void Reset() {
    State = bsStored;
    std::vector<uint8_t>().swap(Stream);
  }

  int32_t FieldIndex;  // as numbered by the field layout
  TBlobState State = bsStored;
  std::vector<uint8_t> Stream;
};
