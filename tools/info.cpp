// The info command: what a mesh holds and how good it is, as text or JSON.
#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "cli.h"
#include "commands.h"

namespace cli {
namespace {

using namespace ovk::quernfold;
using json = nlohmann::ordered_json;

// Memory code of the list forms of merge.
constexpr int kListMergeNoMemory = -198;

struct range_stats {
  std::size_t count = 0;
  double min = 0, max = 0, sum = 0;
  void add(double v) {
    min = count ? std::min(min, v) : v;
    max = count ? std::max(max, v) : v;
    sum += v;
    ++count;
  }
  double mean() const { return count ? sum / static_cast<double>(count) : 0.0; }
};

struct mesh_summary {
  std::string file, format;
  std::size_t nodes = 0, space_dimension = 0, dimension = 0;
  std::vector<std::array<double, 3>> box;  // min, max (empty without nodes)
  bool topology = false;
  std::size_t boundary_faces = 0, parts = 0, non_manifold_faces = 0;
  std::size_t coincident_nodes = 0, nonpositive_jacobians = 0;
  range_stats edges, quality;
  std::size_t worst_block = 0, worst_element = 0;
};

// Distinct faces shared by three elements or more: the faces that stay
// unlinked when non-manifold groups are not linked, taken as node sets.
int count_non_manifold(const skin& s, std::size_t& count) {
  const combined_mesh& c = s.elements;
  dense2D<unsigned> unlinked, marked, faces;
  if (int code = get_neighbors(c.connect, c.type, false, unlinked)) return code;
  if (!marked.resize(unlinked.rows(), unlinked.cols())) return no_memory;
  for (std::size_t j = 0; j < marked.cols(); ++j)
    for (std::size_t i = 0; i < marked.rows(); ++i) {
      const bool shared = unlinked(i, j) == no_index && s.neighbors(i, j) != no_index;
      marked(i, j) = shared ? no_index : static_cast<unsigned>(j);
    }
  if (int code = get_mesh_boundaries(c.connect, marked, c.type, faces)) return code;
  std::vector<std::array<unsigned, 4>> keys(faces.cols(), {no_index, no_index, no_index, no_index});
  for (std::size_t j = 0; j < faces.cols(); ++j) {
    std::copy(faces.column(j), faces.column(j) + faces.rows(), keys[j].begin());
    std::sort(keys[j].begin(), keys[j].end());
  }
  std::sort(keys.begin(), keys.end());
  count = static_cast<std::size_t>(std::unique(keys.begin(), keys.end()) - keys.begin());
  return 0;
}

int measure_topology(const mesh_data& mesh, mesh_summary& s) {
  if (mesh.elements() == 0 || mesh_dimension(mesh) == 0) return 0;
  skin k;
  if (int code = mesh_skin(mesh, k)) return code;
  dense1D<unsigned> elements, offsets;
  if (int code = get_subdomains(k.neighbors, elements, offsets)) return code;
  s.boundary_faces = k.faces.cols();
  s.parts = offsets.size() - 1;
  s.topology = true;
  return count_non_manifold(k, s.non_manifold_faces);
}

void measure_box(const mesh_data& mesh, mesh_summary& s) {
  const std::size_t d = std::min<std::size_t>(mesh.coords.rows(), 3);
  if (mesh.coords.cols() == 0) return;
  s.box.assign(2, {0, 0, 0});
  for (std::size_t i = 0; i < d; ++i) {
    s.box[0][i] = s.box[1][i] = mesh.coords(i, 0);
    for (std::size_t j = 1; j < mesh.coords.cols(); ++j) {
      s.box[0][i] = std::min(s.box[0][i], mesh.coords(i, j));
      s.box[1][i] = std::max(s.box[1][i], mesh.coords(i, j));
    }
  }
}

// Nodes used by an element that coincide exactly with another used node of
// lower rank: counted, never applied.
int count_coincident(const mesh_data& mesh, mesh_summary& s) {
  const std::vector<dense2D<unsigned>> matrices = block_matrices(mesh);
  dense1D<unsigned> used, map;
  const dense2D<unsigned>* first = matrices.data();
  if (int code = unique_indices(used, first, first + matrices.size(), dense1D<unsigned>()))
    return code;
  const int merged = used.empty() ? 0 : merge(mesh.coords, used, map, 0.0);
  if (merged < 0) return merged == kListMergeNoMemory ? no_memory : merged;
  s.coincident_nodes = static_cast<std::size_t>(merged);
  return 0;
}

// Shape qualities, non-positive Jacobians and distinct edge lengths, every
// kind measured on its vertex nodes.
int measure_elements(const mesh_data& mesh, mesh_summary& s) {
  std::vector<dense2D<unsigned>> vertices;
  dense1D<int> kinds;
  for (std::size_t b = 0; b < mesh.blocks.size(); ++b) {
    const element_type kind = linear_kind(mesh.blocks[b].type);
    dense2D<unsigned> v;
    if (kind == ET_NODE || mesh.blocks[b].connectM.cols() == 0) continue;
    if (!vertex_matrix(mesh.blocks[b], v) || !kinds.push_back(kind)) return no_memory;
    vertices.push_back(v);
    dense1D<double> q, jac;
    if (int code = shape_qualities(mesh.coords, v, kind, q)) return code;
    if (int code = jacobians(mesh.coords, v, kind, jac)) return code;
    for (std::size_t e = 0; e < q.size(); ++e) {
      if (s.quality.count == 0 || q[e] < s.quality.min) {
        s.worst_block = b;
        s.worst_element = e;
      }
      s.quality.add(q[e]);
      if (!(jac[e] > 0)) ++s.nonpositive_jacobians;
    }
  }
  dense2D<unsigned> edges;
  const dense2D<unsigned>* first = vertices.data();
  if (int code = copy_edges(first, first + vertices.size(), kinds, edges)) return code;
  for (std::size_t e = 0; e < edges.cols(); ++e) {
    double sq = 0;
    for (std::size_t i = 0; i < mesh.coords.rows(); ++i) {
      const double d = mesh.coords(i, edges(1, e)) - mesh.coords(i, edges(0, e));
      sq += d * d;
    }
    s.edges.add(std::sqrt(sq));
  }
  return 0;
}

int summarize(const std::string& path, const invocation& inv, mesh_summary& s,
              std::vector<std::pair<element_type, std::size_t>>& cells) {
  mesh_data mesh;
  const char* format = nullptr;
  if (int status = read_input(path, mesh, inv, &format)) return status;
  s.file = path;
  s.format = format;
  s.nodes = mesh.coords.cols();
  s.space_dimension = mesh.coords.rows();
  s.dimension = mesh_dimension(mesh);
  for (const mesh_block& b : mesh.blocks) cells.emplace_back(b.type, b.connectM.cols());
  measure_box(mesh, s);
  progress(inv, "topology of %zu elements", mesh.elements());
  int code = measure_topology(mesh, s);
  if (code == 0) code = count_coincident(mesh, s);
  if (code == 0) code = measure_elements(mesh, s);
  return code == 0 ? kOk : library_failure(path, "measuring the mesh", code, kUnsuited);
}

json range_json(const range_stats& r) {
  if (r.count == 0) return nullptr;
  return {{"min", r.min}, {"mean", r.mean()}, {"max", r.max}};
}

json summary_json(const mesh_summary& s,
                  const std::vector<std::pair<element_type, std::size_t>>& cells) {
  json j = {{"file", s.file},
            {"format", s.format},
            {"nodes", s.nodes},
            {"dimension", s.dimension},
            {"space_dimension", s.space_dimension}};
  j["cells"] = json::object();
  for (const auto& c : cells) j["cells"][cell_name(c.first)] = c.second;
  j["bounding_box"] = s.box.empty() ? json(nullptr) : json(s.box);
  j["boundary_faces"] = s.topology ? json(s.boundary_faces) : json(nullptr);
  j["parts"] = s.topology ? json(s.parts) : json(nullptr);
  j["non_manifold_faces"] = s.topology ? json(s.non_manifold_faces) : json(nullptr);
  j["coincident_nodes"] = s.coincident_nodes;
  j["nonpositive_jacobians"] = s.nonpositive_jacobians;
  j["edge_length"] = range_json(s.edges);
  j["quality"] = range_json(s.quality);
  if (s.quality.count)
    j["quality"]["worst"] = {{"cell", cell_name(cells[s.worst_block].first)},
                             {"block", s.worst_block},
                             {"index", s.worst_element}};
  return j;
}

void print_text(const mesh_summary& s,
                const std::vector<std::pair<element_type, std::size_t>>& cells) {
  std::size_t elements = 0;
  for (const auto& c : cells) elements += c.second;
  std::printf("file: %s (%s)\n", s.file.c_str(), s.format.c_str());
  std::printf("nodes: %zu\n", s.nodes);
  std::printf("dimension: %zu (coordinates: %zu)\n", s.dimension, s.space_dimension);
  std::printf("elements: %zu\n", elements);
  for (const auto& c : cells) std::printf("  %-14s %zu\n", cell_name(c.first), c.second);
  if (!s.box.empty())
    std::printf("bounding box: (%g, %g, %g) .. (%g, %g, %g)\n", s.box[0][0], s.box[0][1],
                s.box[0][2], s.box[1][0], s.box[1][1], s.box[1][2]);
  if (s.topology) {
    std::printf("boundary faces: %zu%s\n", s.boundary_faces, s.boundary_faces ? "" : " (closed)");
    std::printf("connected parts: %zu\n", s.parts);
    std::printf("non-manifold faces: %zu\n", s.non_manifold_faces);
  }
  std::printf("coincident nodes: %zu\n", s.coincident_nodes);
  std::printf("non-positive jacobians: %zu\n", s.nonpositive_jacobians);
  if (s.edges.count)
    std::printf("edge length: min %.6g, mean %.6g, max %.6g\n", s.edges.min, s.edges.mean(),
                s.edges.max);
  if (s.quality.count)
    std::printf("shape quality: min %.6f (%s element %zu), mean %.6f, max %.6f\n", s.quality.min,
                cell_name(cells[s.worst_block].first), s.worst_element + 1, s.quality.mean(),
                s.quality.max);
}

}  // namespace

int cmd_info(const invocation& inv) {
  const bool as_json = inv.has("--json");
  json all = json::array();
  for (const std::string& path : inv.files) {
    mesh_summary s;
    std::vector<std::pair<element_type, std::size_t>> cells;
    if (int status = summarize(path, inv, s, cells)) return status;
    if (as_json)
      all.push_back(summary_json(s, cells));
    else
      print_text(s, cells);
  }
  if (as_json) std::printf("%s\n", (inv.files.size() == 1 ? all[0] : all).dump(2).c_str());
  return kOk;
}

}  // namespace cli
