// What every implementation in the peer benchmark shares: the data, the
// kernel signatures and the timing loops. The loops are templates on the
// kernel so that each translation unit inlines its own kernels into them,
// compiled with that unit's flags, the way a user of a header library gets
// them.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace peers {

// Matrices are 16 floats in this library's layout: row-major, row vectors on
// the left (v x M), so the translation sits in elements 12 to 14. The same
// bytes read column-major are the column-vector form the peers use.
struct alignas(64) Mat4 {
  float m[16];
};
struct Vec3 {
  float v[3];
};
// x, y, z, w with w the scalar part, as all four implementations store it.
struct alignas(16) Quat {
  float q[4];
};

inline constexpr std::uint32_t kSmallArray = 1000;
inline constexpr std::uint32_t kLargeArray = 1000000;

struct Data {
  Mat4 a, b;        // general matrices for the product
  Mat4 invertible;  // well-conditioned, for the inverse
  Mat4 projective;  // a world-view-projection: w between 3 and 5, so every point is divided
  Vec3 point;       // one point for the single transform
  Vec3 direction;   // for the normalise: length neither near 0 nor near 1
  Quat q1, q2;      // unit quaternions 70 degrees apart, positive dot product
  float t;          // slerp parameter
  float yaw, pitch, roll;
  Vec3 eye, at, up;
  float fovy, aspect, zn, zf;
  std::vector<float> points;          // kLargeArray points, 12-byte stride
  std::vector<float> floats;          // kLargeArray floats, all normal in half precision
  std::vector<std::uint16_t> halves;  // kLargeArray halves, exponent 31 excluded
};
const Data& SharedData();

// The kernels, each with this library's meaning whatever the implementation's
// own conventions are. An array kernel reads and writes 12-byte records.
using Mat4MultiplyFn = void (*)(float* out, const float* a, const float* b);  // a applied first
using Mat4InverseFn = void (*)(float* out, const float* m);
using TransformCoordFn = void (*)(float* out, const float* v, const float* m);
using TransformCoordArrayFn = void (*)(float* out, const float* v, const float* m, std::uint32_t n);
using NormalizeFn = void (*)(float* out, const float* v);
using QuatMultiplyFn = void (*)(float* out, const float* q1, const float* q2);  // q1 first
using SlerpFn = void (*)(float* out, const float* q1, const float* q2, float t);
using YawPitchRollFn = void (*)(float* out, float yaw, float pitch, float roll);
using ToHalfFn = void (*)(std::uint16_t* out, const float* in, std::uint32_t n);
using FromHalfFn = void (*)(float* out, const std::uint16_t* in, std::uint32_t n);
using LookAtFn = void (*)(float* out, const float* eye, const float* at, const float* up);
using PerspectiveFn = void (*)(float* out, float fovy, float aspect, float zn, float zf);

// The operations, in table order.
enum Op : int {
  kMat4Multiply,
  kMat4Inverse,
  kTransformCoord,
  kTransformCoord1k,
  kTransformCoord1M,
  kVec3Normalize,
  kQuatMultiply,
  kQuatSlerp,
  kYawPitchRoll,
  kFloat32To16,
  kFloat16To32,
  kLookAtLH,
  kPerspectiveFovLH,
  kOpCount
};
extern const char* const kOpNames[kOpCount];

struct Kernels {
  Mat4MultiplyFn mat4_multiply = nullptr;
  Mat4InverseFn mat4_inverse = nullptr;
  TransformCoordFn transform_coord = nullptr;
  TransformCoordArrayFn transform_coord_array = nullptr;
  NormalizeFn vec3_normalize = nullptr;
  QuatMultiplyFn quat_multiply = nullptr;
  SlerpFn quat_slerp = nullptr;
  YawPitchRollFn yaw_pitch_roll = nullptr;
  ToHalfFn float32_to_16 = nullptr;
  FromHalfFn float16_to_32 = nullptr;
  LookAtFn look_at_lh = nullptr;
  PerspectiveFn perspective_fov_lh = nullptr;
};

using BenchFn = void (*)(benchmark::State&);

// One implementation in one configuration (a peer is tried in several: build
// defines, API style, whole-array or per-point code): its kernels (for the
// agreement check) and the timing loops built on the very same kernels. Null
// where it has no such operation. The benchmarks are named
// "<operation>/<name>:<config>".
struct Peer {
  const char* name;
  const char* config;
  bool (*runs)();  // null: runs wherever the program runs
  Kernels kernels;
  BenchFn bench[kOpCount] = {};
  bool compared = true;  // false for a bound that does not compute the operation
};

// ---- Timing loops ---------------------------------------------------------
// Inputs go through DoNotOptimize every iteration, so the compiler must
// assume they changed and cannot hoist the computation; outputs go through it
// so the result must be produced. Scalar inputs are held in a struct in
// memory: a lone float goes through DoNotOptimize in a general register, and
// where the kernel is a call it is spilled and reloaded around it, which
// chains every iteration to the one before through a store, a reload and two
// register moves (about 3.5 ns here). The struct is reloaded from bytes that
// nothing rewrites, so iterations stay independent, as they are for matrix
// and vector inputs.

template <auto K>
void BenchMat4Multiply(benchmark::State& state) {
  Mat4 a = SharedData().a, b = SharedData().b, out{};
  for (auto _ : state) {
    benchmark::DoNotOptimize(a);
    benchmark::DoNotOptimize(b);
    K(out.m, a.m, b.m);
    benchmark::DoNotOptimize(out);
  }
}

template <auto K>
void BenchMat4Inverse(benchmark::State& state) {
  Mat4 m = SharedData().invertible, out{};
  for (auto _ : state) {
    benchmark::DoNotOptimize(m);
    K(out.m, m.m);
    benchmark::DoNotOptimize(out);
  }
}

template <auto K>
void BenchTransformCoord(benchmark::State& state) {
  Mat4 m = SharedData().projective;
  Vec3 v = SharedData().point, out{};
  for (auto _ : state) {
    benchmark::DoNotOptimize(m);
    benchmark::DoNotOptimize(v);
    K(out.v, v.v, m.m);
    benchmark::DoNotOptimize(out);
  }
}

// Array loops call through the kernel once per array, so the per-call cost
// is noise against a thousand points.
template <auto K, std::uint32_t N>
void BenchTransformCoordArray(benchmark::State& state) {
  Mat4 m = SharedData().projective;
  const float* in = SharedData().points.data();
  std::vector<float> out(3 * std::size_t{N});
  for (auto _ : state) {
    benchmark::DoNotOptimize(m);
    K(out.data(), in, m.m, N);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * N);
}

template <auto K>
void BenchVec3Normalize(benchmark::State& state) {
  Vec3 v = SharedData().direction, out{};
  for (auto _ : state) {
    benchmark::DoNotOptimize(v);
    K(out.v, v.v);
    benchmark::DoNotOptimize(out);
  }
}

template <auto K>
void BenchQuatMultiply(benchmark::State& state) {
  Quat q1 = SharedData().q1, q2 = SharedData().q2, out{};
  for (auto _ : state) {
    benchmark::DoNotOptimize(q1);
    benchmark::DoNotOptimize(q2);
    K(out.q, q1.q, q2.q);
    benchmark::DoNotOptimize(out);
  }
}

template <auto K>
void BenchQuatSlerp(benchmark::State& state) {
  Quat q1 = SharedData().q1, q2 = SharedData().q2, out{};
  struct {
    float t;
  } in{SharedData().t};
  for (auto _ : state) {
    benchmark::DoNotOptimize(q1);
    benchmark::DoNotOptimize(q2);
    benchmark::DoNotOptimize(in);
    K(out.q, q1.q, q2.q, in.t);
    benchmark::DoNotOptimize(out);
  }
}

template <auto K>
void BenchYawPitchRoll(benchmark::State& state) {
  struct {
    float yaw, pitch, roll;
  } in{SharedData().yaw, SharedData().pitch, SharedData().roll};
  Mat4 out{};
  for (auto _ : state) {
    benchmark::DoNotOptimize(in);
    K(out.m, in.yaw, in.pitch, in.roll);
    benchmark::DoNotOptimize(out);
  }
}

template <auto K>
void BenchFloat32To16(benchmark::State& state) {
  const float* in = SharedData().floats.data();
  std::vector<std::uint16_t> out(kLargeArray);
  for (auto _ : state) {
    K(out.data(), in, kLargeArray);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * kLargeArray);
}

template <auto K>
void BenchFloat16To32(benchmark::State& state) {
  const std::uint16_t* in = SharedData().halves.data();
  std::vector<float> out(kLargeArray);
  for (auto _ : state) {
    K(out.data(), in, kLargeArray);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * kLargeArray);
}

template <auto K>
void BenchLookAt(benchmark::State& state) {
  Vec3 eye = SharedData().eye, at = SharedData().at, up = SharedData().up;
  Mat4 out{};
  for (auto _ : state) {
    benchmark::DoNotOptimize(eye);
    benchmark::DoNotOptimize(at);
    benchmark::DoNotOptimize(up);
    K(out.m, eye.v, at.v, up.v);
    benchmark::DoNotOptimize(out);
  }
}

template <auto K>
void BenchPerspective(benchmark::State& state) {
  struct {
    float fovy, aspect, zn, zf;
  } in{SharedData().fovy, SharedData().aspect, SharedData().zn, SharedData().zf};
  Mat4 out{};
  for (auto _ : state) {
    benchmark::DoNotOptimize(in);
    K(out.m, in.fovy, in.aspect, in.zn, in.zf);
    benchmark::DoNotOptimize(out);
  }
}

// The kernels alone of a struct of static kernels, for the accuracy
// program; an operation the struct does not define stays null.
template <class K>
Kernels MakeKernels() {
  Kernels kernels;
  if constexpr (requires { &K::Mat4Multiply; }) kernels.mat4_multiply = &K::Mat4Multiply;
  if constexpr (requires { &K::Mat4Inverse; }) kernels.mat4_inverse = &K::Mat4Inverse;
  if constexpr (requires { &K::TransformCoord; }) kernels.transform_coord = &K::TransformCoord;
  if constexpr (requires { &K::TransformCoordArray; }) {
    kernels.transform_coord_array = &K::TransformCoordArray;
  }
  if constexpr (requires { &K::Vec3Normalize; }) kernels.vec3_normalize = &K::Vec3Normalize;
  if constexpr (requires { &K::QuatMultiply; }) kernels.quat_multiply = &K::QuatMultiply;
  if constexpr (requires { &K::QuatSlerp; }) kernels.quat_slerp = &K::QuatSlerp;
  if constexpr (requires { &K::YawPitchRoll; }) kernels.yaw_pitch_roll = &K::YawPitchRoll;
  if constexpr (requires { &K::Float32To16; }) kernels.float32_to_16 = &K::Float32To16;
  if constexpr (requires { &K::Float16To32; }) kernels.float16_to_32 = &K::Float16To32;
  if constexpr (requires { &K::LookAtLH; }) kernels.look_at_lh = &K::LookAtLH;
  if constexpr (requires { &K::PerspectiveFovLH; }) {
    kernels.perspective_fov_lh = &K::PerspectiveFovLH;
  }
  return kernels;
}

// Builds a Peer from a struct of static kernels; an operation the struct does
// not define stays null.
template <class K>
Peer MakePeer(const char* name, const char* config, bool (*runs)() = nullptr) {
  Peer peer{name, config, runs, {}, {}};
  if constexpr (requires { &K::Mat4Multiply; }) {
    peer.kernels.mat4_multiply = &K::Mat4Multiply;
    peer.bench[kMat4Multiply] = &BenchMat4Multiply<&K::Mat4Multiply>;
  }
  if constexpr (requires { &K::Mat4Inverse; }) {
    peer.kernels.mat4_inverse = &K::Mat4Inverse;
    peer.bench[kMat4Inverse] = &BenchMat4Inverse<&K::Mat4Inverse>;
  }
  if constexpr (requires { &K::TransformCoord; }) {
    peer.kernels.transform_coord = &K::TransformCoord;
    peer.bench[kTransformCoord] = &BenchTransformCoord<&K::TransformCoord>;
  }
  if constexpr (requires { &K::TransformCoordArray; }) {
    peer.kernels.transform_coord_array = &K::TransformCoordArray;
    peer.bench[kTransformCoord1k] = &BenchTransformCoordArray<&K::TransformCoordArray, kSmallArray>;
    peer.bench[kTransformCoord1M] = &BenchTransformCoordArray<&K::TransformCoordArray, kLargeArray>;
  }
  if constexpr (requires { &K::Vec3Normalize; }) {
    peer.kernels.vec3_normalize = &K::Vec3Normalize;
    peer.bench[kVec3Normalize] = &BenchVec3Normalize<&K::Vec3Normalize>;
  }
  if constexpr (requires { &K::QuatMultiply; }) {
    peer.kernels.quat_multiply = &K::QuatMultiply;
    peer.bench[kQuatMultiply] = &BenchQuatMultiply<&K::QuatMultiply>;
  }
  if constexpr (requires { &K::QuatSlerp; }) {
    peer.kernels.quat_slerp = &K::QuatSlerp;
    peer.bench[kQuatSlerp] = &BenchQuatSlerp<&K::QuatSlerp>;
  }
  if constexpr (requires { &K::YawPitchRoll; }) {
    peer.kernels.yaw_pitch_roll = &K::YawPitchRoll;
    peer.bench[kYawPitchRoll] = &BenchYawPitchRoll<&K::YawPitchRoll>;
  }
  if constexpr (requires { &K::Float32To16; }) {
    peer.kernels.float32_to_16 = &K::Float32To16;
    peer.bench[kFloat32To16] = &BenchFloat32To16<&K::Float32To16>;
  }
  if constexpr (requires { &K::Float16To32; }) {
    peer.kernels.float16_to_32 = &K::Float16To32;
    peer.bench[kFloat16To32] = &BenchFloat16To32<&K::Float16To32>;
  }
  if constexpr (requires { &K::LookAtLH; }) {
    peer.kernels.look_at_lh = &K::LookAtLH;
    peer.bench[kLookAtLH] = &BenchLookAt<&K::LookAtLH>;
  }
  if constexpr (requires { &K::PerspectiveFovLH; }) {
    peer.kernels.perspective_fov_lh = &K::PerspectiveFovLH;
    peer.bench[kPerspectiveFovLH] = &BenchPerspective<&K::PerspectiveFovLH>;
  }
  return peer;
}

// The peers in each configuration tried. Configurations that need different
// build defines live in translation units of their own.
const Peer& GlmPlainPeer();         // no defines: packed types, the compiler vectorises
const Peer& GlmSimdPeer();          // GLM_FORCE_INTRINSICS, GLM_FORCE_DEFAULT_ALIGNED_GENTYPES
const Peer& EigenFixedPeer();       // fixed-size objects, the array one point at a time
const Peer& EigenMapPeer();         // the array as one Map of a 3 x n matrix
const Peer& EigenMapBlockedPeer();  // the same Map, 256 points at a time
const Peer& CglmInlinePeer();       // the header (inline) array API, glm_*
const Peer& CglmCallPeer();         // the compiled library's API, glmc_*

// The kernels of the configuration a user gets first (GLM plain, Eigen's
// fixed-size objects, cglm's header API), for the accuracy program, which
// compiles the peers' units with KUBIK_PEER_KERNELS_ONLY: no timing loops,
// no benchmark data.
const Kernels& GlmKernels();
const Kernels& EigenKernels();
const Kernels& CglmKernels();

// The F16C instructions, the hardware bound for the half arrays. Their unit is
// compiled for F16C and holds nothing else (no inline code another unit could
// share), and they are called only when the processor reports F16C.
bool F16cRuns();
void F16cFloat32To16(std::uint16_t* out, const float* in, std::uint32_t n);
void F16cFloat16To32(float* out, const std::uint16_t* in, std::uint32_t n);

}  // namespace peers
