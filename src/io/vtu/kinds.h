// VTK XML pieces shared by the .vtu reader and writer: the cell type of each
// kind, and the sizes of the compressed blocks.
#pragma once

#include <cstddef>

#include "quernfold/io.h"

namespace ovk {
namespace quernfold {
namespace detail {

struct vtu_cell_kind {
  unsigned char vtk;
  element_type type;
};

inline constexpr vtu_cell_kind kVtuCellKinds[] = {
    {1, ET_NODE},   {3, ET_EDGE2},    {5, ET_TRIA3},     {9, ET_QUAD4},    {10, ET_TETRA4},
    {12, ET_HEXA8}, {13, ET_WEDGE6},  {14, ET_PYRAMID5}, {21, ET_EDGE3},   {22, ET_TRIA6},
    {23, ET_QUAD8}, {24, ET_TETRA10}, {25, ET_HEXA20},   {26, ET_WEDGE15}, {27, ET_PYRAMID13},
    {28, ET_QUAD9}, {29, ET_HEXA27},  {32, ET_WEDGE18},
};

// The VTK cell type of a kind; 0 when VTK has none.
inline unsigned char vtu_cell_type(element_type type) noexcept {
  for (const vtu_cell_kind& k : kVtuCellKinds)
    if (k.type == type) return k.vtk;
  return 0;
}

// Uncompressed size of each zlib block (VTK's own default).
inline constexpr std::size_t kVtuBlock = 32768;

// Value of vtkGhostType for a duplicated point or cell.
inline constexpr double kVtkDuplicate = 1.0;

// The format table's entry points for .vtu files: the mesh without fields;
// written raw (options.binary) or as text, blocks VTK has no cell for left
// out.
int read_vtu_file(const char* path, mesh_data& mesh);
int write_vtu_file(const char* path, const mesh_data& mesh, const write_options& options);
const char* vtu_message(int code);
element_fate vtu_fate(element_type type);

}  // namespace detail
}  // namespace quernfold
}  // namespace ovk
