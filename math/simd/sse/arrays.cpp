// The SSE family's strided array transforms.
#include "math/simd/sse/array_transforms.h"
#include "math/simd/sse/family.h"

namespace kubik::sse {

template struct ArrayTransforms<kBatchAbove>;

}  // namespace kubik::sse
