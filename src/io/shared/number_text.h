// Numbers to and from text with exactly the bytes and values of the
// library conversions that the formats name (printf's "%f" and "%d",
// scanf's "%lg", stream extraction of a double), without their per-call
// cost; the shortest text that reads back as the same double; and a stream
// writer that hands the text to its FILE in large blocks.
#pragma once

#include <cstddef>
#include <cstdio>
#include <memory>

namespace ovk {
namespace quernfold {
namespace detail {

// Most characters one "%f" or "%d" conversion writes: "%f" of -DBL_MAX is a
// sign, 309 digits, the point and 6 digits.
constexpr std::size_t kMaxNumberText = 320;

// Writes x as printf's "%f" does in the "C" locale (fixed notation, 6
// digits after the point, correctly rounded, ties to even; "-" before any
// value with its sign bit set, "-0.000000" included; "inf", "nan" and
// their negatives). Needs kMaxNumberText characters; returns the end.
char* format_fixed6(char* out, double x) noexcept;

// Writes v as printf's "%d" does; returns the end.
char* format_int(char* out, int v) noexcept;

// Writes x as the shortest decimal text that reads back (strtod, scanf's
// "%lg", std::from_chars) as exactly x: std::to_chars without a format,
// plain or exponent notation, whichever is shorter ("inf", "nan" and their
// negatives as they are). Needs kMaxNumberText characters; returns the end.
char* format_shortest(char* out, double x) noexcept;

// Writes v in decimal; returns the end.
char* format_size(char* out, std::size_t v) noexcept;

// One scanf "%lg" conversion at p in a NUL-terminated text, in the "C"
// locale: white space skipped, then the longest run that scanf takes for a
// number (sign; digits with one point and an exponent, "0x" hexadecimal
// with a "p" exponent; "nan"; "inf" or "infinity"), converted as strtod
// converts it. Returns where scanf stops reading, value set; or nullptr
// when scanf reports no conversion (value untouched).
const char* scan_lg(const char* p, double& value) noexcept;

// White space in the "C" locale (isspace): blank, \t, \n, \v, \f, \r.
inline bool is_c_space(char c) noexcept { return c == ' ' || (c >= '\t' && c <= '\r'); }

// A literal word of a scanf format after white space (" word"): skips white
// space at p, then matches `word` character for character. Returns the end
// of the match, or nullptr where scanf would stop with a matching failure.
const char* scan_word(const char* p, const char* word) noexcept;

// One extraction `stream >> value` of a double from the text [p, end) in
// the classic locale: white space skipped, then the characters the stream
// collects for a number (sign, digits with one point, an exponent with its
// sign). Returns where the stream stops reading; `ok` is false where the
// extraction fails (value 0, or the largest double of the sign when the
// number overflows, as the stream stores them).
const char* extract_double(const char* p, const char* end, double& value, bool& ok) noexcept;

// Collects text in one block and writes it to the stream whenever the block
// fills up and when flushed or destroyed. Whether the stream accepted the
// text is not reported (the callers do not test their writes).
class block_writer {
 public:
  explicit block_writer(std::FILE* stream) noexcept;
  ~block_writer() { flush(); }
  block_writer(const block_writer&) = delete;
  block_writer& operator=(const block_writer&) = delete;

  void text(const char* s) noexcept;
  void fixed6(double x) noexcept { end_ = format_fixed6(room(), x); }
  void integer(int v) noexcept { end_ = format_int(room(), v); }
  void shortest(double x) noexcept { end_ = format_shortest(room(), x); }
  void size(std::size_t v) noexcept { end_ = format_size(room(), v); }
  void put(char c) noexcept { *room() = c, ++end_; }
  void flush() noexcept;

 private:
  static constexpr std::size_t kBlock = std::size_t(1) << 20;

  // Where the next kMaxNumberText characters go.
  char* room() noexcept {
    if (std::size_t(limit_ - end_) < kMaxNumberText) flush();
    return end_;
  }

  std::FILE* stream_;
  std::unique_ptr<char[]> block_;
  char local_[kMaxNumberText * 2];  // used when the block cannot be had
  char* begin_;
  char* end_;
  char* limit_;
};

}  // namespace detail
}  // namespace quernfold
}  // namespace ovk
