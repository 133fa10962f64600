// Runs a reader on a block of bytes and checks what io.h promises on every
// return: the code is one the reader documents, outputs are emptied or kept
// as stated, the run containers agree with the connectivity, and the
// narrower reader forms return what the full form returns. Each check gives
// an empty string when every promise holds, else the first one broken.
// Shared by the fuzz targets and the truncation test.
#pragma once

#include <quernfold/quernfold.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

namespace reader_checks {

using namespace ovk::quernfold;

// A check of the promises on one block of bytes: "" or the first broken.
using bytes_check = std::string (*)(const std::uint8_t*, std::size_t);

// A read-only stream over the bytes, closed when it goes.
struct memory_stream {
  memory_stream(const std::uint8_t* data, std::size_t size) {
    static char none;
    f = fmemopen(size ? const_cast<std::uint8_t*>(data) : static_cast<void*>(&none), size, "rb");
  }
  ~memory_stream() {
    if (f) std::fclose(f);
  }
  std::FILE* f;
};

inline std::string code_problem(int code, std::initializer_list<int> documented) {
  if (std::find(documented.begin(), documented.end(), code) != documented.end()) return "";
  return "undocumented code " + std::to_string(code);
}

template <class M>
bool same_entries(const M& a, const M& b) {
  const auto u = a.as_vector(), v = b.as_vector();
  return a.rows() == b.rows() && a.cols() == b.cols() &&
         (u.empty() || std::memcmp(u.data(), v.data(), u.size() * sizeof(u[0])) == 0);
}

// Gives outputs entries before a call, so that a reader which does not
// empty them is caught.
template <class... M>
void stale(M&... outputs) {
  (outputs.resize(2, 2, typename M::value_type(7)), ...);
}

// The NASTRAN and FEMAP core output: one column per element, as many rows as
// the tallest element, unused slots no_index; runs of equal types; without
// elements bounds is {0, 0} and there is no type.
// `dims` is the lowest row count the coordinates may have (up to 3).
inline std::string runs_problem(const dense2D<double>& coords, const dense2D<unsigned>& connect,
                                const dense1D<unsigned>& bounds, const dense1D<int>& types,
                                const dense1D<unsigned>& pids, std::size_t dims = 3) {
  if ((coords.rows() < dims || coords.rows() > 3) && !coords.empty())
    return "coordinates of the wrong height";
  if (bounds.size() != types.size() + (types.empty() ? 2 : 1) || bounds[0] != 0 ||
      bounds[bounds.size() - 1] != connect.cols() || pids.size() != connect.cols())
    return "bounds or pids do not frame the elements";
  std::size_t tallest = 0;
  for (std::size_t k = 0; k < types.size(); ++k) {
    if (types[k] < ET_UNKNOWN || types[k] > ET_HEXA27) return "type out of range";
    if (bounds[k + 1] <= bounds[k] || (k && types[k] == types[k - 1])) return "empty or split run";
    const std::size_t n = nbr_nodes(static_cast<element_type>(types[k]));
    tallest = std::max(tallest, n);
    for (std::size_t j = bounds[k]; j < bounds[k + 1]; ++j)
      for (std::size_t i = n; i < connect.rows(); ++i)
        if (connect(i, j) != no_index) return "used slot past the element's nodes";
  }
  return connect.rows() == tallest || connect.empty() ? "" : "connectivity taller than its runs";
}

using core_reader = int (*)(std::FILE*, dense2D<double>&, dense2D<unsigned>&, dense1D<unsigned>&,
                            dense1D<int>&, dense1D<unsigned>&);
using type_reader = int (*)(std::FILE*, dense2D<double>&, dense2D<unsigned>&, element_type&);
using pair_reader = int (*)(std::FILE*, dense2D<double>&, dense2D<unsigned>&, dense2D<unsigned>&,
                            element_type&, element_type&);

// All three forms of a run reader on the same bytes. With several runs the
// one-type form of NASTRAN (`widens`) answers a mixed kind or ET_UNKNOWN and
// leaves the type alone without elements; FEMAP answers ET_UNKNOWN for both.
inline std::string runs_bytes(const std::uint8_t* data, std::size_t size, core_reader core,
                              type_reader one, pair_reader two, std::initializer_list<int> codes,
                              bool widens, std::size_t dims = 3) {
  dense2D<double> coords, coords2, coords3;
  dense2D<unsigned> connect, connect2, first, second;
  dense1D<unsigned> bounds, pids;
  dense1D<int> types;
  stale(coords, connect, coords2, connect2, first, second);
  const int code = core(memory_stream(data, size).f, coords, connect, bounds, types, pids);
  std::string p = code_problem(code, codes);
  if (!p.empty() || code == no_memory) return p;
  if (!(p = runs_problem(coords, connect, bounds, types, pids, dims)).empty()) return p;
  const element_type unset = ET_HEXA27;
  element_type type = unset, pair[2] = {unset, unset};
  if (one(memory_stream(data, size).f, coords2, connect2, type) != code ||
      !same_entries(coords2, coords) || !same_entries(connect2, connect))
    return "one-type form differs";
  const std::size_t runs = types.size();
  const bool mixed =
      type == ET_UNKNOWN || (widens && (type == ET_FACE_MIX || type == ET_SOLID_MIX));
  if (runs == 1 ? type != types[0] : runs == 0 && widens ? type != unset : !mixed)
    return "one-type form type " + std::to_string(type);
  if (two(memory_stream(data, size).f, coords3, first, second, pair[0], pair[1]) != code ||
      !same_entries(coords3, coords))
    return "two-run form differs";
  for (std::size_t k = 0; k < 2; ++k) {
    const element_type t = k < runs ? static_cast<element_type>(types[k]) : unset;
    const dense2D<unsigned> want =
        k < runs ? connect.sub_matrix(0, bounds[k], nbr_nodes(t), bounds[k + 1] - bounds[k])
                 : dense2D<unsigned>();
    if (!same_entries(k ? second : first, want) || pair[k] != t) return "two-run form run differs";
  }
  return "";
}

inline std::string nastran_bytes(const std::uint8_t* d, std::size_t n) {
  return runs_bytes(d, n, NASTRAN_input, NASTRAN_input, NASTRAN_input, {0, -1, no_memory}, true);
}

inline std::string femap_bytes(const std::uint8_t* d, std::size_t n) {
  return runs_bytes(d, n, FEMAP_input, FEMAP_input, FEMAP_input, {0, -102, no_memory}, false);
}

// MEDIT, VTK and MSH: the run forms with NASTRAN's one-type rule and
// coordinates of the file's dimension; after a failure every output is
// empty, after a success every used slot names a node.
template <core_reader core, type_reader one, pair_reader two>
std::string scanned_bytes(const std::uint8_t* data, std::size_t size) {
  dense2D<double> coords;
  dense2D<unsigned> connect;
  dense1D<unsigned> bounds, refs;
  dense1D<int> types;
  stale(coords, connect);
  const int code = core(memory_stream(data, size).f, coords, connect, bounds, types, refs);
  if (code != 0)
    return coords.empty() && connect.empty() && bounds.empty() && types.empty() && refs.empty()
               ? code_problem(code, {-1, -2, -3, no_memory})
               : "outputs kept after a failure";
  for (unsigned node : connect.as_vector())
    if (node != no_index && node >= coords.cols()) return "node number past the coordinates";
  return runs_bytes(data, size, core, one, two, {0, -1, -2, -3, no_memory}, true, 1);
}

inline constexpr auto medit_bytes = scanned_bytes<medit_input, medit_input, medit_input>;
inline constexpr auto vtk_bytes = scanned_bytes<vtk_input, vtk_input, vtk_input>;
inline constexpr auto msh_bytes = scanned_bytes<msh_input, msh_input, msh_input>;

// STL: on failure both outputs are empty; on success a 3-row triangle
// matrix whose nodes are all used and all within the coordinates (without
// triangles: coordinates 0 x 0 and triangles 3 x 0).
inline std::string stl_bytes(const std::uint8_t* data, std::size_t size) {
  dense2D<double> coords;
  dense2D<unsigned> tria;
  stale(coords, tria);
  const int code = STL_input(memory_stream(data, size).f, coords, tria);
  std::string p = code_problem(code, {0, -2, -3, no_memory});
  if (!p.empty()) return p;
  if (code < 0) return coords.empty() && tria.empty() ? "" : "outputs kept after a failure";
  if (tria.cols() == 0)
    return coords.empty() && tria.rows() == 3 ? "" : "a file without triangles gives other shapes";
  if (coords.rows() != 3 || !check_IDs(tria, ET_TRIA3, static_cast<unsigned>(coords.cols())))
    return "not 3-row coordinates and triangles over them";
  std::vector<bool> used(coords.cols());
  for (unsigned node : tria.as_vector()) used[node] = true;
  return std::count(used.begin(), used.end(), false) ? "unused node kept" : "";
}

// OBJ: the reader takes a file name, so the bytes go to a file of this
// process first.
inline std::string obj_bytes(const std::uint8_t* data, std::size_t size) {
  const std::string name = "/tmp/quernfold-obj-check-" + std::to_string(getpid()) + ".obj";
  std::FILE* f = std::fopen(name.c_str(), "wb");
  const bool written = f && std::fwrite(data, 1, size, f) == size;
  if (!f || std::fclose(f) != 0 || !written) return "cannot write " + name;
  dense2D<double> coords, uv, normals;
  dense2D<unsigned> tria, quad;
  stale(coords, uv, normals, tria, quad);
  const int code = WavefrontOBJ_input(name.c_str(), coords, uv, normals, tria, quad);
  std::remove(name.c_str());
  auto rows = [](const auto& M, std::size_t lo, std::size_t hi) {
    return M.empty() || (M.rows() >= lo && M.rows() <= hi);
  };
  if (!rows(coords, 3, 3) || !rows(normals, 3, 3) || !rows(uv, 1, 3) || !rows(tria, 3, 3) ||
      !rows(quad, 4, 4))
    return "output of the wrong height";
  return code_problem(code, {0, -2, no_memory});
}

}  // namespace reader_checks
