// The 3DNow! family's installer, which installs its groups under the
// processor's feature flags and reports which it installed.
#pragma once

#include <cstdint>

#include "math/cpu/processor.h"
#include "math/dispatch/operation_table.h"

namespace kubik {

inline constexpr std::uint32_t k3DNowBaseGroup = 0x1;
inline constexpr std::uint32_t kExtended3DNowGroup = 0x2;
inline constexpr std::uint32_t kAmdSseArrayGroup = 0x4;

// Installs the 3DNow! set when the processor has MMX and 3DNow!, the extended
// overrides when it also has extended 3DNow! and the AMD MMX extensions, and,
// independently, the AMD SSE array transforms when it has SSE.
std::uint32_t Install3DNowSets(OperationTable& table, const ProcessorProbe& processor);

}  // namespace kubik
