// The exact result of every dispatched operation, with the magnitude that
// rounding can reach for each output float (see tracked.h).
#pragma once

#include <optional>
#include <vector>

#include "tests/math/conformance/conformance.h"

namespace kubik::accuracy {

// One output float as the harness lays outputs out (every output record,
// then a float result). Undefined: padding between array elements and
// outputs the operation leaves alone, not compared.
struct Exact {
  long double value = 0;
  long double magnitude = 0;
  bool defined = true;
};
using ExactOutputs = std::vector<Exact>;

// The exact outputs of `slot` on the case's values, or nothing where the
// operation has no result (a singular matrix, a line parallel to the plane,
// a vector too short to normalise).
std::optional<ExactOutputs> ExactOf(unsigned slot, const conformance::Case& c);

// How the magnitude of the slot's outputs is formed, for the document.
const char* MagnitudeOf(unsigned slot);

}  // namespace kubik::accuracy
