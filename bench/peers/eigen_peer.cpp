// Eigen, vectorised for this machine by -march=native (it picks SSE, AVX and
// FMA from the compiler's target macros). Matrix4f is column-major with
// column vectors, so this library's matrix bytes map onto it transposed:
// A x B here is B * A there, v x M is M * v. Eigen has no look-at or
// perspective builder.
#include <Eigen/Core>
#include <Eigen/Geometry>
#include <Eigen/LU>

#include "bench/peers/peer_bench.h"

namespace peers {
namespace {

using ConstMat = Eigen::Map<const Eigen::Matrix4f, Eigen::Aligned16>;
using OutMat = Eigen::Map<Eigen::Matrix4f, Eigen::Aligned16>;
using ConstQuat = Eigen::Map<const Eigen::Quaternionf, Eigen::Aligned16>;
using OutQuat = Eigen::Map<Eigen::Quaternionf, Eigen::Aligned16>;
using ConstVec3 = Eigen::Map<const Eigen::Vector3f>;
using OutVec3 = Eigen::Map<Eigen::Vector3f>;

struct Eigen3 {
  static void Mat4Multiply(float* out, const float* a, const float* b) {
    OutMat{out}.noalias() = ConstMat(b) * ConstMat(a);
  }
  static void Mat4Inverse(float* out, const float* m) { OutMat{out} = ConstMat(m).inverse(); }
  static void TransformCoord(float* out, const float* v, const float* m) {
    OutVec3{out} = (ConstMat(m) * ConstVec3(v).homogeneous()).hnormalized();
  }
  // Per point with fixed sizes.
  static void TransformCoordArray(float* out, const float* v, const float* m, std::uint32_t n) {
    const Eigen::Matrix4f matrix = ConstMat(m);
    for (std::uint32_t i = 0; i < n; ++i) {
      OutVec3{out + 3 * i} = (matrix * ConstVec3(v + 3 * i).homogeneous()).hnormalized();
    }
  }
  static void Vec3Normalize(float* out, const float* v) {
    OutVec3{out} = ConstVec3(v).normalized();
  }
  static void QuatMultiply(float* out, const float* q1, const float* q2) {
    OutQuat{out} = ConstQuat(q2) * ConstQuat(q1);
  }
  static void QuatSlerp(float* out, const float* q1, const float* q2, float t) {
    OutQuat{out} = ConstQuat(q1).slerp(t, ConstQuat(q2));
  }
  static void YawPitchRoll(float* out, float yaw, float pitch, float roll) {
    const Eigen::Quaternionf q = Eigen::AngleAxisf(yaw, Eigen::Vector3f::UnitY()) *
                                 Eigen::AngleAxisf(pitch, Eigen::Vector3f::UnitX()) *
                                 Eigen::AngleAxisf(roll, Eigen::Vector3f::UnitZ());
    OutMat m(out);
    m.setIdentity();
    m.topLeftCorner<3, 3>() = q.toRotationMatrix();
  }
  // Vectorised cast (eight values per F16C instruction under AVX).
  static void Float32To16(std::uint16_t* out, const float* in, std::uint32_t n) {
    Eigen::Map<Eigen::Array<Eigen::half, Eigen::Dynamic, 1>>(reinterpret_cast<Eigen::half*>(out),
                                                             n) =
        Eigen::Map<const Eigen::ArrayXf>(in, n).cast<Eigen::half>();
  }
  static void Float16To32(float* out, const std::uint16_t* in, std::uint32_t n) {
    Eigen::Map<Eigen::ArrayXf>(out, n) =
        Eigen::Map<const Eigen::Array<Eigen::half, Eigen::Dynamic, 1>>(
            reinterpret_cast<const Eigen::half*>(in), n)
            .cast<float>();
  }
};

// The point array as one Map of a 3 x n matrix, the way Eigen is meant to
// take a batch: a single expression over all points (Eigen evaluates the
// product into a 4 x n temporary first).
struct EigenMap {
  static void TransformCoordArray(float* out, const float* v, const float* m, std::uint32_t n) {
    const Eigen::Matrix4f matrix = ConstMat(m);
    Eigen::Map<Eigen::Matrix3Xf>(out, 3, n) =
        (matrix * Eigen::Map<const Eigen::Matrix3Xf>(v, 3, n).colwise().homogeneous())
            .colwise()
            .hnormalized();
  }
};

// The same Map, in blocks of 256 points whose product stays in a fixed-size
// temporary in the first-level cache.
struct EigenMapBlocked {
  static void TransformCoordArray(float* out, const float* v, const float* m, std::uint32_t n) {
    constexpr int kBlock = 256;
    const Eigen::Matrix4f matrix = ConstMat(m);
    const Eigen::Map<const Eigen::Matrix3Xf> in(v, 3, n);
    Eigen::Map<Eigen::Matrix3Xf> result(out, 3, n);
    Eigen::Matrix<float, 4, kBlock> block;
    std::uint32_t i = 0;
    for (; i + kBlock <= n; i += kBlock) {
      block.noalias() = matrix.leftCols<3>() * in.middleCols<kBlock>(i);
      block.colwise() += matrix.col(3);
      result.middleCols<kBlock>(i) = block.colwise().hnormalized();
    }
    for (; i < n; ++i) result.col(i) = (matrix * in.col(i).homogeneous()).hnormalized();
  }
};

}  // namespace

#ifndef KUBIK_PEER_KERNELS_ONLY
const Peer& EigenFixedPeer() {
  static const Peer peer = MakePeer<Eigen3>("eigen", "fixed");
  return peer;
}

const Peer& EigenMapPeer() {
  static const Peer peer = MakePeer<EigenMap>("eigen", "map");
  return peer;
}

const Peer& EigenMapBlockedPeer() {
  static const Peer peer = MakePeer<EigenMapBlocked>("eigen", "map-blocked");
  return peer;
}
#endif

const Kernels& EigenKernels() {
  static const Kernels kernels = MakeKernels<Eigen3>();
  return kernels;
}

}  // namespace peers
