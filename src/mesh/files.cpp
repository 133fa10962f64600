// Whole meshes to and from files: reading with the format the content
// shows, and what a write will keep, checked before anything is written.
#include <new>

#include "quernfold/io.h"
#include "quernfold/mesh.h"

namespace ovk {
namespace quernfold {
namespace {

// The format to read `path` with: the content's when it shows a readable
// format other than the extension's.
const mesh_format* format_to_read(const char* path, bool& from_content) {
  const mesh_format* by_name = find_mesh_format(path);
  const mesh_format* by_content = detect_mesh_format(path);
  from_content = by_content && by_content != by_name;
  return from_content ? by_content : by_name;
}

// What rounding the coordinates as `format` writes them does: the nodes it
// makes coincide and the elements it inverts, beyond the mesh's own.
int measure_rounding(const mesh_data& mesh, const mesh_format& format, write_plan& plan) {
  mesh_data written = mesh;
  written.coords = dense2D<double>();
  if (!written.coords.resize(mesh.coords.rows(), mesh.coords.cols())) return no_memory;
  for (std::size_t j = 0; j < mesh.coords.cols(); ++j)
    for (std::size_t i = 0; i < mesh.coords.rows(); ++i)
      written.coords(i, j) = format.written_value(mesh.coords(i, j));
  mesh_statistics before, after;
  if (int code = measure_mesh(mesh, before)) return code;
  if (int code = measure_mesh(written, after)) return code;
  const auto beyond = [](std::size_t a, std::size_t b) { return a > b ? a - b : 0; };
  plan.coincident_nodes = beyond(after.coincident_nodes, before.coincident_nodes);
  plan.inverted_elements = beyond(after.nonpositive_jacobians, before.nonpositive_jacobians);
  return 0;
}

}  // namespace

int load_mesh(const char* path, mesh_data& mesh, read_report& report) try {
  report.format = format_to_read(path, report.from_content);
  if (!report.from_content) return read_mesh(path, mesh, &report.format);
  // The content's format read as read_mesh reads the extension's (the file
  // is a regular file: the content was read).
  mesh = mesh_data();
  const int code = report.format->read(path, mesh);
  if (code != 0) return code;
  node_reference where;
  return find_missing_node(mesh, where) ? mesh_missing_node : 0;
} catch (const std::bad_alloc&) {
  return no_memory;
}

int plan_mesh_write(const char* path, const mesh_data& mesh, write_plan& plan) try {
  plan = write_plan();
  plan.format = find_mesh_format(path);
  if (!plan.format) return mesh_unknown_format;
  if (!plan.format->write) return mesh_not_supported;
  for (std::size_t b = 0; b < mesh.blocks.size(); ++b) {
    const std::size_t count = mesh.blocks[b].connectM.cols();
    const element_fate fate = plan.format->fate(mesh.blocks[b].type);
    if (fate.written) plan.kept += count;
    if (count && (!fate.written || fate.loss)) plan.losses.push_back({b, fate.written, fate.loss});
  }
  if (plan.kept == 0 && mesh.elements() > 0) return mesh_nothing_written;
  return plan.format->written_value && plan.kept ? measure_rounding(mesh, *plan.format, plan) : 0;
} catch (const std::bad_alloc&) {
  return no_memory;
}

}  // namespace quernfold
}  // namespace ovk
