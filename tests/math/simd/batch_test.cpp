// Every family's batch operations: array transforms against the family's
// single transforms around its batch threshold, in place, with wide strides
// and unaligned bases; the half conversion against the reference for every
// half at every lane of a block (and through both SSE2 paths).
#include <gtest/gtest.h>
#include <kubik/kmath.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "math/reference/reference.h"
#include "math/simd/avx2/family.h"
#include "math/simd/sse/family.h"
#include "math/simd/sse2/family.h"
#include "tests/math/family_test_support.h"

namespace {

using kubik::OperationTable;
using kubik::Slot;

// A family's array transforms give exactly its single transforms' bits up to
// Threshold() elements; above it, blocks of four may round differently.
// Families without batch code of their own are exact at every count; the
// AMD arrays work in blocks from the first element.
class Batch : public kubik::testing::FamilyTest {
 protected:
  void SetUp() override {
    FamilyTest::SetUp();
    // The 2-vector arrays reach their single transforms through the public entries.
    BindProcessTable();
  }
  std::uint32_t Threshold() const {
    if (Is("sse")) return kubik::sse::kBatchAbove;
    if (Is("sse2")) return kubik::sse2::kBatchAbove;
    const bool own_arrays = table_.Get<Slot::KMVec3TransformCoordArray>() !=
                            &kubik::reference::KMVec3TransformCoordArray;
    return own_arrays ? 0 : kNeverBatched;
  }
  // The count the tests place their sizes around: for arrays in blocks from
  // the first element, past two blocks of the widest family (16 elements),
  // so that the sizes end in whole blocks and in every kind of remainder.
  std::uint32_t Pivot() const {
    const std::uint32_t threshold = Threshold();
    return threshold == kNeverBatched ? 12 : threshold == 0 ? 32 : threshold;
  }

  // The SSE families and the AMD one divide by every w, with a refined
  // reciprocal estimate; the others leave w within 2^-23 of 1 undivided.
  bool LeavesWNearOneUndivided() const { return !Is("sse") && !Is("sse2") && !Is("3dnow"); }

  static constexpr std::uint32_t kNeverBatched = 0xffffffffu;
};

KUBIK_FOR_EVERY_FAMILY(Batch);

// ---- Array transforms --------------------------------------------------------

// A matrix whose w column keeps w between 1 and 3 for inputs in [-1, 1].
KMMATRIX ProjectiveMatrix(std::mt19937& random) {
  std::uniform_real_distribution<float> value(-2, 2), small(-0.3f, 0.3f);
  KMMATRIX m;
  for (auto& row : m.m) {
    for (float& x : row) x = value(random);
  }
  m._14 = small(random);
  m._24 = small(random);
  m._34 = small(random);
  m._44 = 2;
  return m;
}

// Bytes for n elements at `stride`, starting `offset` bytes past a 16-byte
// boundary, filled with a pattern that no transform produces.
struct Strided {
  Strided(std::uint32_t n, std::uint32_t stride, std::uint32_t size, std::uint32_t offset)
      : bytes(offset + (n ? (n - 1) * stride + size : 0) + 16), base(offset), stride(stride) {
    storage.resize((bytes + 15) / 16);
    std::memset(storage.data(), 0xa5, storage.size() * 16);
  }
  char* At(std::uint32_t i) { return reinterpret_cast<char*>(storage.data()) + base + i * stride; }

  struct alignas(16) Block {
    char b[16];
  };
  std::size_t bytes;
  std::uint32_t base, stride;
  std::vector<Block> storage;
};

struct Layout {
  std::uint32_t n, in_stride, out_stride, offset;
  bool in_place;
};

// One array slot against its single-element slot: the elements that go
// through the single path must match it bit for bit, those of the blocks
// within single-precision rounding; no byte outside the output elements may
// change.
template <Slot kArray, Slot kSingle, typename In, typename Out>
void CheckArray(const OperationTable& table, std::uint32_t threshold, const Layout& layout,
                std::mt19937& random) {
  constexpr std::uint32_t kInFloats = sizeof(In) / 4, kOutFloats = sizeof(Out) / 4;
  const KMMATRIX m = ProjectiveMatrix(random);
  std::uniform_real_distribution<float> value(-1, 1);
  std::vector<In> elements(layout.n);
  for (In& e : elements) {
    float f[kInFloats];
    for (float& x : f) x = value(random);
    std::memcpy(&e, f, sizeof e);
  }

  Strided in(layout.n, layout.in_stride, sizeof(In), layout.offset);
  Strided out(layout.n, layout.out_stride, sizeof(Out), layout.offset);
  for (std::uint32_t i = 0; i < layout.n; ++i) std::memcpy(in.At(i), &elements[i], sizeof(In));
  Strided& target = layout.in_place ? in : out;
  const std::vector<Strided::Block> untouched = target.storage;

  Out* const result =
      table.Get<kArray>()(reinterpret_cast<Out*>(target.At(0)), layout.out_stride,
                          reinterpret_cast<const In*>(in.At(0)), layout.in_stride, &m, layout.n);
  EXPECT_EQ(static_cast<void*>(result), target.At(0));

  const std::uint32_t blocked = layout.n > threshold ? layout.n & ~3u : 0;
  const char* const base = reinterpret_cast<const char*>(target.storage.data());
  const char* const before = reinterpret_cast<const char*>(untouched.data());
  for (std::size_t byte = 0; byte < target.storage.size() * 16; ++byte) {
    const std::size_t from_first = byte - layout.offset;
    const bool inside = byte >= layout.offset && from_first / layout.out_stride < layout.n &&
                        from_first % layout.out_stride < sizeof(Out);
    if (!inside) {
      ASSERT_EQ(base[byte], before[byte]) << "byte " << byte << " outside the outputs";
    }
  }
  for (std::uint32_t i = 0; i < layout.n; ++i) {
    Out want;
    table.Get<kSingle>()(&want, &elements[i], &m);
    float w[kOutFloats], g[kOutFloats];
    std::memcpy(w, &want, sizeof w);
    std::memcpy(g, target.At(i), sizeof g);
    for (std::uint32_t k = 0; k < kOutFloats; ++k) {
      // A threshold of 0: blocks throughout, and no element is exact.
      if (i >= blocked && threshold != 0) {
        ASSERT_EQ(std::bit_cast<std::uint32_t>(g[k]), std::bit_cast<std::uint32_t>(w[k]))
            << kubik::SlotName(static_cast<unsigned>(kArray)) << ": element " << i << " of "
            << layout.n << ", float " << k;
      } else {
        ASSERT_NEAR(g[k], w[k], 4e-6f * (1 + std::fabs(w[k])))
            << kubik::SlotName(static_cast<unsigned>(kArray)) << ": element " << i << " of "
            << layout.n << ", float " << k;
      }
    }
  }
}

void CheckEveryArray(const OperationTable& table, std::uint32_t threshold, Layout layout,
                     std::mt19937& random, bool narrow_only = false) {
  // In place needs the output to fit where the input is: the coord and
  // normal forms of the 2- and 3-vectors.
  CheckArray<Slot::KMVec2TransformCoordArray, Slot::KMVec2TransformCoord, KMVECTOR2, KMVECTOR2>(
      table, threshold, layout, random);
  CheckArray<Slot::KMVec2TransformNormalArray, Slot::KMVec2TransformNormal, KMVECTOR2, KMVECTOR2>(
      table, threshold, layout, random);
  CheckArray<Slot::KMVec3TransformCoordArray, Slot::KMVec3TransformCoord, KMVECTOR3, KMVECTOR3>(
      table, threshold, layout, random);
  CheckArray<Slot::KMVec3TransformNormalArray, Slot::KMVec3TransformNormal, KMVECTOR3, KMVECTOR3>(
      table, threshold, layout, random);
  if (narrow_only) return;
  CheckArray<Slot::KMVec2TransformArray, Slot::KMVec2Transform, KMVECTOR2, KMVECTOR4>(
      table, threshold, layout, random);
  CheckArray<Slot::KMVec3TransformArray, Slot::KMVec3Transform, KMVECTOR3, KMVECTOR4>(
      table, threshold, layout, random);
  CheckArray<Slot::KMVec4TransformArray, Slot::KMVec4Transform, KMVECTOR4, KMVECTOR4>(
      table, threshold, layout, random);
  CheckArray<Slot::KMPlaneTransformArray, Slot::KMPlaneTransform, KMPLANE, KMPLANE>(
      table, threshold, layout, random);
}

TEST_P(Batch, ArraysMatchSingleTransformsAtAndJustAboveTheThreshold) {
  std::mt19937 random(3);
  // At the threshold every element goes one at a time: exact. One more, and
  // all but the last n mod 4 go through blocks.
  for (std::uint32_t n : {0u, 1u, Pivot(), Pivot() + 1, Pivot() + 7}) {
    CheckEveryArray(table_, Threshold(), {n, 16, 16, 0, false}, random);
  }
  // Packed 3-vectors in, 4-vectors out: shorter than a block, and ending in a
  // short and a long remainder.
  for (std::uint32_t n : {13u, Pivot() + 7, Pivot() + 15}) {
    CheckArray<Slot::KMVec3TransformArray, Slot::KMVec3Transform, KMVECTOR3, KMVECTOR4>(
        table_, Threshold(), {n, 12, 16, 0, false}, random);
  }
}

TEST_P(Batch, ArraysTransformInPlaceWithEqualStrides) {
  std::mt19937 random(4);
  for (std::uint32_t n : {13u, Pivot(), Pivot() + 3, Pivot() + 15, 4 * Pivot() + 5}) {
    for (std::uint32_t stride : {12u, 16u, 20u}) {
      CheckEveryArray(table_, Threshold(), {n, stride, stride, 0, true}, random, true);
    }
  }
}

TEST_P(Batch, ArraysWithWideStridesAndUnalignedBases) {
  std::mt19937 random(5);
  // Off a 16-byte boundary by a whole float, and by bytes with odd strides.
  CheckEveryArray(table_, Threshold(), {Pivot() + 6, 36, 44, 4, false}, random);
  CheckEveryArray(table_, Threshold(), {Pivot() + 6, 37, 45, 13, false}, random);
}

// An element whose w is within 2^-23 of 1 is left undivided, element by
// element: it gets the same result as with w exactly 1, and any other w
// divides. The matrix makes w the element's x, and the values cycle so that
// every lane of a block and of the remainder sees both kinds.
TEST_P(Batch, CoordinateArraysLeaveOnlyElementsWithWNearOneUndivided) {
  if (!LeavesWNearOneUndivided()) GTEST_SKIP() << "divides by every w, with a refined estimate";
  const float kWs[] = {1 - 0x1p-23f, 1 - 0x1p-24f,   1.0f,
                       1 + 0x1p-23f, 1 - 0x1.8p-23f, 1 + 0x1p-22f};
  KMMATRIX w_is_x, w_is_one;
  KMMatrixIdentity(&w_is_one);
  w_is_one._11 = 2, w_is_one._22 = 3, w_is_one._33 = 4, w_is_one._41 = 0.5f;
  w_is_x = w_is_one;
  w_is_x._14 = 1, w_is_x._44 = 0;
  // A short array (in pairs and one at a time where a family has such a
  // path), one of a few blocks and one long enough to be pipelined.
  for (const std::uint32_t n : {13u, std::max(Pivot() + 7, 40u), 3 * Pivot() + 9}) {
    std::vector<KMVECTOR3> in(n), got(n), undivided(n);
    for (std::uint32_t i = 0; i < n; ++i) in[i] = KMVECTOR3(kWs[i % 6], 1 + i / 64.0f, 1.5f);
    const auto array = table_.Get<Slot::KMVec3TransformCoordArray>();
    array(got.data(), 12, in.data(), 12, &w_is_x, n);
    array(undivided.data(), 12, in.data(), 12, &w_is_one, n);
    for (std::uint32_t i = 0; i < n; ++i) {
      KMVECTOR3 single, single_undivided;
      table_.Get<Slot::KMVec3TransformCoord>()(&single, &in[i], &w_is_x);
      table_.Get<Slot::KMVec3TransformCoord>()(&single_undivided, &in[i], &w_is_one);
      const bool near_one = i % 6 < 4;
      EXPECT_EQ(got[i] == undivided[i], near_one) << "array, element " << i << " of " << n;
      EXPECT_EQ(single == single_undivided, near_one) << "single, element " << i;
    }
  }
}

// One element with w near 1 among elements with w = 2, at the start, in
// the middle, in the last whole blocks and in the remainder of an array
// long enough to be pipelined: that element alone is left undivided, with
// separate input and output (where a family may divide every element and
// correct afterwards) and in place.
TEST_P(Batch, ALoneWNearOneIsLeftUndividedWhereverItIs) {
  if (!LeavesWNearOneUndivided()) GTEST_SKIP() << "divides by every w, with a refined estimate";
  KMMATRIX w_is_x;  // w is the element's x
  KMMatrixIdentity(&w_is_x);
  w_is_x._14 = 1, w_is_x._44 = 0, w_is_x._41 = 0.5f;
  const std::uint32_t n = 3 * Pivot() + 9;
  const auto array = table_.Get<Slot::KMVec3TransformCoordArray>();
  for (const std::uint32_t lone : {0u, n / 2, n - 20, n - 2}) {
    std::vector<KMVECTOR3> in(n), expected(n), apart(n);
    for (std::uint32_t i = 0; i < n; ++i) {
      // Every sum and quotient here is exact.
      in[i] = KMVECTOR3(2, 1 + i / 64.0f, 1.5f);
      expected[i] = KMVECTOR3(1.25f, in[i].y / 2, 0.75f);
    }
    in[lone].x = 1 + 0x1p-23f;
    expected[lone] = KMVECTOR3(1.5f + 0x1p-23f, in[lone].y, 1.5f);
    array(apart.data(), 12, in.data(), 12, &w_is_x, n);
    std::vector<KMVECTOR3> in_place = in;
    array(in_place.data(), 12, in_place.data(), 12, &w_is_x, n);
    for (std::uint32_t i = 0; i < n; ++i) {
      EXPECT_EQ(apart[i], expected[i]) << "element " << i << ", w near 1 at " << lone;
      EXPECT_EQ(in_place[i], expected[i]) << "in place, element " << i << ", w near 1 at " << lone;
    }
  }
}

// Outputs past the streaming threshold (lowered to 0 here) go through
// non-temporal stores from the first 32-byte boundary inside them: the same
// results, and still nothing outside the elements written.
TEST_P(Batch, StreamedArraysKeepToTheirElements) {
  if (!Is("avx2") && !Is("avx512")) GTEST_SKIP() << "no streaming path";
  kubik::avx2::SetArrayStreamingThresholdForTesting(1);
  std::mt19937 random(6);
  const std::uint32_t t = Threshold();
  for (std::uint32_t offset : {0u, 4u, 8u, 12u, 20u, 28u}) {
    for (std::uint32_t n : {8u, 9u, 23u, 40u}) {
      // Tightly packed, each element size in turn.
      CheckArray<Slot::KMVec2TransformCoordArray, Slot::KMVec2TransformCoord, KMVECTOR2, KMVECTOR2>(
          table_, t, {n, 8, 8, offset, false}, random);
      CheckArray<Slot::KMVec2TransformNormalArray, Slot::KMVec2TransformNormal, KMVECTOR2,
                 KMVECTOR2>(table_, t, {n, 8, 8, offset, false}, random);
      CheckArray<Slot::KMVec2TransformArray, Slot::KMVec2Transform, KMVECTOR2, KMVECTOR4>(
          table_, t, {n, 8, 16, offset, false}, random);
      CheckArray<Slot::KMVec3TransformArray, Slot::KMVec3Transform, KMVECTOR3, KMVECTOR4>(
          table_, t, {n, 12, 16, offset, false}, random);
      CheckEveryArray(table_, t, {n, 12, 12, offset, false}, random, true);
      CheckEveryArray(table_, t, {n, 16, 16, offset, false}, random);
      CheckEveryArray(table_, t, {n, 16, 16, offset, true}, random);
    }
  }
  kubik::avx2::SetArrayStreamingThresholdForTesting(0);
}

// ---- Float to half ---------------------------------------------------------------

// Floats around every place where this library's halves part from IEEE
// conversion or change rounding: the smallest normal half, the denormal
// grid (bits below it are dropped before rounding), 2^-25 and 2^-24, the
// IEEE overflow at 65520, the saturation at 131040, infinities and NaNs;
// and the halfway points between every pair of neighbouring halves.
std::vector<float> FloatsAroundTheHalfThresholds() {
  std::vector<std::uint32_t> bits;
  for (std::uint32_t t :
       {0x38800000u, 0x387fe000u, 0x38000000u, 0x33000000u, 0x33800000u, 0x477ff000u, 0x47800000u,
        0x47ffefffu, 0x47fff000u, 0x7f800000u, 0x7fc00000u, 0x00000000u, 0x00800000u}) {
    for (std::uint32_t d = 0; d < 600; ++d) bits.push_back(t + d - 300);
  }
  for (std::uint32_t h = 0; h < 0x7fff; ++h) {
    // The float of half h (the reference's conversion) and its midpoint with h + 1.
    float f;
    const KMFLOAT16 half{static_cast<std::uint16_t>(h)}, next{static_cast<std::uint16_t>(h + 1)};
    float a, b;
    kubik::reference::KMFloat16To32Array(&a, &half, 1);
    kubik::reference::KMFloat16To32Array(&b, &next, 1);
    f = static_cast<float>((static_cast<double>(a) + b) / 2);
    const std::uint32_t m = std::bit_cast<std::uint32_t>(f);
    for (std::uint32_t d : {m - 1, m, m + 1}) bits.push_back(d);
  }
  std::vector<float> floats;
  for (std::uint32_t b : bits) {
    floats.push_back(std::bit_cast<float>(b));
    floats.push_back(std::bit_cast<float>(b | 0x80000000u));
  }
  return floats;
}

TEST_P(Batch, FloatsAroundEveryHalfThresholdInEveryLaneAndRemainder) {
  // Its documented difference, which its own suite checks.
  if (Is("3dnow")) GTEST_SKIP() << "rounds subnormal halves twice";
  const auto convert = table_.Get<Slot::KMFloat32To16Array>();
  const std::vector<float> all = FloatsAroundTheHalfThresholds();
  // Shifted by 0 to 16 places, so that each value meets every lane of a
  // block of 8 or 16 and the remainder after the blocks.
  for (std::size_t shift = 0; shift <= 16; ++shift) {
    std::vector<float> in(all.begin() + static_cast<std::ptrdiff_t>(shift), all.end());
    std::vector<KMFLOAT16> got(in.size()), want(in.size());
    convert(got.data(), in.data(), static_cast<std::uint32_t>(in.size()));
    kubik::reference::KMFloat32To16Array(want.data(), in.data(),
                                         static_cast<std::uint32_t>(in.size()));
    for (std::size_t i = 0; i < in.size(); ++i) {
      ASSERT_EQ(got[i].value, want[i].value)
          << std::hex << "float 0x" << std::bit_cast<std::uint32_t>(in[i]) << std::dec << " at "
          << i << ", shift " << shift;
    }
  }
  // Counts below a block: every value alone, converted into an exact-size buffer.
  for (std::size_t i = 0; i < all.size(); i += 97) {
    for (std::uint32_t n = 1; n <= 17 && i + n <= all.size(); n += 4) {
      std::vector<KMFLOAT16> got(n), want(n);
      convert(got.data(), &all[i], n);
      kubik::reference::KMFloat32To16Array(want.data(), &all[i], n);
      for (std::uint32_t k = 0; k < n; ++k) ASSERT_EQ(got[k].value, want[k].value) << i + k;
    }
  }
}

// ---- Half to float -------------------------------------------------------------

std::vector<float> ReferenceFloats(const std::vector<KMFLOAT16>& halves) {
  std::vector<float> out(halves.size());
  kubik::reference::KMFloat16To32Array(out.data(), halves.data(),
                                       static_cast<std::uint32_t>(halves.size()));
  return out;
}

void ExpectSameBits(const std::vector<float>& got, const std::vector<float>& want,
                    const std::vector<KMFLOAT16>& halves, const std::string& what) {
  ASSERT_EQ(got.size(), want.size());
  for (std::size_t i = 0; i < got.size(); ++i) {
    ASSERT_EQ(std::bit_cast<std::uint32_t>(got[i]), std::bit_cast<std::uint32_t>(want[i]))
        << what << ": half 0x" << std::hex << halves[i].value << " at " << std::dec << i;
  }
}

TEST_P(Batch, EveryHalfAtEveryLaneOfABlockThroughEitherPath) {
  const auto convert = table_.Get<Slot::KMFloat16To32Array>();
  // Block i holds half i in lane `lane`; the other seven lanes hold 1.0 (no
  // zero exponent field: the SSE2 fast path unless half i is zero or
  // denormal) or the smallest denormal (the conversion path for all).
  for (std::uint16_t filler : {std::uint16_t{0x3c00}, std::uint16_t{0x0001}}) {
    for (int lane = 0; lane < 8; ++lane) {
      std::vector<KMFLOAT16> halves(8 * 65536, KMFLOAT16{filler});
      for (std::uint32_t h = 0; h < 65536; ++h) {
        halves[8 * h + lane].value = static_cast<std::uint16_t>(h);
      }
      std::vector<float> got(halves.size());
      convert(got.data(), halves.data(), static_cast<std::uint32_t>(halves.size()));
      ExpectSameBits(got, ReferenceFloats(halves), halves,
                     "lane " + std::to_string(lane) + ", filler " + std::to_string(filler));
    }
  }
}

TEST_P(Batch, EveryHalfInTheRemainderAfterTheBlocks) {
  const auto convert = table_.Get<Slot::KMFloat16To32Array>();
  // Twelve values: one block, then four one at a time; the tested half in
  // each remainder position in turn. Exact-size buffers show any stray write.
  for (std::uint32_t h = 0; h < 65536; ++h) {
    std::vector<KMFLOAT16> halves(12, KMFLOAT16{0x3c00});
    halves[8 + h % 4].value = static_cast<std::uint16_t>(h);
    std::vector<float> got(12);
    convert(got.data(), halves.data(), 12);
    ASSERT_EQ(std::bit_cast<std::uint32_t>(got[8 + h % 4]),
              std::bit_cast<std::uint32_t>(ReferenceFloats(halves)[8 + h % 4]))
        << std::hex << "half 0x" << h;
  }
}

TEST_P(Batch, ListedHalvesForAnyCountAndPosition) {
  const auto convert = table_.Get<Slot::KMFloat16To32Array>();
  const std::uint16_t listed[4] = {0x3c00, 0x0001, 0x7c00, 0x8000};
  const std::uint32_t want[4] = {0x3f800000, 0x33800000, 0x47800000, 0x80000000};
  for (std::uint32_t n = 1; n <= 19; ++n) {
    std::vector<KMFLOAT16> halves(n);
    for (std::uint32_t i = 0; i < n; ++i) halves[i].value = listed[i % 4];
    std::vector<float> got(n);
    EXPECT_EQ(convert(got.data(), halves.data(), n), got.data());
    for (std::uint32_t i = 0; i < n; ++i) {
      EXPECT_EQ(std::bit_cast<std::uint32_t>(got[i]), want[i % 4]) << "n " << n << ", index " << i;
    }
  }
  float untouched = 5.0f;
  convert(&untouched, nullptr, 0);
  EXPECT_EQ(untouched, 5.0f);
}

}  // namespace
