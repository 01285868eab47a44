// The keyed XOR cipher of weakly enciphered table pages and of encrypted tables' names.
//
// The key index starts at 0 on every call and steps by a stride taken from the table id, so
// the same bytes of different tables encipher differently. The same call enciphers and
// deciphers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

// The engine's fixed key, the same in every engine and every database.
constexpr std::string_view BuiltInXorKey =
    "Rv8!hQ2{mZ5#pL7$wK3%tB9^cX4&nJ6*yG1(fD0)sA-eU+iO=uY;aT,oW.bN?vM:zH[kP]g";
static_assert(BuiltInXorKey.size() == 71);

// (tableId and 0x64) + 1: one of 1, 5, 33, 37, 65, 69, 97, 101.
constexpr uint32_t XorStride(uint32_t tableId) {
  return (tableId & 0x64) + 1;
}

// target[i] := source[i] xor key[d], d stepping by XorStride(tableId) modulo keyLength.
// source and target may be the same buffer. Without key bytes it copies the source.
void XorCipher(const uint8_t* source, uint8_t* target, const uint8_t* key, uint32_t tableId,
               size_t keyLength, size_t count);
