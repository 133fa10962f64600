// Reading and writing a torus of about one million triangles as binary STL,
// text STL and Wavefront OBJ. The files are written once into a temporary
// directory, read back by the read benchmarks and removed at exit.
#include <benchmark/benchmark.h>
#include <quernfold/io.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

using namespace ovk::quernfold;

namespace {

// 1000 x 500 grid cells on the torus, two triangles each.
constexpr unsigned kAround = 1000;
constexpr unsigned kAcross = 500;
constexpr double kMajorRadius = 3.0;
constexpr double kMinorRadius = 1.0;

struct torus {
  dense2D<double> coords;
  dense2D<unsigned> tria;
};

torus make_torus() {
  const double pi = std::acos(-1.0);
  torus t{dense2D<double>(3, std::size_t(kAround) * kAcross),
          dense2D<unsigned>(3, 2 * std::size_t(kAround) * kAcross)};
  for (unsigned j = 0; j < kAcross; ++j)
    for (unsigned i = 0; i < kAround; ++i) {
      const double u = 2 * pi * i / kAround, v = 2 * pi * j / kAcross;
      const std::size_t n = i + std::size_t(j) * kAround;
      t.coords(0, n) = (kMajorRadius + kMinorRadius * std::cos(v)) * std::cos(u);
      t.coords(1, n) = (kMajorRadius + kMinorRadius * std::cos(v)) * std::sin(u);
      t.coords(2, n) = kMinorRadius * std::sin(v);
      const unsigned a = i + j * kAround, b = (i + 1) % kAround + j * kAround;
      const unsigned c = (i + 1) % kAround + (j + 1) % kAcross * kAround;
      const unsigned d = i + (j + 1) % kAcross * kAround;
      const unsigned cells[2][3] = {{a, b, c}, {a, c, d}};
      for (int k = 0; k < 2; ++k)
        for (int r = 0; r < 3; ++r) t.tria(r, 2 * n + k) = cells[k][r];
    }
  return t;
}

const torus& shape() {
  static const torus t = make_torus();
  return t;
}

// The directory of the benchmark files, removed when the program ends.
class scratch_dir {
 public:
  scratch_dir() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "quernfold-io-bench-XXXXXX").string();
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (mkdtemp(buf.data())) dir_ = buf.data();
  }
  ~scratch_dir() {
    std::error_code ec;
    if (!dir_.empty()) std::filesystem::remove_all(dir_, ec);
  }
  std::string file(const char* name) const { return (dir_ / name).string(); }

 private:
  std::filesystem::path dir_;
};

const scratch_dir& scratch() {
  static const scratch_dir d;
  return d;
}

enum class format { stl_binary, stl_text, obj };

std::string file_of(format f) {
  switch (f) {
    case format::stl_binary:
      return scratch().file("torus_bin.stl");
    case format::stl_text:
      return scratch().file("torus_text.stl");
    default:
      return scratch().file("torus.obj");
  }
}

int write(format f) {
  const torus& t = shape();
  const std::string name = file_of(f);
  if (f == format::obj) return WavefrontOBJ_output(name.c_str(), t.coords, t.tria, ET_TRIA3);
  return STL_output(name.c_str(), t.coords, t.tria, f == format::stl_text);
}

void BM_Write(benchmark::State& state, format f) {
  shape();
  for (auto _ : state)
    if (write(f) != 0) state.SkipWithError("write failed");
  state.counters["triangles"] = static_cast<double>(shape().tria.cols());
  state.counters["MB"] = static_cast<double>(std::filesystem::file_size(file_of(f))) / 1e6;
}

void BM_Read(benchmark::State& state, format f) {
  if (!std::filesystem::exists(file_of(f)) && write(f) != 0) {
    state.SkipWithError("cannot write the input");
    return;
  }
  const std::string name = file_of(f);
  std::size_t nodes = 0, triangles = 0;
  for (auto _ : state) {
    dense2D<double> coords, uv, normals;
    dense2D<unsigned> tria, quad;
    const int code = f == format::obj
                         ? WavefrontOBJ_input(name.c_str(), coords, uv, normals, tria, quad)
                         : STL_input(name.c_str(), coords, tria);
    if (code != 0) state.SkipWithError("read failed");
    nodes = coords.cols();
    triangles = tria.cols();
  }
  state.counters["nodes"] = static_cast<double>(nodes);
  state.counters["triangles"] = static_cast<double>(triangles);
}

// Whole-file operations of a second or more: one iteration per run, three
// runs, medians reported.
void configure(benchmark::internal::Benchmark* b) {
  b->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(3)->ReportAggregatesOnly(true);
  b->UseRealTime();
}

BENCHMARK_CAPTURE(BM_Write, stl_binary, format::stl_binary)->Apply(configure);
BENCHMARK_CAPTURE(BM_Write, stl_text, format::stl_text)->Apply(configure);
BENCHMARK_CAPTURE(BM_Write, obj, format::obj)->Apply(configure);
BENCHMARK_CAPTURE(BM_Read, stl_binary, format::stl_binary)->Apply(configure);
BENCHMARK_CAPTURE(BM_Read, stl_text, format::stl_text)->Apply(configure);
BENCHMARK_CAPTURE(BM_Read, obj, format::obj)->Apply(configure);

}  // namespace
