#include "math/cpu/processor.h"

namespace kubik {
namespace {

constexpr std::uint32_t kEdxMmx = 1u << 23;
constexpr std::uint32_t kEdxSse = 1u << 25;
constexpr std::uint32_t kEdxSse2 = 1u << 26;
constexpr std::uint32_t kExtEdx3DNow = 1u << 31;
constexpr std::uint32_t kExtEdxExtended3DNow = 1u << 30;
constexpr std::uint32_t kExtEdxAmdMmx = 1u << 22;

}  // namespace

SimulatedProcessor& SimulatedProcessor::Leaf(std::uint32_t leaf, CpuidRegisters registers) {
  leaves_[leaf] = registers;
  return *this;
}

SimulatedProcessor& SimulatedProcessor::Os(bool sse, bool three_d_now) {
  os_sse_ = sse;
  os_3dnow_ = three_d_now;
  return *this;
}

SimulatedProcessor& SimulatedProcessor::WithoutCpuid() {
  has_cpuid_ = false;
  return *this;
}

SimulatedProcessor& SimulatedProcessor::SavedState(std::uint64_t xcr0) {
  xcr0_ = xcr0;
  return *this;
}

std::uint64_t SimulatedProcessor::ExtendedStateMask() const {
  if (!has_cpuid_ || !(Cpuid(1).ecx & kEcxOsXsave)) return 0;
  return xcr0_;
}

SimulatedProcessor& SimulatedProcessor::Hwcaps(std::uint64_t hwcap, std::uint64_t hwcap2) {
  capabilities_ = HardwareCapabilities{hwcap, hwcap2};
  return *this;
}

CpuidRegisters SimulatedProcessor::Cpuid(std::uint32_t leaf) const {
  auto it = leaves_.find(leaf);
  return it == leaves_.end() ? CpuidRegisters{} : it->second;
}

bool SimulatedProcessor::OsProcessorFeature(OsFeature feature) const {
  return feature == OsFeature::FEATURE_SSE ? os_sse_ : os_3dnow_;
}

std::uint32_t QuerySimdSupport(const ProcessorProbe& processor) {
  if (!processor.HasCpuid()) return 0;
  if (processor.Cpuid(0).eax == 0) return 0;
  const std::uint32_t edx = processor.Cpuid(1).edx;
  std::uint32_t result = 0;
  if (edx & kEdxSse) result |= kSimdSse;
  if (edx & kEdxSse2) result |= kSimdSse2;
  return result;
}

std::uint32_t QueryVectorExtensions(const ProcessorProbe& processor) {
  if (!processor.HasCpuid() || processor.Cpuid(0).eax < 7) return 0;
  constexpr std::uint32_t kLeaf1Avx2 = kEcxFma | kEcxOsXsave | kEcxAvx | kEcxF16c;
  if ((processor.Cpuid(1).ecx & kLeaf1Avx2) != kLeaf1Avx2) return 0;
  const std::uint64_t saved = processor.ExtendedStateMask();
  if ((saved & kXcr0YmmState) != kXcr0YmmState) return 0;
  const std::uint32_t leaf7_ebx = processor.Cpuid(7).ebx;
  if (!(leaf7_ebx & kLeaf7EbxAvx2)) return 0;
  std::uint32_t result = kVectorAvx2;
  constexpr std::uint32_t kLeaf7Avx512 =
      kLeaf7EbxAvx512F | kLeaf7EbxAvx512Dq | kLeaf7EbxAvx512Bw | kLeaf7EbxAvx512Vl;
  if ((leaf7_ebx & kLeaf7Avx512) == kLeaf7Avx512 && (saved & kXcr0ZmmState) == kXcr0ZmmState) {
    result |= kVectorAvx512;
  }
  return result;
}

std::uint32_t QuerySimdSupport() {
  return QuerySimdSupport(RealProcessor());
}

std::uint32_t GetProcessorFeatureFlags(const ProcessorProbe& processor) {
  std::uint32_t flags = kFeatureAlways;
  // Only reached after the operating system reported 3DNow!, so CPUID exists;
  // a probe without it gives the bare flags.
  if (!processor.HasCpuid()) return flags;
  // The 3DNow! bits below count whatever the vendor.
  if (processor.Cpuid(0).eax == 0) return flags;
  flags |= kFeatureStandardLeaves;
  const std::uint32_t edx = processor.Cpuid(1).edx;
  if (edx & kEdxMmx) flags |= kFeatureMmx;
  if (edx & kEdxSse) flags |= kFeatureSse;
  if (processor.Cpuid(0x80000000u).eax <= 0x80000000u) return flags;
  flags |= kFeatureExtendedLeaves;
  const std::uint32_t extended_edx = processor.Cpuid(0x80000001u).edx;
  if (extended_edx & kExtEdx3DNow) flags |= kFeature3DNow;
  if (extended_edx & kExtEdxExtended3DNow) flags |= kFeatureExtended3DNow;
  if (extended_edx & kExtEdxAmdMmx) flags |= kFeatureAmdMmx;
  return flags;
}

std::uint32_t GetProcessorFeatureFlags() {
  return GetProcessorFeatureFlags(RealProcessor());
}

}  // namespace kubik
