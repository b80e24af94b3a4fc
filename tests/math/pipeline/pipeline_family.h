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

  // -0.0 in the influence stream is bone 0 with weight 0 in every family but
  // the SSE ones, which end a run at any sign bit.
  bool NegativeZeroIsAnInfluence() const { return !Is("sse") && !Is("sse2"); }
  // Reference results are rounded once from double; the other families round
  // in single precision or divide by w through a refined estimate.
  float Tolerance() const { return Is("reference") ? 1e-7f : 2e-6f; }
};

}  // namespace kubik::testing
