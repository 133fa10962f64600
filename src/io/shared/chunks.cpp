#include "io/shared/chunks.h"

#include <algorithm>
#include <cstring>

namespace ovk {
namespace quernfold {
namespace detail {

namespace {

bool is_space(char c) {
  return c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == '\f' || c == '\v';
}

}  // namespace

namespace {

// Bytes looked at first per line of a list, and the fewest bytes a round
// of split_lines looks at.
constexpr std::size_t kBytesPerLine = 16;
constexpr std::size_t kLeastSpan = std::size_t(1) << 16;
// The later rounds look at this many eighths of the bytes the lines left
// would take at the bytes per line seen.
constexpr std::size_t kMarginEighths = 9;

// The number of '\n' in [p, end), sixteen bytes at a time.
std::size_t line_ends_in(const char* p, const char* end) {
  typedef signed char bytes16 __attribute__((vector_size(16)));
  constexpr std::size_t kWidth = sizeof(bytes16);
  // Each lane counts down by one per '\n' (a match is -1): 127 rounds at
  // most, so that no lane passes -127, before the lanes are summed.
  constexpr std::size_t kRounds = 127;
  std::size_t n = 0;
  while (static_cast<std::size_t>(end - p) >= kWidth) {
    bytes16 sum = {};
    for (std::size_t r = 0; r < kRounds && static_cast<std::size_t>(end - p) >= kWidth;
         ++r, p += kWidth) {
      bytes16 w;
      std::memcpy(&w, p, kWidth);
      sum += w == '\n';
    }
    for (std::size_t k = 0; k < kWidth; ++k) n += static_cast<std::size_t>(-sum[k]);
  }
  for (; p < end; ++p) n += *p == '\n';
  return n;
}

// The start of the line that holds `at` or the next one: `at` itself when
// it follows a '\n' (or is `from` or the end), else the byte after the next
// '\n' (the end when there is none).
const char* line_edge(const char* from, const char* at, const char* end) {
  if (at == from || at == end || at[-1] == '\n') return at;
  const void* eol = std::memchr(at, '\n', static_cast<std::size_t>(end - at));
  return eol ? static_cast<const char*>(eol) + 1 : end;
}

// The end of the first `count` lines from p, each ending with '\n' before
// `end`.
const char* after_lines(const char* p, const char* end, std::size_t count) {
  for (; count > 0; --count)
    p = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p))) + 1;
  return p;
}

}  // namespace

bool split_lines(unsigned threads, const char* text, const char* end, std::size_t lines,
                 std::size_t parts, std::vector<line_chunk>& chunks) {
  chunks.clear();
  std::size_t seen = 0;
  const char* from = text;
  std::vector<const char*> cut(parts + 1);
  std::vector<std::size_t> ends(parts);
  // Each round counts the line ends of the next span in `parts` ranges; the
  // span is the lines left times the bytes per line seen (and a margin).
  for (std::size_t span = std::max(lines * kBytesPerLine, kLeastSpan); seen < lines;) {
    if (from == end) {
      chunks.clear();
      return false;
    }
    const std::size_t bytes = std::min(span, static_cast<std::size_t>(end - from));
    for (std::size_t c = 0; c <= parts; ++c)
      cut[c] = line_edge(from, from + bytes / parts * c + (c == parts ? bytes % parts : 0), end);
    run_parallel(threads, parts,
                 [&](std::size_t c) { ends[c] = line_ends_in(cut[c], cut[c + 1]); });
    for (std::size_t c = 0; c < parts && seen < lines; ++c) {
      const std::size_t take = std::min(ends[c], lines - seen);
      if (take == 0) continue;
      line_chunk chunk;
      chunk.begin = cut[c];
      // A range cut at the end may hold a last line with no '\n'.
      const bool whole = take == ends[c] && (cut[c + 1] == cut[c] || cut[c + 1][-1] == '\n');
      chunk.end = whole ? cut[c + 1] : after_lines(cut[c], cut[c + 1], take);
      chunk.first = seen;
      chunk.count = take;
      chunks.push_back(chunk);
      seen += take;
    }
    from = cut[parts];
    const std::size_t held = static_cast<std::size_t>(from - text);
    span = seen ? std::max((lines - seen) * (held / seen + 1) * kMarginEighths / 8, kLeastSpan)
                : 2 * held;
  }
  return true;
}

namespace {

// The byte at or after `at` that starts no word inside one: `at` itself
// when it follows white space (or is the end), else the end of its word.
const char* word_edge(const char* text, const char* at, const char* end) {
  while (at > text && at < end && !is_space(at[-1])) ++at;
  return at;
}

std::size_t words_in(const char* p, const char* end) {
  std::size_t n = 0;
  for (bool in_word = false; p < end; ++p) {
    const bool blank = is_space(*p);
    n += !blank && !in_word;
    in_word = !blank;
  }
  return n;
}

// Bytes looked at first per word of a list.
constexpr std::size_t kBytesPerWord = 16;

}  // namespace

bool split_words(unsigned threads, const char* text, const char* end, std::size_t count,
                 std::size_t parts, word_chunks& chunks) {
  chunks = word_chunks();
  std::size_t seen = 0;
  const char* from = text;
  // Each round counts the words of the next span (as long as all before
  // it), in `parts` byte ranges, until the count is reached.
  for (std::size_t span = std::max<std::size_t>(count, 1) * kBytesPerWord; seen < count;
       span = static_cast<std::size_t>(from - text)) {
    if (from == end) return false;
    const std::size_t bytes = std::min(span, static_cast<std::size_t>(end - from));
    std::vector<const char*> cut(parts + 1);
    for (std::size_t c = 0; c <= parts; ++c)
      cut[c] = word_edge(text, from + bytes / parts * c + (c == parts ? bytes % parts : 0), end);
    std::vector<std::size_t> words(parts);
    run_parallel(threads, parts, [&](std::size_t c) { words[c] = words_in(cut[c], cut[c + 1]); });
    for (std::size_t c = 0; c < parts && seen < count; ++c) {
      const std::size_t take = std::min(words[c], count - seen);
      const char* stop = cut[c + 1];
      if (take < words[c]) {
        line_words w(cut[c], cut[c + 1]);
        std::string_view word;
        for (std::size_t k = 0; k < take; ++k) w.next(word);
        stop = word.data() + word.size();
      }
      chunks.begin.push_back(cut[c]);
      chunks.end.push_back(stop);
      chunks.first.push_back(seen);
      seen += take;
    }
    from = cut[parts];
  }
  return true;
}

bool line_words::next(std::string_view& w) noexcept {
  while (p_ < end_ && is_space(*p_)) ++p_;
  if (p_ == end_) return false;
  const char* start = p_;
  while (p_ < end_ && !is_space(*p_)) ++p_;
  w = std::string_view(start, static_cast<std::size_t>(p_ - start));
  return true;
}

}  // namespace detail
}  // namespace quernfold
}  // namespace ovk
