// Clean-up of a whole mesh: merge close nodes, remove the elements that
// degenerate, drop the nodes no element uses; references and fields follow
// their elements and nodes.
#include <algorithm>
#include <cmath>
#include <vector>

#include "quernfold/mesh.h"
#include "quernfold/search.h"

namespace ovk {
namespace quernfold {
namespace {

// Merge mode of the range form: one pass, chains resolved.
constexpr unsigned kOnePass = 0;
// simplify: every node may go.
constexpr unsigned kFromFirstNode = 0;

// Moves column j of `m` to column map[j] (old -> new, ~0U: removed; kept
// columns in their order, so moving forward is safe) and keeps `count`.
template <class Matrix>
bool keep_columns(Matrix& m, const dense1D<unsigned>& map, std::size_t count) {
  const std::size_t rows = m.rows();
  for (std::size_t j = 0; j < map.size() && j < m.cols(); ++j)
    if (map[j] != no_index && map[j] != j)
      std::copy(m.column(j), m.column(j) + rows, m.column(map[j]));
  return m.resize(rows, count);
}

bool keep_entries(dense1D<unsigned>& v, const dense1D<unsigned>& map, std::size_t count) {
  if (v.empty()) return true;
  for (std::size_t j = 0; j < map.size() && j < v.size(); ++j)
    if (map[j] != no_index) v[map[j]] = v[j];
  return v.resize(count);
}

std::vector<dense2D<unsigned>> block_matrices(const mesh_data& mesh) {
  std::vector<dense2D<unsigned>> matrices;
  for (const mesh_block& b : mesh.blocks) matrices.push_back(b.connectM);
  return matrices;
}

// `out` as `in` with storage of its own.
bool deep_copy(const mesh_data& in, mesh_data& out) {
  out = mesh_data();
  out.physical_names = in.physical_names;
  out.point_fields = in.point_fields;
  out.cell_fields = in.cell_fields;
  out.blocks.resize(in.blocks.size());
  bool ok = out.coords.copy(in.coords);
  for (std::size_t b = 0; ok && b < in.blocks.size(); ++b) {
    out.blocks[b].type = in.blocks[b].type;
    ok = out.blocks[b].connectM.copy(in.blocks[b].connectM) &&
         out.blocks[b].refs.copy(in.blocks[b].refs) &&
         out.blocks[b].entities.copy(in.blocks[b].entities);
  }
  for (point_field& f : out.point_fields) ok = ok && f.values.copy(dense2D<double>(f.values));
  for (cell_field& f : out.cell_fields)
    for (dense2D<double>& m : f.values) ok = ok && m.copy(dense2D<double>(m));
  return ok;
}

// Removes the elements of block b that name a node twice; its references,
// entity tags and cell fields follow. Returns the number removed or no_memory.
int drop_degenerate(mesh_data& mesh, std::size_t b, dense1D<unsigned>& map) {
  mesh_block& block = mesh.blocks[b];
  const int removed = remove_degenerated(block.connectM, map, true);
  if (removed <= 0) return removed;
  const std::size_t kept = block.connectM.cols();
  bool ok = keep_entries(block.refs, map, kept) && keep_entries(block.entities, map, kept);
  for (cell_field& f : mesh.cell_fields) ok = ok && keep_columns(f.values[b], map, kept);
  return ok ? removed : no_memory;
}

// Old node -> representative (merged) -> kept node (used); the identity
// when neither step gave a map.
bool compose_node_map(const dense1D<unsigned>& merged, const dense1D<unsigned>& used,
                      std::size_t nodes, dense1D<unsigned>& map) {
  if (merged.empty() && used.empty()) {
    if (!map.resize(nodes)) return false;
    for (std::size_t i = 0; i < nodes; ++i) map[i] = static_cast<unsigned>(i);
    return true;
  }
  if (!map.copy(merged.empty() ? used : merged)) return false;
  if (!merged.empty() && !used.empty()) change_indices(map, used);
  return true;
}

int clean_steps(mesh_data& out, double tol, clean_report& report, unsigned threads) {
  std::vector<dense2D<unsigned>> matrices = block_matrices(out);
  dense1D<unsigned> merged, used;
  const std::size_t nodes = out.coords.cols();
  report.merged = merge(out.coords, matrices.data(), matrices.data() + matrices.size(), merged, tol,
                        kOnePass, threads);
  if (report.merged < 0) return report.merged;
  report.element_maps.resize(out.blocks.size());
  for (std::size_t b = 0; b < out.blocks.size(); ++b) {
    const int removed = drop_degenerate(out, b, report.element_maps[b]);
    if (removed < 0) return removed;
    report.elements_removed += static_cast<std::size_t>(removed);
  }
  const int dropped = drop_unused_nodes(out, used);
  if (dropped < 0) return dropped;
  report.nodes_removed = static_cast<std::size_t>(dropped);
  return compose_node_map(merged, used, nodes, report.node_map) ? 0 : no_memory;
}

}  // namespace

bool mesh_fields_fit(const mesh_data& mesh) {
  for (const point_field& f : mesh.point_fields)
    if (f.values.cols() != mesh.coords.cols()) return false;
  for (const cell_field& f : mesh.cell_fields) {
    if (f.values.size() != mesh.blocks.size()) return false;
    for (std::size_t b = 0; b < f.values.size(); ++b)
      if (f.values[b].cols() != mesh.blocks[b].connectM.cols() ||
          f.values[b].rows() != f.values[0].rows())
        return false;
  }
  return true;
}

int drop_unused_nodes(mesh_data& mesh, dense1D<unsigned>& node_map) {
  std::vector<dense2D<unsigned>> matrices = block_matrices(mesh);
  const int removed = simplify(mesh.coords, matrices.data(), matrices.data() + matrices.size(),
                               node_map, kFromFirstNode);
  if (removed < 0) return removed;
  for (std::size_t b = 0; b < matrices.size(); ++b) mesh.blocks[b].connectM = matrices[b];
  for (point_field& f : mesh.point_fields)
    if (!node_map.empty() && !keep_columns(f.values, node_map, mesh.coords.cols()))
      return no_memory;
  return removed;
}

int clean_mesh(const mesh_data& in, double tol, mesh_data& out, clean_report& report) {
  return clean_mesh(in, tol, out, report, 1);
}

int clean_mesh(const mesh_data& in, double tol, mesh_data& out, clean_report& report,
               unsigned threads) {
  report = clean_report();
  out = mesh_data();
  if (!(tol >= 0) || !std::isfinite(tol)) return mesh_bad_tolerance;
  if (!mesh_fields_fit(in)) return mesh_bad_field;
  int code = deep_copy(in, out) ? 0 : no_memory;
  if (code == 0) code = clean_steps(out, tol, report, threads);
  if (code != 0) out = mesh_data();
  return code;
}

}  // namespace quernfold
}  // namespace ovk
