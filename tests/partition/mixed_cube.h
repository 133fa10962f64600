// A mixed mesh of a cube of n^3 cells for the partitioning tests: cells are
// hexahedra, two wedges or six tetrahedra in turn (so some neighbours meet
// through faces that do not match), with a block of triangles on the bottom
// and a node used by no element.
#pragma once

#include <quernfold/quernfold.h>

#include <vector>

namespace quernfold_test {

using namespace ovk::quernfold;

inline void add_column(mesh_block& b, std::initializer_list<unsigned> nodes) {
  const std::size_t j = b.connectM.cols();
  dense2D<unsigned> grown(nodes.size(), j + 1);
  for (std::size_t c = 0; c < j; ++c)
    for (std::size_t r = 0; r < nodes.size(); ++r) grown(r, c) = b.connectM(r, c);
  std::size_t r = 0;
  for (unsigned v : nodes) grown(r++, j) = v;
  b.connectM = grown;
}

// mixed false: every cell as six tetrahedra (a conforming mesh).
inline mesh_data mixed_cube(unsigned n, element_type tetra = ET_TETRA4, bool mixed = true) {
  mesh_data m;
  const unsigned s = n + 1;
  m.coords.resize(3, s * s * s + 1);
  for (unsigned k = 0; k < s; ++k)
    for (unsigned j = 0; j < s; ++j)
      for (unsigned i = 0; i < s; ++i) {
        const unsigned v = i + s * (j + s * k);
        m.coords(0, v) = i, m.coords(1, v) = j, m.coords(2, v) = k;
      }
  m.coords(0, s * s * s) = -1.0;  // used by no element
  m.blocks.resize(4);
  m.blocks[0].type = ET_HEXA8;
  m.blocks[1].type = ET_WEDGE6;
  m.blocks[2].type = tetra;
  m.blocks[3].type = ET_TRIA3;
  for (unsigned k = 0; k < n; ++k)
    for (unsigned j = 0; j < n; ++j)
      for (unsigned i = 0; i < n; ++i) {
        const unsigned o = i + s * (j + s * k);
        const unsigned c[8] = {o,         o + 1,         o + 1 + s,         o + s,
                               o + s * s, o + 1 + s * s, o + 1 + s + s * s, o + s + s * s};
        const unsigned kind = mixed ? (i + j + k) % 3 : 2;
        if (kind == 0) {
          add_column(m.blocks[0], {c[0], c[1], c[2], c[3], c[4], c[5], c[6], c[7]});
        } else if (kind == 1) {
          add_column(m.blocks[1], {c[0], c[1], c[2], c[4], c[5], c[6]});
          add_column(m.blocks[1], {c[0], c[2], c[3], c[4], c[6], c[7]});
        } else {
          const unsigned ring[7] = {1, 2, 3, 7, 4, 5, 1};
          for (unsigned t = 0; t < 6; ++t) {
            if (tetra == ET_TETRA4) {
              add_column(m.blocks[2], {c[0], c[ring[t + 1]], c[ring[t]], c[6]});
            } else {  // quadratic: mid-edge nodes are any existing nodes
              add_column(m.blocks[2], {c[0], c[ring[t + 1]], c[ring[t]], c[6], c[5], c[5], c[5],
                                       c[5], c[5], c[5]});
            }
          }
        }
        if (k == 0) add_column(m.blocks[3], {c[0], c[2], c[1]});
      }
  m.blocks[1].refs.resize(m.blocks[1].connectM.cols());
  for (std::size_t e = 0; e < m.blocks[1].refs.size(); ++e) m.blocks[1].refs[e] = unsigned(e % 5);
  return m;
}

// The vertex nodes of every element, numbered block after block.
inline std::vector<std::vector<unsigned>> element_nodes(const mesh_data& m, bool vertices_only) {
  std::vector<std::vector<unsigned>> out;
  for (const mesh_block& b : m.blocks) {
    const unsigned keep = vertices_only ? nbr_base_nodes(b.type) : nbr_nodes(b.type);
    for (std::size_t j = 0; j < b.connectM.cols(); ++j)
      out.emplace_back(b.connectM.column(j), b.connectM.column(j) + keep);
  }
  return out;
}

}  // namespace quernfold_test
