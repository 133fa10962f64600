// The outputs and the core form of the MEDIT, VTK and MSH readers, which read
// through the text scanner.
#pragma once

#include <cstdio>
#include <optional>
#include <string_view>

#include "io/shared/families.h"
#include "io/shared/read_notes.h"
#include "io/shared/text_scan.h"

namespace ovk {
namespace quernfold {
namespace detail {

// Codes of the three readers (the other codes are -1 for the stream and
// no_memory).
constexpr int kNotThisFormat = -2;
constexpr int kMalformed = -3;

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
  // Appends the entity tag of the `count` elements just added, when the
  // caller asked for them (read_notes::entities), and notes whether their
  // reference was a physical tag. False on allocation failure.
  bool add_entity(unsigned tag, bool physical, std::size_t count = 1) noexcept {
    if (!notes_ || !notes_->entities || count == 0) return true;
    notes_->physical = notes_->physical || physical;
    dense1D<unsigned>& tags = *notes_->entities;
    return tags.push_back_n(tag, count);
  }
  // Storage for `count` elements of `n` nodes that the caller writes (on
  // any threads) into columns [elements(), elements() + count) of
  // element_rows() rows, no_index below the n nodes, then takes with
  // add_written(); see element_runs::make_room.
  bool element_room(unsigned n, std::size_t count) noexcept {
    return elements_.make_room(n, count);
  }
  std::size_t elements() const noexcept { return elements_.size(); }
  std::size_t element_rows() const noexcept { return elements_.rows(); }
  unsigned* element_column(std::size_t j) noexcept { return elements_.column(j); }
  // The `count` elements written after element_room(), of one type and
  // reference.
  bool add_written(element_type type, std::size_t count, unsigned ref) noexcept {
    return elements_.add_written(type, count, ref);
  }
  // Counts `count` records named `record` passed over for `why` (nothing
  // when the caller asked for no notes).
  void left_out(std::string_view record, const char* why, std::size_t count = 1) {
    if (notes_) notes_->count(record, why, count);
  }
  // Says that a failure from here on has no line to point at (found after
  // the records were read, or in binary data).
  void fault_unplaced() noexcept { unplaced_ = true; }
  void take_notes(read_notes* notes) noexcept { notes_ = notes; }
  // Records where a failed read stopped.
  void failed_at(std::uint64_t offset) noexcept {
    if (!notes_) return;
    notes_->failed_at = offset;
    notes_->placed = !unplaced_;
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
  // n new node columns of node_rows() entries (0.0) at once, for the
  // caller to fill; false on allocation failure.
  bool add_nodes(std::size_t n) noexcept { return nodes_->extend(nodes_->size() + n, 0.0); }
  // Drops the node columns from `n` on (n <= nodes()).
  void drop_nodes(std::size_t n) noexcept {
    if (nodes_) nodes_->cut(n);
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
  read_notes* notes_ = nullptr;
  bool unplaced_ = false;
};

// The core form of a reader: checks the stream, starts the outputs and the
// scan, runs `read` (int(input_scan&, mesh_output&)) and ends with its code.
// Numbers are parsed without the locale; the character classes of keywords
// are those of the "C" locale. With `notes`, the records left out and the
// place of a failure are noted there. With threads > 1 the rest of the
// stream is read at once and its long record lists parsed on that many
// threads (the outputs, codes and notes are those of one thread).
template <class Read>
int read_mesh(std::FILE* stream, dense2D<double>& coords, dense2D<unsigned>& connectM,
              dense1D<unsigned>& bounds, dense1D<int>& types, dense1D<unsigned>& refs, Read read,
              read_notes* notes = nullptr, unsigned threads = 1) {
  const c_locale_scope c_locale;
  mesh_output out(coords, connectM, bounds, types, refs);
  out.take_notes(notes);
  if (!stream || std::ferror(stream)) return out.finish(-1, stream);
  std::optional<input_scan> in;
  if (threads > 1) {
    in.emplace(stream, threads);
    if (!in->take_whole()) return out.finish(no_memory, stream);
    if (std::ferror(stream)) return out.finish(-1, stream);
  } else {
    in.emplace(stream);
  }
  if (!in->ready() || !out.start()) return out.finish(no_memory, stream);
  const int code = read(*in, out);
  if (code == kMalformed) out.failed_at(in->offset());
  return out.finish(code, stream);
}

}  // namespace detail
}  // namespace quernfold
}  // namespace ovk

// Defines every public form of reader NAME as io.h declares them: the core
// stream form running READ (int(input_scan&, mesh_output&)) through
// read_mesh, and the forms generated over it; used inside namespace
// ovk::quernfold; and detail::NAME_noted (on `threads` threads).
#define QUERNFOLD_SCANNED_READER(NAME, READ)                                                       \
  int NAME(FILE* stream, dense2D<double>& coords, dense2D<unsigned>& connectM,                     \
           dense1D<unsigned>& bounds, dense1D<int>& types, dense1D<unsigned>& refs) {              \
    return detail::read_mesh(stream, coords, connectM, bounds, types, refs, READ);                 \
  }                                                                                                \
  int detail::NAME##_noted(const char* name, dense2D<double>& coords, dense2D<unsigned>& connectM, \
                           dense1D<unsigned>& bounds, dense1D<int>& types,                         \
                           dense1D<unsigned>& refs, read_notes& notes, unsigned threads) {         \
    return detail::with_file(name, detail::kScannedReaderRules.mode, [&](std::FILE* stream) {      \
      return detail::read_mesh(stream, coords, connectM, bounds, types, refs, READ, &notes,        \
                               threads);                                                           \
    });                                                                                            \
  }                                                                                                \
  QUERNFOLD_READER_FORMS(NAME, detail::kScannedReaderRules)
