// Throughput of the batch operations per implementation family: array
// transforms and half conversion over 16, 1 000 and 1 000 000 elements,
// skinned-mesh blending and N-patch evaluation. Run by hand:
//   build/release/bin/bench_batch --benchmark_filter=...
#include <benchmark/benchmark.h>
#include <kubik/kmath.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "math/cpu/selection.h"
#include "math/dispatch/operation_table.h"

namespace {

using kubik::OperationTable;
using kubik::Slot;

constexpr const char* kFamilies[] = {"reference", "x87", "sse", "sse2", "avx2", "avx512"};
constexpr std::uint32_t kCounts[] = {16, 1000, 1000000};

// The family's table, also bound to the process table so that operations
// that call public entries run the family's functions.
void Bind(const kubik::ImplementationFamily& family, OperationTable& table) {
  family.install(table, kubik::RealProcessor());
  kubik::ProcessOperationTable().CopyFrom(table);
}

KMMATRIX SampleMatrix() {
  return KMMATRIX(0.9f, 0.1f, -0.2f, 0.01f, -0.1f, 1.1f, 0.3f, 0.02f, 0.2f, -0.3f, 0.8f, 0.03f, 1,
                  2, 3, 1);
}

void Vec3TransformCoordArray(benchmark::State& state, const kubik::ImplementationFamily* family,
                             std::uint32_t n) {
  OperationTable table;
  Bind(*family, table);
  std::vector<KMVECTOR3> in(n, KMVECTOR3(1, 2, 3)), out(n);
  const KMMATRIX m = SampleMatrix();
  const auto transform = table.Get<Slot::KMVec3TransformCoordArray>();
  for (auto _ : state) {
    benchmark::DoNotOptimize(transform(out.data(), 12, in.data(), 12, &m, n));
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * n);
}

void Vec4TransformArray(benchmark::State& state, const kubik::ImplementationFamily* family,
                        std::uint32_t n) {
  OperationTable table;
  Bind(*family, table);
  std::vector<KMVECTOR4> in(n, KMVECTOR4(1, 2, 3, 1)), out(n);
  const KMMATRIX m = SampleMatrix();
  const auto transform = table.Get<Slot::KMVec4TransformArray>();
  for (auto _ : state) {
    benchmark::DoNotOptimize(transform(out.data(), 16, in.data(), 16, &m, n));
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * n);
}

void Float16To32Array(benchmark::State& state, const kubik::ImplementationFamily* family,
                      std::uint32_t n) {
  OperationTable table;
  Bind(*family, table);
  std::vector<KMFLOAT16> in(n);
  for (std::uint32_t i = 0; i < n; ++i)
    in[i].value = static_cast<std::uint16_t>(i * 2654435761u >> 16);
  std::vector<float> out(n);
  const auto convert = table.Get<Slot::KMFloat16To32Array>();
  for (auto _ : state) {
    benchmark::DoNotOptimize(convert(out.data(), in.data(), n));
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * n);
}

void Float32To16Array(benchmark::State& state, const kubik::ImplementationFamily* family,
                      std::uint32_t n) {
  OperationTable table;
  Bind(*family, table);
  std::vector<float> in(n);
  for (std::uint32_t i = 0; i < n; ++i) in[i] = static_cast<float>(i % 4096) * 0.37f - 700.0f;
  std::vector<KMFLOAT16> out(n);
  const auto convert = table.Get<Slot::KMFloat32To16Array>();
  for (auto _ : state) {
    benchmark::DoNotOptimize(convert(out.data(), in.data(), n));
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * n);
}

// The memory floor of the 3-vector array transforms: a copy of the same
// bytes.
void CopyVec3Array(benchmark::State& state, std::uint32_t n) {
  std::vector<KMVECTOR3> in(n, KMVECTOR3(1, 2, 3)), out(n);
  for (auto _ : state) {
    std::memcpy(out.data(), in.data(), n * sizeof(KMVECTOR3));
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * n);
}

// 10 000 vertices (position, normal, texture coordinates), two influences
// each out of 32 bones, one normal stream.
void Skinning(benchmark::State& state, const kubik::ImplementationFamily* family) {
  OperationTable table;
  Bind(*family, table);
  struct Vertex {
    float position[3], normal[3], uv[2];
  };
  constexpr std::uint32_t kVertices = 10000, kBones = 32;
  std::vector<KMMATRIX> bones(kBones, SampleMatrix());
  for (KMMATRIX& b : bones) b._14 = b._24 = b._34 = 0;
  std::vector<Vertex> in(kVertices, Vertex{{1, 2, 3}, {0, 0.6f, 0.8f}, {0.5f, 0.5f}}),
      out(kVertices);
  std::mt19937 random(1);
  std::uniform_int_distribution<std::uint32_t> bone(0, kBones - 1);
  std::vector<float> influences;
  for (std::uint32_t v = 0; v < kVertices; ++v) {
    influences.push_back(2.0f * bone(random) + 0.75f);
    influences.push_back(2.0f * bone(random) + 0.25f);
    influences.push_back(-1.0f);
  }
  const auto blend = table.Get<Slot::SkinnedMeshBlend>();
  for (auto _ : state) {
    const KMVECTOR3* source_normal = reinterpret_cast<const KMVECTOR3*>(in[0].normal);
    KMVECTOR3* destination_normal = reinterpret_cast<KMVECTOR3*>(out[0].normal);
    blend(bones.data(), nullptr, in.data(), out.data(), kVertices, sizeof(Vertex), &source_normal,
          &destination_normal, 1, 24, influences.data(), 0);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * kVertices);
}

// One patch at tessellation level 8 (45 samples), vertices of 8 floats.
void Tessellation(benchmark::State& state, const kubik::ImplementationFamily* family) {
  OperationTable table;
  Bind(*family, table);
  const KMVECTOR3 normals[3] = {{-0.5f, -0.5f, 0.7f}, {0.5f, -0.5f, 0.7f}, {0, 0.6f, 0.8f}};
  const float corners[3][8] = {{-1, -1, 0, -0.5f, -0.5f, 0.7f, 0, 0},
                               {1, -1, 0, 0.5f, -0.5f, 0.7f, 1, 0},
                               {0, 1, 0, 0, 0.6f, 0.8f, 0.5f, 1}};
  std::vector<float> samples;
  constexpr int kLevel = 8;
  for (int i = 0; i <= kLevel; ++i) {
    for (int j = 0; j <= kLevel - i; ++j) {
      samples.push_back(static_cast<float>(i) / kLevel);
      samples.push_back(static_cast<float>(j) / kLevel);
    }
  }
  const std::uint32_t count = static_cast<std::uint32_t>(samples.size() / 2);
  std::vector<float> out(count * 8);
  const auto tessellate = table.Get<Slot::NPatchTessellate>();
  for (auto _ : state) {
    tessellate(normals, samples.data(), count, out.data(), corners[0], corners[1], corners[2], 8);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * count);
}

// "operation/family[/count]"; snprintf keeps clear of a false warning that
// string concatenation raises here.
std::string Name(const char* operation, const char* family, std::uint32_t n = 0) {
  char text[96];
  if (n) {
    std::snprintf(text, sizeof text, "%s/%s/%u", operation, family, n);
  } else {
    std::snprintf(text, sizeof text, "%s/%s", operation, family);
  }
  return text;
}

void RegisterAll() {
  for (std::uint32_t n : kCounts) {
    benchmark::RegisterBenchmark(Name("CopyVec3Array", "memcpy", n).c_str(), CopyVec3Array, n);
  }
  for (const char* name : kFamilies) {
    const kubik::ImplementationFamily* family = kubik::FindImplementationFamily(name);
    if (!family || !family->can_run(kubik::RealProcessor())) continue;
    for (std::uint32_t n : kCounts) {
      benchmark::RegisterBenchmark(Name("Vec3TransformCoordArray", name, n).c_str(),
                                   Vec3TransformCoordArray, family, n);
      benchmark::RegisterBenchmark(Name("Vec4TransformArray", name, n).c_str(), Vec4TransformArray,
                                   family, n);
      benchmark::RegisterBenchmark(Name("Float16To32Array", name, n).c_str(), Float16To32Array,
                                   family, n);
      benchmark::RegisterBenchmark(Name("Float32To16Array", name, n).c_str(), Float32To16Array,
                                   family, n);
    }
    benchmark::RegisterBenchmark(Name("SkinnedMeshBlend", name).c_str(), Skinning, family);
    benchmark::RegisterBenchmark(Name("NPatchTessellate", name).c_str(), Tessellation, family);
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
