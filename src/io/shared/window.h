// A window over an input stream, refilled as it is consumed: read in large
// blocks (of a fixed size, or growing for lines of any length, lower-cased
// when asked) or one fgets line at a time. The line reader of the text
// readers and the scanner of the MEDIT, VTK and MSH readers both read
// through it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

namespace ovk {
namespace quernfold {
namespace detail {

class mapped_file;

// The line buffer of fgets-like reading: a line holds at most
// kLineBuffer - 1 characters; longer lines arrive in pieces.
constexpr int kLineBuffer = 256;
// Bytes of the block windows of the line reader.
constexpr std::size_t kLineBlock = std::size_t(1) << 20;
// Window sizes that are not a number of bytes: one fgets line at a time,
// or blocks in a window that grows to hold a whole line.
constexpr std::size_t kLineByLine = 0;
constexpr std::size_t kGrowing = static_cast<std::size_t>(-1);

// Lower-cases n bytes in the "C" locale (A to Z only).
void to_lower(char* text, std::size_t n) noexcept;

class stream_window {
 public:
  // `size`: bytes held at once (blocks of what is free of them are read),
  // kLineByLine or kGrowing; `lower_case`: letters A to Z are lower-cased
  // as read ("C" locale).
  stream_window(std::FILE* stream, std::size_t size, bool lower_case = false) noexcept;
  ~stream_window();
  stream_window(const stream_window&) = delete;
  stream_window& operator=(const stream_window&) = delete;

  // False when a fixed window could not be allocated.
  bool ready() const noexcept { return buf_ != nullptr; }
  // 0, or no_memory when a growing window could not grow.
  int error() const noexcept { return error_; }
  // True once a read of the stream has failed.
  bool failed() const noexcept { return std::ferror(stream_) != 0; }
  // Reads the rest of the stream into a growing window, which then holds
  // the whole input; false when it cannot grow (error() no_memory) or the
  // window does not grow. With threads > 1 (for the threads that parse
  // it), the rest of a long regular file is held where the file is mapped
  // instead, which pages it in as it is read; the bytes held are the same.
  // (A file cut short by another process while mapped ends the process.)
  bool take_whole(unsigned threads = 1) noexcept;
  // True once take_whole() succeeded: fill() then never reads again.
  bool whole() const noexcept { return whole_; }
  // Bytes consumed since the window started.
  std::uint64_t offset() const noexcept { return base_ + pos_; }

  // Makes at least n bytes (at most the window's size) visible from the
  // cursor unless the input ends first; returns the number of bytes visible.
  std::size_t fill(std::size_t n) noexcept {
    if (end_ - pos_ >= n || done_) return end_ - pos_;
    refill();
    return end_ - pos_;
  }
  const char* cursor() const noexcept { return buf_ + pos_; }
  // True once the input has ended: the bytes held are all that is left.
  bool ended() const noexcept { return done_; }
  // The end of the bytes held (of the whole input once whole()).
  const char* held_end() const noexcept { return buf_ + end_; }
  void advance(std::size_t n) noexcept { pos_ += n; }
  // Moves the cursor n bytes on, past what the window holds when need be
  // (the stream is then moved on and the window emptied). False when the
  // stream cannot be moved (the window is then left empty at the end).
  bool skip(std::uint64_t n) noexcept;

 protected:
  // Keeps the unread bytes at the front and reads behind them: a block (the
  // window grown first when it grows and needs the room), or one fgets line
  // (the bytes up to its first NUL). False at the end of the input, on a read
  // error or when the window cannot grow.
  bool refill() noexcept;

  // capacity_ + 1 bytes, room for a NUL after the last one: on the heap for
  // block windows, local_ for line-by-line reading.
  char* buf_ = nullptr;
  std::size_t capacity_ = 0, pos_ = 0, end_ = 0;
  std::uint64_t base_ = 0;  // bytes consumed before buf_[0]
  bool done_ = false;

 private:
  // Grows the window to at least `at_least` bytes (and at least double).
  bool grow(std::size_t at_least = 0) noexcept;
  // Holds the `left` bytes from the stream's position on where the file is
  // mapped, when nothing is held yet, the window does not lower-case and
  // the file has just those bytes left; the stream is then at its end. False,
  // nothing changed, otherwise.
  bool map_rest(std::size_t left) noexcept;

  std::FILE* stream_;
  bool by_line_, growing_, lower_case_;
  std::unique_ptr<char[]> heap_;
  std::unique_ptr<mapped_file> mapped_;  // the file, when buf_ is where it is mapped
  char local_[kLineBuffer + 1];
  int error_ = 0;
  bool whole_ = false;
};

}  // namespace detail
}  // namespace quernfold
}  // namespace ovk
