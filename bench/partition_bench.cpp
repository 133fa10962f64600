// Partitioning of the peer workloads' tetrahedral cubes: the 984k-tetrahedron
// cube in 32 parts and a 100k-tetrahedron cube in 8 parts. One iteration is
// what the partition command does: read the .msh, build the face-dual graph
// of the solid elements and partition it with METIS (the boundary triangles
// following their solids), split with one ghost layer and write the
// partitioned .msh; the time of each step is a counter too. Counters: METIS's edge cut and
// imbalance, Debian's gpmetis on the same graph with the same options (its cut, balance and
// partitioning time), the ratio of the cuts, whether every rerun wrote the same bytes, and the peak
// memory of the process per element.
//
// The big cube comes from the peer workloads (PEERS_ONLY=topo
// /work/shared/peers/run.sh makes $TMPDIR/quernfold-peers/data/box.msh);
// the small one is meshed here by gmsh from the same geometry.
#include <benchmark/benchmark.h>
#include <quernfold/quernfold.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

namespace {

using namespace ovk::quernfold;

constexpr unsigned kGhostLayers = 1;
constexpr int kSeed = 1;
// gmsh's size for about 100k tetrahedra in the unit cube.
constexpr double kSmallCubeSize = 0.036;

std::string data_dir() {
  const char* tmp = std::getenv("TMPDIR");
  return std::string(tmp ? tmp : "/tmp") + "/quernfold-peers/data/";
}

// The path of cube `which` (0: 984k, 1: 100k), made when missing; empty
// when it cannot be had.
std::string cube(int which) {
  const std::string path = data_dir() + (which == 0 ? "box.msh" : "box100k.msh");
  if (std::ifstream(path)) return path;
  if (which == 0) return {};
  const std::string command = "gmsh -3 -nt 1 -clmax " + std::to_string(kSmallCubeSize) +
                              " /work/shared/peers/src/box.geo -format msh22 -o " + path +
                              " > /dev/null 2>&1";
  return std::system(command.c_str()) == 0 ? path : std::string();
}

// Only the blocks of the highest dimension (the solid elements).
void keep_solids(mesh_data& mesh) {
  unsigned top = 0;
  for (const mesh_block& b : mesh.blocks) top = std::max(top, element_dim(b.type));
  std::vector<mesh_block> kept;
  for (mesh_block& b : mesh.blocks)
    if (element_dim(b.type) == top) kept.push_back(b);
  mesh.blocks = kept;
}

// gpmetis on the graph written in METIS's file format, same seed and load
// factor; its edge cut, balance and partitioning time from its report.
struct gpmetis_run {
  double cut = 0, balance = 0, seconds = 0;
};

gpmetis_run run_gpmetis(const csr_graph& g, unsigned parts) {
  const std::string file = data_dir() + "dual.graph";
  {
    std::ofstream out(file);
    out << g.vertices() << ' ' << g.edges() << '\n';
    for (std::size_t v = 0; v < g.vertices(); ++v) {
      for (std::int64_t i = g.xadj[v]; i < g.xadj[v + 1]; ++i)
        out << (i > g.xadj[v] ? " " : "") << g.adjncy[i] + 1;
      out << '\n';
    }
  }
  const std::string command =
      "gpmetis -ptype=kway -objtype=cut -ufactor=30 -seed=" + std::to_string(kSeed) + " " + file +
      " " + std::to_string(parts);
  gpmetis_run r;
  FILE* p = popen(command.c_str(), "r");
  if (!p) return r;
  char line[512];
  while (std::fgets(line, sizeof line, p)) {
    std::string s(line);
    if (s.find("Edgecut:") != std::string::npos)
      r.cut = std::atof(s.c_str() + s.find("Edgecut:") + 8);
    if (s.find("constraint #0:") != std::string::npos)
      r.balance = std::atof(s.c_str() + s.find("constraint #0:") + 14);
    if (s.find("Partitioning:") != std::string::npos)
      r.seconds = std::atof(s.c_str() + s.find("Partitioning:") + 13);
  }
  pclose(p);
  std::remove(file.c_str());
  std::remove((file + ".part." + std::to_string(parts)).c_str());
  return r;
}

std::size_t file_hash(const std::string& path) {
  std::stringstream s;
  s << std::ifstream(path, std::ios::binary).rdbuf();
  return std::hash<std::string>()(s.str());
}

void BM_PartitionCommand(benchmark::State& state) {
  const std::string path = cube(static_cast<int>(state.range(0)));
  const unsigned parts = static_cast<unsigned>(state.range(1));
  if (path.empty()) {
    state.SkipWithError("workload missing: run PEERS_ONLY=topo /work/shared/peers/run.sh");
    return;
  }
  const std::string out = data_dir() + "partitioned.msh";
  partition_result result;
  std::size_t elements = 0, first_hash = 0;
  bool same = true;
  double stage[4] = {};  // read, graph and partition, split, write: seconds
  for (auto _ : state) {
    mesh_data mesh;
    std::vector<part_mesh> split;
    partition_options options;
    options.seed = kSeed;
    int code = 0;
    const auto t0 = std::chrono::steady_clock::now();
    code = read_mesh(path.c_str(), mesh);
    const auto t1 = std::chrono::steady_clock::now();
    if (code == 0) code = partition_mesh(mesh, parts, options, result);
    const auto t2 = std::chrono::steady_clock::now();
    if (code == 0) code = split_mesh(mesh, result.part, parts, kGhostLayers, split);
    const auto t3 = std::chrono::steady_clock::now();
    if (code == 0) code = msh_partitioned_output(out.c_str(), split, false);
    const auto t4 = std::chrono::steady_clock::now();
    if (code != 0) state.SkipWithError("partition failed");
    const std::chrono::duration<double> spans[4] = {t1 - t0, t2 - t1, t3 - t2, t4 - t3};
    for (int k = 0; k < 4; ++k) stage[k] += spans[k].count() / double(state.max_iterations);
    elements = mesh.elements();
    state.PauseTiming();
    const std::size_t hash = file_hash(out);
    same = same && (first_hash == 0 || hash == first_hash);
    first_hash = hash;
    state.ResumeTiming();
  }
  rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  mesh_data mesh;
  csr_graph graph;
  read_mesh(path.c_str(), mesh);
  keep_solids(mesh);
  get_dual_graph(mesh, graph);
  const gpmetis_run peer = run_gpmetis(graph, parts);
  state.counters["read_s"] = stage[0];
  state.counters["partition_s"] = stage[1];
  state.counters["split_s"] = stage[2];
  state.counters["write_s"] = stage[3];
  state.counters["elements"] = double(elements);
  state.counters["edge_cut"] = double(result.edge_cut);
  state.counters["imbalance"] = result.imbalance;
  state.counters["gpmetis_cut"] = peer.cut;
  state.counters["gpmetis_balance"] = peer.balance;
  state.counters["gpmetis_s"] = peer.seconds;
  state.counters["cut_ratio"] = peer.cut > 0 ? double(result.edge_cut) / peer.cut : 0.0;
  state.counters["same_bytes"] = same ? 1 : 0;
  state.counters["peak_bytes_per_element"] = double(usage.ru_maxrss) * 1024.0 / double(elements);
  std::remove(out.c_str());
}

// The face-dual graph of the solids alone (elements per second).
void BM_DualGraph(benchmark::State& state) {
  const std::string path = cube(static_cast<int>(state.range(0)));
  mesh_data mesh;
  if (path.empty() || read_mesh(path.c_str(), mesh) != 0) {
    state.SkipWithError("workload missing: run PEERS_ONLY=topo /work/shared/peers/run.sh");
    return;
  }
  keep_solids(mesh);
  for (auto _ : state) {
    csr_graph graph;
    benchmark::DoNotOptimize(get_dual_graph(mesh, graph));
  }
  state.SetItemsProcessed(state.iterations() * std::int64_t(mesh.elements()));
}

BENCHMARK(BM_DualGraph)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK(BM_PartitionCommand)
    ->Args({0, 32})
    ->Args({1, 8})
    ->Iterations(2)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();

}  // namespace
