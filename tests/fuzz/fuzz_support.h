// Shared parts of the fuzz targets: values drawn from the fuzzer's bytes,
// buffers between inaccessible pages, every implementation family that runs
// here, and a comparison with an error bound worked out from the inputs.
#pragma once

#include <fuzzer/FuzzedDataProvider.h>
#include <kubik/kmath.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <limits>
#include <string>
#include <vector>

#include "math/cpu/processor.h"
#include "math/cpu/selection.h"
#include "math/dispatch/operation_table.h"

namespace kubik::fuzz {

// ---- Values ----------------------------------------------------------------------

// Mostly ordinary floats of moderate size with any mantissa; now and then
// zeros, tiny, huge and non-finite values, which are run but whose results
// are not compared.
inline float DrawFloat(FuzzedDataProvider& in) {
  const std::uint8_t kind = in.ConsumeIntegral<std::uint8_t>();
  if (kind < 224) {
    const float unit = in.ConsumeFloatingPointInRange<float>(-1.0f, 1.0f);
    const int exponent = in.ConsumeIntegralInRange<int>(-6, 4);
    return std::ldexp(unit, exponent);
  }
  static const float kSpecial[] = {0.0f,
                                   -0.0f,
                                   1.0f,
                                   -1.0f,
                                   1e-30f,
                                   -1e-38f,
                                   1e30f,
                                   -3e38f,
                                   std::numeric_limits<float>::infinity(),
                                   -std::numeric_limits<float>::infinity(),
                                   std::numeric_limits<float>::quiet_NaN(),
                                   std::numeric_limits<float>::denorm_min()};
  return kSpecial[kind % (sizeof kSpecial / sizeof kSpecial[0])];
}

inline void DrawFloats(FuzzedDataProvider& in, float* out, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) out[i] = DrawFloat(in);
}

inline KMMATRIX DrawMatrix(FuzzedDataProvider& in) {
  KMMATRIX m;
  DrawFloats(in, &m._11, 16);
  // Often an affine matrix, as transforms mostly are.
  if (in.ConsumeBool()) {
    m._14 = m._24 = m._34 = 0.0f;
    m._44 = 1.0f;
  }
  return m;
}

// A value the comparison can reason about.
inline bool Tame(double x) {
  return std::isfinite(x) && std::fabs(x) < 1e15 && (x == 0.0 || std::fabs(x) > 1e-15);
}

// ---- Guarded buffers ------------------------------------------------------------------

// `size` bytes between two inaccessible pages: flush against the page after
// them (an overrun faults at once) or, when `at_start`, `offset` bytes after
// the page before them (an underrun faults). Unused bytes hold a filler, so a
// stray write shows up as a difference with the reference run.
class GuardedBuffer {
 public:
  static constexpr unsigned char kFiller = 0xA5;

  GuardedBuffer(std::size_t size, bool at_start, std::size_t offset)
      : page_(static_cast<std::size_t>(sysconf(_SC_PAGESIZE))) {
    const std::size_t used = size + offset;
    const std::size_t pages = (used + page_ - 1) / page_ + 2;
    length_ = pages * page_;
    void* p = mmap(nullptr, length_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) std::abort();
    base_ = static_cast<unsigned char*>(p);
    mprotect(base_, page_, PROT_NONE);
    mprotect(base_ + length_ - page_, page_, PROT_NONE);
    inner_ = base_ + page_;
    inner_size_ = length_ - 2 * page_;
    std::memset(inner_, kFiller, inner_size_);
    data_ = at_start ? inner_ + offset : inner_ + inner_size_ - size;
    size_ = size;
  }
  ~GuardedBuffer() { munmap(base_, length_); }
  GuardedBuffer(const GuardedBuffer&) = delete;
  GuardedBuffer& operator=(const GuardedBuffer&) = delete;

  unsigned char* data() { return data_; }
  std::size_t size() const { return size_; }
  // The whole accessible area, filler included.
  const unsigned char* inner() const { return inner_; }
  std::size_t inner_size() const { return inner_size_; }
  std::size_t offset() const { return static_cast<std::size_t>(data_ - inner_); }

  // The same placement and contents as `other` (same size and placement rule).
  void CopyFrom(const GuardedBuffer& other) { std::memcpy(inner_, other.inner_, inner_size_); }

 private:
  std::size_t page_;
  std::size_t length_ = 0;
  unsigned char* base_ = nullptr;
  unsigned char* inner_ = nullptr;
  std::size_t inner_size_ = 0;
  unsigned char* data_ = nullptr;
  std::size_t size_ = 0;
};

// Draws a buffer placement: which end, and an offset of 0 to 15 bytes from
// the page, a multiple of `align`. Strided record arrays take any byte
// address (align 1); plain float and half arrays keep their type's alignment,
// as a C caller's pointers do.
struct Placement {
  bool at_start;
  std::size_t offset;
};
inline Placement DrawPlacement(FuzzedDataProvider& in, std::size_t align = 1) {
  const bool at_start = in.ConsumeBool();
  return {at_start, in.ConsumeIntegralInRange<std::size_t>(0, 15) / align * align};
}

// ---- Families ---------------------------------------------------------------------------

struct Family {
  const char* name;
  OperationTable table;
};

// Every family that runs on this processor, reference first.
inline std::deque<Family>& RunnableFamilies() {
  static std::deque<Family>* families = [] {
    // Let the process selection run once, so that no stub rebinds the
    // process table behind the fuzzer's back later.
    KMMATRIX m;
    KMMatrixTranslation(&m, 0.0f, 0.0f, 0.0f);
    auto* list = new std::deque<Family>;
    for (const ImplementationFamily& family : ImplementationFamilies()) {
      if (!family.can_run(RealProcessor())) continue;
      list->emplace_back();
      list->back().name = family.name;
      family.install(list->back().table, RealProcessor());
    }
    return list;
  }();
  return *families;
}

// Composite operations call through the public entries: they must reach the
// family under test.
inline void Bind(const OperationTable& table) {
  ProcessOperationTable().CopyFrom(table);
}

// ---- Comparison --------------------------------------------------------------------------

// Relative size of the allowed error against the bound: single precision
// leaves about 2^-23; the estimate-based families keep at least 14 good bits
// before refinement; 2^-11 leaves room for a few roundings of either.
inline constexpr double kBoundFraction = 1.0 / 2048.0;

[[noreturn]] inline void Fail(const std::string& what) {
  std::fprintf(stderr, "FUZZ MISMATCH: %s\n", what.c_str());
  std::abort();
}

// `got` and `want` are the same float output of a family and of the
// reference; `bound` is the sum of the magnitudes of the terms it is made of
// (or a larger error scale). Outputs whose bound is not tame are not compared.
inline void CheckFloat(const char* family, const char* what, std::size_t index, float got,
                       float want, double bound) {
  if (std::isnan(bound) || (!Tame(bound) && bound != 0.0)) return;
  if (std::memcmp(&got, &want, sizeof got) == 0) return;
  if (std::isnan(got) && std::isnan(want)) return;
  if (!std::isfinite(want)) return;
  const double error = std::fabs(static_cast<double>(got) - static_cast<double>(want));
  const double allowed = kBoundFraction * bound + 1e-30;
  if (std::isfinite(got) && error <= allowed) return;
  char text[320];
  std::snprintf(text, sizeof text,
                "%s, %s, element %zu: got %.9g, reference %.9g (error %.3g, allowed %.3g)", family,
                what, index, got, want, error, allowed);
  Fail(text);
}

// Bytes outside the outputs must be what the reference left there.
inline void CheckBytes(const char* family, const char* what, const unsigned char* got,
                       const unsigned char* want, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i) {
    if (got[i] != want[i]) {
      char text[200];
      std::snprintf(text, sizeof text, "%s, %s: byte %zu is %02x, reference left %02x", family,
                    what, i, got[i], want[i]);
      Fail(text);
    }
  }
}

// The filler around a buffer's data must be what the reference left there.
inline void CheckOutside(const char* family, const char* what, const GuardedBuffer& got,
                         const GuardedBuffer& want) {
  const std::size_t before = want.offset();
  const std::size_t after = before + want.size();
  CheckBytes(family, what, got.inner(), want.inner(), before);
  CheckBytes(family, what, got.inner() + after, want.inner() + after, want.inner_size() - after);
}

// Error scales of v x M in double: per output column k the sum of |v_j m_jk|,
// with v = (x, y, z or 0, w).
struct Row4 {
  double value[4];
  double scale[4];
};
inline Row4 TransformRow(const double v[4], const KMMATRIX& m) {
  Row4 r{};
  for (int k = 0; k < 4; ++k) {
    for (int j = 0; j < 4; ++j) {
      const double term = v[j] * static_cast<double>(m.m[j][k]);
      r.value[k] += term;
      r.scale[k] += std::fabs(term);
    }
  }
  return r;
}

// Error scale of component k of a division by w: (s_k + |x_k / w| s_w) / |w|;
// infinite where w is lost in its own rounding.
inline double DividedScale(const Row4& r, int k) {
  const double w = std::fabs(r.value[3]);
  if (!(w > 1e-3 * r.scale[3])) return std::numeric_limits<double>::infinity();
  return (r.scale[k] + std::fabs(r.value[k] / r.value[3]) * r.scale[3]) / w;
}

}  // namespace kubik::fuzz
