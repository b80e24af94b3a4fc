// IEEE binary16 conversion with the ARM64 floating-point unit's conversions,
// four values at a time (part of the base architecture, so always available).
#include "math/half/ieee_half.h"

#if defined(__aarch64__)
#include <arm_neon.h>

#include <cstring>

namespace kubik::half {

void FloatsToHalvesNeon(std::uint16_t* out, const float* in, std::size_t n) {
  std::size_t i = 0;
  for (; i + 4 <= n; i += 4) {
    vst1_u16(out + i, vreinterpret_u16_f16(vcvt_f16_f32(vld1q_f32(in + i))));
  }
  for (; i < n; ++i) {
    const __fp16 half = static_cast<__fp16>(in[i]);
    std::memcpy(out + i, &half, sizeof half);
  }
}

void HalvesToFloatsNeon(float* out, const std::uint16_t* in, std::size_t n) {
  std::size_t i = 0;
  for (; i + 4 <= n; i += 4) {
    vst1q_f32(out + i, vcvt_f32_f16(vreinterpret_f16_u16(vld1_u16(in + i))));
  }
  for (; i < n; ++i) {
    __fp16 half;
    std::memcpy(&half, in + i, sizeof half);
    out[i] = static_cast<float>(half);
  }
}

}  // namespace kubik::half
#endif
