// The registry rows. Compiled at the baseline instruction set: the feature
// tests and installers run before anything is known about the processor.
#include "math/cpu/registry.h"

#include <cstddef>
#include <initializer_list>
#include <span>

#include "math/reference/bounds.h"

#if defined(__x86_64__)
#include "math/cpu/installers.h"
#include "math/simd/amd/family.h"
#include "math/simd/avx2/family.h"
#include "math/simd/avx512/family.h"
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

// Both build on the SSE2 family: the slots they leave keep its functions.
void InstallAvx2(OperationTable& table, const ProcessorProbe& processor) {
  InstallX87(table, processor);
  sse2::Install(table);
  avx2::Install(table);
}

void InstallAvx512(OperationTable& table, const ProcessorProbe& processor) {
  InstallAvx2(table, processor);
  avx512::Install(table);
}

// The slots a family writes beyond the x87-tuned set, when it lays its own
// functions over other families': every slot any of the lists names.
struct SlotUnion {
  Slot slots[kSlotCount]{};
  std::size_t count = 0;
  constexpr std::span<const Slot> Span() const { return {slots, count}; }
};

constexpr SlotUnion UnionOf(std::initializer_list<std::span<const Slot>> lists) {
  SlotUnion result;
  for (unsigned i = 0; i < kSlotCount; ++i) {
    const Slot slot = static_cast<Slot>(i);
    bool listed = false;
    for (std::span<const Slot> list : lists) {
      for (Slot s : list) listed = listed || s == slot;
    }
    if (listed) result.slots[result.count++] = slot;
  }
  return result;
}

constexpr SlotUnion kAvx2Writes = UnionOf({sse2::kSlots, avx2::kSlots});
constexpr SlotUnion kAvx512Writes = UnionOf({sse2::kSlots, avx2::kSlots, avx512::kSlots});

bool RunsAvx2(const ProcessorProbe& processor) {
  return (QueryVectorExtensions(processor) & kVectorAvx2) != 0;
}

// The AVX-512 family replaces only the slots where 512-bit registers
// measured faster than AVX2 (docs/selection.md has the figures and the
// processor), so it is preferred wherever it runs.
bool RunsAvx512(const ProcessorProbe& processor) {
  return (QueryVectorExtensions(processor) & kVectorAvx512) != 0;
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
    {"avx2", kAvx2Set, 50, true, &RunsAvx2, &InstallAvx2, kAvx2Writes.Span(), avx2::kBounds},
    {"avx512", kAvx512Set, 60, true, &RunsAvx512, &InstallAvx512, kAvx512Writes.Span(),
     avx512::kBounds},
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
    {"reference", kNoSimdSet, 0, false, &AlwaysRuns, &InstallReference, kAllSlots,
     reference::kBounds},
    {"neon", kNeonSet, 50, true, &RunsNeon, &InstallNeon, neon::kSlots, neon::kBounds},
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
