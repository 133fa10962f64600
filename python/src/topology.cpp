// Topology on numpy arrays: neighbors, node graph and sub-domains.
#include <unistd.h>

#include <algorithm>
#include <string>

#include "arrays.h"

namespace quernfold_py {

namespace {

std::string no_faces(const std::string& type) {
  return "'" + type +
         "' cells have no faces here (kinds with faces: lines, triangles, quads, "
         "tetra, pyramids, wedges, hexahedra, linear or quadratic)";
}

// The neighbours matrix (faces x elements) of cells of one kind.
dense2D<unsigned> neighbor_matrix(const dense2D<unsigned>& cells, element_type type,
                                  const std::string& type_name, bool link_non_manifold) {
  dense2D<unsigned> neighbors;
  const int code =
      unlocked([&] { return qf::get_neighbors(cells, type, link_non_manifold, neighbors); });
  if (code == -1) name_missing_node(cells, qf::no_index);
  check(code, "neighbors", {{-2, no_faces(type_name)}});
  return neighbors;
}

py::array neighbors(py::handle cells, const std::string& type, bool link_non_manifold) {
  element_type t = cell_kind(type);
  const dense2D<unsigned> c = corners_in(cells, t);
  return out(neighbor_matrix(c, t, type, link_non_manifold));
}

// The node graph takes three words per node number up to the largest one.
// A numbering that memory could not hold is refused as MemoryError before
// the system hands out pages that it cannot back.
void check_room_for_node_numbers(const dense2D<unsigned>& cells) {
  if (cells.rows() * cells.cols() == 0) return;
  const unsigned largest = qf::max_ID(cells);
  if (largest == qf::no_index) return;
  const double need = (static_cast<double>(largest) + 3) * 3 * sizeof(unsigned);
  const double have =
      static_cast<double>(sysconf(_SC_PHYS_PAGES)) * static_cast<double>(sysconf(_SC_PAGESIZE));
  if (have > 0 && need > have / 2) throw std::bad_alloc();
}

py::tuple node_graph(py::handle cells, const std::string& type) {
  element_type t = cell_kind(type);
  const bool linear = qf::nbr_nodes(t) == qf::nbr_base_nodes(t);
  // Where every pair of an element's nodes is joined, the pairs do not
  // depend on the order of its nodes: such cells are used as given (no
  // reordered copy), and "first appearance" is in their order.
  const bool all_pairs = t == qf::ET_EDGE2 || t == qf::ET_TRIA3 || t == qf::ET_TETRA4;
  const dense2D<unsigned> c = all_pairs && linear ? cells_as_given(cells, t) : corners_in(cells, t);
  check_room_for_node_numbers(c);
  dense1D<unsigned> offsets, nodes;
  const int code = unlocked([&] { return qf::get_node_graph(c, offsets, nodes, t); });
  check(code, "node_graph", {{-5, no_faces(type)}});
  if (offsets.empty() && !offsets.push_back(0)) throw std::bad_alloc();
  return py::make_tuple(out(offsets), out(nodes));
}

py::tuple subdomains(py::handle cells, const std::string& type, bool link_non_manifold) {
  element_type t = cell_kind(type);
  const dense2D<unsigned> c = corners_in(cells, t);
  const dense2D<unsigned> n = neighbor_matrix(c, t, type, link_non_manifold);
  dense1D<unsigned> elements, offsets;
  check(unlocked([&] { return qf::get_subdomains(n, elements, offsets); }), "subdomains");
  return py::make_tuple(out(elements), out(offsets));
}

py::array color_interfaces(py::handle cells, const std::string& type, py::handle colors,
                           bool both_sides) {
  element_type t = cell_kind(type);
  const dense2D<unsigned> c = corners_in(cells, t);
  const dense2D<unsigned> n = neighbor_matrix(c, t, type, true);
  const dense1D<unsigned> k = indices_in(colors, "colors");
  dense2D<unsigned> faces;
  const int code =
      unlocked([&] { return qf::get_colors_boundaries(c, n, k, t, both_sides, faces); });
  check(code, "color_interfaces", {{-3, "colors must hold one entry per cell"}});
  return out(faces);
}

}  // namespace

void bind_topology(py::module_& m) {
  m.def("color_interfaces", &color_interfaces, py::arg("cells"), py::arg("type"), py::arg("colors"),
        py::arg("both_sides") = false,
        R"(Faces between cells of different colours, and boundary faces, uint32
(faces, face nodes).

cells, type as for neighbors; colors: integers (elements,), one per cell.
A face is given in the sense of the cell it is taken from: once, from the
lower cell, or from both cells with both_sides. Faces of solids of several
shapes hold NO_INDEX in their last column for triangles. A face of three
cells or more links them (as neighbors with link_non_manifold).)");
  m.def("neighbors", &neighbors, py::arg("cells"), py::arg("type"),
        py::arg("link_non_manifold") = false, R"(Element across every face.

cells: integer array (elements, nodes per element) in meshio's node order;
type: meshio's cell-type name (line, triangle, quad, tetra, pyramid, wedge,
hexahedron, or a quadratic kind, taken by its corner nodes).

Returns uint32 (elements, faces per element): entry [j, i] is the element
across face i of element j, or NO_INDEX (a boundary face). Faces per
element: line 2, triangle 3, quad and tetra 4, pyramid and wedge 5,
hexahedron 6. Face i is the library's face i, here in meshio's local node
numbers:
  line        (1) (0)
  triangle    (1,2) (2,0) (0,1)
  quad        (0,1) (1,2) (2,3) (3,0)
  tetra       (1,3,2) (3,0,2) (0,1,2) (3,1,0)
  pyramid     (0,4,1) (1,4,2) (2,4,3) (3,4,0) (0,1,2,3)
  wedge       (0,1,2) (3,5,4) (2,1,4,5) (0,2,5,3) (1,0,3,4)
  hexahedron  (0,3,7,4) (1,5,6,2) (0,4,5,1) (3,2,6,7) (0,1,2,3) (4,7,6,5)
A face shared by three or more elements links them all when
link_non_manifold is true (the first to the last, the others to the first),
and none of them when it is false.

Copies the cells only for tetra (node order) and for integer dtypes other
than int32/uint32.)");
  m.def("node_graph", &node_graph, py::arg("cells"), py::arg("type"),
        R"(Nodes joined by an element edge, as CSR arrays.

cells: integer array (elements, nodes per element), meshio's node order;
type: line, triangle, quad, tetra, pyramid, wedge or hexahedron, or a
quadratic kind by its corner nodes (every pair
of nodes of a line, triangle or tetra is joined; the other kinds join their
edges only, no diagonals).

Returns (indptr, indices), both uint32: the neighbors of node v are
indices[indptr[v]:indptr[v + 1]], distinct, never v itself, in order of
first appearance. indptr has (largest node + 2) entries (1 when there is no
node); scipy.sparse.csr_matrix((ones, indices, indptr)) takes them as they
are.)");
  m.def("subdomains", &subdomains, py::arg("cells"), py::arg("type"),
        py::arg("link_non_manifold") = false,
        R"(Sets of elements connected through shared faces.

cells, type and link_non_manifold as for neighbors.

Returns (elements, offsets), both uint32: sub-domain k is
elements[offsets[k]:offsets[k + 1]]; sub-domains are numbered by their
lowest element and listed breadth first from it. A label per element:
labels[elements] = np.repeat(np.arange(len(offsets) - 1), np.diff(offsets)).)");
}

}  // namespace quernfold_py
