#include "tests/math/accuracy/bounds.h"

#include <cstring>

#include "math/cpu/registry.h"
#include "math/reference/bounds.h"
#include "tests/math/conformance/conformance.h"

namespace kubik::accuracy {
namespace {

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
  const ImplementationFamily* registered = FindImplementationFamily(family);
  if (!registered) return nullptr;
  for (const SlotBound& bound : registered->bounds) {
    if (static_cast<unsigned>(bound.slot) == slot) return &bound;
  }
  return nullptr;
}

struct Found {
  const char* family;
  double units;
};

// Down the chain of families each builds on (the conformance data names
// it; a family not listed there builds on the x87-tuned set).
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

double BoundOf(const char* family, unsigned slot) {
  return Find(family, slot).units;
}

const char* BoundSourceOf(const char* family, unsigned slot) {
  return Find(family, slot).family;
}

}  // namespace kubik::accuracy
