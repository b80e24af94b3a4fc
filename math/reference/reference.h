// Reference implementations of the dispatched operations, one per slot,
// named after their operation inside kubik::reference.
#pragma once

#include "math/dispatch/operations.h"

namespace kubik::reference {

#define KUBIK_REFERENCE_DECLARATION(slot, name, result, params, args) result name params;
KUBIK_DISPATCHED_OPERATIONS(KUBIK_REFERENCE_DECLARATION)
#undef KUBIK_REFERENCE_DECLARATION

}  // namespace kubik::reference
