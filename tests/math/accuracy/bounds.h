// The bound that holds for one slot of one family: the family's own list
// (its registry row, math/dispatch/family_bounds.h), else that of the family
// whose function the slot holds, else, for a composite left to the
// reference, that of the family it builds on, down to the reference, which
// bounds every slot.
#pragma once

namespace kubik::accuracy {

double BoundOf(const char* family, unsigned slot);

// The family whose list gives that bound.
const char* BoundSourceOf(const char* family, unsigned slot);

}  // namespace kubik::accuracy
