// The operation table, its first-call stubs, the reference table and the
// public entries of every dispatched operation.
#include "math/dispatch/operation_table.h"

#include "math/cpu/selection.h"
#include "math/reference/reference.h"

namespace kubik {
namespace stub {

// A stub binds the whole table, then calls whatever its slot holds now.
// The selection holds a lock, so a first call on a second thread waits for
// the running selection instead of seeing a half-filled table.
#define KUBIK_FIRST_CALL_STUB(slot, name, result, params, args) result name params;
KUBIK_DISPATCHED_OPERATIONS(KUBIK_FIRST_CALL_STUB)
#undef KUBIK_FIRST_CALL_STUB

}  // namespace stub

#define KUBIK_STUB_INITIALIZER(slot, name, result, params, args) {&stub::name},
#define KUBIK_REFERENCE_INITIALIZER(slot, name, result, params, args) {&reference::name},

constinit OperationTable process_table{KUBIK_DISPATCHED_OPERATIONS(KUBIK_STUB_INITIALIZER)};

namespace {

constinit const OperationTable reference_table{
    KUBIK_DISPATCHED_OPERATIONS(KUBIK_REFERENCE_INITIALIZER)};

}  // namespace

#undef KUBIK_STUB_INITIALIZER
#undef KUBIK_REFERENCE_INITIALIZER

namespace stub {

#define KUBIK_FIRST_CALL_STUB(slot, name, result, params, args)     \
  result name params {                                              \
    SelectImplementations();                                        \
    return process_table.name.load(std::memory_order_acquire) args; \
  }
KUBIK_DISPATCHED_OPERATIONS(KUBIK_FIRST_CALL_STUB)
#undef KUBIK_FIRST_CALL_STUB

}  // namespace stub

void OperationTable::CopyFrom(const OperationTable& source) {
#define KUBIK_COPY_SLOT(slot, name, result, params, args) \
  name.store(source.name.load(std::memory_order_acquire), std::memory_order_release);
  KUBIK_DISPATCHED_OPERATIONS(KUBIK_COPY_SLOT)
#undef KUBIK_COPY_SLOT
}

const void* OperationTable::Address(unsigned slot) const {
  switch (slot) {
#define KUBIK_SLOT_ADDRESS(slot, name, result, params, args) \
  case slot:                                                 \
    return reinterpret_cast<const void*>(name.load(std::memory_order_acquire));
    KUBIK_DISPATCHED_OPERATIONS(KUBIK_SLOT_ADDRESS)
#undef KUBIK_SLOT_ADDRESS
    default:
      return nullptr;
  }
}

const char* SlotName(unsigned slot) {
  switch (slot) {
#define KUBIK_SLOT_NAME(slot, name, result, params, args) \
  case slot:                                              \
    return #name;
    KUBIK_DISPATCHED_OPERATIONS(KUBIK_SLOT_NAME)
#undef KUBIK_SLOT_NAME
    default:
      return nullptr;
  }
}

const OperationTable& ReferenceTable() {
  return reference_table;
}

bool SlotHoldsStub(unsigned slot) {
  switch (slot) {
#define KUBIK_SLOT_IS_STUB(slot, name, result, params, args) \
  case slot:                                                 \
    return process_table.name.load(std::memory_order_acquire) == &stub::name;
    KUBIK_DISPATCHED_OPERATIONS(KUBIK_SLOT_IS_STUB)
#undef KUBIK_SLOT_IS_STUB
    default:
      return false;
  }
}

void RestoreStubsForTesting() {
#define KUBIK_RESTORE_STUB(slot, name, result, params, args) \
  process_table.name.store(&stub::name, std::memory_order_release);
  KUBIK_DISPATCHED_OPERATIONS(KUBIK_RESTORE_STUB)
#undef KUBIK_RESTORE_STUB
}

}  // namespace kubik

// Public entries: one load of the slot and one indirect jump.
extern "C" {
#define KUBIK_PUBLIC_ENTRY(slot, name, result, params, args)               \
  result name params {                                                     \
    return kubik::process_table.name.load(std::memory_order_acquire) args; \
  }
KUBIK_DISPATCHED_OPERATIONS(KUBIK_PUBLIC_ENTRY)
#undef KUBIK_PUBLIC_ENTRY
}
