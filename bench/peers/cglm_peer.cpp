// cglm in its two API styles: the inline (header) array API, compiled for this
// machine, which takes its SSE and AVX paths from the compiler's target
// macros; and the same operations called in the compiled library (glmc_*),
// built however the distribution built it. Column-major with column vectors,
// so this library's matrix bytes are the transpose: A x B here is B * A there.
// cglm has no half-precision conversion and no batch transform.
// Every clip-space variant, for the left-handed, depth 0 to 1 builders.
#define CGLM_CLIPSPACE_INCLUDE_ALL
#include <cglm/call.h>
#include <cglm/call/clipspace/persp_lh_zo.h>
#include <cglm/call/clipspace/view_lh_zo.h>
#include <cglm/cglm.h>

#include "bench/peers/peer_bench.h"

namespace peers {
namespace {

// cglm takes non-const arrays; it does not write its inputs. The benchmark
// matrices are 64-byte aligned, as its aligned AVX loads need.
vec4* M(const float* m) {
  return reinterpret_cast<vec4*>(const_cast<float*>(m));
}
vec4* Mout(float* m) {
  return reinterpret_cast<vec4*>(m);
}
float* V(const float* v) {
  return const_cast<float*>(v);
}

struct Cglm {
  static void Mat4Multiply(float* out, const float* a, const float* b) {
    glm_mat4_mul(M(b), M(a), Mout(out));
  }
  static void Mat4Inverse(float* out, const float* m) { glm_mat4_inv(M(m), Mout(out)); }
  static void TransformCoord(float* out, const float* v, const float* m) {
    CGLM_ALIGN(16) vec4 p = {v[0], v[1], v[2], 1.0f};
    CGLM_ALIGN(16) vec4 r;
    glm_mat4_mulv(M(m), p, r);
    glm_vec3_divs(r, r[3], out);
  }
  static void TransformCoordArray(float* out, const float* v, const float* m, std::uint32_t n) {
    CGLM_ALIGN_MAT mat4 matrix;
    glm_mat4_copy(M(m), matrix);
    for (std::uint32_t i = 0; i < n; ++i) {
      CGLM_ALIGN(16) vec4 p;
      CGLM_ALIGN(16) vec4 r;
      glm_vec4(V(v + 3 * i), 1.0f, p);
      glm_mat4_mulv(matrix, p, r);
      glm_vec3_divs(r, r[3], out + 3 * i);
    }
  }
  static void Vec3Normalize(float* out, const float* v) { glm_vec3_normalize_to(V(v), out); }
  // Hamilton product q2 q1: q1 first.
  static void QuatMultiply(float* out, const float* q1, const float* q2) {
    glm_quat_mul(V(q2), V(q1), out);
  }
  static void QuatSlerp(float* out, const float* q1, const float* q2, float t) {
    glm_quat_slerp(V(q1), V(q2), t, out);
  }
  // Angles in x, y, z order: pitch, yaw, roll; Y * X * Z for column vectors.
  static void YawPitchRoll(float* out, float yaw, float pitch, float roll) {
    vec3 angles = {pitch, yaw, roll};
    glm_euler_yxz(angles, Mout(out));
  }
  static void LookAtLH(float* out, const float* eye, const float* at, const float* up) {
    glm_lookat_lh(V(eye), V(at), V(up), Mout(out));
  }
  // Depth 0 to 1, w = z.
  static void PerspectiveFovLH(float* out, float fovy, float aspect, float zn, float zf) {
    glm_perspective_lh_zo(fovy, aspect, zn, zf, Mout(out));
  }
};

// The compiled library's entries: a call per operation, as a program linking
// libcglm makes them.
struct CglmCall {
  static void Mat4Multiply(float* out, const float* a, const float* b) {
    glmc_mat4_mul(M(b), M(a), Mout(out));
  }
  static void Mat4Inverse(float* out, const float* m) { glmc_mat4_inv(M(m), Mout(out)); }
  static void TransformCoord(float* out, const float* v, const float* m) {
    CGLM_ALIGN(16) vec4 p = {v[0], v[1], v[2], 1.0f};
    CGLM_ALIGN(16) vec4 r;
    glmc_mat4_mulv(M(m), p, r);
    glmc_vec3_divs(r, r[3], out);
  }
  static void TransformCoordArray(float* out, const float* v, const float* m, std::uint32_t n) {
    for (std::uint32_t i = 0; i < n; ++i) TransformCoord(out + 3 * i, v + 3 * i, m);
  }
  static void Vec3Normalize(float* out, const float* v) { glmc_vec3_normalize_to(V(v), out); }
  static void QuatMultiply(float* out, const float* q1, const float* q2) {
    glmc_quat_mul(V(q2), V(q1), out);
  }
  static void QuatSlerp(float* out, const float* q1, const float* q2, float t) {
    glmc_quat_slerp(V(q1), V(q2), t, out);
  }
  static void YawPitchRoll(float* out, float yaw, float pitch, float roll) {
    vec3 angles = {pitch, yaw, roll};
    glmc_euler_yxz(angles, Mout(out));
  }
  static void LookAtLH(float* out, const float* eye, const float* at, const float* up) {
    glmc_lookat_lh_zo(V(eye), V(at), V(up), Mout(out));
  }
  static void PerspectiveFovLH(float* out, float fovy, float aspect, float zn, float zf) {
    glmc_perspective_lh_zo(fovy, aspect, zn, zf, Mout(out));
  }
};

}  // namespace

#ifndef KUBIK_PEER_KERNELS_ONLY
const Peer& CglmInlinePeer() {
  static const Peer peer = MakePeer<Cglm>("cglm", "inline");
  return peer;
}

const Peer& CglmCallPeer() {
  static const Peer peer = MakePeer<CglmCall>("cglm", "call");
  return peer;
}
#endif

const Kernels& CglmKernels() {
  static const Kernels kernels = MakeKernels<Cglm>();
  return kernels;
}

}  // namespace peers
