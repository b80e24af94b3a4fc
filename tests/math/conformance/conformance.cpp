#include "tests/math/conformance/conformance.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <sstream>
#include <type_traits>
#include <utility>

#include "math/cpu/selection.h"

namespace kubik::conformance {
namespace {

// ---- Parameters, by type ----------------------------------------------------

enum class Kind { kScalar, kInput, kOutput };

template <class P>
constexpr Kind KindOf() {
  if constexpr (std::is_same_v<P, float>) {
    return Kind::kScalar;
  } else {
    static_assert(std::is_pointer_v<P>, "teach the conformance harness this parameter type");
    return std::is_const_v<std::remove_pointer_t<P>> ? Kind::kInput : Kind::kOutput;
  }
}

template <class P>
using Pointee = std::remove_cv_t<std::remove_pointer_t<P>>;

// Records are runs of floats: a parameter is that many floats.
template <class P>
constexpr std::size_t FloatsOf() {
  if constexpr (std::is_same_v<P, float>) {
    return 1;
  } else {
    static_assert(sizeof(Pointee<P>) % sizeof(float) == 0 && alignof(Pointee<P>) == alignof(float),
                  "teach the conformance harness this record type");
    return sizeof(Pointee<P>) / sizeof(float);
  }
}

template <class T>
inline constexpr char kTypeTag = 0;

template <class P>
constexpr const void* TypeOf() {
  if constexpr (std::is_same_v<P, float>) {
    return nullptr;
  } else {
    return &kTypeTag<Pointee<P>>;
  }
}

// Inputs an output may share storage with beyond those of its own record
// type: the vector transforms read the whole input before they store.
struct ExtraAlias {
  Slot slot;
  unsigned parameter;
};
constexpr ExtraAlias kExtraAliases[] = {
    {Slot::KMVec2Transform, 1},         // the KMVECTOR4 result over its KMVECTOR2 input
    {Slot::KMVec3Transform, 1},         // the KMVECTOR4 result over its KMVECTOR3 input
    {Slot::KMPlaneFromPointNormal, 2},  // the plane over the normal (not the point)
};

// Pointer parameters that may be null (a missing factor or an unwanted output).
struct Optional {
  Slot slot;
  std::initializer_list<unsigned> parameters;
};
const Optional kOptional[] = {
    {Slot::KMMatrixInverse, {1}},                        // the determinant
    {Slot::KMQuaternionToAxisAngle, {1, 2}},             // axis, angle
    {Slot::KMMatrixTransformation, {1, 2, 3, 4, 5, 6}},  // every factor
    {Slot::KMMatrixAffineTransformation, {2, 3, 4}},     // centre, rotation, translation
    {Slot::KMMatrixTransformation2D, {1, 3, 4, 6}},      // centres, scaling, translation
    {Slot::KMMatrixAffineTransformation2D, {2, 4}},      // centre, translation
};

// ---- Values ------------------------------------------------------------------

// Random argument sets per slot, each also run with every aliasing and null
// variant: enough to meet every magnitude pairing, few enough for a quick run
// under the sanitizers.
constexpr int kRandomCases = 120;

constexpr float kMagnitudes[] = {1e-4f, 1e-2f, 1.0f, 1e2f, 1e4f};
const std::uint32_t kUnwritten = 0x7fa5a5a5;  // a NaN no operation produces

struct Pattern {
  const char* name;
  float (*value)(std::size_t index);
};

// Edge patterns, each a function of the component index: identity matrices
// and unit axes, signed zeros, tiny and huge values, near-unit vectors,
// non-finite components.
const Pattern kPatterns[] = {
    {"zero", [](std::size_t) { return 0.0f; }},
    {"negative zero", [](std::size_t) { return -0.0f; }},
    {"diagonal", [](std::size_t i) { return i % 5 == 0 ? 1.0f : 0.0f; }},
    {"ones", [](std::size_t) { return 1.0f; }},
    {"three-four", [](std::size_t i) { return i == 0   ? 3.0f
                                              : i == 1 ? 4.0f
                                                       : 0.0f; }},
    {"tiny", [](std::size_t i) { return i == 0 ? 1e-20f : 0.0f; }},
    {"subnormal", [](std::size_t i) { return i % 2 == 0 ? 1e-40f : 0.0f; }},
    {"huge", [](std::size_t i) { return i == 0 ? 1e20f : 0.0f; }},
    {"large", [](std::size_t i) { return (i % 2 ? -1e15f : 1e15f) * static_cast<float>(i + 1); }},
    {"just below one", [](std::size_t i) { return i == 0 ? 1.0f - 0x1p-24f : 0.0f; }},
    {"just above one", [](std::size_t i) { return i == 0 ? 1.000004f : 0.0f; }},
    {"ramp", [](std::size_t i) { return (i % 2 ? -0.25f : 0.5f) * static_cast<float>(i + 1); }},
    {"infinity", [](std::size_t i) { return i == 0 ? INFINITY : 1.0f; }},
    {"nan", [](std::size_t i) { return i == 0 ? NAN : 1.0f; }},
};

const Pattern& OrdinaryPattern() {
  return kPatterns[11];  // the ramp: distinct moderate values
}

std::vector<float> Fill(std::size_t count, const Pattern& pattern) {
  std::vector<float> values(count);
  for (std::size_t i = 0; i < count; ++i) values[i] = pattern.value(i);
  return values;
}

std::vector<float> RandomValues(std::size_t count, std::mt19937& random) {
  std::uniform_int_distribution<std::size_t> pick(0, std::size(kMagnitudes) - 1);
  const float magnitude = kMagnitudes[pick(random)];
  std::uniform_real_distribution<float> value(-magnitude, magnitude);
  std::vector<float> values(count);
  for (float& v : values) v = value(random);
  return values;
}

bool Contains(const std::vector<unsigned>& indices, std::size_t i) {
  return std::find(indices.begin(), indices.end(), i) != indices.end();
}

bool SameBits(const std::vector<float>& a, const float* b) {
  return a.empty() || std::memcmp(a.data(), b, a.size() * sizeof(float)) == 0;
}

// ---- One signature -----------------------------------------------------------

template <class Function>
class SignatureCases;

template <class R, class... P>
class SignatureCases<R (*)(P...)> final : public SlotCases {
  using Function = R (*)(P...);
  static constexpr std::size_t kCount = sizeof...(P);
  static constexpr std::array<Kind, kCount> kKinds{KindOf<P>()...};
  static constexpr std::array<std::size_t, kCount> kFloats{FloatsOf<P>()...};
  static constexpr std::array<const void*, kCount> kTypes{TypeOf<P>()...};

 public:
  SignatureCases(unsigned slot, Function (*get)(const OperationTable&)) : slot_(slot), get_(get) {
    for (std::size_t i = 0; i < kCount; ++i) {
      if (kKinds[i] == Kind::kOutput && output_ == kCount) output_ = i;
    }
    for (std::size_t i = 0; i < kCount; ++i) {
      if (kKinds[i] != Kind::kInput || output_ == kCount) continue;
      bool extra = false;
      for (const ExtraAlias& alias : kExtraAliases) {
        extra = extra || (static_cast<unsigned>(alias.slot) == slot && alias.parameter == i);
      }
      if (kTypes[i] == kTypes[output_] || extra) aliasable_.push_back(static_cast<unsigned>(i));
    }
    for (const Optional& optional : kOptional) {
      if (static_cast<unsigned>(optional.slot) == slot) optional_.assign(optional.parameters);
    }
  }

  std::vector<Case> EdgeCases() const override {
    std::vector<Case> cases;
    for (const Pattern& pattern : kPatterns) {
      // Every input in the pattern, then each input alone in it.
      cases.push_back(
          Make(std::string("all ") + pattern.name, [&](std::size_t) { return &pattern; }));
      for (std::size_t k = 0; k < kCount; ++k) {
        if (kKinds[k] == Kind::kOutput) continue;
        cases.push_back(
            Make("parameter " + std::to_string(k) + " " + pattern.name,
                 [&](std::size_t i) { return i == k ? &pattern : &OrdinaryPattern(); }));
      }
    }
    return cases;
  }

  Case RandomCase(std::mt19937& random) const override {
    Case c;
    c.label = "random";
    c.values.resize(kCount);
    for (std::size_t i = 0; i < kCount; ++i) {
      if (kKinds[i] != Kind::kOutput) c.values[i] = RandomValues(kFloats[i], random);
    }
    return c;
  }

  std::vector<Case> Variants(const Case& base) const override {
    std::vector<Case> variants;
    for (unsigned k : optional_) {
      Case c = base;
      c.label += ", parameter " + std::to_string(k) + " null";
      c.nulled = {k};
      variants.push_back(std::move(c));
    }
    if (optional_.size() > 1) {
      Case c = base;
      c.label += ", every optional parameter null";
      c.nulled = optional_;
      variants.push_back(std::move(c));
    }
    for (unsigned k : aliasable_) {
      Case c = base;
      c.label += ", output is parameter " + std::to_string(k);
      c.aliased = {k};
      variants.push_back(std::move(c));
    }
    if (aliasable_.size() > 1) {
      // All of them at once: they must then hold the same values.
      Case c = base;
      c.label += ", output is every same-sized input";
      for (unsigned k : aliasable_) {
        if (kFloats[k] != kFloats[aliasable_[0]]) continue;
        c.values[k] = c.values[aliasable_[0]];
        c.aliased.push_back(k);
      }
      if (c.aliased.size() > 1) variants.push_back(std::move(c));
    }
    return variants;
  }

  Outcome Run(const OperationTable& table, const Case& c) const override {
    // Each record in its own heap block of exactly its size, so that the
    // sanitizers catch a read or write past it.
    std::array<std::vector<float>, kCount> buffers;
    for (std::size_t i = 0; i < kCount; ++i) {
      if (kKinds[i] == Kind::kOutput) {
        std::size_t size = kFloats[i];
        for (unsigned k : c.aliased) size = std::max(size, kFloats[k]);
        buffers[i].assign(size, std::bit_cast<float>(kUnwritten));
        for (unsigned k : c.aliased)
          std::copy(c.values[k].begin(), c.values[k].end(), buffers[i].begin());
      } else {
        buffers[i] = c.values[i];
      }
    }
    std::array<float*, kCount> pointers;
    for (std::size_t i = 0; i < kCount; ++i) {
      pointers[i] = Contains(c.nulled, i)    ? nullptr
                    : Contains(c.aliased, i) ? buffers[output_].data()
                                             : buffers[i].data();
    }

    Outcome outcome;
    ProcessOperationTable().CopyFrom(table);
    Call(get_(table), buffers, pointers, outcome, std::index_sequence_for<P...>{});

    for (std::size_t i = 0; i < kCount; ++i) {
      if (Contains(c.nulled, i)) continue;
      if (kKinds[i] == Kind::kOutput) {
        outcome.outputs.insert(outcome.outputs.end(), buffers[i].begin(),
                               buffers[i].begin() + static_cast<std::ptrdiff_t>(kFloats[i]));
      } else if (kKinds[i] == Kind::kInput && pointers[i] == buffers[i].data()) {
        outcome.inputs_intact = outcome.inputs_intact && SameBits(c.values[i], buffers[i].data());
      }
    }
    return outcome;
  }

  std::vector<float> Inputs(const Case& c) const override {
    std::vector<float> inputs;
    for (std::size_t i = 0; i < kCount; ++i) {
      if (kKinds[i] != Kind::kOutput)
        inputs.insert(inputs.end(), c.values[i].begin(), c.values[i].end());
    }
    return inputs;
  }

 private:
  template <class Choose>
  Case Make(std::string label, Choose choose) const {
    Case c;
    c.label = std::move(label);
    c.values.resize(kCount);
    for (std::size_t i = 0; i < kCount; ++i) {
      if (kKinds[i] != Kind::kOutput) c.values[i] = Fill(kFloats[i], *choose(i));
    }
    return c;
  }

  template <class T>
  static T Argument(const std::vector<float>& buffer, float* pointer) {
    if constexpr (std::is_same_v<T, float>) {
      return buffer[0];
    } else {
      return reinterpret_cast<T>(pointer);
    }
  }

  template <std::size_t... I>
  void Call(Function function, const std::array<std::vector<float>, kCount>& buffers,
            const std::array<float*, kCount>& pointers, Outcome& outcome,
            std::index_sequence<I...>) const {
    if constexpr (std::is_void_v<R>) {
      function(Argument<P>(buffers[I], pointers[I])...);
    } else {
      const R result = function(Argument<P>(buffers[I], pointers[I])...);
      if constexpr (std::is_pointer_v<R>) {
        outcome.returned = -3;
        if (result == nullptr) outcome.returned = -1;
        for (std::size_t i = 0; i < kCount; ++i) {
          if (kKinds[i] != Kind::kScalar && static_cast<const void*>(result) == pointers[i]) {
            outcome.returned = static_cast<int>(i);
            break;
          }
        }
      } else {
        static_assert(std::is_same_v<R, float>, "teach the conformance harness this result type");
        outcome.outputs.push_back(result);
      }
    }
  }

  unsigned slot_;
  Function (*get_)(const OperationTable&);
  std::size_t output_ = kCount;
  std::vector<unsigned> aliasable_;
  std::vector<unsigned> optional_;
};

// ---- Strided arrays ------------------------------------------------------------
// (out, out stride, in, in stride, matrix, count): the layout (count and the
// two strides) is part of the case, stored in the integer parameters' values.

template <class Out, class In>
class SignatureCases<Out* (*)(Out*, std::uint32_t, const In*, std::uint32_t, const KMMATRIX*,
                              std::uint32_t)>
    final : public SlotCases {
  using Function = Out* (*)(Out*, std::uint32_t, const In*, std::uint32_t, const KMMATRIX*,
                            std::uint32_t);
  static constexpr std::size_t kOutFloats = sizeof(Out) / sizeof(float);
  static constexpr std::size_t kInFloats = sizeof(In) / sizeof(float);
  static constexpr std::size_t kMatrixFloats = 16;
  enum : std::size_t { kOut, kOutStride, kIn, kInStride, kMatrix, kCount, kParameters };

  struct Layout {
    std::uint32_t count, out_stride, in_stride;  // strides in floats
  };

 public:
  SignatureCases(unsigned, Function (*get)(const OperationTable&)) : get_(get) {}

  std::vector<Case> EdgeCases() const override {
    std::vector<Case> cases;
    const std::uint32_t tight_out = kOutFloats, tight_in = kInFloats;
    cases.push_back(
        Make("no elements", {0, tight_out, tight_in}, OrdinaryPattern(), OrdinaryPattern()));
    cases.push_back(
        Make("input stride 0", {4, tight_out, 0}, OrdinaryPattern(), OrdinaryPattern()));
    cases.push_back(
        Make("output stride 0", {4, 0, tight_in}, OrdinaryPattern(), OrdinaryPattern()));
    for (const Pattern& pattern : kPatterns) {
      cases.push_back(Make(std::string("elements ") + pattern.name, {3, tight_out + 1, tight_in},
                           pattern, OrdinaryPattern()));
      cases.push_back(Make(std::string("matrix ") + pattern.name, {3, tight_out, tight_in + 2},
                           OrdinaryPattern(), pattern));
    }
    return cases;
  }

  Case RandomCase(std::mt19937& random) const override {
    std::uniform_int_distribution<std::uint32_t> count(1, 9), padding(0, 3);
    const Layout layout{count(random), static_cast<std::uint32_t>(kOutFloats) + padding(random),
                        static_cast<std::uint32_t>(kInFloats) + padding(random)};
    Case c = Make("random", layout, OrdinaryPattern(), OrdinaryPattern());
    c.values[kIn] = RandomValues(InputFloats(layout), random);
    c.values[kMatrix] = RandomValues(kMatrixFloats, random);
    return c;
  }

  // In place: the output over the input, with the same base and stride.
  std::vector<Case> Variants(const Case& base) const override {
    Layout layout = LayoutOf(base);
    if (layout.count == 0 || layout.in_stride == 0 || layout.out_stride == 0) return {};
    layout.in_stride = layout.out_stride =
        std::max({layout.in_stride, layout.out_stride, static_cast<std::uint32_t>(kOutFloats)});
    Case c =
        Make(base.label + ", transformed in place", layout, OrdinaryPattern(), OrdinaryPattern());
    for (std::size_t i = 0; i < c.values[kIn].size(); ++i) {
      c.values[kIn][i] = base.values[kIn][i % base.values[kIn].size()];
    }
    c.values[kMatrix] = base.values[kMatrix];
    c.aliased = {static_cast<unsigned>(kIn)};
    return {c};
  }

  Outcome Run(const OperationTable& table, const Case& c) const override {
    const Layout layout = LayoutOf(c);
    const bool in_place = !c.aliased.empty();
    std::vector<float> input = c.values[kIn];
    std::vector<float> output(std::max<std::size_t>(OutputFloats(layout), 1),
                              std::bit_cast<float>(kUnwritten));
    if (in_place) {
      output.resize(std::max(output.size(), input.size()), std::bit_cast<float>(kUnwritten));
      std::copy(input.begin(), input.end(), output.begin());
    }
    std::vector<float> matrix = c.values[kMatrix];
    Out* out = reinterpret_cast<Out*>(output.data());
    const In* in = in_place ? reinterpret_cast<const In*>(output.data())
                            : reinterpret_cast<const In*>(input.data());

    ProcessOperationTable().CopyFrom(table);
    Out* result = get_(table)(out, layout.out_stride * 4, in, layout.in_stride * 4,
                              reinterpret_cast<const KMMATRIX*>(matrix.data()), layout.count);

    // The whole output block, padding included: nothing may land between elements.
    Outcome outcome;
    outcome.outputs = output;
    outcome.returned = result == out ? 0 : result == nullptr ? -1 : -3;
    outcome.inputs_intact = SameBits(c.values[kMatrix], matrix.data()) &&
                            (in_place || SameBits(c.values[kIn], input.data()));
    return outcome;
  }

  std::vector<float> Inputs(const Case& c) const override {
    std::vector<float> inputs = c.values[kIn];
    inputs.insert(inputs.end(), c.values[kMatrix].begin(), c.values[kMatrix].end());
    return inputs;
  }

 private:
  static std::size_t InputFloats(const Layout& layout) {
    return layout.count == 0 ? 0 : (layout.count - 1) * layout.in_stride + kInFloats;
  }
  static std::size_t OutputFloats(const Layout& layout) {
    return layout.count == 0 ? 0 : (layout.count - 1) * layout.out_stride + kOutFloats;
  }
  static Layout LayoutOf(const Case& c) {
    return {static_cast<std::uint32_t>(c.values[kCount][0]),
            static_cast<std::uint32_t>(c.values[kOutStride][0]),
            static_cast<std::uint32_t>(c.values[kInStride][0])};
  }

  Case Make(std::string label, Layout layout, const Pattern& elements,
            const Pattern& matrix) const {
    Case c;
    c.label = std::move(label) + " (" + std::to_string(layout.count) + " elements, strides " +
              std::to_string(layout.out_stride * 4) + "/" + std::to_string(layout.in_stride * 4) +
              ")";
    c.values.resize(kParameters);
    c.values[kCount] = {static_cast<float>(layout.count)};
    c.values[kOutStride] = {static_cast<float>(layout.out_stride)};
    c.values[kInStride] = {static_cast<float>(layout.in_stride)};
    c.values[kIn].resize(InputFloats(layout));
    // Each element in the pattern; the padding between elements in the ramp.
    for (std::size_t i = 0; i < c.values[kIn].size(); ++i) {
      const std::size_t offset = layout.in_stride ? i % layout.in_stride : i;
      c.values[kIn][i] = offset < kInFloats ? elements.value(offset) : OrdinaryPattern().value(i);
    }
    c.values[kMatrix] = Fill(kMatrixFloats, matrix);
    return c;
  }

  Function (*get_)(const OperationTable&);
};

// ---- Half-precision arrays -------------------------------------------------------
// (out, in, count), one side KMFLOAT16: a half is held in a case as its bit
// pattern, a float-valued number from 0 to 65535, and so compared exactly.

template <class Out, class In>
class SignatureCases<Out* (*)(Out*, const In*, std::uint32_t)> final : public SlotCases {
  using Function = Out* (*)(Out*, const In*, std::uint32_t);
  static constexpr bool kFromHalf = std::is_same_v<In, KMFLOAT16>;
  static_assert(kFromHalf != std::is_same_v<Out, KMFLOAT16>);
  enum : std::size_t { kOut, kIn, kCount, kParameters };

 public:
  SignatureCases(unsigned, Function (*get)(const OperationTable&)) : get_(get) {}

  std::vector<Case> EdgeCases() const override {
    std::vector<Case> cases{Make("no elements", {})};
    if constexpr (kFromHalf) {
      std::vector<float> every(65536);
      for (std::size_t h = 0; h < every.size(); ++h) every[h] = static_cast<float>(h);
      cases.push_back(Make("every half", every));
    } else {
      for (const Pattern& pattern : kPatterns) {
        cases.push_back(Make(std::string("elements ") + pattern.name, Fill(7, pattern)));
      }
      cases.push_back(Make("range ends", {65504.0f, 65536.0f, 131008.0f, 131040.0f, 200000.0f,
                                          0x1p-14f, 0x1p-24f, 0x1p-25f, -0x1.8p-24f}));
    }
    return cases;
  }

  Case RandomCase(std::mt19937& random) const override {
    std::uniform_int_distribution<std::uint32_t> count(1, 9), half(0, 65535);
    std::uniform_int_distribution<int> exponent(-30, 18);
    std::uniform_real_distribution<float> mantissa(-2.0f, 2.0f);
    std::vector<float> values(count(random));
    for (float& v : values) {
      v = kFromHalf ? static_cast<float>(half(random))
                    : std::ldexp(mantissa(random), exponent(random));
    }
    return Make("random", std::move(values));
  }

  std::vector<Case> Variants(const Case&) const override { return {}; }

  Outcome Run(const OperationTable& table, const Case& c) const override {
    const std::vector<float>& values = c.values[kIn];
    const auto n = static_cast<std::uint32_t>(values.size());
    std::vector<In> in(std::max<std::size_t>(n, 1));
    for (std::uint32_t i = 0; i < n; ++i) in[i] = FromValue<In>(values[i]);
    const std::vector<In> before = in;
    std::vector<Out> out(std::max<std::size_t>(n, 1),
                         FromValue<Out>(std::bit_cast<float>(kUnwritten)));
    ProcessOperationTable().CopyFrom(table);
    Out* result = get_(table)(out.data(), in.data(), n);
    Outcome outcome;
    for (const Out& o : out) outcome.outputs.push_back(ToValue(o));
    outcome.returned = result == out.data() ? 0 : result == nullptr ? -1 : -3;
    outcome.inputs_intact = std::memcmp(before.data(), in.data(), in.size() * sizeof(In)) == 0;
    return outcome;
  }

  std::vector<float> Inputs(const Case& c) const override { return c.values[kIn]; }

 private:
  template <class T>
  static T FromValue(float v) {
    if constexpr (std::is_same_v<T, KMFLOAT16>) {
      return KMFLOAT16{static_cast<std::uint16_t>(std::isnan(v) ? 0xa5a5 : v)};
    } else {
      return v;
    }
  }
  static float ToValue(KMFLOAT16 h) { return static_cast<float>(h.value); }
  static float ToValue(float f) { return f; }

  Case Make(std::string label, std::vector<float> values) const {
    Case c;
    c.label = std::move(label) + " (" + std::to_string(values.size()) + " elements)";
    c.values.resize(kParameters);
    c.values[kCount] = {static_cast<float>(values.size())};
    c.values[kIn] = std::move(values);
    return c;
  }

  Function (*get_)(const OperationTable&);
};

// ---- Projection arrays --------------------------------------------------------------
// (out, out stride, in, in stride, viewport, projection, view, world, count),
// elements tightly packed; the viewport and each matrix may be null.

template <>
class SignatureCases<KMVECTOR3* (*)(KMVECTOR3*, std::uint32_t, const KMVECTOR3*, std::uint32_t,
                                    const KMVIEWPORT*, const KMMATRIX*, const KMMATRIX*,
                                    const KMMATRIX*, std::uint32_t)>
    final : public SlotCases {
  using Function = KMVECTOR3* (*)(KMVECTOR3*, std::uint32_t, const KMVECTOR3*, std::uint32_t,
                                  const KMVIEWPORT*, const KMMATRIX*, const KMMATRIX*,
                                  const KMMATRIX*, std::uint32_t);
  enum : std::size_t { kIn, kViewport, kProjection, kView, kWorld, kParameters };

 public:
  SignatureCases(unsigned, Function (*get)(const OperationTable&)) : get_(get) {}

  std::vector<Case> EdgeCases() const override {
    std::vector<Case> cases;
    for (const Pattern& pattern : kPatterns) {
      Case c = Make(std::string("elements ") + pattern.name, Fill(9, pattern));
      for (std::size_t m = kProjection; m <= kWorld; ++m) c.values[m] = Fill(16, kPatterns[2]);
      cases.push_back(c);
      c.label = std::string("matrices ") + pattern.name;
      c.values[kIn] = Fill(9, OrdinaryPattern());
      for (std::size_t m = kProjection; m <= kWorld; ++m) c.values[m] = Fill(16, pattern);
      cases.push_back(c);
    }
    return cases;
  }

  Case RandomCase(std::mt19937& random) const override {
    std::uniform_int_distribution<std::uint32_t> count(1, 9);
    Case c = Make("random", RandomValues(3 * count(random), random));
    for (std::size_t m = kProjection; m <= kWorld; ++m) c.values[m] = RandomValues(16, random);
    return c;
  }

  // Each of the viewport and the matrices null, and all of them.
  std::vector<Case> Variants(const Case& base) const override {
    std::vector<Case> variants;
    for (unsigned k = kViewport; k <= kWorld; ++k) {
      Case c = base;
      c.label += ", parameter " + std::to_string(k) + " null";
      c.nulled = {k};
      variants.push_back(std::move(c));
    }
    Case c = base;
    c.label += ", every optional parameter null";
    c.nulled = {kViewport, kProjection, kView, kWorld};
    variants.push_back(std::move(c));
    return variants;
  }

  Outcome Run(const OperationTable& table, const Case& c) const override {
    const std::vector<float> in = c.values[kIn];
    const auto n = static_cast<std::uint32_t>(in.size() / 3);
    std::vector<float> out(in.size(), std::bit_cast<float>(kUnwritten));
    const std::vector<float>& v = c.values[kViewport];
    const KMVIEWPORT viewport{static_cast<std::uint32_t>(v[0]),
                              static_cast<std::uint32_t>(v[1]),
                              static_cast<std::uint32_t>(v[2]),
                              static_cast<std::uint32_t>(v[3]),
                              v[4],
                              v[5]};
    std::vector<float> matrices[3] = {c.values[kProjection], c.values[kView], c.values[kWorld]};
    auto matrix = [&](std::size_t k) -> const KMMATRIX* {
      return Contains(c.nulled, k)
                 ? nullptr
                 : reinterpret_cast<const KMMATRIX*>(matrices[k - kProjection].data());
    };
    ProcessOperationTable().CopyFrom(table);
    KMVECTOR3* result = get_(table)(reinterpret_cast<KMVECTOR3*>(out.data()), 12,
                                    reinterpret_cast<const KMVECTOR3*>(in.data()), 12,
                                    Contains(c.nulled, kViewport) ? nullptr : &viewport,
                                    matrix(kProjection), matrix(kView), matrix(kWorld), n);
    Outcome outcome;
    outcome.outputs = out;
    outcome.returned = result == reinterpret_cast<KMVECTOR3*>(out.data()) ? 0
                       : result == nullptr                                ? -1
                                                                          : -3;
    outcome.inputs_intact = SameBits(c.values[kIn], in.data());
    for (std::size_t m = kProjection; m <= kWorld; ++m) {
      outcome.inputs_intact =
          outcome.inputs_intact && SameBits(c.values[m], matrices[m - kProjection].data());
    }
    return outcome;
  }

  std::vector<float> Inputs(const Case& c) const override {
    std::vector<float> inputs;
    for (const std::vector<float>& values : c.values) {
      inputs.insert(inputs.end(), values.begin(), values.end());
    }
    return inputs;
  }

 private:
  Case Make(std::string label, std::vector<float> elements) const {
    Case c;
    c.label = std::move(label) + " (" + std::to_string(elements.size() / 3) + " elements)";
    c.values.resize(kParameters);
    c.values[kIn] = std::move(elements);
    c.values[kViewport] = {10, 20, 640, 480, 0.25f, 1};
    return c;
  }

  Function (*get_)(const OperationTable&);
};

template <Slot S>
typename SlotTraits<S>::Function GetSlot(const OperationTable& table) {
  return table.Get<S>();
}

// ---- Comparison --------------------------------------------------------------

double Ulp(float x) {
  const float magnitude = std::fabs(x);
  return static_cast<double>(std::nextafter(magnitude, INFINITY)) - magnitude;
}

std::string Describe(float x) {
  std::ostringstream text;
  text.precision(9);
  text << x << " (0x" << std::hex << std::bit_cast<std::uint32_t>(x) << ")";
  return text.str();
}

// The expectation that holds for `slot` of `candidate`: the family's own,
// together with that of every family it builds on whose function the slot
// still holds (a reference slot included: a composite reaches the installed
// functions through the public entries).
struct SlotExpectation {
  Tolerance tolerance;
  std::vector<InputPredicate> skips;
};

void Include(SlotExpectation& expectation, unsigned slot, const FamilyConformance& family) {
  expectation.tolerance.ulps = std::max(expectation.tolerance.ulps, family.tolerance.ulps);
  expectation.tolerance.record_relative =
      std::max(expectation.tolerance.record_relative, family.tolerance.record_relative);
  expectation.tolerance.input_relative =
      std::max(expectation.tolerance.input_relative, family.tolerance.input_relative);
  for (const DocumentedDifference& difference : family.differences) {
    if (static_cast<unsigned>(difference.slot) != slot) continue;
    expectation.tolerance.ulps = std::max(expectation.tolerance.ulps, difference.tolerance.ulps);
    expectation.tolerance.record_relative =
        std::max(expectation.tolerance.record_relative, difference.tolerance.record_relative);
    expectation.tolerance.input_relative =
        std::max(expectation.tolerance.input_relative, difference.tolerance.input_relative);
    if (difference.skip) expectation.skips.push_back(difference.skip);
  }
}

SlotExpectation ExpectationFor(unsigned slot, const OperationTable& candidate,
                               const FamilyConformance& family) {
  SlotExpectation expectation;
  Include(expectation, slot, family);
  for (const FamilyConformance* base = &family; base->builds_on;) {
    base = &ConformanceOf(base->builds_on);
    const ImplementationFamily* registered = FindImplementationFamily(base->family);
    if (!registered) break;
    OperationTable table;
    registered->install(table, RealProcessor());
    if (table.Address(slot) != candidate.Address(slot)) break;
    Include(expectation, slot, *base);
  }
  return expectation;
}

}  // namespace

std::string Compare(const Outcome& want, const Outcome& got, const Tolerance& tolerance,
                    std::span<const float> inputs) {
  if (!got.inputs_intact) return "an input record was written";
  if (want.returned != got.returned) {
    return "returned parameter " + std::to_string(got.returned) + ", reference returned " +
           std::to_string(want.returned);
  }
  double scale = 0, input_scale = 0;
  for (float w : want.outputs) {
    if (std::isfinite(w)) scale = std::max(scale, static_cast<double>(std::fabs(w)));
  }
  for (float x : inputs) {
    if (std::isfinite(x)) input_scale = std::max(input_scale, static_cast<double>(std::fabs(x)));
  }
  for (std::size_t i = 0; i < want.outputs.size(); ++i) {
    const float w = want.outputs[i], g = got.outputs[i];
    if (std::bit_cast<std::uint32_t>(w) == std::bit_cast<std::uint32_t>(g)) continue;
    // Any NaN matches any NaN, but an output left unwritten only matches itself.
    const bool unwritten = std::bit_cast<std::uint32_t>(w) == kUnwritten ||
                           std::bit_cast<std::uint32_t>(g) == kUnwritten;
    if (std::isnan(w) && std::isnan(g) && !unwritten) continue;
    if (std::isfinite(w) && std::isfinite(g)) {
      const double allowed = tolerance.ulps * Ulp(std::max(std::fabs(w), std::fabs(g))) +
                             tolerance.record_relative * scale +
                             tolerance.input_relative * input_scale;
      if (std::fabs(static_cast<double>(g) - w) <= allowed) continue;
    }
    return "output " + std::to_string(i) + ": " + Describe(g) + ", reference " + Describe(w);
  }
  return {};
}

// The pipeline operations take vertex streams described at run time; their
// own suites run them per family, so the harness leaves them out.
template <Slot S>
constexpr bool kCoveredByHarness = S != Slot::SkinnedMeshBlend&& S != Slot::NPatchTessellate;

template <Slot S>
const SlotCases& CasesFor() {
  if constexpr (kCoveredByHarness<S>) {
    static const SignatureCases<typename SlotTraits<S>::Function> cases(static_cast<unsigned>(S),
                                                                        &GetSlot<S>);
    return cases;
  } else {
    std::abort();
  }
}

const SlotCases& CasesOf(unsigned slot) {
  switch (slot) {
#define KUBIK_SLOT_CASES(slot, name, result, params, args) \
  case slot:                                               \
    return CasesFor<Slot::name>();
    KUBIK_DISPATCHED_OPERATIONS(KUBIK_SLOT_CASES)
#undef KUBIK_SLOT_CASES
    default:
      std::abort();
  }
}

bool HarnessCoversSlot(unsigned slot) {
  switch (slot) {
#define KUBIK_SLOT_COVERED(slot, name, result, params, args) \
  case slot:                                                 \
    return kCoveredByHarness<Slot::name>;
    KUBIK_DISPATCHED_OPERATIONS(KUBIK_SLOT_COVERED)
#undef KUBIK_SLOT_COVERED
    default:
      return false;
  }
}

SlotReport CheckSlot(unsigned slot, const OperationTable& candidate,
                     const FamilyConformance& family, std::uint32_t seed) {
  const SlotCases& cases = CasesOf(slot);
  const SlotExpectation expectation = ExpectationFor(slot, candidate, family);

  std::vector<Case> all = cases.EdgeCases();
  std::mt19937 random(seed * 7919u + slot);
  for (int n = 0; n < kRandomCases; ++n) all.push_back(cases.RandomCase(random));
  const std::size_t plain = all.size();
  for (std::size_t i = 0; i < plain; ++i) {
    for (Case& variant : cases.Variants(all[i])) all.push_back(std::move(variant));
  }

  SlotReport report;
  for (const Case& c : all) {
    const std::vector<float> inputs = cases.Inputs(c);
    bool skip = false;
    for (InputPredicate predicate : expectation.skips) skip = skip || predicate(inputs);
    if (skip) {
      ++report.skipped;
      continue;
    }
    ++report.cases;
    const Outcome want = cases.Run(ReferenceTable(), c);
    const Outcome got = cases.Run(candidate, c);
    const std::string mismatch = Compare(want, got, expectation.tolerance, inputs);
    if (mismatch.empty()) continue;
    if (report.failures++ == 0) {
      std::ostringstream text;
      text.precision(9);
      text << SlotName(slot) << ", case \"" << c.label << "\", inputs (";
      for (std::size_t i = 0; i < inputs.size(); ++i) text << (i ? ", " : "") << inputs[i];
      text << "): " << mismatch;
      report.first_failure = text.str();
    }
  }
  return report;
}

}  // namespace kubik::conformance
