// quernfold-mpi: the whole-mesh commands on a mesh read in slices by the
// ranks of MPI_COMM_WORLD (mpirun -n R quernfold-mpi COMMAND ...). Rank 0
// prints; files are written rank after rank, in order, or gathered on rank 0
// and written there by the one-process writers.
#include <mpi.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "info_json.h"
#include "quernfold/io.h"
#include "quernfold/mpi.h"

namespace {

using namespace ovk::quernfold;
using cli::json;

constexpr int kOk = 0, kUsage = 1, kInput = 2, kOutput = 3, kUnsuited = 4;
constexpr double kDefaultImbalance = 0.05;
constexpr int kDefaultSeed = 1;
// Size maps: the extension written and the dimension of their nodes (the
// slices hold 3 coordinates a node).
constexpr const char kSolutionExtension[] = ".sol";
constexpr unsigned kSpace = 3;
// The one-process size map's defaults: the mean length, no gradation.
constexpr double kDefaultExponent = 1.0;
constexpr double kNoGradation = HUGE_VAL;

const char* const kUsageText =
    "usage: mpirun -n R quernfold-mpi info [--json] FILE\n"
    "       mpirun -n R quernfold-mpi partition --parts N [--seed S] [--imbalance F]\n"
    "                  [--ghosts 0|1] [--split] [--graph GRAPH] [--json] FILE [OUT]\n"
    "       mpirun -n R quernfold-mpi boundary FILE OUT\n"
    "       mpirun -n R quernfold-mpi clean [--tol T] FILE OUT\n"
    "       mpirun -n R quernfold-mpi sizemap [--p P] [--gradation B] FILE OUT.sol\n"
    "FILE: gmsh MSH 4.1 (text or binary), read in slices, one per rank; a partitioned\n"
    "gmsh text file or a .pvtu (as `quernfold partition` writes them) is read by parts.\n"
    "partition writes OUT.msh as a partitioned gmsh file (--split: OUT_1.msh ..), OUT.pvtu\n"
    "with its pieces OUT_1.vtu .. (each rank writes its own), with --ghosts 1 one ghost\n"
    "layer, as `quernfold partition` does; any other OUT receives one part per element of\n"
    "the mesh's dimension (file order), one a line. With --graph, the face-dual graph in\n"
    "the partitioners' text form goes to GRAPH.\n"
    "boundary, clean and sizemap write what `quernfold boundary`, `clean` and `sizemap`\n"
    "write (rank 0 writes the file; clean: the same mesh up to node numbering; sizemap: the\n"
    "same sizes without --gradation, sizes that meet the bound on every edge with it).\n";

struct invocation {
  std::string command;
  std::vector<std::string> files;
  std::vector<std::pair<std::string, std::string>> options;
  bool has(const std::string& name) const {
    for (const auto& o : options)
      if (o.first == name) return true;
    return false;
  }
  std::string value(const std::string& name, const std::string& fallback) const {
    for (const auto& o : options)
      if (o.first == name) return o.second;
    return fallback;
  }
};

bool parse(int argc, char** argv, invocation& inv) {
  if (argc < 2) return false;
  inv.command = argv[1];
  for (int i = 2; i < argc; ++i) {
    const std::string a = argv[i];
    const bool flag = a == "--json" || a == "--split";
    if (a.rfind("--", 0) != 0) {
      inv.files.push_back(a);
    } else if (flag) {
      inv.options.emplace_back(a, "");
    } else if (i + 1 < argc) {
      inv.options.emplace_back(a, argv[++i]);
    } else {
      return false;
    }
  }
  return !inv.files.empty();
}

int rank_of_world() {
  int rank = 0;
  MPI_Comm_rank(MPI_COMM_WORLD, &rank);
  return rank;
}

// Each rank appends its text to `path` in rank order (rank 0 creates it).
bool write_in_order(const std::string& path, const std::function<void(std::FILE*)>& write) {
  int ranks = 1, ok = 1;
  MPI_Comm_size(MPI_COMM_WORLD, &ranks);
  for (int r = 0; r < ranks; ++r) {
    if (r == rank_of_world() && ok) {
      std::FILE* f = std::fopen(path.c_str(), r == 0 ? "w" : "a");
      if (f) write(f);
      ok = f && std::fclose(f) == 0;
    }
    MPI_Allreduce(MPI_IN_PLACE, &ok, 1, MPI_INT, MPI_MIN, MPI_COMM_WORLD);
  }
  return ok != 0;
}

int fail(const std::string& what, int code, int status) {
  if (rank_of_world() == 0)
    std::fprintf(stderr, "quernfold-mpi: %s (code %d)\n", what.c_str(), code);
  return status;
}

// The file name's extension in lower case ("" without one).
std::string extension_of(const std::string& path) {
  const std::size_t dot = path.find_last_of('.'), slash = path.find_last_of('/');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  std::string ext = path.substr(dot + 1);
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext;
}

bool is_pvtu(const std::string& path) { return extension_of(path) == "pvtu"; }

// A .pvtu is read by parts, any other file as gmsh MSH 4.1 (by parts when
// it is a partitioned text file, in slices otherwise).
int read(const std::string& path, mpi::dist_mesh& mesh) {
  const int code = is_pvtu(path) ? mpi::read_pvtu_parts(path.c_str(), MPI_COMM_WORLD, mesh)
                                 : mpi::read_msh_slices(path.c_str(), MPI_COMM_WORLD, mesh);
  return code ? fail(path + ": not read", code, kInput) : kOk;
}

int cmd_info(const invocation& inv) {
  mpi::dist_mesh mesh;
  if (int status = read(inv.files[0], mesh)) return status;
  if (int code = mpi::compact_mesh(mesh)) return fail("moving the elements", code, kUnsuited);
  mesh_statistics s;
  if (int code = mpi::measure_distributed(mesh, s))
    return fail("measuring the mesh", code, kUnsuited);
  if (mesh.rank != 0) return kOk;
  json j = cli::summary_json(inv.files[0], is_pvtu(inv.files[0]) ? "VTK XML .pvtu" : "gmsh MSH", s);
  j["left_out"] = json::array();
  if (inv.has("--json")) {
    std::printf("%s\n", j.dump(2).c_str());
    return kOk;
  }
  for (auto it = j.begin(); it != j.end(); ++it)
    std::printf("%s: %s\n", it.key().c_str(), it.value().dump().c_str());
  return kOk;
}

// The dual graph in the partitioners' text form: vertices and edges, then
// one line of 1-based neighbours per vertex (rows of this rank's vertices).
bool write_graph(const std::string& path, std::uint64_t vertices,
                 const std::vector<std::uint64_t>& xadj, const std::vector<std::uint64_t>& adjncy,
                 MPI_Comm comm) {
  std::uint64_t edges = adjncy.size();
  MPI_Allreduce(MPI_IN_PLACE, &edges, 1, MPI_UINT64_T, MPI_SUM, comm);
  return write_in_order(path, [&](std::FILE* f) {
    if (rank_of_world() == 0)
      std::fprintf(f, "%llu %llu\n", static_cast<unsigned long long>(vertices),
                   static_cast<unsigned long long>(edges / 2));
    for (std::size_t v = 0; v + 1 < xadj.size(); ++v) {
      for (std::uint64_t k = xadj[v]; k < xadj[v + 1]; ++k)
        std::fprintf(f, k == xadj[v] ? "%llu" : " %llu",
                     static_cast<unsigned long long>(adjncy[k] + 1));
      std::fputc('\n', f);
    }
  });
}

enum class output_kind { msh, pvtu, text };

output_kind output_of(const std::string& path) {
  const std::string ext = extension_of(path);
  return ext == "msh" ? output_kind::msh : ext == "pvtu" ? output_kind::pvtu : output_kind::text;
}

// The parts moved to their ranks and written: a partitioned gmsh file by
// rank 0 (every part gathered there, in order), or the .pvtu pieces by the
// ranks holding them and the .pvtu by rank 0.
int write_partitioned(const invocation& inv, const mpi::dist_mesh& mesh,
                      const std::vector<int>& top_part, unsigned parts, unsigned ghosts) {
  const std::string& out = inv.files[1];
  const output_kind kind = output_of(out);
  std::vector<unsigned> element_part;
  if (int code = mpi::spread_parts(mesh, top_part, element_part))
    return fail("parts of the lower elements", code, kUnsuited);
  std::vector<part_mesh> held;
  const int holders = kind == output_kind::msh ? 1 : mesh.ranks;
  if (int code = mpi::migrate_parts(mesh, element_part, parts, ghosts, holders, held))
    return fail("moving the elements to their parts", code, kUnsuited);
  int code = 0;
  if (kind == output_kind::msh && mesh.rank == 0)
    code = msh_partitioned_output(out.c_str(), held, inv.has("--split"));
  if (kind == output_kind::pvtu) {
    int any_ghost = 0;
    for (const part_mesh& p : held) any_ghost |= p.owned_elements() < p.global_elements.size();
    MPI_Allreduce(MPI_IN_PLACE, &any_ghost, 1, MPI_INT, MPI_MAX, mesh.comm);
    code = pvtu_pieces_output(out.c_str(), held, vtu_encoding::zlib);
    if (code == 0 && mesh.rank == 0) code = pvtu_index_output(out.c_str(), parts, any_ghost != 0);
  }
  MPI_Allreduce(MPI_IN_PLACE, &code, 1, MPI_INT, MPI_MIN, mesh.comm);
  return code ? fail(out + ": not written", code, kOutput) : kOk;
}

int cmd_partition(const invocation& inv) {
  const int parts = std::atoi(inv.value("--parts", "0").c_str());
  const int seed = std::atoi(inv.value("--seed", std::to_string(kDefaultSeed)).c_str());
  const double imbalance =
      std::atof(inv.value("--imbalance", std::to_string(kDefaultImbalance)).c_str());
  const std::string ghosts = inv.value("--ghosts", "0");
  if (parts < 1 || !(imbalance >= 0)) return fail("--parts N (N >= 1) needed", 0, kUsage);
  if (ghosts != "0" && ghosts != "1") return fail("--ghosts takes 0 or 1", 0, kUsage);
  const output_kind kind = inv.files.size() > 1 ? output_of(inv.files[1]) : output_kind::text;
  if (inv.has("--split") && kind != output_kind::msh)
    return fail("--split writes .msh files only", 0, kUsage);
  mpi::dist_mesh mesh;
  if (int status = read(inv.files[0], mesh)) return status;
  // The elements move to compact regions; the part list and the graph are
  // written in the file's order.
  std::vector<std::uint64_t> numbers, first_before;
  mpi::vertex_numbers(mesh, numbers, first_before);
  if (int code = mpi::compact_mesh(mesh, &numbers))
    return fail("moving the elements", code, kUnsuited);
  mpi::face_census census;
  if (int code = mpi::census_faces(mesh, census)) return fail("dual graph", code, kUnsuited);
  if (inv.has("--graph")) {
    std::vector<std::uint64_t> xadj, adjncy;
    mpi::dual_graph_in_file_order(census, mesh.comm, numbers, first_before, xadj, adjncy);
    if (!write_graph(inv.value("--graph", ""), first_before.back(), xadj, adjncy, mesh.comm))
      return fail(inv.value("--graph", "") + ": not written", 0, kOutput);
  }
  std::vector<int> part;
  mpi::partition_report report;
  if (int code = mpi::partition_elements(census, mesh, parts, imbalance, seed, part, report))
    return fail("partitioning", code, kUnsuited);
  census = mpi::face_census();
  std::vector<int> in_file_order = part;
  mpi::back_to_file_order(mesh.comm, numbers, first_before, in_file_order);
  const auto write_parts = [&in_file_order](std::FILE* f) {
    for (int p : in_file_order) std::fprintf(f, "%d\n", p);
  };
  if (inv.files.size() > 1 && kind == output_kind::text &&
      !write_in_order(inv.files[1], write_parts))
    return fail(inv.files[1] + ": not written", 0, kOutput);
  if (kind != output_kind::text)
    if (int status = write_partitioned(inv, mesh, part, static_cast<unsigned>(parts),
                                       static_cast<unsigned>(ghosts[0] - '0')))
      return status;
  if (mesh.rank != 0) return kOk;
  json j = {{"parts", parts},
            {"edge_cut", report.edge_cut},
            {"imbalance", report.imbalance},
            {"part_elements", report.part_elements}};
  std::printf("%s\n", inv.has("--json") ? j.dump(2).c_str() : j.dump().c_str());
  return kOk;
}

// A mesh output the one-process writers write (by its extension).
bool writable(const std::string& path) {
  const mesh_format* f = find_mesh_format(path.c_str());
  return f && f->write;
}

// Rank 0 writes `mesh` with the one-process writers (text form); every rank
// returns the status.
int write_on_first(const std::string& path, const mesh_data& mesh) {
  int code = rank_of_world() == 0 ? write_mesh(path.c_str(), mesh, write_options()) : 0;
  MPI_Bcast(&code, 1, MPI_INT, 0, MPI_COMM_WORLD);
  return code ? fail(path + ": " + mesh_file_message(nullptr, code, false), code, kOutput) : kOk;
}

int cmd_boundary(const invocation& inv) {
  if (inv.files.size() != 2 || !writable(inv.files[1]))
    return fail("boundary FILE OUT (OUT: a mesh format written)", 0, kUsage);
  mpi::dist_mesh mesh;
  if (int status = read(inv.files[0], mesh)) return status;
  mesh_data skin;
  if (int code = mpi::boundary_distributed(mesh, skin))
    return fail(inv.files[0] + ": boundary", code, kUnsuited);
  if (int status = write_on_first(inv.files[1], skin)) return status;
  if (mesh.rank != 0) return kOk;
  std::printf("boundary: %zu faces", skin.elements());
  for (const mesh_block& b : skin.blocks)
    std::printf(", %zu %s", b.connectM.cols(), cell_name(b.type));
  std::printf("; %zu nodes%s\n", skin.coords.cols(),
              skin.elements() ? "" : " (the mesh is closed)");
  return kOk;
}

// The one-process number option: `fallback` when absent, false when not a
// number that passes `valid`.
bool number_option(const invocation& inv, const char* name, double fallback, bool (*valid)(double),
                   double& value) {
  if (!inv.has(name)) return value = fallback, true;
  const std::string text = inv.value(name, "");
  char* end = nullptr;
  value = std::strtod(text.c_str(), &end);
  return !text.empty() && *end == '\0' && std::isfinite(value) && valid(value);
}

bool is_solution_file(const std::string& path) {
  const std::size_t n = std::strlen(kSolutionExtension);
  return path.size() > n && path.compare(path.size() - n, n, kSolutionExtension) == 0;
}

// Rank 0 writes the sizes as the one-process tool does; every rank returns
// the status.
int write_sizes(const std::string& path, const dense1D<double>& H) {
  int code = 0;
  if (rank_of_world() == 0)
    code = replace_file(path.c_str(), [&H](const char* temporary) {
      return medit_scalar(temporary, kSpace, H, writer_settings{true, true, false});
    });
  MPI_Bcast(&code, 1, MPI_INT, 0, MPI_COMM_WORLD);
  return code ? fail(path + ": " + mesh_file_message(nullptr, code, false), code, kOutput) : kOk;
}

int cmd_sizemap(const invocation& inv) {
  double p = kDefaultExponent, gradation = kNoGradation;
  const auto non_negative = [](double v) { return v >= 0; };
  const auto at_least_one = [](double v) { return v >= 1; };
  if (inv.files.size() != 2 || !is_solution_file(inv.files[1]) ||
      !number_option(inv, "--p", kDefaultExponent, non_negative, p) ||
      !number_option(inv, "--gradation", kNoGradation, at_least_one, gradation))
    return fail("sizemap [--p P >= 0] [--gradation B >= 1] FILE OUT.sol", 0, kUsage);
  mpi::dist_mesh mesh;
  if (int status = read(inv.files[0], mesh)) return status;
  dense1D<double> H;
  mpi::size_report report;
  if (int code = mpi::size_map_distributed(mesh, p, gradation, H, report))
    return fail(inv.files[0] + ": sizes", code, kUnsuited);
  if (int status = write_sizes(inv.files[1], H)) return status;
  if (mesh.rank != 0) return kOk;
  const auto lo_hi = std::minmax_element(H.begin(), H.end());
  std::printf("sizes: %zu nodes, min %g, max %g; %llu changed by the gradation (%d rounds)\n",
              H.size(), H.size() ? *lo_hi.first : 0.0, H.size() ? *lo_hi.second : 0.0,
              static_cast<unsigned long long>(report.changed), report.rounds);
  return kOk;
}

int cmd_clean(const invocation& inv) {
  double tol = 0;
  const auto non_negative = [](double v) { return v >= 0; };
  if (inv.files.size() != 2 || !writable(inv.files[1]) ||
      !number_option(inv, "--tol", 0.0, non_negative, tol))
    return fail("clean [--tol T >= 0] FILE OUT (OUT: a mesh format written)", 0, kUsage);
  mpi::dist_mesh mesh;
  if (int status = read(inv.files[0], mesh)) return status;
  mesh_data cleaned;
  clean_report counts;
  if (int code = mpi::clean_distributed(mesh, tol, cleaned, counts))
    return fail(inv.files[0] + ": cleaning", code, kUnsuited);
  if (int status = write_on_first(inv.files[1], cleaned)) return status;
  if (mesh.rank != 0) return kOk;
  std::printf("nodes merged: %d\nelements removed: %zu\nnodes removed: %zu\n", counts.merged,
              counts.elements_removed, counts.nodes_removed);
  std::printf("result: %zu nodes, %zu elements\n", cleaned.coords.cols(), cleaned.elements());
  return kOk;
}

}  // namespace

int main(int argc, char** argv) {
  MPI_Init(&argc, &argv);
  invocation inv;
  int status = kUsage;
  if (!parse(argc, argv, inv)) {
    if (rank_of_world() == 0) std::fputs(kUsageText, stderr);
  } else if (inv.command == "info") {
    status = cmd_info(inv);
  } else if (inv.command == "partition") {
    status = cmd_partition(inv);
  } else if (inv.command == "boundary") {
    status = cmd_boundary(inv);
  } else if (inv.command == "clean") {
    status = cmd_clean(inv);
  } else if (inv.command == "sizemap") {
    status = cmd_sizemap(inv);
  } else if (rank_of_world() == 0) {
    std::fprintf(stderr, "quernfold-mpi: unknown command %s\n%s", inv.command.c_str(), kUsageText);
  }
  MPI_Finalize();
  return status;
}
