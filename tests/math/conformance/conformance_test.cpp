// Every family that can run here, slot by slot, against the reference.
#include "tests/math/conformance/conformance.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "math/cpu/selection.h"
#include "math/reference/reference.h"
#include "tests/math/family_test_support.h"

namespace {

using kubik::ImplementationFamily;
using kubik::OperationTable;
using kubik::Slot;
using kubik::conformance::CheckSlot;
using kubik::conformance::ConformanceOf;
using kubik::conformance::SlotReport;

struct FamilySlot {
  const ImplementationFamily* family;
  unsigned slot;
};

void PrintTo(const FamilySlot& value, std::ostream* out) {
  *out << value.family->name << " " << kubik::SlotName(value.slot);
}

std::vector<FamilySlot> EveryFamilyAndSlot() {
  std::vector<FamilySlot> all;
  for (const ImplementationFamily* family : kubik::testing::RunnableFamilies()) {
    for (unsigned slot = 0; slot < kubik::kSlotCount; ++slot) {
      if (kubik::conformance::HarnessCoversSlot(slot)) {
        all.push_back({family, slot});
      }
    }
  }
  return all;
}

class Conformance : public ::testing::TestWithParam<FamilySlot> {
 protected:
  // The checks rebind the process table; leave it as a fresh process has it.
  void TearDown() override { kubik::ResetSelectionForTesting(); }
};

TEST_P(Conformance, AgreesWithReference) {
  const ImplementationFamily& family = *GetParam().family;
  OperationTable table;
  family.install(table, kubik::testing::Tested());
  const SlotReport report = CheckSlot(GetParam().slot, table, ConformanceOf(family.name));
  EXPECT_EQ(report.failures, 0u) << report.failures << " of " << report.cases
                                 << " cases differ; first: " << report.first_failure;
  EXPECT_GT(report.cases, 20u);
}

INSTANTIATE_TEST_SUITE_P(EveryFamily, Conformance, ::testing::ValuesIn(EveryFamilyAndSlot()),
                         [](const ::testing::TestParamInfo<FamilySlot>& info) {
                           return std::string(info.param.family->name) + "_" +
                                  kubik::SlotName(info.param.slot);
                         });

// ---- The checks catch faults -------------------------------------------------

class ConformanceCheck : public ::testing::Test {
 protected:
  void SetUp() override {
    kubik::FindImplementationFamily("x87")->install(table_, kubik::RealProcessor());
  }
  void TearDown() override { kubik::ResetSelectionForTesting(); }

  SlotReport CheckMultiply() {
    return CheckSlot(static_cast<unsigned>(Slot::KMMatrixMultiply), table_, ConformanceOf("x87"));
  }

  OperationTable table_;
};

// The factors swapped: a plausible slip that the edge inputs alone may miss.
KMMATRIX* MultiplyInWrongOrder(KMMATRIX* out, const KMMATRIX* m1, const KMMATRIX* m2) {
  return kubik::reference::KMMatrixMultiply(out, m2, m1);
}

// Right when the output is separate, wrong when it is an input.
KMMATRIX* MultiplyIgnoringAliasing(KMMATRIX* out, const KMMATRIX* m1, const KMMATRIX* m2) {
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) {
      double sum = 0;
      for (int k = 0; k < 4; ++k) sum += static_cast<double>(m1->m[i][k]) * m2->m[k][j];
      out->m[i][j] = static_cast<float>(sum);
    }
  }
  return out;
}

// Off by a few units in the last place: beyond the x87 tolerance.
KMMATRIX* MultiplySloppily(KMMATRIX* out, const KMMATRIX* m1, const KMMATRIX* m2) {
  kubik::reference::KMMatrixMultiply(out, m1, m2);
  for (float& element : out->m[2]) element = std::nextafter(std::nextafter(element, 0.0f), 0.0f);
  return out;
}

KMMATRIX* MultiplyReturningAnInput(KMMATRIX* out, const KMMATRIX* m1, const KMMATRIX* m2) {
  kubik::reference::KMMatrixMultiply(out, m1, m2);
  return const_cast<KMMATRIX*>(m1);
}

TEST_F(ConformanceCheck, PassesTheInstalledTable) {
  const SlotReport report = CheckMultiply();
  EXPECT_EQ(report.failures, 0u) << report.first_failure;
}

TEST_F(ConformanceCheck, FailsASlotWiredToTheWrongFunction) {
  table_.Set<Slot::KMMatrixMultiply>(&MultiplyInWrongOrder);
  const SlotReport report = CheckMultiply();
  EXPECT_GT(report.failures, 100u);
  EXPECT_NE(report.first_failure.find("KMMatrixMultiply"), std::string::npos)
      << report.first_failure;
}

TEST_F(ConformanceCheck, FailsTheAliasedCasesOfAnAliasUnsafeFunction) {
  table_.Set<Slot::KMMatrixMultiply>(&MultiplyIgnoringAliasing);
  const SlotReport report = CheckMultiply();
  EXPECT_GT(report.failures, 0u);
  EXPECT_NE(report.first_failure.find(", output is "), std::string::npos) << report.first_failure;
}

TEST_F(ConformanceCheck, FailsResultsJustOutsideTheTolerance) {
  table_.Set<Slot::KMMatrixMultiply>(&MultiplySloppily);
  EXPECT_GT(CheckMultiply().failures, 100u);
}

TEST_F(ConformanceCheck, FailsAWrongReturnedPointer) {
  table_.Set<Slot::KMMatrixMultiply>(&MultiplyReturningAnInput);
  const SlotReport report = CheckMultiply();
  EXPECT_GT(report.failures, 0u);
  EXPECT_NE(report.first_failure.find("returned parameter 1"), std::string::npos)
      << report.first_failure;
}

// ---- The family data ----------------------------------------------------------

TEST(ConformanceData, EveryRegisteredFamilyHasItsEntry) {
  for (const ImplementationFamily& family : kubik::ImplementationFamilies()) {
    EXPECT_STREQ(ConformanceOf(family.name).family, family.name);
  }
}

}  // namespace
