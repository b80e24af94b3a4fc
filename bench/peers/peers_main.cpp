// This library's bound public entries against GLM, Eigen, cglm and the F16C
// instructions on the same data. Every implementation family that runs on
// the machine is measured by installing its table into the process table, so
// each call is the public entry's load and jump to that family's code.
// Before any timing, every family's results are compared with every peer's;
// a disagreement stops the program.
//
// Names: <operation>/<implementation>, the families as "kubik-<family>", the
// peers as "<peer>:<configuration>", the bounds ("f16c", "copy", "call") bare.
#include <benchmark/benchmark.h>
#include <cpuid.h>
#include <kubik/kmath.h>
#include <sched.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "bench/peers/peer_bench.h"
#include "math/cpu/processor.h"
#include "math/cpu/selection.h"
#include "math/dispatch/operation_table.h"

namespace peers {

const char* const kOpNames[kOpCount] = {
    "Mat4Multiply",
    "Mat4Inverse",
    "Vec3TransformCoord",
    "Vec3TransformCoordArray1k",
    "Vec3TransformCoordArray1M",
    "Vec3Normalize",
    "QuaternionMultiply",
    "QuaternionSlerp",
    "MatrixYawPitchRoll",
    "Float32To16Array1M",
    "Float16To32Array1M",
    "MatrixLookAtLH",
    "MatrixPerspectiveFovLH",
};

namespace {

// Deterministic on every platform, unlike the standard distributions.
class Random {
 public:
  float Uniform(float lo, float hi) {
    const double unit = static_cast<double>(engine_() >> 11) * 0x1.0p-53;
    return static_cast<float>(lo + (hi - lo) * unit);
  }
  std::uint64_t Bits() { return engine_(); }

 private:
  std::mt19937_64 engine_{20240611};
};

Quat AxisAngle(double x, double y, double z, double angle) {
  const double length = std::sqrt(x * x + y * y + z * z);
  const double s = std::sin(angle / 2) / length;
  return Quat{{static_cast<float>(x * s), static_cast<float>(y * s), static_cast<float>(z * s),
               static_cast<float>(std::cos(angle / 2))}};
}

Data MakeData() {
  Random random;
  Data d{};
  for (float& f : d.a.m) f = random.Uniform(-1, 1);
  for (float& f : d.b.m) f = random.Uniform(-1, 1);
  for (int i = 0; i < 16; ++i) d.invertible.m[i] = random.Uniform(-1, 1) + (i % 5 == 0 ? 4 : 0);
  for (float& f : d.projective.m) f = random.Uniform(-1, 1);
  // The w column: 4 +- 0.9 for points in the unit cube.
  d.projective.m[3] = random.Uniform(-0.3f, 0.3f);
  d.projective.m[7] = random.Uniform(-0.3f, 0.3f);
  d.projective.m[11] = random.Uniform(-0.3f, 0.3f);
  d.projective.m[15] = 4.0f;
  d.point = Vec3{{0.3f, -0.7f, 0.5f}};
  d.direction = Vec3{{1.5f, -2.25f, 0.75f}};
  d.q1 = AxisAngle(1, 2, 3, 0.4);
  d.q2 = AxisAngle(-2, 1, 0.5, 1.1);
  d.t = 0.3f;
  d.yaw = 0.7f;
  d.pitch = -0.4f;
  d.roll = 1.1f;
  d.eye = Vec3{{1.0f, 2.0f, -5.0f}};
  d.at = Vec3{{0.5f, -0.3f, 2.0f}};
  d.up = Vec3{{0.0f, 1.0f, 0.0f}};
  d.fovy = 0.9f;
  d.aspect = 4.0f / 3.0f;
  d.zn = 0.1f;
  d.zf = 100.0f;
  d.points.resize(3 * std::size_t{kLargeArray});
  for (float& f : d.points) f = random.Uniform(-1, 1);
  // Magnitudes 2^-13 to 2^15: normal halves in both formats, so IEEE and this
  // library's rounding agree bit for bit.
  d.floats.resize(kLargeArray);
  for (float& f : d.floats) {
    const float magnitude = std::exp2(random.Uniform(-13, 15));
    f = (random.Bits() & 1) ? -magnitude : magnitude;
  }
  // Any half but exponent 31, which IEEE reserves for infinities and NaNs.
  d.halves.resize(kLargeArray);
  for (std::uint16_t& h : d.halves) {
    h = static_cast<std::uint16_t>(random.Bits());
    if (((h >> 10) & 31) == 31) h ^= 0x4000;
  }
  return d;
}

// ---- This library ---------------------------------------------------------

KMMATRIX* M(float* m) {
  return reinterpret_cast<KMMATRIX*>(m);
}
const KMMATRIX* M(const float* m) {
  return reinterpret_cast<const KMMATRIX*>(m);
}
KMVECTOR3* V(float* v) {
  return reinterpret_cast<KMVECTOR3*>(v);
}
const KMVECTOR3* V(const float* v) {
  return reinterpret_cast<const KMVECTOR3*>(v);
}
KMQUATERNION* Q(float* q) {
  return reinterpret_cast<KMQUATERNION*>(q);
}
const KMQUATERNION* Q(const float* q) {
  return reinterpret_cast<const KMQUATERNION*>(q);
}

struct Kubik {
  static void Mat4Multiply(float* out, const float* a, const float* b) {
    KMMatrixMultiply(M(out), M(a), M(b));
  }
  static void Mat4Inverse(float* out, const float* m) { KMMatrixInverse(M(out), nullptr, M(m)); }
  static void TransformCoord(float* out, const float* v, const float* m) {
    KMVec3TransformCoord(V(out), V(v), M(m));
  }
  static void TransformCoordArray(float* out, const float* v, const float* m, std::uint32_t n) {
    KMVec3TransformCoordArray(V(out), sizeof(KMVECTOR3), V(v), sizeof(KMVECTOR3), M(m), n);
  }
  static void Vec3Normalize(float* out, const float* v) { KMVec3Normalize(V(out), V(v)); }
  static void QuatMultiply(float* out, const float* q1, const float* q2) {
    KMQuaternionMultiply(Q(out), Q(q1), Q(q2));
  }
  static void QuatSlerp(float* out, const float* q1, const float* q2, float t) {
    KMQuaternionSlerp(Q(out), Q(q1), Q(q2), t);
  }
  static void YawPitchRoll(float* out, float yaw, float pitch, float roll) {
    KMMatrixRotationYawPitchRoll(M(out), yaw, pitch, roll);
  }
  static void Float32To16(std::uint16_t* out, const float* in, std::uint32_t n) {
    KMFloat32To16Array(reinterpret_cast<KMFLOAT16*>(out), in, n);
  }
  static void Float16To32(float* out, const std::uint16_t* in, std::uint32_t n) {
    KMFloat16To32Array(out, reinterpret_cast<const KMFLOAT16*>(in), n);
  }
  static void LookAtLH(float* out, const float* eye, const float* at, const float* up) {
    KMMatrixLookAtLH(M(out), V(eye), V(at), V(up));
  }
  static void PerspectiveFovLH(float* out, float fovy, float aspect, float zn, float zf) {
    KMMatrixPerspectiveFovLH(M(out), fovy, aspect, zn, zf);
  }
};
static_assert(sizeof(KMVECTOR3) == 12 && sizeof(KMMATRIX) == 64 && sizeof(KMFLOAT16) == 2);

// The families that run here, each with a complete table of its own.
struct Family {
  const kubik::ImplementationFamily* family;
  std::unique_ptr<kubik::OperationTable> table;
};

std::vector<Family> RunnableFamilies() {
  std::vector<Family> families;
  const kubik::ProcessorProbe& processor = kubik::RealProcessor();
  for (const kubik::ImplementationFamily& family : kubik::ImplementationFamilies()) {
    if (!family.can_run(processor)) continue;
    auto table = std::make_unique<kubik::OperationTable>();
    family.install(*table, processor);
    families.push_back({&family, std::move(table)});
  }
  return families;
}

// The family the process's own selection binds (a first call runs it).
std::string SelectedFamilyName() {
  KMVECTOR3 v(1, 2, 3);
  KMVec3Normalize(&v, &v);
  const kubik::ImplementationFamily* selected = kubik::SelectedFamily();
  return selected ? selected->name : "unknown";
}

// ---- F16C -----------------------------------------------------------------

}  // namespace

bool F16cRuns() {
  unsigned eax, ebx, ecx, edx;
  if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return false;
  const bool f16c = ecx & bit_F16C, avx = ecx & bit_AVX, osxsave = ecx & bit_OSXSAVE;
  if (!(f16c && avx && osxsave)) return false;
  // The OS must save the YMM state.
  unsigned lo, hi;
  __asm__("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
  return (lo & 6) == 6;
}

namespace {

struct F16c {
  static void Float32To16(std::uint16_t* out, const float* in, std::uint32_t n) {
    F16cFloat32To16(out, in, n);
  }
  static void Float16To32(float* out, const std::uint16_t* in, std::uint32_t n) {
    F16cFloat16To32(out, in, n);
  }
};

const Peer& F16cPeer() {
  static const Peer peer = MakePeer<F16c>("f16c", "", &F16cRuns);
  return peer;
}

// ---- Memory floor ---------------------------------------------------------

// A transform of a large array cannot beat reading its input and writing its
// output once: the same bytes copied by the C library (which streams past the
// caches for large blocks) are the floor. It computes nothing, so it takes no
// part in the agreement check.
struct Copy {
  static void TransformCoordArray(float* out, const float* v, const float*, std::uint32_t n) {
    std::memcpy(out, v, 3 * sizeof(float) * std::size_t{n});
  }
};

// A bound: timed beside the peers, never compared with them.
template <class K>
Peer MakeBound(const char* name) {
  Peer bound = MakePeer<K>(name, "");
  bound.compared = false;
  return bound;
}

const Peer& CopyBound() {
  static const Peer peer = MakeBound<Copy>("copy");
  return peer;
}

// ---- Call floor -----------------------------------------------------------

// What reaching an operation through a public entry costs before any work:
// the call, the entry's load of its slot and indirect jump, an empty body and
// the return, in each operation's own timing loop. The volatile slot is the
// entry's one load and keeps the compiler from calling the body directly.
template <class... Args>
[[gnu::noinline]] void EmptyBody(float*, Args...) {}

template <class... Args>
void (*volatile empty_slot)(float*, Args...) = &EmptyBody<Args...>;

template <class... Args>
[[gnu::noinline]] void EmptyEntry(float* out, Args... args) {
  empty_slot<Args...>(out, args...);
}

struct CallFloor {
  static void Mat4Multiply(float* out, const float* a, const float* b) { EmptyEntry(out, a, b); }
  static void Mat4Inverse(float* out, const float* m) { EmptyEntry(out, m); }
  static void TransformCoord(float* out, const float* v, const float* m) { EmptyEntry(out, v, m); }
  static void Vec3Normalize(float* out, const float* v) { EmptyEntry(out, v); }
  static void QuatMultiply(float* out, const float* q1, const float* q2) {
    EmptyEntry(out, q1, q2);
  }
  static void QuatSlerp(float* out, const float* q1, const float* q2, float t) {
    EmptyEntry(out, q1, q2, t);
  }
  static void YawPitchRoll(float* out, float yaw, float pitch, float roll) {
    EmptyEntry(out, yaw, pitch, roll);
  }
  static void LookAtLH(float* out, const float* eye, const float* at, const float* up) {
    EmptyEntry(out, eye, at, up);
  }
  static void PerspectiveFovLH(float* out, float fovy, float aspect, float zn, float zf) {
    EmptyEntry(out, fovy, aspect, zn, zf);
  }
};

const Peer& CallFloorBound() {
  static const Peer peer = MakeBound<CallFloor>("call");
  return peer;
}

std::vector<const Peer*> RunnablePeers() {
  std::vector<const Peer*> peers;
  for (const Peer* peer :
       {&GlmPlainPeer(), &GlmSimdPeer(), &EigenFixedPeer(), &EigenMapPeer(), &EigenMapBlockedPeer(),
        &CglmInlinePeer(), &CglmCallPeer(), &F16cPeer(), &CopyBound(), &CallFloorBound()}) {
    if (!peer->runs || peer->runs()) peers.push_back(peer);
  }
  return peers;
}

// "glm:plain"; a bound without configurations is just its name.
std::string PeerName(const Peer& peer) {
  return *peer.config ? std::string(peer.name) + ":" + peer.config : std::string(peer.name);
}

// ---- Agreement ------------------------------------------------------------

// One operation's outputs on the shared data, widened to double. Outputs
// start as NaN, so a kernel that writes nothing cannot agree.
struct Result {
  bool present = false;
  std::vector<double> values;
};

template <class T>
std::vector<double> Widen(const T* p, std::size_t n) {
  return std::vector<double>(p, p + n);
}

Result Run(Op op, const Kernels& k) {
  const Data& d = SharedData();
  const float nan = std::nanf("");
  Mat4 m;
  std::fill(std::begin(m.m), std::end(m.m), nan);
  Vec3 v{{nan, nan, nan}};
  Quat q{{nan, nan, nan, nan}};
  Result r;
  auto matrix = [&](auto fn, auto... args) {
    if (!fn) return;
    fn(m.m, args...);
    r = {true, Widen(m.m, 16)};
  };
  switch (op) {
    case kMat4Multiply:
      matrix(k.mat4_multiply, d.a.m, d.b.m);
      break;
    case kMat4Inverse:
      matrix(k.mat4_inverse, d.invertible.m);
      break;
    case kTransformCoord:
      if (k.transform_coord) {
        k.transform_coord(v.v, d.point.v, d.projective.m);
        r = {true, Widen(v.v, 3)};
      }
      break;
    case kTransformCoord1k:
    case kTransformCoord1M:
      if (k.transform_coord_array) {
        const std::uint32_t n = op == kTransformCoord1k ? kSmallArray : kLargeArray;
        std::vector<float> out(3 * std::size_t{n}, nan);
        k.transform_coord_array(out.data(), d.points.data(), d.projective.m, n);
        r = {true, Widen(out.data(), out.size())};
      }
      break;
    case kVec3Normalize:
      if (k.vec3_normalize) {
        k.vec3_normalize(v.v, d.direction.v);
        r = {true, Widen(v.v, 3)};
      }
      break;
    case kQuatMultiply:
      if (k.quat_multiply) {
        k.quat_multiply(q.q, d.q1.q, d.q2.q);
        r = {true, Widen(q.q, 4)};
      }
      break;
    case kQuatSlerp:
      if (k.quat_slerp) {
        k.quat_slerp(q.q, d.q1.q, d.q2.q, d.t);
        r = {true, Widen(q.q, 4)};
      }
      break;
    case kYawPitchRoll:
      matrix(k.yaw_pitch_roll, d.yaw, d.pitch, d.roll);
      break;
    case kFloat32To16:
      if (k.float32_to_16) {
        std::vector<std::uint16_t> out(kLargeArray, 0x7FFF);
        k.float32_to_16(out.data(), d.floats.data(), kLargeArray);
        r = {true, Widen(out.data(), out.size())};
      }
      break;
    case kFloat16To32:
      if (k.float16_to_32) {
        std::vector<float> out(kLargeArray, nan);
        k.float16_to_32(out.data(), d.halves.data(), kLargeArray);
        r = {true, Widen(out.data(), out.size())};
      }
      break;
    case kLookAtLH:
      matrix(k.look_at_lh, d.eye.v, d.at.v, d.up.v);
      break;
    case kPerspectiveFovLH:
      matrix(k.perspective_fov_lh, d.fovy, d.aspect, d.zn, d.zf);
      break;
    case kOpCount:
      break;
  }
  return r;
}

// Conventions that went wrong (a transpose, a product order, a sign) show as
// differences of order 1; the tolerance only absorbs single-precision
// rounding and the documented reciprocal estimates. The half conversions must
// agree bit for bit.
double Tolerance(Op op) {
  return (op == kFloat32To16 || op == kFloat16To32) ? 0.0 : 2e-4;
}

// A float exactly halfway between two normal halves: the 13 bits below the
// half's mantissa are 1000000000000.
bool IsHalfTie(float f) {
  std::uint32_t bits;
  std::memcpy(&bits, &f, sizeof bits);
  return (bits & 0x1FFF) == 0x1000;
}

bool Agree(Op op, const std::string& kubik_name, const Result& kubik, const std::string& peer_name,
           const Result& peer) {
  const double tolerance = Tolerance(op);
  if (kubik.values.size() != peer.values.size()) {
    std::fprintf(stderr, "%s: %s and %s give different sizes\n", kOpNames[op], kubik_name.c_str(),
                 peer_name.c_str());
    return false;
  }
  int ties = 0;
  for (std::size_t i = 0; i < kubik.values.size(); ++i) {
    const double a = kubik.values[i], b = peer.values[i];
    if (op == kFloat32To16 && std::fabs(a - b) == 1 && IsHalfTie(SharedData().floats[i])) {
      ++ties;  // this library rounds ties to even; a peer may round them away from zero
      continue;
    }
    const double scale = std::max({1.0, std::fabs(a), std::fabs(b)});
    if (!(std::fabs(a - b) <= tolerance * scale)) {
      std::fprintf(stderr, "%s: %s and %s disagree at element %zu: %.9g against %.9g\n",
                   kOpNames[op], kubik_name.c_str(), peer_name.c_str(), i, a, b);
      return false;
    }
  }
  if (ties) {
    std::fprintf(stderr, "%s: %s rounds %d exact ties differently from %s (ties to even)\n",
                 kOpNames[op], peer_name.c_str(), ties, kubik_name.c_str());
  }
  return true;
}

void Install(const Family& family) {
  kubik::ProcessOperationTable().CopyFrom(*family.table);
}

bool CheckAgreement(const std::vector<Family>& families, const std::vector<const Peer*>& peers) {
  static const Peer kubik = MakePeer<Kubik>("kubik", "");
  bool ok = true;
  int comparisons = 0;
  for (int op = 0; op < kOpCount; ++op) {
    std::vector<Result> peer_results;
    for (const Peer* peer : peers) peer_results.push_back(Run(Op(op), peer->kernels));
    for (const Family& family : families) {
      Install(family);
      const Result mine = Run(Op(op), kubik.kernels);
      const std::string name = std::string("kubik-") + family.family->name;
      for (std::size_t p = 0; p < peers.size(); ++p) {
        if (!peer_results[p].present || !peers[p]->compared) continue;
        ok = Agree(Op(op), name, mine, PeerName(*peers[p]), peer_results[p]) && ok;
        ++comparisons;
      }
    }
  }
  std::fprintf(stderr, "agreement check: %d comparisons, %s\n", comparisons,
               ok ? "all agree" : "DISAGREEMENT, not timing");
  return ok;
}

// ---- Registration -----------------------------------------------------------

void RegisterAll(const std::vector<Family>& families, const std::vector<const Peer*>& peers) {
  static const Peer kubik = MakePeer<Kubik>("kubik", "");
  for (int op = 0; op < kOpCount; ++op) {
    for (const Family& family : families) {
      const std::string name = std::string(kOpNames[op]) + "/kubik-" + family.family->name;
      const Family* f = &family;
      const BenchFn fn = kubik.bench[op];
      benchmark::RegisterBenchmark(name.c_str(), [f, fn](benchmark::State& state) {
        Install(*f);
        fn(state);
      });
    }
    for (const Peer* peer : peers) {
      if (!peer->bench[op]) continue;
      const std::string name = std::string(kOpNames[op]) + "/" + PeerName(*peer);
      benchmark::RegisterBenchmark(name.c_str(), peer->bench[op]);
    }
  }
}

std::string CpuModel() {
  std::ifstream cpuinfo("/proc/cpuinfo");
  std::string line;
  while (std::getline(cpuinfo, line)) {
    if (line.rfind("model name", 0) == 0) {
      const std::size_t colon = line.find(':');
      if (colon != std::string::npos) return line.substr(colon + 2);
    }
  }
  return "unknown";
}

// The processors the run may be scheduled on, "0,1" or "0" when pinned. On a
// shared virtual machine they need not be equally fast (another guest may
// share one's core), so a table says which one it comes from.
std::string AllowedCpus() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) != 0) return "unknown";
  std::string list;
  for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
    if (!CPU_ISSET(cpu, &set)) continue;
    if (!list.empty()) list += ',';
    list += std::to_string(cpu);
  }
  return list;
}

}  // namespace

const Data& SharedData() {
  static const Data data = MakeData();
  return data;
}

}  // namespace peers

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

  const std::vector<peers::Family> families = peers::RunnableFamilies();
  const std::string selected = peers::SelectedFamilyName();
  const std::vector<const peers::Peer*> runnable = peers::RunnablePeers();
  if (!peers::CheckAgreement(families, runnable)) return 1;

  std::string family_names;
  for (const peers::Family& f : families) {
    if (!family_names.empty()) family_names += ',';
    family_names += f.family->name;
  }
  std::string operations;
  for (const char* op : peers::kOpNames) {
    if (!operations.empty()) operations += ',';
    operations += op;
  }
  benchmark::AddCustomContext("operations", operations);
  benchmark::AddCustomContext("kubik_selected_family", selected);
  benchmark::AddCustomContext("kubik_families", family_names);
  benchmark::AddCustomContext("cpu_model", peers::CpuModel());
  benchmark::AddCustomContext("cpus", peers::AllowedCpus());
  benchmark::AddCustomContext("f16c", peers::F16cRuns() ? "yes" : "no");
  benchmark::AddCustomContext("compiler", "GCC " __VERSION__);
  benchmark::AddCustomContext("kubik_flags", KUBIK_LIBRARY_FLAGS);
  benchmark::AddCustomContext("peer_flags", KUBIK_PEER_FLAGS);
  benchmark::AddCustomContext("f16c_flags", KUBIK_F16C_FLAGS);

  peers::RegisterAll(families, runnable);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
