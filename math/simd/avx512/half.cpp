// AVX-512 half-precision conversions, sixteen values per step and none one
// at a time. As in the AVX2 family, the hardware conversion covers the
// values whose half form is an IEEE one and the other lanes are patched with
// the exact integer forms.
#include <immintrin.h>

#include <cstddef>
#include <cstdint>

#include "math/simd/avx512/family.h"

namespace kubik::avx512 {
namespace {

__m256i ToHalves(__m512 f) {
  const __m512i bits = _mm512_castps_si512(f);
  const __m512i a = _mm512_and_si512(bits, _mm512_set1_epi32(0x7fffffff));
  const __mmask16 is_normal = _mm512_cmpgt_epi32_mask(a, _mm512_set1_epi32(0x387fffff));
  const __mmask16 ieee = _mm512_mask_cmpgt_epi32_mask(is_normal, _mm512_set1_epi32(0x477ff000), a);
  if (ieee == 0xffff) return _mm512_cvtps_ph(f, _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
  const __m512i one = _mm512_set1_epi32(1);
  const __m512i normal =
      _mm512_srli_epi32(_mm512_add_epi32(_mm512_sub_epi32(a, _mm512_set1_epi32(939520001)),
                                         _mm512_and_si512(_mm512_srli_epi32(a, 13), one)),
                        13);
  const __m512i mantissa = _mm512_or_si512(_mm512_and_si512(a, _mm512_set1_epi32(0x7fffff)),
                                           _mm512_set1_epi32(0x800000));
  // Shifts of 32 or more give 0, as the reference's test for 24 does.
  const __m512i c = _mm512_srlv_epi32(
      mantissa, _mm512_sub_epi32(_mm512_set1_epi32(113), _mm512_srli_epi32(a, 23)));
  const __m512i denormal =
      _mm512_srli_epi32(_mm512_add_epi32(_mm512_add_epi32(c, _mm512_set1_epi32(4095)),
                                         _mm512_and_si512(_mm512_srli_epi32(c, 13), one)),
                        13);
  __m512i h = _mm512_mask_blend_epi32(is_normal, denormal, normal);
  h = _mm512_mask_blend_epi32(_mm512_cmpgt_epi32_mask(a, _mm512_set1_epi32(0x47ffefff)), h,
                              _mm512_set1_epi32(0x7fff));
  h = _mm512_or_si512(h, _mm512_and_si512(_mm512_srli_epi32(bits, 16), _mm512_set1_epi32(0x8000)));
  return _mm512_cvtepi32_epi16(h);
}

__m512 FromHalves(__m256i h) {
  const __m512 f = _mm512_cvtph_ps(h);
  const __m512i wide = _mm512_cvtepu16_epi32(h);
  const __m512i top = _mm512_set1_epi32(0x7c00);
  const __mmask16 exponent_31 = _mm512_cmpeq_epi32_mask(_mm512_and_si512(wide, top), top);
  if (exponent_31 == 0) return f;
  const __m512i magnitude = _mm512_and_si512(wide, _mm512_set1_epi32(0x7fff));
  const __m512i patched = _mm512_or_si512(
      _mm512_add_epi32(_mm512_slli_epi32(magnitude, 13), _mm512_set1_epi32(112 << 23)),
      _mm512_slli_epi32(_mm512_and_si512(wide, _mm512_set1_epi32(0x8000)), 16));
  return _mm512_mask_blend_ps(exponent_31, f, _mm512_castsi512_ps(patched));
}

__mmask16 FirstLanes(std::size_t count) {
  return static_cast<__mmask16>((1u << count) - 1u);
}

// Lanes from `skip` on.
__mmask16 LanesFrom(std::size_t skip) {
  return static_cast<__mmask16>(0xffffu << skip);
}

}  // namespace

// Arrays shorter than a step go under a mask (masked-off lanes are neither
// read nor written). Longer ones end with the step that ends with the array,
// storing only its values not yet written: a masked access reaching past an
// array spans bytes that may just have been stored (an output array that
// follows the input, say), and the load then waits for those stores to
// complete, several times the cost of a short conversion.
KMFLOAT16* KMFloat32To16Array(KMFLOAT16* out, const float* in, uint32_t n) {
  if (n < 16) {
    const __mmask16 lanes = FirstLanes(n);
    _mm256_mask_storeu_epi16(out, lanes, ToHalves(_mm512_maskz_loadu_ps(lanes, in)));
    return out;
  }
  std::size_t i = 0;
  for (; i + 16 <= n; i += 16) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), ToHalves(_mm512_loadu_ps(in + i)));
  }
  if (i < n) {
    const std::size_t last = n - 16;
    _mm256_mask_storeu_epi16(out + last, LanesFrom(i - last), ToHalves(_mm512_loadu_ps(in + last)));
  }
  return out;
}

float* KMFloat16To32Array(float* out, const KMFLOAT16* in, uint32_t n) {
  if (n < 16) {
    const __mmask16 lanes = FirstLanes(n);
    _mm512_mask_storeu_ps(out, lanes, FromHalves(_mm256_maskz_loadu_epi16(lanes, in)));
    return out;
  }
  std::size_t i = 0;
  for (; i + 16 <= n; i += 16) {
    _mm512_storeu_ps(out + i,
                     FromHalves(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + i))));
  }
  if (i < n) {
    const std::size_t last = n - 16;
    _mm512_mask_storeu_ps(
        out + last, LanesFrom(i - last),
        FromHalves(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + last))));
  }
  return out;
}

}  // namespace kubik::avx512
