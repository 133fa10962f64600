// Lines and fields of the line-oriented text readers (NASTRAN, FEMAP, STL
// text): the line buffer, the reading of one line, the pieces between
// commas and the integer prefix of a field.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace ovk {
namespace quernfold {
namespace detail {

// Every line-oriented reader reads with a buffer of this size, so a line
// holds at most 255 characters; longer lines arrive in pieces.
constexpr int kLineBuffer = 256;

// Reads one line (at most kLineBuffer - 1 characters, the newline kept) into
// buf. False at end of input or on a read error.
inline bool read_line(std::FILE* stream, char* buf) noexcept {
  return std::fgets(buf, kLineBuffer, stream) != nullptr;
}

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
