// The Blowfish cipher's initial P-array and S-boxes, which every key schedule starts from.
// Constant tables, shared read-only by every cipher state.
#pragma once

#include <array>
#include <cstdint>

constexpr int BlowfishRounds = 16;
constexpr int BlowfishPCount = BlowfishRounds + 2;
constexpr int BlowfishSBoxCount = 4;
constexpr int BlowfishSBoxSize = 256;

extern const std::array<uint32_t, BlowfishPCount> BlowfishInitialP;
extern const std::array<std::array<uint32_t, BlowfishSBoxSize>, BlowfishSBoxCount> BlowfishInitialS;
