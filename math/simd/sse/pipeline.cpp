// Skinned-mesh blending and N-patch evaluation of the SSE family, which the SSE2
// family shares.
//
// Blending: the bone transforms are done inline on matrix rows instead of
// through the public entries; the division by w always goes through the
// refined reciprocal estimate. An influence entry with its sign bit set ends a
// run, -0.0 included.
//
// N-patches: the reference's control net, basis and linear attributes in
// four-lane single precision. Points are (x, y, z, 0) in one register; the
// basis weights are formed four at a time.
#include "math/types/pipeline.h"

#include <bit>
#include <cstdint>
#include <cstring>

#include "math/simd/sse/common.h"
#include "math/simd/sse/family.h"
#include "math/simd/sse/unaligned.h"

namespace kubik::sse {
namespace {

// Stream pointers move by bytes; the records are read and written through
// byte-address loads and stores, so any stride works.
inline const KMVECTOR3* Advanced(const KMVECTOR3* p, std::uint32_t bytes) {
  return reinterpret_cast<const KMVECTOR3*>(reinterpret_cast<const char*>(p) + bytes);
}

inline KMVECTOR3* Advanced(KMVECTOR3* p, std::uint32_t bytes) {
  return reinterpret_cast<KMVECTOR3*>(reinterpret_cast<char*>(p) + bytes);
}

// The bone of an entry, or -1 when the entry ends the run. Beyond the sign
// bit, a NaN (and anything truncation cannot turn into a bone number) ends
// it too, so no matrix outside the arrays is ever read.
inline std::int32_t DecodeBone(float entry) {
  if (std::bit_cast<std::int32_t>(entry) < 0 || !(entry < 2147483648.0f)) return -1;
  return _mm_cvtt_ss2si(_mm_set_ss(entry)) >> 1;
}

template <bool kAligned, bool kOneStream>
void BlendLoop(const KMMATRIX* position_matrices, const KMMATRIX* normal_matrices,
               const char* source, char* destination, std::uint32_t vertex_count,
               std::uint32_t stride, const KMVECTOR3** source_normals,
               KMVECTOR3** destination_normals, std::uint32_t stream_count,
               std::uint32_t copy_offset, const float* influences, bool copy_first) {
  const std::uint32_t streams = kOneStream ? 1 : stream_count;
  const std::size_t tail = copy_offset < stride ? stride - copy_offset : 0;
  __m128 normals[kMaxNormalStreams];

  for (std::uint32_t vertex = 0; vertex < vertex_count; ++vertex) {
    __m128 position = _mm_setzero_ps();
    for (std::uint32_t i = 0; i < streams; ++i) normals[i] = _mm_setzero_ps();
    const __m128 p = LoadVector3At(source);
    const __m128 px = Broadcast<0>(p), py = Broadcast<1>(p), pz = Broadcast<2>(p);
    // The one stream's source normal is read once per vertex.
    __m128 n0 = _mm_setzero_ps();
    if (kOneStream) n0 = LoadVector3At(source_normals[0]);

    for (;; ++influences) {
      const float entry = *influences;
      const std::int32_t bone = DecodeBone(entry);
      if (bone < 0) break;
      const __m128 weight = _mm_set1_ps(entry - static_cast<float>(2 * bone));

      const Rows r = LoadRows<kAligned>(&position_matrices[bone]);
      const __m128 f = _mm_add_ps(_mm_add_ps(_mm_mul_ps(px, r.r1), _mm_mul_ps(py, r.r2)),
                                  _mm_add_ps(_mm_mul_ps(pz, r.r3), r.r4));
      const __m128 reciprocal_w = TransformReciprocal(Broadcast<3>(f));
      position = _mm_add_ps(position, _mm_mul_ps(_mm_mul_ps(f, weight), reciprocal_w));

      if (streams == 0) continue;
      const Rows q = LoadRows<kAligned>(&normal_matrices[bone]);
      for (std::uint32_t i = 0; i < streams; ++i) {
        const __m128 n = kOneStream ? n0 : LoadVector3At(source_normals[i]);
        const __m128 t = _mm_add_ps(
            _mm_add_ps(_mm_mul_ps(Broadcast<0>(n), q.r1), _mm_mul_ps(Broadcast<1>(n), q.r2)),
            _mm_mul_ps(Broadcast<2>(n), q.r3));
        normals[i] = _mm_add_ps(normals[i], _mm_mul_ps(t, weight));
      }
    }
    ++influences;  // the terminating entry

    // memmove: blending in place (source == destination) is allowed.
    if (copy_first && tail) std::memmove(destination + copy_offset, source + copy_offset, tail);
    StoreVector3At(destination, position);
    for (std::uint32_t i = 0; i < streams; ++i) StoreVector3At(destination_normals[i], normals[i]);
    if (!copy_first && tail) std::memmove(destination + copy_offset, source + copy_offset, tail);

    source += stride;
    destination += stride;
    for (std::uint32_t i = 0; i < streams; ++i) {
      source_normals[i] = Advanced(source_normals[i], stride);
      destination_normals[i] = Advanced(destination_normals[i], stride);
    }
  }
}

template <bool kAligned>
void BlendAligned(const KMMATRIX* position_matrices, const KMMATRIX* normal_matrices,
                  const char* source, char* destination, std::uint32_t vertex_count,
                  std::uint32_t stride, const KMVECTOR3** source_normals,
                  KMVECTOR3** destination_normals, std::uint32_t streams, std::uint32_t copy_offset,
                  const float* influences, bool copy_first) {
  if (streams == 1) {
    BlendLoop<kAligned, true>(position_matrices, normal_matrices, source, destination, vertex_count,
                              stride, source_normals, destination_normals, 1, copy_offset,
                              influences, copy_first);
  } else {
    BlendLoop<kAligned, false>(position_matrices, normal_matrices, source, destination,
                               vertex_count, stride, source_normals, destination_normals, streams,
                               copy_offset, influences, copy_first);
  }
}

}  // namespace

void SkinnedMeshBlend(const KMMATRIX* position_matrices, const KMMATRIX* normal_matrices,
                      const void* source, void* destination, uint32_t vertex_count, uint32_t stride,
                      const KMVECTOR3** source_normals, KMVECTOR3** destination_normals,
                      uint32_t normal_stream_count, uint32_t copy_offset, const float* influences,
                      int32_t copy_first) {
  if (!normal_matrices) normal_matrices = position_matrices;
  // More streams than the accumulators hold would overrun them: the extra
  // streams are left alone.
  if (normal_stream_count > kMaxNormalStreams) normal_stream_count = kMaxNormalStreams;
  auto* const from = static_cast<const char*>(source);
  auto* const to = static_cast<char*>(destination);
  // The variant is chosen once per call: single 16-byte row loads when both
  // matrix arrays allow them.
  if (IsAligned16(position_matrices) && IsAligned16(normal_matrices)) {
    BlendAligned<true>(position_matrices, normal_matrices, from, to, vertex_count, stride,
                       source_normals, destination_normals, normal_stream_count, copy_offset,
                       influences, copy_first != 0);
  } else {
    BlendAligned<false>(position_matrices, normal_matrices, from, to, vertex_count, stride,
                        source_normals, destination_normals, normal_stream_count, copy_offset,
                        influences, copy_first != 0);
  }
}

}  // namespace kubik::sse

namespace kubik::sse {
namespace {

struct alignas(16) Constants {
  float third[4], quarter[4], corner_weight[4], three[4], six[4];
};

// 1/3 and 0.166666 with the exact bits of the definition.
const Constants kConstants = {
    {std::bit_cast<float>(kOneThirdBits), std::bit_cast<float>(kOneThirdBits),
     std::bit_cast<float>(kOneThirdBits), std::bit_cast<float>(kOneThirdBits)},
    {0.25f, 0.25f, 0.25f, 0.25f},
    {std::bit_cast<float>(kCornerWeightBits), std::bit_cast<float>(kCornerWeightBits),
     std::bit_cast<float>(kCornerWeightBits), std::bit_cast<float>(kCornerWeightBits)},
    {3, 3, 3, 3},
    {6, 6, 6, 6}};

// pb + third (d - (d.nb) nb) with d = pa - pb; the dot product summed as
// (z + x) + y.
inline __m128 EdgeControlPoint(__m128 pa, __m128 pb, __m128 nb) {
  const __m128 d = _mm_sub_ps(pa, pb);
  const __m128 dn = _mm_mul_ps(d, nb);
  const __m128 s = _mm_add_ss(_mm_add_ss(_mm_movehl_ps(dn, dn), dn), Broadcast<1>(dn));
  const __m128 projected = _mm_sub_ps(d, _mm_mul_ps(Broadcast<0>(s), nb));
  return _mm_add_ps(pb, _mm_mul_ps(_mm_load_ps(kConstants.third), projected));
}

}  // namespace

void NPatchTessellate(const KMVECTOR3* normals, const float* samples, uint32_t sample_count,
                      float* output, const float* corner0, const float* corner1,
                      const float* corner2, uint32_t vertex_size) {
  // Sizes the vertex buffer cannot take would read or write outside the
  // records: nothing is done, as in the reference.
  if (vertex_size < kMinNPatchVertexFloats || vertex_size > kMaxNPatchVertexFloats) return;
  if (sample_count == 0) return;

  const float* n = reinterpret_cast<const float*>(normals);
  const __m128 n0 = LoadVector3(n), n1 = LoadVector3(n + 3), n2 = LoadVector3(n + 6);
  __m128 net[10];
  net[0] = LoadVector3(corner0);
  net[6] = LoadVector3(corner1);
  net[9] = LoadVector3(corner2);
  net[1] = EdgeControlPoint(net[6], net[0], n0);
  net[2] = EdgeControlPoint(net[9], net[0], n0);
  net[3] = EdgeControlPoint(net[0], net[6], n1);
  net[5] = EdgeControlPoint(net[0], net[9], n2);
  net[7] = EdgeControlPoint(net[9], net[6], n1);
  net[8] = EdgeControlPoint(net[6], net[9], n2);
  const __m128 edges = _mm_add_ps(
      _mm_add_ps(_mm_add_ps(_mm_add_ps(_mm_add_ps(net[1], net[2]), net[3]), net[5]), net[7]),
      net[8]);
  const __m128 corners = _mm_add_ps(_mm_add_ps(net[0], net[6]), net[9]);
  net[4] = _mm_sub_ps(_mm_mul_ps(_mm_load_ps(kConstants.quarter), edges),
                      _mm_mul_ps(_mm_load_ps(kConstants.corner_weight), corners));

  const __m128 three = _mm_load_ps(kConstants.three);
  const __m128 six = _mm_load_ps(kConstants.six);
  const __m128 one = _mm_set_ss(1.0f);
  alignas(16) float vertex[kMaxNPatchVertexFloats + 1];
  for (std::uint32_t sample = 0; sample < sample_count; ++sample) {
    // Weights: v for corner 0, w = 1 - u - v for corner 1, u for corner 2.
    const __m128 u = _mm_load_ss(samples + 2 * sample);
    const __m128 v = _mm_load_ss(samples + 2 * sample + 1);
    const __m128 w = _mm_sub_ss(_mm_sub_ss(one, u), v);
    const __m128 u2 = _mm_mul_ss(u, u), v2 = _mm_mul_ss(v, v), w2 = _mm_mul_ss(w, w);
    const __m128 vw = _mm_mul_ss(v, w);  // rounded before it meets u and 6
    // The ten basis weights as (v2, 3v2, 3u, 3v) * (v, w, v2, w2),
    // (6u, 3u2, w2, 3u) * (vw, v, w, w2) and (3u2, u2) * (w, u).
    const __m128 u3 = _mm_mul_ss(three, u), v3 = _mm_mul_ss(three, v);
    const __m128 u2_3 = _mm_mul_ss(three, u2), u6 = _mm_mul_ss(six, u);
    const __m128 b0123 = _mm_mul_ps(
        _mm_movelh_ps(_mm_unpacklo_ps(v2, _mm_mul_ss(three, v2)), _mm_unpacklo_ps(u3, v3)),
        _mm_movelh_ps(_mm_unpacklo_ps(v, w), _mm_unpacklo_ps(v2, w2)));
    const __m128 b4567 =
        _mm_mul_ps(_mm_movelh_ps(_mm_unpacklo_ps(u6, u2_3), _mm_unpacklo_ps(w2, u3)),
                   _mm_movelh_ps(_mm_unpacklo_ps(vw, v), _mm_unpacklo_ps(w, w2)));
    const __m128 b89 = _mm_mul_ps(_mm_unpacklo_ps(u2_3, u2), _mm_unpacklo_ps(w, u));

    __m128 position = _mm_mul_ps(Broadcast<0>(b0123), net[0]);
    position = _mm_add_ps(position, _mm_mul_ps(Broadcast<1>(b0123), net[1]));
    position = _mm_add_ps(position, _mm_mul_ps(Broadcast<2>(b0123), net[2]));
    position = _mm_add_ps(position, _mm_mul_ps(Broadcast<3>(b0123), net[3]));
    position = _mm_add_ps(position, _mm_mul_ps(Broadcast<0>(b4567), net[4]));
    position = _mm_add_ps(position, _mm_mul_ps(Broadcast<1>(b4567), net[5]));
    position = _mm_add_ps(position, _mm_mul_ps(Broadcast<2>(b4567), net[6]));
    position = _mm_add_ps(position, _mm_mul_ps(Broadcast<3>(b4567), net[7]));
    position = _mm_add_ps(position, _mm_mul_ps(Broadcast<0>(b89), net[8]));
    position = _mm_add_ps(position, _mm_mul_ps(Broadcast<1>(b89), net[9]));
    // Four lanes: the fourth lands on vertex[3] and is overwritten below, or
    // lies in the spare float when the vertex is a bare position.
    _mm_storeu_ps(vertex, position);

    // Every further float: (u c2 + v c0) + w c1, four at a time, never
    // reading past a corner's floats.
    const __m128 uu = Broadcast<0>(u), vv = Broadcast<0>(v), ww = Broadcast<0>(w);
    std::uint32_t k = 3;
    for (; k + 4 <= vertex_size; k += 4) {
      const __m128 f = _mm_add_ps(_mm_add_ps(_mm_mul_ps(uu, _mm_loadu_ps(corner2 + k)),
                                             _mm_mul_ps(vv, _mm_loadu_ps(corner0 + k))),
                                  _mm_mul_ps(ww, _mm_loadu_ps(corner1 + k)));
      _mm_storeu_ps(vertex + k, f);
    }
    for (; k < vertex_size; ++k) {
      const __m128 f = _mm_add_ss(_mm_add_ss(_mm_mul_ss(u, _mm_load_ss(corner2 + k)),
                                             _mm_mul_ss(v, _mm_load_ss(corner0 + k))),
                                  _mm_mul_ss(w, _mm_load_ss(corner1 + k)));
      _mm_store_ss(vertex + k, f);
    }
    std::memcpy(output, vertex, vertex_size * sizeof(float));
    output += vertex_size;
  }
}

}  // namespace kubik::sse
