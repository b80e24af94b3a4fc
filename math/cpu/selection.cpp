#include "math/cpu/selection.h"

#include <cstdlib>
#include <mutex>
#include <string>

#include "math/cpu/installers.h"
#include "math/diag/diagnostics.h"
#include "platform/debug/debug_output.h"
#if defined(__aarch64__)
#include "math/simd/neon/family.h"
#endif

namespace kubik {
namespace {

// Selection mode values read from the settings store.
constexpr std::uint32_t kModeNoSimd = 1;
constexpr std::uint32_t kModeNo3DNow = 2;

std::uint32_t ReadSelectionMode(const SettingsStore& settings) {
  std::uint32_t mode = 0;
  if (!ReadSettingDword(settings, SETTING_NUMBER, "DisableSimd", &mode, sizeof mode)) mode = 0;
  std::uint32_t override_mode = 0;
  if (ReadSettingDword(settings, SETTING_NUMBER, "DisableMathSimd", &override_mode,
                       sizeof override_mode)) {
    mode = override_mode;
  }
  return mode;
}

void InstallReferenceOnly(OperationTable& table, const ProcessorProbe&) {
  table.CopyFrom(ReferenceTable());
}

bool AlwaysRuns(const ProcessorProbe&) {
  return true;
}

#if defined(__x86_64__)

void InstallX87Family(OperationTable& table, const ProcessorProbe&) {
  table.CopyFrom(ReferenceTable());
  InstallX87TunedSet(table);
}

void InstallSseFamily(OperationTable& table, const ProcessorProbe& processor) {
  InstallX87Family(table, processor);
  InstallSseSet(table);
}

void InstallSse2Family(OperationTable& table, const ProcessorProbe& processor) {
  InstallX87Family(table, processor);
  InstallSse2Set(table);
}

void Install3DNowFamily(OperationTable& table, const ProcessorProbe& processor) {
  InstallX87Family(table, processor);
  Install3DNowSets(table, processor);
}

bool RunsSse(const ProcessorProbe& processor) {
  return processor.OsProcessorFeature(OsFeature::FEATURE_SSE);
}

bool RunsSse2(const ProcessorProbe& processor) {
  return (QuerySimdSupport(processor) & kSimdSse2) != 0;
}

bool Runs3DNow(const ProcessorProbe& processor) {
  if (!processor.OsProcessorFeature(OsFeature::FEATURE_3DNOW)) return false;
  const std::uint32_t flags = GetProcessorFeatureFlags(processor);
  return (flags & kFeatureMmx) && (flags & kFeature3DNow);
}

constexpr ImplementationFamily kFamilies[] = {
    {"reference", kNoSimdSet, &AlwaysRuns, &InstallReferenceOnly},
    {"x87", kNoSimdSet, &AlwaysRuns, &InstallX87Family},
    {"sse", kSseSet, &RunsSse, &InstallSseFamily},
    {"sse2", kSse2Set, &RunsSse2, &InstallSse2Family},
    {"3dnow", k3DNowSets, &Runs3DNow, &Install3DNowFamily},
};

// The x87-tuned set goes in on every processor, then at most one SIMD family.
std::uint32_t SelectForProcessor(OperationTable& table, const ProcessorProbe& processor,
                                 std::uint32_t mode) {
  InstallX87TunedSet(table);
  if (mode == kModeNoSimd) return kNoSimdSet;
  if (mode != kModeNo3DNow && processor.OsProcessorFeature(OsFeature::FEATURE_3DNOW)) {
    Install3DNowSets(table, processor);
    return k3DNowSets;
  }
  if (QuerySimdSupport(processor) & kSimdSse2) {
    InstallSse2Set(table);
    return kSse2Set;
  }
  if (processor.OsProcessorFeature(OsFeature::FEATURE_SSE)) {
    InstallSseSet(table);
    return kSseSet;
  }
  return kNoSimdSet;
}

#elif defined(__aarch64__)

// Advanced SIMD with fused multiply-add is part of every ARMv8-A processor;
// the kernel still says so, and a probe that does not is taken at its word.
bool RunsNeon(const ProcessorProbe& processor) {
  const std::uint64_t hwcap = processor.Capabilities().hwcap;
  return (hwcap & kHwcapFp) && (hwcap & kHwcapAsimd);
}

void InstallNeonFamily(OperationTable& table, const ProcessorProbe&) {
  table.CopyFrom(ReferenceTable());
  neon::Install(table);
}

constexpr ImplementationFamily kFamilies[] = {
    {"reference", kNoSimdSet, &AlwaysRuns, &InstallReferenceOnly},
    {"neon", kNeonSet, &RunsNeon, &InstallNeonFamily},
};

std::uint32_t SelectForProcessor(OperationTable& table, const ProcessorProbe& processor,
                                 std::uint32_t mode) {
  if (mode == kModeNoSimd || !RunsNeon(processor)) return kNoSimdSet;
  neon::Install(table);
  return kNeonSet;
}

#else
#error "Kubik selects implementation families for x86-64 and 64-bit ARM only"
#endif

// The family named by KUBIK_MATH_FAMILY, when it names one that runs here.
const ImplementationFamily* ForcedFamily(const ProcessorProbe& processor) {
  const char* name = std::getenv("KUBIK_MATH_FAMILY");
  if (!name || !*name) return nullptr;
  const ImplementationFamily* family = FindImplementationFamily(name);
  if (!family) {
    WriteDebugOutput(("KM: (WARN) KUBIK_MATH_FAMILY names no family: " + std::string(name) +
                      "; selecting as usual.\n")
                         .c_str());
    return nullptr;
  }
  if (!family->can_run(processor)) {
    WriteDebugOutput(("KM: (WARN) KUBIK_MATH_FAMILY family cannot run on this processor: " +
                      std::string(name) + "; selecting as usual.\n")
                         .c_str());
    return nullptr;
  }
  return family;
}

constinit std::mutex selection_mutex;
constinit Selector process_selector;

}  // namespace

std::uint32_t Selector::Select(OperationTable& table, const ProcessorProbe& processor,
                               const SettingsStore& settings) {
  if (implementation_set_ != kSelectionNotRun) return implementation_set_;
  implementation_set_ = kNoSimdSet;
  table.CopyFrom(ReferenceTable());
  implementation_set_ = SelectForProcessor(table, processor, ReadSelectionMode(settings));
  return implementation_set_;
}

std::uint32_t Selector::Force(OperationTable& table, const ImplementationFamily& family,
                              const ProcessorProbe& processor) {
  if (implementation_set_ != kSelectionNotRun) return implementation_set_;
  implementation_set_ = family.implementation_set;
  family.install(table, processor);
  return implementation_set_;
}

std::uint32_t SelectImplementations(std::uint32_t /*request*/) {
  CheckAllocatorConformance();
  std::lock_guard<std::mutex> lock(selection_mutex);
  if (process_selector.implementation_set() != kSelectionNotRun) {
    return process_selector.implementation_set();
  }
  const ProcessorProbe& processor = RealProcessor();
  if (const ImplementationFamily* forced = ForcedFamily(processor)) {
    return process_selector.Force(ProcessOperationTable(), *forced, processor);
  }
  return process_selector.Select(ProcessOperationTable(), processor, EnvironmentSettings());
}

std::uint32_t ImplementationSet() {
  return process_selector.implementation_set();
}

void ResetSelectionForTesting() {
  std::lock_guard<std::mutex> lock(selection_mutex);
  process_selector = Selector{};
  RestoreStubsForTesting();
}

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
