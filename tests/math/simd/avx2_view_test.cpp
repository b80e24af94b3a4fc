// The AVX2 family's view builders against the portable ones: the same bits
// for every input. Where two NaNs meet in the portable look-at's sums, which
// one survives is up to the compiler's operand order (the release build keeps
// the first, as the AVX2 builder does), so there any NaN matches any NaN.
#include <gtest/gtest.h>
#include <kubik/kmath.h>

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

TEST(Avx2View, LookAtMatchesThePortableBuilder) {
  if (!RunsAvx2()) GTEST_SKIP() << "the processor does not run the AVX2 family";
  // Zeros, units, infinities, NaNs of both signs with two payloads, a
  // denormal and large and small magnitudes: degenerate and NaN-carrying
  // cameras as well as ordinary ones.
  const std::uint32_t specials[] = {0x00000000u, 0x80000000u, 0x3F800000u, 0xBF800000u, 0x40400000u,
                                    0x7F800000u, 0xFF800000u, 0x7FC00000u, 0xFFC00000u, 0x7FC12345u,
                                    0xFF812345u, 0x00000001u, 0x7149F2CAu, 0x0DA24260u};
  std::mt19937 rng(23);
  auto component = [&](bool special) {
    if (special) return FromBits(specials[rng() % std::size(specials)]);
    // Any sign, exponents across 2^-40..2^40.
    const std::uint32_t r = rng();
    return FromBits((r & 0x807FFFFFu) | ((87u + (rng() % 81u)) << 23));
  };
  KMVECTOR3 unit(1, 2, 3);
  KMVec3Normalize(&unit, &unit);  // binds the process table
  kubik::OperationTable& table = kubik::ProcessOperationTable();
  const auto installed = table.Get<Slot::KMVec3Normalize>();
  for (int i = 0; i < 200000; ++i) {
    const bool special = i % 2 == 0;
    KMVECTOR3 v[3];
    for (KMVECTOR3& p : v)
      p = KMVECTOR3(component(special), component(special), component(special));
    if (i % 7 == 0) v[1] = v[0];  // the eye at the target
    for (bool right_handed : {false, true}) {
      auto build = right_handed ? &KMMatrixLookAtRH : &KMMatrixLookAtLH;
      KMMATRIX fast, portable;
      table.Set<Slot::KMVec3Normalize>(&kubik::avx2::KMVec3Normalize);
      build(&fast, &v[0], &v[1], &v[2]);
      table.Set<Slot::KMVec3Normalize>(&ForwardedAvx2Normalize);
      build(&portable, &v[0], &v[1], &v[2]);
      ASSERT_TRUE(SameBitsOrBothNaN(fast, portable))
          << "case " << i << (right_handed ? " RH" : " LH") << std::hexfloat << " eye " << v[0].x
          << " " << v[0].y << " " << v[0].z << " at " << v[1].x << " " << v[1].y << " " << v[1].z
          << " up " << v[2].x << " " << v[2].y << " " << v[2].z;
    }
  }
  table.Set<Slot::KMVec3Normalize>(installed);
}

// Every field of view whose half angle the polynomial takes, and beyond.
TEST(Avx2View, PerspectiveFovMatchesThePortableBuilderBitForBit) {
  if (!RunsAvx2()) GTEST_SKIP() << "the processor does not run the AVX2 family";
  std::mt19937 rng(29);
  for (std::uint32_t bits = 0x21000000u; bits < 0x7F800000u; bits += 1009) {
    const float fovy = FromBits(bits), aspect = FromBits(0x3E000000u + (rng() & 0x01FFFFFFu));
    for (bool right_handed : {false, true}) {
      KMMATRIX fast, portable;
      kubik::avx2::PerspectiveFov(&fast, fovy, aspect, 0.25f, 400.0f, right_handed);
      kubik::view::PerspectiveFov<kubik::view::SeparateMultiplyAdd>(&portable, fovy, aspect, 0.25f,
                                                                    400.0f, right_handed);
      ASSERT_EQ(std::memcmp(&fast, &portable, sizeof fast), 0) << std::hexfloat << fovy;
    }
  }
}

}  // namespace
