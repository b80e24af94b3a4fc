// The x87-tuned family, installed over the reference set on every processor.
#include "math/cpu/installers.h"

namespace kubik {

void InstallX87TunedSet(OperationTable& /*table*/) {
  // The family has no tuned operation yet: every slot keeps its reference.
}

}  // namespace kubik
