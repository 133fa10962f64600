// Reading the peer harness's 984k-tetrahedron mesh of the unit cube with the
// MSH, MEDIT and VTK readers. The files are those of bench/mesh_input_peers.sh
// (gmsh's box.msh and meshio's box.mesh and box.vtk) in the folder named by
// QUERNFOLD_PEER_DATA (default /tmp/quernfold-peers/data); a missing file
// skips its benchmark.
#include <benchmark/benchmark.h>
#include <quernfold/io.h>

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

BENCHMARK_CAPTURE(read_mesh, msh_input_box_msh22, &msh_input, "box.msh")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(read_mesh, medit_input_box_mesh, &medit_input, "box.mesh")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(read_mesh, vtk_input_box_vtk, &vtk_input, "box.vtk")
    ->Unit(benchmark::kMillisecond);

}  // namespace
