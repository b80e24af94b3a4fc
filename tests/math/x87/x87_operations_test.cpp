// The x87-tuned operations: summation order, alias-aware loop orders and the
// slots the installer fills.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "math/cpu/installers.h"
#include "math/dispatch/operation_table.h"
#include "math/reference/reference.h"
#include "math/simd/x87/x87.h"

namespace {

using kubik::OperationTable;
using kubik::Slot;

KMMATRIX RandomMatrix(std::mt19937& random) {
  std::uniform_real_distribution<float> value(-8.0f, 8.0f);
  KMMATRIX m;
  for (auto& row : m.m) {
    for (float& element : row) element = value(random);
  }
  return m;
}

bool SameBits(const KMMATRIX& a, const KMMATRIX& b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

TEST(X87MatrixMultiply, AgreesWithReferenceWithinOneUlp) {
  std::mt19937 random(3);
  for (int n = 0; n < 200; ++n) {
    const KMMATRIX a = RandomMatrix(random), b = RandomMatrix(random);
    KMMATRIX tuned, reference;
    EXPECT_EQ(kubik::x87::KMMatrixMultiply(&tuned, &a, &b), &tuned);
    kubik::reference::KMMatrixMultiply(&reference, &a, &b);
    for (int i = 0; i < 16; ++i) {
      const float t = (&tuned._11)[i], r = (&reference._11)[i];
      EXPECT_LE(std::fabs(t - r), std::fabs(std::nextafter(r, 2 * r + 1) - r)) << n << " " << i;
    }
  }
}

// Products 1 and 3 are added first: 2^60 and -2^60 cancel exactly and the
// small products survive, where a left-to-right sum would lose the 1.
TEST(X87MatrixMultiply, PairsProductsOneAndThree) {
  KMMATRIX a{}, b{};
  a._11 = 0x1p30f, a._12 = 1.0f, a._13 = -0x1p30f, a._14 = 0x1p-35f;
  b._11 = 0x1p30f, b._21 = 1.0f, b._31 = 0x1p30f, b._41 = 0x1p-35f;
  KMMATRIX out;
  kubik::x87::KMMatrixMultiply(&out, &a, &b);
  EXPECT_EQ(out._11, 1.0f);
}

TEST(X87MatrixMultiply, EveryAliasingGivesTheSeparateResult) {
  std::mt19937 random(5);
  for (int n = 0; n < 50; ++n) {
    const KMMATRIX a = RandomMatrix(random), b = RandomMatrix(random);
    KMMATRIX separate;
    kubik::x87::KMMatrixMultiply(&separate, &a, &b);

    KMMATRIX out_is_m1 = a;
    EXPECT_EQ(kubik::x87::KMMatrixMultiply(&out_is_m1, &out_is_m1, &b), &out_is_m1);
    EXPECT_TRUE(SameBits(out_is_m1, separate));

    KMMATRIX out_is_m2 = b;
    EXPECT_EQ(kubik::x87::KMMatrixMultiply(&out_is_m2, &a, &out_is_m2), &out_is_m2);
    EXPECT_TRUE(SameBits(out_is_m2, separate));

    KMMATRIX square, squared_in_place = a;
    kubik::x87::KMMatrixMultiply(&square, &a, &a);
    kubik::x87::KMMatrixMultiply(&squared_in_place, &squared_in_place, &squared_in_place);
    EXPECT_TRUE(SameBits(squared_in_place, square));
  }
}

TEST(InstallX87TunedSet, FillsTheTunedSlotsAndLeavesTheOthers) {
  OperationTable table;
  table.CopyFrom(kubik::ReferenceTable());
  kubik::InstallX87TunedSet(table);
  EXPECT_EQ(table.Get<Slot::KMMatrixMultiply>(), &kubik::x87::KMMatrixMultiply);
  EXPECT_EQ(table.Get<Slot::KMMatrixTranslation>(), &kubik::reference::KMMatrixTranslation);
  EXPECT_EQ(table.Get<Slot::KMMatrixRotationYawPitchRoll>(),
            &kubik::reference::KMMatrixRotationYawPitchRoll);
}

}  // namespace
