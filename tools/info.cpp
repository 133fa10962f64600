// The info command: what a mesh holds and how good it is, as text or JSON.
#include <nlohmann/json.hpp>

#include <cstdio>
#include <string>
#include <vector>

#include "cli.h"
#include "commands.h"
#include "info_json.h"

namespace cli {
namespace {

using namespace ovk::quernfold;

struct mesh_summary {
  std::string file, format;
  mesh_statistics stats;
  std::vector<left_out_records> left_out;
};

int summarize(const std::string& path, const invocation& inv, mesh_summary& s) {
  mesh_data mesh;
  const char* format = nullptr;
  if (int status = read_input(path, mesh, inv, &format)) return status;
  s.file = path;
  s.format = format;
  s.left_out = mesh.left_out;
  progress(inv, "topology of %zu elements", mesh.elements());
  const int code = measure_mesh(mesh, s.stats, inv.threads);
  return code == 0 ? kOk : library_failure(path, "measuring the mesh", code, kUnsuited);
}

json file_json(const mesh_summary& summary) {
  json j = summary_json(summary.file, summary.format, summary.stats);
  j["left_out"] = json::array();
  for (const left_out_records& r : summary.left_out)
    j["left_out"].push_back({{"record", r.record}, {"why", r.why}, {"count", r.count}});
  return j;
}

void print_text(const mesh_summary& summary) {
  const mesh_statistics& s = summary.stats;
  std::size_t elements = 0;
  for (const kind_statistics& k : s.blocks) elements += k.elements;
  std::printf("file: %s (%s)\n", summary.file.c_str(), summary.format.c_str());
  std::printf("nodes: %zu\n", s.nodes);
  std::printf("dimension: %zu (coordinates: %zu)\n", s.dimension, s.space_dimension);
  std::printf("elements: %zu\n", elements);
  for (const kind_statistics& k : s.blocks) {
    std::printf("  %-14s %zu", kind_name(k.type), k.elements);
    if (k.quality.count)
      std::printf(": quality min %.6f (element %zu), mean %.6f; non-positive jacobians %zu",
                  k.quality.min, k.worst + 1, k.quality.mean(), k.nonpositive_jacobians);
    std::printf("\n");
  }
  for (const left_out_records& r : summary.left_out)
    std::printf("left out %zu %s records: %s\n", r.count, r.record.c_str(), r.why);
  if (s.has_box)
    std::printf("bounding box: (%g, %g, %g) .. (%g, %g, %g)\n", s.box[0][0], s.box[0][1],
                s.box[0][2], s.box[1][0], s.box[1][1], s.box[1][2]);
  if (s.has_topology) {
    std::printf("boundary faces: %zu%s\n", s.boundary_faces, s.boundary_faces ? "" : " (closed)");
    std::printf("connected parts: %zu\n", s.parts);
    std::printf("non-manifold faces: %zu\n", s.non_manifold_faces);
  }
  std::printf("coincident nodes: %zu\n", s.coincident_nodes);
  std::printf("non-positive jacobians (dimension %zu): %zu\n", s.dimension,
              s.nonpositive_jacobians);
  if (s.edge_length.count)
    std::printf("edge length: min %.6g, mean %.6g, max %.6g\n", s.edge_length.min,
                s.edge_length.mean(), s.edge_length.max);
  if (s.quality.count)
    std::printf("shape quality (dimension %zu): min %.6f (%s element %zu), mean %.6f, max %.6f\n",
                s.dimension, s.quality.min, kind_name(s.blocks[s.worst_block].type),
                s.worst_element + 1, s.quality.mean(), s.quality.max);
}

}  // namespace

int cmd_info(const invocation& inv) {
  const bool as_json = inv.has("--json");
  json all = json::array();
  for (const std::string& path : inv.files) {
    mesh_summary s;
    if (int status = summarize(path, inv, s)) return status;
    if (as_json)
      all.push_back(file_json(s));
    else
      print_text(s);
  }
  if (as_json) std::printf("%s\n", (inv.files.size() == 1 ? all[0] : all).dump(2).c_str());
  return kOk;
}

}  // namespace cli
