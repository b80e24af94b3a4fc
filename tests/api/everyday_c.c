/* The inline operations compiled as C (static inline), for everyday_test.cpp
 * to compare with the same operations compiled as C++. */
#include "tests/api/everyday_c.h"

#include <kubik/kmath.h>

void EverydayInC(const float* in, float* out) {
  const KMVECTOR3* a = (const KMVECTOR3*)in;
  const KMVECTOR3* b = (const KMVECTOR3*)(in + 3);
  const KMVECTOR4* a4 = (const KMVECTOR4*)in;
  const KMVECTOR4* b4 = (const KMVECTOR4*)(in + 4);
  const KMVECTOR2* a2 = (const KMVECTOR2*)in;
  const KMVECTOR2* b2 = (const KMVECTOR2*)(in + 2);
  const KMPLANE* plane = (const KMPLANE*)(in + 4);
  const KMCOLOR* c1 = (const KMCOLOR*)in;
  const KMCOLOR* c2 = (const KMCOLOR*)(in + 4);
  const float s = in[8];
  KMVECTOR3 v;
  KMVECTOR4 w;
  KMCOLOR c;
  int i = 0;
  out[i++] = KMVec2Dot(a2, b2);
  out[i++] = KMVec3Dot(a, b);
  out[i++] = KMVec4Dot(a4, b4);
  out[i++] = KMVec2Length(a2);
  out[i++] = KMVec3Length(a);
  out[i++] = KMVec4LengthSq(a4);
  out[i++] = KMVec2Cross(a2, b2);
  KMVec3Cross(&v, a, b);
  out[i++] = v.x;
  out[i++] = v.y;
  out[i++] = v.z;
  KMVec4Lerp(&w, a4, b4, s);
  out[i++] = w.x;
  out[i++] = w.w;
  KMVec3Minimize(&v, a, b);
  out[i++] = v.y;
  KMVec4Maximize(&w, a4, b4);
  out[i++] = w.z;
  out[i++] = KMPlaneDotCoord(plane, a);
  out[i++] = KMPlaneDot(plane, a4);
  out[i++] = KMPlaneDotNormal(plane, a);
  KMColorLerp(&c, c1, c2, s);
  out[i++] = c.g;
  KMColorNegative(&c, KMColorModulate(&c, c1, c2));
  out[i++] = c.r;
  out[i++] = c.a;
}
