// Half-precision conversions of the NEON family, bit for bit the
// reference's. The hardware converts the lanes where its IEEE half agrees
// with this library's format; the others are patched with the reference's
// integer steps in lanes:
//   - float to half: magnitudes from 65520 up (exponent 31 is finite here,
//     saturating at 131008) and below the smallest normal half (the bits
//     below the denormal grid are dropped before rounding here);
//   - half to float: exponent 31 (finite here, infinity or NaN in IEEE).
// The hardware rounds as the floating-point control register says; under
// any mode but the default (round to nearest, no flushing, IEEE half) the
// integer steps convert every lane.
#include <arm_neon.h>

#include <cstdint>
#include <cstring>

#include "math/simd/neon/family.h"

namespace kubik::neon {
namespace {

// FPCR: AHP (26), FZ (24), RMode (23:22), FZ16 (19).
constexpr std::uint64_t kFpcrConversionBits = (1u << 26) | (1u << 24) | (3u << 22) | (1u << 19);

bool HardwareConverts() {
  return (__builtin_aarch64_get_fpcr64() & kFpcrConversionBits) == 0;
}

// The reference's float-to-half steps for four lanes of float bits.
uint16x4_t FloatBitsToHalf(uint32x4_t v, bool use_hardware) {
  const uint32x4_t a = vandq_u32(v, vdupq_n_u32(0x7fffffffu));
  const uint32x4_t sign = vandq_u32(vshrq_n_u32(v, 16), vdupq_n_u32(0x8000u));
  // Normal halves, exponent 31 included: rebias and round to nearest even.
  const uint32x4_t lowest_kept = vandq_u32(vshrq_n_u32(a, 13), vdupq_n_u32(1u));
  const uint32x4_t normal =
      vshrq_n_u32(vaddq_u32(vsubq_u32(a, vdupq_n_u32(939520001u)), lowest_kept), 13);
  // Denormal halves: the mantissa with its hidden bit shifted right by
  // 113 - exponent (the bits below the grid drop off), then rounded.
  const uint32x4_t mantissa =
      vorrq_u32(vandq_u32(a, vdupq_n_u32(0x7fffffu)), vdupq_n_u32(0x800000u));
  const int32x4_t right_shift =
      vsubq_s32(vreinterpretq_s32_u32(vshrq_n_u32(a, 23)), vdupq_n_s32(113));
  // A shift of 24 or more leaves nothing; clamp so the count fits a byte.
  const uint32x4_t shifted = vshlq_u32(mantissa, vmaxq_s32(right_shift, vdupq_n_s32(-32)));
  const uint32x4_t denormal =
      vshrq_n_u32(vaddq_u32(vaddq_u32(shifted, vdupq_n_u32(4095u)),
                            vandq_u32(vshrq_n_u32(shifted, 13), vdupq_n_u32(1u))),
                  13);
  uint32x4_t magnitude = vbslq_u32(vcgeq_u32(a, vdupq_n_u32(0x38800000u)), normal, denormal);
  // From the midpoint above 131008 on, infinities and NaNs: saturate.
  magnitude = vbslq_u32(vcgtq_u32(a, vdupq_n_u32(0x47ffefffu)), vdupq_n_u32(0x7fffu), magnitude);
  if (use_hardware) {
    // Normal IEEE halves below the first value IEEE rounds to infinity.
    const uint32x4_t agrees =
        vandq_u32(vcgeq_u32(a, vdupq_n_u32(0x38800000u)), vcltq_u32(a, vdupq_n_u32(0x477ff000u)));
    const uint16x4_t hardware = vreinterpret_u16_f16(vcvt_f16_f32(vreinterpretq_f32_u32(v)));
    const uint16x4_t patched = vmovn_u32(vorrq_u32(sign, magnitude));
    return vbsl_u16(vmovn_u32(agrees), hardware, patched);
  }
  return vmovn_u32(vorrq_u32(sign, magnitude));
}

// The reference's half-to-float steps for four lanes of half bits.
uint32x4_t HalfBitsToFloat(uint16x4_t h, bool use_hardware) {
  const uint32x4_t bits = vmovl_u16(h);
  const uint32x4_t sign = vshlq_n_u32(vandq_u32(bits, vdupq_n_u32(0x8000u)), 16);
  const uint32x4_t exponent = vandq_u32(bits, vdupq_n_u32(0x7c00u));
  // Normal halves, exponent 31 included: rebias by 112.
  const uint32x4_t normal =
      vaddq_u32(vshlq_n_u32(vandq_u32(bits, vdupq_n_u32(0x7fffu)), 13), vdupq_n_u32(112u << 23));
  if (use_hardware) {
    // Everything but exponent 31 converts exactly in hardware, denormals
    // and zeros included.
    const uint32x4_t hardware = vreinterpretq_u32_f32(vcvt_f32_f16(vreinterpret_f16_u16(h)));
    const uint32x4_t top = vceqq_u32(exponent, vdupq_n_u32(0x7c00u));
    return vbslq_u32(top, vorrq_u32(sign, normal), hardware);
  }
  // Denormal halves: shift the mantissa up until its bit 10 is set,
  // counting the shifts j; the exponent is then 113 - j.
  const uint32x4_t mantissa = vandq_u32(bits, vdupq_n_u32(0x3ffu));
  const int32x4_t j = vsubq_s32(vreinterpretq_s32_u32(vclzq_u32(mantissa)), vdupq_n_s32(21));
  const uint32x4_t denormal =
      vorrq_u32(vshlq_n_u32(vreinterpretq_u32_s32(vsubq_s32(vdupq_n_s32(113), j)), 23),
                vshlq_n_u32(vandq_u32(vshlq_u32(mantissa, j), vdupq_n_u32(0x3ffu)), 13));
  const uint32x4_t zero_mantissa = vceqq_u32(mantissa, vdupq_n_u32(0));
  const uint32x4_t small = vbslq_u32(zero_mantissa, vdupq_n_u32(0), denormal);
  const uint32x4_t zero_exponent = vceqq_u32(exponent, vdupq_n_u32(0));
  return vorrq_u32(sign, vbslq_u32(zero_exponent, small, normal));
}

}  // namespace

KMFLOAT16* KMFloat32To16Array(KMFLOAT16* out, const float* in, uint32_t n) {
  static_assert(sizeof(KMFLOAT16) == sizeof(std::uint16_t));
  const bool use_hardware = HardwareConverts();
  auto* to = reinterpret_cast<std::uint16_t*>(out);
  uint32_t i = 0;
  for (; n - i >= 4; i += 4) {
    vst1_u16(to + i, FloatBitsToHalf(vreinterpretq_u32_f32(vld1q_f32(in + i)), use_hardware));
  }
  if (i < n) {
    // The tail through a small buffer: only the given elements are touched.
    std::uint32_t lanes[4] = {};
    std::uint16_t halves[4];
    std::memcpy(lanes, in + i, (n - i) * sizeof(float));
    vst1_u16(halves, FloatBitsToHalf(vld1q_u32(lanes), use_hardware));
    std::memcpy(to + i, halves, (n - i) * sizeof(std::uint16_t));
  }
  return out;
}

float* KMFloat16To32Array(float* out, const KMFLOAT16* in, uint32_t n) {
  const bool use_hardware = HardwareConverts();
  const auto* from = reinterpret_cast<const std::uint16_t*>(in);
  uint32_t i = 0;
  for (; n - i >= 4; i += 4) {
    vst1q_f32(out + i, vreinterpretq_f32_u32(HalfBitsToFloat(vld1_u16(from + i), use_hardware)));
  }
  if (i < n) {
    std::uint16_t halves[4] = {};
    std::uint32_t lanes[4];
    std::memcpy(halves, from + i, (n - i) * sizeof(std::uint16_t));
    vst1q_u32(lanes, HalfBitsToFloat(vld1_u16(halves), use_hardware));
    std::memcpy(out + i, lanes, (n - i) * sizeof(float));
  }
  return out;
}

}  // namespace kubik::neon
