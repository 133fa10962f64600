// Property tables of the element kinds, the library version and the typed
// connectivity check.
#include <cstddef>

#include "common/mixed.h"
#include "common/version.h"
#include "quernfold/model.h"

namespace ovk {
namespace quernfold {
namespace {

constexpr unsigned kKinds = 23;

struct kind_properties {
  unsigned char nodes, base_nodes, dim, boundaries;
};

constexpr kind_properties kProperties[kKinds] = {{0, 0, 0, 0},    // ET_UNKNOWN
                                                 {1, 1, 0, 0},    // ET_NODE
                                                 {2, 2, 1, 2},    // ET_EDGE_MIX
                                                 {2, 2, 1, 2},    // ET_EDGE2
                                                 {3, 2, 1, 2},    // ET_EDGE3
                                                 {4, 4, 2, 4},    // ET_FACE_MIX
                                                 {3, 3, 2, 3},    // ET_TRIA3
                                                 {4, 4, 2, 4},    // ET_QUAD4
                                                 {6, 3, 2, 3},    // ET_TRIA6
                                                 {8, 4, 2, 4},    // ET_QUAD8
                                                 {9, 4, 2, 4},    // ET_QUAD9
                                                 {8, 8, 3, 6},    // ET_SOLID_MIX
                                                 {4, 4, 3, 4},    // ET_TETRA4
                                                 {10, 4, 3, 4},   // ET_TETRA10
                                                 {5, 5, 3, 5},    // ET_PYRAMID5
                                                 {13, 5, 3, 5},   // ET_PYRAMID13
                                                 {14, 5, 3, 5},   // ET_PYRAMID14
                                                 {6, 6, 3, 5},    // ET_WEDGE6
                                                 {15, 6, 3, 5},   // ET_WEDGE15
                                                 {18, 6, 3, 5},   // ET_WEDGE18
                                                 {8, 8, 3, 6},    // ET_HEXA8
                                                 {20, 8, 3, 6},   // ET_HEXA20
                                                 {27, 8, 3, 6}};  // ET_HEXA27

// Out-of-range kinds read as ET_UNKNOWN (all zero).
const kind_properties& properties(element_type FE) {
  const unsigned k = static_cast<unsigned>(FE);
  return kProperties[k < kKinds ? k : 0];
}

// 4-row ET_FACE_MIX: rows 0..2 are nodes, row 3 a node or ~0U.
bool face_mix_columns_valid(const dense2D<unsigned>& M, unsigned nods) {
  for (std::size_t j = 0; j < M.cols(); ++j) {
    const unsigned* c = M.column(j);
    if (c[0] >= nods || c[1] >= nods || c[2] >= nods) return false;
    if (c[3] >= nods && c[3] != no_index) return false;
  }
  return true;
}

// 8-row ET_SOLID_MIX: nodes up to the first ~0U, which may stand only in row
// 4, 5 or 6; every row after it must hold ~0U too.
bool solid_mix_columns_valid(const dense2D<unsigned>& M, unsigned nods) {
  for (std::size_t j = 0; j < M.cols(); ++j) {
    const unsigned* c = M.column(j);
    std::size_t used = 0;
    while (used < 8 && c[used] != no_index) {
      if (c[used] >= nods) return false;
      ++used;
    }
    if (used < 4 || used == 7) return false;
    for (std::size_t i = used; i < 8; ++i)
      if (c[i] != no_index) return false;
  }
  return true;
}

// Every entry below nods; ~0U (never below any unsigned bound) is refused.
bool pure_columns_valid(const dense2D<unsigned>& M, unsigned nods) {
  for (std::size_t j = 0; j < M.cols(); ++j) {
    const unsigned* c = M.column(j);
    for (std::size_t i = 0; i < M.rows(); ++i)
      if (c[i] >= nods || c[i] == no_index) return false;
  }
  return true;
}

}  // namespace

unsigned nbr_nodes(element_type FE) { return properties(FE).nodes; }
unsigned nbr_base_nodes(element_type FE) { return properties(FE).base_nodes; }
unsigned element_dim(element_type FE) { return properties(FE).dim; }
unsigned nbr_boundaries(element_type FE) { return properties(FE).boundaries; }

const char* version() {
  static const char kVersion[] = QUERNFOLD_VERSION_STRING;
  return kVersion;
}

bool check_IDs(const dense2D<unsigned>& connectM, element_type FE, unsigned nods) {
  if (connectM.empty()) return true;
  const element_type T = detail::narrow_mixed(FE, connectM.rows());
  if (T == ET_FACE_MIX) return connectM.rows() == 4 && face_mix_columns_valid(connectM, nods);
  if (T == ET_SOLID_MIX) return connectM.rows() == 8 && solid_mix_columns_valid(connectM, nods);
  const unsigned height = nbr_nodes(T);
  return height != 0 && connectM.rows() == height && pure_columns_valid(connectM, nods);
}

}  // namespace quernfold
}  // namespace ovk
