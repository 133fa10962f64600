// The library's own CPU time for a call, on arrays converted once, so that a
// benchmark can set the package's per-call overhead against it.
#include <time.h>

#include <algorithm>
#include <functional>
#include <string>

#include "arrays.h"

namespace quernfold_py {

namespace {

// CPU time of the calling thread, in seconds (not disturbed by other
// programs on a busy machine).
double thread_seconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

// Best CPU time in seconds of `repeat` library calls of `operation`.
double library_seconds(const std::string& operation, py::handle points, py::handle cells,
                       const std::string& type, int repeat) {
  const mesh_in m(points, cells, type);
  const dense2D<double>& p = m.points;
  const dense2D<unsigned>& c = m.cells;
  const element_type t = m.type;
  // Fresh outputs for every call, as the package makes them.
  std::function<int()> call;
  if (operation == "shape_qualities") {
    call = [&] {
      dense1D<double> q;
      return qf::shape_qualities(p, c, t, q);
    };
  } else if (operation == "jacobians") {
    call = [&] {
      dense1D<double> j;
      return qf::jacobians(p, c, t, j);
    };
  } else if (operation == "neighbors") {
    call = [&] {
      dense2D<unsigned> n;
      return qf::get_neighbors(c, t, false, n);
    };
  } else if (operation == "node_graph") {
    call = [&] {
      dense1D<unsigned> offsets, nodes;
      return qf::get_node_graph(c, offsets, nodes, t);
    };
  } else if (operation == "size_map") {
    call = [&] {
      dense1D<double> h(p.cols(), 0.0);
      return qf::metrics_gen_iso(p, c, t, h, 1.0);
    };
  } else {
    fail("no timing for '" + operation + "'");
  }
  double best = 1e300;
  unlocked([&] {
    for (int k = 0; k < repeat; ++k) {
      const double start = thread_seconds();
      const int code = call();
      best = std::min(best, code < 0 ? 1e300 : thread_seconds() - start);
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
