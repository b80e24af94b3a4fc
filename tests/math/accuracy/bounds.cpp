#include "tests/math/accuracy/bounds.h"

#include <cstring>

#include "math/reference/reference_bounds.h"
#include "math/simd/amd/amd_bounds.h"
#include "math/simd/sse/sse_bounds.h"
#include "math/simd/x87/x87_bounds.h"
#include "tests/math/conformance/conformance.h"

namespace kubik::accuracy {
namespace {

constexpr FamilyBounds kFamilies[] = {
    {"reference", reference::kBounds}, {"x87", x87::kBounds},   {"sse", sse::kBounds},
    {"sse2", sse2::kBounds},           {"3dnow", amd::kBounds},
};

// The reference bounds every slot, so every family has a bound everywhere.
constexpr bool ReferenceBoundsEverySlot() {
  bool listed[kSlotCount] = {};
  for (const SlotBound& bound : reference::kBounds)
    listed[static_cast<unsigned>(bound.slot)] = true;
#define KUBIK_BOUND_LISTED(slot, name, result, params, args) \
  if (!listed[slot]) return false;
  KUBIK_DISPATCHED_OPERATIONS(KUBIK_BOUND_LISTED)
#undef KUBIK_BOUND_LISTED
  return true;
}
static_assert(ReferenceBoundsEverySlot(), "the reference's bound list must name every slot");

const SlotBound* Own(const char* family, unsigned slot) {
  for (const FamilyBounds& entry : kFamilies) {
    if (std::strcmp(entry.family, family) != 0) continue;
    for (const SlotBound& bound : entry.bounds) {
      if (static_cast<unsigned>(bound.slot) == slot) return &bound;
    }
  }
  return nullptr;
}

struct Found {
  const char* family;
  double units;
};

Found Find(const char* family, unsigned slot) {
  for (const char* name = family; name;) {
    if (const SlotBound* bound = Own(name, slot)) return {name, bound->units};
    if (std::strcmp(name, "reference") == 0) break;
    const char* base = conformance::ConformanceOf(name).builds_on;
    name = base ? base : "reference";
  }
  const SlotBound* bound = Own("reference", slot);
  return {"reference", bound ? bound->units : 0};
}

}  // namespace

std::span<const FamilyBounds> ListedBounds() {
  return kFamilies;
}

double BoundOf(const char* family, unsigned slot) {
  return Find(family, slot).units;
}

const char* BoundSourceOf(const char* family, unsigned slot) {
  return Find(family, slot).family;
}

}  // namespace kubik::accuracy
