// The matrix that projection and unprojection apply: world x view x
// projection, leaving out the null ones, and its inverse. A family passes
// the product and inverse it forms them with (the reference: the public
// entries, so that the installed implementations run).
#pragma once

#include <kubik/kmath.h>

#include <initializer_list>

namespace kubik::projection {

using MultiplyFunction = KMMATRIX* (*)(KMMATRIX*, const KMMATRIX*, const KMMATRIX*);
using InverseFunction = KMMATRIX* (*)(KMMATRIX*, float*, const KMMATRIX*);

// A single matrix is used where it lies; a product goes into local, and so
// does the identity when no matrix is given.
template <MultiplyFunction Multiply>
const KMMATRIX* Combine(KMMATRIX* local, const KMMATRIX* projection, const KMMATRIX* view,
                        const KMMATRIX* world) {
  const KMMATRIX* combined = nullptr;
  for (const KMMATRIX* m : {world, view, projection}) {
    if (m == nullptr) continue;
    if (combined == nullptr) {
      combined = m;
    } else {
      Multiply(local, combined, m);
      combined = local;
    }
  }
  if (combined == nullptr) combined = KMMatrixIdentity(local);
  return combined;
}

// The inverse of the combined matrix, in local. A singular product stays
// as it was (the inversion writes nothing); a single singular matrix is
// copied, so the working matrix is the uninverted one in both cases and
// never undefined.
template <MultiplyFunction Multiply, InverseFunction Inverse>
const KMMATRIX* CombineInverse(KMMATRIX* local, const KMMATRIX* projection, const KMMATRIX* view,
                               const KMMATRIX* world) {
  const KMMATRIX* combined = Combine<Multiply>(local, projection, view, world);
  if (projection == nullptr && view == nullptr && world == nullptr) return combined;
  if (Inverse(local, nullptr, combined) == nullptr && combined != local) *local = *combined;
  return local;
}

}  // namespace kubik::projection
