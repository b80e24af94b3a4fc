// Implementation selection: binds every slot of an operation table to the
// best implementation family for a processor, once.
#pragma once

#include <atomic>
#include <cstdint>

#include "math/cpu/processor.h"
#include "math/cpu/registry.h"
#include "math/dispatch/operation_table.h"
#include "platform/settings/settings_store.h"

namespace kubik {

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
  std::uint32_t implementation_set() const {
    return implementation_set_.load(std::memory_order_acquire);
  }
  // The bound family's registry row; null before the first call.
  const ImplementationFamily* family() const { return family_.load(std::memory_order_acquire); }
  // Forgets the selection, as if no call had been made.
  void Reset();

 private:
  // Fills a private table with the family's functions, then copies it into
  // `table` slot by slot: a concurrent caller of `table` sees each slot
  // either as it was or with its final function, never an intermediate one.
  std::uint32_t Bind(OperationTable& table, const ImplementationFamily& family,
                     const ProcessorProbe& processor);

  std::atomic<std::uint32_t> implementation_set_{kSelectionNotRun};
  std::atomic<const ImplementationFamily*> family_{nullptr};
};

// The family selection binds for this processor under these settings.
const ImplementationFamily& ChooseFamily(const ProcessorProbe& processor,
                                         const SettingsStore& settings);

// The process-wide selection: run by every first-call stub. Concurrent first
// calls wait for the one selection run.
std::uint32_t SelectImplementations();
// The process-wide state word.
std::uint32_t ImplementationSet();
// The registry row of the process-wide selection; null before it has run.
const ImplementationFamily* SelectedFamily();
// Test support: forgets the process-wide selection and restores the stubs.
void ResetSelectionForTesting();

}  // namespace kubik
