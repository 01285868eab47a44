// One key entry of an index: the unit that index nodes hold and that trees build, copy and
// compare. The same layout serves leaves, internal nodes and the trees' key buffers.
//
// Key entry (M = the index's maximum key size, K = its key-data offset; little-endian):
//   offset  width      content
//   0       2          EntryLength: total length of the entry, always M
//   2       4          Count: internal node, keys in the child's subtree; leaf, 0
//   6       4          Address: leaf, the record's address; internal node, the child block
//   10      K          null flags: bit 0x80 >> (i mod 8) of byte i div 8 set when key field i
//                      has a value
//   10 + K  M - 10 - K key data: the fields that have a value, one after another (KeyFields.h);
//                      unused tail bytes are zero
//
// TKeyBuffer holds one entry in M + 1 bytes. Invariant: Size() is M + 1 once allocated, so
// every access below EntryLength <= M stays inside it.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "engine/storage/LittleEndian.h"

namespace keyentry {

constexpr uint32_t EntryLengthOffset = 0;
constexpr uint32_t CountOffset = 2;
constexpr uint32_t AddressOffset = 6;
constexpr uint32_t NullFlagsOffset = 10;
constexpr uint32_t FixedSize = NullFlagsOffset;
// The longest key entry an index may have.
constexpr int32_t MaxKeySize = 500;

inline uint16_t EntryLength(const uint8_t* entry) {
  return le::GetU16(entry + EntryLengthOffset);
}
inline uint32_t Count(const uint8_t* entry) {
  return le::GetU32(entry + CountOffset);
}
inline uint32_t Address(const uint8_t* entry) {
  return le::GetU32(entry + AddressOffset);
}
inline void SetEntryLength(uint8_t* entry, uint16_t value) {
  le::PutU16(entry + EntryLengthOffset, value);
}
inline void SetCount(uint8_t* entry, uint32_t value) {
  le::PutU32(entry + CountOffset, value);
}
inline void SetAddress(uint8_t* entry, uint32_t value) {
  le::PutU32(entry + AddressOffset, value);
}

// Null-flag bit of key field i.
inline bool HasValue(const uint8_t* nullFlags, int i) {
  return (nullFlags[i / 8] & (0x80 >> (i % 8))) != 0;
}
inline void SetHasValue(uint8_t* nullFlags, int i) {
  nullFlags[i / 8] = static_cast<uint8_t>(nullFlags[i / 8] | (0x80 >> (i % 8)));
}

}  // namespace keyentry

class TKeyBuffer {
 public:
  // M + 1 zero bytes.
  void Allocate(int32_t maxKeySize) { FBytes.assign(static_cast<size_t>(maxKeySize) + 1, 0); }
  bool Allocated() const { return !FBytes.empty(); }
  int32_t Size() const { return static_cast<int32_t>(FBytes.size()); }
  uint8_t* Data() { return FBytes.data(); }
  const uint8_t* Data() const { return FBytes.data(); }
  std::span<const uint8_t> Bytes() const { return FBytes; }

  uint16_t EntryLength() const { return keyentry::EntryLength(Data()); }
  uint32_t Count() const { return keyentry::Count(Data()); }
  uint32_t Address() const { return keyentry::Address(Data()); }
  void SetEntryLength(uint16_t value) { keyentry::SetEntryLength(Data(), value); }
  void SetCount(uint32_t value) { keyentry::SetCount(Data(), value); }
  void SetAddress(uint32_t value) { keyentry::SetAddress(Data(), value); }
  uint8_t* NullFlags() { return Data() + keyentry::NullFlagsOffset; }
  uint8_t* KeyData(int32_t keyDataOffset) {
    return Data() + keyentry::NullFlagsOffset + keyDataOffset;
  }

 private:
  std::vector<uint8_t> FBytes;
};
