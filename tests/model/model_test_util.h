// Small builders shared by the model tests.
#pragma once

#include <cstddef>
#include <initializer_list>

#include <quernfold/quernfold.h>

namespace quernfold_model_test {

using ovk::quernfold::dense1D;
using ovk::quernfold::dense2D;

inline dense1D<unsigned> list(std::initializer_list<unsigned> v) { return dense1D<unsigned>(v); }

// A window onto `parent` holding the given columns, whose leading dimension
// is one more than its height: the row between two columns holds `gap`, so
// a walk that strays off the window's entries is caught.
inline dense2D<unsigned> padded_window(std::initializer_list<std::initializer_list<unsigned>> cols,
                                       unsigned gap, dense2D<unsigned>& parent) {
  const dense2D<unsigned> packed(cols);
  parent = dense2D<unsigned>(packed.rows() + 1, packed.cols(), gap);
  for (std::size_t j = 0; j < packed.cols(); ++j)
    for (std::size_t i = 0; i < packed.rows(); ++i) parent(i, j) = packed(i, j);
  return parent.sub_matrix(0, 0, packed.rows(), packed.cols());
}

}  // namespace quernfold_model_test
