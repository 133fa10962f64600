// The line reader of the text readers, under each format's rules, against
// the C and C++ library calls those rules stand for (fgets with a
// 256-character buffer, std::getline), on random text whose lines cross the
// reader's blocks, hold NUL bytes, carriage returns and trailing blanks, and
// run past 255 characters.

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "io/shared/lines.h"
#include "support/reader_checks.h"

namespace quernfold_test {
namespace {

using namespace ovk::quernfold::detail;

// Inputs long enough to cross the reader's megabyte blocks.
constexpr std::size_t kLongInput = 2500000;
constexpr char kAlphabet[] = {'a', 'Z', ' ', '\t', '\r', '\n', '\0', ','};

std::string random_text(std::mt19937& gen, std::size_t size) {
  std::string text;
  while (text.size() < size) {
    // Mostly short lines; some of 255, 256 or several hundred characters.
    const std::size_t length = gen() % 4 ? gen() % 40 : 250 + gen() % 300;
    for (std::size_t k = 0; k < length; ++k) text += kAlphabet[gen() % sizeof kAlphabet];
    text += '\n';
  }
  text.resize(size);  // often a last line without its line end
  return text;
}

bool is_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// The lines and stream positions as fgets with a kLineBuffer buffer gives
// them, each cut at its first NUL and, with `trim`, without trailing blanks.
std::vector<std::string> fgets_lines(std::FILE* f, bool trim, std::vector<long>& positions) {
  std::vector<std::string> lines;
  char buf[kLineBuffer];
  while (std::fgets(buf, kLineBuffer, f)) {
    std::string line(buf);
    while (trim && !line.empty() && is_space(line.back())) line.pop_back();
    lines.push_back(line);
    positions.push_back(std::ftell(f));
  }
  return lines;
}

// The lines as std::getline gives them (a last empty line is none).
std::vector<std::string> getline_lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// STL text: fgets's cuts (255 characters or a line end kept), lower case,
// NUL bytes kept.
std::vector<std::string> cut_lines(const std::string& text) {
  std::vector<std::string> lines;
  for (std::size_t pos = 0; pos < text.size();) {
    std::size_t n = std::min<std::size_t>(kLineBuffer - 1, text.size() - pos);
    const std::size_t nl = text.find('\n', pos);
    if (nl != std::string::npos && nl < pos + n) n = nl - pos + 1;
    std::string line = text.substr(pos, n);
    for (char& c : line)
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    lines.push_back(line);
    pos += n;
  }
  return lines;
}

// Each format's rules.
constexpr line_rules kNastran = {false, kLineBuffer - 1, true, false, false};
constexpr line_rules kFemap = {false, kLineBuffer - 1, true, true, false};
constexpr line_rules kStl = {true, kLineBuffer - 1, true, false, true};
constexpr line_rules kObj = {true, kAnyLength, false, false, false};

// Reads every line with `Rules`, handing every third line back once; the
// stream position after each line when `positions` is given.
template <const line_rules& Rules>
std::vector<std::string> reader_lines(std::FILE* f, std::vector<long>* positions) {
  line_reader<Rules> in(f);
  std::vector<std::string> lines;
  for (int k = 0; in.next(); ++k) {
    if (k % 3 == 2) {
      const std::string first = in.text();
      in.put_back();
      EXPECT_TRUE(in.has_unread());
      EXPECT_TRUE(in.next());
      EXPECT_EQ(in.text(), first);
    }
    EXPECT_EQ(*in.end(), '\0');
    lines.push_back(in.text());
    if (positions) positions->push_back(std::ftell(f));
  }
  EXPECT_EQ(in.error(), 0);
  return lines;
}

// The fgets-like rules against fgets, the stream positions included.
template <const line_rules& Rules>
void expect_fgets_lines(const std::uint8_t* bytes, std::size_t size) {
  std::vector<long> want_at, got_at;
  const std::vector<std::string> want =
      fgets_lines(reader_checks::memory_stream(bytes, size).f, Rules.trim_end, want_at);
  EXPECT_EQ(reader_lines<Rules>(reader_checks::memory_stream(bytes, size).f, &got_at), want);
  EXPECT_EQ(got_at, want_at) << "the stream must stay just past each line";
}

TEST(LineReader, EveryFormatsRulesAgainstTheLibraryCalls) {
  std::mt19937 gen(2026);
  for (std::size_t size : {std::size_t(0), std::size_t(1), std::size_t(5000), kLongInput}) {
    const std::string text = random_text(gen, size);
    const auto bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    expect_fgets_lines<kNastran>(bytes, size);
    expect_fgets_lines<kFemap>(bytes, size);
    EXPECT_EQ(reader_lines<kStl>(reader_checks::memory_stream(bytes, size).f, nullptr),
              cut_lines(text));
    EXPECT_EQ(reader_lines<kObj>(reader_checks::memory_stream(bytes, size).f, nullptr),
              getline_lines(text));
  }
}

}  // namespace
}  // namespace quernfold_test
