// The registry rows. Compiled at the baseline instruction set: the feature
// tests and installers run before anything is known about the processor.
#include "math/cpu/registry.h"

#include "math/cpu/installers.h"
#include "math/reference/bounds.h"
#include "math/simd/amd/family.h"
#include "math/simd/sse/family.h"
#include "math/simd/x87/family.h"

namespace kubik {
namespace {

void InstallReference(OperationTable& table, const ProcessorProbe&) {
  table.CopyFrom(ReferenceTable());
}

// The reference set with the x87-tuned set over it: what every family
// but the reference builds on.
void InstallX87(OperationTable& table, const ProcessorProbe& processor) {
  InstallReference(table, processor);
  x87::Install(table);
}

template <void (*kInstallOwn)(OperationTable&)>
void InstallOverX87(OperationTable& table, const ProcessorProbe& processor) {
  InstallX87(table, processor);
  kInstallOwn(table);
}

void Install3DNow(OperationTable& table, const ProcessorProbe& processor) {
  InstallX87(table, processor);
  Install3DNowSets(table, processor);
}

bool AlwaysRuns(const ProcessorProbe&) {
  return true;
}

bool RunsSse(const ProcessorProbe& processor) {
  return processor.OsProcessorFeature(OsFeature::FEATURE_SSE);
}

bool RunsSse2(const ProcessorProbe& processor) {
  return (QuerySimdSupport(processor) & kSimdSse2) != 0;
}

// The family runs whenever the operating system reports 3DNow!; its installer
// then installs each group only under that group's feature flags.
bool Runs3DNow(const ProcessorProbe& processor) {
  return processor.OsProcessorFeature(OsFeature::FEATURE_3DNOW);
}

constexpr Slot k3DNowSlots[] = {KUBIK_3DNOW_FAMILY_SLOTS(KUBIK_SLOT_VALUE)};

constexpr ImplementationFamily kFamilies[] = {
    {"reference", kNoSimdSet, 0, false, &AlwaysRuns, &InstallReference, kAllSlots,
     reference::kBounds},
    {"x87", kNoSimdSet, 10, false, &AlwaysRuns, &InstallX87, x87::kSlots, x87::kBounds},
    {"sse", kSseSet, 20, true, &RunsSse, &InstallOverX87<&sse::Install>, sse::kSlots, sse::kBounds},
    {"sse2", kSse2Set, 30, true, &RunsSse2, &InstallOverX87<&sse2::Install>, sse2::kSlots,
     sse2::kBounds},
    {"3dnow", k3DNowSets, 40, true, &Runs3DNow, &Install3DNow, k3DNowSlots, amd::kBounds},
};

}  // namespace

std::span<const ImplementationFamily> ImplementationFamilies() {
  return kFamilies;
}

const ImplementationFamily* FindImplementationFamily(std::string_view name) {
  for (const ImplementationFamily& family : kFamilies) {
    if (name == family.name) return &family;
  }
  return nullptr;
}

}  // namespace kubik
