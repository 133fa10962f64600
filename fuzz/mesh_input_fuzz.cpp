// libFuzzer target of the MEDIT, VTK and MSH readers, one executable per
// reader: build with -DFUZZ_MESH_READER=medit_input (or vtk_input,
// msh_input) and -fsanitize=fuzzer. Any bytes must give a documented code;
// a failure leaves every output empty; a success gives runs that frame the
// connectivity, one reference per element and node numbers that name nodes.
#include <quernfold/quernfold.h>
#include <stdio.h>

#include <cstdint>
#include <cstdlib>

using namespace ovk::quernfold;

namespace {

bool runs_hold(const dense2D<double>& coords, const dense2D<unsigned>& connect,
               const dense1D<unsigned>& bounds, const dense1D<int>& types,
               const dense1D<unsigned>& refs) {
  const std::size_t runs = types.size();
  if (bounds.size() != (runs ? runs + 1 : 2) || bounds[0] != 0) return false;
  if (bounds[bounds.size() - 1] != connect.cols() || refs.size() != connect.cols()) return false;
  for (std::size_t k = 0; k < runs; ++k) {
    const auto t = static_cast<element_type>(types[k]);
    if (t <= ET_NODE || t > ET_HEXA27 || bounds[k + 1] <= bounds[k]) return false;
    for (std::size_t j = bounds[k]; j < bounds[k + 1]; ++j)
      for (std::size_t i = 0; i < connect.rows(); ++i)
        if ((i < nbr_nodes(t)) != (connect(i, j) < coords.cols())) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static char none;
  FILE* f =
      fmemopen(size ? const_cast<std::uint8_t*>(data) : static_cast<void*>(&none), size, "rb");
  dense2D<double> coords(2, 2, 7.0);
  dense2D<unsigned> connect(2, 2, 7u);
  dense1D<unsigned> bounds{7}, refs{7};
  dense1D<int> types{7};
  const int code = FUZZ_MESH_READER(f, coords, connect, bounds, types, refs);
  if (f) fclose(f);
  const std::size_t left =
      coords.cols() + connect.cols() + bounds.size() + types.size() + refs.size();
  if (code == 0 && !runs_hold(coords, connect, bounds, types, refs)) std::abort();
  if (code != 0 && (left != 0 || (code != -1 && code != -2 && code != -3 && code != no_memory)))
    std::abort();
  return 0;
}
