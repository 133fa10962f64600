// quernfold._quernfold: the library's operations on numpy arrays.
#include "arrays.h"

namespace quernfold_py {
void bind_topology(py::module_& m);
void bind_measures(py::module_& m);
void bind_detector(py::module_& m);
void bind_files(py::module_& m);
void bind_whole_mesh(py::module_& m);
void bind_geometry(py::module_& m);
void bind_mesh_measures(py::module_& m);
void bind_metrics(py::module_& m);
void bind_partition(py::module_& m);
#ifdef QUERNFOLD_PYTHON_TIMING
void bind_timing(py::module_& m);
#endif
}  // namespace quernfold_py

PYBIND11_MODULE(_quernfold, m) {
  namespace qp = quernfold_py;
  m.doc() = "Native part of the quernfold package (import quernfold instead).";
  qp::py::register_exception<qp::error>(m, "Error", PyExc_ValueError);
  m.attr("NO_INDEX") = qp::py::int_(ovk::quernfold::no_index);
  m.def(
      "version", [] { return std::string(ovk::quernfold::version()); },
      "The library's version string.");
  m.def("cell_kinds", &qp::cell_kinds, "meshio's cell-type names with their number of nodes.");
  qp::bind_topology(m);
  qp::bind_measures(m);
  qp::bind_detector(m);
  qp::bind_files(m);
  qp::bind_whole_mesh(m);
  qp::bind_geometry(m);
  qp::bind_mesh_measures(m);
  qp::bind_metrics(m);
  qp::bind_partition(m);
#ifdef QUERNFOLD_PYTHON_TIMING
  qp::bind_timing(m);
#endif
}
