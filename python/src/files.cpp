// Whole meshes read from and written to files through the library's
// whole-mesh layer (the format of the content when the extension names
// another or none; written in the format of the extension).
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "arrays.h"

namespace quernfold_py {

namespace {

// Why a read failed: the format's words, with the system's reason when the
// file cannot be opened and the format of the content when it differs.
std::string read_words(const std::string& path, const qf::mesh_format* format, int code,
                       std::size_t line) {
  std::string words = qf::mesh_file_message(format, code, true);
  if (line) words += " at line " + std::to_string(line);
  if (code == -1) {
    errno = 0;
    if (std::FILE* f = std::fopen(path.c_str(), "rb"))
      std::fclose(f);
    else
      return "cannot be opened: " + std::string(std::strerror(errno));
  }
  if (format) words += std::string(" as ") + format->name;
  const qf::mesh_format* looks = qf::detect_mesh_format(path.c_str());
  if (looks && looks != format) words += std::string("; its content looks like ") + looks->name;
  return words;
}

// The format of the table of that name, or nullptr for "".
const qf::mesh_format* named_format(const std::string& name) {
  std::size_t count = 0;
  const qf::mesh_format* table = qf::mesh_formats(count);
  for (std::size_t k = 0; k < count; ++k)
    if (name == table[k].name) return &table[k];
  if (!name.empty()) fail("unknown file format " + name);
  return nullptr;
}

// Returns (points (nodes, d), [(type, cells, refs or None)], format name,
// whether the format came from the content, [(dimension, tag, name)] of the
// physical names, [(record, why, count)] of what the reader left out,
// [entity tags or None] per block),
// cells in meshio's node order; `format` ("" for the content's or the
// extension's) names the format to read, `threads` (0: the cores) parse it.
py::tuple read(const std::string& path, const std::string& format, unsigned threads) {
  qf::mesh_data mesh;
  qf::read_report report;
  const qf::mesh_format* as = named_format(format);
  const int code = unlocked([&] { return qf::load_mesh(path.c_str(), mesh, report, as, threads); });
  if (code == qf::mesh_missing_node) {
    qf::node_reference at;
    qf::find_missing_node(mesh, at);
    fail(path + ": element " + std::to_string(at.element) + " of the '" +
         qf::cell_name(mesh.blocks[at.block].type) + "' cells references node " +
         std::to_string(at.node) + " of " + std::to_string(mesh.coords.cols()));
  }
  check_memory(code);
  if (code == qf::mesh_nothing_read)
    fail("no mesh found in " + path + " (read as " + report.format->name + ")");
  if (code < 0) fail(path + ": " + read_words(path, report.format, code, mesh.malformed_line));
  const py::tuple points_blocks = mesh_arrays(mesh);
  py::list names, left_out;
  for (const qf::physical_name& n : mesh.physical_names)
    names.append(py::make_tuple(n.dimension, n.tag, n.name));
  for (const qf::left_out_records& r : mesh.left_out)
    left_out.append(py::make_tuple(r.record, r.why, r.count));
  py::list entities;
  for (const qf::mesh_block& b : mesh.blocks)
    entities.append(b.entities.empty() ? py::object(py::none()) : out(b.entities));
  return py::make_tuple(points_blocks[0], points_blocks[1], report.format->name,
                        report.from_content, names, left_out, entities);
}

// blocks: [(type, cells, refs or None[, entity tags or None])]. Returns ([(block, left out, loss in
// words)] for the blocks the format does not hold whole, nodes made
// coincident, elements inverted by the format's precision).
py::tuple write(const std::string& path, py::handle points, const py::list& blocks,
                py::object binary) {
  const qf::mesh_data mesh = mesh_value(points, blocks);
  qf::write_plan plan;
  const int planned = qf::plan_mesh_write(path.c_str(), mesh, plan);
  if (!binary.is_none() && plan.format && !qf::has_binary_form(plan.format))
    fail(path + ": " + plan.format->name +
         " is written in one form only (binary applies to STL and VTK XML)");
  if (planned == qf::mesh_nothing_written)
    fail(path + ": " + plan.format->name + " holds none of the " + std::to_string(mesh.elements()) +
         " elements; nothing written");
  qf::write_options options;
  options.binary = !binary.is_none() && binary.cast<bool>();
  const int code =
      planned ? planned : unlocked([&] { return qf::write_mesh(path.c_str(), mesh, options); });
  check_memory(code);
  if (code < 0) fail(path + ": " + qf::mesh_file_message(plan.format, code, false));
  py::list losses;
  for (const qf::block_loss& l : plan.losses)
    losses.append(py::make_tuple(l.block, !l.written, l.loss));
  return py::make_tuple(losses, plan.coincident_nodes, plan.inverted_elements, plan.imprecise_nodes,
                        plan.largest_move, plan.format ? plan.format->size_fraction : 0.0,
                        plan.format ? plan.format->name : "");
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
  m.def("_read", &read, py::arg("path"), py::arg("format") = "", py::arg("threads") = 1);
  m.def("_write", &write, py::arg("path"), py::arg("points"), py::arg("blocks"), py::arg("binary"));
}

}  // namespace quernfold_py
