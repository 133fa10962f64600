// Axis-aligned bounding boxes of nodes, and element centroids.
#include <cstddef>

#include "common/mixed.h"
#include "quernfold/model.h"

namespace ovk {
namespace quernfold {
namespace {

constexpr int kWrongShape = -1;
constexpr int kBadIndex = -2;
constexpr int kUnsupportedKind = -4;

// ---- bounding boxes --------------------------------------------------------

// "Not greater than or equal" rather than "less than": a NaN coordinate
// replaces the lower corner, and any later number replaces a NaN corner.
template <int N>
void enlarge(const double* p, vector_fixed<double, N>& min, vector_fixed<double, N>& max) {
  for (int k = 0; k < N; ++k) {
    if (!(p[k] >= min[k])) min[k] = p[k];
    if (p[k] > max[k]) max[k] = p[k];
  }
}

template <int N>
int box_of_all_nodes(const dense2D<double>& coords, vector_fixed<double, N>& min,
                     vector_fixed<double, N>& max) {
  if (coords.rows() != N) return kWrongShape;
  for (std::size_t j = 0; j < coords.cols(); ++j) enlarge<N>(coords.column(j), min, max);
  return 0;
}

// Number of nodes as an index bound. With ~0U columns or more no index can
// reach past the last node, and the bound ~0U switches the check off.
unsigned node_bound(const dense2D<double>& coords) {
  return coords.cols() >= no_index ? no_index : static_cast<unsigned>(coords.cols());
}

template <int N>
int box_of_listed_nodes(const dense2D<double>& coords, const dense1D<unsigned>& nodes,
                        vector_fixed<double, N>& min, vector_fixed<double, N>& max) {
  if (nodes.empty()) return 0;
  if (coords.rows() != N) return kWrongShape;
  if (!check_IDs(nodes, node_bound(coords))) return kBadIndex;
  for (std::size_t i = 0; i < nodes.size(); ++i)
    if (nodes[i] != no_index) enlarge<N>(coords.column(nodes[i]), min, max);
  return 0;
}

template <int N>
int box_of_element_nodes(const dense2D<double>& coords, const dense2D<unsigned>& connectM,
                         vector_fixed<double, N>& min, vector_fixed<double, N>& max) {
  dense1D<unsigned> nodes;
  const int rc = unique_indices(nodes, connectM, dense1D<unsigned>());
  if (rc != 0) return rc;
  return box_of_listed_nodes<N>(coords, nodes, min, max);
}

// ---- centroids -------------------------------------------------------------

// Reciprocals of the vertex counts of the pure kinds, as fixed doubles: the
// average is the sum of the vertices times this factor.
constexpr double kEdgeFactor = 0.5;
constexpr double kTriangleFactor = 0.3333333333333333;  // nearest double to 1/3
constexpr double kQuarterFactor = 0.25;                 // quadrangle, tetrahedron
constexpr double kPyramidFactor = 0.2;
constexpr double kWedgeFactor = 0.16666666666666666;  // nearest double to 1/6
constexpr double kHexaFactor = 0.125;

// Factor of a pure supported kind, 0 for any other.
double pure_factor(element_type T) {
  switch (T) {
    case ET_EDGE2:
      return kEdgeFactor;
    case ET_TRIA3:
      return kTriangleFactor;
    case ET_QUAD4:
    case ET_TETRA4:
      return kQuarterFactor;
    case ET_PYRAMID5:
      return kPyramidFactor;
    case ET_WEDGE6:
      return kWedgeFactor;
    case ET_HEXA8:
      return kHexaFactor;
    default:
      return 0.0;
  }
}

bool is_mixed(element_type T) { return T == ET_FACE_MIX || T == ET_SOLID_MIX; }

bool centroid_supported(element_type T) { return is_mixed(T) || pure_factor(T) != 0.0; }

// g = factor x (sum of the n node columns of `element`, in column order).
void average_nodes(const dense2D<double>& coords, const unsigned* element, unsigned n,
                   double factor, double* g) {
  const std::size_t d = coords.rows();
  for (std::size_t k = 0; k < d; ++k) {
    double sum = 0.0;
    for (unsigned r = 0; r < n; ++r) sum += coords(k, element[r]);
    g[k] = sum * factor;
  }
}

// T is the kind after narrowing by height. Mixed columns average the nodes
// of their own shape, with the factor computed per column.
void fill_centroids(const dense2D<double>& coords, const dense2D<unsigned>& connectM,
                    element_type T, dense2D<double>& G) {
  for (std::size_t e = 0; e < connectM.cols(); ++e) {
    const unsigned* element = connectM.column(e);
    const element_type shape = detail::column_shape(T, element);
    const unsigned n = nbr_nodes(shape);
    const double factor = is_mixed(T) ? 1.0 / n : pure_factor(T);
    average_nodes(coords, element, n, factor, G.column(e));
  }
}

}  // namespace

int inc_bounding_box(const dense2D<double>& coords, vector_fixed<double, 2>& min,
                     vector_fixed<double, 2>& max) {
  return box_of_all_nodes<2>(coords, min, max);
}
int inc_bounding_box(const dense2D<double>& coords, vector_fixed<double, 3>& min,
                     vector_fixed<double, 3>& max) {
  return box_of_all_nodes<3>(coords, min, max);
}

int inc_bounding_box(const dense2D<double>& coords, const dense1D<unsigned>& nodes,
                     vector_fixed<double, 2>& min, vector_fixed<double, 2>& max) {
  return box_of_listed_nodes<2>(coords, nodes, min, max);
}
int inc_bounding_box(const dense2D<double>& coords, const dense1D<unsigned>& nodes,
                     vector_fixed<double, 3>& min, vector_fixed<double, 3>& max) {
  return box_of_listed_nodes<3>(coords, nodes, min, max);
}

int inc_bounding_box(const dense2D<double>& coords, const dense2D<unsigned>& connectM,
                     vector_fixed<double, 2>& min, vector_fixed<double, 2>& max) {
  return box_of_element_nodes<2>(coords, connectM, min, max);
}
int inc_bounding_box(const dense2D<double>& coords, const dense2D<unsigned>& connectM,
                     vector_fixed<double, 3>& min, vector_fixed<double, 3>& max) {
  return box_of_element_nodes<3>(coords, connectM, min, max);
}

int centroids(const dense2D<double>& coords, const dense2D<unsigned>& connectM, dense2D<double>& G,
              element_type FE) {
  G.clear();
  const std::size_t d = coords.rows();
  if (d < 1 || d > 3 || element_dim(FE) > d) return kWrongShape;
  if (!check_IDs(connectM, FE, node_bound(coords))) return kBadIndex;
  if (!G.resize(d, connectM.cols(), 0.0)) return no_memory;
  const element_type T = detail::narrow_mixed(FE, connectM.rows());
  if (!centroid_supported(T)) return kUnsupportedKind;
  // Columns without rows name no node: their centroid stays the 0.0 of the
  // resize (the sum of no nodes), and nothing is read from them.
  if (!connectM.empty()) fill_centroids(coords, connectM, T, G);
  return 0;
}

}  // namespace quernfold
}  // namespace ovk
