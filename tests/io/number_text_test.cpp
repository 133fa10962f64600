// The fast number conversions of the readers and writers against the C
// library conversions they stand for, on the same random and adversarial
// values. QUERNFOLD_NUMBER_CHECKS=<count> sets how many values a run draws.

#include "io/number_text.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>

namespace quernfold_test {
namespace {

using namespace ovk::quernfold::detail;

std::size_t check_count() {
  const char* set = std::getenv("QUERNFOLD_NUMBER_CHECKS");
  return set ? std::strtoull(set, nullptr, 10) : 300000;
}

double from_bits(std::uint64_t bits) {
  double x;
  std::memcpy(&x, &bits, sizeof x);
  return x;
}

// Random bit patterns over the whole range, coordinates-like values, ties
// of the sixth decimal (odd multiples of 2^-7), neighbours of powers of two
// and ten, the edges of the exact integer range, subnormals, signed zeros,
// infinities and NaNs of either sign.
double adversarial_double(std::mt19937_64& gen) {
  const double sign = gen() % 2 ? -1.0 : 1.0;
  switch (gen() % 8) {
    case 0:
      return from_bits(gen());
    case 1:
      return sign * std::ldexp(double(gen() >> 11), int(gen() % 120) - 100);
    case 2:
      return sign * std::ldexp(double(2 * (gen() % 100000000) + 1), -7);
    case 3:
      return sign *
             std::nextafter(std::ldexp(1.0, int(gen() % 140) - 80), gen() % 2 ? 0.0 : INFINITY);
    case 4:
      return sign * std::nextafter(std::pow(10.0, int(gen() % 40) - 20), gen() % 2 ? 0.0 : 1e300);
    case 5:
      return from_bits(gen() % 4 == 0 ? gen() % 5 : gen() >> 12) * sign;
    case 6: {
      const double special[] = {0.0,     INFINITY, NAN,  DBL_MAX,
                                DBL_MIN, 0.5e-6,   1e-6, 17592186044416.0};
      return sign * special[gen() % 8];
    }
    default:
      return (double(gen() >> 11) * 0x1p-53 - 0.5) * std::pow(10.0, int(gen() % 13) - 6);
  }
}

TEST(NumberText, FixedSixAndIntegersWriteWhatPrintfWrites) {
  std::mt19937_64 gen(20261206);
  char fast[kMaxNumberText], slow[kMaxNumberText];
  for (std::size_t k = 0, n = check_count(); k < n; ++k) {
    const double x = adversarial_double(gen);
    std::snprintf(slow, sizeof slow, "%f", x);
    *format_fixed6(fast, x) = '\0';
    ASSERT_STREQ(fast, slow) << "bits " << std::hex << [&] {
      std::uint64_t b;
      std::memcpy(&b, &x, sizeof b);
      return b;
    }();
    const int v = k % 3 == 0 ? int(gen()) : int(gen() % 2000001) - 1000000;
    std::snprintf(slow, sizeof slow, "%d", v);
    *format_int(fast, v) = '\0';
    ASSERT_STREQ(fast, slow);
  }
  for (int v : {0, INT_MIN, INT_MAX, -1}) {
    std::snprintf(slow, sizeof slow, "%d", v);
    *format_int(fast, v) = '\0';
    EXPECT_STREQ(fast, slow);
  }
}

}  // namespace
}  // namespace quernfold_test
