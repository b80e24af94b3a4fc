// The reference code's one tolerance test.
#pragma once

#include <cstdint>

namespace kubik {

// 1 when -2^-23 <= a - b <= 2^-23 (the difference taken exactly, not rounded
// to float), else 0; a NaN in either argument gives 0.
std::int32_t FloatNearlyEqual(float a, float b);

}  // namespace kubik
