// The .vtu entry of the format table: whole meshes without fields.
#include "io/vtu/kinds.h"

namespace ovk {
namespace quernfold {
namespace detail {

int read_vtu_file(const char* path, mesh_data& mesh) {
  vtu_fields ignored;
  return vtu_input(path, mesh, ignored);
}

int write_vtu_file(const char* path, const mesh_data& mesh, const write_options& options) {
  mesh_data written;
  written.coords = mesh.coords;
  for (const mesh_block& b : mesh.blocks)
    if (vtu_writes(b.type)) written.blocks.push_back(b);
  return vtu_output(path, written, vtu_fields(),
                    options.binary ? vtu_encoding::raw : vtu_encoding::ascii);
}

const char* vtu_message(int code) {
  switch (code) {
    case -1:
      return "cannot be opened";
    case vtu_not_vtu:
      return "is not a VTK XML unstructured grid";
    case vtu_unsupported:
      return "is big-endian, uses another compressor than zlib, or holds several pieces";
    case -3:
      return "holds a malformed or truncated array";
    default:
      return "could not be read";
  }
}

element_fate vtu_fate(element_type type) {
  return vtu_writes(type) ? element_fate{true, nullptr}
                          : element_fate{false, "no VTK cell for this kind"};
}

}  // namespace detail
}  // namespace quernfold
}  // namespace ovk
