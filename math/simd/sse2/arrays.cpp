// The SSE2 family's strided array transforms: the SSE family's code with the
// SSE2 family's lower threshold.
#include "math/simd/sse/array_transforms.h"
#include "math/simd/sse2/family.h"

template struct kubik::sse::ArrayTransforms<kubik::sse2::kBatchAbove>;
