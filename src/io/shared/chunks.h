// Record lists of a text held whole in memory, parsed on several threads: the
// lines of a list split into one chunk of whole lines per thread, each chunk
// parsed into its own slots, the chunks joined in file order by the caller.
#pragma once

#include <cstddef>
#include <cstring>
#include <string_view>
#include <vector>

#include "common/parallel.h"

namespace ovk {
namespace quernfold {
namespace detail {

// Lists shorter than this many lines are parsed on the calling thread.
constexpr std::size_t kParallelLines = 1024;

// One chunk: the lines [first, first + count) of a list, in the bytes
// [begin, end) (every line ends with '\n' inside them).
struct line_chunk {
  const char* begin = nullptr;
  const char* end = nullptr;
  std::size_t first = 0, count = 0;
};

// Splits the first `lines` lines of [text, end) into `parts` chunks of
// nearly equal line counts (min(parts, lines) chunks in file order, none
// for no line). False,
// chunks empty, when fewer than `lines` lines end with '\n' before `end`.
bool split_lines(const char* text, const char* end, std::size_t lines, std::size_t parts,
                 std::vector<line_chunk>& chunks);

// Whether a list of `lines` lines is parsed on `threads` threads.
inline bool parallel_list(unsigned threads, std::size_t lines) {
  return threads > 1 && lines >= kParallelLines;
}

// The white-space separated words of one line, in order.
class line_words {
 public:
  line_words(const char* begin, const char* end) noexcept : p_(begin), end_(end) {}
  // The next word; false at the end of the line.
  bool next(std::string_view& w) noexcept;
  // True when only white space is left.
  bool done() noexcept {
    std::string_view w;
    return !next(w);
  }

 private:
  const char* p_;
  const char* end_;
};

// Runs parse(chunk_index, line_begin, line_end, line_index) on every line of
// every chunk, the chunks on `threads` threads, the lines of a chunk in
// order; a chunk stops at its first line that parse refuses (false). True
// when every line was taken. The lines handed over exclude their '\n'.
template <class Parse>
bool parse_chunks(unsigned threads, const std::vector<line_chunk>& chunks, const Parse& parse) {
  std::vector<char> taken(chunks.size(), 0);
  run_parallel(threads, chunks.size(), [&](std::size_t c) {
    const line_chunk& chunk = chunks[c];
    const char* p = chunk.begin;
    for (std::size_t k = 0; k < chunk.count; ++k) {
      const char* eol = static_cast<const char*>(std::memchr(p, '\n', chunk.end - p));
      if (!parse(c, p, eol, chunk.first + k)) return;
      p = eol + 1;
    }
    taken[c] = 1;
  });
  for (char t : taken)
    if (!t) return false;
  return true;
}

}  // namespace detail
}  // namespace quernfold
}  // namespace ovk
