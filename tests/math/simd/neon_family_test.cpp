// The NEON family where the conformance suite does not look closely: the
// half conversions bit for bit over every half and around every float
// threshold, in every rounding mode; the array transforms at every stride
// and count with their last element flush against an unreadable page; and
// the guards the family keeps from the reference.
#include <gtest/gtest.h>
#include <kubik/kmath.h>
#include <sys/mman.h>
#include <unistd.h>

#include <bit>
#include <cfenv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "math/reference/reference.h"
#include "math/simd/neon/family.h"

namespace {

namespace neon = kubik::neon;
namespace reference = kubik::reference;

// ---- Half conversions -------------------------------------------------------

// Float bit patterns the conversion treats differently on either side of:
// the smallest normal half, the IEEE overflow point, the saturation point,
// half the smallest denormal, and the denormal rounding ties.
std::vector<std::uint32_t> FloatsAroundThresholds() {
  std::vector<std::uint32_t> bits;
  const std::uint32_t thresholds[] = {0x38800000u, 0x477fe000u, 0x477ff000u, 0x47ffefffu,
                                      0x47fff000u, 0x33000000u, 0x33800000u, 0x7f800000u,
                                      0x00000000u, 0x387fc000u, 0x38000000u};
  for (std::uint32_t t : thresholds) {
    for (std::uint32_t d = 0; d < 8192; ++d) {
      for (std::uint32_t sign : {0u, 0x80000000u}) {
        bits.push_back(sign | (t + d - 4096));
      }
    }
  }
  // Every denormal-half tie: a kept bit pattern followed by exactly half a step.
  for (std::uint32_t e = 103; e < 113; ++e) {
    for (std::uint32_t m = 0; m < 0x800000u; m += 0x1000u) {
      bits.push_back((e << 23) | m | 0x800u);
      bits.push_back((e << 23) | m | 0x801u);
    }
  }
  // And a sparse walk over all of them, NaNs included.
  for (std::uint64_t b = 0; b <= 0xffffffffu; b += 65521)
    bits.push_back(static_cast<std::uint32_t>(b));
  return bits;
}

class HalfConversion : public ::testing::TestWithParam<int> {
 protected:
  void SetUp() override {
    saved_ = std::fegetround();
    ASSERT_EQ(std::fesetround(GetParam()), 0);
  }
  void TearDown() override { std::fesetround(saved_); }
  int saved_ = FE_TONEAREST;
};

INSTANTIATE_TEST_SUITE_P(RoundingModes, HalfConversion,
                         ::testing::Values(FE_TONEAREST, FE_UPWARD, FE_DOWNWARD, FE_TOWARDZERO));

TEST_P(HalfConversion, EveryHalfToFloatMatchesTheReference) {
  std::vector<KMFLOAT16> halves(65536);
  for (std::uint32_t h = 0; h < 65536; ++h) halves[h].value = static_cast<std::uint16_t>(h);
  std::vector<float> want(65536), got(65536);
  reference::KMFloat16To32Array(want.data(), halves.data(), 65536);
  neon::KMFloat16To32Array(got.data(), halves.data(), 65536);
  for (std::uint32_t h = 0; h < 65536; ++h) {
    ASSERT_EQ(std::bit_cast<std::uint32_t>(got[h]), std::bit_cast<std::uint32_t>(want[h]))
        << std::hex << "half 0x" << h;
  }
}

TEST_P(HalfConversion, FloatsAroundEveryThresholdMatchTheReference) {
  const std::vector<std::uint32_t> bits = FloatsAroundThresholds();
  std::vector<float> in(bits.size());
  std::memcpy(in.data(), bits.data(), bits.size() * sizeof(float));
  std::vector<KMFLOAT16> want(in.size()), got(in.size());
  reference::KMFloat32To16Array(want.data(), in.data(), static_cast<std::uint32_t>(in.size()));
  neon::KMFloat32To16Array(got.data(), in.data(), static_cast<std::uint32_t>(in.size()));
  for (std::size_t i = 0; i < in.size(); ++i) {
    ASSERT_EQ(got[i].value, want[i].value) << std::hex << "float bits 0x" << bits[i];
  }
}

TEST(HalfConversionTails, WriteExactlyTheGivenElements) {
  for (std::uint32_t n = 0; n <= 9; ++n) {
    std::vector<float> in(n + 2, 1.5f);
    std::vector<KMFLOAT16> halves(n + 2, KMFLOAT16{0xabcd});
    neon::KMFloat32To16Array(halves.data() + 1, in.data() + 1, n);
    EXPECT_EQ(halves[0].value, 0xabcd);
    EXPECT_EQ(halves[n + 1].value, 0xabcd) << n;
    std::vector<float> back(n + 2, -7.0f);
    neon::KMFloat16To32Array(back.data() + 1, halves.data() + 1, n);
    EXPECT_EQ(back[0], -7.0f);
    EXPECT_EQ(back[n + 1], -7.0f) << n;
    for (std::uint32_t i = 1; i <= n; ++i) EXPECT_EQ(back[i], 1.5f);
  }
}

// ---- Array transforms ---------------------------------------------------------

// A buffer whose last byte sits right before an unreadable page.
class GuardedBuffer {
 public:
  explicit GuardedBuffer(std::size_t bytes)
      : page_(static_cast<std::size_t>(sysconf(_SC_PAGESIZE))) {
    span_ = (bytes + page_ - 1) / page_ * page_ + page_;
    base_ = static_cast<unsigned char*>(
        mmap(nullptr, span_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    mprotect(base_ + span_ - page_, page_, PROT_NONE);
    data_ = base_ + span_ - page_ - bytes;
    std::memset(base_, 0x5a, span_ - page_);
  }
  ~GuardedBuffer() { munmap(base_, span_); }
  unsigned char* data() { return data_; }
  // Bytes before the buffer still hold the fill.
  bool FillBeforeIntact() const {
    for (const unsigned char* p = base_; p < data_; ++p) {
      if (*p != 0x5a) return false;
    }
    return true;
  }

 private:
  std::size_t page_, span_;
  unsigned char* base_;
  unsigned char* data_;
};

using ArrayFunction = void* (*)(void*, std::uint32_t, const void*, std::uint32_t, const KMMATRIX*,
                                std::uint32_t);

struct ArraySlot {
  const char* name;
  ArrayFunction neon, reference;
  std::uint32_t in_size, out_size;
};

template <typename Out, typename In>
ArrayFunction Erase(Out* (*f)(Out*, std::uint32_t, const In*, std::uint32_t, const KMMATRIX*,
                              std::uint32_t)) {
  return reinterpret_cast<ArrayFunction>(f);
}

#define KUBIK_ARRAY_SLOT(name, in, out)                         \
  ArraySlot {                                                   \
#name, Erase(&neon::name), Erase(&reference::name), in, out \
  }

const ArraySlot kArraySlots[] = {
    KUBIK_ARRAY_SLOT(KMVec2TransformArray, 8, 16),
    KUBIK_ARRAY_SLOT(KMVec2TransformCoordArray, 8, 8),
    KUBIK_ARRAY_SLOT(KMVec2TransformNormalArray, 8, 8),
    KUBIK_ARRAY_SLOT(KMVec3TransformArray, 12, 16),
    KUBIK_ARRAY_SLOT(KMVec3TransformCoordArray, 12, 12),
    KUBIK_ARRAY_SLOT(KMVec3TransformNormalArray, 12, 12),
    KUBIK_ARRAY_SLOT(KMVec4TransformArray, 16, 16),
    KUBIK_ARRAY_SLOT(KMPlaneTransformArray, 16, 16),
};

const KMMATRIX kMatrix(0.9f, 0.2f, -0.3f, 0.01f, -0.1f, 1.1f, 0.4f, 0.02f, 0.25f, -0.5f, 0.8f,
                       0.03f, 3, -4, 5, 1.5f);

class ArrayTransform : public ::testing::TestWithParam<ArraySlot> {};

INSTANTIATE_TEST_SUITE_P(Neon, ArrayTransform, ::testing::ValuesIn(kArraySlots),
                         [](const auto& info) { return std::string(info.param.name); });

// Every count from 0 to 11 at packed, padded, odd and zero strides, with
// the last element of input and output flush against an unreadable page:
// results match the reference, and no byte outside the elements changes.
TEST_P(ArrayTransform, AnyStrideAndCountTouchesOnlyItsElements) {
  const ArraySlot& slot = GetParam();
  std::mt19937 random(7);
  std::uniform_real_distribution<float> value(-4.0f, 4.0f);
  for (std::uint32_t extra : {0u, 4u, 1u, 5u}) {
    for (bool zero_stride : {false, true}) {
      const std::uint32_t in_stride = zero_stride ? 0 : slot.in_size + extra;
      const std::uint32_t out_stride = slot.out_size + extra;
      for (std::uint32_t n = 0; n <= 11; ++n) {
        SCOPED_TRACE(testing::Message()
                     << "stride +" << extra << (zero_stride ? " (in 0)" : "") << " n " << n);
        const std::size_t in_bytes = n == 0 ? 0 : (n - 1) * std::size_t{in_stride} + slot.in_size;
        const std::size_t out_bytes =
            n == 0 ? 0 : (n - 1) * std::size_t{out_stride} + slot.out_size;
        GuardedBuffer in(in_bytes), out(out_bytes);
        for (std::uint32_t e = 0; e < n; ++e) {
          for (std::uint32_t c = 0; c < slot.in_size; c += 4) {
            const float f = value(random);
            std::memcpy(in.data() + std::size_t{e} * in_stride + c, &f, 4);
          }
        }
        std::vector<unsigned char> want(out_bytes, 0x5a);
        std::memset(out.data(), 0x5a, out_bytes);
        slot.reference(want.data(), out_stride, in.data(), in_stride, &kMatrix, n);
        slot.neon(out.data(), out_stride, in.data(), in_stride, &kMatrix, n);
        EXPECT_TRUE(out.FillBeforeIntact());
        for (std::size_t i = 0; i < out_bytes; ++i) {
          const std::size_t element = i % out_stride;
          if (element >= slot.out_size) {
            ASSERT_EQ(out.data()[i], 0x5a) << "padding byte " << i << " written";
          } else if (element % 4 == 0) {
            float g, w;
            std::memcpy(&g, out.data() + i, 4);
            std::memcpy(&w, want.data() + i, 4);
            if (!(std::isnan(g) && std::isnan(w))) {
              ASSERT_NEAR(g, w, 4e-6 * (8 + std::fabs(w))) << "byte " << i;
            }
          }
        }
      }
    }
  }
}

TEST(NeonArrays, InPlaceTransformsReadEachBlockBeforeWritingIt) {
  std::vector<KMVECTOR3> points(7), want(7);
  for (int i = 0; i < 7; ++i) points[i] = KMVECTOR3(i, 2.0f * i, 1.0f - i);
  reference::KMVec3TransformCoordArray(want.data(), 12, points.data(), 12, &kMatrix, 7);
  neon::KMVec3TransformCoordArray(points.data(), 12, points.data(), 12, &kMatrix, 7);
  for (int i = 0; i < 7; ++i) {
    EXPECT_NEAR(points[i].x, want[i].x, 1e-5);
    EXPECT_NEAR(points[i].z, want[i].z, 1e-5);
  }
}

// ---- Guards kept from the reference --------------------------------------------

TEST(NeonGuards, NormalisersGiveZeroForTinyZeroAndNaNLengths) {
  for (float c : {0.0f, 1e-30f, NAN}) {
    KMVECTOR3 v3(c, c, c);
    neon::KMVec3Normalize(&v3, &v3);
    EXPECT_EQ(v3.x, 0.0f) << c;
    KMQUATERNION q(c, c, c, c);
    neon::KMQuaternionNormalize(&q, &q);
    EXPECT_EQ(q.w, 0.0f) << c;
    KMPLANE p(c, c, c, 5.0f);
    neon::KMPlaneNormalize(&p, &p);
    EXPECT_EQ(p.d, 0.0f) << c;
  }
  // Nearly unit length: returned exactly as given.
  const KMVECTOR4 nearly(0.6f, 0.8f, std::nextafter(0.0f, 1.0f), 0.0f);
  KMVECTOR4 out;
  neon::KMVec4Normalize(&out, &nearly);
  EXPECT_EQ(std::memcmp(&out, &nearly, sizeof out), 0);
}

TEST(NeonGuards, SingularInverseReportsItsDeterminantAndWritesNothing) {
  KMMATRIX singular(1, 2, 3, 4, 2, 4, 6, 8, 0, 1, 0, 1, 5, 6, 7, 9);
  KMMATRIX out(9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9);
  float det = -1;
  EXPECT_EQ(neon::KMMatrixInverse(&out, &det, &singular), nullptr);
  EXPECT_EQ(det, 0.0f);
  EXPECT_EQ(out._11, 9.0f);

  KMMATRIX m = kMatrix, product;
  ASSERT_EQ(neon::KMMatrixInverse(&m, &det, &m), &m);  // in place
  neon::KMMatrixMultiply(&product, &m, &kMatrix);
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) EXPECT_NEAR(product.m[r][c], r == c ? 1.0f : 0.0f, 1e-5f);
  }
  EXPECT_NEAR(det, reference::KMMatrixDeterminant(&kMatrix), 1e-5f);
}

}  // namespace
