// The tool's commands that transform or measure a mesh: quality, convert,
// clean, boundary and sizemap.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli.h"
#include "commands.h"

namespace cli {
namespace {

using namespace ovk::quernfold;

// Upper end of the last quality bin, a little above 1 so that ideal elements
// fall inside it.
constexpr double kQualityTop = 1.0 + 1e-12;
constexpr double kMaxBins = 1000;
// Extension of the size-map files.
constexpr const char kSolutionExtension[] = ".sol";

bool non_negative(double v) { return v >= 0; }
bool at_least_one(double v) { return v >= 1; }
bool bin_count(double v) { return v >= 1 && v <= kMaxBins && v == std::floor(v); }

// Drops the unused nodes of `mesh` and renumbers its blocks. Returns the
// number removed or a library code.
int drop_unused_nodes(mesh_data& mesh) {
  std::vector<dense2D<unsigned>> matrices = block_matrices(mesh);
  dense1D<unsigned> map;
  const int removed =
      simplify(mesh.coords, matrices.data(), matrices.data() + matrices.size(), map, 0);
  for (std::size_t b = 0; b < matrices.size(); ++b) mesh.blocks[b].connectM = matrices[b];
  return removed;
}

// Removes the elements of one block that name a node twice, keeping the
// references of the others. Returns the number removed or a library code.
int drop_degenerate(mesh_block& block) {
  dense1D<unsigned> kept;
  const int removed = remove_degenerated(block.connectM, kept, true);
  if (removed <= 0 || block.refs.empty()) return removed;
  for (std::size_t j = 0; j < kept.size(); ++j)
    if (kept[j] != no_index) block.refs[kept[j]] = block.refs[j];
  block.refs.resize(block.connectM.cols());
  return removed;
}

struct clean_counts {
  int merged = 0, elements_removed = 0, nodes_removed = 0;
};

int clean_mesh(mesh_data& mesh, double tol, clean_counts& counts) {
  std::vector<dense2D<unsigned>> matrices = block_matrices(mesh);
  dense1D<unsigned> map;
  counts.merged =
      merge(mesh.coords, matrices.data(), matrices.data() + matrices.size(), map, tol, 0);
  if (counts.merged < 0) return counts.merged;
  for (mesh_block& b : mesh.blocks) {
    const int removed = drop_degenerate(b);
    if (removed < 0) return removed;
    counts.elements_removed += removed;
  }
  counts.nodes_removed = drop_unused_nodes(mesh);
  return std::min(counts.nodes_removed, 0);
}

// Boundary face columns of the elements of `dimension` as blocks: triangles
// and quadrangles (4-row columns, ~0U in row 3 for a triangle), edges or end
// points. No block when there is no face.
bool faces_as_blocks(const dense2D<unsigned>& faces, unsigned dimension, mesh_data& out) {
  if (faces.cols() == 0) return true;
  if (dimension < 3) {
    mesh_block b;
    b.type = dimension == 2 ? ET_EDGE2 : ET_NODE;
    b.connectM = faces;
    out.blocks.push_back(b);
    return true;
  }
  mesh_block tria, quad;
  tria.type = ET_TRIA3;
  quad.type = ET_QUAD4;
  std::size_t triangles = 0;
  for (std::size_t j = 0; j < faces.cols(); ++j) triangles += faces(3, j) == no_index;
  if (!tria.connectM.resize(3, triangles) || !quad.connectM.resize(4, faces.cols() - triangles))
    return false;
  std::size_t t = 0, q = 0;
  for (std::size_t j = 0; j < faces.cols(); ++j) {
    const bool is_tria = faces(3, j) == no_index;
    std::copy(faces.column(j), faces.column(j) + (is_tria ? 3 : 4),
              is_tria ? tria.connectM.column(t++) : quad.connectM.column(q++));
  }
  for (mesh_block* b : {&tria, &quad})
    if (b->connectM.cols()) out.blocks.push_back(*b);
  return true;
}

// Size per node from the elements of the highest dimension, then from lower
// ones for the nodes they alone hold. Returns a library code.
int node_sizes(const mesh_data& mesh, double p, dense1D<double>& H) {
  if (!H.resize(mesh.coords.cols(), 0.0)) return no_memory;
  for (unsigned d = mesh_dimension(mesh); d >= 1; --d) {
    combined_mesh c;
    dense1D<double> Hd;
    if (!combine(mesh, d, c)) return no_memory;
    if (c.connect.cols() == 0) continue;
    if (int code = metrics_gen_iso(mesh.coords, c.connect, c.type, Hd, p)) return code;
    for (std::size_t v = 0; v < H.size(); ++v)
      if (H[v] == 0) H[v] = Hd[v];
  }
  return 0;
}

bool has_extension(const std::string& path, const char* ext) {
  const std::size_t n = std::strlen(ext);
  if (path.size() <= n) return false;
  std::string tail = path.substr(path.size() - n);
  std::transform(tail.begin(), tail.end(), tail.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return tail == ext;
}

}  // namespace

int cmd_quality(const invocation& inv) {
  double bins;
  if (!number_option(inv, "--bins", 10, bin_count, bins)) return kUsage;
  mesh_data mesh;
  if (int status = read_input(inv.files[0], mesh, inv)) return status;
  histogram h(0.0, kQualityTop, static_cast<unsigned>(bins));
  for (const mesh_block& b : mesh.blocks) {
    dense2D<unsigned> v;
    dense1D<double> q;
    const element_type kind = linear_kind(b.type);
    if (kind == ET_NODE) continue;
    if (!vertex_matrix(b, v)) return library_failure(inv.files[0], "quality", no_memory, kUnsuited);
    if (int code = shape_qualities(mesh.coords, v, kind, q))
      return library_failure(inv.files[0], "quality", code, kUnsuited);
    for (double x : q) h.process(x);
  }
  if (h.count() == 0) {
    fail(inv.files[0], "no element of a kind with a shape quality");
    return kUnsuited;
  }
  std::printf("%zu elements, quality min %.6f mean %.6f max %.6f\n", h.count(), h.min(), h.mean(),
              h.max());
  if (h.underflow()) std::printf("  < 0         %8zu  (inverted)\n", h.underflow());
  for (std::size_t k = 0; k < h.nbins(); ++k) {
    const double lo = h.bin_lower(k), hi = k + 1 < h.nbins() ? h.bin_lower(k + 1) : 1.0;
    std::printf("  [%.2f, %.2f%c %8zu\n", lo, hi, k + 1 < h.nbins() ? ')' : ']', h.bin_count(k));
  }
  return kOk;
}

int cmd_convert(const invocation& inv) {
  if (int status = check_output_name(inv.files[1])) return status;
  mesh_data mesh;
  if (int status = read_input(inv.files[0], mesh, inv)) return status;
  return write_output(inv.files[1], mesh, inv);
}

int cmd_clean(const invocation& inv) {
  double tol;
  if (!number_option(inv, "--tol", 0.0, non_negative, tol)) return kUsage;
  if (int status = check_output_name(inv.files[1])) return status;
  mesh_data mesh;
  if (int status = read_input(inv.files[0], mesh, inv)) return status;
  clean_counts counts;
  if (int code = clean_mesh(mesh, tol, counts))
    return library_failure(inv.files[0], "cleaning", code, kUnsuited);
  std::printf("nodes merged: %d\nelements removed: %d\nnodes removed: %d\n", counts.merged,
              counts.elements_removed, counts.nodes_removed);
  std::printf("result: %zu nodes, %zu elements\n", mesh.coords.cols(), mesh.elements());
  return write_output(inv.files[1], mesh, inv);
}

int cmd_boundary(const invocation& inv) {
  if (int status = check_output_name(inv.files[1])) return status;
  mesh_data mesh;
  if (int status = read_input(inv.files[0], mesh, inv)) return status;
  if (mesh_dimension(mesh) == 0) {
    fail(inv.files[0], "no element with faces: the mesh has no boundary");
    return kUnsuited;
  }
  skin k;
  mesh_data out;
  if (int code = mesh_skin(mesh, k))
    return library_failure(inv.files[0], "boundary", code, kUnsuited);
  out.coords = k.faces.cols() ? mesh.coords : dense2D<double>(mesh.coords.rows(), 0);
  if (!faces_as_blocks(k.faces, mesh_dimension(mesh), out))
    return library_failure(inv.files[0], "boundary", no_memory, kUnsuited);
  if (int code = std::min(drop_unused_nodes(out), 0))
    return library_failure(inv.files[0], "boundary", code, kUnsuited);
  std::printf("boundary: %zu faces", out.elements());
  for (const mesh_block& b : out.blocks)
    std::printf(", %zu %s", b.connectM.cols(), cell_name(b.type));
  std::printf("; %zu nodes%s\n", out.coords.cols(), out.elements() ? "" : " (the mesh is closed)");
  return write_output(inv.files[1], out, inv);
}

int cmd_sizemap(const invocation& inv) {
  double p, gradation;
  if (!number_option(inv, "--p", 1.0, non_negative, p) ||
      !number_option(inv, "--gradation", HUGE_VAL, at_least_one, gradation))
    return kUsage;
  const std::string& out = inv.files[1];
  if (!has_extension(out, kSolutionExtension))
    return usage_error("%s: a size map is written as a %s file", out.c_str(), kSolutionExtension);
  mesh_data mesh;
  if (int status = read_input(inv.files[0], mesh, inv)) return status;
  const unsigned dim = mesh_dimension(mesh);
  if (dim == 0) {
    fail(inv.files[0], "no element with edges: no size can be measured");
    return kUnsuited;
  }
  dense1D<double> H;
  if (int code = node_sizes(mesh, p, H))
    return library_failure(inv.files[0], "sizes", code, kUnsuited);
  int changed = 0;
  if (std::isfinite(gradation)) {
    combined_mesh c;
    if (!combine(mesh, dim, c))
      return library_failure(inv.files[0], "gradation", no_memory, kUnsuited);
    changed = bound_metric_gradations(mesh.coords, c.connect, c.type, dense1D<unsigned>(), true, -1,
                                      gradation - 1, H);
    if (changed < 0) return library_failure(inv.files[0], "gradation", changed, kUnsuited);
  }
  const unsigned space = static_cast<unsigned>(mesh.coords.rows());
  const int code = replace_file(
      out.c_str(), [&](const char* temporary) { return medit_scalar(temporary, space, H); });
  if (code != 0) {
    fail(out, "%s (code %d)", mesh_file_message(nullptr, code, false), code);
    return code == no_memory ? kUnsuited : kWriteFailed;
  }
  const auto [lo, hi] = std::minmax_element(H.begin(), H.end());
  std::printf("sizes: %zu nodes, min %g, max %g; %d changed by the gradation\n", H.size(),
              H.size() ? *lo : 0.0, H.size() ? *hi : 0.0, changed);
  return kOk;
}

}  // namespace cli
