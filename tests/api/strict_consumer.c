/* Compiled by header_compile.sh under every strict warning a C project may
 * turn on; uses the inline operations so their bodies are checked too. */
#include <kubik/kmath.h>

float StrictConsumerC(void) {
  KMVECTOR3 a = {1.0f, 2.0f, 3.0f}, b = {4.0f, 5.0f, 6.0f}, c;
  KMMATRIX m;
  KMQUATERNION q;
  KMPLANE p = {0.0f, 1.0f, 0.0f, -1.0f};
  KMCOLOR k = {0.5f, 0.5f, 0.5f, 1.0f};
  KMVec3Lerp(&c, KMVec3Cross(&c, &a, &b), &b, 0.5f);
  KMMatrixIdentity(&m);
  KMQuaternionIdentity(&q);
  KMColorNegative(&k, KMColorModulate(&k, &k, &k));
  m._11 = m.m[0][0];
  return KMVec3Length(&c) + KMPlaneDotCoord(&p, &a) + (float)KMMatrixIsIdentity(&m) +
         (float)KMQuaternionIsIdentity(&q) + k.r;
}
