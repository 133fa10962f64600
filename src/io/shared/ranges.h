// Range forms of the writers (MEDIT, VTK, MSH, EnSight): the checks of a
// range of matrices, its split into pieces of one kind, and the one- and
// two-matrix forms over the range form.
#pragma once

#include <cstddef>
#include <vector>

#include "io/shared/kinds.h"
#include "quernfold/io.h"

namespace ovk {
namespace quernfold {
namespace detail {

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

}  // namespace detail
}  // namespace quernfold
}  // namespace ovk
