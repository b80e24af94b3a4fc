/* An orbit camera: the eye circles a target at a fixed distance, steered by
 * yaw and pitch as a mouse drag would, and looks at it through a left-handed
 * perspective projection onto a 640 x 480 viewport. Each frame projects the
 * target (always the viewport's centre) and a marker beside it, and unprojects
 * the centre pixel back onto the target. Exits 1 when a result is off. */
#include <kubik/kmath.h>
#include <math.h>
#include <stdio.h>

typedef struct OrbitCamera {
  KMVECTOR3 target;
  float distance, yaw, pitch; /* radians; pitch stays inside (-pi/2, pi/2) */
} OrbitCamera;

static KMVECTOR3 EyePosition(const OrbitCamera* camera) {
  const KMVECTOR3 offset = {cosf(camera->pitch) * sinf(camera->yaw), sinf(camera->pitch),
                            -cosf(camera->pitch) * cosf(camera->yaw)};
  KMVECTOR3 eye;
  KMVec3Scale(&eye, &offset, camera->distance);
  return *KMVec3Add(&eye, &eye, &camera->target);
}

static void ViewProjection(const OrbitCamera* camera, KMMATRIX* view, KMMATRIX* projection) {
  const KMVECTOR3 eye = EyePosition(camera);
  const KMVECTOR3 up = {0.0f, 1.0f, 0.0f};
  KMMatrixLookAtLH(view, &eye, &camera->target, &up);
  KMMatrixPerspectiveFovLH(projection, 0.7853982f, 640.0f / 480.0f, 0.1f, 100.0f);
}

static int Near(float a, float b, float tolerance) {
  return fabsf(a - b) <= tolerance;
}

int main(void) {
  const KMVIEWPORT viewport = {0, 0, 640, 480, 0.0f, 1.0f};
  OrbitCamera camera = {{1.0f, 2.0f, 3.0f}, 5.0f, 0.0f, 0.3f};
  int failures = 0;
  int frame;

  for (frame = 0; frame < 8; ++frame) {
    KMMATRIX view, projection;
    KMVECTOR3 eye, to_eye, on_screen, marker_on_screen, back;
    const KMVECTOR3 marker = {camera.target.x, camera.target.y + 0.5f, camera.target.z};
    /* The centre pixel at the target's depth. */
    KMVECTOR3 centre_pixel;

    ViewProjection(&camera, &view, &projection);
    eye = EyePosition(&camera);
    KMVec3Subtract(&to_eye, &eye, &camera.target);
    KMVec3Project(&on_screen, &camera.target, &viewport, &projection, &view, NULL);
    KMVec3Project(&marker_on_screen, &marker, &viewport, &projection, &view, NULL);
    centre_pixel = on_screen;
    KMVec3Unproject(&back, &centre_pixel, &viewport, &projection, &view, NULL);

    printf("frame %d: eye (%6.3f %6.3f %6.3f)  target at pixel (%5.1f, %5.1f) depth %.4f\n", frame,
           eye.x, eye.y, eye.z, on_screen.x, on_screen.y, on_screen.z);
    if (!Near(KMVec3Length(&to_eye), camera.distance, 1e-4f)) {
      fprintf(stderr, "the eye left the orbit\n");
      ++failures;
    }
    if (!Near(on_screen.x, 320.0f, 1e-2f) || !Near(on_screen.y, 240.0f, 1e-2f)) {
      fprintf(stderr, "the target is not at the centre\n");
      ++failures;
    }
    if (!(marker_on_screen.y < on_screen.y)) { /* above the target: higher on screen */
      fprintf(stderr, "the marker above the target is not drawn above it\n");
      ++failures;
    }
    if (!Near(back.x, camera.target.x, 1e-3f) || !Near(back.y, camera.target.y, 1e-3f) ||
        !Near(back.z, camera.target.z, 1e-3f)) {
      fprintf(stderr, "unprojecting the centre does not land on the target\n");
      ++failures;
    }

    /* A drag of 40 pixels right and 10 down, one degree per pixel. */
    camera.yaw += 40.0f * 0.01745329f;
    camera.pitch += 10.0f * 0.01745329f;
    if (camera.pitch > 1.5f) camera.pitch = 1.5f;
  }

  printf("orbit camera: %s\n", failures == 0 ? "ok" : "FAILED");
  return failures == 0 ? 0 : 1;
}
