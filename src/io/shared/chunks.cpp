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

bool split_lines(const char* text, const char* end, std::size_t lines, std::size_t parts,
                 std::vector<line_chunk>& chunks) {
  parts = std::max<std::size_t>(1, std::min(parts, lines));
  chunks.assign(lines ? parts : 0, line_chunk());
  const char* p = text;
  std::size_t part = 0;
  for (std::size_t line = 0; line < lines; ++line) {
    std::size_t first, last;
    split_range(lines, part, parts, first, last);
    if (line == first) chunks[part].begin = p;
    const char* eol =
        p < end ? static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)))
                : nullptr;
    if (!eol) {
      chunks.clear();
      return false;
    }
    p = eol + 1;
    if (line + 1 == last) {
      chunks[part].end = p;
      chunks[part].first = first;
      chunks[part].count = last - first;
      ++part;
    }
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
