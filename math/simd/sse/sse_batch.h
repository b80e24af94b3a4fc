// The batch operations of the SSE and SSE2 families: strided array
// transforms, half-to-float conversion, skinned-mesh blending and N-patch
// evaluation. Both families share the blend and the patch; the SSE2 family
// has its own array transforms (a lower batch threshold) and half
// conversion (128-bit integer lanes).
#pragma once

#include <kubik/kmath.h>

#include <cstdint>

namespace kubik::sse {

// Array transforms: blocks of four elements from 13 elements on.
KMVECTOR4* KMVec2TransformArray(KMVECTOR4* out, uint32_t out_stride, const KMVECTOR2* v,
                                uint32_t v_stride, const KMMATRIX* m, uint32_t n);
KMVECTOR2* KMVec2TransformCoordArray(KMVECTOR2* out, uint32_t out_stride, const KMVECTOR2* v,
                                     uint32_t v_stride, const KMMATRIX* m, uint32_t n);
KMVECTOR2* KMVec2TransformNormalArray(KMVECTOR2* out, uint32_t out_stride, const KMVECTOR2* v,
                                      uint32_t v_stride, const KMMATRIX* m, uint32_t n);
KMVECTOR4* KMVec3TransformArray(KMVECTOR4* out, uint32_t out_stride, const KMVECTOR3* v,
                                uint32_t v_stride, const KMMATRIX* m, uint32_t n);
KMVECTOR3* KMVec3TransformCoordArray(KMVECTOR3* out, uint32_t out_stride, const KMVECTOR3* v,
                                     uint32_t v_stride, const KMMATRIX* m, uint32_t n);
KMVECTOR3* KMVec3TransformNormalArray(KMVECTOR3* out, uint32_t out_stride, const KMVECTOR3* v,
                                      uint32_t v_stride, const KMMATRIX* m, uint32_t n);
KMVECTOR4* KMVec4TransformArray(KMVECTOR4* out, uint32_t out_stride, const KMVECTOR4* v,
                                uint32_t v_stride, const KMMATRIX* m, uint32_t n);
KMPLANE* KMPlaneTransformArray(KMPLANE* out, uint32_t out_stride, const KMPLANE* plane,
                               uint32_t plane_stride, const KMMATRIX* m, uint32_t n);

// Eight halves per step in two 64-bit integer lanes.
float* KMFloat16To32Array(float* out, const KMFLOAT16* in, uint32_t n);

void SkinnedMeshBlend(const KMMATRIX* position_matrices, const KMMATRIX* normal_matrices,
                      const void* source, void* destination, uint32_t vertex_count, uint32_t stride,
                      const KMVECTOR3** source_normals, KMVECTOR3** destination_normals,
                      uint32_t normal_stream_count, uint32_t copy_offset, const float* influences,
                      int32_t copy_first);

void NPatchTessellate(const KMVECTOR3* normals, const float* samples, uint32_t sample_count,
                      float* output, const float* corner0, const float* corner1,
                      const float* corner2, uint32_t vertex_size);

}  // namespace kubik::sse

namespace kubik::sse2 {

// Array transforms: blocks of four elements from 11 elements on.
KMVECTOR4* KMVec2TransformArray(KMVECTOR4* out, uint32_t out_stride, const KMVECTOR2* v,
                                uint32_t v_stride, const KMMATRIX* m, uint32_t n);
KMVECTOR2* KMVec2TransformCoordArray(KMVECTOR2* out, uint32_t out_stride, const KMVECTOR2* v,
                                     uint32_t v_stride, const KMMATRIX* m, uint32_t n);
KMVECTOR2* KMVec2TransformNormalArray(KMVECTOR2* out, uint32_t out_stride, const KMVECTOR2* v,
                                      uint32_t v_stride, const KMMATRIX* m, uint32_t n);
KMVECTOR4* KMVec3TransformArray(KMVECTOR4* out, uint32_t out_stride, const KMVECTOR3* v,
                                uint32_t v_stride, const KMMATRIX* m, uint32_t n);
KMVECTOR3* KMVec3TransformCoordArray(KMVECTOR3* out, uint32_t out_stride, const KMVECTOR3* v,
                                     uint32_t v_stride, const KMMATRIX* m, uint32_t n);
KMVECTOR3* KMVec3TransformNormalArray(KMVECTOR3* out, uint32_t out_stride, const KMVECTOR3* v,
                                      uint32_t v_stride, const KMMATRIX* m, uint32_t n);
KMVECTOR4* KMVec4TransformArray(KMVECTOR4* out, uint32_t out_stride, const KMVECTOR4* v,
                                uint32_t v_stride, const KMMATRIX* m, uint32_t n);
KMPLANE* KMPlaneTransformArray(KMPLANE* out, uint32_t out_stride, const KMPLANE* plane,
                               uint32_t plane_stride, const KMMATRIX* m, uint32_t n);

// Eight halves per step in 128-bit integer lanes, with a path that skips the
// conversion when none of the eight has a zero exponent field.
float* KMFloat16To32Array(float* out, const KMFLOAT16* in, uint32_t n);

}  // namespace kubik::sse2
