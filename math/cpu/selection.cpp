#include "math/cpu/selection.h"

#include <cstdlib>
#include <mutex>
#include <string>

#include "math/cpu/installers.h"
#include "math/diag/diagnostics.h"
#include "platform/debug/debug_output.h"

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

void InstallAvx2Family(OperationTable& table, const ProcessorProbe& processor) {
  InstallX87Family(table, processor);
  InstallAvx2Set(table);
}

void InstallAvx512Family(OperationTable& table, const ProcessorProbe& processor) {
  InstallX87Family(table, processor);
  InstallAvx512Set(table);
}

void Install3DNowFamily(OperationTable& table, const ProcessorProbe& processor) {
  InstallX87Family(table, processor);
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

bool Runs3DNow(const ProcessorProbe& processor) {
  if (!processor.OsProcessorFeature(OsFeature::FEATURE_3DNOW)) return false;
  const std::uint32_t flags = GetProcessorFeatureFlags(processor);
  return (flags & kFeatureMmx) && (flags & kFeature3DNow);
}

bool RunsAvx2(const ProcessorProbe& processor) {
  return (QueryVectorExtensions(processor) & kVectorAvx2) != 0;
}

bool RunsAvx512(const ProcessorProbe& processor) {
  return (QueryVectorExtensions(processor) & kVectorAvx512) != 0;
}

constexpr ImplementationFamily kFamilies[] = {
    {"reference", kNoSimdSet, &AlwaysRuns, &InstallReferenceOnly},
    {"x87", kNoSimdSet, &AlwaysRuns, &InstallX87Family},
    {"sse", kSseSet, &RunsSse, &InstallSseFamily},
    {"sse2", kSse2Set, &RunsSse2, &InstallSse2Family},
    {"3dnow", k3DNowSets, &Runs3DNow, &Install3DNowFamily},
    {"avx2", kAvx2Set, &RunsAvx2, &InstallAvx2Family},
    {"avx512", kAvx512Set, &RunsAvx512, &InstallAvx512Family},
};

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
  InstallX87TunedSet(table);

  const std::uint32_t mode = ReadSelectionMode(settings);
  if (mode == kModeNoSimd) return implementation_set_;
  const std::uint32_t vector_extensions = QueryVectorExtensions(processor);
  if (vector_extensions & kVectorAvx512) {
    InstallAvx512Set(table);
    implementation_set_ = kAvx512Set;
  } else if (vector_extensions & kVectorAvx2) {
    InstallAvx2Set(table);
    implementation_set_ = kAvx2Set;
  } else if (mode != kModeNo3DNow && processor.OsProcessorFeature(OsFeature::FEATURE_3DNOW)) {
    Install3DNowSets(table, processor);
    implementation_set_ = k3DNowSets;
  } else if (QuerySimdSupport(processor) & kSimdSse2) {
    InstallSse2Set(table);
    implementation_set_ = kSse2Set;
  } else if (processor.OsProcessorFeature(OsFeature::FEATURE_SSE)) {
    InstallSseSet(table);
    implementation_set_ = kSseSet;
  }
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
