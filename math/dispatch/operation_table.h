// The process-wide table of operation slots and its typed access.
#pragma once

#include <atomic>
#include <cstdint>

#include "math/dispatch/operations.h"

namespace kubik {

enum class Slot : unsigned {
#define KUBIK_SLOT_ENUM(slot, name, result, params, args) name = slot,
  KUBIK_DISPATCHED_OPERATIONS(KUBIK_SLOT_ENUM)
#undef KUBIK_SLOT_ENUM
};

// Every slot, in slot order.
inline constexpr Slot kAllSlots[] = {
#define KUBIK_SLOT_LISTED(slot, name, result, params, args) Slot::name,
    KUBIK_DISPATCHED_OPERATIONS(KUBIK_SLOT_LISTED)
#undef KUBIK_SLOT_LISTED
};
inline constexpr unsigned kSlotCount = sizeof kAllSlots / sizeof kAllSlots[0];
static_assert(static_cast<unsigned>(kAllSlots[kSlotCount - 1]) == kSlotCount - 1,
              "slots are numbered 0, 1, 2, ... in list order");

template <Slot S>
struct SlotTraits;

// One typed atomic member per operation, named after it. Typed members keep
// the table constant-initialised (no start-up order problem) and let the
// setter refuse a function of the wrong signature at compile time.
struct OperationTable {
#define KUBIK_SLOT_MEMBER(slot, name, result, params, args) std::atomic<result(*) params> name;
  KUBIK_DISPATCHED_OPERATIONS(KUBIK_SLOT_MEMBER)
#undef KUBIK_SLOT_MEMBER

  template <Slot S>
  void Set(typename SlotTraits<S>::Function function) {
    (this->*SlotTraits<S>::kMember).store(function, std::memory_order_release);
  }

  template <Slot S>
  typename SlotTraits<S>::Function Get() const {
    return (this->*SlotTraits<S>::kMember).load(std::memory_order_acquire);
  }

  // Copies every slot of `source` into this table.
  void CopyFrom(const OperationTable& source);

  // The address a slot holds, or null for a slot number no operation uses.
  const void* Address(unsigned slot) const;
};

#define KUBIK_SLOT_TRAITS(slot, name, result, params, args)                                  \
  template <>                                                                                \
  struct SlotTraits<Slot::name> {                                                            \
    using Function = result(*) params;                                                       \
    static constexpr std::atomic<Function> OperationTable::*kMember = &OperationTable::name; \
    static constexpr const char* kName = #name;                                              \
  };
KUBIK_DISPATCHED_OPERATIONS(KUBIK_SLOT_TRAITS)
#undef KUBIK_SLOT_TRAITS

// The operation name of a listed slot, else null.
const char* SlotName(unsigned slot);

// The table every public entry jumps through. Hidden: code of this library
// reaches it with one load relative to the instruction, not through the
// global offset table.
[[gnu::visibility("hidden")]] extern OperationTable process_table;
inline OperationTable& ProcessOperationTable() {
  return process_table;
}
// The reference implementation of every slot.
const OperationTable& ReferenceTable();
// True when the process table's slot still holds its first-call stub.
bool SlotHoldsStub(unsigned slot);

// Test support: puts every stub back into the process table so that the next
// dispatched call selects again. Not for use while other threads call in.
void RestoreStubsForTesting();

}  // namespace kubik
