// The AVX-512 family's installer, built for every processor: it only stores
// addresses, and the selection calls it only where the family can run.
#include "math/simd/avx512/family.h"

#include "math/cpu/installers.h"

namespace kubik {

void InstallAvx512Set(OperationTable& table) {
  InstallAvx2Set(table);
  avx512::Install(table);
}

}  // namespace kubik
