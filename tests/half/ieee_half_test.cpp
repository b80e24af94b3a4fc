// IEEE binary16 conversion: the portable form against the processor's F16C
// conversion on every float bit pattern and every half, the public entries
// against both, and the values graphics data depends on.
#include "math/half/ieee_half.h"

#include <gtest/gtest.h>
#include <kubik/kmath.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#if defined(__x86_64__)
#include <xmmintrin.h>
#endif

namespace kubik::half {
namespace {

// The sanitizers make the 2^32 sweep take minutes; there a spread sample of
// 2^26 patterns stands in for it.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSampled = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool kSampled = true;
#else
constexpr bool kSampled = false;
#endif
#else
constexpr bool kSampled = false;
#endif

std::uint16_t ToHalf(float f) {
  return FloatBitsToIeeeHalf(std::bit_cast<std::uint32_t>(f));
}

std::uint32_t FromHalf(std::uint16_t h) {
  return IeeeHalfToFloatBits(h);
}

TEST(IeeeHalf, KnownValues) {
  EXPECT_EQ(ToHalf(1.0f), 0x3c00);
  EXPECT_EQ(ToHalf(-2.0f), 0xc000);
  EXPECT_EQ(ToHalf(0.1f), 0x2e66);
  EXPECT_EQ(ToHalf(-0.0f), 0x8000);
  EXPECT_EQ(ToHalf(65504.0f), 0x7bff);
  EXPECT_EQ(ToHalf(std::nextafter(65520.0f, 0.0f)), 0x7bff);
  EXPECT_EQ(ToHalf(65520.0f), 0x7c00);  // the midpoint to the next step rounds to infinity
  EXPECT_EQ(ToHalf(70000.0f), 0x7c00);
  EXPECT_EQ(ToHalf(std::numeric_limits<float>::infinity()), 0x7c00);
  EXPECT_EQ(ToHalf(-std::numeric_limits<float>::infinity()), 0xfc00);
  EXPECT_EQ(ToHalf(std::numeric_limits<float>::quiet_NaN()), 0x7e00);
  EXPECT_EQ(FloatBitsToIeeeHalf(0xff800001u), 0xfe00);  // signalling NaN: made quiet, sign kept
  EXPECT_EQ(FloatBitsToIeeeHalf(0x7fffe000u), 0x7fff);  // payload's top bits kept
  // Ties to even, in the normal and the denormal range.
  EXPECT_EQ(ToHalf(1.0f + std::ldexp(1.0f, -11)), 0x3c00);
  EXPECT_EQ(ToHalf(1.0f + 3.0f * std::ldexp(1.0f, -11)), 0x3c02);
  EXPECT_EQ(ToHalf(std::ldexp(1.0f, -24)), 0x0001);
  EXPECT_EQ(ToHalf(std::ldexp(1.0f, -25)), 0x0000);
  EXPECT_EQ(ToHalf(std::nextafter(std::ldexp(1.0f, -25), 1.0f)), 0x0001);
  EXPECT_EQ(ToHalf(3.0f * std::ldexp(1.0f, -25)), 0x0002);
  EXPECT_EQ(ToHalf(std::nextafter(std::ldexp(1.0f, -14), 0.0f)), 0x0400);
  EXPECT_EQ(ToHalf(-1e-30f), 0x8000);

  EXPECT_EQ(FromHalf(0x7bff), std::bit_cast<std::uint32_t>(65504.0f));
  EXPECT_EQ(FromHalf(0x7c00), std::bit_cast<std::uint32_t>(std::numeric_limits<float>::infinity()));
  EXPECT_EQ(FromHalf(0xfc00), std::bit_cast<std::uint32_t>(-std::numeric_limits<float>::infinity()));
  EXPECT_EQ(FromHalf(0x7c01), 0x7fc02000u);  // signalling NaN: made quiet, payload kept
  EXPECT_EQ(FromHalf(0x0001), std::bit_cast<std::uint32_t>(std::ldexp(1.0f, -24)));
  EXPECT_EQ(FromHalf(0x03ff), std::bit_cast<std::uint32_t>(1023.0f * std::ldexp(1.0f, -24)));
  EXPECT_EQ(FromHalf(0x8000), 0x80000000u);
}

TEST(IeeeHalf, EveryHalfRoundTrips) {
  for (std::uint32_t h = 0; h <= 0xffff; ++h) {
    const std::uint16_t half = static_cast<std::uint16_t>(h);
    const bool nan = (h & 0x7c00) == 0x7c00 && (h & 0x3ff) != 0;
    // A NaN comes back quiet; everything else exactly.
    const std::uint16_t want = nan ? static_cast<std::uint16_t>(h | 0x200) : half;
    ASSERT_EQ(FloatBitsToIeeeHalf(FromHalf(half)), want) << std::hex << h;
  }
}

TEST(IeeeHalf, AgreesWithTheLibraryFormatBelow65536) {
  // The two encodings share every value the IEEE one can hold finitely.
  for (std::uint32_t h = 0; h <= 0xffff; ++h) {
    if ((h & 0x7c00) == 0x7c00) continue;
    const KMFLOAT16 half{static_cast<std::uint16_t>(h)};
    float library = 0.0f;
    KMFloat16To32Array(&library, &half, 1);
    ASSERT_EQ(std::bit_cast<std::uint32_t>(library), FromHalf(half.value)) << std::hex << h;
  }
}

TEST(IeeeHalf, PublicEntriesConvertArraysOfAnyLength) {
  std::vector<float> in;
  for (std::uint32_t bits = 0x33000000u; bits < 0x48000000u; bits += 0x1234567u) {
    in.push_back(std::bit_cast<float>(bits));
    in.push_back(-std::bit_cast<float>(bits));
  }
  in.push_back(std::numeric_limits<float>::infinity());
  in.push_back(std::numeric_limits<float>::quiet_NaN());
  for (std::uint32_t n : {0u, 1u, 7u, 8u, 9u, 23u, static_cast<std::uint32_t>(in.size())}) {
    std::vector<KMFLOAT16> out(n + 1, KMFLOAT16{0xabcd});
    EXPECT_EQ(KMFloat32ToIeeeHalfArray(out.data(), in.data(), n), out.data());
    for (std::uint32_t i = 0; i < n; ++i) EXPECT_EQ(out[i].value, ToHalf(in[i])) << i;
    EXPECT_EQ(out[n].value, 0xabcd) << "written past n = " << n;

    std::vector<float> back(n + 1, 42.0f);
    EXPECT_EQ(KMIeeeHalfToFloat32Array(back.data(), out.data(), n), back.data());
    for (std::uint32_t i = 0; i < n; ++i) {
      EXPECT_EQ(std::bit_cast<std::uint32_t>(back[i]), FromHalf(out[i].value)) << i;
    }
    EXPECT_EQ(back[n], 42.0f) << "written past n = " << n;
  }
}

#if defined(__x86_64__)
TEST(IeeeHalf, PublicEntriesIgnoreFlushToZeroModes) {
  std::vector<float> in;
  for (std::uint32_t bits = 0x33000000u; bits < 0x38900000u; bits += 0x3011u) {
    in.push_back(std::bit_cast<float>(bits));
  }
  in.push_back(std::bit_cast<float>(0x00400000u));  // a float denormal
  std::vector<KMFLOAT16> out(in.size());
  std::vector<float> back(in.size());
  const unsigned saved = _mm_getcsr();
  _mm_setcsr(saved | 0x8040u);  // flush to zero, denormals are zero
  KMFloat32ToIeeeHalfArray(out.data(), in.data(), static_cast<std::uint32_t>(in.size()));
  KMIeeeHalfToFloat32Array(back.data(), out.data(), static_cast<std::uint32_t>(out.size()));
  _mm_setcsr(saved);
  for (std::size_t i = 0; i < in.size(); ++i) {
    ASSERT_EQ(out[i].value, ToHalf(in[i])) << std::hexfloat << in[i];
    ASSERT_EQ(std::bit_cast<std::uint32_t>(back[i]), FromHalf(out[i].value)) << i;
  }
}

class F16cOracle : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!F16cAvailable()) GTEST_SKIP() << "this processor has no F16C";
  }
};

TEST_F(F16cOracle, EveryFloatConvertsAsTheProcessorDoes) {
  constexpr std::uint64_t kAll = std::uint64_t{1} << 32;
  constexpr std::uint64_t kCount = kSampled ? std::uint64_t{1} << 26 : kAll;
  constexpr std::size_t kBlock = 1 << 16;
  std::vector<float> in(kBlock);
  std::vector<std::uint16_t> want(kBlock), got(kBlock), entry(kBlock);
  std::uint64_t mismatches = 0;
  for (std::uint64_t base = 0; base < kCount; base += kBlock) {
    for (std::size_t i = 0; i < kBlock; ++i) {
      const std::uint64_t index = base + i;
      // Sampled: an odd multiplier spreads the sample over every pattern class.
      const auto bits = static_cast<std::uint32_t>(kSampled ? index * 0x9e3779b1u : index);
      in[i] = std::bit_cast<float>(bits);
    }
    FloatsToHalvesF16c(want.data(), in.data(), kBlock);
    FloatsToHalvesPortable(got.data(), in.data(), kBlock);
    if (std::memcmp(want.data(), got.data(), kBlock * sizeof(std::uint16_t)) != 0) {
      for (std::size_t i = 0; i < kBlock; ++i) {
        if (want[i] == got[i]) continue;
        if (mismatches++ < 5) {
          ADD_FAILURE() << std::hex << "float bits 0x" << std::bit_cast<std::uint32_t>(in[i])
                        << ": F16C 0x" << want[i] << ", portable 0x" << got[i];
        }
      }
    }
    // The public entry on every 64th block, to keep the sweep quick.
    if ((base / kBlock) % 64 == 0) {
      KMFloat32ToIeeeHalfArray(reinterpret_cast<KMFLOAT16*>(entry.data()), in.data(), kBlock);
      ASSERT_EQ(std::memcmp(want.data(), entry.data(), kBlock * sizeof(std::uint16_t)), 0)
          << "public entry, block at 0x" << std::hex << base;
    }
  }
  EXPECT_EQ(mismatches, 0u);
}

TEST_F(F16cOracle, EveryHalfWidensAsTheProcessorDoes) {
  std::vector<std::uint16_t> in(0x10000);
  for (std::uint32_t h = 0; h <= 0xffff; ++h) in[h] = static_cast<std::uint16_t>(h);
  std::vector<float> want(in.size()), got(in.size()), entry(in.size());
  HalvesToFloatsF16c(want.data(), in.data(), in.size());
  HalvesToFloatsPortable(got.data(), in.data(), in.size());
  KMIeeeHalfToFloat32Array(entry.data(), reinterpret_cast<const KMFLOAT16*>(in.data()),
                           static_cast<std::uint32_t>(in.size()));
  for (std::uint32_t h = 0; h <= 0xffff; ++h) {
    ASSERT_EQ(std::bit_cast<std::uint32_t>(got[h]), std::bit_cast<std::uint32_t>(want[h]))
        << std::hex << "half 0x" << h;
    ASSERT_EQ(std::bit_cast<std::uint32_t>(entry[h]), std::bit_cast<std::uint32_t>(want[h]))
        << std::hex << "public entry, half 0x" << h;
  }
}
#endif

}  // namespace
}  // namespace kubik::half
