// What kmath.h says of each operation, checked on every implementation
// family: each family is installed into a private table, and the slot
// functions are called from it directly. The 3DNow! family is built on its
// portable pair form in the library, so it runs here on a simulated
// processor when the real one lacks 3DNow!. The rules the header states for
// every family are checked on every registered family; the ones it states
// for named families, on those.
#include <gtest/gtest.h>
#include <kubik/kmath.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "math/cpu/processor.h"
#include "math/cpu/registry.h"
#include "math/dispatch/operation_table.h"

namespace kubik {
namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

// A processor with every feature the families look for.
const SimulatedProcessor& EveryFeatureProcessor() {
  static const SimulatedProcessor processor = [] {
    SimulatedProcessor p;
    constexpr std::uint32_t kMmx = 1u << 23, kSse = 1u << 25, kSse2 = 1u << 26;
    constexpr std::uint32_t k3DNow = 1u << 31, kExt3DNow = 1u << 30, kAmdMmx = 1u << 22;
    p.Leaf(0, {1, 0, 0, 0}).Leaf(1, {0, 0, 0, kMmx | kSse | kSse2});
    p.Leaf(0x80000000u, {0x80000001u, 0, 0, 0})
        .Leaf(0x80000001u, {0, 0, 0, k3DNow | kExt3DNow | kAmdMmx});
    p.Os(true, true);
    return p;
  }();
  return processor;
}

std::vector<const ImplementationFamily*> Families() {
  std::vector<const ImplementationFamily*> all;
  for (const ImplementationFamily& family : ImplementationFamilies()) all.push_back(&family);
  return all;
}

class HeaderPromises : public ::testing::TestWithParam<const ImplementationFamily*> {
 protected:
  void SetUp() override {
    const ImplementationFamily& family = *GetParam();
    const ProcessorProbe* processor = &RealProcessor();
    // Only families built on portable code may run on a simulated processor.
    if (!family.can_run(*processor) && std::string(family.name) == "3dnow") {
      processor = &EveryFeatureProcessor();
    }
    if (!family.can_run(*processor)) GTEST_SKIP() << family.name << " cannot run here";
    family.install(table_, *processor);
    name_ = family.name;
  }

  bool IsSseFamily() const { return name_ == "sse" || name_ == "sse2"; }
  bool IsSimdFamily() const { return IsSseFamily() || name_ == "3dnow"; }
  // Families the header describes one by one (a new family gets its line
  // there and here).
  bool IsDescribed() const { return IsSimdFamily() || name_ == "reference" || name_ == "x87"; }

  OperationTable table_;
  std::string name_;
};

template <typename Record>
bool AllZero(const Record& r) {
  const float* f = reinterpret_cast<const float*>(&r);
  for (std::size_t i = 0; i < sizeof(Record) / sizeof(float); ++i) {
    if (f[i] != 0.0f) return false;
  }
  return true;
}

TEST_P(HeaderPromises, NormalisersGiveZeroForZeroTinyAndNaN) {
  // "at or below the smallest normal float (or NaN) gives the zero vector"
  // (x87's 3-vector normaliser: zero only for the zero vector).
  const bool x87_vec3 = name_ == "x87" || !IsDescribed();
  for (const float c : {0.0f, -0.0f, 1e-30f, kNaN}) {
    const bool must_be_zero = c == 0.0f || !x87_vec3;
    KMVECTOR4 v4(c, 0, 0, c), o4(9, 9, 9, 9);
    EXPECT_TRUE(AllZero(*table_.Get<Slot::KMVec4Normalize>()(&o4, &v4))) << c;
    KMQUATERNION q(c, 0, c, 0), oq(9, 9, 9, 9);
    EXPECT_TRUE(AllZero(*table_.Get<Slot::KMQuaternionNormalize>()(&oq, &q))) << c;
    KMVECTOR2 v2(c, c), o2(9, 9);
    EXPECT_TRUE(AllZero(*table_.Get<Slot::KMVec2Normalize>()(&o2, &v2))) << c;
    KMPLANE p(c, c, 0, 5), op(9, 9, 9, 9);
    EXPECT_TRUE(AllZero(*table_.Get<Slot::KMPlaneNormalize>()(&op, &p))) << c;
    KMVECTOR3 v3(c, 0, c), o3(9, 9, 9);
    table_.Get<Slot::KMVec3Normalize>()(&o3, &v3);
    if (must_be_zero) {
      EXPECT_TRUE(AllZero(o3)) << c;
    }
  }
}

TEST_P(HeaderPromises, NormalisersGiveUnitLength) {
  // Unchanged by the zero guards: ordinary and small (but normal) lengths.
  const double tolerance = name_ == "x87" ? 2e-6 : 1e-6;
  for (const float scale : {1e-18f, 3e-3f, 1.0f, 7e4f, 1e18f}) {
    const KMVECTOR4 v(0.5f * scale, -1.0f * scale, 2.0f * scale, 0.25f * scale);
    KMVECTOR4 o;
    table_.Get<Slot::KMVec4Normalize>()(&o, &v);
    EXPECT_NEAR(std::sqrt(KMVec4LengthSq(&o)), 1.0, tolerance) << scale;
    const KMQUATERNION q(v.x, v.y, v.z, v.w);
    KMQUATERNION oq;
    table_.Get<Slot::KMQuaternionNormalize>()(&oq, &q);
    EXPECT_EQ(std::memcmp(&oq, &o, sizeof o), 0) << "quaternion and 4-vector differ";
    const KMVECTOR3 v3(v.x, v.y, v.z);
    KMVECTOR3 o3;
    table_.Get<Slot::KMVec3Normalize>()(&o3, &v3);
    // SSE and SSE2 give the zero 3-vector below a squared length of 2^-46.
    if (!IsDescribed() && scale < 1e-7f) continue;
    if (IsSseFamily() && scale < 1e-7f) {
      EXPECT_TRUE(AllZero(o3)) << scale;
    } else {
      EXPECT_NEAR(KMVec3Length(&o3), 1.0, tolerance) << scale;
    }
  }
}

TEST_P(HeaderPromises, InverseOfASingularMatrix) {
  KMMATRIX singular;
  KMMatrixIdentity(&singular);
  singular._22 = 0.0f;
  KMMATRIX out;
  KMMatrixIdentity(&out);
  out._41 = 7.0f;
  const KMMATRIX before = out;
  float determinant = 5.0f;
  EXPECT_EQ(table_.Get<Slot::KMMatrixInverse>()(&out, &determinant, &singular), nullptr);
  EXPECT_EQ(out, before);
  // SSE and SSE2 leave the determinant as it was; the others store 0.
  if (IsDescribed()) {
    EXPECT_EQ(determinant, IsSseFamily() ? 5.0f : 0.0f);
  }

  // A determinant of about 1e-39: its reciprocal does not fit a float.
  KMMATRIX tiny;
  KMMatrixScaling(&tiny, 1e-13f, 1e-13f, 1e-13f);
  determinant = 5.0f;
  EXPECT_EQ(table_.Get<Slot::KMMatrixInverse>()(&out, &determinant, &tiny), nullptr);
  EXPECT_EQ(out, before);
  EXPECT_NEAR(determinant, 1e-39f, 1e-42f);

  // And a regular one stores its determinant and inverts.
  KMMATRIX scale;
  KMMatrixScaling(&scale, 2.0f, 4.0f, 0.5f);
  ASSERT_EQ(table_.Get<Slot::KMMatrixInverse>()(&out, &determinant, &scale), &out);
  EXPECT_FLOAT_EQ(determinant, 4.0f);
  EXPECT_FLOAT_EQ(out._22, 0.25f);
}

TEST_P(HeaderPromises, TransformCoordDividesByW) {
  // w exactly 1: the reference and x87 families skip the division; the SIMD
  // families multiply by a refined reciprocal, within 2^-21 relative.
  KMMATRIX move;
  KMMatrixTranslation(&move, 10.0f, -3.0f, 40.0f);
  const KMVECTOR3 origin(0.0f, 0.0f, 0.0f);
  KMVECTOR3 out;
  table_.Get<Slot::KMVec3TransformCoord>()(&out, &origin, &move);
  if (IsSimdFamily() || !IsDescribed()) {
    EXPECT_NEAR(out.z, 40.0f, 40.0f * std::ldexp(1.0f, -21));
  } else {
    EXPECT_EQ(out, KMVECTOR3(10.0f, -3.0f, 40.0f));
  }
  // w = 4: every family divides.
  KMMATRIX projective = move;
  projective._44 = 4.0f;
  table_.Get<Slot::KMVec3TransformCoord>()(&out, &origin, &projective);
  EXPECT_NEAR(out.z, 10.0f, 10.0f * std::ldexp(1.0f, -21));
}

TEST_P(HeaderPromises, ParallelLineMissesThePlane) {
  const KMPLANE ground(0.0f, 1.0f, 0.0f, 0.0f);
  const KMVECTOR3 a(0.0f, 1.0f, 0.0f), b(5.0f, 1.0f, 3.0f);
  KMVECTOR3 out(7.0f, 7.0f, 7.0f);
  EXPECT_EQ(table_.Get<Slot::KMPlaneIntersectLine>()(&out, &ground, &a, &b), nullptr);
  EXPECT_EQ(out, KMVECTOR3(7.0f, 7.0f, 7.0f));
}

TEST_P(HeaderPromises, QuaternionInverseOfZero) {
  // Zero for every family but SSE, whose inverse has no guard.
  const KMQUATERNION zero(0.0f, 0.0f, 0.0f, 0.0f);
  KMQUATERNION out(9, 9, 9, 9);
  table_.Get<Slot::KMQuaternionInverse>()(&out, &zero);
  if (name_ == "sse") {
    EXPECT_TRUE(std::isnan(out.w));
  } else if (IsDescribed()) {
    EXPECT_TRUE(AllZero(out));
  }
}

TEST_P(HeaderPromises, LibraryHalfFormatSaturates) {
  // The extended-range format: no infinities or NaNs, 131008 at most.
  const float in[] = {70000.0f, 131040.0f, std::numeric_limits<float>::infinity(),
                      -std::numeric_limits<float>::infinity(), kNaN, 65536.0f};
  KMFLOAT16 out[6];
  table_.Get<Slot::KMFloat32To16Array>()(out, in, 6);
  const std::uint16_t want[] = {0x7c46, 0x7fff, 0x7fff, 0xffff, 0x7fff, 0x7c00};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(out[i].value, want[i]) << in[i];
  float back[6];
  table_.Get<Slot::KMFloat16To32Array>()(back, out, 6);
  EXPECT_EQ(back[1], 131008.0f);
  EXPECT_EQ(back[5], 65536.0f);
  EXPECT_EQ(back[4], 131008.0f);  // a NaN comes back finite
}

INSTANTIATE_TEST_SUITE_P(EveryFamily, HeaderPromises, ::testing::ValuesIn(Families()),
                         [](const ::testing::TestParamInfo<const ImplementationFamily*>& info) {
                           return std::string(info.param->name);
                         });

}  // namespace
}  // namespace kubik
