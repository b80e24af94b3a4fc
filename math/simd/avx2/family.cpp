// The AVX2 family's installer, built for every processor: it only stores
// addresses, and the selection calls it only where the family can run.
#include "math/simd/avx2/family.h"

#include "math/cpu/installers.h"

namespace kubik {

void InstallAvx2Set(OperationTable& table) {
  InstallSse2Set(table);
  avx2::Install(table);
}

}  // namespace kubik
