// Conformance of implementation families: every listed slot of a family's
// table against the reference table, on fixed edge inputs, random inputs
// over several magnitudes and every aliasing the operation allows.
//
// What a slot's arguments look like and how its outputs are compared is
// derived once per operation signature (conformance.cpp); what a family may
// differ by is data (family_conformance.cpp). A new family is checked by
// registering it in ImplementationFamilies() and, if it has documented
// differences, listing them there.
#pragma once

#include <cstdint>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "math/dispatch/operation_table.h"

namespace kubik::conformance {

// An output float passes when it equals the reference bit for bit, both are
// NaN, or both are finite and |got - want| <= ulps * ulp(max(|got|, |want|))
// + record_relative * (largest finite magnitude in the reference outputs)
// + input_relative * (largest finite magnitude in the inputs). The second
// term allows for cancellation in one component of a record, the third for
// an output formed by cancellation of terms as large as the inputs.
struct Tolerance {
  double ulps = 0;
  double record_relative = 0;
  double input_relative = 0;
};

// Every input float of a case (records and float arguments, in parameter
// order), for the predicates of documented differences.
using InputPredicate = bool (*)(std::span<const float> inputs);

// A way in which a family's implementation of one slot is documented to
// differ from the reference: a wider tolerance, cases where the results are
// unrelated (skipped), or both.
struct DocumentedDifference {
  Slot slot;
  const char* what;
  Tolerance tolerance;            // replaces the family's tolerance on this slot when wider
  InputPredicate skip = nullptr;  // cases that are not compared
};

struct FamilyConformance {
  const char* family;
  Tolerance tolerance;
  std::span<const DocumentedDifference> differences;
  // The family whose functions this one installs first (its differences
  // hold wherever this family's table still holds that family's function).
  const char* builds_on = nullptr;
};

// The entry of a registered family; families without one get a default
// entry with single-precision tolerance that builds on "x87".
const FamilyConformance& ConformanceOf(const char* family);
std::span<const FamilyConformance> ListedConformance();

// One run of one argument set: the values of every parameter (empty for
// outputs), the inputs that share the output's storage and the optional
// pointers passed as null.
struct Case {
  std::string label;
  std::vector<std::vector<float>> values;
  std::vector<unsigned> aliased;  // parameter indices of inputs passed as the output
  std::vector<unsigned> nulled;   // parameter indices passed as null
};

// What a call left behind.
struct Outcome {
  std::vector<float> outputs;  // every output record, then a float result
  int returned = -2;           // pointer result: index of the parameter returned, -1 null, -3 other
  bool inputs_intact = true;   // no input outside `aliased` was written
};

// Argument making and calling for one slot's signature.
class SlotCases {
 public:
  virtual ~SlotCases() = default;
  virtual std::vector<Case> EdgeCases() const = 0;
  virtual Case RandomCase(std::mt19937& random) const = 0;
  // The case again with the output sharing storage with each input it may
  // alias and with all of them at once, and with each optional pointer null
  // and with all of them null.
  virtual std::vector<Case> Variants(const Case& base) const = 0;
  // Calls the function `table` holds for the slot. Composite operations call
  // through the public entries, so the process table is bound to `table`
  // for the call.
  virtual Outcome Run(const OperationTable& table, const Case& c) const = 0;
  virtual std::vector<float> Inputs(const Case& c) const = 0;
};

const SlotCases& CasesOf(unsigned slot);

struct SlotReport {
  unsigned cases = 0;
  unsigned skipped = 0;
  unsigned failures = 0;
  std::string first_failure;
};

// Compares `candidate`'s function in `slot` with the reference table's.
// Rebinds the process table while it runs; callers restore it afterwards.
// False for slots the harness cannot build cases for (the pipeline
// operations, which their own suites run per family).
bool HarnessCoversSlot(unsigned slot);

SlotReport CheckSlot(unsigned slot, const OperationTable& candidate,
                     const FamilyConformance& expectation, std::uint32_t seed = 1);

// The mismatch between two outcomes, or empty when they agree.
std::string Compare(const Outcome& want, const Outcome& got, const Tolerance& tolerance,
                    std::span<const float> inputs);

}  // namespace kubik::conformance
