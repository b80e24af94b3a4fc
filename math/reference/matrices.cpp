// Reference matrix operations: elements are formed in double and rounded
// once, when stored.
#include <cmath>

#include "math/reference/reference.h"

namespace kubik::reference {
namespace {

void StoreProduct(float out[4][4], const KMMATRIX& a, const KMMATRIX& b) {
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) {
      const double sum =
          static_cast<double>(a.m[r][0]) * b.m[0][c] + static_cast<double>(a.m[r][1]) * b.m[1][c] +
          static_cast<double>(a.m[r][2]) * b.m[2][c] + static_cast<double>(a.m[r][3]) * b.m[3][c];
      out[r][c] = static_cast<float>(sum);
    }
  }
}

void SetIdentity(KMMATRIX* out) {
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) out->m[r][c] = r == c ? 1.0f : 0.0f;
  }
}

}  // namespace

KMMATRIX* KMMatrixMultiply(KMMATRIX* out, const KMMATRIX* m1, const KMMATRIX* m2) {
  if (out == m1 || out == m2) {
    // The inputs are read while the output is written: go through a copy.
    float product[4][4];
    StoreProduct(product, *m1, *m2);
    for (int r = 0; r < 4; ++r) {
      for (int c = 0; c < 4; ++c) out->m[r][c] = product[r][c];
    }
  } else {
    StoreProduct(out->m, *m1, *m2);
  }
  return out;
}

KMMATRIX* KMMatrixTranslation(KMMATRIX* out, float x, float y, float z) {
  SetIdentity(out);
  out->_41 = x;
  out->_42 = y;
  out->_43 = z;
  return out;
}

KMMATRIX* KMMatrixRotationQuaternion(KMMATRIX* out, const KMQUATERNION* q) {
  const double x = q->x, y = q->y, z = q->z, w = q->w;
  out->_11 = static_cast<float>(1.0 - 2.0 * (y * y + z * z));
  out->_12 = static_cast<float>(2.0 * (x * y + w * z));
  out->_13 = static_cast<float>(2.0 * (x * z - w * y));
  out->_14 = 0.0f;
  out->_21 = static_cast<float>(2.0 * (x * y - w * z));
  out->_22 = static_cast<float>(1.0 - 2.0 * (x * x + z * z));
  out->_23 = static_cast<float>(2.0 * (y * z + w * x));
  out->_24 = 0.0f;
  out->_31 = static_cast<float>(2.0 * (x * z + w * y));
  out->_32 = static_cast<float>(2.0 * (y * z - w * x));
  out->_33 = static_cast<float>(1.0 - 2.0 * (x * x + y * y));
  out->_34 = 0.0f;
  out->_41 = 0.0f;
  out->_42 = 0.0f;
  out->_43 = 0.0f;
  out->_44 = 1.0f;
  return out;
}

KMMATRIX* KMMatrixRotationYawPitchRoll(KMMATRIX* out, float yaw, float pitch, float roll) {
  // Through the public entries, so the installed quaternion builder and
  // conversion run.
  KMQUATERNION q;
  ::KMQuaternionRotationYawPitchRoll(&q, yaw, pitch, roll);
  return ::KMMatrixRotationQuaternion(out, &q);
}

}  // namespace kubik::reference
