// View and projection builders. Not dispatched: each public entry is the
// reference body itself.
#include <kubik/kmath.h>

#include <cmath>

namespace {

void SetZero(KMMATRIX* out) {
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) out->m[r][c] = 0.0f;
  }
}

}  // namespace

extern "C" KMMATRIX* KMMatrixPerspectiveFovLH(KMMATRIX* out, float fovy, float aspect, float zn,
                                              float zf) {
  const float half = fovy * 0.5f;
  const float s = static_cast<float>(std::sin(static_cast<double>(half)));
  const float c = static_cast<float>(std::cos(static_cast<double>(half)));
  const double h = static_cast<double>(c) / s;
  const double q = static_cast<double>(zf) / (static_cast<double>(zf) - zn);
  SetZero(out);
  out->_11 = static_cast<float>(h / aspect);
  out->_22 = static_cast<float>(h);
  out->_33 = static_cast<float>(q);
  out->_34 = 1.0f;
  out->_43 = static_cast<float>(-(q * zn));
  return out;
}
