// The x87-tuned family's accepted error per operation, in units of 2^-24
// times the magnitude rounding can reach (math/dispatch/family_bounds.h).
#pragma once

#include "math/dispatch/family_bounds.h"

// Extended-precision sums rounded once; the normalise multiplies by 1/sqrt
// read from a 512-segment table (1.5e-6 relative), and so do the
// composites that normalise through it.
#define KUBIK_X87_BOUNDS(X)         \
  X(KMVec2Transform, 1.5)           \
  X(KMVec3Transform, 1.5)           \
  X(KMVec4Transform, 1.5)           \
  X(KMMatrixMultiply, 1.5)          \
  X(KMMatrixMultiplyTranspose, 1.5) \
  X(KMVec2TransformNormal, 1.5)     \
  X(KMVec3TransformNormal, 1.5)     \
  X(KMVec3Normalize, 16)            \
  X(KMPlaneFromPoints, 16)          \
  X(KMQuaternionRotationAxis, 12)   \
  X(KMPlaneTransform, 1.5)          \
  X(KMMatrixRotationAxis, 8)

namespace kubik::x87 {
KUBIK_DEFINE_FAMILY_BOUNDS(KUBIK_X87_BOUNDS)
}  // namespace kubik::x87
