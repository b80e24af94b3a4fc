// The x87-tuned matrix products. Every sum is formed in the working precision
// in the documented order and rounded once, when stored.
#include "math/simd/x87/family.h"

namespace kubik::x87 {
namespace {

// Products 1 and 3 and products 2 and 4 form two independent chains.
inline float PairedSum(const Working a[4], const Working b[4]) {
  return static_cast<float>((a[0] * b[0] + a[2] * b[2]) + (a[1] * b[1] + a[3] * b[3]));
}

// Row by row: row i of m1 is loaded before row i of out is written, so out
// may be m1 as long as it is not m2.
void MultiplyByRows(KMMATRIX* out, const KMMATRIX* m1, const KMMATRIX* m2) {
  for (int i = 0; i < 4; ++i) {
    const Working row[4] = {m1->m[i][0], m1->m[i][1], m1->m[i][2], m1->m[i][3]};
    for (int j = 0; j < 4; ++j) {
      const Working column[4] = {m2->m[0][j], m2->m[1][j], m2->m[2][j], m2->m[3][j]};
      out->m[i][j] = PairedSum(row, column);
    }
  }
}

// Column by column: column j of m2 is loaded before column j of out is
// written, and no later column reads it, so out may be m2.
void MultiplyByColumns(KMMATRIX* out, const KMMATRIX* m1, const KMMATRIX* m2) {
  for (int j = 0; j < 4; ++j) {
    const Working column[4] = {m2->m[0][j], m2->m[1][j], m2->m[2][j], m2->m[3][j]};
    for (int i = 0; i < 4; ++i) {
      const Working row[4] = {m1->m[i][0], m1->m[i][1], m1->m[i][2], m1->m[i][3]};
      out->m[i][j] = PairedSum(row, column);
    }
  }
}

}  // namespace

KMMATRIX* KMMatrixMultiply(KMMATRIX* out, const KMMATRIX* m1, const KMMATRIX* m2) {
  if (out == m2) {
    if (out != m1) {
      MultiplyByColumns(out, m1, m2);
      return out;
    }
    // Squaring in place: every row needs all of m2, so keep a copy of it.
    const KMMATRIX copy = *m2;
    MultiplyByRows(out, m1, &copy);
    return out;
  }
  MultiplyByRows(out, m1, m2);
  return out;
}

KMMATRIX* KMMatrixMultiplyTranspose(KMMATRIX* out, const KMMATRIX* m1, const KMMATRIX* m2) {
  // Element (i, j) goes to (j, i): an output that is an input goes through a local.
  KMMATRIX local;
  KMMATRIX* destination = (out == m1 || out == m2) ? &local : out;
  for (int i = 0; i < 4; ++i) {
    const Working row[4] = {m1->m[i][0], m1->m[i][1], m1->m[i][2], m1->m[i][3]};
    for (int j = 0; j < 4; ++j) {
      const Working column[4] = {m2->m[0][j], m2->m[1][j], m2->m[2][j], m2->m[3][j]};
      destination->m[j][i] = PairedSum(row, column);
    }
  }
  if (destination != out) *out = local;
  return out;
}

}  // namespace kubik::x87
