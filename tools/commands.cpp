// The tool's commands: info, quality, convert and merge.
#include <cfloat>
#include <cstdio>
#include <string>
#include <vector>

#include "cli.h"
#include "commands.h"

namespace cli {
namespace {

using namespace ovk::quernfold;

struct quality_summary {
  std::size_t count = 0;
  double min = 1.0, max = -1.0, sum = 0.0;
  std::size_t worst_block = 0, worst_element = no_index;
  std::size_t inverted = 0;
};

// Shape qualities of every measurable block; blocks of kinds without a
// quality measure are left out.
quality_summary measure_quality(const mesh& m, std::vector<double>* all) {
  quality_summary q;
  for (std::size_t b = 0; b < m.blocks.size(); ++b) {
    dense1D<double> Q;
    if (shape_qualities(m.coords, m.blocks[b].connect, m.blocks[b].type, Q) != 0) continue;
    for (std::size_t e = 0; e < Q.size(); ++e) {
      const double v = Q[e];
      if (all) all->push_back(v);
      ++q.count;
      q.sum += v;
      if (v < 0) ++q.inverted;
      if (v > q.max) q.max = v;
      if (q.worst_element == no_index || v < q.min) {
        q.min = v;
        q.worst_block = b;
        q.worst_element = e;
      }
    }
  }
  return q;
}

struct topology_summary {
  std::size_t boundary_faces = 0;
  std::size_t subdomains = 0;
  bool measured = false;
};

topology_summary measure_topology(const mesh& m, const settings& s) {
  topology_summary t;
  for (const block& b : m.blocks) {
    dense2D<unsigned> neighbors, boundaries;
    progress(s, "neighbours of %zu %s elements", b.connect.cols(), type_name(b.type));
    if (get_neighbors(b.connect, b.type, true, neighbors) != 0) continue;
    if (get_mesh_boundaries(b.connect, neighbors, b.type, boundaries) != 0) continue;
    dense1D<unsigned> elements, offsets;
    if (get_subdomains(neighbors, elements, offsets) != 0) continue;
    t.boundary_faces += boundaries.cols();
    t.subdomains += offsets.size() - 1;
    t.measured = true;
  }
  return t;
}

void print_box(const mesh& m) {
  if (m.coords.cols() == 0) return;
  vector_fixed<double, 3> lo{DBL_MAX, DBL_MAX, DBL_MAX}, hi{-DBL_MAX, -DBL_MAX, -DBL_MAX};
  if (m.coords.rows() == 3 && inc_bounding_box(m.coords, lo, hi) == 0)
    std::printf("bounding box: (%g, %g, %g) .. (%g, %g, %g)\n", lo[0], lo[1], lo[2], hi[0], hi[1],
                hi[2]);
}

}  // namespace

int cmd_info(const std::string& input, const settings& s) {
  mesh m;
  if (int code = read_mesh(input, m, s)) return code;
  std::printf("file: %s (%s)\n", input.c_str(), format_name(input));
  std::printf("nodes: %zu\n", m.coords.cols());
  std::printf("elements: %zu\n", m.elements());
  for (const block& b : m.blocks) std::printf("  %-14s %zu\n", type_name(b.type), b.connect.cols());
  print_box(m);
  const topology_summary t = measure_topology(m, s);
  if (t.measured) {
    std::printf("boundary faces: %zu%s\n", t.boundary_faces,
                t.boundary_faces == 0 ? " (closed)" : "");
    std::printf("connected parts: %zu\n", t.subdomains);
  }
  const quality_summary q = measure_quality(m, nullptr);
  if (q.count) {
    std::printf("shape quality: min %.6f (element %zu of block %zu), mean %.6f, max %.6f\n", q.min,
                q.worst_element, q.worst_block, q.sum / static_cast<double>(q.count), q.max);
    if (q.inverted) std::printf("inverted elements: %zu\n", q.inverted);
  }
  return kOk;
}

int cmd_quality(const std::string& input, unsigned bins, const settings& s) {
  mesh m;
  if (int code = read_mesh(input, m, s)) return code;
  std::vector<double> values;
  const quality_summary q = measure_quality(m, &values);
  if (q.count == 0) {
    fail(input, "no element of a kind with a shape quality");
    return kInvalidMesh;
  }
  histogram h(0.0, 1.0 + 1e-12, bins);
  for (double v : values) h.process(v);
  std::printf("%zu elements, quality min %.6f mean %.6f max %.6f\n", h.count(), h.min(), h.mean(),
              h.max());
  if (h.underflow()) std::printf("  < 0         %8zu  (inverted)\n", h.underflow());
  for (std::size_t k = 0; k < h.nbins(); ++k) {
    const double lo = h.bin_lower(k), hi = k + 1 < h.nbins() ? h.bin_lower(k + 1) : 1.0;
    std::printf("  [%.2f, %.2f%c %8zu\n", lo, hi, k + 1 < h.nbins() ? ')' : ']', h.bin_count(k));
  }
  return kOk;
}

int cmd_convert(const std::string& input, const std::string& output, const settings& s) {
  mesh m;
  if (int code = read_mesh(input, m, s)) return code;
  return write_mesh(output, m, s);
}

int cmd_merge(const std::string& input, const std::string& output, double tol, const settings& s) {
  mesh m;
  if (int code = read_mesh(input, m, s)) return code;
  std::vector<dense2D<unsigned>> matrices;
  for (const block& b : m.blocks) matrices.push_back(b.connect);
  dense2D<unsigned>* first = matrices.data();
  dense2D<unsigned>* last = first + matrices.size();
  dense1D<unsigned> map;
  const int merged = merge(m.coords, first, last, map, tol, 0);
  if (merged < 0) {
    fail(input, "nodes could not be merged (code %d)", merged);
    return kInvalidMesh;
  }
  int degenerate = 0;
  for (std::size_t b = 0; b < m.blocks.size(); ++b) {
    const bool mixed = m.blocks[b].type == ET_SOLID_MIX;
    const int removed = remove_degenerated(matrices[b], !mixed);
    if (removed > 0) degenerate += removed;
    m.blocks[b].connect = matrices[b];
  }
  const int unused = simplify(m.coords, first, last, map, 0);
  if (unused < 0) {
    fail(input, "unused nodes could not be removed (code %d)", unused);
    return kInvalidMesh;
  }
  for (std::size_t b = 0; b < m.blocks.size(); ++b) m.blocks[b].connect = matrices[b];
  std::printf("merged %d nodes, removed %d degenerate elements and %d unused nodes\n", merged,
              degenerate, unused);
  return write_mesh(output, m, s);
}

}  // namespace cli
