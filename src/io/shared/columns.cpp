#include "io/shared/columns.h"

namespace ovk {
namespace quernfold {
namespace detail {

std::size_t next_power_of_two(std::size_t n) noexcept {
  std::size_t p = 1;
  while (p < n && p <= static_cast<std::size_t>(-1) / 2) p *= 2;
  return p < n ? n : p;
}

bool node_columns::set(std::size_t col, double x, double y, double z) noexcept {
  if (col >= M_.cols()) {
    // Fresh zero-filled storage; only the columns already stored move over.
    dense2D<double> grown;
    if (col == static_cast<std::size_t>(-1) ||
        !grown.resize(kRows, next_power_of_two(std::max<std::size_t>(col + 1, 4)), 0.0))
      return false;
    for (std::size_t k = 0; k < stored_.size(); ++k)
      std::copy(M_.column(stored_[k]), M_.column(stored_[k]) + kRows, grown.column(stored_[k]));
    M_ = grown;
  }
  if (!stored_.push_back(col)) return false;
  double* c = M_.column(col);
  c[0] = x;
  c[1] = y;
  c[2] = z;
  used_ = std::max(used_, col + 1);
  return true;
}

}  // namespace detail
}  // namespace quernfold
}  // namespace ovk
