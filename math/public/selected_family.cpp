// KMGetImplementationFamily: the name of the family the process table is
// bound to, found by comparing that table with what each family installs, so
// a family forced by name and one chosen by the processor read back alike.
#include <kubik/kmath.h>

#include "math/cpu/processor.h"
#include "math/cpu/selection.h"
#include "math/dispatch/operation_table.h"

namespace kubik {
namespace {

bool SameBinding(const OperationTable& a, const OperationTable& b) {
  for (unsigned slot = 0; slot < kSlotCount; ++slot) {
    if (a.Address(slot) != b.Address(slot)) return false;
  }
  return true;
}

}  // namespace
}  // namespace kubik

extern "C" const char* KMGetImplementationFamily(void) {
  kubik::SelectImplementations(1);
  const kubik::OperationTable& bound = kubik::ProcessOperationTable();
  const kubik::ProcessorProbe& processor = kubik::RealProcessor();
  for (const kubik::ImplementationFamily& family : kubik::ImplementationFamilies()) {
    if (!family.can_run(processor)) continue;
    kubik::OperationTable candidate;
    family.install(candidate, processor);
    if (kubik::SameBinding(candidate, bound)) return family.name;
  }
  // Only a test that rebinds the process table by hand gets here.
  return "unknown";
}
