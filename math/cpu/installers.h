// Installers of the implementation families: each writes its family's
// functions into the slots it replaces and leaves every other slot alone.
#pragma once

#include <cstdint>

#include "math/cpu/processor.h"
#include "math/dispatch/operation_table.h"

namespace kubik {

void InstallX87TunedSet(OperationTable& table);
void InstallSseSet(OperationTable& table);
void InstallSse2Set(OperationTable& table);
// The SSE2 set with the AVX2 family over it, and the AVX-512 family over that.
void InstallAvx2Set(OperationTable& table);
void InstallAvx512Set(OperationTable& table);

// Groups of the 3DNow!/AMD installer, as reported by Install3DNowSets.
inline constexpr std::uint32_t k3DNowBaseGroup = 0x1;
inline constexpr std::uint32_t kExtended3DNowGroup = 0x2;
inline constexpr std::uint32_t kAmdSseArrayGroup = 0x4;

// Installs the 3DNow! set when the processor has MMX and 3DNow!, the extended
// overrides when it also has extended 3DNow! and the AMD MMX extensions, and,
// independently, the AMD SSE array transforms when it has SSE. Returns the
// groups it installed.
std::uint32_t Install3DNowSets(OperationTable& table, const ProcessorProbe& processor);
void Install3DNowBaseSet(OperationTable& table);
void InstallExtended3DNowSet(OperationTable& table);
void InstallAmdSseArraySet(OperationTable& table);

}  // namespace kubik
