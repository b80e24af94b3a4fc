// C++ consumer of the installed library: the record constructors and the
// matrix product operator.
#include <kubik/kmath.h>

#include <cmath>
#include <cstdio>

int main() {
  int failures = 0;

  KMMATRIX rotation;
  KMMatrixRotationY(&rotation, 1.57079637f);  // a quarter turn
  KMMATRIX translation;
  KMMatrixTranslation(&translation, 0.0f, 0.0f, 5.0f);
  const KMMATRIX world = rotation * translation;

  const KMVECTOR3 x(1.0f, 0.0f, 0.0f);
  KMVECTOR3 moved;
  KMVec3TransformCoord(&moved, &x, &world);
  // A quarter turn about y takes +x to -z; then five units along +z.
  if (std::fabs(moved.x) > 1e-6f || std::fabs(moved.y) > 1e-6f ||
      std::fabs(moved.z - 4.0f) > 1e-6f) {
    std::fprintf(stderr, "transform: got %g %g %g\n", moved.x, moved.y, moved.z);
    ++failures;
  }

  KMMATRIX inverse;
  float determinant = 0.0f;
  if (KMMatrixInverse(&inverse, &determinant, &world) == nullptr ||
      std::fabs(determinant - 1.0f) > 1e-5f) {
    std::fprintf(stderr, "inverse: determinant %g\n", determinant);
    ++failures;
  }

  std::printf("kubik C++ consumer: %s\n", failures == 0 ? "ok" : "FAILED");
  return failures == 0 ? 0 : 1;
}
