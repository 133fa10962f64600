#include "io/shared/window.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>

#include "io/shared/mapped_file.h"
#include "quernfold/model.h"

namespace ovk {
namespace quernfold {
namespace detail {

// Sixteen bytes at a time: a byte in 'A' .. 'Z' (bytes from 0x80 on
// compare as negative) gets the 0x20 bit.
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

namespace {

// The bytes from the position of a file to its end; 0 when unknown (a
// pipe). The position is kept.
std::size_t bytes_left(std::FILE* stream) noexcept {
  const long here = std::ftell(stream);
  if (here < 0 || std::fseek(stream, 0, SEEK_END) != 0) return 0;
  const long end = std::ftell(stream);
  if (std::fseek(stream, here, SEEK_SET) != 0 || end < here) return 0;
  return static_cast<std::size_t>(end - here);
}

// Files shorter than this are read into the window, never mapped.
constexpr std::size_t kLeastMapped = std::size_t(1) << 20;

}  // namespace

stream_window::stream_window(std::FILE* stream, std::size_t size, bool lower_case) noexcept
    : stream_(stream),
      by_line_(size == kLineByLine),
      growing_(size == kGrowing),
      lower_case_(lower_case) {
  if (by_line_) {
    capacity_ = kLineBuffer;
    buf_ = local_;
  } else if (growing_) {
    buf_ = local_;  // the window comes with the first read
  } else {
    capacity_ = size;
    heap_.reset(new (std::nothrow) char[capacity_ + 1]);
    buf_ = heap_.get();
  }
}

stream_window::~stream_window() = default;

bool stream_window::grow(std::size_t at_least) noexcept {
  const std::size_t grown = std::max({2 * capacity_, end_ + kLineBlock, at_least});
  std::unique_ptr<char[]> bigger(new (std::nothrow) char[grown + 1]);
  if (!bigger) return false;
  if (end_ > 0) std::memcpy(bigger.get(), buf_, end_);
  heap_ = std::move(bigger);
  buf_ = heap_.get();
  capacity_ = grown;
  return true;
}

bool stream_window::map_rest(std::size_t left) noexcept {
  const long here = std::ftell(stream_);
  if (lower_case_ || pos_ != end_ || here < 0) return false;
  std::unique_ptr<mapped_file> map(new (std::nothrow)
                                       mapped_file(stream_, static_cast<std::uint64_t>(here)));
  char beyond;
  if (!map || !map->data() || map->size() != left ||
      std::fseek(stream_, here + static_cast<long>(left), SEEK_SET) != 0)
    return false;
  if (std::fread(&beyond, 1, 1, stream_) != 0 || std::ferror(stream_)) {
    std::fseek(stream_, here, SEEK_SET);  // grown since: read as one thread reads
    return false;
  }
  base_ += pos_;
  buf_ = const_cast<char*>(map->data());  // only read: done_ stops every refill
  capacity_ = end_ = left;
  pos_ = 0;
  done_ = true;
  mapped_ = std::move(map);
  return true;
}

bool stream_window::take_whole(unsigned threads) noexcept {
  const std::size_t left = bytes_left(stream_);
  if (growing_ && threads > 1 && left >= kLeastMapped && map_rest(left)) {
    whole_ = true;
    return true;
  }
  if (growing_ && left && capacity_ - end_ < left && !grow(end_ + left + 1)) {
    error_ = no_memory;
    return false;
  }
  while (growing_ && !done_)
    if (!refill()) return false;
  whole_ = growing_;
  return whole_;
}

bool stream_window::skip(std::uint64_t n) noexcept {
  const std::size_t visible = end_ - pos_;
  if (n <= visible) {
    pos_ += static_cast<std::size_t>(n);
    return true;
  }
  const std::uint64_t beyond = n - visible;
  base_ += pos_ + n;
  pos_ = end_ = 0;
  if (by_line_ || beyond > static_cast<std::uint64_t>(LONG_MAX) ||
      std::fseek(stream_, static_cast<long>(beyond), SEEK_CUR) != 0) {
    done_ = true;
    return false;
  }
  done_ = false;
  return true;
}

bool stream_window::refill() noexcept {
  char* b = buf_;
  if (pos_ > 0) {
    std::memmove(b, b + pos_, end_ - pos_);
    base_ += pos_;
    end_ -= pos_;
    pos_ = 0;
  }
  if (by_line_) {
    if (!std::fgets(b + end_, kLineBuffer, stream_)) {
      done_ = true;
      return false;
    }
    const std::size_t got = std::strlen(b + end_);
    if (lower_case_) to_lower(b + end_, got);
    end_ += got;
    return true;
  }
  if (growing_ && capacity_ - end_ < kLineBlock) {
    if (!grow()) {
      error_ = no_memory;
      return false;
    }
    b = buf_;
  }
  const std::size_t room = capacity_ - end_;
  const std::size_t got = std::fread(b + end_, 1, room, stream_);
  if (lower_case_) to_lower(b + end_, got);
  end_ += got;
  done_ = got < room;
  return true;
}

}  // namespace detail
}  // namespace quernfold
}  // namespace ovk
