// The one quaternion operation in which the SSE2 family differs from the SSE
// family: its yaw-pitch-roll builder runs the SSE2 form of the kernel.
#include "math/simd/sse/yaw_pitch_roll.h"
#include "math/simd/sse2/family.h"

namespace kubik::sse2 {

KMQUATERNION* KMQuaternionRotationYawPitchRoll(KMQUATERNION* out, float yaw, float pitch,
                                               float roll) {
  return kubik::sse::YawPitchRollWith<&kubik::sse2::PackedSineCosine>(out, yaw, pitch, roll);
}

}  // namespace kubik::sse2
