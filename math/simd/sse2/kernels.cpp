// PackedSineCosine with the quadrant arithmetic in 128-bit integer lanes.
#include <emmintrin.h>

#include "math/simd/sse/packed_sine_cosine.h"
#include "math/simd/sse2/family.h"

namespace kubik::sse2 {

void PackedSineCosine(const float* angles, float* sines, float* cosines) {
  using namespace kubik::kernels;
  const PackedPolynomials p = EvaluatePackedPolynomials(_mm_load_ps(angles));

  const __m128i one = _mm_set1_epi32(1);
  const __m128i two = _mm_set1_epi32(2);
  const __m128i q =
      _mm_and_si128(_mm_castps_si128(p.biased), _mm_set1_epi32(static_cast<int>(kQuadrantMask)));
  const __m128i o = _mm_and_si128(q, one);
  const __m128i odd = _mm_cmpeq_epi32(o, one);
  const __m128i sine_sign = _mm_slli_epi32(_mm_and_si128(_mm_sub_epi32(q, o), two), 30);
  const __m128i cosine_sign = _mm_slli_epi32(_mm_and_si128(_mm_add_epi32(q, o), two), 30);
  SelectAndStore(p, _mm_castsi128_ps(odd), _mm_castsi128_ps(sine_sign),
                 _mm_castsi128_ps(cosine_sign), sines, cosines);
}

}  // namespace kubik::sse2
