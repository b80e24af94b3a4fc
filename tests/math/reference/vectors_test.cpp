// Reference vector operations, reached through their public entries.
#include <gtest/gtest.h>
#include <kubik/kmath.h>

#include <algorithm>
#include <bit>
#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "math/reference/reference.h"
#include "tests/math/family_test_support.h"

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

using kubik::testing::Identity;
using kubik::testing::RandomMatrix;
using kubik::testing::SameBits;

// ---- Normalisation --------------------------------------------------------
// The 3-component form is called directly: its slot holds the x87-tuned
// normalise on every processor, whose thresholds differ.

TEST(VectorNormalize, ZeroAndTinyGiveZero) {
  KMVECTOR3 out(9, 9, 9);
  const KMVECTOR3 zero(0, 0, 0);
  kubik::reference::KMVec3Normalize(&out, &zero);
  EXPECT_TRUE(SameBits(out, KMVECTOR3(0, 0, 0)));
  // Nonzero length, but the squared length is below the smallest normal float.
  const KMVECTOR3 tiny(1e-20f, 0, 0);
  out = KMVECTOR3(9, 9, 9);
  kubik::reference::KMVec3Normalize(&out, &tiny);
  EXPECT_TRUE(SameBits(out, KMVECTOR3(0, 0, 0)));
}

TEST(VectorNormalize, SmallestNormalSquaredLengthIsTheBoundary) {
  // Squared length exactly FLT_MIN (2^-126 = (2^-63)^2): not greater, so zero.
  const float at = std::ldexp(1.0f, -63);
  KMVECTOR3 out(9, 9, 9);
  const KMVECTOR3 v_at(at, 0, 0);
  kubik::reference::KMVec3Normalize(&out, &v_at);
  EXPECT_TRUE(SameBits(out, KMVECTOR3(0, 0, 0)));
  // One step above in the component gives a squared length above FLT_MIN.
  const KMVECTOR3 v_above(std::nextafter(at, 1.0f), 0, 0);
  kubik::reference::KMVec3Normalize(&out, &v_above);
  EXPECT_EQ(out.x, 1.0f);
  EXPECT_EQ(out.y, 0.0f);
  EXPECT_EQ(out.z, 0.0f);
  // The same boundary holds for the 2- and 4-component forms.
  KMVECTOR2 out2(9, 9);
  const KMVECTOR2 v2(0, at);
  KMVec2Normalize(&out2, &v2);
  EXPECT_TRUE(SameBits(out2, KMVECTOR2(0, 0)));
  KMVECTOR4 out4(9, 9, 9, 9);
  const KMVECTOR4 v4(0, 0, 0, std::nextafter(at, 1.0f));
  KMVec4Normalize(&out4, &v4);
  EXPECT_EQ(out4.w, 1.0f);
}

TEST(VectorNormalize, NearlyUnitIsLeftBitForBit) {
  // Squared lengths 1 - 2^-23 and 1 + 2^-23 are inside the tolerance: the
  // input comes back unchanged, not rescaled.
  const float below = 1.0f - std::ldexp(1.0f, -24);  // squares to 1 - 2^-23
  const KMVECTOR3 v_below(below, 0, 0);
  KMVECTOR3 out;
  kubik::reference::KMVec3Normalize(&out, &v_below);
  EXPECT_TRUE(SameBits(out, v_below));

  // 1 + y*y with y*y just above 2^-23 rounds to 1 + 2^-23.
  const float y = std::sqrt(std::ldexp(1.0f, -23));
  ASSERT_EQ(static_cast<float>(1.0 + double{y} * y), 1.0f + std::ldexp(1.0f, -23));
  const KMVECTOR4 v4_above(1, y, 0, 0);
  KMVECTOR4 out4;
  KMVec4Normalize(&out4, &v4_above);
  EXPECT_TRUE(SameBits(out4, v4_above));
}

TEST(VectorNormalize, JustOutsideTheToleranceIsRescaled) {
  // Squared length 1 - 2^-22 (two float steps below 1) is rescaled.
  const KMVECTOR2 v(0.6f, 0.8f);
  const float scale = std::sqrt(1.0f - std::ldexp(1.0f, -22));
  const KMVECTOR2 shrunk(0.6f * scale, 0.8f * scale);
  const float length_sq =
      static_cast<float>(double{shrunk.x} * shrunk.x + double{shrunk.y} * shrunk.y);
  ASSERT_LT(length_sq, 1.0f - std::ldexp(1.0f, -23));
  KMVECTOR2 out;
  KMVec2Normalize(&out, &shrunk);
  EXPECT_FALSE(SameBits(out, shrunk));
  EXPECT_NEAR(out.x, v.x, 1e-7);
  EXPECT_NEAR(out.y, v.y, 1e-7);

  // 1 + 2^-22: x = 1 + 2^-23 squares to 1 + 2^-22 after rounding.
  const KMVECTOR3 grown(1.0f + std::ldexp(1.0f, -23), 0, 0);
  KMVECTOR3 out3;
  kubik::reference::KMVec3Normalize(&out3, &grown);
  EXPECT_EQ(out3.x, 1.0f);
}

TEST(VectorNormalize, OrdinaryVectorsAndInPlace) {
  KMVECTOR3 v(3, 4, 0);
  kubik::reference::KMVec3Normalize(&v, &v);
  EXPECT_FLOAT_EQ(v.x, 0.6f);
  EXPECT_FLOAT_EQ(v.y, 0.8f);
  EXPECT_EQ(v.z, 0.0f);
  KMVECTOR4 v4(1, 1, 1, 1);
  EXPECT_EQ(KMVec4Normalize(&v4, &v4), &v4);
  for (float c : {v4.x, v4.y, v4.z, v4.w}) EXPECT_EQ(c, 0.5f);
  KMVECTOR2 v2(-5, 12);
  KMVec2Normalize(&v2, &v2);
  EXPECT_FLOAT_EQ(v2.x, -5.0f / 13.0f);
  EXPECT_FLOAT_EQ(v2.y, 12.0f / 13.0f);
}

TEST(VectorNormalize, NaNGivesZero) {
  const KMVECTOR2 v2(kNaN, 1);
  KMVECTOR2 out2(9, 9);
  KMVec2Normalize(&out2, &v2);
  EXPECT_TRUE(SameBits(out2, KMVECTOR2(0, 0)));
  const KMVECTOR3 v3(0, kNaN, 0);
  KMVECTOR3 out3(9, 9, 9);
  kubik::reference::KMVec3Normalize(&out3, &v3);
  EXPECT_TRUE(SameBits(out3, KMVECTOR3(0, 0, 0)));
  const KMVECTOR4 v4(1, 2, 3, kNaN);
  KMVECTOR4 out4(9, 9, 9, 9);
  KMVec4Normalize(&out4, &v4);
  EXPECT_TRUE(SameBits(out4, KMVECTOR4(0, 0, 0, 0)));
}

}  // namespace

namespace {

// (in[0..n), [0,] w) x m in double, written out independently of the library.
void RowTimesMatrix(double out[4], const float* in, int n, double w, const KMMATRIX& m) {
  for (int j = 0; j < 4; ++j) {
    out[j] = 0.0;
    for (int i = 0; i < n; ++i) out[j] += double{in[i]} * m.m[i][j];
    out[j] += w * m.m[3][j];
  }
}

// ---- Single transforms ------------------------------------------------------

TEST(VectorTransform, MatchesTheRowVectorProduct) {
  std::mt19937 rng(7);
  for (int trial = 0; trial < 50; ++trial) {
    const KMMATRIX m = RandomMatrix(rng, 4);
    const KMVECTOR4 v(1.5f, -2.25f, 0.75f, 3.0f);
    double e[4];
    KMVECTOR4 out;
    RowTimesMatrix(e, &v.x, 2, 1.0, m);
    KMVec2Transform(&out, reinterpret_cast<const KMVECTOR2*>(&v), &m);
    for (int j = 0; j < 4; ++j) EXPECT_NEAR(out[j], e[j], 1e-5) << "2-D, column " << j;
    RowTimesMatrix(e, &v.x, 3, 1.0, m);
    KMVec3Transform(&out, reinterpret_cast<const KMVECTOR3*>(&v), &m);
    for (int j = 0; j < 4; ++j) EXPECT_NEAR(out[j], e[j], 1e-5) << "3-D, column " << j;
    RowTimesMatrix(e, &v.x, 4, 0.0, m);
    KMVec4Transform(&out, &v, &m);
    for (int j = 0; j < 4; ++j) EXPECT_NEAR(out[j], e[j], 1e-5) << "4-D, column " << j;
    // In place: every input component is read before the first store.
    KMVECTOR4 in_place = v;
    KMVec4Transform(&in_place, &in_place, &m);
    EXPECT_TRUE(SameBits(in_place, out));
  }
}

TEST(VectorTransform, DirectionsIgnoreTranslationAndUnusedRows) {
  // NaN in every element a direction must not read.
  KMMATRIX m(2, 3, kNaN, kNaN, 5, 7, kNaN, kNaN, kNaN, kNaN, kNaN, kNaN, kNaN, kNaN, kNaN, kNaN);
  const KMVECTOR2 v2(1, 10);
  KMVECTOR2 out2;
  KMVec2TransformNormal(&out2, &v2, &m);
  EXPECT_EQ(out2.x, 52.0f);
  EXPECT_EQ(out2.y, 73.0f);
  m = KMMATRIX(1, 2, 3, kNaN, 4, 5, 6, kNaN, 7, 8, 9, kNaN, kNaN, kNaN, kNaN, kNaN);
  KMVECTOR3 v3(1, 0, -1);
  KMVec3TransformNormal(&v3, &v3, &m);
  EXPECT_TRUE(SameBits(v3, KMVECTOR3(-6, -6, -6)));
}

// m is the identity with a translation and the given fourth column.
KMMATRIX CoordMatrix(float w_scale) {
  KMMATRIX m = Identity();
  m._41 = 0.5f;
  m._42 = -1.0f;
  m._43 = 2.0f;
  m._44 = w_scale;
  return m;
}

TEST(VectorTransformCoord, DividesOnlyWhenWIsNotNearlyOne) {
  const KMVECTOR3 v(3, 5, 7);
  KMVECTOR3 out;
  // w exactly 1: the plain affine result.
  const KMMATRIX one = CoordMatrix(1.0f);
  KMVec3TransformCoord(&out, &v, &one);
  EXPECT_TRUE(SameBits(out, KMVECTOR3(3.5f, 4, 9)));
  // w = 1 + 2^-23 and 1 - 2^-23 count as 1: not divided.
  const KMMATRIX up = CoordMatrix(1.0f + std::ldexp(1.0f, -23));
  KMVec3TransformCoord(&out, &v, &up);
  EXPECT_TRUE(SameBits(out, KMVECTOR3(3.5f, 4, 9)));
  const KMMATRIX down = CoordMatrix(1.0f - std::ldexp(1.0f, -23));
  KMVec3TransformCoord(&out, &v, &down);
  EXPECT_TRUE(SameBits(out, KMVECTOR3(3.5f, 4, 9)));
  // w = 1 + 2^-22 is divided.
  const KMMATRIX beyond = CoordMatrix(1.0f + std::ldexp(1.0f, -22));
  KMVec3TransformCoord(&out, &v, &beyond);
  EXPECT_LT(out.x, 3.5f);
  EXPECT_FLOAT_EQ(out.x, 3.5f);
  // w = 2 halves every component.
  const KMMATRIX two = CoordMatrix(2.0f);
  KMVec3TransformCoord(&out, &v, &two);
  EXPECT_TRUE(SameBits(out, KMVECTOR3(1.75f, 2, 4.5f)));
  // w from the point itself (fourth column (1, 0, 0, 0)): x = 4 divides by 4.
  KMMATRIX projective = Identity();
  projective._14 = 1.0f;
  projective._44 = 0.0f;
  const KMVECTOR3 p(4, 8, 2);
  KMVec3TransformCoord(&out, &p, &projective);
  EXPECT_TRUE(SameBits(out, KMVECTOR3(1, 2, 0.5f)));
  // The 2-D form follows the same rule.
  const KMVECTOR2 v2(3, 5);
  KMVECTOR2 out2;
  KMVec2TransformCoord(&out2, &v2, &up);
  EXPECT_TRUE(SameBits(out2, KMVECTOR2(3.5f, 4)));
  KMVec2TransformCoord(&out2, &v2, &two);
  EXPECT_TRUE(SameBits(out2, KMVECTOR2(1.75f, 2)));
}

TEST(VectorTransformCoord, ZeroWIsNotCaught) {
  KMMATRIX m = Identity();
  m._44 = 0.0f;
  const KMVECTOR3 v(1, -1, 0);
  KMVECTOR3 out;
  EXPECT_EQ(KMVec3TransformCoord(&out, &v, &m), &out);
  EXPECT_EQ(out.x, std::numeric_limits<float>::infinity());
  EXPECT_EQ(out.y, -std::numeric_limits<float>::infinity());
  EXPECT_TRUE(std::isnan(out.z));
  const KMVECTOR2 v2(2, 0);
  KMVECTOR2 out2;
  KMVec2TransformCoord(&out2, &v2, &m);
  EXPECT_EQ(out2.x, std::numeric_limits<float>::infinity());
  EXPECT_TRUE(std::isnan(out2.y));
}

// ---- Array forms ------------------------------------------------------------

// One array form with the matching single operation, driven on raw bytes.
struct ArrayForm {
  const char* name;
  std::size_t in_size;
  std::size_t out_size;
  void* (*array)(void* out, std::uint32_t out_stride, const void* in, std::uint32_t in_stride,
                 const KMMATRIX* m, std::uint32_t n);
  void (*single)(void* out, const void* in, const KMMATRIX* m);
};

template <typename Out, typename In,
          Out* (*Array)(Out*, std::uint32_t, const In*, std::uint32_t, const KMMATRIX*,
                        std::uint32_t),
          Out* (*Single)(Out*, const In*, const KMMATRIX*)>
ArrayForm MakeForm(const char* name) {
  return ArrayForm{name, sizeof(In), sizeof(Out),
                   [](void* out, std::uint32_t os, const void* in, std::uint32_t is,
                      const KMMATRIX* m, std::uint32_t n) -> void* {
                     return Array(static_cast<Out*>(out), os, static_cast<const In*>(in), is, m, n);
                   },
                   [](void* out, const void* in, const KMMATRIX* m) {
                     In v;
                     Out r;
                     std::memcpy(&v, in, sizeof v);
                     Single(&r, &v, m);
                     std::memcpy(out, &r, sizeof r);
                   }};
}

std::vector<ArrayForm> ArrayForms() {
  return {
      MakeForm<KMVECTOR4, KMVECTOR2, KMVec2TransformArray, KMVec2Transform>("Vec2Transform"),
      MakeForm<KMVECTOR2, KMVECTOR2, KMVec2TransformCoordArray, KMVec2TransformCoord>(
          "Vec2TransformCoord"),
      MakeForm<KMVECTOR2, KMVECTOR2, KMVec2TransformNormalArray, KMVec2TransformNormal>(
          "Vec2TransformNormal"),
      MakeForm<KMVECTOR4, KMVECTOR3, KMVec3TransformArray, KMVec3Transform>("Vec3Transform"),
      MakeForm<KMVECTOR3, KMVECTOR3, KMVec3TransformCoordArray, KMVec3TransformCoord>(
          "Vec3TransformCoord"),
      MakeForm<KMVECTOR3, KMVECTOR3, KMVec3TransformNormalArray, KMVec3TransformNormal>(
          "Vec3TransformNormal"),
      MakeForm<KMVECTOR4, KMVECTOR4, KMVec4TransformArray, KMVec4Transform>("Vec4Transform"),
      MakeForm<KMPLANE, KMPLANE, KMPlaneTransformArray, KMPlaneTransform>("PlaneTransform"),
  };
}

// A projective matrix, so that the coordinate forms really divide.
KMMATRIX ArrayMatrix() {
  std::mt19937 rng(11);
  KMMATRIX m = RandomMatrix(rng, 4);
  m._14 = 0.25f;
  m._24 = -0.125f;
  m._34 = 0.5f;
  m._44 = 3.0f;
  return m;
}

std::vector<unsigned char> Pattern(std::size_t size) {
  std::vector<unsigned char> bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<unsigned char>(0xA5 ^ (i * 7));
  return bytes;
}

void FillFloats(unsigned char* at, std::size_t size, float first) {
  for (std::size_t k = 0; k < size / sizeof(float); ++k) {
    const float value = first + 0.5f * static_cast<float>(k);
    std::memcpy(at + k * sizeof(float), &value, sizeof value);
  }
}

TEST(VectorTransformArray, CountZeroWritesNothing) {
  const KMMATRIX m = ArrayMatrix();
  for (const ArrayForm& form : ArrayForms()) {
    std::vector<unsigned char> out = Pattern(64);
    const std::vector<unsigned char> before = out;
    const std::vector<unsigned char> in = Pattern(64);
    EXPECT_EQ(form.array(out.data(), 16, in.data(), 16, &m, 0), out.data()) << form.name;
    EXPECT_EQ(out, before) << form.name;
  }
}

TEST(VectorTransformArray, InterleavedVerticesKeepTheirOtherBytes) {
  // Vertices of 32 bytes: the input at byte 0, the output at byte 16 of the
  // same vertex; every other byte must survive.
  constexpr std::uint32_t kStride = 32;
  constexpr std::uint32_t kCount = 5;
  constexpr std::size_t kOutOffset = 16;
  const KMMATRIX m = ArrayMatrix();
  for (const ArrayForm& form : ArrayForms()) {
    std::vector<unsigned char> vertices = Pattern(kStride * kCount);
    for (std::uint32_t i = 0; i < kCount; ++i) {
      FillFloats(&vertices[i * kStride], form.in_size, static_cast<float>(i) - 1.75f);
    }
    const std::vector<unsigned char> before = vertices;
    unsigned char* out_base = &vertices[kOutOffset];

    EXPECT_EQ(form.array(out_base, kStride, vertices.data(), kStride, &m, kCount), out_base)
        << form.name;

    for (std::size_t b = 0; b < vertices.size(); ++b) {
      const bool written = b >= kOutOffset && (b - kOutOffset) % kStride < form.out_size;
      if (!written) {
        ASSERT_EQ(vertices[b], before[b]) << form.name << ": byte " << b << " was touched";
      }
    }
    for (std::uint32_t i = 0; i < kCount; ++i) {
      unsigned char expected[16];
      form.single(expected, &before[i * kStride], &m);
      EXPECT_EQ(std::memcmp(&vertices[kOutOffset + i * kStride], expected, form.out_size), 0)
          << form.name << ": element " << i;
    }
  }
}

TEST(VectorTransformArray, InPlaceMatchesSeparateOutput) {
  constexpr std::uint32_t kCount = 7;
  const KMMATRIX m = ArrayMatrix();
  for (const ArrayForm& form : ArrayForms()) {
    // Equal strides large enough for the wider of input and output element.
    const std::uint32_t stride = static_cast<std::uint32_t>(std::max(form.in_size, form.out_size));
    std::vector<unsigned char> data(stride * kCount);
    for (std::uint32_t i = 0; i < kCount; ++i) {
      FillFloats(&data[i * stride], stride, 0.25f * static_cast<float>(i) - 0.5f);
    }
    std::vector<unsigned char> separate(stride * kCount);
    form.array(separate.data(), stride, data.data(), stride, &m, kCount);
    form.array(data.data(), stride, data.data(), stride, &m, kCount);
    for (std::uint32_t i = 0; i < kCount; ++i) {
      EXPECT_EQ(std::memcmp(&data[i * stride], &separate[i * stride], form.out_size), 0)
          << form.name << ": element " << i;
    }
  }
}

TEST(VectorTransformArray, ZeroInputStrideRepeatsOneElement) {
  const KMMATRIX m = ArrayMatrix();
  const KMVECTOR3 v(1, 2, 3);
  KMVECTOR3 out[3];
  KMVECTOR3 single;
  KMVec3TransformCoordArray(out, sizeof(KMVECTOR3), &v, 0, &m, 3);
  KMVec3TransformCoord(&single, &v, &m);
  for (const KMVECTOR3& o : out) EXPECT_TRUE(SameBits(o, single));
}

// ---- Four-dimensional cross product -------------------------------------------

double Dot4(const KMVECTOR4& a, const KMVECTOR4& b) {
  return double{a.x} * b.x + double{a.y} * b.y + double{a.z} * b.z + double{a.w} * b.w;
}

TEST(VectorCross4, BasisVectors) {
  const KMVECTOR4 e1(1, 0, 0, 0), e2(0, 1, 0, 0), e3(0, 0, 1, 0);
  KMVECTOR4 out;
  EXPECT_EQ(KMVec4Cross(&out, &e1, &e2, &e3), &out);
  EXPECT_TRUE(SameBits(out, KMVECTOR4(0, 0, 0, -1)));
  // Swapping two inputs flips the sign.
  KMVec4Cross(&out, &e2, &e1, &e3);
  EXPECT_TRUE(SameBits(out, KMVECTOR4(0, 0, 0, 1)));
}

TEST(VectorCross4, OrthogonalToAllInputsAndAliasSafe) {
  std::mt19937 rng(3);
  std::uniform_real_distribution<float> dist(-5.0f, 5.0f);
  for (int trial = 0; trial < 200; ++trial) {
    KMVECTOR4 v[3];
    for (KMVECTOR4& x : v) x = KMVECTOR4(dist(rng), dist(rng), dist(rng), dist(rng));
    KMVECTOR4 out;
    KMVec4Cross(&out, &v[0], &v[1], &v[2]);
    const double out_len = std::sqrt(Dot4(out, out));
    for (const KMVECTOR4& x : v) {
      const double scale = out_len * std::sqrt(Dot4(x, x));
      EXPECT_LE(std::fabs(Dot4(out, x)), 1e-5 * scale) << "trial " << trial;
    }
    // out may be any of the inputs.
    for (int k = 0; k < 3; ++k) {
      KMVECTOR4 w[3] = {v[0], v[1], v[2]};
      KMVec4Cross(&w[k], &w[0], &w[1], &w[2]);
      EXPECT_TRUE(SameBits(w[k], out)) << "aliasing input " << k;
    }
  }
}

// ---- Splines and barycentric combination ------------------------------------

template <typename V>
using Spline = V* (*)(V*, const V*, const V*, const V*, const V*, float);

// Hermite passes through its first and third arguments, Catmull-Rom through
// its second and third; p1 and p2 double as tangents, so a swapped weight shows.
template <typename V>
void ExpectSplineEndPoints(Spline<V> hermite, Spline<V> catmull_rom, const V& p0, const V& p1,
                           const V& p2, const V& p3) {
  V out;
  EXPECT_TRUE(SameBits(*hermite(&out, &p0, &p1, &p2, &p3, 0.0f), p0));
  EXPECT_TRUE(SameBits(*hermite(&out, &p0, &p1, &p2, &p3, 1.0f), p2));
  EXPECT_TRUE(SameBits(*catmull_rom(&out, &p0, &p1, &p2, &p3, 0.0f), p1));
  EXPECT_TRUE(SameBits(*catmull_rom(&out, &p0, &p1, &p2, &p3, 1.0f), p2));
}

TEST(VectorSpline, EndPoints) {
  ExpectSplineEndPoints<KMVECTOR2>(KMVec2Hermite, KMVec2CatmullRom, KMVECTOR2(1.1f, -2),
                                   KMVECTOR2(3, 4.7f), KMVECTOR2(-5.3f, 6), KMVECTOR2(7, 8.9f));
  ExpectSplineEndPoints<KMVECTOR3>(KMVec3Hermite, KMVec3CatmullRom, KMVECTOR3(1.1f, -2, 0.3f),
                                   KMVECTOR3(3, 4.7f, -1), KMVECTOR3(-5.3f, 6, 2.2f),
                                   KMVECTOR3(7, 8.9f, -9));
  ExpectSplineEndPoints<KMVECTOR4>(KMVec4Hermite, KMVec4CatmullRom, KMVECTOR4(1.1f, -2, 0.3f, 4),
                                   KMVECTOR4(3, 4.7f, -1, 0.1f), KMVECTOR4(-5.3f, 6, 2.2f, -8),
                                   KMVECTOR4(7, 8.9f, -9, 1.5f));
}

TEST(VectorSpline, Midpoints) {
  // At s = 1/2 the Hermite weights are 1/2, 1/8, 1/2, -1/8 (V1, T1, V2, T2)
  // and the Catmull-Rom weights -1/16, 9/16, 9/16, -1/16.
  const KMVECTOR3 a(16, 0, 0), b(0, 16, 0), c(0, 0, 16), d(16, 16, 16);
  KMVECTOR3 out;
  KMVec3Hermite(&out, &a, &b, &c, &d, 0.5f);
  EXPECT_TRUE(SameBits(out, KMVECTOR3(8 - 2, 2 - 2, 8 - 2)));
  KMVec3CatmullRom(&out, &a, &b, &c, &d, 0.5f);
  EXPECT_TRUE(SameBits(out, KMVECTOR3(-1 - 1, 9 - 1, 9 - 1)));
  // Aliasing: out may be an input.
  KMVECTOR3 alias = b;
  KMVec3CatmullRom(&alias, &a, &alias, &c, &d, 0.5f);
  EXPECT_TRUE(SameBits(alias, out));
}

TEST(VectorBaryCentric, CornersAndInterior) {
  const KMVECTOR4 v1(1, 2, 3, 4), v2(-4, 0.5f, 9, 1), v3(7, -3, 0.25f, 2);
  KMVECTOR4 out;
  KMVec4BaryCentric(&out, &v1, &v2, &v3, 0, 0);
  EXPECT_TRUE(SameBits(out, v1));
  KMVec4BaryCentric(&out, &v1, &v2, &v3, 1, 0);
  EXPECT_TRUE(SameBits(out, v2));
  KMVec4BaryCentric(&out, &v1, &v2, &v3, 0, 1);
  EXPECT_TRUE(SameBits(out, v3));
  const KMVECTOR2 a(0, 0), b(4, 0), c(0, 8);
  KMVECTOR2 out2;
  KMVec2BaryCentric(&out2, &a, &b, &c, 0.25f, 0.5f);
  EXPECT_TRUE(SameBits(out2, KMVECTOR2(1, 4)));
  KMVECTOR3 p(1, 1, 1);
  const KMVECTOR3 q(3, 1, 1), r(1, 5, 1);
  KMVec3BaryCentric(&p, &p, &q, &r, 0.5f, 0.5f);
  EXPECT_TRUE(SameBits(p, KMVECTOR3(2, 3, 1)));
}

// ---- Record operators --------------------------------------------------------

TEST(VectorRecords, OperatorsWorkComponentwise) {
  KMVECTOR3 a(2, 4, 8);
  const KMVECTOR3 b(1, 1, 10);
  EXPECT_TRUE(SameBits(a - b, KMVECTOR3(1, 3, -2)));
  EXPECT_TRUE(SameBits(a / 4.0f, KMVECTOR3(0.5f, 1, 2)));
  EXPECT_EQ(&(a /= 2.0f), &a);
  EXPECT_TRUE(SameBits(a, KMVECTOR3(1, 2, 4)));
  // Division multiplies by one reciprocal: 1/3 rounded first.
  const KMVECTOR2 third = KMVECTOR2(3, 6) / 3.0f;
  EXPECT_EQ(third.x, 3.0f * (1.0f / 3.0f));
  KMVECTOR4 c(1, 2, 3, 4);
  c /= 0.5f;
  EXPECT_TRUE(SameBits(c, KMVECTOR4(2, 4, 6, 8)));
  float* p = c;
  const float* cp = static_cast<const KMVECTOR4&>(c);
  EXPECT_EQ(p, &c.x);
  EXPECT_EQ(cp[3], 8.0f);
}

}  // namespace
