// The real processor on x86-64: CPUID and the kernel's list of the
// processor flags it enabled.
#include <cpuid.h>

#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include "math/cpu/processor.h"

namespace kubik {
namespace {

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

}  // namespace kubik
