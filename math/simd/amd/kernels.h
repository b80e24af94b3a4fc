// The 3DNow! family's single-precision scalar trigonometric kernels. They
// never call the runtime library's trigonometry.
#pragma once

namespace kubik::kernels {

// Two float lanes, the register form the scalar kernels hand back.
struct FloatPair {
  float lo;
  float hi;
};

// (cos x, sin x); absolute error about 3.6e-7 for |x| <= 1000, meaningful
// while |x| * 4/pi stays below 2^31.
FloatPair ScalarSineCosine(float x);
// sin x, by the same steps as ScalarSineCosine.
float ScalarSine(float x);
// acos x in [0, pi]; 0 for |x| > 1 and for NaN. Absolute error about 2.8e-7.
float ScalarArcCosine(float x);
// The angle of the point (x, y) in [-pi, pi]; absolute error about 2.9e-7.
float ScalarArcTangent2(float y, float x);

}  // namespace kubik::kernels
