// Input values for the measured cases.
#pragma once

#include <cmath>
#include <random>
#include <vector>

namespace kubik::accuracy {

// As the conformance harness draws them: a magnitude per argument among
// 1e-4 to 1e4, every component uniform within it.
inline std::vector<float> RandomValues(std::size_t count, std::mt19937& random) {
  static constexpr float kMagnitudes[] = {1e-4f, 1e-2f, 1.0f, 1e2f, 1e4f};
  std::uniform_int_distribution<std::size_t> pick(0, std::size(kMagnitudes) - 1);
  const float magnitude = kMagnitudes[pick(random)];
  std::uniform_real_distribution<float> value(-magnitude, magnitude);
  std::vector<float> values(count);
  for (float& v : values) v = value(random);
  return values;
}

inline float Uniform(std::mt19937& random, float lo, float hi) {
  return std::uniform_real_distribution<float>(lo, hi)(random);
}

// x, y, z, w of unit length (to float rounding).
inline std::vector<float> UnitQuaternion(std::mt19937& random) {
  double q[4], sum = 0;
  do {
    sum = 0;
    for (double& x : q) {
      x = std::normal_distribution<double>()(random);
      sum += x * x;
    }
  } while (sum < 1e-6);
  const double scale = 1 / std::sqrt(sum);
  return {static_cast<float>(q[0] * scale), static_cast<float>(q[1] * scale),
          static_cast<float>(q[2] * scale), static_cast<float>(q[3] * scale)};
}

// The rotation of a unit quaternion, row vectors on the left.
inline std::vector<float> Rotation(std::mt19937& random) {
  const std::vector<float> u = UnitQuaternion(random);
  const double x = u[0], y = u[1], z = u[2], w = u[3];
  return {static_cast<float>(1 - 2 * (y * y + z * z)),
          static_cast<float>(2 * (x * y + z * w)),
          static_cast<float>(2 * (x * z - y * w)),
          0.0f,
          static_cast<float>(2 * (x * y - z * w)),
          static_cast<float>(1 - 2 * (x * x + z * z)),
          static_cast<float>(2 * (y * z + x * w)),
          0.0f,
          static_cast<float>(2 * (x * z + y * w)),
          static_cast<float>(2 * (y * z - x * w)),
          static_cast<float>(1 - 2 * (x * x + y * y)),
          0.0f,
          0.0f,
          0.0f,
          0.0f,
          1.0f};
}

// A rotation scaled by 0.5 to 2, translated by up to 1, with a w column
// near (0, 0, 0, 2): a well-conditioned projective matrix whose w stays
// between 1 and 3 for points in the unit cube.
inline std::vector<float> WellConditionedMatrix(std::mt19937& random) {
  std::vector<float> m = Rotation(random);
  const float scale = Uniform(random, 0.5f, 2.0f);
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) m[r * 4 + c] *= scale;
    m[r * 4 + 3] = Uniform(random, -0.25f, 0.25f);
    m[12 + r] = Uniform(random, -1.0f, 1.0f);
  }
  m[15] = 2.0f;
  return m;
}

// Components in [-1, 1], away from zero length.
inline std::vector<float> ModerateVector(std::size_t count, std::mt19937& random) {
  std::vector<float> v(count);
  do {
    for (float& x : v) x = Uniform(random, -1.0f, 1.0f);
  } while (std::fabs(v[0]) + (count > 1 ? std::fabs(v[1]) : 0.0f) < 0.1f);
  return v;
}

}  // namespace kubik::accuracy
