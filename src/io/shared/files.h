// Files of the formats: the "C" locale for the conversions of one call,
// opening a file, a stream closed on every return path, and the file-name
// forms over stream forms.
#pragma once

#include <locale.h>

#include <cstdio>

namespace ovk {
namespace quernfold {
namespace detail {

// Puts the calling thread in the "C" locale for the life of the object, so
// that the printf and scanf family, strtod and the character classes convert
// as the formats state whatever locale the host program or this thread has
// set; the thread's own locale comes back on every path out. Nothing is
// shared between threads: each scope switches only its own thread.
class c_locale_scope {
 public:
  c_locale_scope() noexcept
      : c_(newlocale(LC_ALL_MASK, "C", locale_t(0))), previous_(c_ ? uselocale(c_) : locale_t(0)) {}
  ~c_locale_scope() {
    if (previous_) uselocale(previous_);
    if (c_) freelocale(c_);
  }
  c_locale_scope(const c_locale_scope&) = delete;
  c_locale_scope& operator=(const c_locale_scope&) = delete;

 private:
  locale_t c_;
  locale_t previous_;
};

// Opens `name` with `mode`. Returns 0 and hands the stream back in *stream,
// or an error number (errno, or EINVAL for a null argument) with *stream set
// to nullptr: a failed open leaves nothing to close.
int open_file(std::FILE** stream, const char* name, const char* mode) noexcept;

// Owns a stream opened by open_file and closes it when it goes, so that
// every return path of a file-name form closes the file.
class scoped_file {
 public:
  scoped_file(const char* name, const char* mode) noexcept { open_file(&stream_, name, mode); }
  ~scoped_file() { close(); }
  scoped_file(const scoped_file&) = delete;
  scoped_file& operator=(const scoped_file&) = delete;

  std::FILE* get() const noexcept { return stream_; }
  explicit operator bool() const noexcept { return stream_ != nullptr; }
  void close() noexcept {
    if (stream_) std::fclose(stream_);
    stream_ = nullptr;
  }

 private:
  std::FILE* stream_ = nullptr;
};

// Opens `name` with `mode`, hands the stream (null when the open failed) to
// `form` and closes the file when it returns.
template <class Form>
int with_file(const char* name, const char* mode, Form form) {
  scoped_file file(name, mode);
  return form(file.get());
}

}  // namespace detail
}  // namespace quernfold
}  // namespace ovk
