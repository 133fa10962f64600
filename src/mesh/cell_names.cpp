// Element kinds by meshio's cell-type names, and meshio's node order: one
// table for every program that speaks meshio's terms.
#include <cstring>

#include "quernfold/io.h"
#include "quernfold/mesh.h"

namespace ovk {
namespace quernfold {
namespace {

struct kind_entry {
  const char* name;
  element_type type;
  // meshio keeps the library's node order for this kind (else the standard
  // order of to_standard_node_order).
  bool library_order;
};

constexpr kind_entry kKinds[] = {
    {"vertex", ET_NODE, true},          {"line", ET_EDGE2, true},
    {"line3", ET_EDGE3, false},         {"triangle", ET_TRIA3, false},
    {"triangle6", ET_TRIA6, false},     {"quad", ET_QUAD4, false},
    {"quad8", ET_QUAD8, false},         {"quad9", ET_QUAD9, false},
    {"tetra", ET_TETRA4, false},        {"tetra10", ET_TETRA10, false},
    {"pyramid", ET_PYRAMID5, false},    {"pyramid13", ET_PYRAMID13, false},
    {"pyramid14", ET_PYRAMID14, false}, {"wedge", ET_WEDGE6, true},
    {"wedge15", ET_WEDGE15, false},     {"wedge18", ET_WEDGE18, false},
    {"hexahedron", ET_HEXA8, false},    {"hexahedron20", ET_HEXA20, false},
    {"hexahedron27", ET_HEXA27, false},
};
constexpr std::size_t kKindCount = sizeof kKinds / sizeof kKinds[0];

const kind_entry* find_kind(element_type type) {
  for (const kind_entry& k : kKinds)
    if (k.type == type) return &k;
  return nullptr;
}

}  // namespace

const char* cell_name(element_type type) {
  const kind_entry* k = find_kind(type);
  return k ? k->name : nullptr;
}

element_type cell_kind(const char* name) {
  for (const kind_entry& k : kKinds)
    if (name && std::strcmp(name, k.name) == 0) return k.type;
  return ET_UNKNOWN;
}

std::size_t named_kind_count() { return kKindCount; }

element_type named_kind(std::size_t k) { return k < kKindCount ? kKinds[k].type : ET_UNKNOWN; }

bool meshio_order(element_type type, unsigned from[kMaxCellNodes]) {
  const kind_entry* k = find_kind(type);
  if (!k || k->library_order) return false;
  // One column 0 .. n-1 taken from the standard order into the library's:
  // library position i then holds the standard position it takes.
  const unsigned n = nbr_nodes(type);
  dense2D<unsigned> column;
  if (!column.resize(n, 1)) return false;
  for (unsigned i = 0; i < n; ++i) column(i, 0) = i;
  if (from_standard_node_order(column, type) != 0) return false;
  bool moved = false;
  for (unsigned i = 0; i < n; ++i) moved |= column(i, 0) != i;
  if (moved) std::memcpy(from, column.data(), n * sizeof(unsigned));
  return moved;
}

int reorder_meshio(dense2D<unsigned>& cells, element_type type, bool to_meshio) {
  const kind_entry* k = find_kind(type);
  if (k && k->library_order) return 0;
  return to_meshio ? to_standard_node_order(cells, type) : from_standard_node_order(cells, type);
}

}  // namespace quernfold
}  // namespace ovk
