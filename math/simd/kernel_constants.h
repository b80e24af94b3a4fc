// Constants of the single-precision trigonometric kernels. Each value is
// written in decimal and checked against its bit pattern, so a typo in
// either cannot slip through.
#pragma once

#include <bit>
#include <cstdint>

namespace kubik::kernels {

namespace detail {
constexpr bool HasBits(float value, std::uint32_t bits) {
  return std::bit_cast<std::uint32_t>(value) == bits;
}
}  // namespace detail

// Packed sine and cosine.
inline constexpr float kTwoOverPi = 0.6366197466850281f;
inline constexpr float kRoundingBias = 8388608.0f;  // 2^23
// pi/2 in four parts; the first three have few enough bits that k * part is
// exact for every quadrant number the reduction is meant for.
inline constexpr float kHalfPi1 = 1.5703125f;
inline constexpr float kHalfPi2 = 0.0004837512969970703f;
inline constexpr float kHalfPi3 = 7.549533620476723e-08f;
inline constexpr float kHalfPi4 = 2.5633440682570896e-12f;
inline constexpr float kSine1 = -0.16666655242443085f;
inline constexpr float kSine2 = 0.00833216030150652f;
inline constexpr float kSine3 = -0.00019515282474458218f;
inline constexpr float kCosine1 = 0.04166664555668831f;
inline constexpr float kCosine2 = -0.0013887316454201937f;
inline constexpr float kCosine3 = 2.44331567955669e-05f;
inline constexpr std::uint32_t kMagnitudeMask = 0x7fffffff;
inline constexpr std::uint32_t kSignMask = 0x80000000;
inline constexpr std::uint32_t kQuadrantMask = 0x007fffff;

static_assert(detail::HasBits(kTwoOverPi, 0x3f22f983));
static_assert(detail::HasBits(kRoundingBias, 0x4b000000));
static_assert(detail::HasBits(kHalfPi1, 0x3fc90000));
static_assert(detail::HasBits(kHalfPi2, 0x39fda000));
static_assert(detail::HasBits(kHalfPi3, 0x33a22000));
static_assert(detail::HasBits(kHalfPi4, 0x2c34611a));
static_assert(detail::HasBits(kSine1, 0xbe2aaaa3));
static_assert(detail::HasBits(kSine2, 0x3c08839d));
static_assert(detail::HasBits(kSine3, 0xb94ca1f0));
static_assert(detail::HasBits(kCosine1, 0x3d2aaaa5));
static_assert(detail::HasBits(kCosine2, 0xbab6061a));
static_assert(detail::HasBits(kCosine3, 0x37ccf5ce));

// Scalar sine and cosine.
inline constexpr float kFourOverPi = 1.2732394933700562f;
inline constexpr float kMinusQuarterPi1 = -0.78515625f;
inline constexpr float kMinusQuarterPi2 = -0.00024191339616663754f;
inline constexpr float kQuarterPi = 0.7853981852531433f;
inline constexpr float kCosineFactor2 = -1.0f / 2.0f;
inline constexpr float kCosineFactor12 = -1.0f / 12.0f;
inline constexpr float kCosineFactor30 = -1.0f / 30.0f;
inline constexpr float kCosineFactor56 = -1.0f / 56.0f;
inline constexpr float kSineFactor6 = -1.0f / 6.0f;
inline constexpr float kSineFactor20 = -1.0f / 20.0f;
inline constexpr float kSineFactor42 = -1.0f / 42.0f;

static_assert(detail::HasBits(kFourOverPi, 0x3fa2f983));
static_assert(detail::HasBits(kMinusQuarterPi1, 0xbf490000));
static_assert(detail::HasBits(kMinusQuarterPi2, 0xb97daa22));
static_assert(detail::HasBits(kQuarterPi, 0x3f490fdb));
static_assert(detail::HasBits(kCosineFactor2, 0xbf000000));
static_assert(detail::HasBits(kCosineFactor12, 0xbdaaaaab));
static_assert(detail::HasBits(kCosineFactor30, 0xbd088889));
static_assert(detail::HasBits(kCosineFactor56, 0xbc924925));
static_assert(detail::HasBits(kSineFactor6, 0xbe2aaaab));
static_assert(detail::HasBits(kSineFactor20, 0xbd4ccccd));
static_assert(detail::HasBits(kSineFactor42, 0xbcc30c31));

// Scalar arc cosine.
inline constexpr float kArcCosineThreshold = 0.574999988079071f;
inline constexpr float kArcCosineA = -0.5011622905731201f;
inline constexpr float kArcCosineB = 0.9152014851570129f;
inline constexpr float kArcCosineC = -5.478654384613037f;
inline constexpr float kArcCosineD = 5.491230487823486f;
inline constexpr float kHalfPi = 1.5707963705062866f;
inline constexpr float kMinusHalfPi = -1.5707963705062866f;

static_assert(detail::HasBits(kArcCosineThreshold, 0x3f133333));
static_assert(detail::HasBits(kArcCosineA, 0xbf004c2c));
static_assert(detail::HasBits(kArcCosineB, 0x3f6a4aa5));
static_assert(detail::HasBits(kArcCosineC, 0xc0af5123));
static_assert(detail::HasBits(kArcCosineD, 0x40afb829));
static_assert(detail::HasBits(kHalfPi, 0x3fc90fdb));
static_assert(detail::HasBits(kMinusHalfPi, 0xbfc90fdb));

// Scalar arc tangent.
inline constexpr float kArcTangentP2 = -0.8233629465103149f;
inline constexpr float kArcTangentP1 = -5.674867153167725f;
inline constexpr float kArcTangentP0 = -6.565555095672607f;
inline constexpr float kArcTangentQ2 = 11.33538818359375f;
inline constexpr float kArcTangentQ1 = 28.84246826171875f;
inline constexpr float kArcTangentQ0 = 19.696670532226562f;

static_assert(detail::HasBits(kArcTangentP2, 0xbf52c7ea));
static_assert(detail::HasBits(kArcTangentP1, 0xc0b59883));
static_assert(detail::HasBits(kArcTangentP0, 0xc0d21907));
static_assert(detail::HasBits(kArcTangentQ2, 0x41355dc0));
static_assert(detail::HasBits(kArcTangentQ1, 0x41e6bd60));
static_assert(detail::HasBits(kArcTangentQ0, 0x419d92c8));

}  // namespace kubik::kernels
