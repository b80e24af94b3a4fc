// Reference matrix operations: elements are formed in double and rounded
// once, when stored.
#include <cmath>

#include "math/reference/reference.h"

namespace kubik::reference {
namespace {

// out(r, c) = (a x b)(r, c), or (a x b)(c, r) when transposed.
void StoreProduct(float out[4][4], const KMMATRIX& a, const KMMATRIX& b, bool transposed) {
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) {
      const double sum =
          static_cast<double>(a.m[r][0]) * b.m[0][c] + static_cast<double>(a.m[r][1]) * b.m[1][c] +
          static_cast<double>(a.m[r][2]) * b.m[2][c] + static_cast<double>(a.m[r][3]) * b.m[3][c];
      (transposed ? out[c][r] : out[r][c]) = static_cast<float>(sum);
    }
  }
}

// out = a x b (transposed on request); out may be a or b.
KMMATRIX* Product(KMMATRIX* out, const KMMATRIX* a, const KMMATRIX* b, bool transposed) {
  if (out == a || out == b) {
    // The inputs are read while the output is written: go through a copy.
    float product[4][4];
    StoreProduct(product, *a, *b, transposed);
    for (int r = 0; r < 4; ++r) {
      for (int c = 0; c < 4; ++c) out->m[r][c] = product[r][c];
    }
  } else {
    StoreProduct(out->m, *a, *b, transposed);
  }
  return out;
}

void SetIdentity(KMMATRIX* out) {
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) out->m[r][c] = r == c ? 1.0f : 0.0f;
  }
}

void SetDiagonal(KMMATRIX* out, float d1, float d2, float d3) {
  SetIdentity(out);
  out->_11 = d1;
  out->_22 = d2;
  out->_33 = d3;
}

struct SineCosine {
  float sine;
  float cosine;
};

SineCosine SinCos(float angle) {
  return {static_cast<float>(std::sin(static_cast<double>(angle))),
          static_cast<float>(std::cos(static_cast<double>(angle)))};
}

// out = out x r about a centre: the translation row is moved by -centre,
// rotated, and moved back.
void RotateAbout(KMMATRIX* out, const KMMATRIX& r, const KMVECTOR3* centre) {
  if (centre != nullptr) {
    out->_41 -= centre->x;
    out->_42 -= centre->y;
    out->_43 -= centre->z;
  }
  ::KMMatrixMultiply(out, out, &r);
  if (centre != nullptr) {
    out->_41 += centre->x;
    out->_42 += centre->y;
    out->_43 += centre->z;
  }
}

void RotateAbout(KMMATRIX* out, const KMMATRIX& r, const KMVECTOR2* centre) {
  if (centre != nullptr) {
    out->_41 -= centre->x;
    out->_42 -= centre->y;
  }
  ::KMMatrixMultiply(out, out, &r);
  if (centre != nullptr) {
    out->_41 += centre->x;
    out->_42 += centre->y;
  }
}

// The rows of m other than r, ascending.
struct OtherRows {
  int a, b, d;
};

OtherRows RowsOtherThan(int r) {
  static constexpr OtherRows kRows[4] = {{1, 2, 3}, {0, 2, 3}, {0, 1, 3}, {0, 1, 2}};
  return kRows[r];
}

}  // namespace

KMMATRIX* KMMatrixMultiply(KMMATRIX* out, const KMMATRIX* m1, const KMMATRIX* m2) {
  return Product(out, m1, m2, false);
}

KMMATRIX* KMMatrixMultiplyTranspose(KMMATRIX* out, const KMMATRIX* m1, const KMMATRIX* m2) {
  return Product(out, m1, m2, true);
}

float KMMatrixDeterminant(const KMMATRIX* m) {
  // Laplace expansion along the first row, with the 2x2 minors of rows 3, 4.
  const double m34 = static_cast<double>(m->_33) * m->_44 - static_cast<double>(m->_43) * m->_34;
  const double m24 = static_cast<double>(m->_32) * m->_44 - static_cast<double>(m->_42) * m->_34;
  const double m23 = static_cast<double>(m->_32) * m->_43 - static_cast<double>(m->_42) * m->_33;
  const double m14 = static_cast<double>(m->_31) * m->_44 - static_cast<double>(m->_41) * m->_34;
  const double m13 = static_cast<double>(m->_31) * m->_43 - static_cast<double>(m->_41) * m->_33;
  const double m12 = static_cast<double>(m->_31) * m->_42 - static_cast<double>(m->_41) * m->_32;
  const double det = m->_11 * (m->_22 * m34 - m->_23 * m24 + m->_24 * m23) -
                     m->_12 * (m->_21 * m34 - m->_23 * m14 + m->_24 * m13) +
                     m->_13 * (m->_21 * m24 - m->_22 * m14 + m->_24 * m12) -
                     m->_14 * (m->_21 * m23 - m->_22 * m13 + m->_23 * m12);
  return static_cast<float>(det);
}

KMMATRIX* KMMatrixInverse(KMMATRIX* out, float* determinant, const KMMATRIX* m) {
  // 2x2 minors of columns 1, 2 (low) and 3, 4 (high) for every row pair.
  double low[4][4] = {}, high[4][4] = {};
  for (int a = 0; a < 4; ++a) {
    for (int b = a + 1; b < 4; ++b) {
      low[a][b] = static_cast<double>(m->m[a][0]) * m->m[b][1] -
                  static_cast<double>(m->m[a][1]) * m->m[b][0];
      high[a][b] = static_cast<double>(m->m[a][2]) * m->m[b][3] -
                   static_cast<double>(m->m[a][3]) * m->m[b][2];
    }
  }
  // Cofactors: each 3x3 minor is expanded along its one column from the
  // other pair; every cofactor is rounded to float and used so.
  float cofactor[4][4];
  for (int r = 0; r < 4; ++r) {
    const OtherRows o = RowsOtherThan(r);
    for (int c = 0; c < 4; ++c) {
      const bool left = c < 2;
      const int other = left ? 1 - c : 5 - c;
      const double(*minor)[4] = left ? high : low;
      const double det3 = m->m[o.a][other] * minor[o.b][o.d] - m->m[o.b][other] * minor[o.a][o.d] +
                          m->m[o.d][other] * minor[o.a][o.b];
      cofactor[r][c] = static_cast<float>(((r + c) & 1) != 0 ? -det3 : det3);
    }
  }
  const float det = static_cast<float>(
      static_cast<double>(m->_41) * cofactor[3][0] + static_cast<double>(m->_31) * cofactor[2][0] +
      static_cast<double>(m->_21) * cofactor[1][0] + static_cast<double>(m->_11) * cofactor[0][0]);
  // The caller gets the determinant even when the inverse fails.
  if (determinant != nullptr) *determinant = det;
  if (det == 0.0f) return nullptr;
  const float inv = static_cast<float>(1.0 / det);
  if (!std::isfinite(inv)) return nullptr;  // det too small for its reciprocal, or NaN
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) {
      out->m[r][c] = static_cast<float>(static_cast<double>(cofactor[c][r]) * inv);
    }
  }
  return out;
}

KMMATRIX* KMMatrixTranspose(KMMATRIX* out, const KMMATRIX* m) {
  for (int r = 0; r < 4; ++r) {
    if (out != m) out->m[r][r] = m->m[r][r];
    for (int c = r + 1; c < 4; ++c) {
      const float upper = m->m[r][c], lower = m->m[c][r];
      out->m[r][c] = lower;
      out->m[c][r] = upper;
    }
  }
  return out;
}

KMMATRIX* KMMatrixScaling(KMMATRIX* out, float sx, float sy, float sz) {
  SetDiagonal(out, sx, sy, sz);
  return out;
}

KMMATRIX* KMMatrixRotationX(KMMATRIX* out, float angle) {
  const SineCosine sc = SinCos(angle);
  SetIdentity(out);
  out->_22 = sc.cosine;
  out->_23 = sc.sine;
  out->_32 = -sc.sine;
  out->_33 = sc.cosine;
  return out;
}

KMMATRIX* KMMatrixRotationY(KMMATRIX* out, float angle) {
  const SineCosine sc = SinCos(angle);
  SetIdentity(out);
  out->_11 = sc.cosine;
  out->_13 = -sc.sine;
  out->_31 = sc.sine;
  out->_33 = sc.cosine;
  return out;
}

KMMATRIX* KMMatrixRotationZ(KMMATRIX* out, float angle) {
  const SineCosine sc = SinCos(angle);
  SetIdentity(out);
  out->_11 = sc.cosine;
  out->_12 = sc.sine;
  out->_21 = -sc.sine;
  out->_22 = sc.cosine;
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
  // The doubled components and the shared products are rounded to float once
  // and reused, as every implementation of this slot does.
  const float x2 = q->x * 2.0f, y2 = q->y * 2.0f, z2 = q->z * 2.0f;
  const double w = q->w;
  const float xx = x2 * q->x, yy = y2 * q->y, zz = z2 * q->z;
  const float xy = x2 * q->y, xz = x2 * q->z, yz = y2 * q->z;
  const float one_minus_xx = 1.0f - xx;
  out->_11 = static_cast<float>(1.0 - yy - zz);
  out->_12 = static_cast<float>(xy + z2 * w);
  out->_13 = static_cast<float>(xz - y2 * w);
  out->_14 = 0.0f;
  out->_21 = static_cast<float>(xy - z2 * w);
  out->_22 = static_cast<float>(static_cast<double>(one_minus_xx) - zz);
  out->_23 = static_cast<float>(yz + x2 * w);
  out->_24 = 0.0f;
  out->_31 = static_cast<float>(xz + y2 * w);
  out->_32 = static_cast<float>(yz - x2 * w);
  out->_33 = static_cast<float>(static_cast<double>(one_minus_xx) - yy);
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

KMMATRIX* KMMatrixRotationAxis(KMMATRIX* out, const KMVECTOR3* axis, float angle) {
  const SineCosine sc = SinCos(angle);
  const double c = sc.cosine, s = sc.sine;
  const double t = static_cast<float>(1.0 - c);
  // A normalised copy: the caller's axis is never written, and its length
  // does not matter.
  KMVECTOR3 unit;
  ::KMVec3Normalize(&unit, axis);
  const double x = unit.x, y = unit.y, z = unit.z;
  const double txy = t * (x * y), txz = t * (x * z), tyz = t * (y * z);
  out->_11 = static_cast<float>(t * (x * x) + c);
  out->_12 = static_cast<float>(txy + s * z);
  out->_13 = static_cast<float>(txz - s * y);
  out->_14 = 0.0f;
  out->_21 = static_cast<float>(txy - s * z);
  out->_22 = static_cast<float>(t * (y * y) + c);
  out->_23 = static_cast<float>(tyz + s * x);
  out->_24 = 0.0f;
  out->_31 = static_cast<float>(txz + s * y);
  out->_32 = static_cast<float>(tyz - s * x);
  out->_33 = static_cast<float>(t * (z * z) + c);
  out->_34 = 0.0f;
  out->_41 = 0.0f;
  out->_42 = 0.0f;
  out->_43 = 0.0f;
  out->_44 = 1.0f;
  return out;
}

KMMATRIX* KMMatrixShadow(KMMATRIX* out, const KMVECTOR4* light, const KMPLANE* plane) {
  KMPLANE p;
  ::KMPlaneNormalize(&p, plane);
  const double pv[4] = {p.a, p.b, p.c, p.d};
  const double lv[4] = {light->x, light->y, light->z, light->w};
  const double d = pv[0] * lv[0] + pv[1] * lv[1] + pv[2] * lv[2] + pv[3] * lv[3];
  // p x out = d * p - (p . P) * L, which lies on the plane.
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) {
      const double product = pv[r] * lv[c];
      out->m[r][c] = static_cast<float>(r == c ? d - product : -product);
    }
  }
  return out;
}

KMMATRIX* KMMatrixReflect(KMMATRIX* out, const KMPLANE* plane) {
  KMPLANE p;
  ::KMPlaneNormalize(&p, plane);
  const double a = p.a, b = p.b, c = p.c, d = p.d;
  const double na = -2.0 * a, nb = -2.0 * b, nc = -2.0 * c;
  out->_11 = static_cast<float>(na * a + 1.0);
  out->_12 = static_cast<float>(nb * a);
  out->_13 = static_cast<float>(nc * a);
  out->_14 = 0.0f;
  out->_21 = static_cast<float>(na * b);
  out->_22 = static_cast<float>(nb * b + 1.0);
  out->_23 = static_cast<float>(nc * b);
  out->_24 = 0.0f;
  out->_31 = static_cast<float>(na * c);
  out->_32 = static_cast<float>(nb * c);
  out->_33 = static_cast<float>(nc * c + 1.0);
  out->_34 = 0.0f;
  out->_41 = static_cast<float>(na * d);
  out->_42 = static_cast<float>(nb * d);
  out->_43 = static_cast<float>(nc * d);
  out->_44 = 1.0f;
  return out;
}

KMMATRIX* KMMatrixTransformation(KMMATRIX* out, const KMVECTOR3* scaling_centre,
                                 const KMQUATERNION* scaling_rotation, const KMVECTOR3* scaling,
                                 const KMVECTOR3* rotation_centre, const KMQUATERNION* rotation,
                                 const KMVECTOR3* translation) {
  // T(-sc) x Rs^T x S x Rs x T(sc) x T(-rc) x R x T(rc) x T(t), built in
  // place. Temporaries are 16-byte aligned for the installed products.
  if (scaling == nullptr) {
    SetIdentity(out);
  } else if (scaling_rotation == nullptr) {
    SetDiagonal(out, scaling->x, scaling->y, scaling->z);
    if (scaling_centre != nullptr) {
      out->_41 = static_cast<float>((1.0 - scaling->x) * scaling_centre->x);
      out->_42 = static_cast<float>((1.0 - scaling->y) * scaling_centre->y);
      out->_43 = static_cast<float>((1.0 - scaling->z) * scaling_centre->z);
    }
  } else {
    alignas(16) KMMATRIX rs;
    alignas(16) KMMATRIX s;
    ::KMMatrixRotationQuaternion(&rs, scaling_rotation);
    SetDiagonal(&s, scaling->x, scaling->y, scaling->z);
    if (scaling_centre != nullptr) {
      alignas(16) KMMATRIX rs_transposed;
      ::KMMatrixTranspose(&rs_transposed, &rs);
      SetIdentity(out);
      out->_41 = -scaling_centre->x;
      out->_42 = -scaling_centre->y;
      out->_43 = -scaling_centre->z;
      ::KMMatrixMultiply(out, out, &rs_transposed);
      ::KMMatrixMultiply(out, out, &s);
      ::KMMatrixMultiply(out, out, &rs);
      out->_41 += scaling_centre->x;
      out->_42 += scaling_centre->y;
      out->_43 += scaling_centre->z;
    } else {
      ::KMMatrixTranspose(out, &rs);
      ::KMMatrixMultiply(out, out, &s);
      ::KMMatrixMultiply(out, out, &rs);
    }
  }
  if (rotation != nullptr) {
    alignas(16) KMMATRIX r;
    ::KMMatrixRotationQuaternion(&r, rotation);
    RotateAbout(out, r, rotation_centre);
  }
  if (translation != nullptr) {
    out->_41 += translation->x;
    out->_42 += translation->y;
    out->_43 += translation->z;
  }
  return out;
}

KMMATRIX* KMMatrixTransformation2D(KMMATRIX* out, const KMVECTOR2* scaling_centre,
                                   float scaling_rotation, const KMVECTOR2* scaling,
                                   const KMVECTOR2* rotation_centre, float rotation,
                                   const KMVECTOR2* translation) {
  // A rotation is present when its angle is not exactly 0; a NaN angle
  // counts as present.
  if (scaling == nullptr) {
    SetIdentity(out);
  } else if (!(scaling_rotation != 0.0f)) {
    SetDiagonal(out, scaling->x, scaling->y, 1.0f);
    if (scaling_centre != nullptr) {
      out->_41 = static_cast<float>((1.0 - scaling->x) * scaling_centre->x);
      out->_42 = static_cast<float>((1.0 - scaling->y) * scaling_centre->y);
    }
  } else {
    alignas(16) KMMATRIX rs;
    alignas(16) KMMATRIX s;
    alignas(16) KMMATRIX rs_transposed;
    ::KMMatrixRotationZ(&rs, scaling_rotation);
    ::KMMatrixTranspose(&rs_transposed, &rs);
    SetDiagonal(&s, scaling->x, scaling->y, 1.0f);
    if (scaling_centre != nullptr) {
      SetIdentity(out);
      out->_41 = -scaling_centre->x;
      out->_42 = -scaling_centre->y;
      ::KMMatrixMultiply(out, out, &rs_transposed);
    } else {
      *out = rs_transposed;
    }
    ::KMMatrixMultiply(out, out, &s);
    ::KMMatrixMultiply(out, out, &rs);
    if (scaling_centre != nullptr) {
      out->_41 += scaling_centre->x;
      out->_42 += scaling_centre->y;
    }
  }
  if (rotation != 0.0f) {
    alignas(16) KMMATRIX r;
    ::KMMatrixRotationZ(&r, rotation);
    RotateAbout(out, r, rotation_centre);
  }
  if (translation != nullptr) {
    out->_41 += translation->x;
    out->_42 += translation->y;
  }
  return out;
}

KMMATRIX* KMMatrixAffineTransformation(KMMATRIX* out, float scaling,
                                       const KMVECTOR3* rotation_centre,
                                       const KMQUATERNION* rotation, const KMVECTOR3* translation) {
  // The scaling is about the origin; only the rotation uses the centre.
  SetDiagonal(out, scaling, scaling, scaling);
  if (rotation != nullptr) {
    alignas(16) KMMATRIX r;
    ::KMMatrixRotationQuaternion(&r, rotation);
    RotateAbout(out, r, rotation_centre);
  }
  if (translation != nullptr) {
    out->_41 += translation->x;
    out->_42 += translation->y;
    out->_43 += translation->z;
  }
  return out;
}

KMMATRIX* KMMatrixAffineTransformation2D(KMMATRIX* out, float scaling,
                                         const KMVECTOR2* rotation_centre, float rotation,
                                         const KMVECTOR2* translation) {
  SetDiagonal(out, scaling, scaling, 1.0f);
  if (rotation != 0.0f) {
    alignas(16) KMMATRIX r;
    ::KMMatrixRotationZ(&r, rotation);
    RotateAbout(out, r, rotation_centre);
  }
  if (translation != nullptr) {
    out->_41 += translation->x;
    out->_42 += translation->y;
  }
  return out;
}

}  // namespace kubik::reference
