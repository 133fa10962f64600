#include "io/shared/lines.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "quernfold/model.h"

namespace ovk {
namespace quernfold {
namespace detail {

namespace {

// Bytes read at a time by the block rules.
constexpr std::size_t kLineBlock = std::size_t(1) << 20;

// Lower-cases n bytes in the "C" locale (A to Z only), sixteen at a time:
// a byte in 'A' .. 'Z' (bytes from 0x80 on compare as negative) gets the
// 0x20 bit.
void to_lower(char* text, std::size_t n) noexcept {
  typedef signed char bytes16 __attribute__((vector_size(16)));
  constexpr std::size_t kWidth = sizeof(bytes16);
  std::size_t i = 0;
  for (; i + kWidth <= n; i += kWidth) {
    bytes16 w;
    std::memcpy(&w, text + i, kWidth);
    const bytes16 upper = (w >= 'A') & (w <= 'Z');
    w |= upper & ('a' - 'A');
    std::memcpy(text + i, &w, kWidth);
  }
  for (; i < n; ++i)
    if (text[i] >= 'A' && text[i] <= 'Z') text[i] = static_cast<char>(text[i] - 'A' + 'a');
}

}  // namespace

line_buffer::line_buffer(std::FILE* stream, const line_rules& rules) noexcept
    : stream_(stream), rules_(rules) {
  if (!rules.blocks) {
    capacity_ = kLineBuffer;
    buf_ = local_;
  } else if (rules.max_length != kAnyLength) {
    capacity_ = kLineBlock;
    heap_.reset(new (std::nothrow) char[capacity_ + 1]);
    buf_ = heap_.get();
  } else {
    // Lines of any length: the buffer comes with the first read.
    buf_ = local_;
  }
}

bool line_buffer::grow() noexcept {
  const std::size_t grown = std::max(2 * capacity_, end_ + kLineBlock);
  std::unique_ptr<char[]> bigger(new (std::nothrow) char[grown + 1]);
  if (!bigger) return false;
  if (end_ > 0) std::memcpy(bigger.get(), buf_, end_);
  heap_ = std::move(bigger);
  buf_ = heap_.get();
  capacity_ = grown;
  return true;
}

// Keeps the unread part and reads behind it: a block (grown first when lines
// of any length need the room), or one fgets line.
bool line_buffer::refill() noexcept {
  char* b = buf_;
  if (pos_ > 0) {
    std::memmove(b, b + pos_, end_ - pos_);
    end_ -= pos_;
    pos_ = 0;
  }
  if (!rules_.blocks) {
    if (!std::fgets(b + end_, kLineBuffer, stream_)) {
      done_ = true;
      return false;
    }
    const std::size_t got = std::strlen(b + end_);
    if (rules_.lower_case) to_lower(b + end_, got);
    end_ += got;
    return true;
  }
  if (rules_.max_length == kAnyLength && capacity_ - end_ < kLineBlock) {
    if (!grow()) {
      error_ = no_memory;
      return false;
    }
    b = buf_;
  }
  const std::size_t room = capacity_ - end_;
  const std::size_t got = std::fread(b + end_, 1, room, stream_);
  if (rules_.lower_case) to_lower(b + end_, got);
  end_ += got;
  done_ = got < room;
  return true;
}

std::vector<std::string> split_at_commas(const std::string& line) {
  std::vector<std::string> pieces;
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = line.find(',', start);
    pieces.push_back(line.substr(start, comma == std::string::npos ? comma : comma - start));
    if (comma == std::string::npos) return pieces;
    start = comma + 1;
  }
}

}  // namespace detail
}  // namespace quernfold
}  // namespace ovk
