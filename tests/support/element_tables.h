// The local faces and edges of every linear shape, written out by hand from
// the library's documentation, with the reading of mixed columns: the
// reference that the topology, edge and size-map oracles build on, kept
// apart from the library's own tables so that a slip in those shows.
#pragma once

#include <quernfold/quernfold.h>

#include <array>
#include <cstddef>
#include <map>
#include <random>
#include <utility>
#include <vector>

namespace quernfold_test {

using ovk::quernfold::dense2D;
using ovk::quernfold::element_type;
using local_lists = std::vector<std::vector<unsigned>>;

// 3-row ET_FACE_MIX reads as triangles, 4-, 5-, 6-row ET_SOLID_MIX as
// tetrahedra, pyramids, wedges.
inline element_type narrowed(element_type FE, std::size_t rows) {
  using namespace ovk::quernfold;
  if (FE == ET_FACE_MIX && rows == 3) return ET_TRIA3;
  if (FE == ET_SOLID_MIX && rows >= 4 && rows <= 6)
    return rows == 4 ? ET_TETRA4 : rows == 5 ? ET_PYRAMID5 : ET_WEDGE6;
  return FE;
}

// Shape of one column of a narrowed kind: a mixed column by its first ~0U.
inline element_type shape_of(element_type FE, const unsigned* c) {
  using namespace ovk::quernfold;
  if (FE == ET_FACE_MIX) return c[3] == no_index ? ET_TRIA3 : ET_QUAD4;
  if (FE != ET_SOLID_MIX) return FE;
  return c[4] == no_index   ? ET_TETRA4
         : c[5] == no_index ? ET_PYRAMID5
         : c[6] == no_index ? ET_WEDGE6
                            : ET_HEXA8;
}

// Local node lists written as digit groups: "12 20 01" is (1,2) (2,0) (0,1).
inline local_lists lists(const char* text) {
  local_lists out(1);
  for (const char* c = text; *c; ++c)
    if (*c == ' ')
      out.emplace_back();
    else
      out.back().push_back(unsigned(*c - '0'));
  return out;
}

// Local faces (in local-face order) and local edges (node pairs in table
// order) of a linear shape.
inline const std::pair<local_lists, local_lists>& faces_and_edges(element_type shape) {
  using namespace ovk::quernfold;
  static const std::map<element_type, std::pair<local_lists, local_lists>> tables{
      {ET_EDGE2, {lists("1 0"), lists("01")}},
      {ET_TRIA3, {lists("12 20 01"), lists("12 20 01")}},
      {ET_QUAD4, {lists("01 12 23 30"), lists("01 12 23 30")}},
      {ET_TETRA4, {lists("123 203 013 210"), lists("12 20 01 30 31 32")}},
      {ET_PYRAMID5, {lists("041 142 243 340 0123"), lists("04 14 24 34 01 12 23 30")}},
      {ET_WEDGE6, {lists("012 354 2145 0253 1034"), lists("03 14 25 12 20 01 45 53 34")}},
      {ET_HEXA8,
       {lists("0374 1562 0451 3267 0123 4765"), lists("01 12 23 30 45 56 67 74 04 15 26 37")}}};
  return tables.at(shape);
}
inline const local_lists& faces_of(element_type shape) { return faces_and_edges(shape).first; }
inline const local_lists& edges_of(element_type shape) { return faces_and_edges(shape).second; }

// `cols` columns of `rows` nodes drawn with repetition from {0, step, ...,
// (pool - 1) step}; mixed kinds get unused tails of ~0U of every shape.
inline dense2D<unsigned> random_degenerate(element_type FE, std::size_t rows, std::size_t cols,
                                           unsigned pool, std::mt19937& gen, unsigned step = 1) {
  using namespace ovk::quernfold;
  dense2D<unsigned> M(rows, cols, no_index);
  for (std::size_t j = 0; j < cols; ++j) {
    std::size_t used = rows;
    if (FE == ET_FACE_MIX && rows == 4) used = 3 + gen() % 2;
    if (FE == ET_SOLID_MIX && rows == 8) used = std::array<std::size_t, 4>{4, 5, 6, 8}[gen() % 4];
    for (std::size_t r = 0; r < used; ++r) M(r, j) = gen() % pool * step;
  }
  return M;
}

}  // namespace quernfold_test
