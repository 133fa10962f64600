// Record lists of a text held whole in memory, parsed on several threads: the
// lines (or words) of a list split into chunks, several per thread, each
// chunk parsed into its own slots, the chunks joined in file order by the
// caller.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstring>
#include <new>
#include <string_view>
#include <vector>

#include "common/parallel.h"

namespace ovk {
namespace quernfold {
namespace detail {

// Runs body(t) for t in [0, count) on `threads` threads (run_parallel);
// a std::bad_alloc thrown by a body is thrown again on the calling thread
// once all have ended.
template <class Body>
void run_chunks(unsigned threads, std::size_t count, const Body& body) {
  std::atomic<bool> out_of_memory{false};
  run_parallel(threads, count, [&](std::size_t t) {
    try {
      body(t);
    } catch (const std::bad_alloc&) {
      out_of_memory = true;
    }
  });
  if (out_of_memory) throw std::bad_alloc();
}

// Chunks per thread of a list, so that a thread that starts late still
// finds chunks left.
constexpr std::size_t kChunksPerThread = 4;

// Lists shorter than this many lines are parsed on the calling thread.
constexpr std::size_t kParallelLines = 1024;

// One chunk: the lines [first, first + count) of a list, in the bytes
// [begin, end) (every line ends with '\n' inside them).
struct line_chunk {
  const char* begin = nullptr;
  const char* end = nullptr;
  std::size_t first = 0, count = 0;
};

// Splits the first `lines` lines of [text, end) into chunks of whole lines
// in file order, none for no line: the lines of `parts` byte ranges at a
// time, their line ends counted on `threads` threads, the ranges sized
// from the bytes per line seen so far until they hold the lines. False,
// chunks empty, when fewer than `lines` lines end with '\n' before `end`.
bool split_lines(unsigned threads, const char* text, const char* end, std::size_t lines,
                 std::size_t parts, std::vector<line_chunk>& chunks);

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
  run_chunks(threads, chunks.size(), [&](std::size_t c) {
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

// Where each chunk of a list of words starts: byte ranges cut between words
// and the index of their first word. The list's `count` words are the
// first of [text, end); the chunks cover them, the last ending after the
// count-th word.
struct word_chunks {
  std::vector<const char*> begin, end;
  std::vector<std::size_t> first;
};

// Splits the first `count` white-space separated words from `text` on into
// chunks, counting the words of `parts` byte ranges at a time on `threads`
// threads (the bytes looked at double until they hold them). False when
// [text, end) holds fewer.
bool split_words(unsigned threads, const char* text, const char* end, std::size_t count,
                 std::size_t parts, word_chunks& chunks);

// Runs parse(word, index) on each of the words of the chunks, the chunks on
// `threads` threads, a chunk stopping at its first word refused (false).
// True when every word was taken.
template <class Parse>
bool parse_words(unsigned threads, const word_chunks& chunks, const Parse& parse) {
  std::vector<char> taken(chunks.begin.size(), 0);
  run_chunks(threads, chunks.begin.size(), [&](std::size_t c) {
    line_words words(chunks.begin[c], chunks.end[c]);
    std::string_view w;
    for (std::size_t i = chunks.first[c]; words.next(w); ++i)
      if (!parse(w, i)) return;
    taken[c] = 1;
  });
  for (char t : taken)
    if (!t) return false;
  return true;
}

}  // namespace detail
}  // namespace quernfold
}  // namespace ovk
