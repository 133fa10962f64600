// Reading follows the two collectors character for character (what scanf
// and the stream take for a number decides where the next field starts)
// and converts plain decimal text with std::from_chars, which rounds
// correctly as strtod does; hexadecimal, infinities, NaNs and values out of
// the double range go to strtod itself.
//
// Fixed-notation formatting by exact integer arithmetic: a finite double is
// m x 2^e with an integer m below 2^53; below 2^44 the value times 10^6 is
// m x 10^6 x 2^e, exact in 128 bits, and rounding it to an integer (ties to
// even, as printf rounds) gives the digits. Other values go to snprintf.

#include "io/shared/number_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <new>

namespace ovk {
namespace quernfold {
namespace detail {
namespace {

__extension__ typedef unsigned __int128 uint128;

constexpr std::uint64_t kMillion = 1000000;
// Fraction bits of a double and the bias of its exponent field.
constexpr int kMantissaBits = 52;
constexpr int kExponentBias = 1075;  // 1023 + 52
// Values m x 2^e with e at most this have |x| < 2^44, so x x 10^6 rounds to
// an integer below 2^64.
constexpr int kLargestFastExponent = -9;
// With e below this, x x 10^6 < 2^73 x 2^e < 1/2: every digit is 0.
constexpr int kSmallestFastExponent = -73;

// Digits of q / 10^6, the point and the 6 digits of q mod 10^6.
char* write_millionths(char* out, std::uint64_t q) noexcept {
  out = std::to_chars(out, out + 20, q / kMillion).ptr;
  *out++ = '.';
  std::uint32_t frac = static_cast<std::uint32_t>(q % kMillion);
  for (int k = 5; k >= 0; --k) {
    out[k] = static_cast<char>('0' + frac % 10);
    frac /= 10;
  }
  return out + 6;
}

bool is_digit(char c) noexcept { return c >= '0' && c <= '9'; }
char lower(char c) noexcept { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
bool is_hex_digit(char c) noexcept { return is_digit(c) || (lower(c) >= 'a' && lower(c) <= 'f'); }

// strtod of the text [first, last): its value and how many characters it
// took (0 when none, also when a long text finds no memory for its copy).
std::size_t strtod_of(const char* first, const char* last, double& value) noexcept {
  const std::size_t n = std::size_t(last - first);
  char local[128];
  std::unique_ptr<char[]> heap(n < sizeof local ? nullptr : new (std::nothrow) char[n + 1]);
  char* text = n < sizeof local ? local : heap.get();
  if (!text) return 0;
  std::memcpy(text, first, n);
  text[n] = '\0';
  char* stop;
  value = std::strtod(text, &stop);
  return std::size_t(stop - text);
}

// The value of the decimal text [first, last) (an optional sign, digits
// with at most one point, an optional exponent), of which strtod would take
// the longest valid prefix; returns how many characters that prefix holds.
std::size_t decimal_value(const char* first, const char* last, double& value) noexcept {
  const bool minus = first != last && *first == '-';
  const char* digits = first + (first != last && (*first == '-' || *first == '+'));
  double magnitude;
  const std::from_chars_result r = std::from_chars(digits, last, magnitude);
  if (r.ec == std::errc::invalid_argument) return 0;
  if (r.ec != std::errc()) return strtod_of(first, last, value);  // out of range
  value = minus ? -magnitude : magnitude;
  return std::size_t(r.ptr - first);
}

// The powers of ten that doubles hold exactly.
constexpr double kExactPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                   1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                   1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
constexpr int kLargestExactPower = 22;
// Integers up to 2^53 are exact doubles; 19 digits always fit 64 bits.
constexpr std::uint64_t kLargestExactInteger = std::uint64_t(1) << 53;
constexpr int kMaxShortDigits = 19;
constexpr int kMaxShortExponentDigits = 4;

// How a text ends: at a NUL or at `end`.
enum class text_end { nul, bounded };

// Appends the decimal digits at p to w (w = 10 w + digit, wrapping past 19
// digits) up to the first other character or `end`; returns where they
// stop. One unsigned comparison tells a digit.
template <text_end End>
const char* accumulate_digits(const char* p, const char* end, std::uint64_t& w) noexcept {
  std::uint64_t v = w;
  for (; !(End == text_end::bounded && p == end); ++p) {
    const unsigned d = static_cast<unsigned char>(*p) - unsigned('0');
    if (d > 9) break;
    v = v * 10 + d;
  }
  w = v;
  return p;
}

// The common short decimal: [sign] digits [. digits] [e [sign] digits], at
// most 19 digits, ended by white space or the end of the text
// (NUL, or `end` when Bounded). When its digits form an integer w <= 2^53
// and its power of ten p is within +-22, w and 10^|p| are exact doubles and
// one multiplication or division rounds correctly, as strtod does. Returns
// the end of the number, or nullptr for every other text (left to the
// general path).
template <text_end End>
const char* short_decimal(const char* p, const char* end, double& value) noexcept {
  constexpr bool Bounded = End == text_end::bounded;
  auto at = [&](const char* q) { return Bounded && q == end ? '\0' : *q; };
  const bool minus = at(p) == '-';
  if (minus || at(p) == '+') ++p;
  std::uint64_t w = 0;
  const char* first = p;
  p = accumulate_digits<End>(p, end, w);
  long digits = p - first;
  int power = 0;
  if (at(p) == '.') {
    first = ++p;
    p = accumulate_digits<End>(p, end, w);
    power = -static_cast<int>(std::min<long>(p - first, kMaxShortDigits + 1));
    digits += p - first;
  }
  // Past 19 digits w may have wrapped around; such texts are left alone.
  if (digits == 0 || digits > kMaxShortDigits) return nullptr;
  if (at(p) == 'e' || at(p) == 'E') {
    ++p;
    const bool negative = at(p) == '-';
    if (negative || at(p) == '+') ++p;
    int e = 0, n = 0;
    for (; is_digit(at(p)); ++p, ++n)
      if (n < kMaxShortExponentDigits) e = e * 10 + (*p - '0');  // longer ones are refused below
    if (n == 0 || n > kMaxShortExponentDigits) return nullptr;
    power += negative ? -e : e;
  }
  if (at(p) != '\0' && !is_c_space(at(p))) return nullptr;
  if (w > kLargestExactInteger || power > kLargestExactPower || power < -kLargestExactPower)
    return nullptr;
  const double magnitude =
      power >= 0 ? double(w) * kExactPowers[power] : double(w) / kExactPowers[-power];
  value = minus ? -magnitude : magnitude;
  return p;
}

// Matches the lower-case word w at p, ignoring case; the characters matched.
std::size_t match_word(const char* p, const char* w) noexcept {
  std::size_t k = 0;
  while (w[k] && lower(p[k]) == w[k]) ++k;
  return k;
}

}  // namespace

const char* scan_word(const char* p, const char* word) noexcept {
  while (is_c_space(*p)) ++p;
  for (; *word; ++p, ++word)
    if (*p != *word) return nullptr;
  return p;
}

namespace {

template <text_end End>
const char* scan_lg_text(const char* p, double& value) noexcept {
  while (is_c_space(*p)) ++p;
  if (!*p) return nullptr;
  if (const char* q = short_decimal<End>(p, nullptr, value)) return q;
  const char* const start = p;
  const char* q = p + (*p == '+' || *p == '-');
  bool plain = true;  // decimal digits, point and exponent only
  if (lower(*q) == 'n') {
    if (match_word(q, "nan") != 3) return nullptr;
    q += 3;
    plain = false;
  } else if (lower(*q) == 'i') {
    if (match_word(q, "inf") != 3) return nullptr;
    q += 3;
    if (lower(*q) == 'i') {
      if (match_word(q, "inity") != 5) return nullptr;
      q += 5;
    }
    plain = false;
  } else {
    bool hex = false, got_digit = false, got_dot = false, got_e = false;
    char exp_char = 'e';
    if (*q == '0') {
      ++q;
      got_digit = true;
      if (lower(*q) == 'x') {
        ++q;
        hex = true;
        plain = false;
        got_digit = false;
        exp_char = 'p';
      }
    }
    for (;; ++q) {
      const char c = *q;
      if (is_digit(c) || (hex && !got_e && is_hex_digit(c)))
        got_digit = true;
      else if (got_e && lower(q[-1]) == exp_char && (c == '-' || c == '+'))
        continue;
      else if (got_digit && !got_e && lower(c) == exp_char)
        got_e = got_dot = true;
      else if (!got_dot && c == '.')
        got_dot = true;
      else
        break;
    }
    // "0x" with nothing after it is no number for scanf.
    if (hex && !got_digit && !got_dot) return nullptr;
  }
  double v;
  const std::size_t taken = plain ? decimal_value(start, q, v) : strtod_of(start, q, v);
  if (taken == 0) return nullptr;
  value = v;
  return q;
}

}  // namespace

const char* scan_lg(const char* p, double& value) noexcept {
  return scan_lg_text<text_end::nul>(p, value);
}

const char* extract_double(const char* p, const char* end, double& value, bool& ok) noexcept {
  ok = false;
  while (p != end && is_c_space(*p)) ++p;
  if (p == end) return p;
  if (const char* q = short_decimal<text_end::bounded>(p, end, value)) {
    ok = true;
    return q;
  }
  const char* q = p + (*p == '+' || *p == '-');
  bool mantissa = false, point = false, exponent = false, exponent_digits = false;
  for (; q != end; ++q) {
    const char c = *q;
    if (c == '.' && !point && !exponent) {
      point = true;
    } else if (is_digit(c)) {
      (exponent ? exponent_digits : mantissa) = true;
    } else if ((c == 'e' || c == 'E') && !exponent && mantissa) {
      exponent = true;
      if (q + 1 != end && (q[1] == '+' || q[1] == '-')) ++q;
    } else {
      break;
    }
  }
  value = 0;
  // The stream converts what it collected and fails unless strtod takes
  // all of it: a mantissa digit, and exponent digits after an exponent.
  if (!mantissa || (exponent && !exponent_digits)) return q;
  double v;
  if (decimal_value(p, q, v) != std::size_t(q - p)) return q;
  if (std::isinf(v)) {
    value = v > 0 ? std::numeric_limits<double>::max() : -std::numeric_limits<double>::max();
    return q;
  }
  value = v;
  ok = true;
  return q;
}

char* format_fixed6(char* out, double x) noexcept {
  std::uint64_t bits;
  std::memcpy(&bits, &x, sizeof bits);
  const int field = static_cast<int>(bits >> kMantissaBits & 0x7FF);
  std::uint64_t m = bits & ((std::uint64_t(1) << kMantissaBits) - 1);
  int e = 1 - kExponentBias;  // subnormals
  if (field != 0) {
    m |= std::uint64_t(1) << kMantissaBits;
    e = field - kExponentBias;
  }
  if (field == 0x7FF || e > kLargestFastExponent)
    return out + std::snprintf(out, kMaxNumberText, "%f", x);
  if (bits >> 63) *out++ = '-';
  if (e < kSmallestFastExponent) return write_millionths(out, 0);
  const int shift = -e;
  const uint128 scaled = uint128(m) * kMillion;
  std::uint64_t q = static_cast<std::uint64_t>(scaled >> shift);
  const uint128 rest = scaled & ((uint128(1) << shift) - 1);
  const uint128 half = uint128(1) << (shift - 1);
  if (rest > half || (rest == half && (q & 1))) ++q;
  return write_millionths(out, q);
}

char* format_int(char* out, int v) noexcept { return std::to_chars(out, out + 12, v).ptr; }

char* format_shortest(char* out, double x) noexcept {
  return std::to_chars(out, out + kMaxNumberText, x).ptr;
}

char* format_size(char* out, std::size_t v) noexcept {
  return std::to_chars(out, out + kMaxNumberText, v).ptr;
}

block_writer::block_writer(std::FILE* stream) noexcept
    : stream_(stream), block_(new (std::nothrow) char[kBlock]) {
  begin_ = block_ ? block_.get() : local_;
  end_ = begin_;
  limit_ = begin_ + (block_ ? kBlock : sizeof local_);
}

void block_writer::text(const char* s) noexcept {
  for (std::size_t n = std::strlen(s); n > 0;) {
    if (end_ == limit_) flush();
    const std::size_t piece = std::min(n, std::size_t(limit_ - end_));
    std::memcpy(end_, s, piece);
    end_ += piece, s += piece, n -= piece;
  }
}

void block_writer::flush() noexcept {
  if (end_ != begin_) std::fwrite(begin_, 1, std::size_t(end_ - begin_), stream_);
  end_ = begin_;
}

}  // namespace detail
}  // namespace quernfold
}  // namespace ovk
