// AVX2 half-precision conversions, eight values per step. F16C converts
// every value whose half form is an IEEE one; the lanes where this
// library's halves differ are patched with the exact integer forms: in
// halves, exponent 31 is an ordinary exponent (up to 131008, saturating
// above); in floats below the normal half range, the bits below the
// denormal grid are dropped before rounding.
#include <cstdint>
#include <cstring>

#include "math/simd/avx2/common.h"
#include "math/simd/avx2/family.h"

namespace kubik::avx2 {
namespace {

// The reference's scalar forms, for the last few values.
std::uint16_t FloatBitsToHalf(std::uint32_t v) {
  const std::uint32_t a = v & 0x7fffffffu;
  const std::uint32_t sign = (v >> 16) & 0x8000u;
  if (a > 0x47ffefffu) return static_cast<std::uint16_t>(sign | 0x7fffu);
  if (a >= 0x38800000u) {
    return static_cast<std::uint16_t>(sign | ((a - 939520001u + ((a >> 13) & 1u)) >> 13));
  }
  const std::uint32_t k = 113u - (a >> 23);
  const std::uint32_t c = k < 24u ? ((a & 0x7fffffu) | 0x800000u) >> k : 0u;
  return static_cast<std::uint16_t>(sign | ((c + 4095u + ((c >> 13) & 1u)) >> 13));
}

std::uint32_t HalfToFloatBits(std::uint16_t h) {
  const std::uint32_t sign = static_cast<std::uint32_t>(h & 0x8000u) << 16;
  const std::uint32_t magnitude = h & 0x7fffu;
  if (magnitude >= 0x400u) return sign | ((magnitude << 13) + (112u << 23));
  // Zero or denormal: m * 2^-24 is exact in float.
  return sign | Bits(static_cast<float>(magnitude) * 0x1p-24f);
}

// All ones in the lanes whose half result is normal and below 65520: there
// the IEEE conversion rounds as this library does. Magnitudes from
// 0x38800000 up to 0x477ff000 (exclusive), offset so that they are the
// lowest signed integers: one compare.
__m256i IeeeLanes(__m256 f) {
  const __m256i a = _mm256_and_si256(_mm256_castps_si256(f), _mm256_set1_epi32(0x7fffffff));
  const __m256i offset = _mm256_add_epi32(a, _mm256_set1_epi32(0x47800000));
  return _mm256_cmpgt_epi32(_mm256_set1_epi32(static_cast<int>(0x8efff000u)), offset);
}

__m128i ToIeeeHalves(__m256 f) {
  return _mm256_cvtps_ph(f, _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
}

// Eight floats to halves, bit for bit as FloatBitsToHalf.
__m128i ToHalves(__m256 f) {
  const __m256i bits = _mm256_castps_si256(f);
  const __m256i a = _mm256_and_si256(bits, _mm256_set1_epi32(0x7fffffff));
  const __m256i one = _mm256_set1_epi32(1);
  const __m256i normal =
      _mm256_srli_epi32(_mm256_add_epi32(_mm256_sub_epi32(a, _mm256_set1_epi32(939520001)),
                                         _mm256_and_si256(_mm256_srli_epi32(a, 13), one)),
                        13);
  const __m256i mantissa = _mm256_or_si256(_mm256_and_si256(a, _mm256_set1_epi32(0x7fffff)),
                                           _mm256_set1_epi32(0x800000));
  // Shifts of 32 or more give 0, as the reference's test for 24 does.
  const __m256i shift = _mm256_sub_epi32(_mm256_set1_epi32(113), _mm256_srli_epi32(a, 23));
  const __m256i c = _mm256_srlv_epi32(mantissa, shift);
  const __m256i denormal =
      _mm256_srli_epi32(_mm256_add_epi32(_mm256_add_epi32(c, _mm256_set1_epi32(4095)),
                                         _mm256_and_si256(_mm256_srli_epi32(c, 13), one)),
                        13);
  const __m256i is_normal = _mm256_cmpgt_epi32(a, _mm256_set1_epi32(0x387fffff));
  const __m256i saturated = _mm256_cmpgt_epi32(a, _mm256_set1_epi32(0x47ffefff));
  __m256i h = _mm256_blendv_epi8(denormal, normal, is_normal);
  h = _mm256_blendv_epi8(h, _mm256_set1_epi32(0x7fff), saturated);
  h = _mm256_or_si256(h, _mm256_and_si256(_mm256_srli_epi32(bits, 16), _mm256_set1_epi32(0x8000)));
  const __m256i packed = _mm256_packus_epi32(h, h);
  return _mm256_castsi256_si128(_mm256_permute4x64_epi64(packed, _MM_SHUFFLE(3, 1, 2, 0)));
}

// All ones in the 16-bit lanes of halves with exponent 31, which IEEE
// reads as infinities and NaNs and this library as finite values.
__m128i Exponent31Lanes(__m128i h) {
  const __m128i top = _mm_set1_epi16(0x7c00);
  return _mm_cmpeq_epi16(_mm_and_si128(h, top), top);
}

// Eight halves to floats, bit for bit as HalfToFloatBits.
__m256 FromHalves(__m128i h) {
  const __m256 f = _mm256_cvtph_ps(h);
  const __m256i wide = _mm256_cvtepu16_epi32(h);
  const __m256i exponent_31 = _mm256_cvtepi16_epi32(Exponent31Lanes(h));
  const __m256i magnitude = _mm256_and_si256(wide, _mm256_set1_epi32(0x7fff));
  const __m256i patched = _mm256_or_si256(
      _mm256_add_epi32(_mm256_slli_epi32(magnitude, 13), _mm256_set1_epi32(112 << 23)),
      _mm256_slli_epi32(_mm256_and_si256(wide, _mm256_set1_epi32(0x8000)), 16));
  return _mm256_blendv_ps(f, _mm256_castsi256_ps(patched), _mm256_castsi256_ps(exponent_31));
}

}  // namespace

KMFLOAT16* KMFloat32To16Array(KMFLOAT16* out, const float* in, uint32_t n) {
  std::size_t i = 0;
  // Sixteen at a time with one test for both halves of the step.
  for (; i + 16 <= n; i += 16) {
    const __m256 low = _mm256_loadu_ps(in + i), high = _mm256_loadu_ps(in + i + 8);
    const __m256i ieee = _mm256_and_si256(IeeeLanes(low), IeeeLanes(high));
    const bool all_ieee = _mm256_movemask_ps(_mm256_castsi256_ps(ieee)) == 0xff;
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i),
                     all_ieee ? ToIeeeHalves(low) : ToHalves(low));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i + 8),
                     all_ieee ? ToIeeeHalves(high) : ToHalves(high));
  }
  for (; i + 8 <= n; i += 8) {
    const __m256 f = _mm256_loadu_ps(in + i);
    const bool all_ieee = _mm256_movemask_ps(_mm256_castsi256_ps(IeeeLanes(f))) == 0xff;
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), all_ieee ? ToIeeeHalves(f) : ToHalves(f));
  }
  for (; i < n; ++i) out[i].value = FloatBitsToHalf(Bits(in[i]));
  return out;
}

float* KMFloat16To32Array(float* out, const KMFLOAT16* in, uint32_t n) {
  std::size_t i = 0;
  // Sixteen at a time with one test for both halves of the step.
  for (; i + 16 <= n; i += 16) {
    const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
    const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i + 8));
    const __m128i patched = _mm_or_si128(Exponent31Lanes(low), Exponent31Lanes(high));
    const bool ieee = _mm_testz_si128(patched, patched);
    _mm256_storeu_ps(out + i, ieee ? _mm256_cvtph_ps(low) : FromHalves(low));
    _mm256_storeu_ps(out + i + 8, ieee ? _mm256_cvtph_ps(high) : FromHalves(high));
  }
  for (; i + 8 <= n; i += 8) {
    const __m128i h = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
    const __m128i patched = Exponent31Lanes(h);
    _mm256_storeu_ps(out + i,
                     _mm_testz_si128(patched, patched) ? _mm256_cvtph_ps(h) : FromHalves(h));
  }
  for (; i < n; ++i) {
    const std::uint32_t bits = HalfToFloatBits(in[i].value);
    std::memcpy(out + i, &bits, sizeof bits);
  }
  return out;
}

}  // namespace kubik::avx2
