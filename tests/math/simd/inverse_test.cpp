// The 4 x 4 inverse of every family that divides by the determinant, at the
// edge of invertibility: a determinant whose reciprocal just overflows a
// float gives no inverse and leaves the output alone; the next larger one
// inverts to a finite matrix.
#include <gtest/gtest.h>
#include <kubik/kmath.h>

#include <bit>
#include <cmath>
#include <cstdint>

#include "tests/math/family_test_support.h"

namespace {

using kubik::Slot;
using kubik::testing::SameBits;

class Inverse : public kubik::testing::FamilyTest {};

KUBIK_FOR_EVERY_FAMILY(Inverse);

KMMATRIX Diagonal(float a, float b, float c, float d) {
  return KMMATRIX(a, 0, 0, 0, 0, b, 0, 0, 0, 0, c, 0, 0, 0, 0, d);
}

TEST_P(Inverse, DeterminantAtTheEdgeOfAFiniteReciprocal) {
  if (Is("sse") || Is("sse2") || Is("3dnow")) {
    GTEST_SKIP() << "an estimated reciprocal, whose edge lies elsewhere";
  }
  const auto inverse = table_.Get<Slot::KMMatrixInverse>();
  const float overflowing = std::bit_cast<float>(0x00200000u);  // 2^-128: 1/det rounds to infinity
  const float fitting = std::bit_cast<float>(0x00200001u);      // the next float up
  for (const float sign : {1.0f, -1.0f}) {
    for (const bool first : {true, false}) {
      SCOPED_TRACE(::testing::Message() << "sign " << sign << (first ? " first" : " last"));
      auto with = [&](float d) {
        return first ? Diagonal(sign * d, 1, 1, 1) : Diagonal(1, 1, 1, sign * d);
      };
      const KMMATRIX sentinel = Diagonal(7, 7, 7, 7);
      KMMATRIX out = sentinel;
      const KMMATRIX singular = with(overflowing);
      EXPECT_EQ(inverse(&out, nullptr, &singular), nullptr);
      EXPECT_TRUE(SameBits(out, sentinel));

      const KMMATRIX invertible = with(fitting);
      ASSERT_EQ(inverse(&out, nullptr, &invertible), &out);
      const float expected = sign / fitting;
      EXPECT_TRUE(std::isfinite(expected));
      EXPECT_NEAR(first ? out._11 : out._44, expected, std::fabs(expected) * 0x1p-20);
      EXPECT_EQ(first ? out._44 : out._11, 1.0f);
    }
  }
}

}  // namespace
