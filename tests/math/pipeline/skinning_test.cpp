// SkinnedMeshBlend: influence decoding and terminators, which matrices serve
// positions and normals, the order of the tail copy, pointer advance, exact
// byte counts, and agreement of every family with the reference.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "tests/math/pipeline/pipeline_family.h"

namespace {

using kubik::Slot;

struct Vertex {
  KMVECTOR3 position;
  KMVECTOR3 normal;
  float extra[2];
};
constexpr std::uint32_t kStride = sizeof(Vertex);
constexpr std::uint32_t kTail = offsetof(Vertex, extra);

using kubik::testing::Identity;

KMMATRIX Translation(float x, float y, float z) {
  KMMATRIX m = Identity();
  m._41 = x;
  m._42 = y;
  m._43 = z;
  return m;
}

KMMATRIX RotationZ(float angle) {
  const float c = std::cos(angle), s = std::sin(angle);
  return KMMATRIX(c, s, 0, 0, -s, c, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1);
}

class Skinning : public kubik::testing::PipelineFamily {
 protected:
  // Blends `vertices` in place of `out` with the single normal inside each vertex.
  void BlendWithNormal(const KMMATRIX* positions, const KMMATRIX* normals,
                       const std::vector<Vertex>& in, std::vector<Vertex>& out,
                       const float* influences, std::uint32_t copy_offset = kTail,
                       std::int32_t copy_first = 0) {
    const KMVECTOR3* source_normal = &in[0].normal;
    KMVECTOR3* destination_normal = &out[0].normal;
    SkinnedMeshBlend(positions, normals, in.data(), out.data(),
                     static_cast<std::uint32_t>(in.size()), kStride, &source_normal,
                     &destination_normal, 1, copy_offset, influences, copy_first);
  }

  void ExpectVector(const KMVECTOR3& got, float x, float y, float z) {
    EXPECT_NEAR(got.x, x, Tolerance());
    EXPECT_NEAR(got.y, y, Tolerance());
    EXPECT_NEAR(got.z, z, Tolerance());
  }
};

TEST_P(Skinning, EmptyBatchReadsAndWritesNothing) {
  Vertex destination{};
  std::memset(&destination, 0x5a, sizeof destination);
  const Vertex before = destination;
  const KMVECTOR3* source_normal = nullptr;
  KMVECTOR3* destination_normal = &destination.normal;
  // Null matrices and influences: none of them may be read.
  SkinnedMeshBlend(nullptr, nullptr, nullptr, &destination, 0, kStride, &source_normal,
                   &destination_normal, 1, 0, nullptr, 1);
  EXPECT_EQ(std::memcmp(&destination, &before, sizeof destination), 0);
  EXPECT_EQ(source_normal, nullptr);
  EXPECT_EQ(destination_normal, &destination.normal);
}

TEST_P(Skinning, FullInfluenceOfIdentityReproducesTheVertexAndWDivides) {
  // Bone 1 has w = 2 for every point: the position is divided by it.
  KMMATRIX bones[2] = {Identity(), Identity()};
  bones[1]._44 = 2;
  const std::vector<Vertex> in = {{{1, 2, 3}, {0, 0.6f, 0.8f}, {7, 8}},
                                  {{-4, 5, 6}, {1, 0, 0}, {9, 10}}};
  std::vector<Vertex> out(2);
  const float influences[] = {1.0f, -1.0f, 3.0f, -1.0f};  // bone 0 weight 1; bone 1 weight 1
  BlendWithNormal(bones, nullptr, in, out, influences);
  ExpectVector(out[0].position, 1, 2, 3);
  ExpectVector(out[0].normal, 0, 0.6f, 0.8f);
  ExpectVector(out[1].position, -2, 2.5f, 3);
  ExpectVector(out[1].normal, 1, 0, 0);
  EXPECT_EQ(out[0].extra[0], 7);
  EXPECT_EQ(out[1].extra[1], 10);
}

TEST_P(Skinning, HalfWeightsOfTwoTranslationsMeetInTheMiddleAndLeaveNormals) {
  const KMMATRIX bones[2] = {Translation(2, 0, 0), Translation(4, 0, 0)};
  const std::vector<Vertex> in = {{{0, 0, 0}, {0, 1, 0}, {}}};
  std::vector<Vertex> out(1);
  const float influences[] = {0.5f, 2.5f, -1.0f};
  // Null normal matrices: normals take the position matrices without translation.
  BlendWithNormal(bones, nullptr, in, out, influences);
  ExpectVector(out[0].position, 3, 0, 0);
  ExpectVector(out[0].normal, 0, 1, 0);
}

TEST_P(Skinning, NullNormalMatricesUseTheUpperThreeByThree) {
  KMMATRIX bone = RotationZ(static_cast<float>(M_PI / 2));
  bone._41 = 5;
  bone._42 = 6;
  bone._43 = 7;
  const std::vector<Vertex> in = {{{1, 0, 0}, {1, 0, 0}, {}}};
  std::vector<Vertex> out(1);
  const float influences[] = {1.0f, -1.0f};
  BlendWithNormal(&bone, nullptr, in, out, influences);
  ExpectVector(out[0].position, 5, 7, 7);
  ExpectVector(out[0].normal, 0, 1, 0);
}

TEST_P(Skinning, NormalsComeFromTheNormalMatricesAndAreNotRenormalised) {
  const KMMATRIX positions[2] = {Identity(), Identity()};
  const KMMATRIX normals[2] = {RotationZ(static_cast<float>(M_PI / 4)),
                               RotationZ(static_cast<float>(-M_PI / 4))};
  const std::vector<Vertex> in = {{{1, 2, 3}, {1, 0, 0}, {}}};
  std::vector<Vertex> out(1);
  const float influences[] = {0.5f, 2.5f, -1.0f};
  BlendWithNormal(positions, normals, in, out, influences);
  ExpectVector(out[0].position, 1, 2, 3);
  ExpectVector(out[0].normal, static_cast<float>(std::sqrt(0.5)), 0, 0);
}

TEST_P(Skinning, NegativeZeroNegativeOneAndNanInTheInfluenceStream) {
  const KMMATRIX bones[2] = {Translation(1, 0, 0), Translation(0, 10, 0)};
  const std::vector<Vertex> in(4, Vertex{{0, 0, 0}, {0, 0, 1}, {}});
  std::vector<Vertex> out(4);
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float influences[] = {1.0f, -0.0f, 3.0f, -1.0f, -1.0f, nan, 3.0f, -1.0f};
  BlendWithNormal(bones, nullptr, in, out, influences);
  if (ReferenceBlend()) {
    // -0.0 is bone 0 with weight 0; -1.0 and NaN end runs, so vertices 1
    // and 2 have empty runs.
    ExpectVector(out[0].position, 1, 10, 0);
    ExpectVector(out[1].position, 0, 0, 0);
    ExpectVector(out[2].position, 0, 0, 0);
    ExpectVector(out[3].position, 0, 10, 0);
  } else {
    // A set sign bit ends the run, -0.0 included; so does a NaN.
    ExpectVector(out[0].position, 1, 0, 0);
    ExpectVector(out[1].position, 0, 10, 0);
    ExpectVector(out[2].position, 0, 0, 0);
    ExpectVector(out[3].position, 0, 0, 0);
  }
  ExpectVector(out[2].normal, 0, 0, 0);
}

TEST_P(Skinning, CopyFirstDecidesWhetherANormalInsideTheTailSurvives) {
  KMMATRIX bone = Identity();
  bone._11 = bone._22 = bone._33 = 2;
  const std::vector<Vertex> in = {{{1, 1, 1}, {0, 0, 1}, {3, 4}}};
  const float influences[] = {1.0f, -1.0f};
  const std::uint32_t tail_with_normal = offsetof(Vertex, normal);
  std::vector<Vertex> first(1), last(1);
  BlendWithNormal(&bone, nullptr, in, first, influences, tail_with_normal, 1);
  BlendWithNormal(&bone, nullptr, in, last, influences, tail_with_normal, 0);
  ExpectVector(first[0].normal, 0, 0, 2);
  ExpectVector(last[0].normal, 0, 0, 1);
  ExpectVector(first[0].position, 2, 2, 2);
  ExpectVector(last[0].position, 2, 2, 2);
  EXPECT_EQ(first[0].extra[1], 4);
  EXPECT_EQ(last[0].extra[1], 4);
}

TEST_P(Skinning, SeparateStreamsAdvanceTheirPointersByTheWholeBatch) {
  // Two normal streams (the general path) in a buffer of their own, three
  // vertices each with its own bone.
  const KMMATRIX bones[3] = {Translation(1, 0, 0), RotationZ(static_cast<float>(M_PI / 2)),
                             Identity()};
  const std::vector<Vertex> in(3, Vertex{{1, 0, 0}, {}, {}});
  std::vector<Vertex> out(3);
  std::vector<Vertex> streams_in(3, Vertex{{1, 0, 0}, {0, 0, 1}, {}}), streams_out(3);
  const KMVECTOR3* sources[2] = {&streams_in[0].position, &streams_in[0].normal};
  KMVECTOR3* destinations[2] = {&streams_out[0].position, &streams_out[0].normal};
  const float influences[] = {1.0f, -1.0f, 3.0f, -1.0f, 5.0f, -1.0f};
  SkinnedMeshBlend(bones, nullptr, in.data(), out.data(), 3, kStride, sources, destinations, 2,
                   kStride, influences, 0);
  ExpectVector(out[0].position, 2, 0, 0);
  ExpectVector(out[1].position, 0, 1, 0);
  ExpectVector(out[2].position, 1, 0, 0);
  ExpectVector(streams_out[0].position, 1, 0, 0);
  ExpectVector(streams_out[1].position, 0, 1, 0);
  ExpectVector(streams_out[1].normal, 0, 0, 1);
  EXPECT_EQ(sources[0], &streams_in.data()[3].position);
  EXPECT_EQ(sources[1], &streams_in.data()[3].normal);
  EXPECT_EQ(destinations[0], &streams_out.data()[3].position);
  EXPECT_EQ(destinations[1], &streams_out.data()[3].normal);
}

TEST_P(Skinning, OddStrideCopiesExactlyTheTailBytes) {
  // 30-byte vertices, tail from byte 13: four words and one byte, positions
  // misaligned from the second vertex on. Exact-size heap buffers let the
  // sanitizers see any byte past the end.
  constexpr std::uint32_t stride = 30, offset = 13, count = 3;
  std::vector<unsigned char> in(stride * count), out(stride * count, 0xee);
  for (std::size_t i = 0; i < in.size(); ++i) in[i] = static_cast<unsigned char>(i);
  for (std::uint32_t v = 0; v < count; ++v) {
    const KMVECTOR3 p{1.0f + v, 2, 3};
    std::memcpy(&in[v * stride], &p, sizeof p);
  }
  const KMMATRIX bone = Identity();
  const float influences[] = {1.0f, -1.0f, 1.0f, -1.0f, 1.0f, -1.0f};
  SkinnedMeshBlend(&bone, nullptr, in.data(), out.data(), count, stride, nullptr, nullptr, 0,
                   offset, influences, 0);
  for (std::uint32_t v = 0; v < count; ++v) {
    KMVECTOR3 p;
    std::memcpy(&p, &out[v * stride], sizeof p);
    ExpectVector(p, 1.0f + v, 2, 3);
    EXPECT_EQ(out[v * stride + 12], 0xee) << "byte between position and tail, vertex " << v;
    EXPECT_EQ(std::memcmp(&out[v * stride + offset], &in[v * stride + offset], stride - offset), 0);
  }
}

TEST_P(Skinning, LimitsBeyondTheContractAreHandledSafely) {
  // More than 65 streams: the first 65 are blended, the rest left alone.
  // A copy offset past the stride copies nothing.
  constexpr int kStreams = 66;
  KMMATRIX bone = Identity();
  bone._11 = 2;
  std::vector<KMVECTOR3> normals_in(kStreams, KMVECTOR3(1, 0, 0)), normals_out(kStreams);
  std::vector<const KMVECTOR3*> sources;
  std::vector<KMVECTOR3*> destinations;
  for (int i = 0; i < kStreams; ++i) {
    sources.push_back(&normals_in[i]);
    destinations.push_back(&normals_out[i]);
    normals_out[i] = KMVECTOR3(9, 9, 9);
  }
  const Vertex in{{1, 0, 0}, {}, {5, 6}};
  Vertex out{};
  const float influences[] = {1.0f, -1.0f};
  SkinnedMeshBlend(&bone, nullptr, &in, &out, 1, kStride, sources.data(), destinations.data(),
                   kStreams, kStride + 4, influences, 0);
  ExpectVector(out.position, 2, 0, 0);
  EXPECT_EQ(out.extra[0], 0);
  ExpectVector(normals_out[64], 2, 0, 0);
  ExpectVector(normals_out[65], 9, 9, 9);
  EXPECT_EQ(reinterpret_cast<char*>(destinations[64]),
            reinterpret_cast<char*>(&normals_out[64]) + kStride);
  EXPECT_EQ(destinations[65], &normals_out[65]);
}

TEST_P(Skinning, AlignedAndUnalignedMatrixArraysGiveIdenticalResults) {
  // Two bones with w = 2, copied to a 16-byte boundary and 4 bytes past one.
  struct alignas(16) Storage {
    float floats[2 * 16 * 2 + 4];
  };
  Storage positions{}, normals{};
  KMMATRIX bones[2] = {RotationZ(0.3f), Translation(1, 2, 3)};
  bones[0]._44 = bones[1]._44 = 2;
  for (Storage* s : {&positions, &normals}) {
    std::memcpy(s->floats, bones, sizeof bones);
    std::memcpy(s->floats + 2 * 16 + 1, bones, sizeof bones);
  }
  const auto* aligned_p = reinterpret_cast<const KMMATRIX*>(positions.floats);
  const auto* unaligned_p = reinterpret_cast<const KMMATRIX*>(positions.floats + 2 * 16 + 1);
  const auto* aligned_n = reinterpret_cast<const KMMATRIX*>(normals.floats);
  const auto* unaligned_n = reinterpret_cast<const KMMATRIX*>(normals.floats + 2 * 16 + 1);
  const std::vector<Vertex> in = {{{0.5f, -1.5f, 2}, {0.6f, 0, 0.8f}, {}}};
  const float influences[] = {0.25f, 3.75f, -1.0f};
  std::vector<Vertex> want(1), got(1);
  BlendWithNormal(aligned_p, aligned_n, in, want, influences);
  const std::pair<const KMMATRIX*, const KMMATRIX*> variants[] = {
      {unaligned_p, unaligned_n}, {aligned_p, unaligned_n}, {unaligned_p, aligned_n}};
  for (const auto& [p, n] : variants) {
    BlendWithNormal(p, n, in, got, influences);
    EXPECT_EQ(std::memcmp(&got[0], &want[0], 24), 0);
  }
}

// Random batches: every family against the reference, with matrices whose
// fourth column is (0, 0, 0, 1) so that the division by w is exact in both.
TEST_P(Skinning, AgreesWithTheReferenceOnRandomBatches) {
  std::mt19937 random(7);
  std::uniform_real_distribution<float> value(-2, 2), weight(0, 1.99f);
  std::uniform_int_distribution<int> bone_of(0, 3), run(0, 4);
  KMMATRIX bones[4], normal_bones[4];
  for (int b = 0; b < 4; ++b) {
    for (KMMATRIX* m : {&bones[b], &normal_bones[b]}) {
      for (auto& row : m->m) {
        for (float& x : row) x = value(random);
      }
      m->_14 = m->_24 = m->_34 = 0;
      m->_44 = 1;
    }
  }
  constexpr std::uint32_t count = 9;
  std::vector<Vertex> in(count);
  for (Vertex& v : in) {
    v.position = KMVECTOR3(value(random), value(random), value(random));
    v.normal = KMVECTOR3(value(random), value(random), value(random));
  }
  std::vector<float> influences;
  for (std::uint32_t v = 0; v < count; ++v) {
    for (int k = run(random); k > 0; --k)
      influences.push_back(2.0f * bone_of(random) + weight(random));
    influences.push_back(-1.0f);
  }
  std::vector<Vertex> want(count), got(count);
  for (std::vector<Vertex>* out : {&want, &got}) {
    const KMVECTOR3* source_normal = &in[0].normal;
    KMVECTOR3* destination_normal = &(*out)[0].normal;
    const auto blend = out == &want ? &kubik::reference::SkinnedMeshBlend : &::SkinnedMeshBlend;
    blend(bones, normal_bones, in.data(), out->data(), count, kStride, &source_normal,
          &destination_normal, 1, kTail, influences.data(), 0);
  }
  for (std::uint32_t v = 0; v < count; ++v) {
    const float* w = &want[v].position.x;
    const float* g = &got[v].position.x;
    for (int i = 0; i < 6; ++i) {
      EXPECT_NEAR(g[i], w[i], 8 * Tolerance() * (1 + std::fabs(w[i])))
          << "vertex " << v << ", float " << i;
    }
  }
  // The AVX families' blend is the reference walk on their own transforms.
  if (Is("avx2") || Is("avx512")) {
    EXPECT_EQ(std::memcmp(want.data(), got.data(), count * sizeof(Vertex)), 0);
  }
}

KUBIK_FOR_EVERY_FAMILY(Skinning);

}  // namespace
