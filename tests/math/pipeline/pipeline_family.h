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

  // The family reads the influence entries as the reference does (-0.0 is
  // bone 0 with weight 0); the SSE families end a run at any sign bit.
  bool ReferenceBlend() const {
    const std::string name = GetParam();
    return name != "sse" && name != "sse2";
  }
  // Reference results are rounded once from double; the SIMD families round
  // in single precision and divide by w through a refined estimate.
  float Tolerance() const { return std::string(GetParam()) == "reference" ? 1e-7f : 2e-6f; }

  OperationTable table_;
};

inline std::string FamilyName(const ::testing::TestParamInfo<const char*>& info) {
  return info.param;
}

}  // namespace kubik::testing

#define KUBIK_PIPELINE_FAMILIES(suite)                                                      \
  INSTANTIATE_TEST_SUITE_P(Families, suite,                                                 \
                           ::testing::Values("reference", "sse", "sse2", "avx2", "avx512"), \
                           ::kubik::testing::FamilyName)
