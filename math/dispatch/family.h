// What every implementation family is built from: one list of the slots it
// fills, in its folder, as an X-macro over operation names:
//
//   #define KUBIK_SSE2_SLOTS(X) X(KMMatrixMultiply) X(KMMatrixInverse) ...
//
// From that list and the signatures in operations.h the family gets its
// function declarations (each keeps the public operation's name inside the
// family namespace, so one search finds every implementation of an
// operation), its installer and the set of slots it owns as data.
#pragma once

#include <array>
#include <span>
#include <type_traits>

#include "math/dispatch/operation_table.h"

namespace kubik {

// The function type of a slot: `SlotFunction<Slot::KMMatrixMultiply> f;`
// declares `KMMATRIX* f(KMMATRIX*, const KMMATRIX*, const KMMATRIX*)`.
template <Slot S>
using SlotFunction = std::remove_pointer_t<typename SlotTraits<S>::Function>;

}  // namespace kubik

// Inside the family namespace: declares the family's function for one slot.
#define KUBIK_DECLARE_SLOT_FUNCTION(name) ::kubik::SlotFunction<::kubik::Slot::name> name;
// Inside a class: declares a static member function for one slot.
#define KUBIK_DECLARE_STATIC_SLOT_FUNCTION(name) \
  static ::kubik::SlotFunction<::kubik::Slot::name> name;

// Inside the family namespace: `Install(table)` writes the family's function
// into every slot of `LIST` and leaves every other slot alone, and `kSlots`
// lists those slots.
#define KUBIK_SET_SLOT_FUNCTION(name) table.Set<::kubik::Slot::name>(&name);
#define KUBIK_SLOT_VALUE(name) ::kubik::Slot::name,
#define KUBIK_DEFINE_FAMILY_INSTALLER(LIST)                               \
  inline void Install(::kubik::OperationTable& table) {                   \
    LIST(KUBIK_SET_SLOT_FUNCTION)                                         \
  }                                                                       \
  inline constexpr ::kubik::Slot kSlotArray[] = {LIST(KUBIK_SLOT_VALUE)}; \
  inline constexpr std::span<const ::kubik::Slot> kSlots{kSlotArray};
