// Whole meshes read from and written to files through the library's format
// table (the format follows the file name's extension).
#include <string>

#include "arrays.h"

namespace quernfold_py {

namespace {

// Returns (points (nodes, d), [(type, cells, refs or None)]), cells in
// meshio's node order.
py::tuple read(const std::string& path) {
  qf::mesh_data mesh;
  const qf::mesh_format* format = nullptr;
  const int code = unlocked([&] { return qf::read_mesh(path.c_str(), mesh, &format); });
  if (code == qf::mesh_missing_node) {
    qf::node_reference at;
    qf::find_missing_node(mesh, at);
    fail(path + ": element " + std::to_string(at.element) + " of the '" +
         cell_name(mesh.blocks[at.block].type) + "' cells references node " +
         std::to_string(at.node) + " of " + std::to_string(mesh.coords.cols()));
  }
  check_memory(code);
  if (code < 0) fail(path + ": " + qf::mesh_file_message(format, code, true));
  py::list blocks;
  for (qf::mesh_block& b : mesh.blocks) {
    unlocked([&] { return reorder(b.connectM, b.type, false), 0; });
    blocks.append(py::make_tuple(cell_name(b.type), out(b.connectM),
                                 b.refs.empty() ? py::object(py::none()) : out(b.refs)));
  }
  return py::make_tuple(out(mesh.coords), blocks);
}

// blocks: [(type, cells, refs or None)].
void write(const std::string& path, py::handle points, const py::list& blocks, bool binary) {
  qf::mesh_data mesh;
  mesh.coords = points_in(points);
  for (const py::handle item : blocks) {
    const auto block = item.cast<py::tuple>();
    qf::mesh_block b;
    const std::string name = block[0].cast<std::string>();
    b.type = cell_kind(name);
    b.connectM = cells_in(block[1], b.type);
    check_nodes(b.connectM, b.type, mesh.coords.cols());
    if (!block[2].is_none()) b.refs = indices_in(block[2], "refs");
    if (!b.refs.empty() && b.refs.size() != b.connectM.cols())
      fail("the refs of the '" + name + "' cells must hold one entry per cell");
    mesh.blocks.push_back(b);
  }
  qf::write_options options;
  options.binary = binary;
  const int code = unlocked([&] { return qf::write_mesh(path.c_str(), mesh, options); });
  check_memory(code);
  if (code < 0)
    fail(path + ": " + qf::mesh_file_message(qf::find_mesh_format(path.c_str()), code, false));
}

// Every format of the table: (name, extensions, readable, writable).
py::list formats() {
  std::size_t count = 0;
  const qf::mesh_format* table = qf::mesh_formats(count);
  py::list all;
  for (std::size_t k = 0; k < count; ++k)
    all.append(py::make_tuple(table[k].name, py::str(table[k].extensions).attr("split")(),
                              table[k].read != nullptr, table[k].write != nullptr));
  return all;
}

}  // namespace

void bind_files(py::module_& m) {
  m.def("formats", &formats, R"(The mesh file formats: a list of (name, extensions, readable,
writable); read and write choose among them by the file name's extension.)");
  m.def("_read", &read, py::arg("path"));
  m.def("_write", &write, py::arg("path"), py::arg("points"), py::arg("blocks"), py::arg("binary"));
}

}  // namespace quernfold_py
