// A point or vector of 3-space and its arithmetic, for the geometry of
// element kernels and file readers alike.
#pragma once

#include <cmath>

namespace ovk {
namespace quernfold {
namespace detail {

struct point3 {
  double x, y, z;
};

inline point3 operator-(const point3& a, const point3& b) noexcept {
  return {a.x - b.x, a.y - b.y, a.z - b.z};
}
inline point3 operator+(const point3& a, const point3& b) noexcept {
  return {a.x + b.x, a.y + b.y, a.z + b.z};
}
inline point3 operator*(double s, const point3& a) noexcept { return {s * a.x, s * a.y, s * a.z}; }
inline double dot(const point3& a, const point3& b) noexcept {
  return a.x * b.x + a.y * b.y + a.z * b.z;
}
inline point3 cross(const point3& a, const point3& b) noexcept {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
// Squared length x^2 + y^2 + z^2, summed in that order.
inline double norm2(const point3& a) noexcept { return dot(a, a); }
inline double norm(const point3& a) noexcept { return std::sqrt(dot(a, a)); }

}  // namespace detail
}  // namespace quernfold
}  // namespace ovk
