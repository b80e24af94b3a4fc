// The real processor on 64-bit ARM: no CPUID and none of the x86 features;
// the kernel hands every process its hardware-capability words.
#include <sys/auxv.h>

#include "math/cpu/processor.h"

namespace kubik {
namespace {

class ThisProcessor final : public ProcessorProbe {
 public:
  bool HasCpuid() const override { return false; }
  CpuidRegisters Cpuid(std::uint32_t) const override { return {}; }

  bool OsProcessorFeature(OsFeature) const override { return false; }

  HardwareCapabilities Capabilities() const override {
    return {getauxval(AT_HWCAP), getauxval(AT_HWCAP2)};
  }
};

}  // namespace

const ProcessorProbe& RealProcessor() {
  static const ThisProcessor processor;
  return processor;
}

}  // namespace kubik
