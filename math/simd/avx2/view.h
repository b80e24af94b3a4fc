// The view builders this family speeds up. They are not dispatched: the
// portable builders call them on a processor that runs this family.
#pragma once

#include <kubik/kmath.h>

namespace kubik::avx2 {

// Look-at with this family's Vec3 normaliser inlined, for a process whose
// installed normaliser is that one. The forward axis is at - eye, or eye - at
// when `right_handed`.
KMMATRIX* LookAt(KMMATRIX* out, const KMVECTOR3* eye, const KMVECTOR3* at, const KMVECTOR3* up,
                 bool right_handed);

// The field-of-view perspective, with fused multiply-adds in its sine and
// cosine polynomial; the same matrix as the portable builder's.
KMMATRIX* PerspectiveFov(KMMATRIX* out, float fovy, float aspect, float zn, float zf,
                         bool right_handed);

}  // namespace kubik::avx2
