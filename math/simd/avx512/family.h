// The AVX-512 family: AVX-512 F, BW, DQ and VL over the AVX2 family, on
// processors whose operating system also saves the ZMM and opmask
// registers. It replaces only the slots where 512-bit registers and masked
// loads and stores pay; the rest stay the AVX2 family's.
#pragma once

#include "math/dispatch/family.h"
#include "math/dispatch/family_bounds.h"

// clang-format off
#define KUBIK_AVX512_SLOTS(X) \
  X(KMMatrixMultiply)         \
  X(KMMatrixInverse)          \
  X(KMFloat32To16Array)       \
  X(KMFloat16To32Array)       \
  X(KMVec3TransformArray)     \
  X(KMVec3TransformCoordArray) \
  X(KMVec3TransformNormalArray)

// Accuracy per slot, in the units of the AVX2 family's list. The product and
// the arrays form the same fused chains as the AVX2 family, except that the
// coordinate array divides by w where the AVX2 family multiplies by its
// reciprocal (one rounding fewer: within a unit of the AVX2 results); the
// inverse forms the same minors with some products rounded in another
// order; the half conversions are exact.
#define KUBIK_AVX512_BOUNDS(X)     \
  X(KMMatrixMultiply, 4)           \
  X(KMMatrixInverse, 8)            \
  X(KMFloat32To16Array, 0)         \
  X(KMFloat16To32Array, 0)         \
  X(KMVec3TransformArray, 3)       \
  X(KMVec3TransformCoordArray, 3)  \
  X(KMVec3TransformNormalArray, 3)
// clang-format on

namespace kubik::avx512 {

KUBIK_AVX512_SLOTS(KUBIK_DECLARE_SLOT_FUNCTION)

// Only the registry, built without the family's flags, calls the installer;
// the family's sources include this header for the declarations alone.
KUBIK_DEFINE_FAMILY_INSTALLER(KUBIK_AVX512_SLOTS)
KUBIK_DEFINE_FAMILY_BOUNDS(KUBIK_AVX512_BOUNDS)

// Every slot the family fills states its accuracy bound, and no other.
#define KUBIK_AVX512_COUNT_SLOT(name) +1
#define KUBIK_AVX512_COUNT_BOUND(name, units) +1
static_assert(0 KUBIK_AVX512_SLOTS(KUBIK_AVX512_COUNT_SLOT) ==
              0 KUBIK_AVX512_BOUNDS(KUBIK_AVX512_COUNT_BOUND));
#undef KUBIK_AVX512_COUNT_SLOT
#undef KUBIK_AVX512_COUNT_BOUND

}  // namespace kubik::avx512
