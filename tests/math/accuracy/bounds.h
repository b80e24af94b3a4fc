// Every family's accepted error per operation (the lists beside the
// families' slot lists, math/dispatch/family_bounds.h), and the bound that
// holds for one slot of one family.
#pragma once

#include <optional>
#include <span>

#include "math/dispatch/family_bounds.h"

namespace kubik::accuracy {

struct FamilyBounds {
  const char* family;
  std::span<const SlotBound> bounds;
};
std::span<const FamilyBounds> ListedBounds();

// The family's own bound for the slot, else that of the family it builds on,
// down to the reference, which bounds every slot.
double BoundOf(const char* family, unsigned slot);

// The family whose list gives that bound.
const char* BoundSourceOf(const char* family, unsigned slot);

}  // namespace kubik::accuracy
