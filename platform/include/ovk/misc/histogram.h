// Running statistics of a stream of values, with optional fixed-width bins.
#pragma once

#include <cstddef>
#include <vector>

namespace ovk {
namespace misc {

class histogram {
 public:
  // No bins: only count, min, max and mean are kept.
  histogram() = default;

  // nbins equal bins over [lo, hi); values outside go to the under/over counts.
  histogram(double lo, double hi, std::size_t nbins) { set_bins(lo, hi, nbins); }

  // Replaces the bins (and their counts); the running statistics stay.
  void set_bins(double lo, double hi, std::size_t nbins);

  void process(double value);

  // Forgets every value processed; the bins stay.
  void reset();

  std::size_t count() const { return count_; }
  // Smallest and largest value processed (0 when none). NaN values are
  // counted but play no part in min, max and mean.
  double min() const { return finite_count_ ? min_ : 0.0; }
  double max() const { return finite_count_ ? max_ : 0.0; }
  double mean() const { return finite_count_ ? sum_ / static_cast<double>(finite_count_) : 0.0; }

  std::size_t nbins() const { return bins_.size(); }
  double bin_lower(std::size_t k) const { return lo_ + width_ * static_cast<double>(k); }
  std::size_t bin_count(std::size_t k) const { return bins_[k]; }
  std::size_t underflow() const { return under_; }
  std::size_t overflow() const { return over_; }

 private:
  std::size_t count_ = 0, finite_count_ = 0;
  double min_ = 0.0, max_ = 0.0, sum_ = 0.0;
  double lo_ = 0.0, hi_ = 0.0, width_ = 0.0;
  std::vector<std::size_t> bins_;
  std::size_t under_ = 0, over_ = 0;
};

}  // namespace misc
}  // namespace ovk
