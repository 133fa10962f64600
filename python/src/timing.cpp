// The library's own time for a call, on arrays converted once, so that a
// benchmark can set the package's per-call overhead against it.
#include <algorithm>
#include <chrono>
#include <functional>
#include <string>

#include "arrays.h"

namespace quernfold_py {

namespace {

// Best wall time in seconds of `repeat` library calls of `operation`.
double library_seconds(const std::string& operation, py::handle points, py::handle cells,
                       const std::string& type, int repeat) {
  const mesh_in m(points, cells, type);
  const dense2D<double>& p = m.points;
  const dense2D<unsigned>& c = m.cells;
  const element_type t = m.type;
  std::function<int()> call;
  dense1D<double> values;
  dense1D<unsigned> offsets, nodes;
  dense2D<unsigned> neighbors;
  if (operation == "shape_qualities")
    call = [&] { return qf::shape_qualities(p, c, t, values); };
  else if (operation == "jacobians")
    call = [&] { return qf::jacobians(p, c, t, values); };
  else if (operation == "neighbors")
    call = [&] { return qf::get_neighbors(c, t, false, neighbors); };
  else if (operation == "node_graph")
    call = [&] { return qf::get_node_graph(c, offsets, nodes, t); };
  else if (operation == "size_map")
    call = [&] {
      values.clear();
      return qf::metrics_gen_iso(p, c, t, values, 1.0);
    };
  else
    fail("no timing for '" + operation + "'");
  double best = 1e300;
  unlocked([&] {
    for (int k = 0; k < repeat; ++k) {
      const auto start = std::chrono::steady_clock::now();
      const int code = call();
      const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
      best = std::min(best, code < 0 ? 1e300 : took.count());
    }
    return 0;
  });
  return best;
}

}  // namespace

void bind_timing(py::module_& m) {
  m.def("_library_seconds", &library_seconds, py::arg("operation"), py::arg("points"),
        py::arg("cells"), py::arg("type"), py::arg("repeat"));
}

}  // namespace quernfold_py
