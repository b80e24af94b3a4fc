// What each family may differ by from the reference, listed once per family.
#include <cstring>

#include "tests/math/conformance/conformance.h"

namespace kubik::conformance {
namespace {

// The reference against itself: bit for bit.
constexpr Tolerance kExact{0, 0};

// The x87-tuned set rounds the same exact products once, summed in another
// order at 64-bit precision instead of 53: one unit apart at most, except
// under cancellation deeper than double precision reaches.
constexpr Tolerance kX87{1, 0x1p-40};

// Single-precision SIMD arithmetic: a few roundings per component, and
// cancellation measured against the record's largest component.
constexpr Tolerance kSinglePrecision{4, 0x1p-21};

constexpr FamilyConformance kFamilies[] = {
    {"reference", kExact, {}},
    {"x87", kX87, {}},
    {"sse", kSinglePrecision, {}, "x87"},
    {"sse2", kSinglePrecision, {}, "x87"},
    {"3dnow", kSinglePrecision, {}, "x87"},
};

}  // namespace

const FamilyConformance& ConformanceOf(const char* family) {
  for (const FamilyConformance& entry : kFamilies) {
    if (std::strcmp(entry.family, family) == 0) return entry;
  }
  static constexpr FamilyConformance kUnlisted{"unlisted", kSinglePrecision, {}, "x87"};
  return kUnlisted;
}

std::span<const FamilyConformance> ListedConformance() {
  return kFamilies;
}

}  // namespace kubik::conformance
