// Every slot the SSE2 family fills, called through the slot of a table built
// by the family registry, against the same slot of the reference and x87
// tables. Names: <operation>/<family>.
#include <benchmark/benchmark.h>
#include <kubik/kmath.h>

#include <string>

#include "math/cpu/processor.h"
#include "math/cpu/selection.h"
#include "math/dispatch/operation_table.h"

namespace {

using kubik::OperationTable;
using kubik::Slot;

constexpr const char* kFamilies[] = {"reference", "x87", "sse2"};

const OperationTable* TableOf(const char* family_name) {
  const kubik::ImplementationFamily* family = kubik::FindImplementationFamily(family_name);
  if (!family || !family->can_run(kubik::RealProcessor())) return nullptr;
  auto* table = new OperationTable;  // lives as long as the program
  family->install(*table, kubik::RealProcessor());
  return table;
}

// Inputs shared by every benchmark: finite, well-conditioned values.
struct Inputs {
  KMMATRIX m1{0.9f,  0.1f, -0.2f, 0.05f, 0.3f, 1.1f,  0.4f, 0.02f,
              -0.1f, 0.2f, 0.8f,  0.03f, 1.5f, -2.0f, 3.0f, 1.0f};
  KMMATRIX m2{1.2f, -0.3f, 0.1f, 0.0f, 0.2f,  0.7f, -0.5f, 0.0f,
              0.4f, 0.1f,  1.3f, 0.0f, -1.0f, 0.5f, 2.0f,  1.0f};
  KMVECTOR2 v2[4] = {{1, 2}, {3, -1}, {-2, 0.5f}, {0.25f, 4}};
  KMVECTOR3 v3[4] = {{1, 2, 3}, {3, -1, 0.5f}, {-2, 0.5f, 1}, {0.25f, 4, -3}};
  KMVECTOR4 v4[4] = {{1, 2, 3, 1}, {3, -1, 0.5f, 2}, {-2, 0.5f, 1, -1}, {0.25f, 4, -3, 0.5f}};
  KMQUATERNION q1{0.1f, 0.2f, 0.3f, 0.9f}, q2{-0.4f, 0.5f, 0.1f, 0.7f};
  KMPLANE plane{0.3f, 0.9f, -0.2f, 2.0f};
  float s = 0.37f;
  // Outputs apart from the inputs, so no input drifts over the iterations.
  KMMATRIX mo;
  KMVECTOR2 o2;
  KMVECTOR3 o3;
  KMVECTOR4 o4;
  KMQUATERNION qo;
  KMPLANE po;
};

template <Slot S, typename Call>
void Register(const char* operation, Call call) {
  for (const char* family : kFamilies) {
    const OperationTable* table = TableOf(family);
    if (!table) continue;
    const auto function = table->Get<S>();
    benchmark::RegisterBenchmark((std::string(operation) + "/" + family).c_str(),
                                 [function, call](benchmark::State& state) {
                                   Inputs in;
                                   for (auto _ : state) {
                                     benchmark::DoNotOptimize(call(function, in));
                                     benchmark::ClobberMemory();
                                   }
                                 });
  }
}

#define KUBIK_BENCH(slot, ...) \
  Register<Slot::slot>(#slot, [](auto f, Inputs& in) { return __VA_ARGS__; })

void RegisterAll() {
  KUBIK_BENCH(KMVec2Transform, f(&in.o4, &in.v2[0], &in.m1));
  KUBIK_BENCH(KMVec3Transform, f(&in.o4, &in.v3[0], &in.m1));
  KUBIK_BENCH(KMVec4Transform, f(&in.o4, &in.v4[1], &in.m1));
  KUBIK_BENCH(KMMatrixMultiply, f(&in.mo, &in.m1, &in.m2));
  KUBIK_BENCH(KMMatrixMultiplyTranspose, f(&in.mo, &in.m1, &in.m2));
  KUBIK_BENCH(KMVec2TransformNormal, f(&in.o2, &in.v2[1], &in.m1));
  KUBIK_BENCH(KMVec3TransformNormal, f(&in.o3, &in.v3[1], &in.m1));
  KUBIK_BENCH(KMVec3Normalize, f(&in.o3, &in.v3[1]));
  KUBIK_BENCH(KMVec4Normalize, f(&in.o4, &in.v4[1]));
  KUBIK_BENCH(KMVec2TransformCoord, f(&in.o2, &in.v2[1], &in.m1));
  KUBIK_BENCH(KMVec3TransformCoord, f(&in.o3, &in.v3[1], &in.m1));
  KUBIK_BENCH(KMMatrixDeterminant, f(&in.m1));
  KUBIK_BENCH(KMPlaneFromPoints, f(&in.po, &in.v3[0], &in.v3[1], &in.v3[2]));
  KUBIK_BENCH(KMVec4Cross, f(&in.o4, &in.v4[1], &in.v4[2], &in.v4[3]));
  KUBIK_BENCH(KMVec2Hermite, f(&in.o2, &in.v2[0], &in.v2[1], &in.v2[2], &in.v2[3], in.s));
  KUBIK_BENCH(KMMatrixInverse, f(&in.mo, nullptr, &in.m1));
  KUBIK_BENCH(KMQuaternionMultiply, f(&in.qo, &in.q1, &in.q2));
  KUBIK_BENCH(KMQuaternionNormalize, f(&in.qo, &in.q1));
  KUBIK_BENCH(KMPlaneNormalize, f(&in.po, &in.plane));
  KUBIK_BENCH(KMPlaneIntersectLine, f(&in.o3, &in.plane, &in.v3[0], &in.v3[1]));
  KUBIK_BENCH(KMQuaternionRotationMatrix, f(&in.qo, &in.m1));
  KUBIK_BENCH(KMQuaternionRotationYawPitchRoll, f(&in.qo, in.s, -2 * in.s, 3 * in.s));
  KUBIK_BENCH(KMMatrixShadow, f(&in.mo, &in.v4[0], &in.plane));
  KUBIK_BENCH(KMMatrixReflect, f(&in.mo, &in.plane));
  KUBIK_BENCH(KMPlaneTransform, f(&in.po, &in.plane, &in.m1));
  KUBIK_BENCH(KMVec2CatmullRom, f(&in.o2, &in.v2[0], &in.v2[1], &in.v2[2], &in.v2[3], in.s));
  KUBIK_BENCH(KMVec2BaryCentric, f(&in.o2, &in.v2[0], &in.v2[1], &in.v2[2], in.s, in.s));
  KUBIK_BENCH(KMVec3Hermite, f(&in.o3, &in.v3[0], &in.v3[1], &in.v3[2], &in.v3[3], in.s));
  KUBIK_BENCH(KMVec3CatmullRom, f(&in.o3, &in.v3[0], &in.v3[1], &in.v3[2], &in.v3[3], in.s));
  KUBIK_BENCH(KMVec3BaryCentric, f(&in.o3, &in.v3[0], &in.v3[1], &in.v3[2], in.s, in.s));
  KUBIK_BENCH(KMVec4Hermite, f(&in.o4, &in.v4[0], &in.v4[1], &in.v4[2], &in.v4[3], in.s));
  KUBIK_BENCH(KMVec4CatmullRom, f(&in.o4, &in.v4[0], &in.v4[1], &in.v4[2], &in.v4[3], in.s));
  KUBIK_BENCH(KMVec4BaryCentric, f(&in.o4, &in.v4[0], &in.v4[1], &in.v4[2], in.s, in.s));
}

}  // namespace

int main(int argc, char** argv) {
  RegisterAll();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
