// Single operations per implementation family, each called through the
// family's table on fixed inputs: how the families compare slot by slot
// (in particular AVX2 against AVX-512, which decides the selection). Run by
// hand: build/release/bin/bench_family --benchmark_filter=...
#include <benchmark/benchmark.h>
#include <kubik/kmath.h>

#include <string>

#include "math/cpu/selection.h"
#include "math/dispatch/operation_table.h"

namespace {

using kubik::OperationTable;
using kubik::Slot;

constexpr const char* kFamilies[] = {"reference", "sse2", "avx2", "avx512"};

struct Inputs {
  KMMATRIX a{0.9f, 0.1f,  -0.2f, 0.01f, -0.1f, 1.1f, 0.3f, 0.02f,
             0.2f, -0.3f, 0.8f,  0.03f, 1,     2,    3,    1};
  KMMATRIX b{1.1f, -0.2f, 0.3f, 0, 0.2f, 0.9f, -0.1f, 0, -0.3f, 0.1f, 1.2f, 0, 4, 5, 6, 1};
  KMQUATERNION q1{0.1f, 0.2f, 0.3f, 0.927f};
  KMQUATERNION q2{-0.3f, 0.5f, 0.1f, 0.806f};
  KMVECTOR3 v{1, 2, 3};
  KMVECTOR4 v4{1, 2, 3, 4};
};

template <typename Body>
void Run(benchmark::State& state, const kubik::ImplementationFamily* family, Body body) {
  OperationTable table;
  family->install(table, kubik::RealProcessor());
  kubik::ProcessOperationTable().CopyFrom(table);
  Inputs in;
  for (auto _ : state) {
    body(table, in);
    benchmark::ClobberMemory();
  }
}

void RegisterAll() {
  for (const char* name : kFamilies) {
    const kubik::ImplementationFamily* family = kubik::FindImplementationFamily(name);
    if (!family || !family->can_run(kubik::RealProcessor())) continue;
    auto add = [&](const char* operation, auto body) {
      benchmark::RegisterBenchmark(
          (std::string(operation) + "/" + name).c_str(),
          [family, body](benchmark::State& state) { Run(state, family, body); });
    };
    add("MatrixMultiply", [](const OperationTable& t, Inputs& in) {
      KMMATRIX out;
      benchmark::DoNotOptimize(t.Get<Slot::KMMatrixMultiply>()(&out, &in.a, &in.b));
      benchmark::DoNotOptimize(out);
    });
    add("MatrixMultiplyTranspose", [](const OperationTable& t, Inputs& in) {
      KMMATRIX out;
      benchmark::DoNotOptimize(t.Get<Slot::KMMatrixMultiplyTranspose>()(&out, &in.a, &in.b));
      benchmark::DoNotOptimize(out);
    });
    add("MatrixInverse", [](const OperationTable& t, Inputs& in) {
      KMMATRIX out;
      float det;
      benchmark::DoNotOptimize(t.Get<Slot::KMMatrixInverse>()(&out, &det, &in.a));
      benchmark::DoNotOptimize(out);
    });
    add("MatrixRotationYawPitchRoll", [](const OperationTable& t, Inputs&) {
      KMMATRIX out;
      benchmark::DoNotOptimize(
          t.Get<Slot::KMMatrixRotationYawPitchRoll>()(&out, 0.3f, -0.7f, 1.1f));
      benchmark::DoNotOptimize(out);
    });
    add("QuaternionMultiply", [](const OperationTable& t, Inputs& in) {
      KMQUATERNION out;
      benchmark::DoNotOptimize(t.Get<Slot::KMQuaternionMultiply>()(&out, &in.q1, &in.q2));
      benchmark::DoNotOptimize(out);
    });
    add("QuaternionSlerp", [](const OperationTable& t, Inputs& in) {
      KMQUATERNION out;
      benchmark::DoNotOptimize(t.Get<Slot::KMQuaternionSlerp>()(&out, &in.q1, &in.q2, 0.3f));
      benchmark::DoNotOptimize(out);
    });
    add("QuaternionSquad", [](const OperationTable& t, Inputs& in) {
      KMQUATERNION out;
      benchmark::DoNotOptimize(
          t.Get<Slot::KMQuaternionSquad>()(&out, &in.q1, &in.q2, &in.q1, &in.q2, 0.3f));
      benchmark::DoNotOptimize(out);
    });
    add("Vec3TransformCoord", [](const OperationTable& t, Inputs& in) {
      KMVECTOR3 out;
      benchmark::DoNotOptimize(t.Get<Slot::KMVec3TransformCoord>()(&out, &in.v, &in.a));
      benchmark::DoNotOptimize(out);
    });
    add("Vec3Normalize", [](const OperationTable& t, Inputs& in) {
      KMVECTOR3 out;
      benchmark::DoNotOptimize(t.Get<Slot::KMVec3Normalize>()(&out, &in.v));
      benchmark::DoNotOptimize(out);
    });
    add("Vec4Transform", [](const OperationTable& t, Inputs& in) {
      KMVECTOR4 out;
      benchmark::DoNotOptimize(t.Get<Slot::KMVec4Transform>()(&out, &in.v4, &in.a));
      benchmark::DoNotOptimize(out);
    });
  }
}

}  // namespace

int main(int argc, char** argv) {
  RegisterAll();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
