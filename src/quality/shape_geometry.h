// The corner volume of the element kernels of the quality subsystem, and the
// loading of element nodes from a coordinates matrix as points.
#pragma once

#include <cstddef>

#include "common/point3.h"
#include "quernfold/model.h"

namespace ovk {
namespace quernfold {
namespace detail {
namespace shape {

// ((b - a) x (c - a)) . (d - a): six times the signed volume of a, b, c, d.
inline double corner_volume(const point3& a, const point3& b, const point3& c,
                            const point3& d) noexcept {
  return dot(cross(b - a, c - a), d - a);
}

// Reads the nodes of one element column into points. Coordinates beyond the
// matrix's rows read as 0, so 1- and 2-row meshes lie in the plane z = 0;
// rows past the third are ignored.
class node_reader {
 public:
  explicit node_reader(const dense2D<double>& coords) noexcept
      : base_(coords.data()), ld_(coords.ld()), dim_(coords.rows() < 3 ? coords.rows() : 3) {}

  // True when the mesh has fewer than 3 coordinate rows.
  bool planar() const noexcept { return dim_ < 3; }

  point3 operator()(unsigned node) const noexcept {
    const double* c = base_ + std::size_t(node) * ld_;
    if (dim_ == 3) return {c[0], c[1], c[2]};
    return {dim_ > 0 ? c[0] : 0.0, dim_ > 1 ? c[1] : 0.0, 0.0};
  }

  template <int N>
  void load(const unsigned* column, point3 (&P)[N]) const noexcept {
    for (int k = 0; k < N; ++k) P[k] = (*this)(column[k]);
  }

 private:
  const double* base_;
  std::size_t ld_;
  std::size_t dim_;
};

}  // namespace shape
}  // namespace detail
}  // namespace quernfold
}  // namespace ovk
