// Shape quality of every element of a mesh, and the worst element.
#include "quality/shape_kernels.h"
#include "quality/shape_walk.h"
#include "quernfold/quality.h"

namespace ovk {
namespace quernfold {

namespace {

using detail::point3;
using detail::shape::node_reader;

// Quality of one element of a linear shape.
class element_quality {
 public:
  explicit element_quality(const dense2D<double>& coords) noexcept : read_(coords) {}

  double operator()(element_type shape, const unsigned* column) const noexcept {
    namespace k = detail::shape;
    const bool planar = read_.planar();
    switch (shape) {
      case ET_TRIA3:
        return on_nodes<3>(column, [&](auto& P) { return k::triangle_quality(P, planar); });
      case ET_QUAD4:
        return on_nodes<4>(column, [&](auto& P) {
          return planar ? k::quad_quality_planar(P) : k::quad_quality_space(P);
        });
      case ET_TETRA4:
        return k::tetra_quality(read_(column[0]), read_(column[1]), read_(column[2]),
                                read_(column[3]));
      case ET_PYRAMID5:
        return on_nodes<5>(column, [&](auto& P) { return k::pyramid_quality(P, planar); });
      case ET_WEDGE6:
        return on_nodes<6>(column, [](auto& P) { return k::wedge_quality(P); });
      case ET_HEXA8:
        return on_nodes<8>(column, [](auto& P) { return k::hexa_quality(P); });
      default:  // ET_EDGE2
        return 1.0;
    }
  }

 private:
  // kernel(P) on the N nodes of the column.
  template <int N, class Kernel>
  double on_nodes(const unsigned* column, Kernel kernel) const noexcept {
    point3 P[N];
    read_.load(column, P);
    return kernel(P);
  }

  node_reader read_;
};

}  // namespace

int shape_qualities(const dense2D<double>& coords, const dense2D<unsigned>& connectM,
                    element_type type, dense1D<double, 8>& Q) {
  const int rc =
      detail::shape::measure_elements(coords, connectM, type, Q, element_quality(coords));
  // Edges score 1 without reading their nodes, so also in a matrix without
  // rows, whose columns the walk cannot visit.
  if (rc == 0 && type == ET_EDGE2) Q = 1.0;
  return rc;
}

int min_quality(const dense2D<double>& coords, const dense2D<unsigned>& connectM, element_type type,
                double& qmin, unsigned& jmin) {
  namespace s = detail::shape;
  qmin = 1.0;
  jmin = no_index;
  if (connectM.cols() == 0) return 0;
  if (!check_IDs(connectM, type, s::node_count(coords))) return -2;
  const element_type kind = detail::narrow_mixed(type, connectM.rows());
  if (!s::is_measured_kind(kind)) return -3;
  if (kind == ET_EDGE2) return 0;  // every edge scores 1
  const element_quality quality(coords);
  s::for_each_element(connectM, kind, [&](std::size_t j, element_type shape, const unsigned* c) {
    const double q = quality(shape, c);
    if (!(q >= qmin)) {  // a NaN replaces too
      qmin = q;
      jmin = static_cast<unsigned>(j);
    }
  });
  return 0;
}

}  // namespace quernfold
}  // namespace ovk
