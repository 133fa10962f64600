// Whole meshes to and from files: reading with the format the content
// shows, and what a write will keep, checked before anything is written.
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <new>
#include <system_error>

#include "common/parallel.h"
#include "quernfold/io.h"
#include "quernfold/mesh.h"

namespace ovk {
namespace quernfold {
namespace {

// File names of the formats written in text or binary form (STL, VTK XML).
constexpr const char* kBinaryWritten[] = {"binary.stl", "binary.vtu"};

// The format to read `path` with: the content's when it shows a readable
// format other than the extension's.
const mesh_format* format_to_read(const char* path, bool& from_content) {
  const mesh_format* by_name = find_mesh_format(path);
  const mesh_format* by_content = detect_mesh_format(path);
  from_content = by_content && by_content != by_name;
  return from_content ? by_content : by_name;
}

// Length of the diagonal of the bounding box of the finite coordinates.
double box_diagonal(const dense2D<double>& coords) {
  double sum = 0.0;
  for (std::size_t i = 0; i < coords.rows(); ++i) {
    double low = HUGE_VAL, high = -HUGE_VAL;
    for (std::size_t j = 0; j < coords.cols(); ++j)
      if (std::isfinite(coords(i, j)))
        low = std::min(low, coords(i, j)), high = std::max(high, coords(i, j));
    if (high >= low) sum += (high - low) * (high - low);
  }
  return std::sqrt(sum);
}

// The nodes that `written` moves by more than `fraction` of the mesh's
// size, and the largest move as a fraction of it.
void measure_moves(const dense2D<double>& coords, const dense2D<double>& written, double allowed,
                   write_plan& plan) {
  const double size = box_diagonal(coords);
  for (std::size_t j = 0; j < coords.cols(); ++j) {
    double move = 0.0;
    for (std::size_t i = 0; i < coords.rows(); ++i)
      move = std::max(move, std::fabs(written(i, j) - coords(i, j)));
    if (!(move > 0.0)) continue;
    const double fraction = size > 0.0 ? move / size : HUGE_VAL;
    plan.largest_move = std::max(plan.largest_move, fraction);
    if (fraction > allowed) ++plan.imprecise_nodes;
  }
}

// What rounding the coordinates as `format` writes them does: the nodes it
// makes coincide and the elements it inverts, beyond the mesh's own
// (measured on `threads` threads), and the nodes it moves by more than the
// format's size_fraction of the mesh's size.
int measure_rounding(const mesh_data& mesh, const mesh_format& format, unsigned threads,
                     write_plan& plan) {
  mesh_data written = mesh;
  written.coords = dense2D<double>();
  if (!written.coords.resize(mesh.coords.rows(), mesh.coords.cols())) return no_memory;
  for (std::size_t j = 0; j < mesh.coords.cols(); ++j)
    for (std::size_t i = 0; i < mesh.coords.rows(); ++i)
      written.coords(i, j) = format.written_value(mesh.coords(i, j));
  if (format.size_fraction > 0.0)
    measure_moves(mesh.coords, written.coords, format.size_fraction, plan);
  mesh_statistics before, after;
  if (int code = measure_mesh(mesh, before, threads)) return code;
  if (int code = measure_mesh(written, after, threads)) return code;
  const auto beyond = [](std::size_t a, std::size_t b) { return a > b ? a - b : 0; };
  plan.coincident_nodes = beyond(after.coincident_nodes, before.coincident_nodes);
  plan.inverted_elements = beyond(after.nonpositive_jacobians, before.nonpositive_jacobians);
  return 0;
}

// Reads `path` in `format`, as read_mesh reads the extension's format.
int read_in(const char* path, const mesh_format& format, mesh_data& mesh, unsigned threads) {
  mesh = mesh_data();
  if (!format.read) return mesh_not_supported;
  std::error_code ec;
  const std::filesystem::file_status status = std::filesystem::status(path, ec);
  if (ec || !std::filesystem::exists(status)) return -1;
  if (!std::filesystem::is_regular_file(status)) return mesh_not_a_file;
  const int code = format.read(path, mesh, detail::thread_count(threads));
  if (code != 0) return code;
  node_reference where;
  return find_missing_node(mesh, where) ? mesh_missing_node : 0;
}

}  // namespace

int load_mesh(const char* path, mesh_data& mesh, read_report& report, const mesh_format* as,
              unsigned threads) try {
  report.from_content = false;
  report.binary = false;
  report.format = as ? as : format_to_read(path, report.from_content);
  const int code = as || report.from_content ? read_in(path, *report.format, mesh, threads)
                                             : read_mesh(path, mesh, &report.format, threads);
  if (code != 0) return code;
  report.binary = is_binary_mesh_file(path);
  if (mesh.coords.cols() == 0 && mesh.elements() == 0) {
    mesh = mesh_data();
    return mesh_nothing_read;
  }
  return 0;
} catch (const std::bad_alloc&) {
  return no_memory;
}

bool has_binary_form(const mesh_format* format) {
  if (!format || !format->write) return false;
  for (const char* name : kBinaryWritten)
    if (format == find_mesh_format(name)) return true;
  return false;
}

int plan_mesh_write(const char* path, const mesh_data& mesh, write_plan& plan) {
  return plan_mesh_write(path, mesh, plan, 1);
}

int plan_mesh_write(const char* path, const mesh_data& mesh, write_plan& plan,
                    unsigned threads) try {
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
  return plan.format->written_value && plan.kept
             ? measure_rounding(mesh, *plan.format, threads, plan)
             : 0;
} catch (const std::bad_alloc&) {
  return no_memory;
}

}  // namespace quernfold
}  // namespace ovk
