// The fast number conversions of the readers and writers against the C
// library conversions they stand for, on the same random and adversarial
// values.

#include "io/shared/number_text.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <sstream>

namespace quernfold_test {
namespace {

using namespace ovk::quernfold::detail;

// Values drawn for the formatting check; a quarter of it for reading.
constexpr std::size_t kCheckCount = 300000;

const double kSpecial[] = {0.0, INFINITY, NAN, DBL_MAX, DBL_MIN, 0.5e-6, 1e-6, 0x1p44};

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
    case 6:
      return sign * kSpecial[gen() % 8];
    default:
      return (double(gen() >> 11) * 0x1p-53 - 0.5) * std::pow(10.0, int(gen() % 13) - 6);
  }
}

TEST(NumberText, FixedSixWritesWhatPrintfWrites) {
  std::mt19937_64 gen(20261206);
  char fast[kMaxNumberText], slow[kMaxNumberText];
  for (std::size_t k = 0; k < kCheckCount; ++k) {
    const double x = adversarial_double(gen);
    std::snprintf(slow, sizeof slow, "%f", x);
    *format_fixed6(fast, x) = '\0';
    ASSERT_STREQ(fast, slow) << std::hexfloat << x;
  }
}

// Texts that stress the readers' collectors: random runs over the
// characters of numbers, signs, points, exponents, hexadecimal digits,
// "inf" and "nan", blanks and parentheses; and numbers written every way
// (shortest, 17 and 40 digits, hexadecimal, integers of up to 300 digits),
// exact decimal expansions of the midpoints between neighboring doubles
// (normal and subnormal) with and without a tail just above, and very long
// mantissas with exponents at the range limits.
std::string adversarial_text(std::mt19937_64& gen) {
  static const char alphabet[] = "0123456789.eE+-xXpPabcdfinftyINFAN ()\t\n";
  char buf[1200];
  const double x = adversarial_double(gen);
  switch (gen() % 6) {
    case 0: {
      std::string s;
      for (unsigned k = 0, n = unsigned(gen() % 14); k < n; ++k)
        s += alphabet[gen() % (sizeof alphabet - 1)];
      return s;
    }
    case 1: {
      const char* formats[] = {"%.17g", "%.40e", "%a", "%.0f", "%g", "%+.3E"};
      std::snprintf(buf, sizeof buf, formats[gen() % 6], x);
      return buf;
    }
    case 2: {  // midpoint of x and the next double up, written out exactly
      const double a = std::fabs(x), b = std::nextafter(a, INFINITY);
      if (!std::isfinite(b)) return "1.7976931348623158e308";
      std::snprintf(buf, sizeof buf, "%.770Le", ((long double)a + (long double)b) / 2);
      return std::string(buf) + (gen() % 2 ? "" : "0000001e0");
    }
    default: {  // long mantissas, or short ones about the exact products (19 digits, 10^22)
      const bool near = gen() % 2;
      std::string s = gen() % 2 ? "-" : "+";
      for (unsigned k = 0, n = 1 + unsigned(gen() % (near ? 21 : 800)); k < n; ++k)
        s += char('0' + gen() % 10);
      if (gen() % 2) s.insert(1 + gen() % (s.size() - 1), ".");
      const int range = near ? 26 : 700, e = int(gen() % (2 * range)) - range;
      if (!near || gen() % 2)  // sometimes an exponent of more digits than an int holds
        s += (gen() % 2 ? "e" : "E") + std::to_string(e) + (gen() % 4 ? "" : "0000000000");
      return s + std::string(" \tx.e").substr(gen() % 6, 1);  // or nothing after
    }
  }
}

TEST(NumberText, ScanfAndStreamReadingAgreeWithTheLibrary) {
  std::mt19937_64 gen(7);
  for (std::size_t k = 0; k < kCheckCount / 4; ++k) {
    const std::string s = adversarial_text(gen);
    double want = -7, got = -7;
    int used = -1;
    const int count = std::sscanf(s.c_str(), "%lg%n", &want, &used);
    const char* stop = scan_lg(s.c_str(), got);
    ASSERT_EQ(stop ? 1 : count == EOF ? EOF : 0, count) << "[" << s << "]";
    if (count == 1) {
      ASSERT_EQ(stop - s.c_str(), used) << "[" << s << "]";
      ASSERT_TRUE(std::memcmp(&got, &want, sizeof got) == 0 ||
                  (std::isnan(got) && std::isnan(want) && std::signbit(got) == std::signbit(want)))
          << "[" << s << "] " << got << " " << want;
    }
    std::istringstream in(s);
    in >> want;
    bool ok;
    stop = extract_double(s.data(), s.data() + s.size(), got, ok);
    ASSERT_EQ(ok, !in.fail()) << "[" << s << "]";
    ASSERT_EQ(std::memcmp(&got, &want, sizeof got), 0) << "[" << s << "] " << got << " " << want;
    const long want_stop = in.eof() ? long(s.size()) : long(in.tellg());
    ASSERT_EQ(ok ? stop - s.data() : want_stop, want_stop) << s;
  }
}

}  // namespace
}  // namespace quernfold_test
