// A value computed in extended precision together with the magnitude that
// single-precision rounding can reach while forming it.
//
// For a sum the magnitude is the sum of the terms' magnitudes, for a product
// the product of the factors' magnitudes: so for a dot product it is the sum
// of the absolute products, the quantity a float kernel's rounding errors are
// proportional to, whatever order it adds in. A quotient carries the relative
// magnitudes of both operands; a function f of x carries |f'(x)| times x's
// magnitude (a relative perturbation of its argument) plus |f(x)| (its own
// rounding). An input float is its own magnitude. The magnitude is never
// below the value's absolute size, so a correctly rounded result is within
// 2^-24 times it.
#pragma once

#include <cmath>

namespace kubik::accuracy {

struct Tracked {
  long double value = 0;
  long double magnitude = 0;

  Tracked() = default;
  // An input or a constant: exact, its own size.
  Tracked(long double v) : value(v), magnitude(std::fabs(v)) {}  // NOLINT: implicit on purpose
  Tracked(long double v, long double m) : value(v), magnitude(m) {}
};

inline Tracked operator+(Tracked a, Tracked b) {
  return {a.value + b.value, a.magnitude + b.magnitude};
}
inline Tracked operator-(Tracked a, Tracked b) {
  return {a.value - b.value, a.magnitude + b.magnitude};
}
inline Tracked operator-(Tracked a) {
  return {-a.value, a.magnitude};
}
inline Tracked operator*(Tracked a, Tracked b) {
  return {a.value * b.value, a.magnitude * b.magnitude};
}
inline Tracked operator/(Tracked a, Tracked b) {
  const long double q = a.value / b.value, d = std::fabs(b.value);
  return {q, (a.magnitude + std::fabs(q) * b.magnitude) / d};
}
inline Tracked& operator+=(Tracked& a, Tracked b) {
  return a = a + b;
}
inline Tracked& operator-=(Tracked& a, Tracked b) {
  return a = a - b;
}
inline Tracked& operator*=(Tracked& a, Tracked b) {
  return a = a * b;
}

// f(x) with derivative df at x.
inline Tracked Apply(Tracked x, long double f, long double df) {
  return {f, std::fabs(df) * x.magnitude + std::fabs(f)};
}

inline Tracked Sqrt(Tracked x) {
  const long double r = std::sqrt(x.value);
  // At zero the derivative is unbounded: the root of the magnitude is what
  // rounding of x can move it by.
  if (!(r > 0)) return {r, std::sqrt(x.magnitude)};
  return Apply(x, r, 0.5L / r);
}
inline Tracked Sin(Tracked x) {
  return Apply(x, std::sin(x.value), std::cos(x.value));
}
inline Tracked Cos(Tracked x) {
  return Apply(x, std::cos(x.value), std::sin(x.value));
}
inline Tracked Acos(Tracked x) {
  const long double s = std::sqrt(1 - x.value * x.value);
  return Apply(x, std::acos(x.value), s > 0 ? 1 / s : INFINITY);
}
// atan2(y, x): the angle's sensitivity to relative perturbations of y and x.
inline Tracked Atan2(Tracked y, Tracked x) {
  const long double r2 = x.value * x.value + y.value * y.value;
  const long double angle = std::atan2(y.value, x.value);
  if (!(r2 > 0)) return {angle, std::fabs(angle)};
  return {angle, (std::fabs(x.value) * y.magnitude + std::fabs(y.value) * x.magnitude) / r2 +
                     std::fabs(angle)};
}

}  // namespace kubik::accuracy
