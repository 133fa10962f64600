// Geometry on numpy arrays: translation, rotation and scaling, copies,
// mirror copies and clipping, centroids and bounding boxes.
#include <cfloat>
#include <string>
#include <vector>

#include "arrays.h"

namespace quernfold_py {

namespace {

using vec2 = qf::vector_fixed<double, 2>;
using vec3 = qf::vector_fixed<double, 3>;

// A vector of 2 or 3 numbers (`sizes` lists the lengths allowed).
std::vector<double> numbers(py::handle obj, const char* name, std::initializer_list<int> sizes) {
  auto a = py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(obj);
  if (!a || a.ndim() != 1) fail(std::string(name) + " must be a sequence of numbers");
  for (int n : sizes)
    if (a.shape(0) == n) return std::vector<double>(a.data(), a.data() + n);
  fail(std::string(name) + " must have " + (sizes.size() > 1 ? "2 or 3" : "3") + " numbers, got " +
       std::to_string(a.shape(0)));
}

vec2 as2(const std::vector<double>& v) { return {{v[0], v[1]}}; }
vec3 as3(const std::vector<double>& v) { return {{v[0], v[1], v.size() > 2 ? v[2] : 0.0}}; }

// The points in storage of their own (to be moved).
dense2D<double> own_points(py::handle points) {
  dense2D<double> p;
  if (!p.copy(points_in(points))) throw std::bad_alloc();
  return p;
}

// Which nodes move: every node (None), a list (1-D) or the nodes of cells
// (2-D, any number of columns).
struct node_set {
  enum { all, list, cells } kind = all;
  dense1D<unsigned> listed;
  dense2D<unsigned> elements;
  node_set(py::handle nodes, std::size_t count) {
    if (nodes.is_none()) return;
    const py::array a = py::array::ensure(nodes);
    if (a && a.ndim() == 2) {
      kind = cells;
      elements = cells_any(nodes, "nodes");
      name_missing_node(elements, count, "nodes");
    } else {
      kind = list;
      listed = indices_in(nodes, "nodes");
    }
  }
  // Applies f(coords) or f(coords, nodes) to the chosen nodes.
  template <class F>
  void apply(dense2D<double>& p, F&& f) const {
    unlocked([&] { return kind == all ? f(p) : kind == list ? f(p, listed) : f(p, elements); });
  }
};

py::array translate(py::handle points, py::handle vector, py::handle nodes) {
  dense2D<double> p = own_points(points);
  const std::vector<double> v = numbers(vector, "vector", {2, 3});
  const node_set set(nodes, p.cols());
  set.apply(p, [&](dense2D<double>& x, const auto&... sel) {
    return v.size() == 2 ? qf::translate(x, as2(v), sel...) : qf::translate(x, as3(v), sel...);
  });
  return out(p);
}

py::array rotate(py::handle points, py::handle rotation, py::handle center, py::handle nodes) {
  dense2D<double> p = own_points(points);
  const node_set set(nodes, p.cols());
  const py::array r = py::array::ensure(rotation);
  if (r && r.ndim() == 0) {
    const double angle = rotation.cast<double>();
    const vec2 q = center.is_none() ? vec2{{0, 0}} : as2(numbers(center, "center", {2, 3}));
    set.apply(
        p, [&](dense2D<double>& x, const auto&... sel) { return qf::rotate(x, q, angle, sel...); });
  } else {
    const vec3 R = as3(numbers(rotation, "rotation", {3}));
    const vec3 q = center.is_none() ? vec3{{0, 0, 0}} : as3(numbers(center, "center", {2, 3}));
    set.apply(p,
              [&](dense2D<double>& x, const auto&... sel) { return qf::rotate(x, q, R, sel...); });
  }
  return out(p);
}

py::array zoom(py::handle points, double factor, py::handle center, py::handle nodes) {
  dense2D<double> p = own_points(points);
  const node_set set(nodes, p.cols());
  const std::vector<double> c =
      center.is_none() ? std::vector<double>(p.rows(), 0.0) : numbers(center, "center", {2, 3});
  set.apply(p, [&](dense2D<double>& x, const auto&... sel) {
    return c.size() == 2 ? qf::zoom(x, as2(c), factor, sel...)
                         : qf::zoom(x, as3(c), factor, sel...);
  });
  return out(p);
}

// Source cells as given (copies keep their node order), checked.
dense2D<unsigned> source_cells(py::handle cells, const dense2D<double>& p) {
  dense2D<unsigned> c = cells_any(cells, "cells");
  name_missing_node(c, p.cols());
  return c;
}

py::tuple copy(py::handle points, py::handle cells) {
  dense2D<double> p = own_points(points);
  const dense2D<unsigned> c = source_cells(cells, p);
  dense2D<unsigned> copied;
  check(unlocked([&] { return qf::copy_mesh(p, copied, c); }), "copy");
  return py::make_tuple(out(p), out(copied));
}

py::tuple copies(py::handle points, py::handle cells, unsigned n, py::handle translation,
                 py::handle rotation, py::handle center) {
  dense2D<double> p = own_points(points);
  const dense2D<unsigned> c = source_cells(cells, p);
  const std::vector<double> t = numbers(translation, "translation", {2, 3});
  dense2D<unsigned> copied;
  int code;
  if (t.size() == 2) {
    const double angle = rotation.is_none() ? 0.0 : rotation.cast<double>();
    const vec2 q = center.is_none() ? vec2{{0, 0}} : as2(numbers(center, "center", {2}));
    code = unlocked([&] { return qf::copy_mesh(p, copied, as2(t), q, angle, n, c); });
  } else {
    const vec3 R = rotation.is_none() ? vec3{{0, 0, 0}} : as3(numbers(rotation, "rotation", {3}));
    const vec3 q = center.is_none() ? vec3{{0, 0, 0}} : as3(numbers(center, "center", {3}));
    code = unlocked([&] { return qf::copy_mesh(p, copied, as3(t), q, R, n, c); });
  }
  check(code, "copies");
  return py::make_tuple(out(p), out(copied));
}

py::tuple mirror(py::handle points, py::handle cells, py::handle point, py::handle normal) {
  dense2D<double> p = own_points(points);
  const dense2D<unsigned> c = source_cells(cells, p);
  const std::vector<double> at = numbers(point, "point", {2, 3});
  const std::vector<double> n = numbers(normal, "normal", {2, 3});
  if (at.size() != n.size()) fail("point and normal must have as many numbers");
  dense2D<unsigned> copied;
  const int code = unlocked([&] {
    return n.size() == 2 ? qf::copy_sym_mesh(p, copied, as2(at), as2(n), c)
                         : qf::copy_sym_mesh(p, copied, as3(at), as3(n), c);
  });
  check(code, "mirror", {{-4, "the normal must not be zero"}});
  return py::make_tuple(out(p), out(copied));
}

py::array clip(py::handle points, py::handle cells, py::handle point, py::handle normal) {
  const dense2D<double> p = points_in(points);
  const dense2D<unsigned> c = source_cells(cells, p);
  const vec3 at = as3(numbers(point, "point", {2, 3}));
  const vec3 n = as3(numbers(normal, "normal", {2, 3}));
  dense2D<unsigned> kept;
  check(unlocked([&] { return qf::clip(p, c, at, n, kept); }), "clip",
        {{-4, "the normal must not be zero"}});
  if (kept.rows() == 0 && !kept.resize(c.rows(), 0)) throw std::bad_alloc();
  return out(kept);
}

py::array centroids(py::handle points, py::handle cells, const std::string& type) {
  const mesh_in m(points, cells, type, true);
  dense2D<double> g;
  const int code = unlocked([&] { return qf::centroids(m.points, m.cells, g, m.type); });
  if (code == -2) check_nodes(m.cells, m.type, m.points.cols());
  check(code, "centroids", {{-1, "'" + type + "' cells need 3-D points"}});
  return out(g);
}

py::tuple bounding_box(py::handle points, py::handle nodes) {
  const dense2D<double> p = points_in(points);
  const node_set set(nodes, p.cols());
  std::vector<double> lo(p.rows()), hi(p.rows());
  const auto box = [&](auto lower, auto upper) {
    for (auto& x : lower) x = DBL_MAX;
    for (auto& x : upper) x = -DBL_MAX;
    const int code = set.kind == node_set::all ? qf::inc_bounding_box(p, lower, upper)
                     : set.kind == node_set::list
                         ? qf::inc_bounding_box(p, set.listed, lower, upper)
                         : qf::inc_bounding_box(p, set.elements, lower, upper);
    std::copy(lower.begin(), lower.end(), lo.begin());
    std::copy(upper.begin(), upper.end(), hi.begin());
    return code;
  };
  const int code =
      unlocked([&] { return p.rows() == 2 ? box(vec2{}, vec2{}) : box(vec3{}, vec3{}); });
  check(code, "bounding_box", {{-2, "nodes names a node the points do not have"}});
  return py::make_tuple(py::array_t<double>(lo.size(), lo.data()),
                        py::array_t<double>(hi.size(), hi.data()));
}

}  // namespace

void bind_geometry(py::module_& m) {
  const auto none = py::none();
  m.def("_translate", &translate, py::arg("points"), py::arg("vector"), py::arg("nodes") = none);
  m.def("_rotate", &rotate, py::arg("points"), py::arg("rotation"), py::arg("center") = none,
        py::arg("nodes") = none);
  m.def("_zoom", &zoom, py::arg("points"), py::arg("factor"), py::arg("center") = none,
        py::arg("nodes") = none);
  m.def("copy", &copy, py::arg("points"), py::arg("cells"),
        R"(A copy of the cells on new nodes: returns (points, cells).

points: float64 (nodes, 2 | 3); cells: integer (elements, k), any kind.
The used nodes of `cells`, in order of first appearance, are appended to the
points (a new array); the new cells (uint32, same shape) name them and keep
the node order of `cells`.)");
  m.def("copies", &copies, py::arg("points"), py::arg("cells"), py::arg("n"),
        py::arg("translation"), py::arg("rotation") = none, py::arg("center") = none,
        R"(n copies of the cells, copy i turned by i x rotation about center, then
moved by i x translation: returns (points, cells).

translation: 2 numbers (2-D; rotation an angle in radians, counter-clockwise)
or 3 (rotation a vector R: |R| radians about the axis R, right-hand rule);
center: the centre of rotation (the origin by default). The new nodes are
appended to the points (a new array); cells (uint32, n x elements rows)
holds copy 1, then copy 2, ..., in the node order of `cells`.)");
  m.def("mirror", &mirror, py::arg("points"), py::arg("cells"), py::arg("point"), py::arg("normal"),
        R"(The mirror image of the cells across the line (2-D) or plane (3-D) through
`point` with normal `normal`: returns (points, cells).

The mirrored nodes are appended to the points (a new array); the new cells
(uint32) keep the node order of `cells`, so mirrored elements are inverted
(negative Jacobians): reverse their orientation for a valid mesh.)");
  m.def("clip", &clip, py::arg("points"), py::arg("cells"), py::arg("point"), py::arg("normal"),
        R"(The cells (uint32 (kept, k), in order) whose nodes all lie on the side of
the plane through `point` that `normal` points to (a node on the plane is
kept). Every node of a cell is tested, mid-side nodes of quadratic kinds
included. 2-D points are clipped by the line where the plane meets z = 0.)");
  m.def("_centroids", &centroids, py::arg("points"), py::arg("cells"), py::arg("type"));
  m.def("_bounding_box", &bounding_box, py::arg("points"), py::arg("nodes") = none);
}

}  // namespace quernfold_py
