// Fixed-notation formatting by exact integer arithmetic: a finite double is
// m x 2^e with an integer m below 2^53; below 2^44 the value times 10^6 is
// m x 10^6 x 2^e, exact in 128 bits, and rounding it to an integer (ties to
// even, as printf rounds) gives the digits. Other values go to snprintf.

#include "io/number_text.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstring>
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

}  // namespace

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
