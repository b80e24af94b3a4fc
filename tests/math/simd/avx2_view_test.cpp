// The AVX2 family's view builders against the portable ones: the
// field-of-view builder gives the same bits for every input, look-at stays
// within its bound and leaves the cameras it does not take to the portable
// builder unchanged. Where two NaNs meet in the portable look-at's sums,
// which one survives is up to the compiler's operand order, so there any NaN
// matches any NaN.
#include <gtest/gtest.h>
#include <kubik/kmath.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>

#include "math/cpu/processor.h"
#include "math/dispatch/operation_table.h"
#include "math/reference/perspective_fov.h"
#include "math/simd/avx2/family.h"
#include "math/simd/avx2/view.h"

namespace {

using kubik::Slot;

bool RunsAvx2() {
  return (kubik::QueryVectorExtensions(kubik::RealProcessor()) & kubik::kVectorAvx2) != 0;
}

// The AVX2 normaliser behind another address, so that look-at takes its
// portable path with the same normaliser.
KMVECTOR3* ForwardedAvx2Normalize(KMVECTOR3* out, const KMVECTOR3* v) {
  return kubik::avx2::KMVec3Normalize(out, v);
}

// Stands for the portable builder: the cameras the AVX2 builder leaves to it
// come back as null, the matrix untouched.
KMMATRIX* LeaveToPortable(KMMATRIX*, const KMVECTOR3*, const KMVECTOR3*, const KMVECTOR3*, bool) {
  return nullptr;
}

float FromBits(std::uint32_t bits) {
  float f;
  std::memcpy(&f, &bits, sizeof f);
  return f;
}

bool SameBitsOrBothNaN(const KMMATRIX& a, const KMMATRIX& b) {
  for (int i = 0; i < 16; ++i) {
    const float x = a.m[i / 4][i % 4], y = b.m[i / 4][i % 4];
    if (std::memcmp(&x, &y, sizeof x) != 0 && !(std::isnan(x) && std::isnan(y))) return false;
  }
  return true;
}

// |a x b| / (|a| |b|), in double.
double SineBetween(const KMVECTOR3& a, const KMVECTOR3& b) {
  const double cx = double{a.y} * b.z - double{a.z} * b.y;
  const double cy = double{a.z} * b.x - double{a.x} * b.z;
  const double cz = double{a.x} * b.y - double{a.y} * b.x;
  const double la = std::hypot(double{a.x}, double{a.y}, double{a.z});
  const double lb = std::hypot(double{b.x}, double{b.y}, double{b.z});
  return std::hypot(cx, cy, cz) / (la * lb);
}

TEST(Avx2View, LookAtStaysWithinItsBoundOrLeavesTheCameraToThePortableBuilder) {
  if (!RunsAvx2()) GTEST_SKIP() << "the processor does not run the AVX2 family";
  // Zeros, units, infinities, NaNs of both signs with two payloads, a
  // denormal and large and small magnitudes: degenerate and NaN-carrying
  // cameras as well as ordinary ones.
  const std::uint32_t specials[] = {0x00000000u, 0x80000000u, 0x3F800000u, 0xBF800000u, 0x40400000u,
                                    0x7F800000u, 0xFF800000u, 0x7FC00000u, 0xFFC00000u, 0x7FC12345u,
                                    0xFF812345u, 0x00000001u, 0x7149F2CAu, 0x0DA24260u};
  std::mt19937 rng(23);
  // Kind 0: the special values; 1: any sign, exponents across 2^-40..2^40;
  // 2: scene scales, exponents across 2^-10..2^10.
  auto component = [&](int kind) {
    if (kind == 0) return FromBits(specials[rng() % std::size(specials)]);
    const std::uint32_t low = kind == 1 ? 87u : 117u, count = kind == 1 ? 81u : 21u;
    return FromBits((rng() & 0x807FFFFFu) | ((low + rng() % count) << 23));
  };
  KMVECTOR3 unit(1, 2, 3);
  KMVec3Normalize(&unit, &unit);  // binds the process table
  kubik::OperationTable& table = kubik::ProcessOperationTable();
  const auto installed = table.Get<Slot::KMVec3Normalize>();
  table.Set<Slot::KMVec3Normalize>(&ForwardedAvx2Normalize);
  int fast_cameras = 0;
  for (int i = 0; i < 200000; ++i) {
    const int kind = i % 3;
    KMVECTOR3 v[3];
    for (KMVECTOR3& p : v) p = KMVECTOR3(component(kind), component(kind), component(kind));
    if (i % 7 == 0) v[1] = v[0];  // the eye at the target
    for (bool right_handed : {false, true}) {
      auto build = right_handed ? &KMMatrixLookAtRH : &KMMatrixLookAtLH;
      KMMATRIX fast, portable;
      std::memset(&fast, 0x5A, sizeof fast);
      const KMMATRIX untouched = fast;
      build(&portable, &v[0], &v[1], &v[2]);
      const KMMATRIX* built =
          kubik::avx2::LookAt(&fast, &v[0], &v[1], &v[2], right_handed, LeaveToPortable);
      SCOPED_TRACE(::testing::Message()
                   << "case " << i << (right_handed ? " RH" : " LH") << std::hexfloat << " eye "
                   << v[0].x << " " << v[0].y << " " << v[0].z << " at " << v[1].x << " " << v[1].y
                   << " " << v[1].z << " up " << v[2].x << " " << v[2].y << " " << v[2].z);
      if (built == nullptr) {
        ASSERT_EQ(std::memcmp(&fast, &untouched, sizeof fast), 0);
        table.Set<Slot::KMVec3Normalize>(&kubik::avx2::KMVec3Normalize);
        build(&fast, &v[0], &v[1], &v[2]);
        table.Set<Slot::KMVec3Normalize>(&ForwardedAvx2Normalize);
        ASSERT_TRUE(SameBitsOrBothNaN(fast, portable));
        continue;
      }
      ++fast_cameras;
      const KMVECTOR3 forward(v[1].x - v[0].x, v[1].y - v[0].y, v[1].z - v[0].z);
      const double sine = SineBetween(v[2], forward);
      const double eye_sum = std::fabs(v[0].x) + std::fabs(v[0].y) + std::fabs(v[0].z);
      for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
          const double unit_error = std::max((r == 3 ? eye_sum : 1.0) * 0x1p-24 / sine, 0x1p-149);
          const double error = std::fabs(double{fast.m[r][c]} - portable.m[r][c]) / unit_error;
          if (c == 2 && r < 3) {
            ASSERT_EQ(fast.m[r][c], portable.m[r][c]);  // the forward axis
          }
          ASSERT_LE(error, kubik::avx2::kLookAtBound) << "element " << r << c;
        }
      }
    }
  }
  table.Set<Slot::KMVec3Normalize>(installed);
  EXPECT_GT(fast_cameras, 100000) << "cameras the fast builder took";
}

// Every field of view whose half angle the polynomial takes, and beyond.
TEST(Avx2View, PerspectiveFovMatchesThePortableBuilderBitForBit) {
  if (!RunsAvx2()) GTEST_SKIP() << "the processor does not run the AVX2 family";
  std::mt19937 rng(29);
  for (std::uint32_t bits = 0x21000000u; bits < 0x7F800000u; bits += 1009) {
    const float fovy = FromBits(bits), aspect = FromBits(0x3E000000u + (rng() & 0x01FFFFFFu));
    for (bool right_handed : {false, true}) {
      KMMATRIX fast, portable;
      (right_handed ? kubik::avx2::PerspectiveFovRH : kubik::avx2::PerspectiveFovLH)(
          &fast, fovy, aspect, 0.25f, 400.0f);
      kubik::view::PerspectiveFov<kubik::view::SeparateMultiplyAdd>(&portable, fovy, aspect, 0.25f,
                                                                    400.0f, right_handed);
      ASSERT_EQ(std::memcmp(&fast, &portable, sizeof fast), 0) << std::hexfloat << fovy;
    }
  }
}

}  // namespace
