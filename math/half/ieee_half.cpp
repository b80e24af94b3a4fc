// IEEE binary16 conversion: the portable form and the public entries, which
// use the processor's conversion where it has one.
#include "math/half/ieee_half.h"

#include <kubik/kmath.h>

#include <atomic>
#include <bit>

#if defined(__x86_64__)
#include <cpuid.h>
#endif

namespace kubik::half {

namespace {

// Inlined into the array loop; the exported FloatBitsToIeeeHalf wraps it.
inline std::uint16_t ToIeeeHalf(std::uint32_t bits) {
  const std::uint32_t sign = (bits >> 16) & 0x8000u;
  const std::uint32_t a = bits & 0x7fffffffu;
  if (a >= 0x7f800000u) {
    // Infinity, or a NaN made quiet with the top ten bits of its payload.
    if (a == 0x7f800000u) return static_cast<std::uint16_t>(sign | 0x7c00u);
    return static_cast<std::uint16_t>(sign | 0x7e00u | ((a >> 13) & 0x3ffu));
  }
  // 65520 is the midpoint between 65504 and the next step, 65536: it and
  // everything above round to infinity.
  if (a >= 0x477ff000u) return static_cast<std::uint16_t>(sign | 0x7c00u);
  if (a >= 0x38800000u) {
    // Normal half: rebias the exponent (127 -> 15), add just under half a
    // step plus the lowest kept bit (ties to even), drop 13 bits. A carry
    // out of the mantissa moves into the exponent, as it should.
    return static_cast<std::uint16_t>(sign | ((a - 0x38000000u + 0xfffu + ((a >> 13) & 1u)) >> 13));
  }
  // Below 2^-14: a denormal half of m x 2^-24, m = value / 2^-24 rounded the
  // same way. Float denormals are far below 2^-25 and give zero.
  const std::uint32_t exponent = a >> 23;
  if (exponent < 102u) return static_cast<std::uint16_t>(sign);
  const std::uint32_t mantissa = (a & 0x7fffffu) | 0x800000u;
  const std::uint32_t shift = 126u - exponent;  // 14 to 24
  const std::uint32_t odd = (mantissa >> shift) & 1u;
  // A result of 0x400 is the smallest normal half: the right encoding.
  return static_cast<std::uint16_t>(sign | ((mantissa + (1u << (shift - 1u)) - 1u + odd) >> shift));
}

}  // namespace

std::uint16_t FloatBitsToIeeeHalf(std::uint32_t bits) {
  return ToIeeeHalf(bits);
}

std::uint32_t IeeeHalfToFloatBits(std::uint16_t half) {
  const std::uint32_t sign = static_cast<std::uint32_t>(half & 0x8000u) << 16;
  const std::uint32_t exponent = (half >> 10) & 0x1fu;
  std::uint32_t mantissa = half & 0x3ffu;
  if (exponent == 0x1fu) {
    // Infinity, or a NaN made quiet with its payload.
    if (mantissa == 0) return sign | 0x7f800000u;
    return sign | 0x7fc00000u | (mantissa << 13);
  }
  if (exponent != 0) return sign | ((exponent + 112u) << 23) | (mantissa << 13);
  if (mantissa == 0) return sign;
  // Denormal: normalise, counting the shifts.
  std::uint32_t shifts = 0;
  while ((mantissa & 0x400u) == 0) {
    mantissa <<= 1;
    ++shifts;
  }
  return sign | ((113u - shifts) << 23) | ((mantissa & 0x3ffu) << 13);
}

void FloatsToHalvesPortable(std::uint16_t* out, const float* in, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) out[i] = ToIeeeHalf(std::bit_cast<std::uint32_t>(in[i]));
}

void HalvesToFloatsPortable(float* out, const std::uint16_t* in, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) out[i] = std::bit_cast<float>(IeeeHalfToFloatBits(in[i]));
}

#if defined(__x86_64__)
bool F16cAvailable() {
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return false;
  constexpr unsigned kOsxsave = 1u << 27, kAvx = 1u << 28, kF16c = 1u << 29;
  if ((ecx & (kOsxsave | kAvx | kF16c)) != (kOsxsave | kAvx | kF16c)) return false;
  // The conversions are VEX-encoded: the system must save the AVX state.
  unsigned xcr0_low = 0, xcr0_high = 0;
  __asm__("xgetbv" : "=a"(xcr0_low), "=d"(xcr0_high) : "c"(0));
  return (xcr0_low & 0x6u) == 0x6u;
}
#endif

FloatsToHalvesFunction HardwareFloatsToHalves() {
#if defined(__x86_64__)
  return F16cAvailable() ? &FloatsToHalvesF16c : nullptr;
#elif defined(__aarch64__)
  return &FloatsToHalvesNeon;
#else
  return nullptr;
#endif
}

HalvesToFloatsFunction HardwareHalvesToFloats() {
#if defined(__x86_64__)
  return F16cAvailable() ? &HalvesToFloatsF16c : nullptr;
#elif defined(__aarch64__)
  return &HalvesToFloatsNeon;
#else
  return nullptr;
#endif
}

namespace {

// Each entry starts at a chooser that stores the best form and runs it; later
// calls load the stored form and jump. Every form gives the same bits, so a
// race between two first calls is harmless.
void ChooseFloatsToHalves(std::uint16_t* out, const float* in, std::size_t n);
void ChooseHalvesToFloats(float* out, const std::uint16_t* in, std::size_t n);

constinit std::atomic<FloatsToHalvesFunction> floats_to_halves{&ChooseFloatsToHalves};
constinit std::atomic<HalvesToFloatsFunction> halves_to_floats{&ChooseHalvesToFloats};

void ChooseFloatsToHalves(std::uint16_t* out, const float* in, std::size_t n) {
  FloatsToHalvesFunction best = HardwareFloatsToHalves();
  if (best == nullptr) best = &FloatsToHalvesPortable;
  floats_to_halves.store(best, std::memory_order_relaxed);
  best(out, in, n);
}

void ChooseHalvesToFloats(float* out, const std::uint16_t* in, std::size_t n) {
  HalvesToFloatsFunction best = HardwareHalvesToFloats();
  if (best == nullptr) best = &HalvesToFloatsPortable;
  halves_to_floats.store(best, std::memory_order_relaxed);
  best(out, in, n);
}

}  // namespace
}  // namespace kubik::half

// KMFLOAT16 is exactly its 16 bits, so an array of them is an array of uint16_t.
static_assert(sizeof(KMFLOAT16) == sizeof(std::uint16_t));

extern "C" KMFLOAT16* KMFloat32ToIeeeHalfArray(KMFLOAT16* out, const float* in, uint32_t n) {
  kubik::half::floats_to_halves.load(std::memory_order_relaxed)(
      reinterpret_cast<std::uint16_t*>(out), in, n);
  return out;
}

extern "C" float* KMIeeeHalfToFloat32Array(float* out, const KMFLOAT16* in, uint32_t n) {
  kubik::half::halves_to_floats.load(std::memory_order_relaxed)(
      out, reinterpret_cast<const std::uint16_t*>(in), n);
  return out;
}
