// Operations on a whole mesh given as points and blocks: clean, boundary,
// statistics and the size map, each one call of the library's whole-mesh
// layer.
#include <string>

#include "arrays.h"

namespace quernfold_py {

namespace {

std::string operation_words(int code) {
  switch (code) {
    case qf::mesh_no_faces:
      return "the mesh has no cells of dimension 1 to 3";
    case qf::mesh_bad_tolerance:
      return "tol must be a distance >= 0";
    case qf::mesh_bad_parameter:
      return "p must be >= 0 and gradation >= 1";
    default:
      return "failed with code " + std::to_string(code);
  }
}

// Raises for a code of the layer; `given` names the arguments given.
void check_layer(int code, const char* operation, const std::string& given = "") {
  check_memory(code);
  if (code < 0) fail(std::string(operation) + ": " + operation_words(code) + given);
}

// Returns (points, [(type, cells, refs or None)], node map, [element map
// per block]).
py::tuple clean(py::handle points, const py::list& blocks, double tol, unsigned threads) {
  const qf::mesh_data mesh = mesh_value(points, blocks);
  qf::mesh_data cleaned;
  qf::clean_report report;
  check_layer(unlocked([&] { return qf::clean_mesh(mesh, tol, cleaned, report, threads); }),
              "clean", ", got " + number(tol));
  const py::tuple result = mesh_arrays(cleaned);
  py::list element_maps;
  for (const dense1D<unsigned>& map : report.element_maps) element_maps.append(out(map));
  return py::make_tuple(result[0], result[1], out(report.node_map), element_maps, report.merged);
}

// Returns [(type, faces)] on the same points (none for a closed mesh).
py::list boundary(py::handle points, const py::list& blocks) {
  const qf::mesh_data mesh = mesh_value(points, blocks);
  qf::mesh_data skin;
  check_layer(unlocked([&] { return qf::mesh_boundary(mesh, skin); }), "boundary");
  return mesh_arrays(skin)[1];
}

py::object range_dict(const qf::value_range& r) {
  if (r.count == 0) return py::none();
  py::dict d;
  d["min"] = r.min;
  d["mean"] = r.mean();
  d["max"] = r.max;
  return d;
}

py::object optional_count(bool known, std::size_t count) {
  return known ? py::object(py::int_(count)) : py::object(py::none());
}

// The keys and meanings of the command-line tool's `info --json`.
py::dict statistics(py::handle points, const py::list& blocks, unsigned threads) {
  const qf::mesh_data mesh = mesh_value(points, blocks);
  qf::mesh_statistics s;
  check_layer(unlocked([&] { return qf::measure_mesh(mesh, s, threads); }), "statistics");
  py::dict d, cells;
  d["nodes"] = s.nodes;
  d["dimension"] = s.dimension;
  d["space_dimension"] = s.space_dimension;
  py::dict cell_quality;
  for (const qf::kind_statistics& k : s.blocks) {
    cells[qf::cell_name(k.type)] = k.elements;
    if (!k.quality.count) continue;
    py::object q = range_dict(k.quality);
    q["worst"] = k.worst;
    q["nonpositive_jacobians"] = k.nonpositive_jacobians;
    cell_quality[qf::cell_name(k.type)] = q;
  }
  d["cells"] = cells;
  d["cell_quality"] = cell_quality;
  d["bounding_box"] =
      s.has_box ? py::object(py::make_tuple(py::make_tuple(s.box[0][0], s.box[0][1], s.box[0][2]),
                                            py::make_tuple(s.box[1][0], s.box[1][1], s.box[1][2])))
                : py::object(py::none());
  d["boundary_faces"] = optional_count(s.has_topology, s.boundary_faces);
  d["parts"] = optional_count(s.has_topology, s.parts);
  d["non_manifold_faces"] = optional_count(s.has_topology, s.non_manifold_faces);
  d["coincident_nodes"] = s.coincident_nodes;
  d["nonpositive_jacobians"] = s.nonpositive_jacobians;
  d["edge_length"] = range_dict(s.edge_length);
  py::object quality = range_dict(s.quality);
  if (s.quality.count)
    quality["worst"] =
        py::dict(py::arg("cell") = qf::cell_name(s.blocks[s.worst_block].type),
                 py::arg("block") = s.worst_block, py::arg("index") = s.worst_element);
  d["quality"] = quality;
  return d;
}

// Returns (sizes (nodes,), nodes changed by the gradation).
py::tuple sizes(py::handle points, const py::list& blocks, double p, double gradation,
                unsigned threads) {
  const qf::mesh_data mesh = mesh_value(points, blocks);
  dense1D<double> h;
  int changed = 0;
  check_layer(unlocked([&] { return qf::mesh_size_map(mesh, p, gradation, h, changed, threads); }),
              "sizes", ", got p = " + number(p) + ", gradation = " + number(gradation));
  return py::make_tuple(out(h), changed);
}

}  // namespace

void bind_whole_mesh(py::module_& m) {
  m.def("_clean", &clean, py::arg("points"), py::arg("blocks"), py::arg("tol"), py::arg("threads"));
  m.def("_boundary", &boundary, py::arg("points"), py::arg("blocks"));
  m.def("_statistics", &statistics, py::arg("points"), py::arg("blocks"), py::arg("threads"));
  m.def("_sizes", &sizes, py::arg("points"), py::arg("blocks"), py::arg("p"), py::arg("gradation"),
        py::arg("threads"));
}

}  // namespace quernfold_py
