// The tool's partition command: METIS parts of a mesh's elements, split into
// one mesh per part (optionally with one ghost layer) and written as a
// partitioned gmsh file, split gmsh files or a VTK XML .pvtu with its pieces.
#include <quernfold/partition.h>

#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli.h"
#include "commands.h"

namespace cli {
namespace {

using namespace ovk::quernfold;
using json = nlohmann::ordered_json;

// Largest part count taken (METIS's part numbers are 32-bit signed).
constexpr double kMaxParts = 2147483647.0;
constexpr double kMaxSeed = 2147483647.0;

enum class output_kind { msh, pvtu, other };

bool part_count(double v) { return v >= 1 && v <= kMaxParts && v == std::floor(v); }
bool ghost_layers(double v) { return v == 0 || v == 1; }
bool seed_value(double v) { return v >= 0 && v <= kMaxSeed && v == std::floor(v); }

output_kind output_of(const std::string& path) {
  const std::size_t dot = path.find_last_of('.');
  const std::size_t slash = path.find_last_of('/');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
    return output_kind::other;
  std::string ext = path.substr(dot + 1);
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (ext == "msh") return output_kind::msh;
  if (ext == "pvtu") return output_kind::pvtu;
  return output_kind::other;
}

int write_parts(const std::string& out, output_kind kind, bool split,
                const std::vector<part_mesh>& parts) {
  const int code = kind == output_kind::msh ? msh_partitioned_output(out.c_str(), parts, split)
                                            : pvtu_output(out.c_str(), parts, vtu_encoding::zlib);
  if (code == 0) return kOk;
  if (code == partition_bad_type || code == vtu_bad_mesh) {
    fail(out, "the mesh holds a kind this format has no element for (code %d)", code);
    return kUnsuited;
  }
  return library_failure(out, "writing", code, kWriteFailed);
}

void print_summary(const partition_result& result, const std::vector<part_mesh>& parts,
                   bool as_json) {
  if (as_json) {
    json j = {{"parts", parts.size()},
              {"edge_cut", result.edge_cut},
              {"imbalance", result.imbalance},
              {"elements", json::array()},
              {"interface_nodes", json::array()}};
    for (const part_mesh& p : parts) {
      j["elements"].push_back(p.owned_elements());
      j["interface_nodes"].push_back(p.interface_nodes());
    }
    std::printf("%s\n", j.dump(2).c_str());
    return;
  }
  std::printf("%zu parts, edge cut %lld, imbalance %.4f\n", parts.size(),
              static_cast<long long>(result.edge_cut), result.imbalance);
  for (const part_mesh& p : parts)
    std::printf("  part %u: %zu elements (%zu ghosts), %zu interface nodes\n", p.part + 1,
                p.owned_elements(), p.ghost_elements.size() - p.owned_elements(),
                p.interface_nodes());
}

}  // namespace

int cmd_partition(const invocation& inv) {
  double parts, ghosts, seed;
  if (!inv.has("--parts")) return usage_error("partition: --parts N is required");
  if (!number_option(inv, "--parts", 1, part_count, "a whole number >= 1", parts) ||
      !number_option(inv, "--ghosts", 0, ghost_layers, "0 or 1", ghosts) ||
      !number_option(inv, "--seed", kDefaultSeed, seed_value, "a whole number >= 0", seed))
    return kUsage;
  const std::string& out = inv.files[1];
  const output_kind kind = output_of(out);
  if (kind == output_kind::other)
    return usage_error("%s: partitioned meshes are written as .msh or .pvtu", out.c_str());
  const bool split = inv.has("--split");
  if (split && kind != output_kind::msh) return usage_error("--split writes .msh files only");
  mesh_data mesh;
  if (int status = read_input(inv.files[0], mesh, inv)) return status;
  partition_options options;
  options.seed = static_cast<int>(seed);
  partition_result result;
  const unsigned n = static_cast<unsigned>(parts);
  progress(inv, "partitioning %zu elements into %u parts", mesh.elements(), n);
  if (int code = partition_mesh(mesh, n, options, result))
    return library_failure(inv.files[0], "partition", code, kUnsuited);
  std::vector<part_mesh> pieces;
  progress(inv, "splitting");
  if (int code = split_mesh(mesh, result.part, n, static_cast<unsigned>(ghosts), pieces))
    return library_failure(inv.files[0], "split", code, kUnsuited);
  progress(inv, "writing %s", out.c_str());
  if (int status = write_parts(out, kind, split, pieces)) return status;
  print_summary(result, pieces, inv.has("--json"));
  return kOk;
}

}  // namespace cli
