// The 3DNow! family's installer: three groups, each installed only when the
// processor's feature flags allow it.
#include "math/simd/amd/family.h"

#include "math/cpu/installers.h"

namespace kubik {

// The pair form is the one this source was compiled for: the portable one
// unless the build gives the family's sources the 3DNow! instructions.
std::uint32_t Install3DNowSets(OperationTable& table, const ProcessorProbe& processor) {
  const std::uint32_t flags = GetProcessorFeatureFlags(processor);
  std::uint32_t groups = 0;
  if ((flags & kFeatureMmx) && (flags & kFeature3DNow)) {
    amd::KUBIK_AMD_FORM::Install(table);
    groups |= k3DNowBaseGroup;
    if ((flags & kFeatureExtended3DNow) && (flags & kFeatureAmdMmx)) {
      amd::KUBIK_AMD_FORM::extended::Install(table);
      groups |= kExtended3DNowGroup;
    }
  }
  if (flags & kFeatureSse) {
    amd::sse_arrays::Install(table);
    groups |= kAmdSseArrayGroup;
  }
  return groups;
}

}  // namespace kubik
