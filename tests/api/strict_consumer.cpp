// Compiled by header_compile.sh under every strict warning a C++ project may
// turn on; uses the operators so their bodies are checked too.
#include <kubik/kmath.h>

float StrictConsumerCpp() {
  KMVECTOR3 a(1.0f, 2.0f, 3.0f), b(4.0f, 5.0f, 6.0f);
  KMVECTOR3 c = (a + b) * 2.0f - b / 4.0f;
  c += -a;
  KMVec3Cross(&c, &c, &b);
  const float* first = c;
  KMQUATERNION q(0.0f, 0.0f, 0.0f, 1.0f);
  q *= q;
  KMMATRIX m;
  KMMatrixIdentity(&m);
  const bool same = a == b || m != m || q == q;
  return first[1] + KMVec3Dot(&a, &b) + (same ? 1.0f : 0.0f) + m(3, 3);
}
