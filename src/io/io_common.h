// Pieces shared by the file formats: opening files, reading lines, growing
// matrices column by column, the checks of the range forms, the splitting of
// mixed matrices into linear shapes, and the element-run containers of the
// NASTRAN and FEMAP readers and writers.
#pragma once

#include <locale.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/mixed.h"
#include "quernfold/io.h"

namespace ovk {
namespace quernfold {
namespace detail {

// Every line-oriented reader reads with a buffer of this size, so a line
// holds at most 255 characters; longer lines arrive in pieces.
constexpr int kLineBuffer = 256;

// Allocation failure of an output or working container.

// ---------------------------------------------------------------------------
// Number conversions
// ---------------------------------------------------------------------------

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

// ---------------------------------------------------------------------------
// Files
// ---------------------------------------------------------------------------

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

// ---------------------------------------------------------------------------
// Growing matrices
// ---------------------------------------------------------------------------

// Smallest power of two not below n (1 for n = 0).
std::size_t next_power_of_two(std::size_t n) noexcept;

// Fills a matrix column by column while it is read. The matrix is sized
// ahead in powers of two (resizing a matrix costs a pass over its columns,
// so it must not happen once per column) and cut to the columns actually
// written by finish(), which every reader calls on every path.
// Powers of two, not appended outputs' max(2 x columns, 4): readers fill outputs they emptied.
template <class T>
class column_writer {
 public:
  // Starts on an emptied matrix of `rows` rows.
  column_writer(dense2D<T>& M, std::size_t rows) noexcept : M_(M), rows_(rows) {}

  std::size_t size() const noexcept { return used_; }
  std::size_t rows() const noexcept { return rows_; }
  T* column(std::size_t j) noexcept { return M_.column(j); }
  const T* column(std::size_t j) const noexcept { return M_.column(j); }
  // The matrix as written so far (its columns from size() on are not).
  const dense2D<T>& matrix() const noexcept { return M_; }
  // Starts again from no column; the storage stays.
  void restart() noexcept { used_ = 0; }

  // Columns [size(), n) come into use, every entry `fill`.
  bool extend(std::size_t n, const T& fill) noexcept {
    if (n <= used_) return true;
    if (n > M_.cols() && !M_.resize(rows_, next_power_of_two(std::max<std::size_t>(n, 4)), fill))
      return false;
    for (std::size_t j = used_; j < n; ++j) std::fill(M_.column(j), M_.column(j) + rows_, fill);
    used_ = n;
    return true;
  }

  // Room for n columns in all, so that appending up to n columns moves
  // nothing. False when the storage cannot grow (the columns held are kept).
  bool reserve(std::size_t n) noexcept { return n <= M_.cols() || M_.resize(rows_, n, T()); }

  // Appends one column of rows() entries.
  bool append(const T* values) noexcept {
    T* column = append();
    if (column) std::copy(values, values + rows_, column);
    return column != nullptr;
  }

  // Appends one column for the caller to fill; nullptr when the storage
  // cannot grow.
  T* append() noexcept {
    if (used_ == M_.cols() &&
        !M_.resize(rows_, next_power_of_two(std::max<std::size_t>(used_ + 1, 4)), T()))
      return nullptr;
    return M_.column(used_++);
  }

  // Raises the height to `rows`; the new slots of every column hold `fill`.
  bool raise_rows(std::size_t rows, const T& fill) noexcept {
    if (rows <= rows_) return true;
    if (!M_.resize(rows, M_.cols(), fill)) return false;
    rows_ = rows;
    return true;
  }

  // Cuts the matrix to rows() x size(); a matrix that received no column is
  // left as the reader cleared it, 0 x 0.
  bool finish() noexcept {
    if (used_ == 0) {
      M_.clear();
      return true;
    }
    return M_.resize(rows_, used_);
  }

 private:
  dense2D<T>& M_;
  std::size_t rows_;
  std::size_t used_ = 0;
};

// Node columns stored by identifier (NASTRAN GRID, FEMAP node records): a
// node lands in its own column of a 3-row matrix and the columns in between
// are 0.0. The storage grows to the next power of two of columns and comes
// zero-filled from the system; only the columns that nodes land in are ever
// written or copied, so memory follows the nodes of the file, not the size
// of their identifiers.
class node_columns {
 public:
  // Starts on an emptied matrix.
  explicit node_columns(dense2D<double>& coords) noexcept : M_(coords) {}

  // Stores (x, y, z) in column `col`. False when storage cannot be had.
  bool set(std::size_t col, double x, double y, double z) noexcept;
  // Cuts the matrix to 3 x (highest column stored + 1); 0 x 0 when no node
  // was stored.
  bool finish() noexcept {
    if (used_ == 0) {
      M_.clear();
      return true;
    }
    return M_.resize(kRows, used_);
  }

 private:
  static constexpr std::size_t kRows = 3;
  dense2D<double>& M_;
  std::size_t used_ = 0;
  dense1D<std::size_t> stored_;  // the columns written, in the order written
};

// ---------------------------------------------------------------------------
// Range forms (MEDIT, VTK, EnSight)
// ---------------------------------------------------------------------------

// True for the element_type values 0..22.
inline bool is_element_type(int t) noexcept { return t >= ET_UNKNOWN && t <= ET_HEXA27; }

// Checks of a range form, in order: coords rows in [min_rows, max_rows]
// (-2); first not after last (-4); last - first == types.size() (-5); every
// matrix passes check_IDs against its type and `bound` (-3; a type outside
// 0..22 fails). Returns 0 when all pass.
int check_range(const dense2D<double>& coords, const dense2D<unsigned>* first,
                const dense2D<unsigned>* last, const dense1D<int>& types, unsigned bound,
                std::size_t min_rows, std::size_t max_rows) noexcept;

// One piece of a range after the split: a matrix of a single kind and the
// 0-based position of the matrix it came from.
struct mesh_part {
  dense2D<unsigned> connect;
  element_type type;
  unsigned source;
};

// Turns a checked range into pieces: empty matrices are dropped, pure kinds
// are taken as they are (sharing storage), ET_FACE_MIX and ET_SOLID_MIX
// matrices are copied, grouped by node count with sort_elfes and split into
// linear shapes (3 -> ET_TRIA3, 4 -> ET_QUAD4; 4 -> ET_TETRA4, 5 ->
// ET_PYRAMID5, 6 -> ET_WEDGE6, 8 -> ET_HEXA8); groups of other node counts
// are dropped. Returns 0, or -199 when a copy cannot be allocated.
int split_mixed(const dense2D<unsigned>* first, const dense2D<unsigned>* last,
                const dense1D<int>& types, std::vector<mesh_part>& parts);

// The range form of MEDIT, VTK and EnSight, through which their one- and
// two-matrix forms go with a one- or two-entry range.
using range_writer = int (*)(const char*, const dense2D<double>&, const dense2D<unsigned>*,
                             const dense2D<unsigned>*, const dense1D<int>&);
int write_one(range_writer write, const char* name, const dense2D<double>& coords,
              const dense2D<unsigned>& connectM, element_type type);
int write_two(range_writer write, const char* name, const dense2D<double>& coords,
              const dense2D<unsigned>& connectM1, const dense2D<unsigned>& connectM2,
              element_type type1, element_type type2);

// Defines the one- and two-matrix forms of the range writer NAME (they are
// its range form over a one- or two-entry range).
#define QUERNFOLD_RANGE_WRITER_FORMS(NAME)                                                      \
  int NAME(char const* name, dense2D<double> const& coords, dense2D<unsigned> const& connectM,  \
           element_type type) {                                                                 \
    return detail::write_one(static_cast<detail::range_writer>(&NAME), name, coords, connectM,  \
                             type);                                                             \
  }                                                                                             \
  int NAME(char const* name, dense2D<double> const& coords, dense2D<unsigned> const& connectM1, \
           dense2D<unsigned> const& connectM2, element_type type1, element_type type2) {        \
    return detail::write_two(static_cast<detail::range_writer>(&NAME), name, coords, connectM1, \
                             connectM2, type1, type2);                                          \
  }

// How a writer lays out the nodes of one element kind: a name (card or part
// name) and the column positions written, in order.
struct node_layout {
  element_type type;
  const char* name;
  unsigned count;
  unsigned char nodes[20];
};

// The entry of `table` whose `type` member is `type`; nullptr when none.
template <class Entry, std::size_t N>
const Entry* find_kind(const Entry (&table)[N], int type) noexcept {
  for (const Entry& e : table)
    if (e.type == type) return &e;
  return nullptr;
}

// A node order: column position k of the library's element takes node
// from[k] of the element as another program lists it.
struct node_order {
  element_type type;
  unsigned char from[27];
};

// The order from another program's element of a pure `shape` to the
// library's columns; nullptr when `table` keeps that shape's order.
template <std::size_t N>
const unsigned char* order_of(const node_order (&table)[N], element_type shape) noexcept {
  const node_order* e = find_kind(table, shape);
  return e ? e->from : nullptr;
}

// Puts the n nodes of `file` into `column` through `order` (nullptr: as
// they are).
inline void reorder(const unsigned* file, unsigned* column, const unsigned char* order,
                    unsigned n) noexcept {
  for (unsigned k = 0; k < n; ++k) column[k] = file[order ? order[k] : k];
}

// ---------------------------------------------------------------------------
// Element runs (NASTRAN, FEMAP)
// ---------------------------------------------------------------------------

// Elements appended as columns of one matrix while a file is read: rows grow
// to the tallest element (new slots no_index), runs of equal types are
// tracked in bounds/types, and every element carries one number (property
// identifier or reference) in `numbers`.
class element_runs {
 public:
  element_runs(dense2D<unsigned>& connectM, dense1D<unsigned>& bounds, dense1D<int>& types,
               dense1D<unsigned>& numbers) noexcept;

  // Empties the outputs and starts bounds as {0}. False on allocation failure.
  bool start() noexcept;
  // Empties the outputs, bounds included.
  void clear() noexcept;
  // Appends an element of `type` with `n` nodes (0-based indices).
  bool add(element_type type, const unsigned* nodes, unsigned n, unsigned number) noexcept;
  std::size_t size() const noexcept { return elements_.size(); }
  // Column j of the matrix while it is being filled.
  unsigned* column(std::size_t j) noexcept { return elements_.column(j); }
  std::size_t rows() const noexcept { return elements_.rows(); }
  // Cuts the matrix to what was stored and appends the number of elements
  // to bounds.
  bool finish() noexcept;

 private:
  dense2D<unsigned>& connect_;
  column_writer<unsigned> elements_;
  dense1D<unsigned>& bounds_;
  dense1D<int>& types_;
  dense1D<unsigned>& numbers_;
};

// The NASTRAN and FEMAP reader's outputs while a file is read: nodes stored
// by identifier in a 3-row coordinates matrix, and the element runs.
class run_builder {
 public:
  run_builder(dense2D<double>& coords, dense2D<unsigned>& connectM, dense1D<unsigned>& bounds,
              dense1D<int>& types, dense1D<unsigned>& pids) noexcept;

  // Empties all outputs and starts bounds as {0}. False on allocation failure.
  bool start() noexcept;
  // Stores node `id` (>= 1) in column id - 1; missing columns are 0.0.
  bool set_node(unsigned long id, double x, double y, double z) noexcept;
  // Appends an element of `type` with `n` nodes (0-based indices).
  bool add_element(element_type type, const unsigned* nodes, unsigned n, unsigned pid) noexcept {
    return elements_.add(type, nodes, n, pid);
  }
  // Cuts the matrices to what was stored and appends the number of
  // elements to bounds.
  bool finish() noexcept;

 private:
  dense2D<double>& coords_;
  node_columns nodes_;
  element_runs elements_;
};

// The core forms of the NASTRAN and FEMAP readers and writers, on which
// their other forms are built.
using run_reader = int (*)(std::FILE*, dense2D<double>&, dense2D<unsigned>&, dense1D<unsigned>&,
                           dense1D<int>&, dense1D<unsigned>&);
using run_writer = int (*)(std::FILE*, const dense2D<double>&, const dense2D<unsigned>&,
                           const dense1D<unsigned>&, const dense1D<int>&, const dense1D<unsigned>&);

// Opens `name` with `mode`, hands the stream (null when the open failed) to
// `form` and closes the file when it returns.
template <class Form>
int with_file(const char* name, const char* mode, Form form) {
  scoped_file file(name, mode);
  return form(file.get());
}

// The one type of all runs of a reader: runs of triangles and quadrangles
// widen to ET_FACE_MIX, runs of linear solids to ET_SOLID_MIX, any other mix
// gives ET_UNKNOWN. With no run, `type` is left as it is.
void widen_runs(const dense1D<int>& types, element_type& type) noexcept;
// Reader form 2 over a core reader: the core's matrix and widen_runs of its
// types.
int read_one_matrix(run_reader core, std::FILE* stream, dense2D<double>& coords,
                    dense2D<unsigned>& connectM, element_type& type);
// Reader form 3 over a core reader: the first two runs as two matrices. A
// stream that the core refuses leaves every output untouched.
int read_first_runs(run_reader core, std::FILE* stream, dense2D<double>& coords,
                    dense2D<unsigned>& connectM1, dense2D<unsigned>& connectM2, element_type& type1,
                    element_type& type2);
// Writer forms 2 and 3 over a core writer (run containers of make_runs);
// -199 when they cannot be allocated.
int write_one_run(run_writer core, std::FILE* stream, const dense2D<double>& coords,
                  const dense2D<unsigned>& connectM, element_type type);
int write_two_runs(run_writer core, std::FILE* stream, const dense2D<double>& coords,
                   const dense2D<unsigned>& connectM1, const dense2D<unsigned>& connectM2,
                   element_type type1, element_type type2);

// Reader form 3: the first two runs as separate matrices holding rows
// 0 .. nbr_nodes(type) - 1 of their columns. Types of absent runs are left
// as they are. Returns 0 or -199.
int split_first_runs(const dense2D<unsigned>& connectM, const dense1D<unsigned>& bounds,
                     const dense1D<int>& types, dense2D<unsigned>& connectM1,
                     dense2D<unsigned>& connectM2, element_type& type1, element_type& type2);

// Shape of column j of a run of `type`: the column's own shape in mixed runs,
// the run's type otherwise.
element_type run_element_shape(element_type type, const dense2D<unsigned>& connectM,
                               std::size_t j) noexcept;

// Checks of the run writers in order: null stream or stream in error (-1),
// coords rows not 2 or 3 (-2), size of bounds (-5), size of pids (-6),
// boundary values (-5), runs (-3).
int check_run_writer(std::FILE* stream, const dense2D<double>& coords,
                     const dense2D<unsigned>& connectM, const dense1D<unsigned>& bounds,
                     const dense1D<int>& types, const dense1D<unsigned>& pids) noexcept;

// Run containers of the one-matrix and two-matrix writer forms.
struct run_set {
  dense2D<unsigned> connect;
  dense1D<unsigned> bounds;
  dense1D<int> types;
  dense1D<unsigned> pids;
};
// One run of `type`, pids all 1. False on allocation failure.
bool make_runs(const dense2D<unsigned>& connectM, element_type type, run_set& runs) noexcept;
// Two runs joined in one matrix of max(nbr_nodes) rows, pids 1 and 2.
bool make_runs(const dense2D<unsigned>& connectM1, const dense2D<unsigned>& connectM2,
               element_type type1, element_type type2, run_set& runs) noexcept;

}  // namespace detail
}  // namespace quernfold
}  // namespace ovk
