// The text scanner of the MEDIT, VTK and MSH readers: a buffered window over
// the input stream (words and numbers parsed without the locale, lines,
// binary words of either byte order) and comparisons of its words.
#pragma once

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string_view>
#include <system_error>
#include <type_traits>

#include "io/shared/chunks.h"
#include "io/shared/window.h"

namespace ovk {
namespace quernfold {
namespace detail {

// A window over a stream (kWindow + kMaxWord bytes) that is refilled as it
// is consumed. Text is read as white-space separated words; numbers are
// converted with std::from_chars (no locale, no allocation). Binary words are
// read in either byte order.
class input_scan : public stream_window {
 public:
  // Bytes read by one refill, and the longest word (a longer one is an
  // error of the file).
  static constexpr std::size_t kWindow = std::size_t{1} << 20;
  static constexpr std::size_t kMaxWord = 4096;

  explicit input_scan(std::FILE* stream) noexcept : stream_window(stream, kWindow + kMaxWord) {}
  // The whole rest of the stream held at once (take_whole() reads it), its
  // record lists parsed on `threads` threads.
  input_scan(std::FILE* stream, unsigned threads) noexcept
      : stream_window(stream, kGrowing), threads_(threads) {}

  // Reads the rest of the stream at once, on the scan's threads.
  bool take_whole() noexcept { return stream_window::take_whole(threads_); }
  // Threads for the record lists: 1 unless the whole input is held.
  unsigned threads() const noexcept { return whole() ? threads_ : 1; }

  // Skips white space; with `comments`, also "#" to the end of the line,
  // handing each comment line (without its line end) to on_comment.
  template <class OnComment>
  void skip_blanks(OnComment on_comment, bool comments = true) noexcept {
    for (;;) {
      if (pos_ == end_ && fill(1) == 0) return;
      while (pos_ < end_ && is_blank(buf_[pos_])) ++pos_;
      if (pos_ == end_) continue;
      if (!comments || buf_[pos_] != '#') return;
      std::string_view text;
      line(text);
      on_comment(text);
    }
  }
  void skip_blanks() noexcept {
    skip_blanks([](std::string_view) {}, false);
  }

  // The next word; false at the end of the input or when the word is
  // longer than kMaxWord. The view lasts until the scan reads on (any later
  // call may move the window).
  bool word(std::string_view& w) noexcept {
    skip_blanks();
    const std::size_t n = std::min(fill(kMaxWord + 1), kMaxWord + 1);
    std::size_t k = 0;
    while (k < n && !is_blank(buf_[pos_ + k])) ++k;
    if (k == 0 || k > kMaxWord) return false;
    w = std::string_view(buf_ + pos_, k);
    pos_ += k;
    return true;
  }

  // The next word read as a number of type T (an integer type or double);
  // false when it is missing, does not fit T or has trailing characters.
  template <class T>
  bool number(T& v) noexcept {
    std::string_view w;
    return word(w) && parse(w, v);
  }

  // The rest of the current line without its line end; a line longer than
  // kMaxWord is skipped and given as empty. False at the end of the input.
  bool line(std::string_view& text) noexcept {
    const std::size_t n = std::min(fill(kMaxWord), kMaxWord);
    if (n == 0) return false;
    std::size_t k = 0;
    while (k < n && buf_[pos_ + k] != '\n') ++k;
    if (k == kMaxWord) {
      text = {};
      skip_past("\n");
      return true;
    }
    std::size_t len = k;
    while (len > 0 && buf_[pos_ + len - 1] == '\r') --len;
    text = std::string_view(buf_ + pos_, len);
    pos_ += k < n ? k + 1 : k;
    return true;
  }

  // Moves the cursor past the next occurrence of `pattern`; false (cursor
  // at the end) when there is none.
  bool skip_past(std::string_view pattern) noexcept {
    for (;;) {
      const std::size_t n = fill(pattern.size());
      if (n < pattern.size()) {
        pos_ = end_;
        return false;
      }
      const std::string_view visible(buf_ + pos_, n);
      const std::size_t at = visible.find(pattern);
      if (at != std::string_view::npos) {
        pos_ += at + pattern.size();
        return true;
      }
      pos_ += n - (pattern.size() - 1);
    }
  }

  // Skips n bytes; false when the input ends first.
  bool skip(std::uint64_t n) noexcept {
    while (n > 0) {
      const std::size_t visible = fill(1);
      if (visible == 0) return false;
      const std::size_t step = static_cast<std::size_t>(std::min<std::uint64_t>(n, visible));
      pos_ += step;
      n -= step;
    }
    return true;
  }

  // A binary word of type T, byte-swapped when `swap`; false when the input
  // ends first.
  template <class T>
  bool binary(T& v, bool swap) noexcept {
    if (fill(sizeof(T)) < sizeof(T)) return false;
    unsigned char bytes[sizeof(T)];
    std::memcpy(bytes, buf_ + pos_, sizeof(T));
    if (swap)
      for (std::size_t i = 0; i < sizeof(T) / 2; ++i) std::swap(bytes[i], bytes[sizeof(T) - 1 - i]);
    std::memcpy(&v, bytes, sizeof(T));
    pos_ += sizeof(T);
    return true;
  }

  static bool is_blank(char c) noexcept {
    return c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == '\f' || c == '\v';
  }

  // Converts a whole word: a leading "+" is accepted.
  template <class T>
  static bool parse(std::string_view w, T& v) noexcept {
    if (!w.empty() && w[0] == '+') w.remove_prefix(1);
    const char* end = w.data() + w.size();
    std::from_chars_result r;
    if constexpr (std::is_floating_point_v<T>)
      r = std::from_chars(w.data(), end, v, std::chars_format::general);
    else
      r = std::from_chars(w.data(), end, v);
    return r.ec == std::errc() && r.ptr == end;
  }

  // A word read as number() reads it from the scan.
  template <class T>
  static bool number(std::string_view w, T& v) noexcept {
    return w.size() <= kMaxWord && parse(w, v);
  }

  // The next `count` words parsed on the scan's threads by parse(word,
  // index) (each writing its own slots), when the list is long enough and
  // the whole input is held: true, `after` then the end of the last word.
  // False when they are left for one thread (parse refused a word, or
  // never ran); the cursor may have moved over white space only.
  template <class Parse>
  bool word_list(std::size_t count, const Parse& parse, const char*& after) {
    if (!parallel_list(threads(), count)) return false;
    skip_blanks();
    word_chunks chunks;
    if (!split_words(threads(), cursor(), held_end(), count, kChunksPerThread * threads(),
                     chunks) ||
        !parse_words(threads(), chunks, parse))
      return false;
    after = chunks.end.back();
    return true;
  }
  // Whether the rest of a whole input can hold `count` words (each but the
  // last followed by white space), so that their slots may be had first.
  bool may_hold(std::size_t count) const noexcept {
    return whole() && count <= (static_cast<std::size_t>(held_end() - cursor()) + 1) / 2;
  }
  // Moves the cursor to `at`, between cursor() and held_end().
  void move_to(const char* at) noexcept { pos_ = static_cast<std::size_t>(at - buf_); }

  // The next word of a line read as number() reads it from the scan.
  template <class T>
  static bool number(line_words& words, T& v) noexcept {
    std::string_view w;
    return words.next(w) && number(w, v);
  }

 private:
  unsigned threads_ = 1;
};

// Case-insensitive comparison of ASCII words.
inline bool same_word(std::string_view a, std::string_view b) noexcept {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const char x = a[i] >= 'a' && a[i] <= 'z' ? static_cast<char>(a[i] - 32) : a[i];
    const char y = b[i] >= 'a' && b[i] <= 'z' ? static_cast<char>(b[i] - 32) : b[i];
    if (x != y) return false;
  }
  return true;
}

// A line with leading and trailing white space removed.
inline std::string_view trimmed(std::string_view s) noexcept {
  while (!s.empty() && input_scan::is_blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && input_scan::is_blank(s.back())) s.remove_suffix(1);
  return s;
}

// True on a little-endian host.
inline bool host_is_little() noexcept {
  const std::uint16_t probe = 1;
  unsigned char first;
  std::memcpy(&first, &probe, 1);
  return first == 1;
}

}  // namespace detail
}  // namespace quernfold
}  // namespace ovk
