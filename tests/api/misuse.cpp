// Mistakes that compiled and did the wrong thing before the value operators:
// header_compile.sh builds this once per KUBIK_MISUSE value and expects every
// build to fail. KUBIK_MISUSE=0 is the control, which must build.
#include <kubik/kmath.h>

#include <cstddef>

float Misuse(std::size_t n) {
  KMVECTOR3 a(1.0f, 2.0f, 3.0f);
  KMVECTOR2 v2(1.0f, 2.0f);
  KMVECTOR4 v4(1.0f, 2.0f, 3.0f, 4.0f);
  (void)n;
  (void)v2;
  (void)v4;
#if KUBIK_MISUSE == 0
  const float* p = a;  // the conversion itself stays
#elif KUBIK_MISUSE == 1
  const float* p = a + 1;  // was a pointer to a.y
#elif KUBIK_MISUSE == 2
  const float* p = 1 + a;
#elif KUBIK_MISUSE == 3
  const float* p = a - 1;
#elif KUBIK_MISUSE == 4
  const float* p = a + n;
#elif KUBIK_MISUSE == 5
  const float* p = v2 + 1u;
#elif KUBIK_MISUSE == 6
  const float* p = 2 + v4;
#elif KUBIK_MISUSE == 7
  const float* p = a * a;  // no component-wise product on the vectors
#endif
  return *p;
}
