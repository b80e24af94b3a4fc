// The view builders this family speeds up. They are not dispatched: the
// portable builders call them on a processor that runs this family.
#pragma once

#include <kubik/kmath.h>

namespace kubik::avx2 {

// Look-at with this family's Vec3 normaliser inlined, for a process whose
// installed normaliser is that one; the forward axis is at - eye, or
// eye - at when `right_handed`. Single precision, and the right axis is
// formed from the forward axis before its normalisation. Against the
// portable builder with the same normaliser, with theta the angle between up
// and the forward axis: the forward axis is the same, the other axes' elements
// lie within kLookAtBound * 2^-24 / sin(theta), and the translation's within
// kLookAtBound * 2^-24 * (|eye.x| + |eye.y| + |eye.z|) / sin(theta), or
// within kLookAtBound * 2^-149 where that is larger (denormal eyes). Leaves
// the camera to `fallback`, writing nothing itself and returning what that
// returns, when
// the squared length of the forward axis lies outside 2^-40 to 2^40, that of
// up x forward outside 2^-80 to 2^80 (up along the forward axis among them),
// or an eye component reaches 2^100 in magnitude: there the two forms could
// part by more (zero, non-finite and NaN inputs all go that way).
inline constexpr double kLookAtBound = 8;
using LookAtBuilder = KMMATRIX* (*)(KMMATRIX* out, const KMVECTOR3* eye, const KMVECTOR3* at,
                                    const KMVECTOR3* up, bool right_handed);
KMMATRIX* LookAt(KMMATRIX* out, const KMVECTOR3* eye, const KMVECTOR3* at, const KMVECTOR3* up,
                 bool right_handed, LookAtBuilder fallback);

// The field-of-view perspectives, with fused multiply-adds in their sine and
// cosine polynomial; the same matrices as the portable builders'.
KMMATRIX* PerspectiveFovLH(KMMATRIX* out, float fovy, float aspect, float zn, float zf);
KMMATRIX* PerspectiveFovRH(KMMATRIX* out, float fovy, float aspect, float zn, float zf);

}  // namespace kubik::avx2
