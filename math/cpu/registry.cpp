// The registry rows. Compiled at the baseline instruction set: the feature
// tests and installers run before anything is known about the processor.
#include "math/cpu/registry.h"

#if defined(__x86_64__)
#include "math/cpu/installers.h"
#include "math/simd/amd/family.h"
#include "math/simd/sse/family.h"
#include "math/simd/sse2/family.h"
#include "math/simd/x87/family.h"
#elif defined(__aarch64__)
#include "math/simd/neon/family.h"
#endif

namespace kubik {
namespace {

void InstallReference(OperationTable& table, const ProcessorProbe&) {
  table.CopyFrom(ReferenceTable());
}

bool AlwaysRuns(const ProcessorProbe&) {
  return true;
}

#if defined(__x86_64__)

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
    {"reference", kNoSimdSet, 0, false, &AlwaysRuns, &InstallReference, kAllSlots},
    {"x87", kNoSimdSet, 10, false, &AlwaysRuns, &InstallX87, x87::kSlots},
    {"sse", kSseSet, 20, true, &RunsSse, &InstallOverX87<&sse::Install>, sse::kSlots},
    {"sse2", kSse2Set, 30, true, &RunsSse2, &InstallOverX87<&sse2::Install>, sse2::kSlots},
    {"3dnow", k3DNowSets, 40, true, &Runs3DNow, &Install3DNow, k3DNowSlots},
};

#elif defined(__aarch64__)

// Advanced SIMD with fused multiply-add is part of every ARMv8-A processor;
// the kernel still reports it, and a probe that does not is taken at its word.
bool RunsNeon(const ProcessorProbe& processor) {
  const std::uint64_t hwcap = processor.Capabilities().hwcap;
  return (hwcap & kHwcapFp) && (hwcap & kHwcapAsimd);
}

// The reference set with the NEON family over it.
void InstallNeon(OperationTable& table, const ProcessorProbe& processor) {
  InstallReference(table, processor);
  neon::Install(table);
}

constexpr ImplementationFamily kFamilies[] = {
    {"reference", kNoSimdSet, 0, false, &AlwaysRuns, &InstallReference, kAllSlots},
    {"neon", kNeonSet, 50, true, &RunsNeon, &InstallNeon, neon::kSlots},
};

#else
#error "Kubik has implementation families for x86-64 and 64-bit ARM only"
#endif

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
