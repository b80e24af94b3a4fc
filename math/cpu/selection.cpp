#include "math/cpu/selection.h"

#include <cstdlib>
#include <mutex>
#include <string>

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

// Whether the settings mode lets selection bind `family`.
bool ModeAllows(std::uint32_t mode, const ImplementationFamily& family) {
  if (mode == kModeNoSimd) return !family.simd;
  if (mode == kModeNo3DNow) return family.implementation_set != k3DNowSets;
  return true;
}

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

const ImplementationFamily& ChooseFamily(const ProcessorProbe& processor,
                                         const SettingsStore& settings) {
  const std::uint32_t mode = ReadSelectionMode(settings);
  const ImplementationFamily* chosen = nullptr;
  for (const ImplementationFamily& family : ImplementationFamilies()) {
    if (chosen && family.priority <= chosen->priority) continue;
    if (ModeAllows(mode, family) && family.can_run(processor)) chosen = &family;
  }
  // The reference family always runs and is never a SIMD family.
  return *chosen;
}

std::uint32_t Selector::Select(OperationTable& table, const ProcessorProbe& processor,
                               const SettingsStore& settings) {
  if (implementation_set() != kSelectionNotRun) return implementation_set();
  return Bind(table, ChooseFamily(processor, settings), processor);
}

std::uint32_t Selector::Force(OperationTable& table, const ImplementationFamily& family,
                              const ProcessorProbe& processor) {
  if (implementation_set() != kSelectionNotRun) return implementation_set();
  return Bind(table, family, processor);
}

std::uint32_t Selector::Bind(OperationTable& table, const ImplementationFamily& family,
                             const ProcessorProbe& processor) {
  OperationTable chosen{};
  family.install(chosen, processor);
  table.CopyFrom(chosen);
  family_.store(&family, std::memory_order_release);
  implementation_set_.store(family.implementation_set, std::memory_order_release);
  return family.implementation_set;
}

void Selector::Reset() {
  family_.store(nullptr, std::memory_order_release);
  implementation_set_.store(kSelectionNotRun, std::memory_order_release);
}

std::uint32_t SelectImplementations() {
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

const ImplementationFamily* SelectedFamily() {
  return process_selector.family();
}

void ResetSelectionForTesting() {
  std::lock_guard<std::mutex> lock(selection_mutex);
  process_selector.Reset();
  RestoreStubsForTesting();
}

}  // namespace kubik
