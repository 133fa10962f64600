// NodeDetector: the library's k-d tree over the nodes of a points array,
// queried with many points at once.
#include <cmath>
#include <mutex>
#include <string>

#include "arrays.h"

namespace quernfold_py {

namespace {

// Query points: one point (d,) or many (m, d), d = 2 or 3, as a d x m
// matrix; `single` tells which was given.
dense2D<double> query_points(py::handle obj, const char* name, bool& single) {
  auto a = py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(obj);
  single = a && a.ndim() == 1;
  if (!a || (!single && a.ndim() != 2) || a.shape(a.ndim() - 1) < 2 || a.shape(a.ndim() - 1) > 3)
    fail(std::string(name) + " must be a point (2 or 3 numbers) or an array (points, 2 | 3)");
  return points_in(single ? py::object(a.reshape({py::ssize_t(1), a.shape(0)})) : a);
}

template <int D>
qf::vector_fixed<double, D> point_at(const dense2D<double>& m, std::size_t j) {
  qf::vector_fixed<double, D> p{};
  for (int i = 0; i < D; ++i) p[i] = m(i, j);
  return p;
}

class detector {
 public:
  explicit detector(py::handle points) : coords_(points_in(points)) {
    for (std::size_t j = 0; j < coords_.cols(); ++j)
      for (std::size_t i = 0; i < coords_.rows(); ++i)
        if (std::isnan(coords_(i, j)))
          fail("points[" + std::to_string(j) + "] holds NaN: a NodeDetector needs numbers");
    check(unlocked([&] { return tree_.reinit(coords_); }), "NodeDetector");
  }

  py::object closest(py::handle queries) const {
    bool single = false;
    const dense2D<double> q = query_points(queries, "points", single);
    dense1D<unsigned> found;
    if (!found.resize(q.cols())) throw std::bad_alloc();
    unlocked([&] {
      for (std::size_t j = 0; j < q.cols(); ++j)
        found[j] = q.rows() == 2 ? tree_.find_closest(point_at<2>(q, j))
                                 : tree_.find_closest(point_at<3>(q, j));
      return 0;
    });
    return single ? py::object(py::int_(found[0])) : py::object(out(found));
  }

  py::array closest_other(py::handle nodes) const {
    const dense1D<unsigned> list = indices_in(nodes, "nodes");
    dense1D<unsigned> found;
    if (!found.resize(list.size())) throw std::bad_alloc();
    unlocked([&] {
      for (std::size_t j = 0; j < list.size(); ++j) found[j] = tree_.find_closest(list[j]);
      return 0;
    });
    return out(found);
  }

  py::object in_box(py::handle lo, py::handle hi) const {
    bool single_lo = false, single_hi = false;
    const dense2D<double> a = query_points(lo, "lo", single_lo);
    const dense2D<double> b = query_points(hi, "hi", single_hi);
    if (a.rows() != b.rows() || a.cols() != b.cols()) fail("lo and hi must have the same shape");
    dense1D<unsigned> found, offsets;
    if (!offsets.reserve(a.cols() + 1) || !offsets.push_back(0)) throw std::bad_alloc();
    const bool ok = unlocked([&] {
      for (std::size_t j = 0; j < a.cols(); ++j) {
        if (a.rows() == 2)
          tree_.find_in_box(point_at<2>(a, j), point_at<2>(b, j), found);
        else
          tree_.find_in_box(point_at<3>(a, j), point_at<3>(b, j), found);
        offsets.push_back(static_cast<unsigned>(found.size()));
      }
      return found.size() < qf::no_index;
    });
    if (!ok) throw std::bad_alloc();
    if (single_lo && single_hi) return out(found);
    return py::make_tuple(out(offsets), out(found));
  }

  py::tuple query(py::handle queries, unsigned k) const {
    bool single = false;
    const dense2D<double> q = query_points(queries, "points", single);
    if (k == 0) fail("k must be at least 1");
    dense2D<unsigned> found;
    dense2D<double> distances;
    check(unlocked([&] {
            const int built = build_index();
            return built < 0 ? built : index_.nearest(q, k, found, distances);
          }),
          "query");
    if (single && k == 1) return py::make_tuple(distances(0, 0), found(0, 0));
    return py::make_tuple(shaped(out(distances), single, k), shaped(out(found), single, k));
  }

  py::object query_ball_point(py::handle queries, double r) const {
    bool single = false;
    const dense2D<double> q = query_points(queries, "points", single);
    if (!(r >= 0)) fail("r must be a number >= 0, got " + number(r));
    dense1D<std::size_t> offsets;
    dense1D<unsigned> found;
    check(unlocked([&] {
            const int built = build_index();
            return built < 0 ? built : index_.within(q, r, offsets, found);
          }),
          "query_ball_point");
    if (single) return out(found);
    py::list lists(q.cols());
    for (std::size_t j = 0; j < q.cols(); ++j)
      lists[j] = py::array_t<unsigned>(static_cast<py::ssize_t>(offsets[j + 1] - offsets[j]),
                                       found.data() + offsets[j]);
    return lists;
  }

  unsigned size() const { return tree_.size(); }
  py::array points() const { return out(coords_); }

 private:
  // The bucketed index of the batch queries, built at the first of them
  // (by one thread while the others wait); its build code.
  int build_index() const {
    std::call_once(index_built_, [this] { index_code_ = index_.reinit(coords_); });
    return index_code_;
  }

  // Results of query as scipy shapes them: (m, k) arrays, the column
  // dropped when k is 1, a single query's row alone.
  static py::array shaped(py::array a, bool single, unsigned k) {
    if (single) return a.attr("reshape")(k);
    if (k == 1) return a.attr("reshape")(a.shape(0));
    return a;
  }

  dense2D<double> coords_;  // the tree refers to this matrix: declared first
  qf::node_detector tree_;
  mutable qf::point_index index_;
  mutable std::once_flag index_built_;
  mutable int index_code_ = 0;
};

}  // namespace

void bind_detector(py::module_& m) {
  py::class_<detector>(m, "NodeDetector", R"(A k-d tree over the nodes of a points array.

NodeDetector(points): points float64 (nodes, 2 | 3), used in place when
float64 and C-contiguous (keep it unchanged while the detector lives; it is
kept alive), converted once otherwise. Points holding NaN are refused.
Queries may run from several threads at once.)")
      .def(py::init<py::handle>(), py::arg("points"))
      .def("closest", &detector::closest, py::arg("points"),
           R"(Index of the nearest node (Euclidean distance) to each query point.

points: one point (2 or 3 numbers) -> int, or (m, 2 | 3) -> uint32 (m,).
A 2-D query on 3-D nodes uses z = 0; a 3-D query on 2-D nodes uses x and y.
Among equally near nodes the first met by the tree's search wins. NO_INDEX
when the detector holds no node or the point holds NaN.)")
      .def("closest_other", &detector::closest_other, py::arg("nodes"),
           R"(Nearest node to each given node other than itself (a coincident node
qualifies): integer (m,) -> uint32 (m,); NO_INDEX for an index that is not
a node.)")
      .def("in_box", &detector::in_box, py::arg("lo"), py::arg("hi"),
           R"(Nodes inside closed boxes [lo, hi].

lo, hi: one corner each (2 or 3 numbers) -> uint32 array of the nodes in
the box; or (m, 2 | 3) each -> (indptr, indices): box k holds
indices[indptr[k]:indptr[k + 1]]. Order: the tree's depth-first order.)")
      .def("query", &detector::query, py::arg("points"), py::arg("k") = 1,
           R"(Distances to and indices of the k nearest nodes of each query point.

points: one point (2 or 3 numbers) or (m, 2 | 3). Returns (distances,
indices), float64 and uint32, shaped as scipy's cKDTree.query shapes them:
(m, k), or (m,) when k is 1; (k,) for one point, or a float and an int
when k is also 1. Nearest first; equally near nodes (the same squared
distance) by lower index. Slots past the number of nodes, and every slot of
a point holding NaN, are inf and NO_INDEX. A 2-D query on 3-D nodes uses
z = 0; a 3-D query on 2-D nodes uses x and y. The first query builds a
bucketed index of its own over the points (a copy).)")
      .def("query_ball_point", &detector::query_ball_point, py::arg("points"), py::arg("r"),
           R"(Indices of the nodes within distance r of each query point.

points: one point (2 or 3 numbers) -> uint32 array; (m, 2 | 3) -> a list of
m uint32 arrays. A node is within r when its squared distance is at most
r * r. Indices are in increasing order. Same index as query.)")
      .def("__len__", &detector::size, "Number of entries of the tree (nodes indexed).")
      .def_property_readonly("points", &detector::points, "The points indexed, (nodes, d).");
}

}  // namespace quernfold_py
