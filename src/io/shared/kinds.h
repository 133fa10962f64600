// Element kind tables of the formats: the range of element_type values, the
// node layout of a written kind, the lookup of a kind in a table, node
// orders of other programs and the standard node order.
#pragma once

#include <cstddef>

#include "quernfold/model.h"

namespace ovk {
namespace quernfold {
namespace detail {

// True for the element_type values 0..22.
inline bool is_element_type(int t) noexcept { return t >= ET_UNKNOWN && t <= ET_HEXA27; }

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

}  // namespace detail
}  // namespace quernfold
}  // namespace ovk
