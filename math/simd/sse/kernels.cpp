// PackedSineCosine for processors with SSE but not SSE2: SSE has no 128-bit
// integer operations, so the quadrant arithmetic runs lane by lane on a
// 16-byte-aligned scratch area.
#include <bit>
#include <cstdint>

#include "math/simd/sse/family.h"
#include "math/simd/sse/packed_sine_cosine.h"

namespace kubik::sse {

void PackedSineCosine(const float* angles, float* sines, float* cosines) {
  using namespace kubik::kernels;
  const PackedPolynomials p = EvaluatePackedPolynomials(_mm_load_ps(angles));

  alignas(16) float biased[4];
  alignas(16) float odd[4];
  alignas(16) float sine_sign[4];
  alignas(16) float cosine_sign[4];
  _mm_store_ps(biased, p.biased);
  for (int lane = 0; lane < 4; ++lane) {
    const std::uint32_t q = std::bit_cast<std::uint32_t>(biased[lane]) & kQuadrantMask;
    const std::uint32_t o = q & 1;
    odd[lane] = std::bit_cast<float>(0u - o);
    sine_sign[lane] = std::bit_cast<float>(((q - o) & 2) << 30);
    cosine_sign[lane] = std::bit_cast<float>(((q + o) & 2) << 30);
  }
  SelectAndStore(p, _mm_load_ps(odd), _mm_load_ps(sine_sign), _mm_load_ps(cosine_sign), sines,
                 cosines);
}

}  // namespace kubik::sse
