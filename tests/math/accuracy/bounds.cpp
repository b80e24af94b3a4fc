#include "tests/math/accuracy/bounds.h"

#include <cstring>
#include <map>
#include <string>

#include "math/cpu/registry.h"
#include "math/reference/bounds.h"
#include "tests/math/accuracy/measure.h"
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

const OperationTable& TableOf(const ImplementationFamily& family) {
  static std::map<std::string, OperationTable> tables;
  auto [entry, added] = tables.try_emplace(family.name);
  if (added) {
    const ProcessorProbe* processor = accuracy::MeasuringProcessorFor(family);
    family.install(entry->second, processor ? *processor : RealProcessor());
  }
  return entry->second;
}

// The family whose own function the slot of `family`'s table holds (the
// last of them in the registry: a family that reuses another's function
// lists it among its own slots too).
const char* OwnerOf(const ImplementationFamily& family, unsigned slot) {
  const void* address = TableOf(family).Address(slot);
  const char* owner = nullptr;
  for (const ImplementationFamily& candidate : ImplementationFamilies()) {
    bool fills = false;
    for (Slot s : candidate.slots) fills = fills || static_cast<unsigned>(s) == slot;
    // The reference's functions are the composites' too: they go down the
    // chain of the families they call into.
    if (std::strcmp(candidate.name, "reference") == 0) continue;
    if (fills && Own(candidate.name, slot) && TableOf(candidate).Address(slot) == address) {
      owner = candidate.name;
    }
  }
  return owner;
}

// The family's own bound; else that of the family whose function the slot
// holds; else, for a composite the family leaves to the reference, down the
// chain of families each builds on (the conformance data names it; a
// family not listed there builds on the x87-tuned set) to the reference.
Found Find(const char* family, unsigned slot) {
  if (const SlotBound* bound = Own(family, slot)) return {family, bound->units};
  if (const ImplementationFamily* registered = FindImplementationFamily(family)) {
    if (const char* owner = OwnerOf(*registered, slot)) return {owner, Own(owner, slot)->units};
  }
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
