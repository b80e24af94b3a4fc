#include "math/cpu/processor.h"

#include <cpuid.h>

#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

namespace kubik {
namespace {

constexpr std::uint32_t kEdxMmx = 1u << 23;
constexpr std::uint32_t kEdxSse = 1u << 25;
constexpr std::uint32_t kEdxSse2 = 1u << 26;
constexpr std::uint32_t kExtEdx3DNow = 1u << 31;
constexpr std::uint32_t kExtEdxExtended3DNow = 1u << 30;
constexpr std::uint32_t kExtEdxAmdMmx = 1u << 22;

// The kernel's answer for one processor flag: whether /proc/cpuinfo lists it
// among the features it enabled; empty when the file cannot be read.
std::optional<bool> KernelListsCpuFlag(const char* flag) {
  std::FILE* file = std::fopen("/proc/cpuinfo", "r");
  if (!file) return std::nullopt;
  char line[8192];
  std::optional<bool> found;
  while (std::fgets(line, sizeof line, file)) {
    if (std::strncmp(line, "flags", 5) != 0) continue;
    const char* colon = std::strchr(line, ':');
    if (!colon) break;
    std::string flags = std::string(" ") + (colon + 1);
    while (!flags.empty() && (flags.back() == '\n' || flags.back() == ' ')) flags.pop_back();
    flags += ' ';
    found = flags.find(std::string(" ") + flag + " ") != std::string::npos;
    break;
  }
  std::fclose(file);
  return found;
}

class ThisProcessor final : public ProcessorProbe {
 public:
  // Every x86-64 processor has CPUID.
  bool HasCpuid() const override { return true; }

  CpuidRegisters Cpuid(std::uint32_t leaf) const override {
    // __get_cpuid refuses leaves above the highest one the processor reports.
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (!__get_cpuid_count(leaf, 0, &eax, &ebx, &ecx, &edx)) return CpuidRegisters{};
    return CpuidRegisters{eax, ebx, ecx, edx};
  }

  bool OsProcessorFeature(OsFeature feature) const override {
    switch (feature) {
      case OsFeature::FEATURE_SSE:
        // SSE state is part of the x86-64 process ABI, so a kernel that
        // says nothing still saves it.
        return KernelListsCpuFlag("sse").value_or(true);
      case OsFeature::FEATURE_3DNOW:
        return KernelListsCpuFlag("3dnow").value_or(false);
    }
    return false;
  }

  std::uint64_t ExtendedStateMask() const override {
    // XGETBV faults unless the operating system enabled it (OSXSAVE).
    if (!(Cpuid(1).ecx & kEcxOsXsave)) return 0;
    unsigned low = 0, high = 0;
    __asm__ volatile("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
    return (std::uint64_t{high} << 32) | low;
  }
};

}  // namespace

const ProcessorProbe& RealProcessor() {
  static const ThisProcessor processor;
  return processor;
}

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
