// The .vtu entry of the format table: whole meshes without fields.
#include "io/vtu/kinds.h"

namespace ovk {
namespace quernfold {
namespace detail {

int read_vtu_file(const char* path, mesh_data& mesh) {
  vtu_fields ignored;
  return vtu_input(path, mesh, ignored);
}

namespace {

// The values of a components x count matrix, tuple after tuple.
vtu_array as_array(const std::string& name, const dense2D<double>& values) {
  vtu_array a;
  a.name = name;
  a.components = static_cast<unsigned>(values.rows());
  a.values.assign(values.data(), values.data() + values.rows() * values.cols());
  return a;
}

}  // namespace

// The written blocks, the point fields, and the cell fields of the written
// blocks in their order.
int write_vtu_file(const char* path, const mesh_data& mesh, const write_options& options) {
  if (!mesh_fields_fit(mesh)) return mesh_bad_field;
  mesh_data written;
  written.coords = mesh.coords;
  vtu_fields fields;
  for (const point_field& p : mesh.point_fields)
    fields.point_data.push_back(as_array(p.name, p.values));
  for (const cell_field& c : mesh.cell_fields) fields.cell_data.push_back(as_array(c.name, {}));
  for (std::size_t b = 0; b < mesh.blocks.size(); ++b) {
    if (!vtu_writes(mesh.blocks[b].type)) continue;
    written.blocks.push_back(mesh.blocks[b]);
    for (std::size_t f = 0; f < mesh.cell_fields.size(); ++f) {
      const dense2D<double>& v = mesh.cell_fields[f].values[b];
      fields.cell_data[f].components = static_cast<unsigned>(v.rows());
      fields.cell_data[f].values.insert(fields.cell_data[f].values.end(), v.data(),
                                        v.data() + v.rows() * v.cols());
    }
  }
  const vtu_encoding binary = options.compressed ? vtu_encoding::zlib : vtu_encoding::raw;
  return vtu_output(path, written, fields, options.binary ? binary : vtu_encoding::ascii);
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
