// The pipeline tests run once per family, with the process table bound to
// that family so that the blend's inner transforms are the family's too.
#pragma once

#include "math/reference/reference.h"
#include "tests/math/family_test_support.h"

namespace kubik::testing {

class PipelineFamily : public FamilyTest {
 protected:
  void SetUp() override {
    FamilyTest::SetUp();
    BindProcessTable();
  }

  // The family reads the influence entries as the reference does (-0.0 is
  // bone 0 with weight 0); the SSE families end a run at any sign bit.
  bool ReferenceBlend() const { return !Is("sse") && !Is("sse2"); }
  // Reference results are rounded once from double; the other families round
  // in single precision or divide by w through a refined estimate.
  float Tolerance() const { return Is("reference") ? 1e-7f : 2e-6f; }
};

}  // namespace kubik::testing
