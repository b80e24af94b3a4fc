// The 3DNow! family's three groups. Built twice: on the portable pair form
// (this processor) and with the 3DNow! instructions (run under an emulated
// 3DNow! processor); the tests that need the portable form's own estimates
// or the library's selection exist only in the first.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "math/cpu/installers.h"
#include "math/cpu/selection.h"
#include "math/reference/reference.h"
#include "math/simd/amd/family.h"
#include "math/simd/x87/family.h"
#include "platform/settings/settings_store.h"
#include "tests/math/conformance/conformance.h"

namespace {

using namespace kubik;
namespace form = kubik::amd::form;

// Fills `table` as on a processor with every group: reference, x87, the
// base set, the extended overrides and the AMD SSE arrays. `extended` =
// false leaves the base versions of slots 15, 18, 24 and 38.
void FillFamilyTable(OperationTable& table, bool extended) {
  table.CopyFrom(ReferenceTable());
  x87::Install(table);
  form::Install(table);
  if (extended) form::extended::Install(table);
  amd::sse_arrays::Install(table);
}

struct FamilyTables {
  FamilyTables() {
    FillFamilyTable(base, false);
    FillFamilyTable(full, true);
  }
  OperationTable base, full;
};

const FamilyTables& Tables() {
  static const FamilyTables tables;
  return tables;
}

const OperationTable& Full() {
  return Tables().full;
}

const OperationTable& BaseOnly() {
  return Tables().base;
}

// ---- Conformance ----------------------------------------------------------------

struct GroupSlot {
  const char* group;
  unsigned slot;
  bool extended_table;
};

bool Contains(std::span<const Slot> slots, unsigned slot) {
  return std::find(slots.begin(), slots.end(), static_cast<Slot>(slot)) != slots.end();
}

std::vector<GroupSlot> GroupSlots() {
  std::vector<GroupSlot> all;
  for (Slot slot : form::kSlots) all.push_back({"base", static_cast<unsigned>(slot), false});
  for (Slot slot : form::extended::kSlots) {
    all.push_back({"extended", static_cast<unsigned>(slot), true});
  }
  for (Slot slot : amd::sse_arrays::kSlots) {
    all.push_back({"arrays", static_cast<unsigned>(slot), true});
  }
  // Reference operations that reach the family through the public entries.
  for (unsigned slot = 0; slot < kSlotCount; ++slot) {
    if (!Contains(form::kSlots, slot) && !Contains(amd::sse_arrays::kSlots, slot) &&
        conformance::HarnessCoversSlot(slot)) {
      all.push_back({"composite", slot, true});
    }
  }
  return all;
}

class GroupConformance : public ::testing::TestWithParam<GroupSlot> {
 protected:
  void TearDown() override { ResetSelectionForTesting(); }
};

TEST_P(GroupConformance, AgreesWithReference) {
  const GroupSlot& p = GetParam();
  const conformance::SlotReport report = conformance::CheckSlot(
      p.slot, p.extended_table ? Full() : BaseOnly(), conformance::ConformanceOf("3dnow"));
  EXPECT_EQ(report.failures, 0u) << report.failures << " of " << report.cases
                                 << " cases differ; first: " << report.first_failure;
  EXPECT_GT(report.cases, 20u);
}

INSTANTIATE_TEST_SUITE_P(Groups, GroupConformance, ::testing::ValuesIn(GroupSlots()),
                         [](const ::testing::TestParamInfo<GroupSlot>& info) {
                           return std::string(info.param.group) + "_" + SlotName(info.param.slot);
                         });

// ---- Documented differences -------------------------------------------------------

KMQUATERNION Slerp(const KMQUATERNION& a, const KMQUATERNION& b, float t,
                   const OperationTable& table) {
  KMQUATERNION out;
  table.Get<Slot::KMQuaternionSlerp>()(&out, &a, &b, t);
  return out;
}

TEST(Differences, SlerpKeepsLinearWeightsAboveTheThreshold) {
  // Unit quaternions with a dot product just above 0.99999 (the float
  // 0.99999 is the threshold itself), where the reference still slerps.
  const float c = 0.999995f, s = std::sqrt(1.0f - c * c);
  const KMQUATERNION a(0, 0, 0, 1), b(s, 0, 0, c);
  const float t = 0.3f;
  const KMQUATERNION got = Slerp(a, b, t, Full());
  EXPECT_FLOAT_EQ(got.x, t * b.x);
  EXPECT_FLOAT_EQ(got.w, (1 - t) + t * c);
  // The reference interpolates on the arc there: a longer vector.
  const KMQUATERNION arc = Slerp(a, b, t, ReferenceTable());
  EXPECT_GT(arc.x * arc.x + arc.w * arc.w, got.x * got.x + got.w * got.w + 1e-7f);
  // With a negative dot product t = 1 gives -q2.
  const KMQUATERNION negated = Slerp(a, KMQUATERNION(0.6f, 0, 0, -0.8f), 1.0f, Full());
  EXPECT_NEAR(negated.x, -0.6f, 1e-6);
  EXPECT_NEAR(negated.w, 0.8f, 1e-6);
}

TEST(Differences, QuaternionInverseGuardIsTheSmallestNormalFloat) {
  KMQUATERNION out;
  // Squared length 1e-20: below the reference's 2^-63, above FLT_MIN.
  const KMQUATERNION small(1e-10f, 0, 0, 0);
  Full().Get<Slot::KMQuaternionInverse>()(&out, &small);
  EXPECT_NEAR(out.x, -1e10f, 1e4f);
  reference::KMQuaternionInverse(&out, &small);
  EXPECT_EQ(out.x, 0.0f);
  // Not above the smallest normal float: zero for both.
  const KMQUATERNION tiny(1e-20f, 0, 0, 0);
  Full().Get<Slot::KMQuaternionInverse>()(&out, &tiny);
  EXPECT_EQ(out.x, 0.0f);
  EXPECT_EQ(out.w, 0.0f);
}

TEST(Differences, PlaneIntersectLineDoesNotTestThatTIsFinite) {
  const KMPLANE plane(1, 0, 0, 3e38f);
  const KMVECTOR3 v1(1e-3f, 0, 0), v2(0, 0, 0);
  KMVECTOR3 out(5, 5, 5);
  EXPECT_EQ(reference::KMPlaneIntersectLine(&out, &plane, &v1, &v2), nullptr);
  EXPECT_EQ(Full().Get<Slot::KMPlaneIntersectLine>()(&out, &plane, &v1, &v2), &out);
  EXPECT_FALSE(std::isfinite(out.x));
  // A zero denominator still fails and leaves out alone.
  const KMVECTOR3 parallel(1e-3f, 7, 0);
  out = KMVECTOR3(5, 5, 5);
  EXPECT_EQ(Full().Get<Slot::KMPlaneIntersectLine>()(&out, &plane, &v1, &parallel), nullptr);
  EXPECT_EQ(out.x, 5.0f);
}

std::uint16_t ToHalf(const OperationTable& table, float f, std::uint32_t n) {
  std::vector<float> in(n, f);
  std::vector<KMFLOAT16> out(n);
  table.Get<Slot::KMFloat32To16Array>()(out.data(), in.data(), n);
  return out[n - 1].value;
}

TEST(Differences, HalfConversionRoundsSubnormalHalvesTwice) {
  // Subnormal halves: the float addition may round first, one unit off.
  int off_by_one = 0;
  for (std::uint32_t bits = 0; bits <= 0x38800000u; bits += 997) {
    const float f = std::bit_cast<float>(bits);
    const int got = ToHalf(Full(), f, 4), want = ToHalf(ReferenceTable(), f, 1);
    ASSERT_LE(std::abs(got - want), 1) << std::hex << bits;
    off_by_one += got != want;
  }
  EXPECT_GT(off_by_one, 0);
  // Everywhere above, and in both signs, exactly the reference.
  for (std::uint32_t bits = 0x38800000u; bits < 0x80000000u; bits += 65521) {
    for (std::uint32_t sign : {0u, 0x80000000u}) {
      const float f = std::bit_cast<float>(bits | sign);
      ASSERT_EQ(ToHalf(Full(), f, 5), ToHalf(ReferenceTable(), f, 1)) << std::hex << bits;
    }
  }
}

TEST(Half, EdgeValuesForEveryBlockShape) {
  for (std::uint32_t n : {1u, 3u, 4u, 7u}) {
    EXPECT_EQ(ToHalf(Full(), 65504.0f, n), 0x7bff);
    EXPECT_EQ(ToHalf(Full(), 65536.0f, n), 0x7c00);
    EXPECT_EQ(ToHalf(Full(), 131008.0f, n), 0x7fff);
    EXPECT_EQ(ToHalf(Full(), 200000.0f, n), 0x7fff);
  }
}

TEST(Half, EveryHalfConvertsAsTheReference) {
  std::vector<KMFLOAT16> halves(65536);
  for (std::uint32_t h = 0; h < 65536; ++h) halves[h].value = static_cast<std::uint16_t>(h);
  std::vector<float> want(65536), got(65536);
  reference::KMFloat16To32Array(want.data(), halves.data(), 65536);
  // 65536 = 4 * 16384; offsets 1..3 leave a final partial block.
  for (std::uint32_t offset : {0u, 1u, 3u}) {
    const std::uint32_t n = 65536 - offset;
    Full().Get<Slot::KMFloat16To32Array>()(got.data(), halves.data() + offset, n);
    for (std::uint32_t i = 0; i < n; ++i) {
      ASSERT_EQ(std::bit_cast<std::uint32_t>(got[i]),
                std::bit_cast<std::uint32_t>(want[i + offset]))
          << std::hex << halves[i + offset].value;
    }
  }
  for (std::uint32_t n : {3u, 4u, 7u}) {
    const KMFLOAT16 some[7] = {{0x0000}, {0x8000}, {0x0001}, {0x3c00},
                               {0x7bff}, {0x7c00}, {0xffff}};
    float out[7];
    Full().Get<Slot::KMFloat16To32Array>()(out, some, n);
    for (std::uint32_t i = 0; i < n; ++i) {
      EXPECT_EQ(std::bit_cast<std::uint32_t>(out[i]),
                std::bit_cast<std::uint32_t>(want[some[i].value]));
    }
  }
}

// ---- Told edge cases --------------------------------------------------------------

TEST(Edges, NormaliseGuardsAtTheSmallestNormalFloat) {
  const auto normalize = Full().Get<Slot::KMVec3Normalize>();
  KMVECTOR3 out;
  for (const KMVECTOR3& v : {KMVECTOR3(0, 0, 0), KMVECTOR3(1e-20f, 0, 0)}) {
    normalize(&out, &v);
    EXPECT_EQ(out.x, 0.0f);
    EXPECT_EQ(out.y, 0.0f);
    EXPECT_EQ(out.z, 0.0f);
  }
  const KMVECTOR3 v(3, 4, 0);
  normalize(&out, &v);
  EXPECT_NEAR(out.x, 0.6f, 0x1p-24);
  EXPECT_NEAR(out.y, 0.8f, 0x1p-24);
  EXPECT_EQ(out.z, 0.0f);
}

TEST(Edges, SingularInverseStoresZeroAndLeavesOutAlone) {
  for (bool extended : {false, true}) {
    const KMMATRIX singular(1, 2, 3, 4, 2, 4, 6, 8, 0, 1, 0, 1, 5, 0, 2, 1);
    KMMATRIX out(9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9);
    float determinant = 7;
    const OperationTable& table = extended ? Full() : BaseOnly();
    EXPECT_EQ(table.Get<Slot::KMMatrixInverse>()(&out, &determinant, &singular), nullptr);
    EXPECT_EQ(determinant, 0.0f);
    EXPECT_EQ(out._11, 9.0f);
    EXPECT_EQ(out._44, 9.0f);
  }
}

// Every element of an array holds what a one-element call gives for it,
// bit for bit, whatever the count and also in place.
TEST(Arrays, EveryElementHoldsTheSingleElementResult) {
  const KMMATRIX m(0.5f, 1, 2, 0.25f, -1, 3, 0.5f, 0.125f, 2, -2, 1, 0.5f, 1, 2, 3, 4);
  const auto transform = Full().Get<Slot::KMVec3TransformCoordArray>();
  for (std::uint32_t n : {3u, 5u, 7u, 8u}) {
    for (bool in_place : {false, true}) {
      std::vector<KMVECTOR3> in(n), out(n);
      for (std::uint32_t i = 0; i < n; ++i) in[i] = KMVECTOR3(0.1f * i, 1.5f - i, 0.3f + i);
      std::vector<KMVECTOR3> single(n);
      for (std::uint32_t i = 0; i < n; ++i) transform(&single[i], 12, &in[i], 12, &m, 1);
      KMVECTOR3* target = in_place ? in.data() : out.data();
      EXPECT_EQ(transform(target, 12, in.data(), 12, &m, n), target);
      for (std::uint32_t i = 0; i < n; ++i) {
        EXPECT_EQ(std::memcmp(&target[i], &single[i], sizeof(KMVECTOR3)), 0)
            << "n = " << n << (in_place ? " in place" : "") << ", element " << i;
      }
    }
  }
}

TEST(Arrays, ACountAboveTwoToThe31DoesNothing) {
  const KMMATRIX m(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1);
  KMVECTOR4 out(7, 7, 7, 7);
  const KMVECTOR3 in(1, 2, 3);
  Full().Get<Slot::KMVec3TransformArray>()(&out, 16, &in, 12, &m, 0x80000000u);
  EXPECT_EQ(out.x, 7.0f);
}

#if !KUBIK_AMD_NATIVE

// ---- The portable pair form ---------------------------------------------------------

int SignificantBits(float estimate) {
  // Trailing zero bits of the mantissa tell how many bits were kept.
  const std::uint32_t mantissa = std::bit_cast<std::uint32_t>(estimate) & 0x7fffffu;
  return mantissa == 0 ? 1 : 24 - std::countr_zero(mantissa);
}

TEST(PortablePairs, EstimatesKeepTheDocumentedBits) {
  int widest_reciprocal = 0, widest_sqrt = 0;
  double worst_reciprocal = 0, worst_sqrt = 0;
  for (float x = 0.001f; x < 1000.0f; x *= 1.0137f) {
    const float r = form::Lo(form::ReciprocalEstimate(form::Splat(x)));
    const float y = form::Lo(form::ReciprocalSqrtEstimate(form::Splat(x)));
    widest_reciprocal = std::max(widest_reciprocal, SignificantBits(r));
    widest_sqrt = std::max(widest_sqrt, SignificantBits(y));
    worst_reciprocal = std::max(worst_reciprocal, std::fabs(double{r} * x - 1));
    worst_sqrt = std::max(worst_sqrt, std::fabs(double{y} * std::sqrt(double{x}) - 1));
  }
  EXPECT_EQ(widest_reciprocal, form::kReciprocalEstimateBits);
  EXPECT_EQ(widest_sqrt, form::kReciprocalSqrtEstimateBits);
  EXPECT_LE(worst_reciprocal, 0x1p-14);
  EXPECT_LE(worst_sqrt, 0x1p-15);
  EXPECT_GT(worst_reciprocal, 0x1p-16);  // an estimate, not the exact value
}

TEST(PortablePairs, RefinementReachesSinglePrecision) {
  for (float x = 1e-30f; x < 1e30f; x *= 1.37f) {
    const float r = form::Lo(form::Reciprocal(form::Splat(x)));
    const float y = form::Lo(form::ReciprocalSqrt(form::Splat(x)));
    const float want_r = static_cast<float>(1.0 / x);
    const float want_y = static_cast<float>(1.0 / std::sqrt(double{x}));
    ASSERT_LE(std::fabs(r - want_r), std::nextafter(want_r, INFINITY) - want_r) << x;
    ASSERT_LE(std::fabs(y - want_y), std::nextafter(want_y, INFINITY) - want_y) << x;
  }
}

TEST(PortablePairs, StepsFollowTheInstructions) {
  using form::Lo;
  using form::Splat;
  // Step 1: 1 - a r; step 2: r + r e; square-root step 1: (1 - a r2) / 2.
  EXPECT_FLOAT_EQ(Lo(form::ReciprocalStep1(Splat(4), Splat(0.2f))), 0.2f);
  EXPECT_FLOAT_EQ(Lo(form::ReciprocalStep2(Splat(0.2f), Splat(0.2f))), 0.24f);
  EXPECT_FLOAT_EQ(Lo(form::ReciprocalSqrtStep1(Splat(4), Splat(0.2f))), 0.1f);
  // The estimates read the low lane only and fill both.
  const form::Pair r = form::ReciprocalEstimate(form::Make(4, 100));
  EXPECT_EQ(Lo(r), form::Hi(r));
  EXPECT_EQ(Lo(r), 0.25f);
}

// ---- Selection -----------------------------------------------------------------------

constexpr std::uint32_t kMmx = 1u << 23, kSse = 1u << 25, kSse2 = 1u << 26;
constexpr std::uint32_t k3DNow = 1u << 31, kExt3DNow = 1u << 30, kAmdMmx = 1u << 22;

SimulatedProcessor Processor(std::uint32_t leaf1_edx, std::uint32_t ext_edx, bool os_3dnow) {
  SimulatedProcessor p;
  p.Leaf(0, {1, 0, 0, 0}).Leaf(1, {0, 0, 0, leaf1_edx});
  p.Leaf(0x80000000u, {0x80000001u, 0, 0, 0}).Leaf(0x80000001u, {0, 0, 0, ext_edx});
  p.Os((leaf1_edx & kSse) != 0, os_3dnow);
  return p;
}

void Select(OperationTable& table, const SimulatedProcessor& processor) {
  Selector selector;
  selector.Select(table, processor, MapSettingsStore{});
}

TEST(Selection, InstallsTheGroupsTheProcessorAllows) {
  OperationTable full, base, arrays_only, no_sse, not_reported;
  Select(full, Processor(kMmx | kSse | kSse2, k3DNow | kExt3DNow | kAmdMmx, true));
  Select(base, Processor(kMmx | kSse, k3DNow, true));
  Select(arrays_only, Processor(kSse, k3DNow, true));
  Select(no_sse, Processor(kMmx, k3DNow | kExt3DNow | kAmdMmx, true));
  Select(not_reported, Processor(kMmx | kSse, k3DNow, false));
  for (unsigned slot = 0; slot < kSlotCount; ++slot) {
    const void* family = Full().Address(slot);
    if (family == ReferenceTable().Address(slot)) continue;
    const bool array = Contains(amd::sse_arrays::kSlots, slot);
    const bool in_base_set = Contains(form::kSlots, slot);
    const bool overridden = Contains(form::extended::kSlots, slot);
    EXPECT_EQ(full.Address(slot), family) << SlotName(slot);
    EXPECT_EQ(base.Address(slot) == family, (in_base_set && !overridden) || array)
        << SlotName(slot);
    EXPECT_EQ(base.Address(slot) == BaseOnly().Address(slot), in_base_set || array)
        << SlotName(slot);
    EXPECT_EQ(arrays_only.Address(slot) == family, array) << SlotName(slot);
    EXPECT_EQ(no_sse.Address(slot) == family, in_base_set) << SlotName(slot);
    EXPECT_NE(not_reported.Address(slot), family) << SlotName(slot);
  }
}

#endif  // !KUBIK_AMD_NATIVE

}  // namespace
