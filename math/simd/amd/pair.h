// The two-lane pair layer the 3DNow! family is written on.
//
// Two forms with one interface, chosen when a source is compiled:
//   native    the real instructions, where the compiler offers them
//             (-m3dnowa defines __3dNOW_A__);
//   portable  plain float code that gives the instructions' results, with
//             estimates cut to the instructions' documented accuracy.
// Each form lives in its own namespace, so objects of both forms can be
// linked into one program without their inline functions colliding.
//
// Operations are named after what they do; the instruction each stands for
// is given beside it. Ext* operations exist only on processors with the
// extended 3DNow! instructions and are for the extended overrides alone.
#pragma once

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>

#if defined(__3dNOW_A__) && !defined(KUBIK_PAIR_PORTABLE)
#include <mm3dnow.h>
#define KUBIK_AMD_FORM native
#define KUBIK_AMD_NATIVE 1
#else
#define KUBIK_AMD_FORM portable
#define KUBIK_AMD_NATIVE 0
#endif

namespace kubik::amd::KUBIK_AMD_FORM {

// Good bits of the estimates, as the instructions document them.
inline constexpr int kReciprocalEstimateBits = 14;
inline constexpr int kReciprocalSqrtEstimateBits = 15;

#if KUBIK_AMD_NATIVE

using Pair = __m64;

inline Pair Make(float lo, float hi) {
  const float v[2] = {lo, hi};
  Pair p;
  std::memcpy(&p, v, sizeof p);
  return p;
}
inline Pair MakeBits(std::uint32_t lo, std::uint32_t hi) {
  return _mm_set_pi32(static_cast<int>(hi), static_cast<int>(lo));
}
inline float Lo(Pair p) {
  float v[2];
  std::memcpy(v, &p, sizeof v);
  return v[0];
}
inline float Hi(Pair p) {
  float v[2];
  std::memcpy(v, &p, sizeof v);
  return v[1];
}

inline Pair Add(Pair a, Pair b) {
  return _m_pfadd(a, b);
}  // PFADD
inline Pair Sub(Pair a, Pair b) {
  return _m_pfsub(a, b);
}  // PFSUB
inline Pair Mul(Pair a, Pair b) {
  return _m_pfmul(a, b);
}  // PFMUL
inline Pair AddAcross(Pair a, Pair b) {
  return _m_pfacc(a, b);
}  // PFACC
inline Pair Greater(Pair a, Pair b) {
  return _m_pfcmpgt(a, b);
}  // PFCMPGT
inline Pair GreaterEqual(Pair a, Pair b) {
  return _m_pfcmpge(a, b);
}  // PFCMPGE
inline Pair And(Pair a, Pair b) {
  return _m_pand(a, b);
}  // PAND
inline Pair AndNot(Pair a, Pair b) {
  return _m_pandn(a, b);
}  // PANDN: ~a & b
inline Pair Xor(Pair a, Pair b) {
  return _m_pxor(a, b);
}  // PXOR
inline Pair LowLanes(Pair a, Pair b) {
  return _m_punpckldq(a, b);
}  // PUNPCKLDQ
inline Pair HighLanes(Pair a, Pair b) {
  return _m_punpckhdq(a, b);
}  // PUNPCKHDQ
inline Pair IntToFloat(Pair a) {
  return _m_pi2fd(a);
}  // PI2FD
inline Pair ReciprocalEstimate(Pair a) {
  return _m_pfrcp(a);
}  // PFRCP
inline Pair ReciprocalStep1(Pair a, Pair r) {
  return _m_pfrcpit1(a, r);
}  // PFRCPIT1
inline Pair ReciprocalStep2(Pair e, Pair r) {
  return _m_pfrcpit2(e, r);
}  // PFRCPIT2
inline Pair ReciprocalSqrtEstimate(Pair a) {
  return _m_pfrsqrt(a);
}  // PFRSQRT
inline Pair ReciprocalSqrtStep1(Pair a, Pair r2) {
  return _m_pfrsqit1(a, r2);
}  // PFRSQIT1
inline Pair ExtSwap(Pair a) {
  return _m_pswapd(a);
}  // PSWAPD
inline Pair ExtSubAcross(Pair a, Pair b) {
  return _m_pfnacc(a, b);
}  // PFNACC
inline Pair ExtSubAddAcross(Pair a, Pair b) {
  return _m_pfpnacc(a, b);
}  // PFPNACC
// FEMMS: leaves the packed state so that x87 code may follow.
inline void SwitchPackedState() {
  _m_femms();
}

#else

struct Pair {
  float lo, hi;
};

inline Pair Make(float lo, float hi) {
  return {lo, hi};
}
inline Pair MakeBits(std::uint32_t lo, std::uint32_t hi) {
  return {std::bit_cast<float>(lo), std::bit_cast<float>(hi)};
}
inline float Lo(Pair p) {
  return p.lo;
}
inline float Hi(Pair p) {
  return p.hi;
}

namespace detail {
inline std::uint32_t Bits(float f) {
  return std::bit_cast<std::uint32_t>(f);
}
inline float Float(std::uint32_t b) {
  return std::bit_cast<float>(b);
}
inline float Mask(bool set) {
  return Float(set ? 0xffffffffu : 0u);
}
template <class F>
inline Pair Bitwise(Pair a, Pair b, F f) {
  return {Float(f(Bits(a.lo), Bits(b.lo))), Float(f(Bits(a.hi), Bits(b.hi)))};
}
// x rounded to nearest at `bits` significant bits: the accuracy the
// instructions guarantee, and no more.
inline float Truncate(double x, int bits) {
  if (!std::isfinite(x) || x == 0) return static_cast<float>(x);
  int exponent;
  const double mantissa = std::frexp(x, &exponent);  // [0.5, 1)
  const double scale = std::ldexp(1.0, bits);
  return static_cast<float>(std::ldexp(std::nearbyint(mantissa * scale) / scale, exponent));
}
// A refinement step only improves a finite, nonzero estimate; the ends of
// the range (0 and infinity) pass through unchanged.
inline bool Refinable(float r) {
  return std::isfinite(r) && r != 0;
}
}  // namespace detail

inline Pair Add(Pair a, Pair b) {
  return {a.lo + b.lo, a.hi + b.hi};
}
inline Pair Sub(Pair a, Pair b) {
  return {a.lo - b.lo, a.hi - b.hi};
}
inline Pair Mul(Pair a, Pair b) {
  return {a.lo * b.lo, a.hi * b.hi};
}
inline Pair AddAcross(Pair a, Pair b) {
  return {a.lo + a.hi, b.lo + b.hi};
}
inline Pair Greater(Pair a, Pair b) {
  return {detail::Mask(a.lo > b.lo), detail::Mask(a.hi > b.hi)};
}
inline Pair GreaterEqual(Pair a, Pair b) {
  return {detail::Mask(a.lo >= b.lo), detail::Mask(a.hi >= b.hi)};
}
inline Pair And(Pair a, Pair b) {
  return detail::Bitwise(a, b, [](std::uint32_t x, std::uint32_t y) { return x & y; });
}
inline Pair AndNot(Pair a, Pair b) {
  return detail::Bitwise(a, b, [](std::uint32_t x, std::uint32_t y) { return ~x & y; });
}
inline Pair Xor(Pair a, Pair b) {
  return detail::Bitwise(a, b, [](std::uint32_t x, std::uint32_t y) { return x ^ y; });
}
inline Pair LowLanes(Pair a, Pair b) {
  return {a.lo, b.lo};
}
inline Pair HighLanes(Pair a, Pair b) {
  return {a.hi, b.hi};
}
inline Pair IntToFloat(Pair a) {
  return {static_cast<float>(static_cast<std::int32_t>(detail::Bits(a.lo))),
          static_cast<float>(static_cast<std::int32_t>(detail::Bits(a.hi)))};
}
// Like the instructions, the estimates read the low lane only and fill both.
inline Pair ReciprocalEstimate(Pair a) {
  const float r = detail::Truncate(1.0 / a.lo, kReciprocalEstimateBits);
  return {r, r};
}
// 1 - a * r, kept to more than single precision inside the instruction.
inline Pair ReciprocalStep1(Pair a, Pair r) {
  auto step = [](float x, float y) {
    return detail::Refinable(y) ? static_cast<float>(1.0 - static_cast<double>(x) * y) : 0.0f;
  };
  return {step(a.lo, r.lo), step(a.hi, r.hi)};
}
// r + r * e: completes a Newton-Raphson step begun by either step 1.
inline Pair ReciprocalStep2(Pair e, Pair r) {
  auto step = [](float x, float y) {
    return detail::Refinable(y)
               ? static_cast<float>(static_cast<double>(y) + static_cast<double>(y) * x)
               : y;
  };
  return {step(e.lo, r.lo), step(e.hi, r.hi)};
}
// 1/sqrt(|a|) with the sign of a, from the low lane.
inline Pair ReciprocalSqrtEstimate(Pair a) {
  const float r =
      std::copysign(detail::Truncate(1.0 / std::sqrt(std::fabs(static_cast<double>(a.lo))),
                                     kReciprocalSqrtEstimateBits),
                    a.lo);
  return {r, r};
}
// (1 - a * r2) / 2, where r2 is the estimate squared.
inline Pair ReciprocalSqrtStep1(Pair a, Pair r2) {
  auto step = [](float x, float y) {
    return detail::Refinable(y) ? static_cast<float>((1.0 - static_cast<double>(x) * y) * 0.5)
                                : 0.0f;
  };
  return {step(a.lo, r2.lo), step(a.hi, r2.hi)};
}
inline Pair ExtSwap(Pair a) {
  return {a.hi, a.lo};
}
inline Pair ExtSubAcross(Pair a, Pair b) {
  return {a.lo - a.hi, b.lo - b.hi};
}
inline Pair ExtSubAddAcross(Pair a, Pair b) {
  return {a.lo - a.hi, b.lo + b.hi};
}
inline void SwitchPackedState() {}

#endif

// ---- Forms shared by both -----------------------------------------------------

inline Pair Splat(float x) {
  return Make(x, x);
}
inline Pair Load(const float* p) {
  float v[2];
  std::memcpy(v, p, sizeof v);
  return Make(v[0], v[1]);
}
// (p[0], 0): a 4-byte load.
inline Pair LoadLow(const float* p) {
  return Make(*p, 0.0f);
}
inline void Store(float* p, Pair v) {
  const float lanes[2] = {Lo(v), Hi(v)};
  std::memcpy(p, lanes, sizeof lanes);
}
inline void StoreLow(float* p, Pair v) {
  *p = Lo(v);
}
// Both lanes hold a.lo (a.hi).
inline Pair SplatLo(Pair a) {
  return LowLanes(a, a);
}
inline Pair SplatHi(Pair a) {
  return HighLanes(a, a);
}
// The lanes exchanged without the extended instruction.
inline Pair Swap(Pair a) {
  return LowLanes(HighLanes(a, a), a);
}
// The sum of the two lanes, in both lanes.
inline Pair HorizontalAdd(Pair a) {
  return AddAcross(a, a);
}
inline Pair Negate(Pair a) {
  return Xor(a, MakeBits(0x80000000u, 0x80000000u));
}

// 1/x of the low lane, in both lanes, to full single precision: the
// estimate and both steps of the reciprocal refinement. No zero test.
inline Pair Reciprocal(Pair x) {
  const Pair r0 = ReciprocalEstimate(x);
  return ReciprocalStep2(ReciprocalStep1(x, r0), r0);
}
// 1/sqrt(x) of the low lane, in both lanes, to full single precision.
inline Pair ReciprocalSqrt(Pair x) {
  const Pair y0 = ReciprocalSqrtEstimate(x);
  return ReciprocalStep2(ReciprocalSqrtStep1(x, Mul(y0, y0)), y0);
}

// Brackets every routine of the family: the packed state is switched on
// entry and again on the way out.
class PackedScope {
 public:
  PackedScope() { SwitchPackedState(); }
  ~PackedScope() { SwitchPackedState(); }
  PackedScope(const PackedScope&) = delete;
  PackedScope& operator=(const PackedScope&) = delete;
};

}  // namespace kubik::amd::KUBIK_AMD_FORM
