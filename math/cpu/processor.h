// The processor-feature query: CPUID and the operating system's answer to
// "are SSE / 3DNow! instructions available". Selection reads the processor
// only through a ProcessorProbe, so tests can simulate any processor.
#pragma once

#include <cstdint>
#include <map>

namespace kubik {

struct CpuidRegisters {
  std::uint32_t eax = 0, ebx = 0, ecx = 0, edx = 0;
};

enum class OsFeature { FEATURE_SSE, FEATURE_3DNOW };

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
  // XCR0, the register state the operating system saves on a context
  // switch; 0 when the processor does not offer XGETBV (OSXSAVE clear).
  virtual std::uint64_t ExtendedStateMask() const = 0;
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
  SimulatedProcessor& SavedState(std::uint64_t xcr0);

  bool HasCpuid() const override { return has_cpuid_; }
  CpuidRegisters Cpuid(std::uint32_t leaf) const override;
  bool OsProcessorFeature(OsFeature feature) const override;
  std::uint64_t ExtendedStateMask() const override;

 private:
  std::map<std::uint32_t, CpuidRegisters> leaves_;
  bool has_cpuid_ = true;
  bool os_sse_ = false;
  bool os_3dnow_ = false;
  std::uint64_t xcr0_ = 0;
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

// Bit set of QueryVectorExtensions: what the processor offers and the
// operating system saves the registers of.
inline constexpr std::uint32_t kVectorAvx2 = 0x1;    // AVX2, FMA and F16C; YMM state saved
inline constexpr std::uint32_t kVectorAvx512 = 0x2;  // also AVX-512 F/BW/DQ/VL; ZMM state saved

// CPUID and XCR0 bits QueryVectorExtensions reads.
inline constexpr std::uint32_t kEcxFma = 1u << 12;
inline constexpr std::uint32_t kEcxOsXsave = 1u << 27;
inline constexpr std::uint32_t kEcxAvx = 1u << 28;
inline constexpr std::uint32_t kEcxF16c = 1u << 29;
inline constexpr std::uint32_t kLeaf7EbxAvx2 = 1u << 5;
inline constexpr std::uint32_t kLeaf7EbxAvx512F = 1u << 16;
inline constexpr std::uint32_t kLeaf7EbxAvx512Dq = 1u << 17;
inline constexpr std::uint32_t kLeaf7EbxAvx512Bw = 1u << 30;
inline constexpr std::uint32_t kLeaf7EbxAvx512Vl = 1u << 31;
inline constexpr std::uint64_t kXcr0YmmState = 0x6;   // SSE and upper YMM halves
inline constexpr std::uint64_t kXcr0ZmmState = 0xe0;  // opmask, upper ZMM halves, ZMM16-31

std::uint32_t QueryVectorExtensions(const ProcessorProbe& processor);

std::uint32_t QuerySimdSupport(const ProcessorProbe& processor);
std::uint32_t QuerySimdSupport();
std::uint32_t GetProcessorFeatureFlags(const ProcessorProbe& processor);
std::uint32_t GetProcessorFeatureFlags();

}  // namespace kubik
