// The AVX2 family's installer, built for every processor: it only stores
// addresses, and the selection calls it only where the family can run.
#include "math/simd/avx2/family.h"

#include "math/cpu/installers.h"

namespace kubik {

// Every slot the family fills states its accuracy bound, and no other.
#define KUBIK_COUNT_SLOT(name) +1
#define KUBIK_COUNT_BOUND(name, units) +1
static_assert(0 KUBIK_AVX2_SLOTS(KUBIK_COUNT_SLOT) == 0 KUBIK_AVX2_BOUNDS(KUBIK_COUNT_BOUND));
#undef KUBIK_COUNT_SLOT
#undef KUBIK_COUNT_BOUND

void InstallAvx2Set(OperationTable& table) {
  InstallSse2Set(table);
  avx2::Install(table);
}

}  // namespace kubik
