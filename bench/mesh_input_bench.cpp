// Reading the peer harness's 984k-tetrahedron mesh of the unit cube with the
// MSH, MEDIT and VTK readers, and whole meshes (load_mesh) on 1 and 2
// threads, the 1M-triangle text STL torus among them. The files are those of
// bench/mesh_input_peers.sh (gmsh's box.msh and meshio's box.mesh and
// box.vtk), of the peer workloads (torus.txt.stl) and of
// bench/threads_bench.sh (box41.msh, MSH 4.1) in the folder named by
// QUERNFOLD_PEER_DATA (default /tmp/quernfold-peers/data); a missing file
// skips its benchmark.
#include <benchmark/benchmark.h>
#include <quernfold/io.h>
#include <quernfold/mesh.h>

#include <cstdlib>
#include <filesystem>
#include <string>

using namespace ovk::quernfold;

namespace {

using core_reader = int (*)(const char*, dense2D<double>&, dense2D<unsigned>&, dense1D<unsigned>&,
                            dense1D<int>&, dense1D<unsigned>&);

std::string peer_file(const char* name) {
  const char* dir = std::getenv("QUERNFOLD_PEER_DATA");
  return std::string(dir ? dir : "/tmp/quernfold-peers/data") + "/" + name;
}

void read_mesh(benchmark::State& state, core_reader reader, const char* name) {
  const std::string path = peer_file(name);
  if (!std::filesystem::exists(path)) {
    state.SkipWithError(("missing " + path).c_str());
    return;
  }
  dense2D<double> coords;
  dense2D<unsigned> connect;
  dense1D<unsigned> bounds, refs;
  dense1D<int> types;
  for (auto _ : state) {
    if (reader(path.c_str(), coords, connect, bounds, types, refs) != 0) {
      state.SkipWithError(("cannot read " + path).c_str());
      return;
    }
    benchmark::DoNotOptimize(connect.data());
  }
  state.counters["nodes"] = static_cast<double>(coords.cols());
  state.counters["elements"] = static_cast<double>(connect.cols());
  state.SetBytesProcessed(state.iterations() * std::filesystem::file_size(path));
}

// The whole mesh of `name` read by load_mesh on state.range(0) threads.
void load_on_threads(benchmark::State& state, const char* name) {
  const std::string path = peer_file(name);
  if (!std::filesystem::exists(path)) {
    state.SkipWithError(("missing " + path).c_str());
    return;
  }
  for (auto _ : state) {
    mesh_data mesh;
    read_report report;
    if (load_mesh(path.c_str(), mesh, report, nullptr, static_cast<unsigned>(state.range(0)))) {
      state.SkipWithError(("cannot read " + path).c_str());
      return;
    }
    benchmark::DoNotOptimize(mesh.coords.data());
  }
  state.SetBytesProcessed(state.iterations() * std::filesystem::file_size(path));
}

BENCHMARK_CAPTURE(read_mesh, msh_input_box_msh22, &msh_input, "box.msh")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(read_mesh, medit_input_box_mesh, &medit_input, "box.mesh")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(read_mesh, vtk_input_box_vtk, &vtk_input, "box.vtk")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(load_on_threads, box_msh22, "box.msh")
    ->Arg(1)
    ->Arg(2)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(load_on_threads, box41_msh41, "box41.msh")
    ->Arg(1)
    ->Arg(2)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(load_on_threads, box_mesh, "box.mesh")
    ->Arg(1)
    ->Arg(2)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(load_on_threads, box_vtk, "box.vtk")
    ->Arg(1)
    ->Arg(2)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(load_on_threads, torus_txt_stl, "torus.txt.stl")
    ->Arg(1)
    ->Arg(2)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
