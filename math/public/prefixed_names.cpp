// The KM-prefixed names of the two pipeline operations. Their slots keep the
// original names, which stay exported for existing callers; each prefixed
// entry is one direct jump to the original entry, which jumps through the
// slot.
#include <kubik/kmath.h>

extern "C" {

void KMSkinnedMeshBlend(const KMMATRIX* position_matrices, const KMMATRIX* normal_matrices,
                        const void* source, void* destination, uint32_t vertex_count,
                        uint32_t stride, const KMVECTOR3** source_normals,
                        KMVECTOR3** destination_normals, uint32_t normal_stream_count,
                        uint32_t copy_offset, const float* influences, int32_t copy_first) {
  SkinnedMeshBlend(position_matrices, normal_matrices, source, destination, vertex_count, stride,
                   source_normals, destination_normals, normal_stream_count, copy_offset,
                   influences, copy_first);
}

void KMNPatchTessellate(const KMVECTOR3* normals, const float* samples, uint32_t sample_count,
                        float* output, const float* corner0, const float* corner1,
                        const float* corner2, uint32_t vertex_size) {
  NPatchTessellate(normals, samples, sample_count, output, corner0, corner1, corner2, vertex_size);
}

}  // extern "C"
