// The AMD SSE array transforms (slots 59 to 65, 68). The count is taken as
// a signed 32-bit number: n <= 0 does nothing.
//
// These are installed whenever the processor has SSE, with or without
// 3DNow!, so they never execute a 3DNow! instruction: short arrays and
// single elements go through this file's own one-element path, which does
// the arithmetic of a four-element block in one lane and so gives the same
// bits as the block would.
#include <xmmintrin.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "math/simd/amd/family.h"

namespace kubik::amd::sse_arrays {
namespace {

std::int32_t SignedCount(std::uint32_t n) {
  return static_cast<std::int32_t>(n);
}

// Vec3, Vec4 and plane arrays: one element at a time on whole matrix rows,
// (x row1 + y row2) + (z row3 + row4), or w row4 for four components.
template <int N, class Out, class In>
Out* TransformRows(Out* out, std::uint32_t out_stride, const In* v, std::uint32_t v_stride,
                   const KMMATRIX* m, std::uint32_t n) {
  static_assert(sizeof(Out) == 16 && sizeof(In) == N * sizeof(float));
  const std::int32_t count = SignedCount(n);
  if (count <= 0) return out;
  const __m128 r1 = _mm_loadu_ps(m->m[0]), r2 = _mm_loadu_ps(m->m[1]);
  const __m128 r3 = _mm_loadu_ps(m->m[2]), r4 = _mm_loadu_ps(m->m[3]);
  auto* out_bytes = reinterpret_cast<unsigned char*>(out);
  const auto* in_bytes = reinterpret_cast<const unsigned char*>(v);
  for (std::int32_t i = 0; i < count; ++i) {
    float in[4] = {0, 0, 0, 1};
    std::memcpy(in, in_bytes + static_cast<std::size_t>(i) * v_stride, sizeof(In));
    const __m128 xy =
        _mm_add_ps(_mm_mul_ps(_mm_set1_ps(in[0]), r1), _mm_mul_ps(_mm_set1_ps(in[1]), r2));
    const __m128 zw =
        N == 4 ? _mm_add_ps(_mm_mul_ps(_mm_set1_ps(in[2]), r3), _mm_mul_ps(_mm_set1_ps(in[3]), r4))
               : _mm_add_ps(_mm_mul_ps(_mm_set1_ps(in[2]), r3), r4);
    float result[4];
    _mm_storeu_ps(result, _mm_add_ps(xy, zw));
    std::memcpy(out_bytes + static_cast<std::size_t>(i) * out_stride, result, sizeof result);
  }
  return out;
}

enum class Form { kPoint, kCoord, kNormal };

// The other five: four elements per step in structure-of-arrays form.
template <int InN, Form F>
class Blocks {
 public:
  static constexpr int kOutN = F == Form::kPoint ? 4 : InN;
  static constexpr int kColumns = F == Form::kNormal ? InN : 4;

  explicit Blocks(const KMMATRIX* m) {
    for (int i = 0; i < 4; ++i) {
      for (int j = 0; j < 4; ++j) element_[i][j] = _mm_set1_ps(m->m[i][j]);
    }
  }

  // Transforms the elements at in[0..3] and stores the first `store` of
  // them at out[0..].
  void Run(const unsigned char* const (&in)[4], unsigned char* const (&out)[4], int store) const {
    float gathered[3][4] = {};
    for (int lane = 0; lane < 4; ++lane) {
      float element[InN];
      std::memcpy(element, in[lane], sizeof element);
      for (int c = 0; c < InN; ++c) gathered[c][lane] = element[c];
    }
    const __m128 x = _mm_loadu_ps(gathered[0]), y = _mm_loadu_ps(gathered[1]);
    const __m128 z = _mm_loadu_ps(gathered[2]);
    __m128 column[4];
    for (int j = 0; j < kColumns; ++j) {
      __m128 sum = _mm_add_ps(_mm_mul_ps(x, element_[0][j]), _mm_mul_ps(y, element_[1][j]));
      if constexpr (InN == 3) sum = _mm_add_ps(sum, _mm_mul_ps(z, element_[2][j]));
      if constexpr (F != Form::kNormal) sum = _mm_add_ps(sum, element_[3][j]);
      column[j] = sum;
    }
    if constexpr (F == Form::kCoord) {
      // 1/w: the estimate refined by one Newton step, (r0 + r0) - (r0 r0) w.
      const __m128 w = column[3];
      const __m128 r0 = _mm_rcp_ps(w);
      const __m128 r = _mm_sub_ps(_mm_add_ps(r0, r0), _mm_mul_ps(_mm_mul_ps(r0, r0), w));
      for (int j = 0; j < kOutN; ++j) column[j] = _mm_mul_ps(column[j], r);
    }
    float scattered[4][4];
    for (int j = 0; j < kOutN; ++j) _mm_storeu_ps(scattered[j], column[j]);
    for (int lane = 0; lane < store; ++lane) {
      float element[kOutN];
      for (int j = 0; j < kOutN; ++j) element[j] = scattered[j][lane];
      std::memcpy(out[lane], element, sizeof element);
    }
  }

 private:
  __m128 element_[4][4];
};

template <int InN, Form F, class Out, class In>
Out* TransformBlocks(Out* out, std::uint32_t out_stride, const In* v, std::uint32_t v_stride,
                     const KMMATRIX* m, std::uint32_t n) {
  using Block = Blocks<InN, F>;
  static_assert(sizeof(In) == InN * sizeof(float) && sizeof(Out) == Block::kOutN * sizeof(float));
  const std::int32_t count = SignedCount(n);
  if (count <= 0) return out;
  const Block block(m);
  auto* out_bytes = reinterpret_cast<unsigned char*>(out);
  const auto* in_bytes = reinterpret_cast<const unsigned char*>(v);
  auto in_at = [&](std::int32_t i) { return in_bytes + static_cast<std::size_t>(i) * v_stride; };
  auto out_at = [&](std::int32_t i) {
    return out_bytes + static_cast<std::size_t>(i) * out_stride;
  };
  auto one = [&](std::int32_t i) {
    const unsigned char* const in4[4] = {in_at(i), in_at(i), in_at(i), in_at(i)};
    unsigned char* const out4[4] = {out_at(i), nullptr, nullptr, nullptr};
    block.Run(in4, out4, 1);
  };
  auto four = [&](std::int32_t i) {
    const unsigned char* const in4[4] = {in_at(i), in_at(i + 1), in_at(i + 2), in_at(i + 3)};
    unsigned char* const out4[4] = {out_at(i), out_at(i + 1), out_at(i + 2), out_at(i + 3)};
    block.Run(in4, out4, 4);
  };
  if (count < 4) {
    for (std::int32_t i = 0; i < count; ++i) one(i);
    return out;
  }
  const std::size_t in_end = static_cast<std::size_t>(count - 1) * v_stride + sizeof(In);
  const std::size_t out_end = static_cast<std::size_t>(count - 1) * out_stride + sizeof(Out);
  const auto in_first = reinterpret_cast<std::uintptr_t>(in_bytes);
  const auto out_first = reinterpret_cast<std::uintptr_t>(out_bytes);
  const bool overlap = out_first < in_first + in_end && in_first < out_first + out_end;
  const bool in_place =
      out_first == in_first && out_stride == v_stride && out_stride >= sizeof(Out);
  if (overlap && !in_place) {
    // Outputs that land on inputs not yet read: element by element, as the
    // reference goes.
    for (std::int32_t i = 0; i < count; ++i) one(i);
    return out;
  }
  std::int32_t i = 0;
  for (; i + 4 <= count; i += 4) four(i);
  if (i == count) return out;
  if (in_place) {
    // A block stepped back would read elements it has already rewritten.
    for (; i < count; ++i) one(i);
  } else {
    four(count - 4);  // the last four, some of them a second time
  }
  return out;
}

}  // namespace

KMVECTOR4* KMVec2TransformArray(KMVECTOR4* out, std::uint32_t out_stride, const KMVECTOR2* v,
                                std::uint32_t v_stride, const KMMATRIX* m, std::uint32_t n) {
  return TransformBlocks<2, Form::kPoint>(out, out_stride, v, v_stride, m, n);
}

KMVECTOR2* KMVec2TransformCoordArray(KMVECTOR2* out, std::uint32_t out_stride, const KMVECTOR2* v,
                                     std::uint32_t v_stride, const KMMATRIX* m, std::uint32_t n) {
  return TransformBlocks<2, Form::kCoord>(out, out_stride, v, v_stride, m, n);
}

KMVECTOR2* KMVec2TransformNormalArray(KMVECTOR2* out, std::uint32_t out_stride, const KMVECTOR2* v,
                                      std::uint32_t v_stride, const KMMATRIX* m, std::uint32_t n) {
  return TransformBlocks<2, Form::kNormal>(out, out_stride, v, v_stride, m, n);
}

KMVECTOR4* KMVec3TransformArray(KMVECTOR4* out, std::uint32_t out_stride, const KMVECTOR3* v,
                                std::uint32_t v_stride, const KMMATRIX* m, std::uint32_t n) {
  return TransformRows<3>(out, out_stride, v, v_stride, m, n);
}

KMVECTOR3* KMVec3TransformCoordArray(KMVECTOR3* out, std::uint32_t out_stride, const KMVECTOR3* v,
                                     std::uint32_t v_stride, const KMMATRIX* m, std::uint32_t n) {
  return TransformBlocks<3, Form::kCoord>(out, out_stride, v, v_stride, m, n);
}

KMVECTOR3* KMVec3TransformNormalArray(KMVECTOR3* out, std::uint32_t out_stride, const KMVECTOR3* v,
                                      std::uint32_t v_stride, const KMMATRIX* m, std::uint32_t n) {
  return TransformBlocks<3, Form::kNormal>(out, out_stride, v, v_stride, m, n);
}

KMVECTOR4* KMVec4TransformArray(KMVECTOR4* out, std::uint32_t out_stride, const KMVECTOR4* v,
                                std::uint32_t v_stride, const KMMATRIX* m, std::uint32_t n) {
  return TransformRows<4>(out, out_stride, v, v_stride, m, n);
}

KMPLANE* KMPlaneTransformArray(KMPLANE* out, std::uint32_t out_stride, const KMPLANE* plane,
                               std::uint32_t plane_stride, const KMMATRIX* m, std::uint32_t n) {
  return TransformRows<4>(out, out_stride, plane, plane_stride, m, n);
}

}  // namespace kubik::amd::sse_arrays
