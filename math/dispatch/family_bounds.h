// The accuracy a family promises, as data beside its slot list:
//
//   #define KUBIK_SSE2_BOUNDS(X) X(KMMatrixMultiply, 4) X(KMMatrixInverse, 24) ...
//
// Each entry is the largest error the family accepts for the operation, in
// units of 2^-24 times the magnitude that rounding can reach while forming
// each output (for a dot product, the sum of the absolute products; the
// measure is defined once, in tests/math/accuracy). A family lists every slot
// it fills and every composite its functions make less exact; any other slot
// holds the bound of the family it builds on. The conformance suite asserts
// these bounds and the accuracy program prints them beside what it measures,
// so the published table and the tests cannot disagree.
#pragma once

#include <span>

#include "math/dispatch/operation_table.h"

namespace kubik {

struct SlotBound {
  Slot slot;
  double units;
};

}  // namespace kubik

// Inside the family namespace: `kBounds` lists the bounds of `LIST`.
#define KUBIK_SLOT_BOUND_VALUE(name, units) ::kubik::SlotBound{::kubik::Slot::name, units},
#define KUBIK_DEFINE_FAMILY_BOUNDS(LIST)                                              \
  inline constexpr ::kubik::SlotBound kBoundArray[] = {LIST(KUBIK_SLOT_BOUND_VALUE)}; \
  inline constexpr std::span<const ::kubik::SlotBound> kBounds{kBoundArray};
