// The field-of-view perspective builders' body, shared by the portable
// builders and the AVX2 family's, which differ only in how the sine and
// cosine polynomial multiplies and adds. Internal linkage: each source
// compiles it with its own instruction-set options.
#pragma once

#include <kubik/kmath.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kubik::view {
namespace {

// Two doubles in one register (SSE2, NEON): the sine and the cosine
// polynomials run side by side.
typedef double Double2 __attribute__((vector_size(16)));

// a * b + c, rounded twice.
struct SeparateMultiplyAdd {
  static Double2 Apply(Double2 a, Double2 b, Double2 c) { return a * b + c; }
};

// {sin r, cos r} for |r| <= 0.79 from their Taylor series to r^13 and r^14.
// Measured on every float argument against the C library, both stay within
// 184 ulps of a double (the first omitted terms, about 2^-45 of the result),
// with separate and with fused multiply-adds.
template <class MultiplyAdd>
[[gnu::always_inline]] inline Double2 SineCosinePolynomial(double r) {
  const double r2 = r * r;
  const Double2 z = {r2, r2};
  Double2 p = {1.0 / 6227020800.0, -1.0 / 87178291200.0};  // 1/13!, -1/14!
  p = MultiplyAdd::Apply(p, z, Double2{-1.0 / 39916800.0, 1.0 / 479001600.0});
  p = MultiplyAdd::Apply(p, z, Double2{1.0 / 362880.0, -1.0 / 3628800.0});
  p = MultiplyAdd::Apply(p, z, Double2{-1.0 / 5040.0, 1.0 / 40320.0});
  p = MultiplyAdd::Apply(p, z, Double2{1.0 / 120.0, -1.0 / 720.0});
  p = MultiplyAdd::Apply(p, z, Double2{-1.0 / 6.0, 1.0 / 24.0});  // -1/3!, 1/4!
  // {r, 1 - r^2/2}, exactly: r * 0 is zero and r2 / 2 is exact.
  const Double2 head = MultiplyAdd::Apply(z, Double2{0.0, -0.5}, Double2{r, 1.0});
  const Double2 tail = {r * r2, r2 * r2};
  return MultiplyAdd::Apply(tail, p, head);
}

// True when d lies within 512 ulps of a point halfway between two floats,
// where the polynomial's error could round it to the other float (a double
// has 2^29 ulps per float ulp, so about one value in 500000 is that close).
// Holds for results that are normal floats, as all in the polynomial's range
// are.
inline bool NearFloatRoundingBoundary(double d) {
  std::uint64_t bits;
  std::memcpy(&bits, &d, sizeof bits);
  const std::uint32_t below_float = static_cast<std::uint32_t>(bits) & 0x1FFFFFFFu;
  return below_float - (0x10000000u - 512u) <= 1024u;
}

// The largest float at or below d, as bits, for positive d.
constexpr std::uint32_t FloatBitsAtOrBelow(double d) {
  const std::uint32_t bits = std::bit_cast<std::uint32_t>(static_cast<float>(d));
  return static_cast<double>(std::bit_cast<float>(bits)) > d ? bits - 1 : bits;
}

// The half angles the polynomial takes, 2^-60 to 2.35, and the largest float
// at most pi/4, where it runs unshifted.
inline constexpr std::uint32_t kPolynomialLowest = FloatBitsAtOrBelow(0x1p-60);
inline constexpr std::uint32_t kPolynomialHighest = FloatBitsAtOrBelow(2.35);
inline constexpr std::uint32_t kQuarterPiOrBelow = FloatBitsAtOrBelow(0.78539816339744831);

// Both lanes rounded to float and widened back, two instructions on x86-64
// where the compiler would convert lane by lane.
[[gnu::always_inline]] inline Double2 RoundedToFloat(Double2 d) {
#if defined(__SSE2__)
  return reinterpret_cast<Double2>(_mm_cvtps_pd(_mm_cvtpd_ps(reinterpret_cast<__m128d>(d))));
#else
  typedef float Float2 __attribute__((vector_size(8)));
  return __builtin_convertvector(__builtin_convertvector(d, Float2), Double2);
#endif
}

// {sin(half), cos(half)} from the polynomial, each rounded to float exactly
// as the C library's double sine and cosine rounded to float give them, or
// false where the polynomial cannot tell: field-of-view half angles (up to
// 135 degrees) take it, several times cheaper than the two library calls,
// and wherever no float rounding boundary lies within its error it rounds
// to the same floats as the library.
template <class MultiplyAdd>
[[gnu::always_inline]] inline bool PolynomialHalfAngle(float half, Double2* result) {
  // The range tests on the float's bits, in the integer unit and off the
  // chain of floating-point work: non-negative floats order as their bits.
  const std::uint32_t bits = std::bit_cast<std::uint32_t>(half);
  if (bits - kPolynomialLowest > kPolynomialHighest - kPolynomialLowest) return false;
  const double x = half;
  Double2 sc;
  if (bits <= kQuarterPiOrBelow) {
    sc = SineCosinePolynomial<MultiplyAdd>(x);
  } else {
    // x - pi/2 with pi/2 as two doubles; the first difference is exact.
    const Double2 shifted =
        SineCosinePolynomial<MultiplyAdd>((x - 1.5707963267948966) - 6.123233995736766e-17);
    sc = Double2{shifted[1], -shifted[0]};
  }
  if (NearFloatRoundingBoundary(sc[0]) || NearFloatRoundingBoundary(sc[1])) return false;
  *result = RoundedToFloat(sc);
  return true;
}

// cot(fovy / 2) is c / s with the half angle, its sine and its cosine each
// rounded to float, the quotient not. Depth: zn (or -zn) maps to 0, zf (or
// -zf) to 1, w takes z (or -z); _43 is derived from the unrounded _33.
[[gnu::always_inline]] inline KMMATRIX* FillPerspectiveFov(KMMATRIX* out, Double2 half,
                                                           float aspect, float zn, float zf,
                                                           bool right_handed) {
  const double h = half[1] / half[0];
  const double near = zn, far = zf;
  const double q = right_handed ? far / (near - far) : far / (far - near);
  for (float* row : out->m) {
    for (int c = 0; c < 4; ++c) row[c] = 0.0f;
  }
  out->_11 = static_cast<float>(h / aspect);
  out->_22 = static_cast<float>(h);
  out->_33 = static_cast<float>(q);
  out->_34 = right_handed ? -1.0f : 1.0f;
  out->_43 = static_cast<float>(right_handed ? near * q : -near * q);
  return out;
}

// The builder with the C library's sine and cosine: for half angles outside
// the polynomial's range and the rare results next to a rounding boundary.
// Out of line, so that the common path makes no call and keeps no frame.
[[gnu::noinline, gnu::cold]] inline KMMATRIX* LibraryPerspectiveFov(KMMATRIX* out, float fovy,
                                                                    float aspect, float zn,
                                                                    float zf, bool right_handed) {
  const double x = fovy * 0.5f;
  const Double2 half = RoundedToFloat(Double2{std::sin(x), std::cos(x)});
  return FillPerspectiveFov(out, half, aspect, zn, zf, right_handed);
}

template <class MultiplyAdd>
[[gnu::always_inline]] inline KMMATRIX* PerspectiveFov(KMMATRIX* out, float fovy, float aspect,
                                                       float zn, float zf, bool right_handed) {
  Double2 half;
  if (!PolynomialHalfAngle<MultiplyAdd>(fovy * 0.5f, &half)) [[unlikely]] {
    return LibraryPerspectiveFov(out, fovy, aspect, zn, zf, right_handed);
  }
  return FillPerspectiveFov(out, half, aspect, zn, zf, right_handed);
}

}  // namespace
}  // namespace kubik::view
