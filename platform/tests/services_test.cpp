// The histogram's bins, under- and overflow (the symmetric eigen-solver is
// checked through the 3x3 metric decompositions).
#include <gtest/gtest.h>

#include <cmath>

#include "ovk/misc/histogram.h"

using ovk::misc::histogram;

TEST(Histogram, BinsUnderflowAndOverflow) {
  histogram h(0.0, 1.0, 4), thirds(0.0, 1.0, 3);
  for (double v : {0.1, 0.3, 0.4, 0.6, 0.95, -1.0, 1.0, 2.5, std::nan("")}) h.process(v);
  // A value just below the upper bound belongs to the last bin even when
  // the division rounds up to the bin count.
  thirds.process(std::nextafter(1.0, 0.0));
  const std::size_t bins[] = {h.bin_count(0), h.bin_count(1), h.bin_count(2), h.bin_count(3),
                              h.underflow(),  h.overflow(),   h.count(),      thirds.bin_count(2)};
  const std::size_t want[] = {1, 2, 1, 1, 1, 2, 9, 1};  // 1.0 is outside [0, 1)
  for (int k = 0; k < 8; ++k) EXPECT_EQ(bins[k], want[k]) << k;
  EXPECT_EQ(h.max(), 2.5);  // NaN is counted, nothing more
  EXPECT_DOUBLE_EQ(h.mean(), (0.1 + 0.3 + 0.4 + 0.6 + 0.95 - 1.0 + 1.0 + 2.5) / 8);
}
