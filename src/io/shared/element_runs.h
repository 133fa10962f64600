// Element runs (NASTRAN, FEMAP and the readers of MEDIT, VTK and MSH):
// elements appended as columns of one matrix with the runs of equal kinds,
// the builders of the readers' outputs, and the checks and containers of
// the run writers.
#pragma once

#include <cstddef>
#include <cstdio>

#include "io/shared/columns.h"
#include "io/shared/kinds.h"

namespace ovk {
namespace quernfold {
namespace detail {

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
  // Storage for `count` more elements of `n` nodes: the matrix is then at
  // least n rows tall and columns [size(), size() + count) are had but not
  // written. The caller writes every entry of them (no_index in the rows
  // below its n nodes), on any threads, then takes them with add_written().
  // False on allocation failure (the elements held are kept).
  bool make_room(unsigned n, std::size_t count) noexcept;
  // Takes the `count` columns written after make_room() as elements of
  // `type`, all with `number`; as many add() calls with their nodes do.
  bool add_written(element_type type, std::size_t count, unsigned number) noexcept;
  std::size_t size() const noexcept { return elements_.size(); }
  // Column j of the matrix while it is being filled.
  unsigned* column(std::size_t j) noexcept { return elements_.column(j); }
  std::size_t rows() const noexcept { return elements_.rows(); }
  // Cuts the matrix to what was stored and appends the number of elements
  // to bounds.
  bool finish() noexcept;

 private:
  // Starts a run at column `col` unless the last one is of `type`.
  bool note_run(element_type type, std::size_t col) noexcept;

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

// The one type of all runs of a reader: runs of triangles and quadrangles
// widen to ET_FACE_MIX, runs of linear solids to ET_SOLID_MIX, any other mix
// gives ET_UNKNOWN. With no run, `type` is left as it is.
void widen_runs(const dense1D<int>& types, element_type& type) noexcept;

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
