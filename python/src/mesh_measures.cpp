// The whole-mesh measures: sizes of cells, normals, closure and winding,
// parts, edges, outline and triangulation, each one call of the library's
// whole-mesh layer.
#include <algorithm>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "arrays.h"

namespace quernfold_py {

namespace {

void check_mesh_code(int code, const char* operation) {
  check(
      code, operation,
      {{qf::mesh_no_faces, std::string(operation) + ": the mesh has no cells of dimension 1 to 3"},
       {qf::mesh_wrong_dimension, std::string(operation) + ": the mesh is not a surface"}});
}

// [array per block] of signed lengths, areas or volumes.
py::list cell_sizes(py::handle points, const py::list& blocks, unsigned threads) {
  const qf::mesh_data mesh = mesh_value(points, blocks);
  py::list sizes;
  for (const qf::mesh_block& b : mesh.blocks) {
    dense1D<double> s;
    check_mesh_code(unlocked([&] { return qf::cell_sizes(mesh.coords, b, s, threads); }),
                    "cell_sizes");
    sizes.append(out(s));
  }
  return sizes;
}

// [array per block] of one named quality measure.
py::list cell_qualities(py::handle points, const py::list& blocks, const std::string& name,
                        unsigned threads) {
  static const std::pair<const char*, qf::quality_measure> kNames[] = {
      {"shape", qf::quality_measure::shape},
      {"aspect_ratio", qf::quality_measure::aspect_ratio},
      {"radius_ratio", qf::quality_measure::radius_ratio},
      {"min_angle", qf::quality_measure::min_angle},
      {"scaled_jacobian", qf::quality_measure::scaled_jacobian}};
  const auto* found = std::find_if(std::begin(kNames), std::end(kNames),
                                   [&](const auto& n) { return name == n.first; });
  if (found == std::end(kNames))
    fail("unknown quality measure '" + name +
         "' (known: shape, aspect_ratio, radius_ratio, min_angle, scaled_jacobian)");
  const qf::mesh_data mesh = mesh_value(points, blocks);
  py::list values;
  for (const qf::mesh_block& b : mesh.blocks) {
    dense1D<double> q;
    check(unlocked([&] { return qf::cell_qualities(mesh.coords, b, found->second, q, threads); }),
          "cell_qualities");
    values.append(out(q));
  }
  return values;
}

using normals_fn = int (*)(const dense2D<double>&, const dense2D<unsigned>&, dense2D<double>&);

py::array normals(py::handle points, py::handle triangles, normals_fn fn, const char* operation) {
  const dense2D<double> p = points_in(points);
  const dense2D<unsigned> t = cells_as_given(triangles, qf::ET_TRIA3, "triangles");
  dense2D<double> n;
  const int code = unlocked([&] { return fn(p, t, n); });
  if (code == -2) name_missing_node(t, p.cols(), "triangles");
  check(code, operation);
  return out(n);
}

py::array face_normals(py::handle points, py::handle triangles) {
  return normals(points, triangles, &qf::face_normals, "face_normals");
}

py::array vertex_normals(py::handle points, py::handle triangles) {
  return normals(points, triangles, &qf::vertex_normals, "vertex_normals");
}

py::dict facets(py::handle points, const py::list& blocks) {
  const qf::mesh_data mesh = mesh_value(points, blocks);
  qf::facet_report r;
  check_mesh_code(unlocked([&] { return qf::check_facets(mesh, r); }), "facets");
  py::dict d;
  d["dimension"] = r.dimension;
  d["facets"] = r.facets;
  d["open"] = r.open;
  d["shared"] = r.shared;
  d["crowded"] = r.crowded;
  d["misturned"] = r.misturned;
  d["watertight"] = r.watertight;
  d["winding_consistent"] = r.winding_consistent;
  return d;
}

// [(points, [(type, cells, refs or None)])], one per part.
py::list parts(py::handle points, const py::list& blocks, unsigned threads) {
  const qf::mesh_data mesh = mesh_value(points, blocks);
  std::vector<qf::mesh_data> split;
  check_mesh_code(unlocked([&] { return qf::split_parts(mesh, split, threads); }),
                  "connected_parts");
  py::list result;
  for (qf::mesh_data& part : split) result.append(mesh_arrays(part));
  return result;
}

py::array edges(py::handle points, const py::list& blocks, unsigned threads) {
  const qf::mesh_data mesh = mesh_value(points, blocks);
  dense2D<unsigned> e;
  check_mesh_code(unlocked([&] { return qf::mesh_edges(mesh, e, threads); }), "unique_edges");
  return out(e);
}

py::list outline(py::handle points, const py::list& blocks) {
  const qf::mesh_data mesh = mesh_value(points, blocks);
  qf::mesh_data lines;
  check_mesh_code(unlocked([&] { return qf::mesh_outline(mesh, lines); }), "outline");
  return mesh_arrays(lines)[1];
}

py::tuple triangulate(py::handle points, const py::list& blocks) {
  const qf::mesh_data mesh = mesh_value(points, blocks);
  qf::mesh_data pieces;
  check_mesh_code(unlocked([&] { return qf::triangulate_mesh(mesh, pieces); }), "triangulate");
  return mesh_arrays(pieces);
}

}  // namespace

void bind_mesh_measures(py::module_& m) {
  m.def("_cell_dimensions", [] {
    py::dict d;
    for (std::size_t k = 0; k < qf::named_kind_count(); ++k)
      d[qf::cell_name(qf::named_kind(k))] = qf::element_dim(qf::named_kind(k));
    return d;
  });
  m.def("_cell_sizes", &cell_sizes, py::arg("points"), py::arg("blocks"), py::arg("threads"));
  m.def("face_normals", &face_normals, py::arg("points"), py::arg("triangles"),
        R"(Unit normal of every triangle, float64 (triangles, 3).

points: float64 (nodes, 2 | 3) (2-D points read z = 0); triangles: integer
(triangles, 3). Right-hand rule over nodes 0-1-2 (counter-clockwise seen
from the side the normal points to); a triangle without area gets (0, 0, 0).)");
  m.def("vertex_normals", &vertex_normals, py::arg("points"), py::arg("triangles"),
        R"(Area-weighted unit normal of every node, float64 (nodes, 3).

Arguments as for face_normals. The sum of the cross products of the
triangles at the node (each twice its triangle's area), normalised; nodes on
no triangle, or whose sum vanishes, get (0, 0, 0).)");
  m.def("_cell_qualities", &cell_qualities, py::arg("points"), py::arg("blocks"),
        py::arg("measure"), py::arg("threads"));
  m.def("_facets", &facets, py::arg("points"), py::arg("blocks"));
  m.def("_parts", &parts, py::arg("points"), py::arg("blocks"), py::arg("threads"));
  m.def("_edges", &edges, py::arg("points"), py::arg("blocks"), py::arg("threads"));
  m.def("_outline", &outline, py::arg("points"), py::arg("blocks"));
  m.def("_triangulate", &triangulate, py::arg("points"), py::arg("blocks"));
}

}  // namespace quernfold_py
