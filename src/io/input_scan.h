// Pieces of the MEDIT, VTK and MSH readers: a buffered window over the input
// stream (words and numbers parsed without the locale, binary words of either
// byte order), the node orders of other writers, and the outputs shared by
// the three readers while a file is read.
#pragma once

#include <charconv>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <string_view>
#include <system_error>
#include <type_traits>

#include "common/mixed.h"
#include "io/io_common.h"

namespace ovk {
namespace quernfold {
namespace detail {

// Codes of the three readers (the other codes are -1 for the stream and
// no_memory).
constexpr int kNotThisFormat = -2;
constexpr int kMalformed = -3;

// ---------------------------------------------------------------------------
// Scanning
// ---------------------------------------------------------------------------

// A window over a stream that is refilled as it is consumed. Text is read as
// white-space separated words; numbers are converted with std::from_chars
// (no locale, no allocation). Binary words are read in either byte order.
class input_scan {
 public:
  // Bytes read by one refill, and the longest word (a longer one is an
  // error of the file).
  static constexpr std::size_t kWindow = std::size_t{1} << 20;
  static constexpr std::size_t kMaxWord = 4096;

  explicit input_scan(std::FILE* stream) noexcept
      : stream_(stream), buf_(new (std::nothrow) char[kWindow + kMaxWord]) {}

  // False when the window could not be allocated.
  bool ready() const noexcept { return buf_ != nullptr; }
  // True once a read of the stream has failed.
  bool failed() const noexcept { return std::ferror(stream_) != 0; }
  // Bytes consumed since the scan started.
  std::uint64_t offset() const noexcept { return base_ + pos_; }

  // Makes at least n bytes (n <= kWindow) visible from the cursor unless the
  // input ends first; returns the number of bytes visible.
  std::size_t fill(std::size_t n) noexcept {
    if (end_ - pos_ >= n || done_) return end_ - pos_;
    std::memmove(buf_.get(), buf_.get() + pos_, end_ - pos_);
    base_ += pos_;
    end_ -= pos_;
    pos_ = 0;
    const std::size_t room = kWindow + kMaxWord - end_;
    const std::size_t got = std::fread(buf_.get() + end_, 1, room, stream_);
    end_ += got;
    done_ = got < room;
    return end_;
  }
  const char* cursor() const noexcept { return buf_.get() + pos_; }
  void advance(std::size_t n) noexcept { pos_ += n; }

  // Skips white space; with `comments`, also "#" to the end of the line,
  // handing each comment line (without its line end) to on_comment.
  template <class OnComment>
  void skip_blanks(OnComment on_comment, bool comments = true) noexcept {
    for (;;) {
      if (pos_ == end_ && fill(1) == 0) return;
      while (pos_ < end_ && is_blank(buf_[pos_])) ++pos_;
      if (pos_ == end_) continue;
      if (!comments || buf_[pos_] != '#') return;
      std::string_view text;
      line(text);
      on_comment(text);
    }
  }
  void skip_blanks() noexcept {
    skip_blanks([](std::string_view) {}, false);
  }

  // The next word; false at the end of the input or when the word is
  // longer than kMaxWord. The view lasts until the scan reads on (any later
  // call may move the window).
  bool word(std::string_view& w) noexcept {
    skip_blanks();
    const std::size_t n = std::min(fill(kMaxWord + 1), kMaxWord + 1);
    std::size_t k = 0;
    while (k < n && !is_blank(buf_[pos_ + k])) ++k;
    if (k == 0 || k > kMaxWord) return false;
    w = std::string_view(buf_.get() + pos_, k);
    pos_ += k;
    return true;
  }

  // The next word read as a number of type T (an integer type or double);
  // false when it is missing, does not fit T or has trailing characters.
  template <class T>
  bool number(T& v) noexcept {
    std::string_view w;
    return word(w) && parse(w, v);
  }

  // The rest of the current line without its line end; a line longer than
  // kMaxWord is skipped and given as empty. False at the end of the input.
  bool line(std::string_view& text) noexcept {
    const std::size_t n = std::min(fill(kMaxWord), kMaxWord);
    if (n == 0) return false;
    std::size_t k = 0;
    while (k < n && buf_[pos_ + k] != '\n') ++k;
    if (k == kMaxWord) {
      text = {};
      skip_past("\n");
      return true;
    }
    std::size_t len = k;
    while (len > 0 && buf_[pos_ + len - 1] == '\r') --len;
    text = std::string_view(buf_.get() + pos_, len);
    pos_ += k < n ? k + 1 : k;
    return true;
  }

  // Moves the cursor past the next occurrence of `pattern`; false (cursor
  // at the end) when there is none.
  bool skip_past(std::string_view pattern) noexcept {
    for (;;) {
      const std::size_t n = fill(pattern.size());
      if (n < pattern.size()) {
        pos_ = end_;
        return false;
      }
      const std::string_view visible(buf_.get() + pos_, n);
      const std::size_t at = visible.find(pattern);
      if (at != std::string_view::npos) {
        pos_ += at + pattern.size();
        return true;
      }
      pos_ += n - (pattern.size() - 1);
    }
  }

  // Skips n bytes; false when the input ends first.
  bool skip(std::uint64_t n) noexcept {
    while (n > 0) {
      const std::size_t visible = fill(1);
      if (visible == 0) return false;
      const std::size_t step = static_cast<std::size_t>(std::min<std::uint64_t>(n, visible));
      pos_ += step;
      n -= step;
    }
    return true;
  }

  // A binary word of type T, byte-swapped when `swap`; false when the input
  // ends first.
  template <class T>
  bool binary(T& v, bool swap) noexcept {
    if (fill(sizeof(T)) < sizeof(T)) return false;
    unsigned char bytes[sizeof(T)];
    std::memcpy(bytes, buf_.get() + pos_, sizeof(T));
    if (swap)
      for (std::size_t i = 0; i < sizeof(T) / 2; ++i) std::swap(bytes[i], bytes[sizeof(T) - 1 - i]);
    std::memcpy(&v, bytes, sizeof(T));
    pos_ += sizeof(T);
    return true;
  }

  static bool is_blank(char c) noexcept {
    return c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == '\f' || c == '\v';
  }

  // Converts a whole word: a leading "+" is accepted.
  template <class T>
  static bool parse(std::string_view w, T& v) noexcept {
    if (!w.empty() && w[0] == '+') w.remove_prefix(1);
    const char* end = w.data() + w.size();
    std::from_chars_result r;
    if constexpr (std::is_floating_point_v<T>)
      r = std::from_chars(w.data(), end, v, std::chars_format::general);
    else
      r = std::from_chars(w.data(), end, v);
    return r.ec == std::errc() && r.ptr == end;
  }

 private:
  std::FILE* stream_;
  std::unique_ptr<char[]> buf_;
  std::size_t pos_ = 0, end_ = 0;
  std::uint64_t base_ = 0;
  bool done_ = false;
};

// Case-insensitive comparison of ASCII words.
inline bool same_word(std::string_view a, std::string_view b) noexcept {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const char x = a[i] >= 'a' && a[i] <= 'z' ? static_cast<char>(a[i] - 32) : a[i];
    const char y = b[i] >= 'a' && b[i] <= 'z' ? static_cast<char>(b[i] - 32) : b[i];
    if (x != y) return false;
  }
  return true;
}

// A line with leading and trailing white space removed.
inline std::string_view trimmed(std::string_view s) noexcept {
  while (!s.empty() && input_scan::is_blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && input_scan::is_blank(s.back())) s.remove_suffix(1);
  return s;
}

// ---------------------------------------------------------------------------
// Node orders
// ---------------------------------------------------------------------------

// The standard order (VTK's, which meshio shares) of every kind that differs
// from the library's; kinds not listed are the same in both. Standard
// tetrahedra and wedges have the opposite orientation; the mid-edge nodes
// of the library follow its edge lists, and its face nodes its face lists.
inline constexpr node_order kStandardOrders[] = {
    {ET_TRIA6, {0, 1, 2, 4, 5, 3}},
    {ET_TETRA4, {0, 1, 3, 2}},
    {ET_TETRA10, {0, 1, 3, 2, 8, 7, 4, 6, 5, 9}},
    {ET_WEDGE6, {0, 2, 1, 3, 5, 4}},
    {ET_WEDGE15, {0, 2, 1, 3, 5, 4, 12, 14, 13, 7, 6, 8, 10, 9, 11}},
    {ET_WEDGE18, {0, 2, 1, 3, 5, 4, 12, 14, 13, 7, 6, 8, 10, 9, 11, 16, 15, 17}},
};

// ---------------------------------------------------------------------------
// Outputs
// ---------------------------------------------------------------------------

// The outputs of a core reader while a file is read: coordinates appended
// column by column, and the element runs with one reference per element.
// Every failure empties all of them.
class mesh_output {
 public:
  mesh_output(dense2D<double>& coords, dense2D<unsigned>& connectM, dense1D<unsigned>& bounds,
              dense1D<int>& types, dense1D<unsigned>& refs) noexcept
      : coords_(coords), elements_(connectM, bounds, types, refs) {}

  bool start() noexcept {
    coords_.clear();
    return elements_.start();
  }
  // Coordinates of `rows` rows from now on (the first call decides; a later
  // call with another height fails).
  bool node_rows(std::size_t rows) noexcept {
    if (!nodes_) nodes_.emplace(coords_, rows);
    return nodes_->rows() == rows;
  }
  std::size_t nodes() const noexcept { return nodes_ ? nodes_->size() : 0; }
  // Column j < nodes() of the coordinates.
  double* node(std::size_t j) noexcept { return nodes_->column(j); }
  // A new node column of node_rows() entries, or nullptr on allocation
  // failure.
  double* add_node() noexcept {
    const std::size_t j = nodes_->size();
    return nodes_->extend(j + 1, 0.0) ? nodes_->column(j) : nullptr;
  }
  bool add_element(element_type type, const unsigned* nodes, unsigned n, unsigned ref) noexcept {
    return elements_.add(type, nodes, n, ref);
  }
  // True when every element node names a stored node.
  bool nodes_exist() noexcept {
    for (std::size_t j = 0; j < elements_.size(); ++j) {
      const unsigned* c = elements_.column(j);
      for (std::size_t i = 0; i < elements_.rows(); ++i)
        if (c[i] != no_index && c[i] >= nodes()) return false;
    }
    return true;
  }
  // Ends the reading with `code`: the outputs are cut to what was stored,
  // or all emptied when the code is negative (or the cut fails).
  int finish(int code, std::FILE* stream) noexcept {
    if (code == 0 && std::ferror(stream)) code = -1;
    if (code == 0 && !(nodes_ ? nodes_->finish() : coords_.resize(0, 0))) code = no_memory;
    if (code == 0 && !elements_.finish()) code = no_memory;
    if (code < 0) {
      coords_.clear();
      elements_.clear();
    }
    return code;
  }

 private:
  dense2D<double>& coords_;
  element_runs elements_;
  std::optional<column_writer<double>> nodes_;
};

// True on a little-endian host.
inline bool host_is_little() noexcept {
  const std::uint16_t probe = 1;
  unsigned char first;
  std::memcpy(&first, &probe, 1);
  return first == 1;
}

// The core form of a reader: checks the stream, starts the outputs and the
// scan, runs `read` (int(input_scan&, mesh_output&)) and ends with its code.
// Numbers are parsed without the locale; the character classes of keywords
// are those of the "C" locale.
template <class Read>
int read_mesh(std::FILE* stream, dense2D<double>& coords, dense2D<unsigned>& connectM,
              dense1D<unsigned>& bounds, dense1D<int>& types, dense1D<unsigned>& refs, Read read) {
  const c_locale_scope c_locale;
  mesh_output out(coords, connectM, bounds, types, refs);
  if (!stream || std::ferror(stream)) return out.finish(-1, stream);
  input_scan in(stream);
  if (!in.ready() || !out.start()) return out.finish(no_memory, stream);
  return out.finish(read(in, out), stream);
}

// The file-name form and the one- and two-matrix forms of a reader over its
// core stream form. The files are opened in binary mode ("rb").
template <run_reader Core>
struct reader_forms {
  static int core(const char* name, dense2D<double>& coords, dense2D<unsigned>& connectM,
                  dense1D<unsigned>& bounds, dense1D<int>& types, dense1D<unsigned>& refs) {
    return with_file(name, "rb",
                     [&](std::FILE* f) { return Core(f, coords, connectM, bounds, types, refs); });
  }
  static int one(std::FILE* stream, dense2D<double>& coords, dense2D<unsigned>& connectM,
                 element_type& type) {
    return read_one_matrix(Core, stream, coords, connectM, type);
  }
  static int one(const char* name, dense2D<double>& coords, dense2D<unsigned>& connectM,
                 element_type& type) {
    type = ET_UNKNOWN;
    return with_file(name, "rb", [&](std::FILE* f) { return one(f, coords, connectM, type); });
  }
  static int two(std::FILE* stream, dense2D<double>& coords, dense2D<unsigned>& connectM1,
                 dense2D<unsigned>& connectM2, element_type& type1, element_type& type2) {
    connectM1.clear();
    connectM2.clear();
    return read_first_runs(Core, stream, coords, connectM1, connectM2, type1, type2);
  }
  static int two(const char* name, dense2D<double>& coords, dense2D<unsigned>& connectM1,
                 dense2D<unsigned>& connectM2, element_type& type1, element_type& type2) {
    type1 = type2 = ET_UNKNOWN;
    return with_file(name, "rb", [&](std::FILE* f) {
      return two(f, coords, connectM1, connectM2, type1, type2);
    });
  }
};

}  // namespace detail
}  // namespace quernfold
}  // namespace ovk

// Defines every public form of reader NAME as io.h declares them: the core
// stream form running READ (int(input_scan&, mesh_output&)) through
// read_mesh, its file-name form, and the one- and two-matrix forms (stream
// and file name); used inside namespace ovk::quernfold.
#define QUERNFOLD_READER_FORMS(NAME, READ)                                                      \
  int NAME(FILE* stream, dense2D<double>& coords, dense2D<unsigned>& connectM,                  \
           dense1D<unsigned>& bounds, dense1D<int>& types, dense1D<unsigned>& refs) {           \
    return detail::read_mesh(stream, coords, connectM, bounds, types, refs, READ);              \
  }                                                                                             \
  int NAME(char const* name, dense2D<double>& coords, dense2D<unsigned>& connectM,              \
           dense1D<unsigned>& bounds, dense1D<int>& types, dense1D<unsigned>& refs) {           \
    return detail::reader_forms<NAME>::core(name, coords, connectM, bounds, types, refs);       \
  }                                                                                             \
  int NAME(FILE* stream, dense2D<double>& coords, dense2D<unsigned>& connectM,                  \
           element_type& type) {                                                                \
    return detail::reader_forms<NAME>::one(stream, coords, connectM, type);                     \
  }                                                                                             \
  int NAME(char const* name, dense2D<double>& coords, dense2D<unsigned>& connectM,              \
           element_type& type) {                                                                \
    return detail::reader_forms<NAME>::one(name, coords, connectM, type);                       \
  }                                                                                             \
  int NAME(FILE* stream, dense2D<double>& coords, dense2D<unsigned>& connectM1,                 \
           dense2D<unsigned>& connectM2, element_type& type1, element_type& type2) {            \
    return detail::reader_forms<NAME>::two(stream, coords, connectM1, connectM2, type1, type2); \
  }                                                                                             \
  int NAME(char const* name, dense2D<double>& coords, dense2D<unsigned>& connectM1,             \
           dense2D<unsigned>& connectM2, element_type& type1, element_type& type2) {            \
    return detail::reader_forms<NAME>::two(name, coords, connectM1, connectM2, type1, type2);   \
  }
