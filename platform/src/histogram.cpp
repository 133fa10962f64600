#include "ovk/misc/histogram.h"

#include <cmath>

namespace ovk {
namespace misc {

void histogram::set_bins(double lo, double hi, std::size_t nbins) {
  lo_ = lo;
  hi_ = hi;
  width_ = nbins && hi > lo ? (hi - lo) / static_cast<double>(nbins) : 0.0;
  bins_.assign(width_ > 0.0 ? nbins : 0, 0);
  under_ = over_ = 0;
}

void histogram::reset() {
  count_ = finite_count_ = 0;
  min_ = max_ = sum_ = 0.0;
  bins_.assign(bins_.size(), 0);
  under_ = over_ = 0;
}

void histogram::process(double value) {
  ++count_;
  if (std::isnan(value)) return;
  if (finite_count_ == 0 || value < min_) min_ = value;
  if (finite_count_ == 0 || value > max_) max_ = value;
  sum_ += value;
  ++finite_count_;
  if (bins_.empty()) return;
  if (value < lo_) {
    ++under_;
    return;
  }
  if (value >= hi_) {
    ++over_;
    return;
  }
  // Rounding in the division can push a value just below hi to index nbins.
  const double k = std::floor((value - lo_) / width_);
  const std::size_t last = bins_.size() - 1;
  ++bins_[k < static_cast<double>(last) ? static_cast<std::size_t>(k) : last];
}

}  // namespace misc
}  // namespace ovk
