// Compiled once per module: the only difference between the two builds.
#include "platform/gfx/validation.h"

namespace kubik::gfx {

#if defined(KGFX_VALIDATION) && KGFX_VALIDATION
extern const bool kValidationEnabled = true;
#else
extern const bool kValidationEnabled = false;
#endif

}  // namespace kubik::gfx
