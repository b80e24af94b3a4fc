// GLM's kernels, included by one translation unit per configuration after it
// sets GLM's defines (GLM_ENABLE_EXPERIMENTAL for the Euler angles is set
// here). GLM is column-major with column vectors, so this library's matrix
// bytes are the transpose: A x B here is B * A there, v x M is M * v.
#pragma once

#define GLM_ENABLE_EXPERIMENTAL

#include <glm/ext/matrix_clip_space.hpp>
#include <glm/ext/matrix_transform.hpp>
#include <glm/glm.hpp>
#include <glm/gtc/packing.hpp>
#include <glm/gtc/quaternion.hpp>
#include <glm/gtc/type_ptr.hpp>
#include <glm/gtx/euler_angles.hpp>

#include "bench/peers/peer_bench.h"

namespace peers {
namespace {

glm::mat4 LoadMat(const float* m) {
  return glm::make_mat4(m);
}
void StoreMat(float* out, const glm::mat4& m) {
  std::memcpy(out, glm::value_ptr(m), 64);
}
glm::quat LoadQuat(const float* q) {
  return glm::quat(q[3], q[0], q[1], q[2]);
}
void StoreQuat(float* out, const glm::quat& q) {
  out[0] = q.x;
  out[1] = q.y;
  out[2] = q.z;
  out[3] = q.w;
}
// Packed in every configuration: a padded aligned vec3 would not match a
// 12-byte record.
using PackedVec3 = glm::vec<3, float, glm::packed_highp>;
static_assert(sizeof(PackedVec3) == 12);

struct Glm {
  static void Mat4Multiply(float* out, const float* a, const float* b) {
    StoreMat(out, LoadMat(b) * LoadMat(a));
  }
  static void Mat4Inverse(float* out, const float* m) { StoreMat(out, glm::inverse(LoadMat(m))); }
  static void TransformCoord(float* out, const float* v, const float* m) {
    const glm::vec4 r = LoadMat(m) * glm::vec4(v[0], v[1], v[2], 1.0f);
    const glm::vec3 p = glm::vec3(r) / r.w;
    out[0] = p.x;
    out[1] = p.y;
    out[2] = p.z;
  }
  static void TransformCoordArray(float* out, const float* v, const float* m, std::uint32_t n) {
    const glm::mat4 matrix = LoadMat(m);
    const PackedVec3* in = reinterpret_cast<const PackedVec3*>(v);
    PackedVec3* result = reinterpret_cast<PackedVec3*>(out);
    for (std::uint32_t i = 0; i < n; ++i) {
      const glm::vec4 r = matrix * glm::vec4(in[i], 1.0f);
      result[i] = PackedVec3(glm::vec3(r) / r.w);
    }
  }
  static void Vec3Normalize(float* out, const float* v) {
    const glm::vec3 r = glm::normalize(glm::vec3(v[0], v[1], v[2]));
    out[0] = r.x;
    out[1] = r.y;
    out[2] = r.z;
  }
  // Hamilton product q2 q1: q1 first.
  static void QuatMultiply(float* out, const float* q1, const float* q2) {
    StoreQuat(out, LoadQuat(q2) * LoadQuat(q1));
  }
  static void QuatSlerp(float* out, const float* q1, const float* q2, float t) {
    StoreQuat(out, glm::slerp(LoadQuat(q1), LoadQuat(q2), t));
  }
  // Y * X * Z for column vectors: roll first, then pitch, then yaw.
  static void YawPitchRoll(float* out, float yaw, float pitch, float roll) {
    StoreMat(out, glm::yawPitchRoll(yaw, pitch, roll));
  }
  static void Float32To16(std::uint16_t* out, const float* in, std::uint32_t n) {
    for (std::uint32_t i = 0; i < n; ++i) out[i] = glm::packHalf1x16(in[i]);
  }
  static void Float16To32(float* out, const std::uint16_t* in, std::uint32_t n) {
    for (std::uint32_t i = 0; i < n; ++i) out[i] = glm::unpackHalf1x16(in[i]);
  }
  static void LookAtLH(float* out, const float* eye, const float* at, const float* up) {
    StoreMat(out, glm::lookAtLH(glm::vec3(eye[0], eye[1], eye[2]), glm::vec3(at[0], at[1], at[2]),
                                glm::vec3(up[0], up[1], up[2])));
  }
  // Depth 0 to 1, w = z, as this library's left-handed builder.
  static void PerspectiveFovLH(float* out, float fovy, float aspect, float zn, float zf) {
    StoreMat(out, glm::perspectiveLH_ZO(fovy, aspect, zn, zf));
  }
};

}  // namespace
}  // namespace peers
