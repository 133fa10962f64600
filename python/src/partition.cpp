// Partitioning on numpy arrays: the face-dual graph in CSR form, METIS parts
// of a mesh's elements, the split into one mesh per part and its inverse.
#include <cstdint>
#include <string>
#include <vector>

#include "arrays.h"

namespace quernfold_py {

namespace {

// A copy of a library vector as a 1-D numpy array of dtype To.
template <class To, class From>
py::array vector_out(const std::vector<From>& v) {
  py::array_t<To> a(static_cast<py::ssize_t>(v.size()));
  To* p = a.mutable_data();
  for (std::size_t k = 0; k < v.size(); ++k) p[k] = static_cast<To>(v[k]);
  return a;
}

// A 1-D integer array as a vector (converted once).
template <class To>
std::vector<To> vector_in(py::handle array, const char* name) {
  const auto a = py::array_t<To, py::array::c_style | py::array::forcecast>::ensure(array);
  if (!a || a.ndim() != 1) fail(std::string(name) + " must be a 1-D integer array");
  return std::vector<To>(a.data(), a.data() + a.size());
}

void check_partition(int code, const char* operation) {
  check(
      code, operation,
      {{qf::partition_bad_type, "a cell kind without faces or a malformed block"},
       {qf::partition_too_large, "more elements or graph entries than METIS's 32-bit index holds"},
       {qf::partition_bad_parts, "n must be >= 1 and every part number below n"},
       {qf::partition_bad_weights, "weights must hold one positive integer per cell"},
       {qf::partition_metis_failed, "METIS failed"},
       {qf::partition_bad_split, "parts must hold one entry per cell and ghosts be 0 or 1"},
       {qf::partition_bad_parts_list, "the parts do not fit together"}});
}

// (indptr int64 (elements + 1,), indices int32 (2 x edges,)).
py::tuple dual_graph(py::handle points, const py::list& blocks) {
  const qf::mesh_data mesh = mesh_value(points, blocks);
  qf::csr_graph g;
  check_partition(unlocked([&] { return qf::get_dual_graph(mesh, g); }), "dual_graph");
  return py::make_tuple(vector_out<std::int64_t>(g.xadj), vector_out<std::int32_t>(g.adjncy));
}

// (parts uint32 (elements,), edge cut, imbalance).
py::tuple partition(py::handle points, const py::list& blocks, unsigned n, int seed,
                    py::handle weights) {
  const qf::mesh_data mesh = mesh_value(points, blocks);
  qf::partition_options options;
  options.seed = seed;
  if (!weights.is_none()) options.weights = vector_in<std::int32_t>(weights, "weights");
  qf::partition_result r;
  check_partition(unlocked([&] { return qf::partition_mesh(mesh, n, options, r); }), "partition");
  return py::make_tuple(vector_out<std::uint32_t>(r.part), r.edge_cut, r.imbalance);
}

// One part as (points, blocks, global nodes, global cells, ghost flags, node
// owners, neighbours, [shared nodes per neighbour], part, parts).
py::tuple part_arrays(qf::part_mesh& p) {
  const py::tuple arrays = mesh_arrays(p.mesh);
  py::list shared;
  for (const std::vector<std::uint64_t>& s : p.shared_nodes)
    shared.append(vector_out<std::int64_t>(s));
  return py::make_tuple(arrays[0], arrays[1], vector_out<std::int64_t>(p.global_nodes),
                        vector_out<std::int64_t>(p.global_elements),
                        vector_out<std::uint8_t>(p.ghost_elements),
                        vector_out<std::uint32_t>(p.node_owner),
                        vector_out<std::uint32_t>(p.neighbours), shared, p.part, p.parts);
}

qf::part_mesh part_value(const py::tuple& t) {
  qf::part_mesh p;
  p.mesh = mesh_value(t[0], t[1].cast<py::list>());
  p.global_nodes = vector_in<std::uint64_t>(t[2], "global_node_ids");
  p.global_elements = vector_in<std::uint64_t>(t[3], "global_cell_ids");
  p.ghost_elements = vector_in<unsigned char>(t[4], "ghost_cells");
  p.node_owner = vector_in<unsigned>(t[5], "node_owner");
  p.neighbours = vector_in<unsigned>(t[6], "neighbours");
  for (const py::handle s : t[7].cast<py::list>())
    p.shared_nodes.push_back(vector_in<std::uint64_t>(s, "shared_nodes"));
  p.part = t[8].cast<unsigned>();
  p.parts = t[9].cast<unsigned>();
  return p;
}

py::list split(py::handle points, const py::list& blocks, py::handle parts, unsigned n,
               unsigned ghosts) {
  const qf::mesh_data mesh = mesh_value(points, blocks);
  const std::vector<unsigned> element_part = vector_in<unsigned>(parts, "parts");
  std::vector<qf::part_mesh> pieces;
  check_partition(unlocked([&] { return qf::split_mesh(mesh, element_part, n, ghosts, pieces); }),
                  "split");
  py::list result;
  for (qf::part_mesh& p : pieces) result.append(part_arrays(p));
  return result;
}

// (points, blocks) of the whole mesh.
py::tuple assemble(const py::list& parts) {
  std::vector<qf::part_mesh> pieces;
  for (const py::handle t : parts) pieces.push_back(part_value(t.cast<py::tuple>()));
  qf::mesh_data mesh;
  check_partition(unlocked([&] { return qf::assemble_mesh(pieces, mesh); }), "assemble");
  return mesh_arrays(mesh);
}

}  // namespace

void bind_partition(py::module_& m) {
  m.def("_dual_graph", &dual_graph, py::arg("points"), py::arg("blocks"));
  m.def("_partition", &partition, py::arg("points"), py::arg("blocks"), py::arg("n"),
        py::arg("seed"), py::arg("weights"));
  m.def("_split", &split, py::arg("points"), py::arg("blocks"), py::arg("parts"), py::arg("n"),
        py::arg("ghosts"));
  m.def("_assemble", &assemble, py::arg("parts"));
}

}  // namespace quernfold_py
