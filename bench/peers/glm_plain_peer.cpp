// GLM as a new user gets it: no defines, packed types, and whatever the
// compiler makes of the plain code for this machine. Its templates are
// instantiated for other types than the SIMD configuration's (packed, not
// aligned), so the two units share no inline code.
#include "bench/peers/glm_kernels.h"

namespace peers {

#ifndef KUBIK_PEER_KERNELS_ONLY
const Peer& GlmPlainPeer() {
  static const Peer peer = MakePeer<Glm>("glm", "plain");
  return peer;
}
#endif

const Kernels& GlmKernels() {
  static const Kernels kernels = MakeKernels<Glm>();
  return kernels;
}

}  // namespace peers
