// Reference quaternion operations.
#include <cmath>

#include "math/reference/reference.h"

namespace kubik::reference {
namespace {

struct SineCosine {
  double sine;
  double cosine;
};

// Sine and cosine of half an angle, the half angle and both results rounded
// to float.
SineCosine HalfAngle(float angle) {
  const float half = angle * 0.5f;
  return {static_cast<float>(std::sin(static_cast<double>(half))),
          static_cast<float>(std::cos(static_cast<double>(half)))};
}

}  // namespace

KMQUATERNION* KMQuaternionRotationYawPitchRoll(KMQUATERNION* out, float yaw, float pitch,
                                               float roll) {
  const SineCosine y = HalfAngle(yaw);
  const SineCosine p = HalfAngle(pitch);
  const SineCosine r = HalfAngle(roll);
  out->x = static_cast<float>(r.cosine * y.cosine * p.sine + r.sine * y.sine * p.cosine);
  out->y = static_cast<float>(r.cosine * y.sine * p.cosine - r.sine * y.cosine * p.sine);
  out->z = static_cast<float>(r.sine * y.cosine * p.cosine - r.cosine * y.sine * p.sine);
  out->w = static_cast<float>(r.cosine * y.cosine * p.cosine + r.sine * y.sine * p.sine);
  return out;
}

}  // namespace kubik::reference
