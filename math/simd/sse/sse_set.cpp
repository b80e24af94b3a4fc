// Installers of the SSE and SSE2 families.
#include "math/cpu/installers.h"

namespace kubik {

void InstallSseSet(OperationTable& /*table*/) {
  // The family has no SSE operation yet: every slot keeps what it holds.
}

void InstallSse2Set(OperationTable& /*table*/) {
  // The family has no SSE2 operation yet: every slot keeps what it holds.
}

}  // namespace kubik
