// Blowfish block cipher and 8-bit cipher feedback.
#include "engine/storage/Blowfish.h"

namespace {

uint32_t LoadBigEndian32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

void StoreBigEndian32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v >> 24);
  p[1] = static_cast<uint8_t>(v >> 16);
  p[2] = static_cast<uint8_t>(v >> 8);
  p[3] = static_cast<uint8_t>(v);
}

inline uint32_t F(const TBlowfishState& s, uint32_t x) {
  return ((s.SBoxes[0][x >> 24] + s.SBoxes[1][(x >> 16) & 0xFF]) ^ s.SBoxes[2][(x >> 8) & 0xFF]) +
         s.SBoxes[3][x & 0xFF];
}

// The cipher on two halves held in registers; the CFB loop calls it once per byte.
inline void EncryptHalves(const TBlowfishState& s, uint32_t& left, uint32_t& right) {
  uint32_t l = left;
  uint32_t r = right;
  for (int i = 0; i < BlowfishRounds; i += 2) {
    l ^= s.PArray[i];
    r ^= F(s, l);
    r ^= s.PArray[i + 1];
    l ^= F(s, r);
  }
  left = r ^ s.PArray[BlowfishRounds + 1];
  right = l ^ s.PArray[BlowfishRounds];
}

template <bool Encipher>
void RunCFB(TBlowfishState& state, const uint8_t* source, uint8_t* target, size_t count) {
  // The register lives as two big-endian halves while the loop runs: shifting in one byte
  // is then two shifts instead of a byte move.
  uint32_t regLeft = LoadBigEndian32(state.Register.data());
  uint32_t regRight = LoadBigEndian32(state.Register.data() + 4);
  for (size_t i = 0; i < count; ++i) {
    uint32_t left = regLeft;
    uint32_t right = regRight;
    EncryptHalves(state, left, right);
    const auto k = static_cast<uint8_t>(left >> 24);
    uint8_t c;
    if constexpr (Encipher) {
      c = static_cast<uint8_t>(source[i] ^ k);
      target[i] = c;
    } else {
      c = source[i];  // taken before target[i] is written: the buffers may be one
      target[i] = static_cast<uint8_t>(c ^ k);
    }
    regLeft = (regLeft << 8) | (regRight >> 24);
    regRight = (regRight << 8) | c;
  }
  StoreBigEndian32(state.Register.data(), regLeft);
  StoreBigEndian32(state.Register.data() + 4, regRight);
}

}  // namespace

void BlowfishInit(TBlowfishState& state, const uint8_t* key, int keyBits,
                  const uint8_t* initialVector) {
  if (keyBits <= 0 || keyBits > BlowfishMaxKeyBits || keyBits % 8 != 0 || key == nullptr) {
    // A refused key must not leave the previous database's schedule in force.
    state = TBlowfishState{};
    return;
  }
  const int n = keyBits / 8;
  state.SBoxes = BlowfishInitialS;
  state.PArray = BlowfishInitialP;

  int j = 0;
  for (int i = 0; i < BlowfishPCount; ++i) {
    const uint32_t word = (uint32_t{key[j]} << 24) | (uint32_t{key[(j + 1) % n]} << 16) |
                          (uint32_t{key[(j + 2) % n]} << 8) | uint32_t{key[(j + 3) % n]};
    state.PArray[i] ^= word;
    j = (j + 4) % n;
  }

  uint32_t left = 0;
  uint32_t right = 0;
  for (int i = 0; i < BlowfishPCount; i += 2) {
    EncryptHalves(state, left, right);
    state.PArray[i] = left;
    state.PArray[i + 1] = right;
  }
  for (auto& box : state.SBoxes) {
    for (int i = 0; i < BlowfishSBoxSize; i += 2) {
      EncryptHalves(state, left, right);
      box[i] = left;
      box[i + 1] = right;
    }
  }

  if (initialVector != nullptr) {
    for (int i = 0; i < BlowfishBlockSize; ++i) state.IV[i] = initialVector[i];
  } else {
    TBlowfishBlock ones;
    ones.fill(0xFF);
    BlowfishEncryptBlock(state, ones.data(), state.IV.data());
  }
  state.Register = state.IV;
}

void BlowfishEncryptBlock(const TBlowfishState& state, const uint8_t* input, uint8_t* output) {
  uint32_t left = LoadBigEndian32(input);
  uint32_t right = LoadBigEndian32(input + 4);
  EncryptHalves(state, left, right);
  StoreBigEndian32(output, left);
  StoreBigEndian32(output + 4, right);
}

void BlowfishEncipherCFB(TBlowfishState& state, const uint8_t* source, uint8_t* target,
                         size_t count) {
  RunCFB<true>(state, source, target, count);
}

void BlowfishDecipherCFB(TBlowfishState& state, const uint8_t* source, uint8_t* target,
                         size_t count) {
  RunCFB<false>(state, source, target, count);
}

void BlowfishResetRegister(TBlowfishState& state) {
  state.Register = state.IV;
}
