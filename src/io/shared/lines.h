// Lines and fields of the line-oriented text readers (NASTRAN, FEMAP, STL
// text, OBJ): one line reader whose rules are the formats' different ways
// of cutting lines, the pieces between commas and the integer prefix of a
// field.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "io/shared/number_text.h"
#include "io/shared/window.h"

namespace ovk {
namespace quernfold {
namespace detail {

// max_length of lines of any length.
constexpr std::size_t kAnyLength = static_cast<std::size_t>(-1);

// How a format cuts its input into lines.
struct line_rules {
  // true: the stream is read ahead in blocks of a megabyte. false: one fgets
  // call (a kLineBuffer buffer, so max_length is kLineBuffer - 1 whatever it
  // says) per line, so that the stream stays just past the last line handed
  // out, with the end-of-file flag fgets leaves, and a line ends at its
  // first NUL byte.
  bool blocks;
  // Longest line, its line end included (kAnyLength: no limit, the buffer
  // grows); a longer line arrives in pieces, each a line of its own.
  std::size_t max_length;
  // The line end '\n' stays part of the line; false: it is dropped.
  bool keep_line_end;
  // White space at the end of the line ("C" locale, the line end included)
  // is dropped.
  bool trim_end;
  // Letters A to Z are lower-cased as they are read ("C" locale).
  bool lower_case;
};

// The lines of a stream cut by the format's `Rules` (a line_rules constant,
// so that the rules cost nothing per line). A line is [begin(), end()), with
// a NUL written at end() until the next call, so that it also reads as a C
// string (up to its first NUL byte).
template <const line_rules& Rules>
class line_reader : public stream_window {
 public:
  explicit line_reader(std::FILE* stream) noexcept
      : stream_window(
            stream,
            Rules.blocks ? (Rules.max_length == kAnyLength ? kGrowing : kLineBlock) : kLineByLine,
            Rules.lower_case) {}
  // Blocks of `window` bytes (block rules only), for readers that parse
  // what the window holds in chunks.
  line_reader(std::FILE* stream, std::size_t window) noexcept
      : stream_window(stream, window, Rules.lower_case) {
    static_assert(Rules.blocks, "a window of many lines is read in blocks");
  }
  // Keeps the bytes after the current line and reads behind them as many as
  // the window holds; false once the input has ended.
  bool read_on() noexcept {
    restore();
    return !done_ && refill();
  }

  // The bytes after the current line (the NUL after it taken away again).
  const char* unread() noexcept {
    restore();
    return cursor();
  }
  // Moves on to `at`, between unread() and held_end(): the next line starts
  // there.
  void skip_to(const char* at) noexcept {
    restore();
    pos_ = static_cast<std::size_t>(at - buf_);
  }

  // The next line; false at the end of the input, on a read error or when
  // the buffer cannot grow for a long line (error() is then no_memory).
  bool next() noexcept {
    restore();
    const bool again = held_;
    held_ = false;
    if (!Rules.blocks) {
      // One fgets call is one line, an empty one when it starts with a NUL.
      if (!again && !refill()) return false;
      take(end_ - pos_);
      return true;
    }
    for (;;) {
      if (take_visible_line()) return true;
      if (done_ || !refill()) return false;
    }
  }
  const char* begin() const noexcept { return begin_; }
  const char* end() const noexcept { return end_of_line_; }
  // The line as a string.
  std::string text() const { return std::string(begin_, end_of_line_); }
  // The next call of next() gives the current line again.
  void put_back() noexcept {
    restore();
    pos_ = start_;
    held_ = true;
  }
  // True while a line handed back is waiting.
  bool has_unread() const noexcept { return held_; }

 private:
  // Puts back the byte that the NUL after the line hides.
  void restore() noexcept {
    if (terminator_) *terminator_ = hidden_;
    terminator_ = nullptr;
  }
  // Takes the next line of the block when it is complete in view: up to its
  // line end, cut at the longest length, or the last line of the input.
  bool take_visible_line() noexcept {
    const std::size_t visible = end_ - pos_;
    const std::size_t limit = std::min(visible, Rules.max_length);
    const char* const at = buf_ + pos_;
    if (const void* nl = limit == 0 ? nullptr : std::memchr(at, '\n', limit)) {
      take(static_cast<std::size_t>(static_cast<const char*>(nl) - at) + 1);
      return true;
    }
    if (visible == 0 || (visible < Rules.max_length && !done_)) return false;
    take(limit);
    return true;
  }
  // Hands out the next `length` bytes as the line, cut by the rules.
  void take(std::size_t length) noexcept {
    start_ = pos_;
    pos_ += length;
    char* const first = buf_ + start_;
    char* last = buf_ + pos_;
    if (!Rules.keep_line_end && last > first && last[-1] == '\n') --last;
    if (Rules.trim_end)
      while (last > first && is_c_space(last[-1])) --last;
    begin_ = first;
    end_of_line_ = last;
    terminator_ = last;
    hidden_ = *last;
    *last = '\0';
  }

  std::size_t start_ = 0;  // where the current line starts
  bool held_ = false;
  char empty_[1] = {'\0'};
  const char* begin_ = empty_;
  const char* end_of_line_ = empty_;
  char* terminator_ = nullptr;  // where the NUL was written, and what it hides
  char hidden_ = '\0';
};

// The pieces of `line` between commas (n commas give n + 1 pieces).
std::vector<std::string> split_at_commas(const std::string& line);

// Decimal integer prefix of a field (leading white space skipped); 0 when the
// field does not start with a number.
inline long field_integer(const std::string& field) noexcept {
  return std::strtol(field.c_str(), nullptr, 10);
}

}  // namespace detail
}  // namespace quernfold
}  // namespace ovk
