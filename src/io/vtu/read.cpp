// VTK XML unstructured grids read: the file is read whole, its tags are
// walked up to the appended data, every DataArray is decoded (text, base64,
// raw, zlib blocks) into doubles, and the cells are grouped by kind.
#include <zlib.h>

#include <charconv>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "io/vtu/kinds.h"

namespace ovk {
namespace quernfold {
namespace {

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the VTK XML reader reads host bytes");

constexpr int kMalformed = -3;
constexpr std::size_t kBase64Group = 4, kBase64Bytes = 3;

// A failure of the file, carried out of the decoding steps.
struct vtu_error {
  int code;
};

// The attribute `key` of a tag's attribute text, if present.
std::optional<std::string_view> attribute(std::string_view attrs, std::string_view key) {
  for (std::size_t at = attrs.find(key); at != std::string_view::npos;
       at = attrs.find(key, at + 1)) {
    const bool starts = at == 0 || attrs[at - 1] == ' ' || attrs[at - 1] == '\n' ||
                        attrs[at - 1] == '\t' || attrs[at - 1] == '\r';
    std::size_t eq = at + key.size();
    while (eq < attrs.size() && attrs[eq] == ' ') ++eq;
    if (!starts || eq >= attrs.size() || attrs[eq] != '=') continue;
    const std::size_t open = attrs.find_first_of("\"'", eq);
    if (open == std::string_view::npos) break;
    const std::size_t close = attrs.find(attrs[open], open + 1);
    if (close == std::string_view::npos) break;
    return attrs.substr(open + 1, close - open - 1);
  }
  return std::nullopt;
}

// The '>' that closes the tag opened at `at`, quoted attribute values passed
// over (some writers leave '<' and '>' unescaped in them); npos when none.
std::size_t tag_end(std::string_view text, std::size_t at) {
  char quote = 0;
  for (; at < text.size(); ++at) {
    const char c = text[at];
    if (quote) {
      if (c == quote) quote = 0;
    } else if (c == '"' || c == '\'') {
      quote = c;
    } else if (c == '>') {
      return at;
    }
  }
  return std::string_view::npos;
}

// Attribute text with the XML entities replaced by their characters.
std::string unescaped(std::string_view text) {
  static constexpr std::pair<std::string_view, char> kEntities[] = {
      {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}};
  std::string out;
  for (std::size_t at = 0; at < text.size(); ++at) {
    bool replaced = false;
    for (const auto& [entity, c] : kEntities)
      if (!replaced && text.substr(at, entity.size()) == entity) {
        out += c, at += entity.size() - 1, replaced = true;
      }
    if (!replaced) out += text[at];
  }
  return out;
}

std::uint64_t number_of(std::string_view text) {
  std::uint64_t v = 0;
  if (std::from_chars(text.data(), text.data() + text.size(), v).ec != std::errc())
    throw vtu_error{kMalformed};
  return v;
}

// Bytes of base64 text (white space and padding ignored).
std::vector<unsigned char> base64_decode(std::string_view text) {
  std::vector<unsigned char> out;
  unsigned bits = 0, held = 0;
  for (char c : text) {
    int v = c >= 'A' && c <= 'Z'   ? c - 'A'
            : c >= 'a' && c <= 'z' ? c - 'a' + 26
            : c >= '0' && c <= '9' ? c - '0' + 52
            : c == '+'             ? 62
            : c == '/'             ? 63
                                   : -1;
    if (v < 0) continue;
    held = (held << 6) | unsigned(v), bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out.push_back(static_cast<unsigned char>(held >> bits));
      held &= (1u << bits) - 1;
    }
  }
  return out;
}

// Characters of base64 text that encode n bytes.
std::size_t base64_chars(std::size_t n) {
  return (n + kBase64Bytes - 1) / kBase64Bytes * kBase64Group;
}

// How the binary data of a file are laid out.
struct layout {
  std::size_t header = 4;  // bytes of a header word (UInt32 or UInt64)
  bool compressed = false;
};

std::uint64_t header_word(const unsigned char* at, const layout& l) {
  if (l.header == 8) {
    std::uint64_t v;
    std::memcpy(&v, at, 8);
    return v;
  }
  std::uint32_t v;
  std::memcpy(&v, at, 4);
  return v;
}

// Reads the binary data starting at `text` or `bytes`: either raw bytes
// (text empty) or base64 text, in which a compressed header is encoded apart
// from its blocks.
class binary_source {
 public:
  binary_source(std::string_view data, bool base64) : data_(data), base64_(base64) {}

  // The data of one array, uncompressed.
  std::vector<unsigned char> payload(const layout& l) {
    return l.compressed ? compressed(l) : plain(l);
  }

 private:
  // `n` bytes from byte position `at` of a raw source, or from the decoded
  // group starting at character `at` of a base64 one.
  std::vector<unsigned char> take(std::size_t at, std::size_t n) const {
    if (!base64_) {
      if (at + n > data_.size() || at + n < at) throw vtu_error{kMalformed};
      return {data_.begin() + at, data_.begin() + at + n};
    }
    if (at > data_.size()) throw vtu_error{kMalformed};
    std::vector<unsigned char> out = base64_decode(data_.substr(at, base64_chars(n)));
    if (out.size() < n) throw vtu_error{kMalformed};
    out.resize(n);
    return out;
  }

  // A stated size beyond what the data can hold is malformed.
  void check_size(std::uint64_t n) const {
    if (n > data_.size()) throw vtu_error{kMalformed};
  }

  std::vector<unsigned char> plain(const layout& l) const {
    const std::uint64_t n = header_word(take(0, l.header).data(), l);
    check_size(n);
    std::vector<unsigned char> all = take(0, l.header + n);
    return {all.begin() + l.header, all.end()};
  }

  std::vector<unsigned char> compressed(const layout& l) const {
    const std::uint64_t blocks = header_word(take(0, l.header).data(), l);
    check_size(blocks);
    const std::size_t head = (3 + blocks) * l.header;
    const std::vector<unsigned char> h = take(0, head);
    const std::uint64_t block = header_word(&h[l.header], l);
    const std::uint64_t last = header_word(&h[2 * l.header], l);
    std::uint64_t packed_total = 0;
    for (std::uint64_t k = 0; k < blocks; ++k)
      packed_total += header_word(&h[(3 + k) * l.header], l);
    const std::size_t start = base64_ ? base64_chars(head) : head;
    const std::vector<unsigned char> packed =
        binary_source(data_.substr(std::min(start, data_.size())), base64_).take(0, packed_total);
    std::vector<unsigned char> out;
    std::size_t at = 0;
    for (std::uint64_t k = 0; k < blocks; ++k) {
      const std::uint64_t size = k + 1 == blocks && last != 0 ? last : block;
      const uLong in = static_cast<uLong>(header_word(&h[(3 + k) * l.header], l));
      uLongf got = static_cast<uLongf>(size);
      const std::size_t begin = out.size();
      out.resize(begin + size);
      if (uncompress(out.data() + begin, &got, packed.data() + at, in) != Z_OK || got != size)
        throw vtu_error{kMalformed};
      at += in;
    }
    return out;
  }

  std::string_view data_;
  bool base64_;
};

// Values of a type name from little-endian bytes, as doubles.
std::vector<double> typed_values(std::string_view type, const std::vector<unsigned char>& bytes) {
  std::vector<double> out;
  auto read = [&](auto sample) {
    using T = decltype(sample);
    out.resize(bytes.size() / sizeof(T));
    for (std::size_t k = 0; k < out.size(); ++k) {
      T v;
      std::memcpy(&v, bytes.data() + k * sizeof(T), sizeof(T));
      out[k] = static_cast<double>(v);
    }
  };
  if (type == "Float64")
    read(double());
  else if (type == "Float32")
    read(float());
  else if (type == "Int64")
    read(std::int64_t());
  else if (type == "UInt64")
    read(std::uint64_t());
  else if (type == "Int32")
    read(std::int32_t());
  else if (type == "UInt32")
    read(std::uint32_t());
  else if (type == "Int16")
    read(std::int16_t());
  else if (type == "UInt16")
    read(std::uint16_t());
  else if (type == "Int8")
    read(std::int8_t());
  else if (type == "UInt8")
    read(std::uint8_t());
  else
    throw vtu_error{kMalformed};
  return out;
}

// Numbers of ascii text.
std::vector<double> text_values(std::string_view text) {
  std::vector<double> out;
  const char *at = text.data(), *end = at + text.size();
  while (true) {
    while (at < end && (*at == ' ' || *at == '\n' || *at == '\r' || *at == '\t')) ++at;
    if (at == end) break;
    double v;
    const auto r = std::from_chars(at, end, v);
    if (r.ec != std::errc()) throw vtu_error{kMalformed};
    out.push_back(v);
    at = r.ptr;
  }
  return out;
}

// One DataArray of the file, decoded.
struct file_array {
  std::string section;
  vtu_array array;
};

// The document: its layout, the appended data and the arrays of its piece.
struct document {
  layout binary;
  std::string_view appended;
  bool appended_base64 = false;
  std::uint64_t points = 0, cells = 0;
  std::vector<file_array> arrays;
};

vtu_array::value_type written_type(std::string_view type) {
  if (type == "Float64" || type == "Float32") return vtu_array::float64;
  return type == "UInt8" ? vtu_array::uint8 : vtu_array::int64;
}

file_array decode_array(const document& doc, std::string_view attrs, std::string_view content,
                        const std::string& section) {
  const std::string_view type = attribute(attrs, "type").value_or("");
  const std::string_view format = attribute(attrs, "format").value_or("ascii");
  file_array out{section, {}};
  out.array.name = unescaped(attribute(attrs, "Name").value_or(""));
  out.array.type = written_type(type);
  out.array.components =
      static_cast<unsigned>(number_of(attribute(attrs, "NumberOfComponents").value_or("1")));
  if (format == "ascii") {
    out.array.values = text_values(content);
  } else if (format == "binary") {
    const std::size_t start = content.find_first_not_of(" \t\r\n");
    binary_source source(content.substr(std::min(start, content.size())), true);
    out.array.values = typed_values(type, source.payload(doc.binary));
  } else if (format == "appended") {
    const std::uint64_t offset = number_of(attribute(attrs, "offset").value_or(""));
    if (offset > doc.appended.size()) throw vtu_error{kMalformed};
    binary_source source(doc.appended.substr(offset), doc.appended_base64);
    out.array.values = typed_values(type, source.payload(doc.binary));
  } else {
    throw vtu_error{kMalformed};
  }
  return out;
}

// The VTKFile tag's checks, and where the appended data start.
void read_header(std::string_view text, document& doc, std::size_t& xml_end) {
  const std::size_t root = text.find("<VTKFile");
  const std::size_t root_end = tag_end(text, root);
  if (root == std::string_view::npos || root_end == std::string_view::npos)
    throw vtu_error{vtu_not_vtu};
  const std::string_view attrs = text.substr(root, root_end - root);
  if (attribute(attrs, "type").value_or("") != "UnstructuredGrid") throw vtu_error{vtu_not_vtu};
  if (attribute(attrs, "byte_order").value_or("LittleEndian") != "LittleEndian")
    throw vtu_error{vtu_unsupported};
  doc.binary.header = attribute(attrs, "header_type").value_or("UInt32") == "UInt64" ? 8 : 4;
  const std::string_view compressor = attribute(attrs, "compressor").value_or("");
  if (!compressor.empty() && compressor != "vtkZLibDataCompressor")
    throw vtu_error{vtu_unsupported};
  doc.binary.compressed = !compressor.empty();
  xml_end = text.find("<AppendedData");
  if (xml_end == std::string_view::npos) {
    xml_end = text.size();
    return;
  }
  const std::size_t appended_end = tag_end(text, xml_end);
  const std::size_t mark = text.find('_', appended_end);
  if (appended_end == std::string_view::npos || mark == std::string_view::npos)
    throw vtu_error{kMalformed};
  doc.appended_base64 =
      attribute(text.substr(xml_end, appended_end - xml_end), "encoding").value_or("") == "base64";
  doc.appended = text.substr(mark + 1);
}

// Walks the tags of the XML part: the one piece, and its arrays by section.
void read_arrays(std::string_view text, std::size_t xml_end, document& doc) {
  std::string section;
  int pieces = 0;
  for (std::size_t at = text.find('<'); at < xml_end; at = text.find('<', at + 1)) {
    const std::size_t end = tag_end(text, at);
    if (end == std::string_view::npos || end > xml_end) throw vtu_error{kMalformed};
    const std::string_view tag = text.substr(at + 1, end - at - 1);
    const std::string_view name = tag.substr(0, tag.find_first_of(" \t\r\n/"));
    if (name == "Piece") {
      if (++pieces > 1) throw vtu_error{vtu_unsupported};
      doc.points = number_of(attribute(tag, "NumberOfPoints").value_or("0"));
      doc.cells = number_of(attribute(tag, "NumberOfCells").value_or("0"));
    } else if (name == "PointData" || name == "CellData" || name == "Points" || name == "Cells") {
      section = std::string(name);
    } else if (name == "DataArray") {
      const bool closed = !tag.empty() && tag.back() == '/';
      const std::size_t close = closed ? end : text.find("</DataArray", end);
      if (close == std::string_view::npos) throw vtu_error{kMalformed};
      // The values end where the first child element (InformationKey) starts.
      const std::string_view content = text.substr(end + 1, close - end - 1);
      doc.arrays.push_back(decode_array(doc, tag, content.substr(0, content.find('<')), section));
      at = close;
    }
  }
  if (pieces == 0) throw vtu_error{kMalformed};
}

const std::vector<double>& find_array(const document& doc, const char* section, const char* name) {
  for (const file_array& a : doc.arrays)
    if (a.section == section && (name == nullptr || a.array.name == name)) return a.array.values;
  throw vtu_error{kMalformed};
}

// The points, and the cells grouped by kind in order of first appearance;
// `position` receives each cell's element number (no_index: left out).
void build_mesh(const document& doc, mesh_data& mesh, std::vector<std::size_t>& position) {
  const std::vector<double>& points = find_array(doc, "Points", nullptr);
  if (points.size() != 3 * doc.points) throw vtu_error{kMalformed};
  if (!mesh.coords.resize(3, doc.points)) throw std::bad_alloc();
  for (std::size_t j = 0; j < doc.points; ++j)
    for (std::size_t i = 0; i < 3; ++i) mesh.coords(i, j) = points[3 * j + i];
  const std::vector<double>& connectivity = find_array(doc, "Cells", "connectivity");
  const std::vector<double>& offsets = find_array(doc, "Cells", "offsets");
  const std::vector<double>& types = find_array(doc, "Cells", "types");
  if (offsets.size() != doc.cells || types.size() != doc.cells) throw vtu_error{kMalformed};
  std::vector<std::vector<unsigned>> columns;  // per block, node after node
  std::vector<std::pair<std::size_t, std::size_t>> where(doc.cells, {no_index, 0});
  std::size_t begin = 0;
  for (std::size_t c = 0; c < doc.cells; ++c) {
    const std::size_t end = static_cast<std::size_t>(offsets[c]);
    if (end < begin || end > connectivity.size()) throw vtu_error{kMalformed};
    element_type kind = ET_UNKNOWN;
    for (const detail::vtu_cell_kind& k : detail::kVtuCellKinds)
      if (k.vtk == types[c]) kind = k.type;
    if (kind != ET_UNKNOWN) {
      if (end - begin != nbr_nodes(kind)) throw vtu_error{kMalformed};
      std::size_t b = 0;
      while (b < mesh.blocks.size() && mesh.blocks[b].type != kind) ++b;
      if (b == mesh.blocks.size()) {
        mesh.blocks.emplace_back();
        mesh.blocks.back().type = kind;
        columns.emplace_back();
      }
      where[c] = {b, columns[b].size() / nbr_nodes(kind)};
      for (std::size_t k = begin; k < end; ++k) {
        if (connectivity[k] < 0 || connectivity[k] >= double(doc.points))
          throw vtu_error{kMalformed};
        columns[b].push_back(static_cast<unsigned>(connectivity[k]));
      }
    }
    begin = end;
  }
  std::vector<std::size_t> start(1, 0);
  for (std::size_t b = 0; b < mesh.blocks.size(); ++b) {
    mesh_block& block = mesh.blocks[b];
    const std::size_t rows = nbr_nodes(block.type), cols = columns[b].size() / rows;
    if (!block.connectM.resize(rows, cols)) throw std::bad_alloc();
    for (std::size_t j = 0; j < cols; ++j)
      std::copy_n(columns[b].begin() + j * rows, rows, block.connectM.column(j));
    from_standard_node_order(block.connectM, block.type);
    start.push_back(start.back() + cols);
  }
  position.resize(doc.cells);
  for (std::size_t c = 0; c < doc.cells; ++c)
    position[c] = where[c].first == no_index ? no_index : start[where[c].first] + where[c].second;
}

// Point data as read; cell data moved to the element numbering.
void build_fields(const document& doc, const std::vector<std::size_t>& position,
                  std::size_t elements, vtu_fields& fields) {
  for (const file_array& a : doc.arrays) {
    const std::size_t m = a.array.components;
    if (a.section == "PointData") {
      if (a.array.values.size() != doc.points * m) throw vtu_error{kMalformed};
      fields.point_data.push_back(a.array);
    } else if (a.section == "CellData") {
      if (a.array.values.size() != doc.cells * m) throw vtu_error{kMalformed};
      vtu_array moved = a.array;
      moved.values.assign(elements * m, 0.0);
      for (std::size_t c = 0; c < doc.cells; ++c)
        if (position[c] != no_index)
          std::copy_n(a.array.values.begin() + c * m, m, moved.values.begin() + position[c] * m);
      fields.cell_data.push_back(std::move(moved));
    }
  }
}

}  // namespace

int vtu_input(const char* name, mesh_data& mesh, vtu_fields& fields) try {
  mesh = mesh_data();
  fields = vtu_fields();
  std::ifstream file(name, std::ios::binary);
  if (!file) return -1;
  const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  if (file.bad()) return -1;
  document doc;
  std::size_t xml_end = 0;
  read_header(text, doc, xml_end);
  read_arrays(text, xml_end, doc);
  std::vector<std::size_t> position;
  build_mesh(doc, mesh, position);
  build_fields(doc, position, mesh.elements(), fields);
  return 0;
} catch (const vtu_error& e) {
  mesh = mesh_data();
  fields = vtu_fields();
  return e.code;
} catch (const std::bad_alloc&) {
  mesh = mesh_data();
  fields = vtu_fields();
  return no_memory;
}

}  // namespace quernfold
}  // namespace ovk
