// The two constant tables behind PerlinNoise3. Entries 256 to 513 repeat
// entries 0 to 257, so a lattice value (0 to 255) plus a table entry (0 to
// 255) always lands inside the table without a second mask.
#pragma once

#include <array>
#include <cstdint>

namespace kubik {

inline constexpr unsigned kNoiseTableSize = 514;

struct NoiseGradient {
  float x, y, z;
};

extern const std::array<int32_t, kNoiseTableSize> NoisePermutation;
extern const std::array<NoiseGradient, kNoiseTableSize> NoiseGradients;

}  // namespace kubik
