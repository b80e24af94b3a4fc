#include "math/types/float_compare.h"

namespace kubik {

std::int32_t FloatNearlyEqual(float a, float b) {
  constexpr double kEpsilon = 1.0 / 8388608.0;  // 2^-23
  // The difference of two floats is exact in double, except when it
  // overflows float range, where the comparison fails anyway.
  const double difference = static_cast<double>(a) - static_cast<double>(b);
  return (difference >= -kEpsilon && difference <= kEpsilon) ? 1 : 0;
}

}  // namespace kubik
