#include "tests/math/accuracy/measure.h"

#include <algorithm>
#include <bit>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <sstream>
#include <type_traits>

#include "math/cpu/selection.h"
#include "tests/math/accuracy/case_values.h"
#include "tests/math/accuracy/pipeline_measure.h"

namespace kubik::accuracy {
namespace {

using conformance::Case;
using conformance::Outcome;

// ---- Well-conditioned values, by parameter type ---------------------------------

template <class P>
using Pointee = std::remove_cv_t<std::remove_pointer_t<P>>;

// Replaces one parameter's values, by what the parameter is; counts,
// strides, half bit patterns and outputs are kept.
template <class P>
void Condition(unsigned slot, std::vector<float>& values, std::mt19937& random) {
  if constexpr (std::is_same_v<P, float>) {
    values = {Uniform(random, 0.0f, 1.0f)};
  } else if constexpr (std::is_pointer_v<P> && std::is_const_v<std::remove_pointer_t<P>>) {
    using R = Pointee<P>;
    if constexpr (std::is_same_v<R, KMMATRIX>) {
      values = slot == static_cast<unsigned>(Slot::KMQuaternionRotationMatrix)
                   ? Rotation(random)
                   : WellConditionedMatrix(random);
    } else if constexpr (std::is_same_v<R, KMQUATERNION>) {
      for (std::size_t i = 0; i + 4 <= values.size(); i += 4) {
        const std::vector<float> q = UnitQuaternion(random);
        std::copy(q.begin(), q.end(), values.begin() + static_cast<std::ptrdiff_t>(i));
      }
    } else if constexpr (std::is_same_v<R, KMPLANE>) {
      for (std::size_t i = 0; i + 4 <= values.size(); i += 4) {
        std::vector<float> n = ModerateVector(3, random);
        const float length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
        for (int k = 0; k < 3; ++k) values[i + k] = n[k] / length;
        values[i + 3] = Uniform(random, -1.0f, 1.0f);
      }
    } else if constexpr (std::is_same_v<R, KMVECTOR2> || std::is_same_v<R, KMVECTOR3> ||
                         std::is_same_v<R, KMVECTOR4>) {
      values = ModerateVector(values.size(), random);
    } else if constexpr (std::is_same_v<R, KMVIEWPORT>) {
      // A record passed through memory, its integer fields held by their
      // bits: fields whose bits read as moderate floats (a viewport about
      // 10^9 pixels from the origin), so that the families' documented
      // domains, which judge every input as a float, take the case in.
      values = {0.25f, 0.5f, 1.5f, 1.25f, 0.25f, 1.0f};
    }
  }
}

// The projection arrays hold their viewport by value and their matrices
// after it; the generic rules above place them too.
template <class Function>
struct Conditioner;

template <class R, class... P>
struct Conditioner<R (*)(P...)> {
  static void Apply(unsigned slot, Case& c, std::mt19937& random) {
    std::size_t i = 0;
    (Condition<P>(slot, c.values[i++], random), ...);
  }
};

// The projection arrays' cases lay their parameters out as (in, viewport,
// projection, view, world): not the signature's order.
void ConditionProjectionArray(Case& c, std::mt19937& random) {
  c.values[0] = ModerateVector(c.values[0].size(), random);
  for (std::size_t m = 2; m <= 4; ++m) c.values[m] = WellConditionedMatrix(random);
}

template <Slot S>
class HarnessMeasure final : public SlotMeasure {
 public:
  Case MakeCase(std::mt19937& random, Inputs inputs) const override {
    const conformance::SlotCases& cases = conformance::CasesOf(static_cast<unsigned>(S));
    Case c = cases.RandomCase(random);
    if (inputs == Inputs::kWellConditioned) {
      c.label = "well-conditioned";
      if constexpr (S == Slot::KMVec3ProjectArray || S == Slot::KMVec3UnprojectArray) {
        ConditionProjectionArray(c, random);
      } else {
        Conditioner<typename SlotTraits<S>::Function>::Apply(static_cast<unsigned>(S), c, random);
      }
    }
    return c;
  }
  Outcome Run(const OperationTable& table, const Case& c) const override {
    return conformance::CasesOf(static_cast<unsigned>(S)).Run(table, c);
  }
  std::vector<float> InputsOf(const Case& c) const override {
    return conformance::CasesOf(static_cast<unsigned>(S)).Inputs(c);
  }
};

template <Slot S>
const SlotMeasure& MeasureFor() {
  if constexpr (S == Slot::SkinnedMeshBlend) {
    return SkinningMeasure();
  } else if constexpr (S == Slot::NPatchTessellate) {
    return TessellationMeasure();
  } else {
    static const HarnessMeasure<S> measure;
    return measure;
  }
}

// ---- Documented domains -----------------------------------------------------------

// The predicates of the cases a family documents as outside what it promises,
// its own and those of the family it builds on wherever its slot still holds
// that family's function.
std::vector<conformance::InputPredicate> DomainOf(unsigned slot, const OperationTable& table,
                                                  const char* family) {
  std::vector<conformance::InputPredicate> skips;
  if (!family) return skips;
  const conformance::FamilyConformance* entry = &conformance::ConformanceOf(family);
  for (bool first = true;; first = false) {
    if (!first) {
      const ImplementationFamily* registered = FindImplementationFamily(entry->family);
      if (!registered) break;
      OperationTable base;
      registered->install(base, RealProcessor());
      if (base.Address(slot) != table.Address(slot)) break;
    }
    for (const conformance::DocumentedDifference& difference : entry->differences) {
      if (static_cast<unsigned>(difference.slot) == slot && difference.skip) {
        skips.push_back(difference.skip);
      }
    }
    if (!entry->builds_on) break;
    entry = &conformance::ConformanceOf(entry->builds_on);
  }
  return skips;
}

double UlpOf(float x) {
  const float magnitude = std::fabs(x);
  const double ulp = static_cast<double>(std::nextafter(magnitude, INFINITY)) - magnitude;
  return std::max(ulp, 0x1p-149);
}

std::string Describe(const SlotMeasure& measure, const Case& c, const ExactOutputs& exact,
                     const std::vector<float>& got, const Error& error) {
  std::ostringstream text;
  text.precision(9);
  text << c.label << " case, inputs (";
  const std::vector<float> inputs = measure.InputsOf(c);
  for (std::size_t i = 0; i < inputs.size() && i < 24; ++i) text << (i ? ", " : "") << inputs[i];
  if (inputs.size() > 24) text << ", ...";
  const std::size_t k = error.worst_output;
  text << "): output " << k << " is " << got[k] << ", exact " << static_cast<double>(exact[k].value)
       << ", magnitude " << static_cast<double>(exact[k].magnitude);
  return text.str();
}

}  // namespace

const SlotMeasure& MeasureOf(unsigned slot) {
  switch (slot) {
#define KUBIK_MEASURE_CASE(slot, name, result, params, args) \
  case slot:                                                 \
    return MeasureFor<Slot::name>();
    KUBIK_DISPATCHED_OPERATIONS(KUBIK_MEASURE_CASE)
#undef KUBIK_MEASURE_CASE
  }
  // Slot numbers come from the operation list; anything else is a caller's
  // fault, reported as a slot of no cases rather than a crash.
  return MeasureFor<Slot::KMMatrixMultiply>();
}

Error ErrorOf(const ExactOutputs& exact, const std::vector<float>& got) {
  Error error;
  long double largest = 0, largest_difference = 0;
  for (std::size_t i = 0; i < exact.size() && i < got.size(); ++i) {
    const Exact& e = exact[i];
    // Beyond float range there is nothing to compare with.
    if (!e.defined || !(std::fabs(e.value) <= FLT_MAX)) continue;
    largest = std::max(largest, std::fabs(e.value));
    double units;
    if (!std::isfinite(got[i])) {
      units = INFINITY;
    } else {
      const long double difference = std::fabs(got[i] - e.value);
      largest_difference = std::max(largest_difference, difference);
      // A magnitude of zero (a constant of the result) is compared in units
      // in the last place of the value.
      const long double unit = e.magnitude > 0
                                   ? std::max(kUnit * e.magnitude, 0x1p-149L)
                                   : static_cast<long double>(UlpOf(static_cast<float>(e.value)));
      units = static_cast<double>(difference / unit);
    }
    if (units > error.units || (i == 0 && units == 0)) {
      error.units = units;
      error.worst_output = i;
    }
  }
  error.relative = largest > 0 ? static_cast<double>(largest_difference / largest)
                               : (largest_difference > 0 ? INFINITY : 0);
  return error;
}

const ProcessorProbe* MeasuringProcessorFor(const ImplementationFamily& family) {
  if (family.can_run(RealProcessor())) return &RealProcessor();
  if (std::strcmp(family.name, "3dnow") != 0) return nullptr;
  static const SimulatedProcessor amd = [] {
    constexpr std::uint32_t kMmx = 1u << 23, kSse = 1u << 25, kSse2 = 1u << 26;
    constexpr std::uint32_t k3DNow = 1u << 31, kExtended3DNow = 1u << 30, kAmdMmx = 1u << 22;
    SimulatedProcessor p;
    p.Leaf(0, {1, 0, 0, 0}).Leaf(1, {0, 0, 0, kMmx | kSse | kSse2});
    p.Leaf(0x80000000u, {0x80000001u, 0, 0, 0})
        .Leaf(0x80000001u, {0, 0, 0, k3DNow | kExtended3DNow | kAmdMmx});
    p.Os(true, true);
    return p;
  }();
  return family.can_run(amd) ? &amd : nullptr;
}

SlotFigures MeasureSlot(unsigned slot, const OperationTable& table, const char* family, int cases,
                        std::uint32_t seed) {
  const SlotMeasure& measure = MeasureOf(slot);
  const std::vector<conformance::InputPredicate> domain = DomainOf(slot, table, family);
  SlotFigures figures;
  std::mt19937 random(seed * 7919u + slot);
  for (Inputs kind : {Inputs::kRandom, Inputs::kWellConditioned}) {
    for (int n = 0; n < cases; ++n) {
      const Case c = measure.MakeCase(random, kind);
      const std::vector<float> inputs = measure.InputsOf(c);
      if (std::any_of(domain.begin(), domain.end(),
                      [&](auto outside) { return outside(inputs); })) {
        ++figures.outside_domain;
        continue;
      }
      const std::optional<ExactOutputs> exact = ExactOf(slot, c);
      const Outcome got = measure.Run(table, c);
      if (!exact || got.returned == -1) {
        ++figures.without_result;
        continue;
      }
      ++figures.measured;
      const Error error = ErrorOf(*exact, got.outputs);
      if (error.units > figures.units || figures.worst.empty()) {
        figures.units = std::max(figures.units, error.units);
        figures.worst = Describe(measure, c, *exact, got.outputs, error);
      }
      if (kind == Inputs::kWellConditioned) {
        figures.relative = std::max(figures.relative, error.relative);
      }
    }
  }
  return figures;
}

double SuggestedBound(double units) {
  const double wanted = 1.25 * units;
  if (!std::isfinite(wanted)) return INFINITY;
  for (double step = 1;; step *= 2) {
    if (step >= wanted) return step;
    if (1.5 * step >= wanted) return 1.5 * step;
  }
}

}  // namespace kubik::accuracy
