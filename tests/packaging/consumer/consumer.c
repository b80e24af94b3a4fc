/* C consumer of the installed library: a transformed point, a half round
 * trip and a normalised vector, each checked against known values. */
#include <kubik/kmath.h>
#include <math.h>
#include <stdio.h>

static int Near(float a, float b) {
  return fabsf(a - b) <= 1e-5f * (1.0f + fabsf(b));
}

int main(void) {
  int failures = 0;

  KMMATRIX translation, scaling, world;
  KMMatrixTranslation(&translation, 1.0f, 2.0f, 3.0f);
  KMMatrixScaling(&scaling, 2.0f, 2.0f, 2.0f);
  /* Scale first, then move. */
  KMMatrixMultiply(&world, &scaling, &translation);
  KMVECTOR3 point = {1.0f, 1.0f, 1.0f};
  KMVECTOR3 moved;
  KMVec3TransformCoord(&moved, &point, &world);
  if (!Near(moved.x, 3.0f) || !Near(moved.y, 4.0f) || !Near(moved.z, 5.0f)) {
    fprintf(stderr, "transform: got %g %g %g\n", moved.x, moved.y, moved.z);
    ++failures;
  }

  const float values[3] = {1.0f, -2.5f, 65504.0f};
  KMFLOAT16 halves[3];
  float back[3];
  KMFloat32To16Array(halves, values, 3);
  KMFloat16To32Array(back, halves, 3);
  for (int i = 0; i < 3; ++i) {
    if (back[i] != values[i]) {
      fprintf(stderr, "half: %g came back as %g\n", values[i], back[i]);
      ++failures;
    }
  }

  KMVECTOR3 v = {3.0f, 0.0f, 4.0f};
  KMVec3Normalize(&v, &v);
  if (!Near(v.x, 0.6f) || !Near(v.z, 0.8f)) {
    fprintf(stderr, "normalize: got %g %g %g\n", v.x, v.y, v.z);
    ++failures;
  }

  printf("kubik C consumer: %s\n", failures == 0 ? "ok" : "FAILED");
  return failures == 0 ? 0 : 1;
}
