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

SimulatedProcessor& SimulatedProcessor::Hwcaps(std::uint64_t hwcap, std::uint64_t hwcap2) {
  capabilities_ = HardwareCapabilities{hwcap, hwcap2};
  return *this;
}

bool SimulatedProcessor::Cpuid(std::uint32_t leaf, CpuidRegisters* out) const {
  if (!has_cpuid_) return false;
  auto it = leaves_.find(leaf);
  *out = it == leaves_.end() ? CpuidRegisters{} : it->second;
  return true;
}

bool SimulatedProcessor::OsProcessorFeature(OsFeature feature) const {
  return feature == OsFeature::FEATURE_SSE ? os_sse_ : os_3dnow_;
}

std::uint32_t QuerySimdSupport(const ProcessorProbe& processor) {
  std::uint32_t result = 0;
  CpuidRegisters regs;
  if (!processor.Cpuid(0, &regs)) return 0;
  if (regs.eax == 0) return 0;
  processor.Cpuid(1, &regs);
  if (regs.edx & kEdxSse) result |= kSimdSse;
  if (regs.edx & kEdxSse2) result |= kSimdSse2;
  return result;
}

std::uint32_t QuerySimdSupport() {
  return QuerySimdSupport(RealProcessor());
}

std::uint32_t GetProcessorFeatureFlags(const ProcessorProbe& processor) {
  CpuidRegisters regs;
  // Only reached after the operating system reported 3DNow!, so CPUID exists;
  // a probe without it gives the bare flags.
  if (!processor.Cpuid(0, &regs)) return kFeatureAlways;
  std::uint32_t flags = kFeatureAlways;
  processor.Cpuid(0, &regs);
  // The 3DNow! bits below count whatever the vendor.
  if (regs.eax == 0) return flags;
  flags |= kFeatureStandardLeaves;
  processor.Cpuid(1, &regs);
  if (regs.edx & kEdxMmx) flags |= kFeatureMmx;
  if (regs.edx & kEdxSse) flags |= kFeatureSse;
  processor.Cpuid(0x80000000u, &regs);
  if (regs.eax <= 0x80000000u) return flags;
  flags |= kFeatureExtendedLeaves;
  processor.Cpuid(0x80000001u, &regs);
  if (regs.edx & kExtEdx3DNow) flags |= kFeature3DNow;
  if (regs.edx & kExtEdxExtended3DNow) flags |= kFeatureExtended3DNow;
  if (regs.edx & kExtEdxAmdMmx) flags |= kFeatureAmdMmx;
  return flags;
}

std::uint32_t GetProcessorFeatureFlags() {
  return GetProcessorFeatureFlags(RealProcessor());
}

}  // namespace kubik
