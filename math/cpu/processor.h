// The processor-feature query: on x86-64 CPUID and the operating system's
// answer to "are SSE / 3DNow! instructions available", on 64-bit ARM the
// kernel's hardware-capability words. Selection reads the processor only
// through a ProcessorProbe, so tests can simulate any processor.
#pragma once

#include <cstdint>
#include <map>

namespace kubik {

struct CpuidRegisters {
  std::uint32_t eax = 0, ebx = 0, ecx = 0, edx = 0;
};

enum class OsFeature { FEATURE_SSE, FEATURE_3DNOW };

// The kernel's hardware-capability words of a 64-bit ARM processor
// (AT_HWCAP, AT_HWCAP2); zero elsewhere.
struct HardwareCapabilities {
  std::uint64_t hwcap = 0, hwcap2 = 0;
};

// AT_HWCAP bits the selection reads, as the arm64 kernel numbers them.
inline constexpr std::uint64_t kHwcapFp = 1u << 0;        // single and double precision
inline constexpr std::uint64_t kHwcapAsimd = 1u << 1;     // Advanced SIMD
inline constexpr std::uint64_t kHwcapFphp = 1u << 9;      // half-precision arithmetic
inline constexpr std::uint64_t kHwcapAsimdhp = 1u << 10;  // Advanced SIMD half precision

class ProcessorProbe {
 public:
  virtual ~ProcessorProbe() = default;
  // Whether the processor has the CPUID instruction at all.
  virtual bool HasCpuid() const = 0;
  // CPUID for `leaf` (subleaf 0); all zero for a leaf the processor does not
  // have. Only asked of a processor that has CPUID.
  virtual CpuidRegisters Cpuid(std::uint32_t leaf) const = 0;
  // The operating system's answer for one feature.
  virtual bool OsProcessorFeature(OsFeature feature) const = 0;
  // The kernel's capability words; a processor that has none gives zeros.
  virtual HardwareCapabilities Capabilities() const { return {}; }
};

// The processor this program runs on.
const ProcessorProbe& RealProcessor();

// A processor made of fixed CPUID answers and OS answers. Leaves that were
// not given read as all zero, as on a processor that lacks them.
class SimulatedProcessor final : public ProcessorProbe {
 public:
  SimulatedProcessor& Leaf(std::uint32_t leaf, CpuidRegisters registers);
  SimulatedProcessor& Os(bool sse, bool three_d_now);
  SimulatedProcessor& WithoutCpuid();
  SimulatedProcessor& Hwcaps(std::uint64_t hwcap, std::uint64_t hwcap2 = 0);

  bool HasCpuid() const override { return has_cpuid_; }
  CpuidRegisters Cpuid(std::uint32_t leaf) const override;
  bool OsProcessorFeature(OsFeature feature) const override;
  HardwareCapabilities Capabilities() const override { return capabilities_; }

 private:
  std::map<std::uint32_t, CpuidRegisters> leaves_;
  bool has_cpuid_ = true;
  bool os_sse_ = false;
  bool os_3dnow_ = false;
  HardwareCapabilities capabilities_;
};

// Bit set of QuerySimdSupport.
inline constexpr std::uint32_t kSimdSse = 0x4;
inline constexpr std::uint32_t kSimdSse2 = 0x8;

// Bits of ProcessorFeatureFlags.
inline constexpr std::uint32_t kFeatureAlways = 0x1;
inline constexpr std::uint32_t kFeatureStandardLeaves = 0x2;
inline constexpr std::uint32_t kFeatureExtendedLeaves = 0x4;
inline constexpr std::uint32_t kFeatureMmx = 0x20;
inline constexpr std::uint32_t kFeatureSse = 0x40;
inline constexpr std::uint32_t kFeature3DNow = 0x80;
inline constexpr std::uint32_t kFeatureExtended3DNow = 0x100;
inline constexpr std::uint32_t kFeatureAmdMmx = 0x200;

std::uint32_t QuerySimdSupport(const ProcessorProbe& processor);
std::uint32_t QuerySimdSupport();
std::uint32_t GetProcessorFeatureFlags(const ProcessorProbe& processor);
std::uint32_t GetProcessorFeatureFlags();

}  // namespace kubik
