// Reading a generated binary STL of 10M triangles (a flat 2500 x 2000 grid
// of squares, two triangles each; about 500 MB): time and peak resident
// memory per triangle. The file is written once into a temporary directory
// and removed at exit.
#include <benchmark/benchmark.h>
#include <quernfold/io.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "support/mesh_gen.h"

using namespace ovk::quernfold;

namespace {

constexpr unsigned kCellsX = 2500;
constexpr unsigned kCellsY = 2000;
constexpr double kTriangles = 2.0 * kCellsX * kCellsY;

// A field of /proc/self/status in bytes (its value is in KiB).
double status_bytes(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string key;
  double kib = 0;
  while (status >> key)
    if (key == field && status >> kib) return kib * 1024;
  return 0;
}

// Starts a new peak of resident memory at the current resident size.
void reset_peak() { std::ofstream("/proc/self/clear_refs") << "5"; }

struct stl_file {
  stl_file() : name((std::filesystem::temp_directory_path() / "quernfold-10M.stl").string()) {
    const quernfold_test::mesh m = quernfold_test::tria_grid(kCellsX, kCellsY);
    if (STL_output(name.c_str(), m.coords, m.connect, false) != 0) name.clear();
  }
  ~stl_file() { std::remove(name.c_str()); }
  std::string name;
};

void BM_ReadBinarySTL10M(benchmark::State& state) {
  static const stl_file file;
  if (file.name.empty()) return state.SkipWithError("cannot write the STL file");
  double peak = 0;
  for (auto _ : state) {
    dense2D<double> coords;
    dense2D<unsigned> tria;
    const double before = status_bytes("VmRSS:");
    reset_peak();
    if (STL_input(file.name.c_str(), coords, tria) != 0 || tria.cols() != kTriangles)
      return state.SkipWithError("reading failed");
    peak = std::max(peak, status_bytes("VmHWM:") - before);
  }
  state.counters["time_per_triangle"] = benchmark::Counter(
      kTriangles, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
  state.counters["peak_bytes_per_triangle"] = peak / kTriangles;
}
BENCHMARK(BM_ReadBinarySTL10M)->Unit(benchmark::kSecond)->Iterations(2)->UseRealTime();

}  // namespace
