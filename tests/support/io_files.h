// Files for the reader and writer tests: a temporary directory per test,
// whole-file reads and writes, and small helpers to build and compare
// matrices.
#pragma once

#include <gtest/gtest.h>
#include <quernfold/quernfold.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/compare.h"

namespace quernfold_test {

using ovk::quernfold::dense1D;
using ovk::quernfold::dense2D;

// A fresh directory under the system temporary directory, removed with
// everything in it when the test ends.
class io_test : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string name = (std::filesystem::temp_directory_path() / "quernfold-io-XXXXXX").string();
    ASSERT_NE(mkdtemp(name.data()), nullptr);
    dir_ = name;
  }
  void TearDown() override {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }

  // Absolute path of `name` inside the test's directory.
  std::string path(const std::string& name) const { return (dir_ / name).string(); }

  std::filesystem::path dir_;
};

// Outputs of the NASTRAN and FEMAP core readers.
struct run_outputs {
  using core_reader = int (*)(const char*, dense2D<double>&, dense2D<unsigned>&, dense1D<unsigned>&,
                              dense1D<int>&, dense1D<unsigned>&);

  // Reads the file `name` with `reader` into the members.
  int read_with(core_reader reader, const std::string& name) {
    return reader(name.c_str(), coords, connect, bounds, types, pids);
  }

  dense2D<double> coords;
  dense2D<unsigned> connect;
  dense1D<unsigned> bounds, pids;
  dense1D<int> types;
};

inline std::string read_file(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void write_file(const std::string& name, const std::string& content) {
  std::ofstream(name, std::ios::binary) << content;
}

inline std::string fixture(const std::string& name) {
  return std::string(QUERNFOLD_FIXTURE_DIR) + "/io/" + name;
}

inline std::string real_mesh(const std::string& name) {
  return std::string(QUERNFOLD_MESH_DIR) + "/" + name;
}

inline bool real_meshes_present() { return std::filesystem::is_directory(QUERNFOLD_MESH_DIR); }

// printf into a std::string (to build expected lines from format strings).
template <class... Args>
std::string fmt(const char* format, Args... args) {
  std::string s(static_cast<std::size_t>(std::snprintf(nullptr, 0, format, args...)), '\0');
  std::snprintf(s.data(), s.size() + 1, format, args...);  // its '\0' lands on s's own
  return s;
}

// Matrix of `rows` rows with its columns given one after the other; no
// values give 0 x 0, the shape of an output that received nothing.
template <class T>
dense2D<T> columns(std::size_t rows, const std::vector<T>& values) {
  if (values.empty()) return dense2D<T>();
  dense2D<T> M(rows, values.size() / rows);
  for (std::size_t k = 0; k < values.size(); ++k) M(k % rows, k / rows) = values[k];
  return M;
}

// A writer call on the file name `f`, as a std::function<int(const char*)>.
#define WRITE(call) [&]([[maybe_unused]] const char* f) { return call; }

}  // namespace quernfold_test
