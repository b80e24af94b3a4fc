// The F16C conversions, eight values per instruction: the hardware bound for
// the half arrays. Compiled with -mf16c; called only after CPUID says F16C.
// IEEE halves give exponent 31 to infinities and NaNs, where this library's
// halves treat it as an ordinary exponent; the benchmark data avoids it.
#include <immintrin.h>

#include <cstdint>

namespace peers {

void F16cFloat32To16(std::uint16_t* out, const float* in, std::uint32_t n) {
  std::uint32_t i = 0;
  for (; i + 8 <= n; i += 8) {
    const __m128i h = _mm256_cvtps_ph(_mm256_loadu_ps(in + i), _MM_FROUND_TO_NEAREST_INT);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), h);
  }
  for (; i < n; ++i) out[i] = _cvtss_sh(in[i], _MM_FROUND_TO_NEAREST_INT);
}

void F16cFloat16To32(float* out, const std::uint16_t* in, std::uint32_t n) {
  std::uint32_t i = 0;
  for (; i + 8 <= n; i += 8) {
    const __m128i h = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
    _mm256_storeu_ps(out + i, _mm256_cvtph_ps(h));
  }
  for (; i < n; ++i) out[i] = _cvtsh_ss(in[i]);
}

}  // namespace peers
