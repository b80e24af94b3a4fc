// Half-precision conversion: listed values, ties, the saturation and denormal
// paths, and exhaustive checks against an independent model in double.
#include <gtest/gtest.h>
#include <kubik/kmath.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

namespace {

uint16_t ToHalf(float f) {
  KMFLOAT16 h;
  KMFloat32To16Array(&h, &f, 1);
  return h.value;
}

float ToFloat(uint16_t bits) {
  const KMFLOAT16 h{bits};
  float f;
  KMFloat16To32Array(&f, &h, 1);
  return f;
}

float FromBits(uint32_t bits) {
  return std::bit_cast<float>(bits);
}

// The magnitude a half must have, worked out in double: round to nearest
// even; from 131040 up (and for NaN) saturate; below 2^-14 drop everything
// under 2^-37 first, then round to the 2^-24 grid.
double ExpectedMagnitude(float f) {
  const double a = std::fabs(static_cast<double>(f));
  if (std::isnan(a) || a >= 131040.0) return 131008.0;
  if (a >= std::ldexp(1.0, -14)) {
    int exponent;
    std::frexp(a, &exponent);
    const double step = std::ldexp(1.0, exponent - 11);
    return std::nearbyint(a / step) * step;
  }
  const double truncated = std::floor(std::ldexp(a, 37));
  return std::ldexp(std::nearbyint(truncated / 8192.0), -24);
}

// Checks a converted block against the model; the round trip below shows
// that value and sign pin down the half's bits.
void ExpectMatchesModel(const std::vector<float>& in) {
  std::vector<KMFLOAT16> halves(in.size());
  std::vector<float> back(in.size());
  KMFloat32To16Array(halves.data(), in.data(), static_cast<uint32_t>(in.size()));
  KMFloat16To32Array(back.data(), halves.data(), static_cast<uint32_t>(in.size()));
  int failures = 0;
  for (size_t i = 0; i < in.size() && failures < 10; ++i) {
    const bool sign_ok = std::signbit(back[i]) == std::signbit(in[i]);
    if (!sign_ok || std::fabs(static_cast<double>(back[i])) != ExpectedMagnitude(in[i])) {
      ++failures;
      ADD_FAILURE() << std::hex << "float bits 0x" << std::bit_cast<uint32_t>(in[i])
                    << " gave half 0x" << halves[i].value;
    }
  }
}

TEST(HalfConversion, ListedFloatToHalfValues) {
  const float inf = std::numeric_limits<float>::infinity();
  const struct {
    float in;
    uint16_t out;
  } cases[] = {
      {1.0f, 0x3c00},      {-2.0f, 0xc000},     {0.1f, 0x2e66},      {65504.0f, 0x7bff},
      {65536.0f, 0x7c00},  {100000.0f, 0x7e1a}, {131008.0f, 0x7fff}, {131024.0f, 0x7fff},
      {131040.0f, 0x7fff}, {1e10f, 0x7fff},     {inf, 0x7fff},       {-inf, 0xffff},
      {-0.0f, 0x8000},     {0.0f, 0x0000},
  };
  for (const auto& c : cases) EXPECT_EQ(ToHalf(c.in), c.out) << c.in;
  EXPECT_EQ(ToFloat(0x7c00), 65536.0f);
  EXPECT_EQ(ToFloat(0x7e1a), 99968.0f);
}

TEST(HalfConversion, RoundsToNearestWithTiesToEven) {
  EXPECT_EQ(ToHalf(1.00048828125f), 0x3c00);        // 1 + 2^-11: tie, stays even
  EXPECT_EQ(ToHalf(1.000732421875f), 0x3c01);       // 1 + 3 * 2^-12: above the tie
  EXPECT_EQ(ToHalf(1.00146484375f), 0x3c02);        // 1 + 3 * 2^-11: tie, goes up to even
  EXPECT_EQ(ToHalf(FromBits(0x3f800fff)), 0x3c00);  // just below the tie
  EXPECT_EQ(ToHalf(FromBits(0x3f801001)), 0x3c01);  // just above the tie
  // A mantissa carry moves into the exponent: 2047.5 rounds to 2048.
  EXPECT_EQ(ToHalf(2047.5f), 0x6800);
}

TEST(HalfConversion, SaturatesFromTheMidpointAboveTheLargestHalf) {
  EXPECT_EQ(ToHalf(FromBits(0x47ffefff)), 0x7fff);  // last float below 131040
  EXPECT_EQ(ToHalf(FromBits(0x47ffe800)), 0x7fff);  // 131008 itself
  EXPECT_EQ(ToHalf(FromBits(0x47fff000)), 0x7fff);  // 131040
  EXPECT_EQ(ToHalf(FromBits(0xc7fff000)), 0xffff);
  EXPECT_EQ(ToHalf(std::numeric_limits<float>::max()), 0x7fff);
  // Every NaN keeps only its sign.
  for (uint32_t payload : {0x1u, 0x400000u, 0x7fffffu, 0x123456u}) {
    EXPECT_EQ(ToHalf(FromBits(0x7f800000u | payload)), 0x7fff);
    EXPECT_EQ(ToHalf(FromBits(0xff800000u | payload)), 0xffff);
  }
  // Everything from 131040 up, sampled across the whole range.
  std::vector<float> in;
  for (uint64_t bits = 0x47fff000u; bits <= 0x7fffffffu; bits += 4093) {
    in.push_back(FromBits(static_cast<uint32_t>(bits)));
  }
  std::vector<KMFLOAT16> out(in.size());
  KMFloat32To16Array(out.data(), in.data(), static_cast<uint32_t>(in.size()));
  for (size_t i = 0; i < in.size(); ++i) ASSERT_EQ(out[i].value, 0x7fff) << in[i];
}

TEST(HalfConversion, SmallValuesTakeTheDenormalPath) {
  EXPECT_EQ(ToHalf(std::ldexp(1.0f, -14)), 0x0400);
  EXPECT_EQ(ToHalf(FromBits(0x387fffff)), 0x0400);  // just below 2^-14 rounds up to it
  EXPECT_EQ(ToHalf(std::ldexp(1.0f, -24)), 0x0001);
  EXPECT_EQ(ToHalf(std::ldexp(1.0f, -25)), 0x0000);  // tie between 0 and 2^-24
  EXPECT_EQ(ToHalf(std::ldexp(3.0f, -26)), 0x0001);
  EXPECT_EQ(ToHalf(std::ldexp(3.0f, -25)), 0x0002);  // tie between 1 and 2: even
  EXPECT_EQ(ToHalf(std::ldexp(5.0f, -25)), 0x0002);  // tie between 2 and 3: even
  // Bits below 2^-37 are dropped before rounding, so a value a hair above a
  // tie rounds like the tie (2^-25 + 2^-48 lies below the dropped bits).
  EXPECT_EQ(ToHalf(std::ldexp(1.0f, -25) + std::ldexp(1.0f, -48)), 0x0000);
  for (float tiny : {1e-8f, 1e-14f, 1e-30f}) {
    EXPECT_EQ(ToHalf(tiny), 0x0000) << tiny;
    EXPECT_EQ(ToHalf(-tiny), 0x8000) << tiny;
  }
}

TEST(HalfConversion, EveryFloatDenormalBecomesAZeroOfItsSign) {
  std::vector<float> in(1u << 23);
  std::vector<KMFLOAT16> out(in.size());
  for (uint32_t sign : {0u, 0x80000000u}) {
    for (uint32_t m = 0; m < in.size(); ++m) in[m] = FromBits(sign | m);
    KMFloat32To16Array(out.data(), in.data(), static_cast<uint32_t>(in.size()));
    for (uint32_t m = 0; m < in.size(); ++m) ASSERT_EQ(out[m].value, sign >> 16) << m;
  }
}

TEST(HalfConversion, ListedHalfToFloatValues) {
  EXPECT_EQ(ToFloat(0x7c00), 65536.0f);
  EXPECT_EQ(ToFloat(0x7fff), 131008.0f);
  EXPECT_EQ(ToFloat(0xffff), -131008.0f);
  EXPECT_EQ(ToFloat(0x0001), std::ldexp(1.0f, -24));
  EXPECT_FLOAT_EQ(ToFloat(0x0001), 5.9604645e-08f);
  EXPECT_EQ(ToFloat(0x03ff), std::ldexp(1023.0f, -24));
  EXPECT_FLOAT_EQ(ToFloat(0x03ff), 6.0975552e-05f);
  EXPECT_EQ(ToFloat(0x0400), 6.1035156e-05f);
  EXPECT_EQ(std::bit_cast<uint32_t>(ToFloat(0x8000)), 0x80000000u);
  EXPECT_EQ(std::bit_cast<uint32_t>(ToFloat(0x0000)), 0u);
}

TEST(HalfConversion, EveryHalfWidensExactlyAndRoundTrips) {
  std::vector<KMFLOAT16> halves(65536);
  for (uint32_t i = 0; i < 65536; ++i) halves[i].value = static_cast<uint16_t>(i);
  std::vector<float> floats(65536);
  std::vector<KMFLOAT16> back(65536);
  KMFloat16To32Array(floats.data(), halves.data(), 65536);
  KMFloat32To16Array(back.data(), floats.data(), 65536);
  for (uint32_t i = 0; i < 65536; ++i) {
    const uint32_t e = (i >> 10) & 0x1f, m = i & 0x3ff;
    const double magnitude =
        e == 0 ? std::ldexp(m, -24) : std::ldexp(1024 + m, static_cast<int>(e) - 25);
    ASSERT_EQ(static_cast<double>(floats[i]), (i & 0x8000) ? -magnitude : magnitude) << i;
    ASSERT_EQ(std::signbit(floats[i]), (i & 0x8000) != 0) << i;
    ASSERT_EQ(back[i].value, i) << i;
  }
}

TEST(HalfConversion, MidpointsBetweenNeighbouringHalvesMatchTheModel) {
  // The tie between each pair of neighbours, and the floats on either side.
  std::vector<float> in;
  for (uint32_t h = 0; h < 0x7fff; ++h) {
    const float mid = static_cast<float>((static_cast<double>(ToFloat(static_cast<uint16_t>(h))) +
                                          ToFloat(static_cast<uint16_t>(h + 1))) /
                                         2);
    const uint32_t bits = std::bit_cast<uint32_t>(mid);
    for (uint32_t b : {bits - 1, bits, bits + 1}) {
      in.push_back(FromBits(b));
      in.push_back(FromBits(b | 0x80000000u));
    }
  }
  ExpectMatchesModel(in);
}

TEST(HalfConversion, FloatsNearThePathThresholdsAndAcrossTheRangeMatchTheModel) {
  std::vector<float> in;
  for (uint32_t centre : {0x38800000u, 0x47ffefffu, 0x33000000u, 0x477fe000u}) {
    for (uint32_t b = centre - 0x10000; b <= centre + 0x10000; ++b) in.push_back(FromBits(b));
  }
  for (uint64_t b = 0; b <= 0xffffffffu; b += 997) in.push_back(FromBits(static_cast<uint32_t>(b)));
  ExpectMatchesModel(in);
}

TEST(HalfConversion, TouchesExactlyTheGivenElements) {
  float in[4] = {1.0f, 2.0f, 3.0f, 4.0f};
  KMFLOAT16 halves[5] = {{0xaaaa}, {0xaaaa}, {0xaaaa}, {0xaaaa}, {0xaaaa}};
  EXPECT_EQ(KMFloat32To16Array(halves, in, 0), halves);
  for (const KMFLOAT16& h : halves) EXPECT_EQ(h.value, 0xaaaa);
  EXPECT_EQ(KMFloat32To16Array(halves, in, 3), halves);
  EXPECT_EQ(halves[2].value, 0x4200);
  EXPECT_EQ(halves[3].value, 0xaaaa);

  float floats[5] = {7.0f, 7.0f, 7.0f, 7.0f, 7.0f};
  EXPECT_EQ(KMFloat16To32Array(floats, halves, 0), floats);
  for (float f : floats) EXPECT_EQ(f, 7.0f);
  EXPECT_EQ(KMFloat16To32Array(floats, halves, 3), floats);
  EXPECT_EQ(floats[0], 1.0f);
  EXPECT_EQ(floats[2], 3.0f);
  EXPECT_EQ(floats[3], 7.0f);
}

}  // namespace
