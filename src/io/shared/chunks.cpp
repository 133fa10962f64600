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
