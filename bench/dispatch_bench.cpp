// The cost of a dispatched public entry against a direct call of the same
// implementation.
#include <benchmark/benchmark.h>
#include <kubik/kmath.h>

#include "math/dispatch/operation_table.h"
#include "math/reference/reference.h"

namespace {

KMMATRIX Sample(float seed) {
  KMMATRIX m;
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) m.m[r][c] = seed + static_cast<float>(r * 4 + c) * 0.25f;
  }
  return m;
}

// Binds the table, then points the multiply slot at the reference body so
// both benchmarks run the same code.
void BindReferenceMultiply() {
  KMMATRIX a = Sample(1.0f), out;
  KMMatrixMultiply(&out, &a, &a);
  kubik::ProcessOperationTable().Set<kubik::Slot::KMMatrixMultiply>(
      &kubik::reference::KMMatrixMultiply);
}

void DispatchedMatrixMultiply(benchmark::State& state) {
  KMMATRIX a = Sample(1.0f), b = Sample(-2.0f), out;
  BindReferenceMultiply();
  for (auto _ : state) {
    benchmark::DoNotOptimize(KMMatrixMultiply(&out, &a, &b));
    benchmark::ClobberMemory();
  }
}
BENCHMARK(DispatchedMatrixMultiply);

void DirectMatrixMultiply(benchmark::State& state) {
  KMMATRIX a = Sample(1.0f), b = Sample(-2.0f), out;
  BindReferenceMultiply();
  for (auto _ : state) {
    benchmark::DoNotOptimize(kubik::reference::KMMatrixMultiply(&out, &a, &b));
    benchmark::ClobberMemory();
  }
}
BENCHMARK(DirectMatrixMultiply);

void DispatchedTranslation(benchmark::State& state) {
  KMMATRIX out;
  float z = 0.0f;
  for (auto _ : state) {
    benchmark::DoNotOptimize(KMMatrixTranslation(&out, 1.0f, 2.0f, z));
    z += 1.0f;
  }
}
BENCHMARK(DispatchedTranslation);

}  // namespace

BENCHMARK_MAIN();
