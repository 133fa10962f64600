// Shape quality of every element of a mesh, and the worst element.
#include "quality/shape_kernels.h"
#include "quality/shape_walk.h"
#include "quernfold/quality.h"

namespace ovk {
namespace quernfold {

namespace {

using detail::kNoIndex;
using detail::shape::node_reader;
using detail::shape::point3;

// Quality of one element of a linear shape.
class element_quality {
 public:
  explicit element_quality(const dense2D<double>& coords) noexcept : read_(coords) {}

  double operator()(element_type shape, const unsigned* column) const noexcept {
    namespace k = detail::shape;
    switch (shape) {
      case ET_TRIA3: {
        point3 P[3];
        read_.load(column, P);
        return k::triangle_quality(P, read_.planar());
      }
      case ET_QUAD4: {
        point3 P[4];
        read_.load(column, P);
        return read_.planar() ? k::quad_quality_planar(P) : k::quad_quality_space(P);
      }
      case ET_TETRA4:
        return k::tetra_quality(read_(column[0]), read_(column[1]), read_(column[2]),
                                read_(column[3]));
      case ET_PYRAMID5: {
        point3 P[5];
        read_.load(column, P);
        return k::pyramid_quality(P, read_.planar());
      }
      case ET_WEDGE6: {
        point3 P[6];
        read_.load(column, P);
        return k::wedge_quality(P);
      }
      case ET_HEXA8: {
        point3 P[8];
        read_.load(column, P);
        return k::hexa_quality(P);
      }
      default:  // ET_EDGE2
        return 1.0;
    }
  }

 private:
  node_reader read_;
};

}  // namespace

int shape_qualities(const dense2D<double>& coords, const dense2D<unsigned>& connectM,
                    element_type type, dense1D<double, 8>& Q) {
  return detail::shape::measure_elements(coords, connectM, type, Q, element_quality(coords));
}

int min_quality(const dense2D<double>& coords, const dense2D<unsigned>& connectM, element_type type,
                double& qmin, unsigned& jmin) {
  namespace s = detail::shape;
  qmin = 1.0;
  jmin = kNoIndex;
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
