// VTK XML unstructured grids written: every array is first turned into its
// little-endian bytes, then either written inline as text or appended after
// the XML as raw blocks (a byte count, or zlib's block table and blocks).
#include <zlib.h>

#include <charconv>
#include <cstdint>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "io/shared/files.h"
#include "io/shared/number_text.h"
#include "io/vtu/kinds.h"

namespace ovk {
namespace quernfold {
namespace {

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the VTK XML writer writes host bytes");

constexpr std::size_t kSpaceRows = 3;

// One array as it is written: its bytes in the host's (little-endian) order.
struct byte_array {
  std::string name;
  vtu_array::value_type type;
  unsigned components;
  std::vector<unsigned char> bytes;
};

constexpr const char* type_name(vtu_array::value_type t) {
  return t == vtu_array::float64 ? "Float64" : t == vtu_array::int64 ? "Int64" : "UInt8";
}
constexpr std::size_t type_width(vtu_array::value_type t) { return t == vtu_array::uint8 ? 1 : 8; }

// Appends one value converted to the array's type.
void put_value(byte_array& a, double v) {
  unsigned char b[8];
  if (a.type == vtu_array::float64) std::memcpy(b, &v, 8);
  if (a.type == vtu_array::int64) {
    const std::int64_t i = static_cast<std::int64_t>(v);
    std::memcpy(b, &i, 8);
  }
  if (a.type == vtu_array::uint8) b[0] = static_cast<unsigned char>(v);
  a.bytes.insert(a.bytes.end(), b, b + type_width(a.type));
}

byte_array from_field(const vtu_array& field) {
  byte_array a{field.name, field.type, field.components, {}};
  a.bytes.reserve(field.values.size() * type_width(field.type));
  for (double v : field.values) put_value(a, v);
  return a;
}

// Points (Float64 x 3), then connectivity, offsets and types of the cells.
void geometry_arrays(const mesh_data& mesh, std::vector<byte_array>& out) {
  byte_array points{"Points", vtu_array::float64, 3, {}};
  points.bytes.reserve(mesh.coords.cols() * kSpaceRows * 8);
  for (std::size_t j = 0; j < mesh.coords.cols(); ++j)
    for (std::size_t i = 0; i < kSpaceRows; ++i)
      put_value(points, i < mesh.coords.rows() ? mesh.coords(i, j) : 0.0);
  byte_array connectivity{"connectivity", vtu_array::int64, 1, {}};
  byte_array offsets{"offsets", vtu_array::int64, 1, {}};
  byte_array types{"types", vtu_array::uint8, 1, {}};
  std::int64_t end = 0;
  for (const mesh_block& b : mesh.blocks) {
    dense2D<unsigned> standard;
    if (!standard.copy(b.connectM)) throw std::bad_alloc();
    to_standard_node_order(standard, b.type);
    const unsigned char cell = detail::vtu_cell_type(b.type);
    for (std::size_t j = 0; j < standard.cols(); ++j) {
      for (std::size_t k = 0; k < standard.rows(); ++k) put_value(connectivity, standard(k, j));
      end += static_cast<std::int64_t>(standard.rows());
      put_value(offsets, static_cast<double>(end));
      put_value(types, cell);
    }
  }
  out.push_back(std::move(points));
  out.push_back(std::move(connectivity));
  out.push_back(std::move(offsets));
  out.push_back(std::move(types));
}

void put_u64(std::vector<unsigned char>& out, std::uint64_t v) {
  unsigned char b[8];
  std::memcpy(b, &v, 8);
  out.insert(out.end(), b, b + 8);
}

// The appended block of one array: its byte count then its bytes, or zlib's
// table (blocks, block size, size of the last block, compressed sizes) then
// the compressed blocks.
std::vector<unsigned char> appended_block(const byte_array& a, bool compress) {
  std::vector<unsigned char> out;
  const std::size_t n = a.bytes.size();
  if (!compress) {
    put_u64(out, n);
    out.insert(out.end(), a.bytes.begin(), a.bytes.end());
    return out;
  }
  const std::size_t blocks = (n + detail::kVtuBlock - 1) / detail::kVtuBlock;
  put_u64(out, blocks);
  put_u64(out, detail::kVtuBlock);
  put_u64(out, n % detail::kVtuBlock);
  const std::size_t table = out.size();
  out.resize(table + 8 * blocks);
  for (std::size_t k = 0; k < blocks; ++k) {
    const std::size_t begin = k * detail::kVtuBlock;
    const uLong size = static_cast<uLong>(std::min(detail::kVtuBlock, n - begin));
    uLongf packed = compressBound(size);
    const std::size_t at = out.size();
    out.resize(at + packed);
    if (compress2(out.data() + at, &packed, a.bytes.data() + begin, size, Z_DEFAULT_COMPRESSION) !=
        Z_OK)
      throw std::bad_alloc();
    out.resize(at + packed);
    const std::uint64_t packed64 = packed;
    std::memcpy(out.data() + table + 8 * k, &packed64, 8);
  }
  return out;
}

// Name with the XML special characters as entities.
std::string escaped(const std::string& name) {
  std::string out;
  for (char c : name) {
    if (c == '&')
      out += "&amp;";
    else if (c == '<')
      out += "&lt;";
    else if (c == '>')
      out += "&gt;";
    else if (c == '"')
      out += "&quot;";
    else
      out += c;
  }
  return out;
}

// The values of an array as text, ten to a line.
void ascii_values(detail::block_writer& out, const byte_array& a) {
  const std::size_t width = type_width(a.type), n = a.bytes.size() / width;
  for (std::size_t k = 0; k < n; ++k) {
    const unsigned char* at = a.bytes.data() + k * width;
    if (a.type == vtu_array::float64) {
      double v;
      std::memcpy(&v, at, 8);
      out.shortest(v);
    } else if (a.type == vtu_array::int64) {
      std::int64_t v;
      std::memcpy(&v, at, 8);
      char text[24];
      *std::to_chars(text, text + 23, v).ptr = '\0';
      out.text(text);
    } else {
      out.size(*at);
    }
    out.put(k % 10 == 9 || k + 1 == n ? '\n' : ' ');
  }
}

// One DataArray element: inline text, or a reference into the appended data.
void data_array(detail::block_writer& out, const byte_array& a, vtu_encoding encoding,
                std::size_t& offset, std::size_t appended_size) {
  out.text("<DataArray type=\"");
  out.text(type_name(a.type));
  out.text("\" Name=\"");
  out.text(escaped(a.name).c_str());
  out.text("\" NumberOfComponents=\"");
  out.size(a.components);
  if (encoding == vtu_encoding::ascii) {
    out.text("\" format=\"ascii\">\n");
    ascii_values(out, a);
    out.text("</DataArray>\n");
    return;
  }
  out.text("\" format=\"appended\" offset=\"");
  out.size(offset);
  out.text("\"/>\n");
  offset += appended_size;
}

// Checks of vtu_output: coordinate rows, writable pure blocks, field sizes.
int check_input(const mesh_data& mesh, const vtu_fields& fields) {
  if (mesh.coords.rows() != 2 && mesh.coords.rows() != kSpaceRows && mesh.coords.cols() > 0)
    return vtu_bad_mesh;
  for (const mesh_block& b : mesh.blocks) {
    if (!vtu_writes(b.type)) return vtu_bad_mesh;
    if (b.connectM.cols() > 0 && b.connectM.rows() != nbr_nodes(b.type)) return vtu_bad_mesh;
    if (!check_IDs(b.connectM, b.type, static_cast<unsigned>(mesh.coords.cols())))
      return vtu_bad_mesh;
  }
  for (const vtu_array& a : fields.point_data)
    if (a.name.empty() || a.components == 0 ||
        a.values.size() != mesh.coords.cols() * std::size_t(a.components))
      return vtu_bad_fields;
  for (const vtu_array& a : fields.cell_data)
    if (a.name.empty() || a.components == 0 ||
        a.values.size() != mesh.elements() * std::size_t(a.components))
      return vtu_bad_fields;
  return 0;
}

// The whole document: the XML with every array, then the appended data.
int write_document(std::FILE* file, const mesh_data& mesh, const vtu_fields& fields,
                   vtu_encoding encoding) {
  std::vector<byte_array> arrays;
  for (const vtu_array& f : fields.point_data) arrays.push_back(from_field(f));
  for (const vtu_array& f : fields.cell_data) arrays.push_back(from_field(f));
  geometry_arrays(mesh, arrays);
  std::vector<std::vector<unsigned char>> blocks;
  if (encoding != vtu_encoding::ascii)
    for (const byte_array& a : arrays)
      blocks.push_back(appended_block(a, encoding == vtu_encoding::zlib));
  detail::block_writer out(file);
  out.text(
      "<?xml version=\"1.0\"?>\n<VTKFile type=\"UnstructuredGrid\" version=\"1.0\" "
      "byte_order=\"LittleEndian\" header_type=\"UInt64\"");
  out.text(encoding == vtu_encoding::zlib ? " compressor=\"vtkZLibDataCompressor\">\n" : ">\n");
  out.text("<UnstructuredGrid>\n<Piece NumberOfPoints=\"");
  out.size(mesh.coords.cols());
  out.text("\" NumberOfCells=\"");
  out.size(mesh.elements());
  out.text("\">\n");
  const std::size_t sections[] = {fields.point_data.size(), fields.cell_data.size(), 1, 3};
  const char* names[] = {"PointData", "CellData", "Points", "Cells"};
  std::size_t k = 0, offset = 0;
  for (std::size_t s = 0; s < 4; ++s) {
    out.text("<");
    out.text(names[s]);
    out.text(">\n");
    for (std::size_t i = 0; i < sections[s]; ++i, ++k)
      data_array(out, arrays[k], encoding, offset, blocks.empty() ? 0 : blocks[k].size());
    out.text("</");
    out.text(names[s]);
    out.text(">\n");
  }
  out.text("</Piece>\n</UnstructuredGrid>\n");
  if (encoding != vtu_encoding::ascii) {
    out.text("<AppendedData encoding=\"raw\">\n_");
    out.flush();
    for (const std::vector<unsigned char>& b : blocks)
      if (!b.empty() && std::fwrite(b.data(), 1, b.size(), file) != b.size()) return -1;
    out.text("\n</AppendedData>\n");
  }
  out.text("</VTKFile>\n");
  out.flush();
  return std::ferror(file) ? -1 : 0;
}

}  // namespace

bool vtu_writes(element_type type) { return detail::vtu_cell_type(type) != 0; }

int vtu_output(const char* name, const mesh_data& mesh, const vtu_fields& fields,
               vtu_encoding encoding) try {
  const int code = check_input(mesh, fields);
  if (code < 0) return code;
  detail::scoped_file file(name, "wb");
  if (!file) return -1;
  const int written = write_document(file.get(), mesh, fields, encoding);
  if (written < 0) return written;
  return std::fflush(file.get()) == 0 ? 0 : -1;
} catch (const std::bad_alloc&) {
  return no_memory;
}

}  // namespace quernfold
}  // namespace ovk
