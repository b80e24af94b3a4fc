// Implementation selection: binds every slot of an operation table to the
// best implementation family for a processor, once.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "math/cpu/processor.h"
#include "math/dispatch/operation_table.h"
#include "platform/settings/settings_store.h"

namespace kubik {

// Values of the selector's state word.
inline constexpr std::uint32_t kSelectionNotRun = 0xFFFF;
inline constexpr std::uint32_t kNoSimdSet = 0;
inline constexpr std::uint32_t k3DNowSets = 1;
inline constexpr std::uint32_t kSse2Set = 2;
inline constexpr std::uint32_t kSseSet = 3;
inline constexpr std::uint32_t kNeonSet = 6;

struct ImplementationFamily;

// One selector with its own state word: the process has one, tests make
// their own and feed them simulated processors and settings.
class Selector {
 public:
  // The first call fills `table` and returns the family it chose; every
  // later call returns that result and touches nothing.
  std::uint32_t Select(OperationTable& table, const ProcessorProbe& processor,
                       const SettingsStore& settings);
  // Like Select, but binds the given family whatever the processor and settings.
  std::uint32_t Force(OperationTable& table, const ImplementationFamily& family,
                      const ProcessorProbe& processor);
  std::uint32_t implementation_set() const { return implementation_set_; }

 private:
  std::uint32_t implementation_set_ = kSelectionNotRun;
};

// The process-wide selection: run by every first-call stub (request 1).
// Concurrent first calls wait for the one selection run.
std::uint32_t SelectImplementations(std::uint32_t request);
// The process-wide state word.
std::uint32_t ImplementationSet();
// Test support: forgets the process-wide selection and restores the stubs.
void ResetSelectionForTesting();

// The implementation families, for tests and benchmarks that run all of them.
struct ImplementationFamily {
  const char* name;
  std::uint32_t implementation_set;
  bool (*can_run)(const ProcessorProbe& processor);
  // Fills `table` completely: the reference set, the x87-tuned set unless
  // this is the reference family, then the family's own functions.
  void (*install)(OperationTable& table, const ProcessorProbe& processor);
};
std::span<const ImplementationFamily> ImplementationFamilies();
const ImplementationFamily* FindImplementationFamily(std::string_view name);

}  // namespace kubik
