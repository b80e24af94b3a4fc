// GLM with its SIMD paths on: intrinsics forced and the default types aligned,
// so mat4, vec4 and quat take the SSE/AVX specialisations.
#define GLM_FORCE_INTRINSICS
#define GLM_FORCE_DEFAULT_ALIGNED_GENTYPES

#include "bench/peers/glm_kernels.h"

namespace peers {

const Peer& GlmSimdPeer() {
  static const Peer peer = MakePeer<Glm>("glm", "simd");
  return peer;
}

}  // namespace peers
