// The 3DNow!/AMD installer: three groups, each installed only when the
// processor's feature flags allow it.
#include "math/cpu/installers.h"
#include "math/simd/amd/amd_family.h"

namespace kubik {

// The pair form is the one this source was compiled for: the portable one
// unless the build gives the family's sources the 3DNow! instructions.
void Install3DNowBaseSet(OperationTable& table) {
  amd::KUBIK_AMD_FORM::InstallBaseSet(table);
}

void InstallExtended3DNowSet(OperationTable& table) {
  amd::KUBIK_AMD_FORM::InstallExtendedSet(table);
}

void InstallAmdSseArraySet(OperationTable& table) {
  amd::InstallSseArraySet(table);
}

std::uint32_t Install3DNowSets(OperationTable& table, const ProcessorProbe& processor) {
  const std::uint32_t flags = GetProcessorFeatureFlags(processor);
  std::uint32_t groups = 0;
  if ((flags & kFeatureMmx) && (flags & kFeature3DNow)) {
    Install3DNowBaseSet(table);
    groups |= k3DNowBaseGroup;
    if ((flags & kFeatureExtended3DNow) && (flags & kFeatureAmdMmx)) {
      InstallExtended3DNowSet(table);
      groups |= kExtended3DNowGroup;
    }
  }
  if (flags & kFeatureSse) {
    InstallAmdSseArraySet(table);
    groups |= kAmdSseArrayGroup;
  }
  return groups;
}

}  // namespace kubik
