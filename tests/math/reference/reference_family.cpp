// These tests check the reference code through the public entries, so the
// process table is bound to the reference family on every processor (the
// SIMD families differ from it in documented ways).
#include <cstdlib>

namespace {

const bool kReferenceFamilyForced = [] {
  setenv("KUBIK_MATH_FAMILY", "reference", 1);
  return true;
}();

}  // namespace
