// translate, rotate and zoom: every overload funnels into one of three
// drivers (whole matrix, node list, used nodes of a connectivity) that apply
// a mapping of node_maps.h.
#include "quernfold/transform.h"

#include "common/growth.h"
#include "transform/node_maps.h"

namespace ovk {
namespace quernfold {
namespace {

using detail::ensure_rows;

// Maps every column; returns the number of columns, or 0 when nothing moves.
template <class Mapping>
int map_all(dense2D<double>& coords, const Mapping& mapping) {
  if (coords.empty() || mapping.identity()) return 0;
  if (!ensure_rows(coords, Mapping::kDim)) return 0;
  const auto map = mapping.prepared();
  const std::size_t n = coords.cols();
  for (std::size_t j = 0; j < n; ++j) map(coords.column(j));
  return static_cast<int>(n);
}

// Maps the listed nodes in list order, skipping entries that are no column of
// coords; returns the number of entries mapped.
template <class Mapping>
int map_listed(dense2D<double>& coords, const Mapping& mapping, const dense1D<unsigned>& nodes) {
  if (coords.empty() || mapping.identity() || nodes.empty()) return 0;
  if (!ensure_rows(coords, Mapping::kDim)) return 0;
  const auto map = mapping.prepared();
  const std::size_t n = coords.cols();
  int mapped = 0;
  for (unsigned node : nodes) {
    if (node >= n) continue;
    map(coords.column(node));
    ++mapped;
  }
  return mapped;
}

// Maps each node used by connectM once.
template <class Mapping>
int map_used(dense2D<double>& coords, const Mapping& mapping, const dense2D<unsigned>& connectM) {
  // Nothing can move: spare building the node set.
  if (coords.empty() || mapping.identity()) return 0;
  // A partial node set would move some elements and not others: better to
  // move none when it cannot be had.
  dense1D<unsigned> used;
  if (unique_indices(used, connectM, dense1D<unsigned>()) != 0) return 0;
  return map_listed(coords, mapping, used);
}

}  // namespace

using detail::rotation_2d;
using detail::rotation_3d;
using detail::scaling;
using detail::translation;

// --- translate --------------------------------------------------------------

int translate(dense2D<double>& coords, const vector_fixed<double, 2>& V) {
  return map_all(coords, translation<2>{V});
}
int translate(dense2D<double>& coords, const vector_fixed<double, 2>& V,
              const dense1D<unsigned>& nodes) {
  return map_listed(coords, translation<2>{V}, nodes);
}
int translate(dense2D<double>& coords, const vector_fixed<double, 2>& V,
              const dense2D<unsigned>& connectM) {
  return map_used(coords, translation<2>{V}, connectM);
}
int translate(dense2D<double>& coords, const vector_fixed<double, 3>& V) {
  return map_all(coords, translation<3>{V});
}
int translate(dense2D<double>& coords, const vector_fixed<double, 3>& V,
              const dense1D<unsigned>& nodes) {
  return map_listed(coords, translation<3>{V}, nodes);
}
int translate(dense2D<double>& coords, const vector_fixed<double, 3>& V,
              const dense2D<unsigned>& connectM) {
  return map_used(coords, translation<3>{V}, connectM);
}

// --- rotate -----------------------------------------------------------------

int rotate(dense2D<double>& coords, const vector_fixed<double, 2>& Q, double angle) {
  return map_all(coords, rotation_2d{Q, angle});
}
int rotate(dense2D<double>& coords, const vector_fixed<double, 2>& Q, double angle,
           const dense1D<unsigned>& nodes) {
  return map_listed(coords, rotation_2d{Q, angle}, nodes);
}
int rotate(dense2D<double>& coords, const vector_fixed<double, 2>& Q, double angle,
           const dense2D<unsigned>& connectM) {
  return map_used(coords, rotation_2d{Q, angle}, connectM);
}
int rotate(dense2D<double>& coords, const vector_fixed<double, 3>& Q,
           const vector_fixed<double, 3>& R) {
  return map_all(coords, rotation_3d{Q, R});
}
int rotate(dense2D<double>& coords, const vector_fixed<double, 3>& Q,
           const vector_fixed<double, 3>& R, const dense1D<unsigned>& nodes) {
  return map_listed(coords, rotation_3d{Q, R}, nodes);
}
int rotate(dense2D<double>& coords, const vector_fixed<double, 3>& Q,
           const vector_fixed<double, 3>& R, const dense2D<unsigned>& connectM) {
  return map_used(coords, rotation_3d{Q, R}, connectM);
}

// --- zoom -------------------------------------------------------------------
// The list and connectivity forms move their nodes but report 0.

int zoom(dense2D<double>& coords, const vector_fixed<double, 2>& Q, double factor) {
  return map_all(coords, scaling<2>{Q, factor});
}
int zoom(dense2D<double>& coords, const vector_fixed<double, 2>& Q, double factor,
         const dense1D<unsigned>& nodes) {
  map_listed(coords, scaling<2>{Q, factor}, nodes);
  return 0;
}
int zoom(dense2D<double>& coords, const vector_fixed<double, 2>& Q, double factor,
         const dense2D<unsigned>& connectM) {
  map_used(coords, scaling<2>{Q, factor}, connectM);
  return 0;
}
int zoom(dense2D<double>& coords, const vector_fixed<double, 3>& Q, double factor) {
  return map_all(coords, scaling<3>{Q, factor});
}
int zoom(dense2D<double>& coords, const vector_fixed<double, 3>& Q, double factor,
         const dense1D<unsigned>& nodes) {
  map_listed(coords, scaling<3>{Q, factor}, nodes);
  return 0;
}
int zoom(dense2D<double>& coords, const vector_fixed<double, 3>& Q, double factor,
         const dense2D<unsigned>& connectM) {
  map_used(coords, scaling<3>{Q, factor}, connectM);
  return 0;
}

}  // namespace quernfold
}  // namespace ovk
