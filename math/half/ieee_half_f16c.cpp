// IEEE binary16 conversion with the F16C instructions, eight values at a time.
// Built with F16C and AVX enabled, so only reached after F16cAvailable().
#include "math/half/ieee_half.h"

#if defined(__x86_64__)
#include <immintrin.h>

namespace kubik::half {

void FloatsToHalvesF16c(std::uint16_t* out, const float* in, std::size_t n) {
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    const __m128i halves = _mm256_cvtps_ph(_mm256_loadu_ps(in + i), _MM_FROUND_TO_NEAREST_INT);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), halves);
  }
  for (; i < n; ++i) {
    const __m128i half = _mm_cvtps_ph(_mm_set_ss(in[i]), _MM_FROUND_TO_NEAREST_INT);
    out[i] = static_cast<std::uint16_t>(_mm_extract_epi16(half, 0));
  }
}

void HalvesToFloatsF16c(float* out, const std::uint16_t* in, std::size_t n) {
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    const __m128i halves = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
    _mm256_storeu_ps(out + i, _mm256_cvtph_ps(halves));
  }
  for (; i < n; ++i) out[i] = _mm_cvtss_f32(_mm_cvtph_ps(_mm_cvtsi32_si128(in[i])));
}

}  // namespace kubik::half
#endif
