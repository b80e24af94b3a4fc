// IEEE 754 binary16 conversion: the portable form, the processors' own
// conversions, and the choice between them. The public entries
// (KMFloat32ToIeeeHalfArray, KMIeeeHalfToFloat32Array) call whichever this
// processor has; every form gives the same bits.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kubik::half {

using FloatsToHalvesFunction = void (*)(std::uint16_t* out, const float* in, std::size_t n);
using HalvesToFloatsFunction = void (*)(float* out, const std::uint16_t* in, std::size_t n);

// Integer-only, on any processor: round to nearest even, IEEE denormals,
// infinities kept, NaNs kept quiet with the top of their payload.
std::uint16_t FloatBitsToIeeeHalf(std::uint32_t bits);
std::uint32_t IeeeHalfToFloatBits(std::uint16_t half);
void FloatsToHalvesPortable(std::uint16_t* out, const float* in, std::size_t n);
void HalvesToFloatsPortable(float* out, const std::uint16_t* in, std::size_t n);

// The processor's conversion instructions (F16C on x86-64, the floating-point
// unit's conversions on ARM64); null where this build or processor has none.
FloatsToHalvesFunction HardwareFloatsToHalves();
HalvesToFloatsFunction HardwareHalvesToFloats();

#if defined(__x86_64__)
// F16C: only to be called when the processor has it (F16cAvailable).
bool F16cAvailable();
void FloatsToHalvesF16c(std::uint16_t* out, const float* in, std::size_t n);
void HalvesToFloatsF16c(float* out, const std::uint16_t* in, std::size_t n);
#endif

#if defined(__aarch64__)
void FloatsToHalvesNeon(std::uint16_t* out, const float* in, std::size_t n);
void HalvesToFloatsNeon(float* out, const std::uint16_t* in, std::size_t n);
#endif

}  // namespace kubik::half
