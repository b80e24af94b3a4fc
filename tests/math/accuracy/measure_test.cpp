// The measure itself: magnitudes, the error units, and that every slot has
// cases and an exact result.
#include "tests/math/accuracy/measure.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "math/cpu/selection.h"
#include "math/simd/x87/family.h"
#include "tests/math/accuracy/tracked.h"

namespace kubik::accuracy {
namespace {

TEST(Tracked, DotProductMagnitudeIsTheSumOfAbsoluteProducts) {
  const Tracked a[4] = {1.5L, 2, 3, 4}, b[4] = {1, -0.75L, 1e-3L, 2e-3L};
  Tracked sum = a[0] * b[0];
  for (int i = 1; i < 4; ++i) sum += a[i] * b[i];
  EXPECT_NEAR(static_cast<double>(sum.value), 0.011, 1e-15);
  EXPECT_NEAR(static_cast<double>(sum.magnitude), 3.011, 1e-15);
}

TEST(Tracked, QuotientAndRootCarryRelativeMagnitudes) {
  // x / y with both exact inputs: |x/y| (x's rounding) + |x/y| (y's).
  const Tracked q = Tracked(3) / Tracked(4);
  EXPECT_DOUBLE_EQ(static_cast<double>(q.magnitude), 1.5);
  // sqrt(4) with 4 exact: |f'(x)| |x| + |f(x)| = 1 + 2.
  EXPECT_DOUBLE_EQ(static_cast<double>(Sqrt(Tracked(4)).magnitude), 3.0);
  // Never below the value's size, so correct rounding reads at most 1 unit.
  const Tracked s = Sin(Tracked(1e4L));
  EXPECT_GE(s.magnitude, std::fabs(s.value));
}

TEST(ErrorOf, CorrectRoundingReadsAtMostOneUnitAndCancellationDoesNotInflateIt) {
  // A component of value 0.011 formed from terms of total size 3.011: an
  // error of 3e-7 is about 1.7 units, not hundreds.
  const ExactOutputs exact{{0.011L, 3.011L, true}};
  const Error error = ErrorOf(exact, {static_cast<float>(0.011 + 3e-7)});
  EXPECT_NEAR(error.units, 3e-7 / (0x1p-24 * 3.011), 0.05);
  const ExactOutputs exact_one{{1.0L / 3, 1.0L / 3, true}};
  EXPECT_LE(ErrorOf(exact_one, {1.0f / 3}).units, 1.0);
}

TEST(ErrorOf, NonFiniteResultsUnwrittenOutputsAndWrongConstants) {
  EXPECT_TRUE(std::isinf(ErrorOf({{1, 1, true}}, {NAN}).units));
  // Padding is not a result, and an exact value beyond float range is not compared.
  EXPECT_EQ(ErrorOf({{1, 1, false}, {1e300L, 1e300L, true}}, {NAN, INFINITY}).units, 0);
  // A constant of the result (magnitude 0) is judged in its own last place.
  EXPECT_EQ(ErrorOf({{0, 0, true}}, {0.0f}).units, 0);
  EXPECT_GT(ErrorOf({{0, 0, true}}, {1e-30f}).units, 1e6);
}

// Every slot has cases of both kinds, runs, and has an exact result on most
// of them: the reference, which rounds once from double, reads a few units
// at most, and the relative column stays small on well-conditioned inputs.
class EverySlot : public ::testing::TestWithParam<unsigned> {
 protected:
  void TearDown() override { ResetSelectionForTesting(); }
};

TEST_P(EverySlot, ReferenceIsNearlyExact) {
  const SlotFigures figures = MeasureSlot(GetParam(), ReferenceTable(), "reference", 40);
  EXPECT_GT(figures.measured, 40u) << figures.without_result << " without a result";
  EXPECT_LE(figures.units, 16) << figures.worst;
  EXPECT_LT(figures.relative, 1e-3) << figures.worst;
}

std::vector<unsigned> ListedSlots() {
  std::vector<unsigned> slots;
  for (unsigned slot = 0; slot < kSlotCount; ++slot) {
    slots.push_back(slot);
  }
  return slots;
}

INSTANTIATE_TEST_SUITE_P(Measure, EverySlot, ::testing::ValuesIn(ListedSlots()),
                         [](const ::testing::TestParamInfo<unsigned>& info) {
                           return std::string(SlotName(info.param));
                         });

// A planted error the measure must see: a product that drops one term.
KMMATRIX* ProductMissingATerm(KMMATRIX* out, const KMMATRIX* a, const KMMATRIX* b) {
  ReferenceTable().Get<Slot::KMMatrixMultiply>()(out, a, b);
  out->_11 -= a->_14 * b->_41;
  return out;
}

TEST(MeasureSlot, SeesAWrongKernelAndASlightlyWrongOne) {
  OperationTable table;
  table.CopyFrom(ReferenceTable());
  table.Set<Slot::KMMatrixMultiply>(&ProductMissingATerm);
  const auto slot = static_cast<unsigned>(Slot::KMMatrixMultiply);
  EXPECT_GT(MeasureSlot(slot, table, nullptr, 50).units, 1e4);
  // The tuned normalise's table (1.5e-6 relative) reads several units, the
  // reference's well under one.
  table.CopyFrom(ReferenceTable());
  x87::Install(table);
  const auto normalise = static_cast<unsigned>(Slot::KMVec3Normalize);
  EXPECT_GT(MeasureSlot(normalise, table, nullptr, 200).units, 4);
  EXPECT_LT(MeasureSlot(normalise, ReferenceTable(), nullptr, 200).units, 1);
  ResetSelectionForTesting();
}

TEST(ErrorOf, RelativeErrorIsTheRecordsLargestErrorOverItsLargestComponent) {
  // 2^-23 off at 0.5 in a record whose largest component is 10.
  const ExactOutputs exact{{10, 10, true}, {0.5L, 0.5L, true}};
  const Error error = ErrorOf(exact, {10.0f, 0.5f + 0x1p-23f});
  EXPECT_DOUBLE_EQ(error.relative, 0x1p-23 / 10);
  EXPECT_DOUBLE_EQ(error.units, 4);  // 2^-23 in units of 2^-24 x 0.5
  EXPECT_EQ(error.worst_output, 1u);
}

TEST(MeasureSlot, CountsCasesOutsideTheFamilysDocumentedDomain) {
  // The SSE plane builder is documented to differ where the points' normal
  // cancels; the reference documents nothing.
  const auto slot = static_cast<unsigned>(Slot::KMPlaneFromPoints);
  OperationTable sse;
  FindImplementationFamily("sse")->install(sse, RealProcessor());
  const SlotFigures figures = MeasureSlot(slot, sse, "sse", 200);
  EXPECT_GT(figures.outside_domain, 0u);
  EXPECT_GT(figures.measured, 100u);
  EXPECT_EQ(MeasureSlot(slot, ReferenceTable(), "reference", 200).outside_domain, 0u);
  ResetSelectionForTesting();
}

TEST(MeasuringProcessor, ThisOneWhereTheFamilyRunsASimulatedOneForThePortable3DNow) {
  EXPECT_EQ(MeasuringProcessorFor(*FindImplementationFamily("reference")), &RealProcessor());
  const ImplementationFamily& amd = *FindImplementationFamily("3dnow");
  const ProcessorProbe* processor = MeasuringProcessorFor(amd);
  ASSERT_NE(processor, nullptr);
  EXPECT_TRUE(amd.can_run(*processor));
}

TEST(SuggestedBound, LeavesAQuarterOfRoomOnANiceStep) {
  EXPECT_EQ(SuggestedBound(0), 1);
  EXPECT_EQ(SuggestedBound(0.99), 1.5);
  EXPECT_EQ(SuggestedBound(3.2), 4);
  EXPECT_EQ(SuggestedBound(10), 16);
  EXPECT_TRUE(std::isinf(SuggestedBound(INFINITY)));
}

}  // namespace
}  // namespace kubik::accuracy
