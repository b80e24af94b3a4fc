// The accuracy measure shared by the conformance suite's bound checks and
// the accuracy program (docs/accuracy.md).
//
// Each output float's error is |got - exact| / (2^-24 * magnitude), where the
// magnitude is what rounding can reach while forming it (tracked.h; for a
// dot product, the sum of the absolute products). A float kernel that rounds
// a few times reads a few units however much its terms cancel. Alongside it,
// on well-conditioned inputs (rotations, unit quaternions, unit vectors,
// parameters in [0, 1]), the plain relative error: the largest error in a
// record over the record's largest exact component.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "math/cpu/processor.h"
#include "math/cpu/selection.h"
#include "tests/math/accuracy/exact.h"
#include "tests/math/conformance/conformance.h"

namespace kubik::accuracy {

inline constexpr long double kUnit = 0x1p-24L;

enum class Inputs {
  kRandom,           // the conformance harness's random cases: magnitudes 1e-4 to 1e4
  kWellConditioned,  // rotations, unit quaternions and vectors, parameters in [0, 1]
};

// Making and running the cases of one slot. The pipeline slots have their
// own vertex layouts; every other slot runs through the conformance harness.
class SlotMeasure {
 public:
  virtual ~SlotMeasure() = default;
  virtual conformance::Case MakeCase(std::mt19937& random, Inputs inputs) const = 0;
  virtual conformance::Outcome Run(const OperationTable& table,
                                   const conformance::Case& c) const = 0;
  // Every input float, for the documented-difference predicates.
  virtual std::vector<float> InputsOf(const conformance::Case& c) const = 0;
};

// Every slot has one: a slot without cases fails to compile.
const SlotMeasure& MeasureOf(unsigned slot);

// The error of one outcome against the exact outputs.
struct Error {
  double units = 0;     // largest |got - exact| / (2^-24 magnitude); infinite when not finite
  double relative = 0;  // largest |got - exact| over the largest |exact|
  std::size_t worst_output = 0;
};
Error ErrorOf(const ExactOutputs& exact, const std::vector<float>& got);

// The figures of one slot of one table over `cases` cases of each kind.
struct SlotFigures {
  double units = 0;     // over random and well-conditioned cases
  double relative = 0;  // over well-conditioned cases
  unsigned measured = 0;
  unsigned outside_domain = 0;  // cases the family documents as outside its domain
  unsigned without_result = 0;  // cases where the operation has no result
  std::string worst;            // the case with the largest units, described
};

// The processor a family is measured on: this one where the family runs
// here; the 3DNow! family, which the library builds in its portable two-lane
// form (the estimates keep exactly the instructions' good bits), on a
// simulated processor with every group it uses. Null: not measurable here.
const ProcessorProbe* MeasuringProcessorFor(const ImplementationFamily& family);

// `family` names the documented differences that apply (conformance data);
// null for none.
SlotFigures MeasureSlot(unsigned slot, const OperationTable& table, const char* family, int cases,
                        std::uint32_t seed = 1);

// A bound with room above a measured figure, for a family's author to
// review: the next of 1, 1.5, 2, 3, 4, 6, 8, ... at or above 1.25 times it.
double SuggestedBound(double units);

}  // namespace kubik::accuracy
