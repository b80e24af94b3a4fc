// The implementation families, one row each: the only place that knows which
// families exist, when each can run and which one a processor prefers.
// Selection, the KUBIK_MATH_FAMILY override, tests and benchmarks all read it.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "math/cpu/processor.h"
#include "math/dispatch/family_bounds.h"
#include "math/dispatch/operation_table.h"

namespace kubik {

// Values of the selector's state word: the one a family reports when it is
// selected, and the value before any selection.
inline constexpr std::uint32_t kSelectionNotRun = 0xFFFF;
inline constexpr std::uint32_t kNoSimdSet = 0;
inline constexpr std::uint32_t k3DNowSets = 1;
inline constexpr std::uint32_t kSse2Set = 2;
inline constexpr std::uint32_t kSseSet = 3;
inline constexpr std::uint32_t kAvx2Set = 4;
inline constexpr std::uint32_t kAvx512Set = 5;
inline constexpr std::uint32_t kNeonSet = 6;

struct ImplementationFamily {
  const char* name;
  // The state word selection reports when it binds this family.
  std::uint32_t implementation_set;
  // Among the families that can run and that the settings allow, selection
  // binds the one with the highest priority.
  int priority;
  // SIMD families are the ones the "no SIMD" settings value turns off.
  bool simd;
  bool (*can_run)(const ProcessorProbe& processor);
  // Fills `table` completely: the reference set, the x87-tuned set unless
  // this is the reference family, then the family's own functions.
  void (*install)(OperationTable& table, const ProcessorProbe& processor);
  // The slots the family fills with functions of its own.
  std::span<const Slot> slots;
  // The error the family accepts per slot (math/dispatch/family_bounds.h):
  // every slot it fills, and the composites it makes less exact.
  std::span<const SlotBound> bounds;
};

// Every family, in ascending priority.
std::span<const ImplementationFamily> ImplementationFamilies();
const ImplementationFamily* FindImplementationFamily(std::string_view name);

}  // namespace kubik
