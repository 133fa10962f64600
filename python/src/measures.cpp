// Element and edge measures, size maps and gradation control on numpy
// arrays.
#include <mutex>
#include <string>

#include "arrays.h"

namespace quernfold_py {

namespace {

using measure_fn = int (*)(const dense2D<double>&, const dense2D<unsigned>&, element_type,
                           dense1D<double, 8>&);

// One value per element (shape qualities, Jacobians).
py::array per_element(py::handle points, py::handle cells, const std::string& type,
                      measure_fn measure, const char* operation, unsigned threads) {
  element_type t = cell_kind(type);
  const dense2D<double> p = points_in(points, true);
  const dense2D<unsigned> c = corners_in(cells, t);
  dense1D<double> values;
  const int code =
      unlocked([&] { return qf::measure_elements(p, c, t, measure, values, threads); });
  if (code == -2) check_nodes(c, t, p.cols());
  check(code, operation,
        {{-3, "'" + type +
                  "' cells are not measured (kinds with a quality: lines, triangles, quads, "
                  "tetra, pyramids, wedges, hexahedra, linear or quadratic)"}});
  return out(values);
}

py::array shape_qualities(py::handle points, py::handle cells, const std::string& type,
                          unsigned threads) {
  return per_element(points, cells, type, &qf::shape_qualities, "shape_qualities", threads);
}

py::array jacobians(py::handle points, py::handle cells, const std::string& type,
                    unsigned threads) {
  return per_element(points, cells, type, &qf::jacobians, "jacobians", threads);
}

// The library's histogram behind a lock, so that a call that fills it
// without the interpreter lock and readers on other threads take turns.
class locked_histogram {
 public:
  locked_histogram(double lo, double hi, std::size_t bins) {
    if (bins) hist_.set_bins(lo, hi, bins);
  }
  template <class F>
  auto with(F&& f) {
    std::lock_guard<std::mutex> hold(lock_);
    return f(hist_);
  }

 private:
  std::mutex lock_;
  qf::histogram hist_;
};

int edge_qualities(py::handle points, py::handle cells, const std::string& type,
                   py::handle size_map, locked_histogram& hist, py::handle excluded) {
  const mesh_in m(points, cells, type);
  const size_map_in map(size_map, false);
  dense2D<unsigned> skip;
  if (!excluded.is_none()) skip = cells_as_given(excluded, qf::ET_EDGE2, "excluded_edges");
  const int code = unlocked([&] {
    return hist.with([&](qf::histogram& h) {
      return map.aniso ? qf::edge_qualities(m.points, m.cells, m.type, map.metrics, h, skip)
                       : qf::edge_qualities(m.points, m.cells, m.type, map.sizes, h, skip);
    });
  });
  if (code == -2) check_nodes(m.cells, m.type, m.points.cols());
  if (code == -6) check_nodes(skip, qf::ET_EDGE2, m.points.cols(), "excluded_edges");
  check(code, "edge_qualities",
        {{-4,
          "an edge has an end without a size: the size map is shorter than the nodes, or "
          "a size is not > 0 (a metric not positive definite); the other edges were "
          "counted"}});
  return code;
}

py::array size_map(py::handle points, py::handle cells, const std::string& type, double p) {
  const mesh_in m(points, cells, type, true);
  dense1D<double> sizes;
  if (!sizes.resize(m.points.cols(), 0.0)) throw std::bad_alloc();
  const int code =
      unlocked([&] { return qf::metrics_gen_iso(m.points, m.cells, m.type, sizes, p); });
  if (code == -2) check_nodes(m.cells, m.type, m.points.cols());
  check(code, "size_map",
        {{-1, "'" + type + "' cells need 3-D points"},
         {-3, "size maps are made from linear cells; '" + type + "' is not one"},
         {-5, "p must be >= 0, got " + number(p)}});
  return out(sizes);
}

py::tuple bound_gradation(py::handle points, py::handle cells, const std::string& type,
                          py::handle size_map, double gradation, py::handle nodes,
                          bool nodes_are_fixed, int direction, bool variations) {
  const mesh_in m(points, cells, type);
  size_map_in map(size_map, true);
  dense1D<unsigned> listed;
  if (!nodes.is_none()) listed = indices_in(nodes, "nodes");
  if (direction < -1 || direction > 1)
    fail("direction must be -1 (shrink only), 0 (either way) or 1 (grow only), got " +
         std::to_string(direction));
  const dense2D<double>& p = m.points;
  const dense2D<unsigned>& c = m.cells;
  const element_type t = m.type;
  // The library bounds the growth beyond 1 (0: no growth at all).
  const double bound = gradation - 1;
  const int code = unlocked([&] {
    const auto bound_map = [&](auto& field) {
      return variations ? qf::bound_metric_variations(p, c, t, listed, nodes_are_fixed, direction,
                                                      bound, field)
                        : qf::bound_metric_gradations(p, c, t, listed, nodes_are_fixed, direction,
                                                      bound, field);
    };
    return map.aniso ? bound_map(map.metrics) : bound_map(map.sizes);
  });
  if (code == -2) check_nodes(c, t, p.cols());
  for (std::size_t i = 0; code == -4 && i < listed.size(); ++i)
    if (listed[i] != qf::no_index && listed[i] >= p.cols())
      fail("nodes[" + std::to_string(i) + "] = " + std::to_string(listed[i]) +
           " names no node (there are " + std::to_string(p.cols()) + ")");
  check(code, "bound_gradation",
        {{-7, "gradation must be >= 1, got " + number(gradation)},
         {-8, map.aniso ? "metrics must have 3 columns for 2-D points and 6 for 3-D points, and "
                          "one row per node of the cells"
                        : "the sizes must have one entry per node of the cells"}});
  return py::make_tuple(map.aniso ? out(map.metrics) : out(map.sizes), code);
}

py::array edges(py::handle cells, const std::string& type) {
  element_type t = cell_kind(type);
  const dense2D<unsigned> c = corners_in(cells, t);
  dense2D<unsigned> e;
  const int code = unlocked([&] { return qf::copy_edges(c, t, e); });
  check(code, "edges");
  if (e.rows() == 0 && !e.resize(2, 0)) throw std::bad_alloc();
  return out(e);
}

py::array size_shocks(py::handle points, py::handle edges, py::handle size_map) {
  const dense2D<double> p = points_in(points);
  const dense2D<unsigned> e = cells_as_given(edges, qf::ET_EDGE2, "edges");
  const size_map_in map(size_map, false);
  if ((map.aniso ? map.metrics.cols() : map.sizes.size()) != p.cols())
    fail("the size map must hold one entry per point");
  dense1D<double> shocks;
  const int code = unlocked([&] {
    return map.aniso ? qf::H_shock(p, e, map.metrics, shocks)
                     : qf::H_shock(p, e, map.sizes, shocks);
  });
  if (code == -2) name_missing_node(e, p.cols(), "edges");
  check(code, "size_shocks");
  if (shocks.size() != p.cols() && !shocks.resize(p.cols(), 0.0)) throw std::bad_alloc();
  return out(shocks);
}

}  // namespace

void bind_measures(py::module_& m) {
  m.def("edges", &edges, py::arg("cells"), py::arg("type"),
        R"(The distinct edges of the cells (their own edges, no diagonals), uint32
(edges, 2), each (smaller, larger), sorted. Quadratic kinds by their corner
nodes. qf.unique_edges(mesh) gives those of every block of a whole mesh.)");
  m.def("size_shocks", &size_shocks, py::arg("points"), py::arg("edges"), py::arg("size_map"),
        R"(Largest size shock at every node, float64 (nodes,): over the edges
(integers (edges, 2)) at the node, (hmax / hmin) ** (1 / Ln) - 1, the
relative growth of the size per unit of normalized length Ln along the
edge (no unit; 0 at nodes on no edge). size_map as for edge_qualities.)");
  m.def("shape_qualities", &shape_qualities, py::arg("points"), py::arg("cells"), py::arg("type"),
        py::arg("threads") = 0,
        R"(Shape quality of every element, float64 (elements,).

points: float64 (nodes, 2 | 3); cells: integer (elements, nodes per element)
in meshio's node order; type: line, triangle, quad, tetra, pyramid, wedge,
hexahedron, or a quadratic kind (measured on its corner nodes). 1 for the
ideal element (equilateral triangle, square, regular tetrahedron, ...),
towards 0 as it degenerates, negative when inverted (triangles and quads
only with 2-D points); always in [-1, 1], no unit. Elements that meshio and
gmsh call valid score > 0. The measure: 2 sqrt(3) r / hmax for triangles and
2 sqrt(6) r / hmax for tetra (r the inradius, hmax the longest edge); the
smallest corner measure with a warp factor for quads; for the other solids
the worst of their corner and face measures. Other named measures:
quernfold.cell_qualities. threads: threads to measure on (0: the machine's
cores); the values are the same for every count.)");
  m.def("jacobians", &jacobians, py::arg("points"), py::arg("cells"), py::arg("type"),
        py::arg("threads") = 0,
        R"(Jacobian of every element at its reference centre, float64 (elements,).

Arguments as for shape_qualities. Lines: half the length (a length);
triangles: twice the area, quads: a quarter of a parallelogram's area (never
negative); solids: the signed determinant (6 x the volume of a tetrahedron,
an eighth of a parallelepiped's; a volume), positive for valid elements.)");
  py::class_<locked_histogram>(m, "Histogram", R"(Counts of edge qualities.

Histogram(lo, hi, bins): `bins` equal bins over [lo, hi) (values outside
are counted in underflow / overflow); Histogram() keeps only count, min,
max and mean. Every call of edge_qualities adds to it.)")
      .def(py::init<double, double, std::size_t>(), py::arg("lo") = 0.0, py::arg("hi") = 0.0,
           py::arg("bins") = 0)
      .def_property_readonly(
          "count", [](locked_histogram& h) { return h.with([](auto& x) { return x.count(); }); })
      .def_property_readonly(
          "min", [](locked_histogram& h) { return h.with([](auto& x) { return x.min(); }); })
      .def_property_readonly(
          "max", [](locked_histogram& h) { return h.with([](auto& x) { return x.max(); }); })
      .def_property_readonly(
          "mean", [](locked_histogram& h) { return h.with([](auto& x) { return x.mean(); }); })
      .def_property_readonly(
          "underflow",
          [](locked_histogram& h) { return h.with([](auto& x) { return x.underflow(); }); })
      .def_property_readonly(
          "overflow",
          [](locked_histogram& h) { return h.with([](auto& x) { return x.overflow(); }); })
      .def_property_readonly(
          "counts",
          [](locked_histogram& h) {
            return h.with([](qf::histogram& x) {
              py::array_t<std::size_t> c(x.nbins());
              for (std::size_t k = 0; k < x.nbins(); ++k) c.mutable_at(k) = x.bin_count(k);
              return c;
            });
          },
          "Values per bin, (bins,).")
      .def_property_readonly(
          "bin_edges",
          [](locked_histogram& h) {
            return h.with([](qf::histogram& x) {
              py::array_t<double> e(x.nbins() ? x.nbins() + 1 : 0);
              for (std::size_t k = 0; k < static_cast<std::size_t>(e.size()); ++k)
                e.mutable_at(k) = x.bin_lower(k);
              return e;
            });
          },
          "Lower edges of the bins and the upper edge of the last, (bins + 1,).");
  m.def("edge_qualities", &edge_qualities, py::arg("points"), py::arg("cells"), py::arg("type"),
        py::arg("size_map"), py::arg("hist"), py::arg("excluded_edges") = py::none(),
        R"(Feeds `hist` with the normalized length of every distinct edge; returns
the number of edges measured.

points, cells, type as for shape_qualities (quadratic kinds give the edges
of their vertices). size_map: float64 sizes (nodes,), a length per node, or
metrics (nodes, 3) for 2-D points / (nodes, 6) for 3-D points, the packed
upper triangles (m11, m12, m22[, m13, m23, m33]) in 1 / length^2. An edge's
normalized length is its length divided by the logarithmic mean of the
sizes at its ends (1: as long as the map asks; no unit). excluded_edges:
integer (edges, 2) left out, in either orientation.)");
  m.def("size_map", &size_map, py::arg("points"), py::arg("cells"), py::arg("type"),
        py::arg("p") = 1.0, R"(Isotropic size map from the mesh's own edges, float64 (nodes,).

Entry v is the power mean with exponent p of the lengths of the element
edges at node v (a length, in the units of the points): p = 0 the shortest,
p = inf the longest, p = 1 the mean; an edge shared by k elements counts k
times. Nodes on no edge get 0.0. Kinds: line, triangle, quad, tetra,
pyramid, wedge, hexahedron; quadratic kinds by their corner nodes (mid-side
nodes get 0.0).)");
  m.def("bound_gradation", &bound_gradation, py::arg("points"), py::arg("cells"), py::arg("type"),
        py::arg("size_map"), py::arg("gradation"), py::arg("nodes") = py::none(),
        py::arg("nodes_are_fixed") = true, py::arg("direction") = 0, py::arg("variations") = false,
        R"(Limits how fast a size map changes along the mesh's edges.

Returns (new size map, number of nodes changed); the input is not changed
(the new map is a copy of the same shape and dtype float64). size_map as
for edge_qualities. Two nodes are neighbors when an element holds both.
gradation B >= 1, as the command-line tool's --gradation: with variations
false the size grows by at most a factor B per unit of normalized length
(1.5: at most 50 % larger one edge further); with true the size gradient
|h_a - h_b| / |e| is at most B - 1 (no unit). nodes (integers) with
nodes_are_fixed true keep their size and all others may change; with false
only the listed nodes may change. direction: 0 either way, 1 sizes only
grow, -1 sizes only shrink.)");
}

}  // namespace quernfold_py
