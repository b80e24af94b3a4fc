// Sixteen threads of a fresh process make their first dispatched calls at
// once. Every thread's results must be bit for bit those of the family the
// selection bound: a thread must never run another family's code while the
// table is being filled. Exit status 0 when they are, 1 when not; the test
// runs this program many times.
#include <kubik/kmath.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

#include "math/cpu/processor.h"
#include "math/cpu/selection.h"

namespace {

constexpr int kThreads = 16;

struct Results {
  KMVECTOR4 normalized;
  KMMATRIX product;
};

// The zero vector's normal and an inexact product tell the families apart.
Results Compute(KMVECTOR4* (*normalize)(KMVECTOR4*, const KMVECTOR4*),
                KMMATRIX* (*multiply)(KMMATRIX*, const KMMATRIX*, const KMMATRIX*)) {
  KMMATRIX a, b;
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) {
      a.m[r][c] = 0.1f * static_cast<float>(r * 4 + c) + 0.013f;
      b.m[r][c] = 1.7f / static_cast<float>(r + 2 * c + 3);
    }
  }
  const KMVECTOR4 zero(0, 0, 0, 0);
  Results results;
  normalize(&results.normalized, &zero);
  multiply(&results.product, &a, &b);
  return results;
}

}  // namespace

int main() {
  std::atomic<int> ready{0};
  std::vector<Results> results(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      ready.fetch_add(1);
      while (ready.load() < kThreads) std::this_thread::yield();
      // A first call whose slot may already hold its final function lets
      // the thread go on while the selection is still filling the table.
      KMMATRIX translation;
      KMMatrixTranslation(&translation, 1, 2, 3);
      results[t] = Compute(&KMVec4Normalize, &KMMatrixMultiply);
    });
  }
  for (std::thread& thread : threads) thread.join();

  const kubik::ImplementationFamily* family = kubik::SelectedFamily();
  if (!family) {
    std::fprintf(stderr, "no family selected\n");
    return 1;
  }
  kubik::OperationTable table{};
  family->install(table, kubik::RealProcessor());
  const Results expected = Compute(table.Get<kubik::Slot::KMVec4Normalize>(),
                                   table.Get<kubik::Slot::KMMatrixMultiply>());
  int status = 0;
  for (int t = 0; t < kThreads; ++t) {
    if (std::memcmp(&results[t], &expected, sizeof expected) != 0) {
      std::fprintf(stderr, "thread %d differs from the %s family\n", t, family->name);
      status = 1;
    }
  }
  return status;
}
