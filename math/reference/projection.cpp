// Projection of points to a viewport and back. Built on the matrix and
// vector operations, each called through its public entry so that the
// installed implementations run.
#include "math/reference/combine_matrices.h"
#include "math/reference/reference.h"

namespace kubik::reference {
namespace {

const KMMATRIX* Combine(KMMATRIX* local, const KMMATRIX* projection, const KMMATRIX* view,
                        const KMMATRIX* world) {
  return ::kubik::projection::Combine<&::KMMatrixMultiply>(local, projection, view, world);
}

const KMMATRIX* CombineInverse(KMMATRIX* local, const KMMATRIX* projection, const KMMATRIX* view,
                               const KMMATRIX* world) {
  return ::kubik::projection::CombineInverse<&::KMMatrixMultiply, &::KMMatrixInverse>(
      local, projection, view, world);
}

}  // namespace

KMVECTOR3* KMVec3Project(KMVECTOR3* out, const KMVECTOR3* v, const KMVIEWPORT* viewport,
                         const KMMATRIX* projection, const KMMATRIX* view, const KMMATRIX* world) {
  KMMATRIX local;
  ::KMVec3TransformCoord(out, v, Combine(&local, projection, view, world));
  if (viewport != nullptr) {
    const double width = viewport->Width, height = viewport->Height;
    out->x = static_cast<float>(viewport->X + (1.0 + out->x) * width * 0.5);
    out->y = static_cast<float>(viewport->Y + (1.0 - out->y) * height * 0.5);
    out->z =
        static_cast<float>(viewport->MinZ + out->z * (double{viewport->MaxZ} - viewport->MinZ));
  }
  return out;
}

KMVECTOR3* KMVec3ProjectArray(KMVECTOR3* out, uint32_t out_stride, const KMVECTOR3* v,
                              uint32_t v_stride, const KMVIEWPORT* viewport,
                              const KMMATRIX* projection, const KMMATRIX* view,
                              const KMMATRIX* world, uint32_t n) {
  KMMATRIX local;
  const KMMATRIX* matrix = Combine(&local, projection, view, world);
  if (viewport != nullptr) {
    // The viewport mapping folded into the matrix, so each element costs one
    // transform and one division.
    const double half_width = viewport->Width * 0.5, half_height = viewport->Height * 0.5;
    const KMMATRIX to_viewport(static_cast<float>(half_width), 0, 0, 0,    //
                               0, static_cast<float>(-half_height), 0, 0,  //
                               0, 0, static_cast<float>(double{viewport->MaxZ} - viewport->MinZ),
                               0,  //
                               static_cast<float>(viewport->X + half_width),
                               static_cast<float>(viewport->Y + half_height), viewport->MinZ, 1);
    ::KMMatrixMultiply(&local, matrix, &to_viewport);
    matrix = &local;
  }
  return ::KMVec3TransformCoordArray(out, out_stride, v, v_stride, matrix, n);
}

KMVECTOR3* KMVec3Unproject(KMVECTOR3* out, const KMVECTOR3* v, const KMVIEWPORT* viewport,
                           const KMMATRIX* projection, const KMMATRIX* view,
                           const KMMATRIX* world) {
  KMMATRIX local;
  const KMMATRIX* inverse = CombineInverse(&local, projection, view, world);
  if (viewport == nullptr) return ::KMVec3TransformCoord(out, v, inverse);
  // Each component of v is read before the same component of out is
  // written, so out may be v.
  const double x = v->x, y = v->y, z = v->z;
  out->x = static_cast<float>((x - viewport->X) / viewport->Width * 2.0 - 1.0);
  out->y = static_cast<float>(-((y - viewport->Y) / viewport->Height * 2.0 - 1.0));
  out->z = static_cast<float>((z - viewport->MinZ) / (double{viewport->MaxZ} - viewport->MinZ));
  return ::KMVec3TransformCoord(out, out, inverse);
}

KMVECTOR3* KMVec3UnprojectArray(KMVECTOR3* out, uint32_t out_stride, const KMVECTOR3* v,
                                uint32_t v_stride, const KMVIEWPORT* viewport,
                                const KMMATRIX* projection, const KMMATRIX* view,
                                const KMMATRIX* world, uint32_t n) {
  KMMATRIX local;
  const KMMATRIX* matrix = CombineInverse(&local, projection, view, world);
  if (viewport != nullptr) {
    const double sx = 2.0 / viewport->Width, sy = 2.0 / viewport->Height;
    const double sz = 1.0 / (double{viewport->MaxZ} - viewport->MinZ);
    const KMMATRIX from_viewport(static_cast<float>(sx), 0, 0, 0,   //
                                 0, static_cast<float>(-sy), 0, 0,  //
                                 0, 0, static_cast<float>(sz), 0,   //
                                 static_cast<float>(-1.0 - viewport->X * sx),
                                 static_cast<float>(1.0 + viewport->Y * sy),
                                 static_cast<float>(-viewport->MinZ * sz), 1);
    ::KMMatrixMultiply(&local, &from_viewport, matrix);
    matrix = &local;
  }
  return ::KMVec3TransformCoordArray(out, out_stride, v, v_stride, matrix, n);
}

}  // namespace kubik::reference
