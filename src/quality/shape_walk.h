// The walk shared by the per-element measures (shape qualities, Jacobians):
// argument checks in the library's order, narrowing of mixed kinds, and one
// call per element column with the column's own linear shape.
#pragma once

#include <cstddef>

#include "common/mixed.h"
#include "quernfold/model.h"

namespace ovk {
namespace quernfold {
namespace detail {
namespace shape {

// Kinds measured per element, after narrowing: the linear ones and the mixed
// ones of full height.
inline bool is_measured_kind(element_type kind) noexcept {
  switch (kind) {
    case ET_EDGE2:
    case ET_TRIA3:
    case ET_QUAD4:
    case ET_FACE_MIX:
    case ET_TETRA4:
    case ET_PYRAMID5:
    case ET_WEDGE6:
    case ET_HEXA8:
    case ET_SOLID_MIX:
      return true;
    default:
      return false;
  }
}

inline unsigned node_count(const dense2D<double>& coords) noexcept {
  return static_cast<unsigned>(coords.cols());
}

// Calls visit(j, shape, column) for every column j. A matrix with columns but
// no rows passes the connectivity check and holds no nodes: nothing is
// visited.
template <class Visit>
void for_each_element(const dense2D<unsigned>& connectM, element_type kind, Visit&& visit) {
  if (connectM.rows() < nbr_nodes(kind)) return;
  for (std::size_t j = 0; j < connectM.cols(); ++j) {
    const unsigned* column = connectM.column(j);
    visit(j, column_shape(kind, column), column);
  }
}

// One value per element column into `out`: empties out; no columns -> 0;
// connectivity check fails -> -2; out cannot be sized -> -199; kind not
// measured -> -3 with out emptied. Otherwise out[j] = measure(shape, column)
// (entries of unvisited columns stay 0.0) and 0.
template <class Measure>
int measure_elements(const dense2D<double>& coords, const dense2D<unsigned>& connectM,
                     element_type type, dense1D<double, 8>& out, Measure&& measure) {
  out.clear();
  if (connectM.cols() == 0) return 0;
  if (!check_IDs(connectM, type, node_count(coords))) return -2;
  if (!out.resize(connectM.cols(), 0.0)) return no_memory;
  const element_type kind = narrow_mixed(type, connectM.rows());
  if (!is_measured_kind(kind)) {
    out.clear();
    return -3;
  }
  double* values = out.data();
  for_each_element(connectM, kind, [&](std::size_t j, element_type shape, const unsigned* column) {
    values[j] = measure(shape, column);
  });
  return 0;
}

}  // namespace shape
}  // namespace detail
}  // namespace quernfold
}  // namespace ovk
