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
      all.push_back({&family, slot});
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

// Every function a family installs has a bound from a family that fills
// that slot (the family itself, or the one whose function it reuses), not
// one inherited from elsewhere; and no bound is below what correct rounding
// reads.
TEST(Bounds, EveryFunctionAFamilyInstallsIsBoundedByItsOwner) {
  for (const ImplementationFamily& family : ImplementationFamilies()) {
    OperationTable table;
    family.install(table, RealProcessor());
    for (Slot slot : family.slots) {
      const auto s = static_cast<unsigned>(slot);
      if (table.Address(s) == ReferenceTable().Address(s)) continue;
      const ImplementationFamily* source = FindImplementationFamily(BoundSourceOf(family.name, s));
      ASSERT_NE(source, nullptr);
      OperationTable source_table;
      source->install(source_table, RealProcessor());
      EXPECT_EQ(source_table.Address(s), table.Address(s))
          << family.name << " " << SlotName(s) << ": its bound comes from " << source->name
          << ", whose function it is not";
    }
    // Below one unit only where results are compared bit for bit.
    for (const SlotBound& bound : family.bounds) {
      const bool exact =
          bound.slot == Slot::KMFloat32To16Array || bound.slot == Slot::KMFloat16To32Array;
      EXPECT_GE(bound.units, exact ? 0 : 1)
          << family.name << " " << SlotName(static_cast<unsigned>(bound.slot));
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
