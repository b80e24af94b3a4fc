// The 3DNow!/AMD installer: three groups, each installed only when the
// processor's feature flags allow it.
#include "math/cpu/installers.h"

namespace kubik {

void Install3DNowBaseSet(OperationTable& /*table*/) {
  // No 3DNow! operation is built yet: every slot keeps what it holds.
}

void InstallExtended3DNowSet(OperationTable& /*table*/) {
  // No extended-3DNow! override is built yet.
}

void InstallAmdSseArraySet(OperationTable& /*table*/) {
  // No AMD SSE array transform is built yet.
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
