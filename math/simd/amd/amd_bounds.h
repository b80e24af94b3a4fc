// The amd family's accepted error per operation (math/dispatch/family_bounds.h).
#pragma once

#include "math/dispatch/family_bounds.h"

#define KUBIK_3DNOW_BOUNDS(X) X(KMMatrixMultiply, 1e9)

namespace kubik::amd {
KUBIK_DEFINE_FAMILY_BOUNDS(KUBIK_3DNOW_BOUNDS)
}  // namespace kubik::amd
