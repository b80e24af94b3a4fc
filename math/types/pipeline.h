// Limits and constants of the geometry pipeline, shared by the reference
// and the SIMD families (plain constants: nothing compiled per family).
#pragma once

#include <cstdint>

namespace kubik {

// Normal streams one SkinnedMeshBlend call blends; the accumulators hold this many.
inline constexpr std::uint32_t kMaxNormalStreams = 65;

// Floats of one N-patch vertex: the position and up to 65 further floats.
inline constexpr std::uint32_t kMinNPatchVertexFloats = 3;
inline constexpr std::uint32_t kMaxNPatchVertexFloats = 68;

// The N-patch constants as bit patterns: 1/3 rounded to nearest, and the
// centre point's corner weight, which is 0.166666 rather than the float
// nearest 1/6.
inline constexpr std::uint32_t kOneThirdBits = 0x3eaaaaab;
inline constexpr std::uint32_t kCornerWeightBits = 0x3e2aaa7e;

}  // namespace kubik
