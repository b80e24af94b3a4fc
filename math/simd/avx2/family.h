// The AVX2 family: AVX2, FMA and F16C, on processors whose operating system
// saves the YMM registers. It lays its functions over the SSE2 family's.
#pragma once

#include "math/dispatch/family.h"

#define KUBIK_AVX2_SLOTS(X)                                                                     \
  X(KMVec2Transform)                                                                            \
  X(KMVec3Transform) X(KMVec4Transform) X(KMMatrixMultiply) X(KMMatrixMultiplyTranspose)        \
      X(KMVec2TransformNormal) X(KMVec3TransformNormal) X(KMVec3Normalize) X(KMVec4Normalize)   \
          X(KMVec2TransformCoord) X(KMVec3TransformCoord) X(KMMatrixInverse)                    \
              X(KMQuaternionMultiply) X(KMQuaternionNormalize) X(KMPlaneNormalize)              \
                  X(KMQuaternionRotationYawPitchRoll) X(KMPlaneTransform) X(KMQuaternionSlerp)  \
                      X(KMMatrixRotationQuaternion) X(KMMatrixRotationYawPitchRoll)             \
                          X(KMQuaternionSquad) X(KMVec2Normalize) X(KMFloat32To16Array)          \
                              X(KMFloat16To32Array) X(KMVec2TransformArray)                     \
                                  X(KMVec2TransformCoordArray) X(KMVec2TransformNormalArray)    \
                                      X(KMVec3TransformArray) X(KMVec3TransformCoordArray)      \
                                          X(KMVec3TransformNormalArray) X(KMVec4TransformArray) \
                                              X(KMPlaneTransformArray)

// Accuracy per slot: the largest error against the reference, in units of
// 2^-24 times the magnitude rounding can reach in that output (for a sum of
// products: the sum of the absolute products).
#define KUBIK_AVX2_BOUNDS(X) X(KMMatrixMultiply, 4)

namespace kubik::avx2 {

KUBIK_AVX2_SLOTS(KUBIK_DECLARE_SLOT_FUNCTION)

// Only family.cpp, built without the family's flags, uses the installer.
KUBIK_DEFINE_FAMILY_INSTALLER(KUBIK_AVX2_SLOTS)

}  // namespace kubik::avx2
