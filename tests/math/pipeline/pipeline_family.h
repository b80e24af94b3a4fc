// The pipeline tests run once per family that fills slots 69 and 70, with the
// process table bound to that family so that the blend's inner transforms are
// the family's too.
#pragma once

#include <gtest/gtest.h>
#include <kubik/kmath.h>

#include <string>

#include "math/cpu/selection.h"
#include "math/dispatch/operation_table.h"
#include "math/reference/reference.h"

namespace kubik::testing {

class PipelineFamily : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    const ImplementationFamily* family = FindImplementationFamily(GetParam());
    ASSERT_NE(family, nullptr);
    if (!family->can_run(RealProcessor())) GTEST_SKIP() << GetParam() << " cannot run here";
    family->install(table_, RealProcessor());
    ProcessOperationTable().CopyFrom(table_);
  }

  // -0.0 in the influence stream is bone 0 with weight 0, as in the
  // reference; only the SSE families' blend ends the run at any set sign bit.
  bool NegativeZeroIsAnInfluence() const {
    const std::string name = GetParam();
    return name != "sse" && name != "sse2";
  }
  // Reference results are rounded once from double; the SIMD families round
  // in single precision (the SSE families divide by w through a refined
  // estimate).
  float Tolerance() const { return std::string(GetParam()) == "reference" ? 1e-7f : 2e-6f; }

  OperationTable table_;
};

inline std::string FamilyName(const ::testing::TestParamInfo<const char*>& info) {
  return info.param;
}

}  // namespace kubik::testing

// The families with pipeline functions of their own, on this processor architecture.
#if defined(__x86_64__)
#define KUBIK_PIPELINE_FAMILY_NAMES "reference", "sse", "sse2"
#else
#define KUBIK_PIPELINE_FAMILY_NAMES "reference", "neon"
#endif

#define KUBIK_PIPELINE_FAMILIES(suite)                                                      \
  INSTANTIATE_TEST_SUITE_P(Families, suite, ::testing::Values(KUBIK_PIPELINE_FAMILY_NAMES), \
                           ::kubik::testing::FamilyName)
