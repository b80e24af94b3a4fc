// The SSE2 family: the SSE family's functions except in four places. Its
// yaw-pitch-roll builder runs the SSE2 form of the sine-cosine kernel, it
// keeps the reference quaternion inverse, its half-to-float conversion uses
// 128-bit integer lanes, and its array transforms start batching at a lower
// count.
#pragma once

#include <cstdint>

#include "math/dispatch/family.h"
#include "math/simd/sse/family.h"

#define KUBIK_SSE2_OWN_SLOTS(X) X(KMQuaternionRotationYawPitchRoll) X(KMFloat16To32Array)

#define KUBIK_SSE2_SLOTS(X) \
  KUBIK_SSE_SHARED_SLOTS(X) KUBIK_SSE2_OWN_SLOTS(X) KUBIK_SSE_ARRAY_SLOTS(X)

namespace kubik::sse2 {

inline constexpr std::uint32_t kBatchAbove = 10;

#define KUBIK_USE_SSE_FUNCTION(name) using ::kubik::sse::name;
KUBIK_SSE_SHARED_SLOTS(KUBIK_USE_SSE_FUNCTION)
#undef KUBIK_USE_SSE_FUNCTION
KUBIK_SSE2_OWN_SLOTS(KUBIK_DECLARE_SLOT_FUNCTION)
#define KUBIK_SSE2_ARRAY_TRANSFORM(name) \
  inline constexpr auto& name = ::kubik::sse::ArrayTransforms<kBatchAbove>::name;
KUBIK_SSE_ARRAY_SLOTS(KUBIK_SSE2_ARRAY_TRANSFORM)
#undef KUBIK_SSE2_ARRAY_TRANSFORM
KUBIK_DEFINE_FAMILY_INSTALLER(KUBIK_SSE2_SLOTS)

// The same kernel with the quadrant arithmetic in 128-bit integer registers;
// its results equal the SSE form's bit for bit.
void PackedSineCosine(const float* angles, float* sines, float* cosines);

}  // namespace kubik::sse2
