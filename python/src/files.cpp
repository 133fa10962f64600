// Whole meshes read from and written to files through the library's
// whole-mesh layer (the format of the content when the extension names
// another or none; written in the format of the extension).
#include <string>

#include "arrays.h"

namespace quernfold_py {

namespace {

// Returns (points (nodes, d), [(type, cells, refs or None)], format name,
// whether the format came from the content), cells in meshio's node order.
py::tuple read(const std::string& path) {
  qf::mesh_data mesh;
  qf::read_report report;
  const int code = unlocked([&] { return qf::load_mesh(path.c_str(), mesh, report); });
  if (code == qf::mesh_missing_node) {
    qf::node_reference at;
    qf::find_missing_node(mesh, at);
    fail(path + ": element " + std::to_string(at.element) + " of the '" +
         qf::cell_name(mesh.blocks[at.block].type) + "' cells references node " +
         std::to_string(at.node) + " of " + std::to_string(mesh.coords.cols()));
  }
  check_memory(code);
  if (code < 0) fail(path + ": " + qf::mesh_file_message(report.format, code, true));
  const py::tuple points_blocks = mesh_arrays(mesh);
  return py::make_tuple(points_blocks[0], points_blocks[1], report.format->name,
                        report.from_content);
}

// blocks: [(type, cells, refs or None)]. Returns ([(block, left out, loss in
// words)] for the blocks the format does not hold whole, nodes made
// coincident, elements inverted by the format's precision).
py::tuple write(const std::string& path, py::handle points, const py::list& blocks, bool binary) {
  const qf::mesh_data mesh = mesh_value(points, blocks);
  qf::write_plan plan;
  const int planned = qf::plan_mesh_write(path.c_str(), mesh, plan);
  if (planned == qf::mesh_nothing_written)
    fail(path + ": " + plan.format->name + " holds none of the " + std::to_string(mesh.elements()) +
         " elements; nothing written");
  qf::write_options options;
  options.binary = binary;
  const int code =
      planned ? planned : unlocked([&] { return qf::write_mesh(path.c_str(), mesh, options); });
  check_memory(code);
  if (code < 0) fail(path + ": " + qf::mesh_file_message(plan.format, code, false));
  py::list losses;
  for (const qf::block_loss& l : plan.losses)
    losses.append(py::make_tuple(l.block, !l.written, l.loss));
  return py::make_tuple(losses, plan.coincident_nodes, plan.inverted_elements);
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
writable); write chooses among them by the file name's extension, read by the
file's content (the extension's format when the content shows none).)");
  m.def("_read", &read, py::arg("path"));
  m.def("_write", &write, py::arg("path"), py::arg("points"), py::arg("blocks"), py::arg("binary"));
}

}  // namespace quernfold_py
