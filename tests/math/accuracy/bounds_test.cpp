// Every family that runs here, slot by slot, within the bound its list
// gives (math/dispatch/family_bounds.h), on the conformance harness's
// random cases and on well-conditioned ones.
#include "tests/math/accuracy/bounds.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "math/cpu/registry.h"
#include "math/cpu/selection.h"
#include "tests/math/accuracy/measure.h"

namespace kubik::accuracy {
namespace {

struct FamilySlot {
  const ImplementationFamily* family;
  unsigned slot;
};

void PrintTo(const FamilySlot& value, std::ostream* out) {
  *out << value.family->name << " " << SlotName(value.slot);
}

std::vector<FamilySlot> EveryFamilyAndSlot() {
  std::vector<FamilySlot> all;
  for (const ImplementationFamily& family : ImplementationFamilies()) {
    for (unsigned slot = 0; slot < kSlotCount; ++slot) {
      if (IsListedSlot(slot)) all.push_back({&family, slot});
    }
  }
  return all;
}

class ConformanceBounds : public ::testing::TestWithParam<FamilySlot> {
 protected:
  void TearDown() override { ResetSelectionForTesting(); }
};

TEST_P(ConformanceBounds, WithinTheFamilysBound) {
  const ImplementationFamily& family = *GetParam().family;
  const ProcessorProbe* processor = MeasuringProcessorFor(family);
  if (!processor) GTEST_SKIP() << family.name << " cannot run here";
  OperationTable table;
  family.install(table, *processor);
  const unsigned slot = GetParam().slot;
  const SlotFigures figures = MeasureSlot(slot, table, family.name, 150, 3);
  if (figures.measured == 0) {
    GTEST_SKIP() << "every case lies outside the family's documented domain ("
                 << figures.outside_domain << ") or has no result (" << figures.without_result
                 << ")";
  }
  const double bound = BoundOf(family.name, slot);
  EXPECT_LE(figures.units, bound) << "bound from " << BoundSourceOf(family.name, slot)
                                  << "'s list; worst " << figures.worst;
}

INSTANTIATE_TEST_SUITE_P(EveryFamily, ConformanceBounds, ::testing::ValuesIn(EveryFamilyAndSlot()),
                         [](const ::testing::TestParamInfo<FamilySlot>& info) {
                           return std::string(info.param.family->name) + "_" +
                                  SlotName(info.param.slot);
                         });

// Every family lists a bound for every slot it fills, and no bound below
// what correct rounding reads.
TEST(Bounds, EveryFamilyBoundsTheSlotsItFills) {
  for (const ImplementationFamily& family : ImplementationFamilies()) {
    for (Slot slot : family.slots) {
      bool listed = false;
      for (const SlotBound& bound : family.bounds) listed = listed || bound.slot == slot;
      EXPECT_TRUE(listed) << family.name << " fills " << SlotName(static_cast<unsigned>(slot))
                          << " but lists no bound for it";
    }
    for (const SlotBound& bound : family.bounds) {
      EXPECT_GE(bound.units, 1) << family.name << " "
                                << SlotName(static_cast<unsigned>(bound.slot));
    }
  }
}

TEST(Bounds, AFamilyWithoutItsOwnEntryHoldsItsBaseFamilysBound) {
  // The SSE family leaves the quaternion slerp to the reference.
  const auto slerp = static_cast<unsigned>(Slot::KMQuaternionSlerp);
  EXPECT_EQ(BoundOf("sse", slerp), BoundOf("reference", slerp));
  EXPECT_STREQ(BoundSourceOf("sse", slerp), "reference");
  const auto normalise = static_cast<unsigned>(Slot::KMVec3Normalize);
  EXPECT_STREQ(BoundSourceOf("x87", normalise), "x87");
  EXPECT_GT(BoundOf("x87", normalise), BoundOf("reference", normalise));
}

}  // namespace
}  // namespace kubik::accuracy
