// KMGetImplementationFamily: the name of the registry row the process-wide
// selection bound (forced by name or chosen for the processor).
#include <kubik/kmath.h>

#include "math/cpu/registry.h"
#include "math/cpu/selection.h"

extern "C" const char* KMGetImplementationFamily(void) {
  kubik::SelectImplementations();
  const kubik::ImplementationFamily* family = kubik::SelectedFamily();
  // Only a test that resets the selection on another thread meanwhile gets null.
  return family != nullptr ? family->name : "unknown";
}
