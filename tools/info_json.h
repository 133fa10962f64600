// What `info --json` prints of a mesh's statistics: the one layout of the
// tool and of quernfold-mpi.
#pragma once

#include <nlohmann/json.hpp>

#include <string>

#include "quernfold/mesh.h"

namespace cli {

using json = nlohmann::ordered_json;
using ovk::quernfold::kind_statistics;
using ovk::quernfold::mesh_statistics;
using ovk::quernfold::value_range;

// meshio's name of a kind, "unknown" for the kinds without one.
inline const char* json_kind_name(ovk::quernfold::element_type type) {
  const char* name = ovk::quernfold::cell_name(type);
  return name ? name : "unknown";
}

inline json range_json(const value_range& r) {
  if (r.count == 0) return nullptr;
  return {{"min", r.min}, {"mean", r.mean()}, {"max", r.max}};
}

inline json kind_json(const kind_statistics& k) {
  json j = range_json(k.quality);
  j["worst"] = k.worst;
  j["nonpositive_jacobians"] = k.nonpositive_jacobians;
  return j;
}

inline json box_json(const mesh_statistics& s) {
  if (!s.has_box) return nullptr;
  json box = json::array();
  for (const auto& corner : s.box) box.push_back({corner[0], corner[1], corner[2]});
  return box;
}

inline json summary_json(const std::string& file, const std::string& format,
                         const mesh_statistics& s) {
  json j = {{"file", file},
            {"format", format},
            {"nodes", s.nodes},
            {"dimension", s.dimension},
            {"space_dimension", s.space_dimension}};
  j["cells"] = json::object();
  j["cell_quality"] = json::object();
  for (const kind_statistics& k : s.blocks) {
    j["cells"][json_kind_name(k.type)] = k.elements;
    if (k.quality.count) j["cell_quality"][json_kind_name(k.type)] = kind_json(k);
  }
  j["bounding_box"] = box_json(s);
  j["boundary_faces"] = s.has_topology ? json(s.boundary_faces) : json(nullptr);
  j["parts"] = s.has_topology ? json(s.parts) : json(nullptr);
  j["non_manifold_faces"] = s.has_topology ? json(s.non_manifold_faces) : json(nullptr);
  j["coincident_nodes"] = s.coincident_nodes;
  j["nonpositive_jacobians"] = s.nonpositive_jacobians;
  j["edge_length"] = range_json(s.edge_length);
  j["quality"] = range_json(s.quality);
  if (s.quality.count)
    j["quality"]["worst"] = {{"cell", json_kind_name(s.blocks[s.worst_block].type)},
                             {"block", s.worst_block},
                             {"index", s.worst_element}};
  return j;
}

}  // namespace cli
