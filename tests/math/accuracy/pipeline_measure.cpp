#include "tests/math/accuracy/pipeline_measure.h"

#include <bit>
#include <cstdint>
#include <cstring>

#include "math/types/pipeline.h"
#include "tests/math/accuracy/case_values.h"
#include "tests/math/accuracy/tracked.h"

namespace kubik::accuracy {
namespace {

using conformance::Case;
using conformance::Outcome;
using Values = std::vector<std::vector<float>>;

constexpr std::uint32_t kUnwritten = 0x7fa5a5a5;
constexpr float kUnwrittenValue = std::bit_cast<float>(kUnwritten);

std::vector<float> AllInputs(const Case& c) {
  std::vector<float> inputs;
  for (const std::vector<float>& values : c.values) {
    inputs.insert(inputs.end(), values.begin(), values.end());
  }
  return inputs;
}

// ---- Skinning -----------------------------------------------------------------
// values: position matrices, normal matrices, vertices, influences, {count}.

constexpr std::size_t kVertexFloats = 8;  // position, normal, two copied floats
constexpr std::uint32_t kBones = 4;
constexpr std::uint32_t kCopyOffset = 6 * sizeof(float);
enum : std::size_t { kPositionMatrices, kNormalMatrices, kVertices, kInfluences, kVertexCount };

class Skinning final : public SlotMeasure {
 public:
  Case MakeCase(std::mt19937& random, Inputs inputs) const override {
    const bool moderate = inputs == Inputs::kWellConditioned;
    std::uniform_int_distribution<std::uint32_t> count(1, 6), bones(1, 4), bone(0, kBones - 1);
    Case c;
    c.label = moderate ? "well-conditioned" : "random";
    c.values.resize(5);
    for (std::size_t set : {kPositionMatrices, kNormalMatrices}) {
      for (std::uint32_t b = 0; b < kBones; ++b) {
        const std::vector<float> m =
            moderate ? WellConditionedMatrix(random) : RandomValues(16, random);
        c.values[set].insert(c.values[set].end(), m.begin(), m.end());
      }
    }
    const std::uint32_t n = count(random);
    for (std::uint32_t v = 0; v < n; ++v) {
      std::vector<float> vertex =
          moderate ? ModerateVector(kVertexFloats, random) : RandomValues(kVertexFloats, random);
      c.values[kVertices].insert(c.values[kVertices].end(), vertex.begin(), vertex.end());
      // Weights summing to 1 when well-conditioned, any in [0, 1) otherwise.
      const std::uint32_t k = bones(random);
      float left = 1.0f;
      for (std::uint32_t i = 0; i < k; ++i) {
        float weight = moderate ? (i + 1 == k ? left : Uniform(random, 0.0f, left))
                                : Uniform(random, 0.0f, 0.999f);
        weight = std::min(weight, 0.999f);
        left -= weight;
        c.values[kInfluences].push_back(static_cast<float>(2 * bone(random)) + weight);
      }
      c.values[kInfluences].push_back(-1.0f);
    }
    c.values[kVertexCount] = {static_cast<float>(n)};
    return c;
  }

  Outcome Run(const OperationTable& table, const Case& c) const override {
    const auto n = static_cast<std::uint32_t>(c.values[kVertexCount][0]);
    const std::vector<float> source = c.values[kVertices];
    std::vector<float> destination(source.size(), kUnwrittenValue);
    const KMVECTOR3* source_normals[1] = {reinterpret_cast<const KMVECTOR3*>(source.data() + 3)};
    KMVECTOR3* destination_normals[1] = {reinterpret_cast<KMVECTOR3*>(destination.data() + 3)};
    ProcessOperationTable().CopyFrom(table);
    table.Get<Slot::SkinnedMeshBlend>()(
        reinterpret_cast<const KMMATRIX*>(c.values[kPositionMatrices].data()),
        reinterpret_cast<const KMMATRIX*>(c.values[kNormalMatrices].data()), source.data(),
        destination.data(), n, kVertexFloats * sizeof(float), source_normals, destination_normals,
        1, kCopyOffset, c.values[kInfluences].data(), 0);
    Outcome outcome;
    outcome.outputs = destination;
    outcome.returned = 0;
    return outcome;
  }

  std::vector<float> InputsOf(const Case& c) const override { return AllInputs(c); }
};

// ---- Tessellation -------------------------------------------------------------
// values: normals (3 x 3), samples (u, v pairs), corner 0, corner 1, corner 2, {count}.

constexpr std::uint32_t kPatchVertexFloats = 6;
enum : std::size_t { kNormals, kSamples, kCorner0, kCorner1, kCorner2, kSampleCount };

class Tessellation final : public SlotMeasure {
 public:
  Case MakeCase(std::mt19937& random, Inputs inputs) const override {
    const bool moderate = inputs == Inputs::kWellConditioned;
    std::uniform_int_distribution<std::uint32_t> count(1, 10);
    Case c;
    c.label = moderate ? "well-conditioned" : "random";
    c.values.resize(6);
    for (int i = 0; i < 3; ++i) {
      std::vector<float> normal = moderate ? ModerateVector(3, random) : RandomValues(3, random);
      if (moderate) {
        const float length =
            std::sqrt(normal[0] * normal[0] + normal[1] * normal[1] + normal[2] * normal[2]);
        for (float& x : normal) x /= length;
      }
      c.values[kNormals].insert(c.values[kNormals].end(), normal.begin(), normal.end());
    }
    const std::uint32_t n = count(random);
    for (std::uint32_t s = 0; s < n; ++s) {
      float u = Uniform(random, 0.0f, 1.0f), v = Uniform(random, 0.0f, 1.0f);
      if (u + v > 1) u = 1 - u, v = 1 - v;
      c.values[kSamples].push_back(u);
      c.values[kSamples].push_back(v);
    }
    for (std::size_t corner : {kCorner0, kCorner1, kCorner2}) {
      c.values[corner] = moderate ? ModerateVector(kPatchVertexFloats, random)
                                  : RandomValues(kPatchVertexFloats, random);
    }
    c.values[kSampleCount] = {static_cast<float>(n)};
    return c;
  }

  Outcome Run(const OperationTable& table, const Case& c) const override {
    const auto n = static_cast<std::uint32_t>(c.values[kSampleCount][0]);
    std::vector<float> output(n * kPatchVertexFloats, kUnwrittenValue);
    ProcessOperationTable().CopyFrom(table);
    table.Get<Slot::NPatchTessellate>()(
        reinterpret_cast<const KMVECTOR3*>(c.values[kNormals].data()), c.values[kSamples].data(), n,
        output.data(), c.values[kCorner0].data(), c.values[kCorner1].data(),
        c.values[kCorner2].data(), kPatchVertexFloats);
    Outcome outcome;
    outcome.outputs = output;
    outcome.returned = 0;
    return outcome;
  }

  std::vector<float> InputsOf(const Case& c) const override { return AllInputs(c); }
};

using T = Tracked;
struct Point {
  T x, y, z;
};

Point Sub(const Point& a, const Point& b) {
  return {a.x - b.x, a.y - b.y, a.z - b.z};
}

// pb + weight (d - (d . nb) nb), d = pa - pb.
Point EdgeControlPoint(const Point& pa, const Point& pb, const Point& nb, T weight) {
  const Point d = Sub(pa, pb);
  const T s = d.x * nb.x + d.y * nb.y + d.z * nb.z;
  return {pb.x + weight * (d.x - s * nb.x), pb.y + weight * (d.y - s * nb.y),
          pb.z + weight * (d.z - s * nb.z)};
}

void Append(ExactOutputs& out, const T& t) {
  out.push_back({t.value, t.magnitude, true});
}

}  // namespace

const SlotMeasure& SkinningMeasure() {
  static const Skinning measure;
  return measure;
}

const SlotMeasure& TessellationMeasure() {
  static const Tessellation measure;
  return measure;
}

std::optional<ExactOutputs> ExactSkinning(const Values& p) {
  const auto n = static_cast<std::size_t>(p[kVertexCount][0]);
  ExactOutputs out;
  std::size_t next = 0;
  for (std::size_t v = 0; v < n; ++v) {
    const float* vertex = &p[kVertices][v * kVertexFloats];
    T position[3], normal[3];
    for (; p[kInfluences][next] >= 0.0f; ++next) {
      const float entry = p[kInfluences][next];
      const auto bone = static_cast<std::uint32_t>(entry) >> 1;
      const T weight = static_cast<long double>(entry) - 2.0L * bone;
      const float* m = &p[kPositionMatrices][bone * 16];
      const float* nm = &p[kNormalMatrices][bone * 16];
      T row[4];
      for (int j = 0; j < 4; ++j) {
        row[j] = T(vertex[0]) * T(m[j]) + T(vertex[1]) * T(m[4 + j]) + T(vertex[2]) * T(m[8 + j]) +
                 T(m[12 + j]);
      }
      const bool divide =
          std::fabs(static_cast<double>(static_cast<float>(row[3].value)) - 1.0) > 0x1p-23;
      for (int j = 0; j < 3; ++j) {
        position[j] += weight * (divide ? row[j] / row[3] : row[j]);
        normal[j] += weight * (T(vertex[3]) * T(nm[j]) + T(vertex[4]) * T(nm[4 + j]) +
                               T(vertex[5]) * T(nm[8 + j]));
      }
    }
    ++next;
    for (const T& t : position) Append(out, t);
    for (const T& t : normal) Append(out, t);
    for (std::size_t i = 6; i < kVertexFloats; ++i) Append(out, T(vertex[i]));
  }
  return out;
}

std::optional<ExactOutputs> ExactTessellation(const Values& p) {
  const auto n = static_cast<std::size_t>(p[kSampleCount][0]);
  const T third = std::bit_cast<float>(kOneThirdBits);
  const T corner_weight = std::bit_cast<float>(kCornerWeightBits);
  auto point = [](const std::vector<float>& v, std::size_t at = 0) {
    return Point{v[at], v[at + 1], v[at + 2]};
  };
  const Point n0 = point(p[kNormals], 0), n1 = point(p[kNormals], 3), n2 = point(p[kNormals], 6);
  Point net[10];
  net[0] = point(p[kCorner0]);
  net[6] = point(p[kCorner1]);
  net[9] = point(p[kCorner2]);
  const Point p0 = net[0], p1 = net[6], p2 = net[9];
  net[1] = EdgeControlPoint(p1, p0, n0, third);
  net[2] = EdgeControlPoint(p2, p0, n0, third);
  net[3] = EdgeControlPoint(p0, p1, n1, third);
  net[5] = EdgeControlPoint(p0, p2, n2, third);
  net[7] = EdgeControlPoint(p2, p1, n1, third);
  net[8] = EdgeControlPoint(p1, p2, n2, third);
  Point e{};
  for (int i : {1, 2, 3, 5, 7, 8}) e = {e.x + net[i].x, e.y + net[i].y, e.z + net[i].z};
  const T quarter = 0.25L;
  net[4] = {quarter * e.x - corner_weight * (p0.x + p1.x + p2.x),
            quarter * e.y - corner_weight * (p0.y + p1.y + p2.y),
            quarter * e.z - corner_weight * (p0.z + p1.z + p2.z)};
  ExactOutputs out;
  for (std::size_t s = 0; s < n; ++s) {
    const T u = p[kSamples][2 * s], v = p[kSamples][2 * s + 1];
    const T w = T(1) - u - v;
    const T three = 3, six = 6;
    const T basis[10] = {v * v * v,         three * v * v * w, three * u * v * v, three * v * w * w,
                         six * u * v * w,   three * u * u * v, w * w * w,         three * u * w * w,
                         three * u * u * w, u * u * u};
    Point position{};
    for (int i = 0; i < 10; ++i) {
      position = {position.x + basis[i] * net[i].x, position.y + basis[i] * net[i].y,
                  position.z + basis[i] * net[i].z};
    }
    Append(out, position.x);
    Append(out, position.y);
    Append(out, position.z);
    for (std::size_t k = 3; k < kPatchVertexFloats; ++k) {
      Append(out, u * T(p[kCorner2][k]) + v * T(p[kCorner0][k]) + w * T(p[kCorner1][k]));
    }
  }
  return out;
}

}  // namespace kubik::accuracy
