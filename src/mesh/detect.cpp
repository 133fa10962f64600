// The format of a mesh file from its first bytes, whatever its name says.
#include <sys/stat.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "quernfold/io.h"
#include "quernfold/mesh.h"

namespace ovk {
namespace quernfold {
namespace {

// Bytes read from the start of the file.
constexpr std::size_t kHeadBytes = 1024;
// Binary STL: an 80-byte header, a 4-byte count, 50 bytes per triangle.
constexpr std::size_t kStlHeader = 80;
constexpr std::size_t kStlCountEnd = 84;
constexpr std::size_t kStlTriangleBytes = 50;
// Binary MEDIT: the code 1, then the version (1 to 4), in either byte order.
constexpr std::uint32_t kMeditCode = 1;
constexpr std::uint32_t kMeditLastVersion = 4;
// Cards that begin NASTRAN bulk data or the decks around it.
constexpr const char* kNastranCards[] = {"BEGIN BULK", "GRID",   "CEND",   "SOL ",    "ID ",
                                         "TIME ",      "CTETRA", "CTRIA3", "CQUAD4",  "CHEXA",
                                         "CPENTA",     "CPYRAM", "CBAR",   "CROD",    "CBEAM",
                                         "PSOLID",     "PSHELL", "MAT1",   "SUBCASE", "TITLE"};
// Words that begin lines of Wavefront OBJ.
constexpr const char* kObjWords[] = {"v ", "vn ", "vt ",     "f ",     "o ",
                                     "g ", "s ",  "mtllib ", "usemtl "};
// FEMAP neutral files open with a block delimiter: "   -1".
constexpr const char kFemapDelimiter[] = "-1";

struct file_head {
  std::string bytes;
  std::size_t size = 0;  // of the whole file
};

bool read_head(const char* path, file_head& head) {
  struct stat st;
  if (!path || stat(path, &st) != 0 || !S_ISREG(st.st_mode)) return false;
  head.size = static_cast<std::size_t>(st.st_size);
  std::FILE* f = std::fopen(path, "rb");
  if (!f) return false;
  head.bytes.resize(kHeadBytes);
  head.bytes.resize(std::fread(&head.bytes[0], 1, kHeadBytes, f));
  std::fclose(f);
  return true;
}

bool starts_with(const std::string& s, std::size_t at, const char* word) {
  return s.compare(at, std::strlen(word), word) == 0;
}

std::uint32_t word_at(const std::string& s, std::size_t at, bool swap) {
  std::uint32_t w = 0;
  for (int k = 0; k < 4; ++k) {
    const auto byte = static_cast<std::uint32_t>(static_cast<unsigned char>(s[at + k]));
    w |= byte << (8 * (swap ? 3 - k : k));
  }
  return w;
}

bool is_binary_medit(const std::string& s) {
  if (s.size() < 8) return false;
  for (bool swap : {false, true})
    if (word_at(s, 0, swap) == kMeditCode && word_at(s, 4, swap) >= 1 &&
        word_at(s, 4, swap) <= kMeditLastVersion)
      return true;
  return false;
}

bool is_binary_stl(const file_head& head) {
  if (head.bytes.size() < kStlCountEnd) return false;
  const std::uint64_t count = word_at(head.bytes, kStlHeader, false);
  return head.size == kStlCountEnd + count * kStlTriangleBytes;
}

// Position of the first line at or after `at` that is neither blank nor a
// comment starting with `comment` (npos at the end).
std::size_t first_content_line(const std::string& s, std::size_t at, char comment) {
  while (at < s.size()) {
    std::size_t p = at;
    while (p < s.size() && (s[p] == ' ' || s[p] == '\t' || s[p] == '\r')) ++p;
    if (p < s.size() && s[p] != '\n' && s[p] != comment) return p;
    const std::size_t end = s.find('\n', p);
    if (end == std::string::npos) return std::string::npos;
    at = end + 1;
  }
  return std::string::npos;
}

bool begins_with_any(const std::string& s, std::size_t at, const char* const* first,
                     const char* const* last) {
  for (; at != std::string::npos && first != last; ++first)
    if (starts_with(s, at, *first)) return true;
  return false;
}

bool is_medit_text(const std::string& s) {
  const std::size_t at = first_content_line(s, 0, '#');
  static const char kKeyword[] = "meshversionformatted";
  if (at == std::string::npos) return false;
  for (std::size_t k = 0; k + 1 < sizeof kKeyword; ++k)
    if (at + k >= s.size() || std::tolower(static_cast<unsigned char>(s[at + k])) != kKeyword[k])
      return false;
  return true;
}

// The line from `at` without its surrounding blanks; `at` moves past it.
std::string next_line(const std::string& s, std::size_t& at) {
  std::size_t end = s.find('\n', at);
  if (end == std::string::npos) end = s.size();
  std::size_t first = at, last = end;
  while (first < last && std::isspace(static_cast<unsigned char>(s[first]))) ++first;
  while (last > first && std::isspace(static_cast<unsigned char>(s[last - 1]))) --last;
  at = end + 1;
  return s.substr(first, last - first);
}

bool is_number(const std::string& word) {
  return !word.empty() && word.find_first_not_of("0123456789") == std::string::npos;
}

// A block delimiter line followed by a block number, within the head.
bool is_femap(const std::string& s) {
  std::size_t at = 0;
  std::string line = next_line(s, at);
  while (at < s.size()) {
    const std::string next = next_line(s, at);
    if (line == kFemapDelimiter && is_number(next)) return true;
    line = next;
  }
  return false;
}

// A VTK XML document of an unstructured grid: its root element within the
// head, after the XML declaration and comments.
bool is_vtk_xml_grid(const std::string& s) {
  const std::size_t root = s.find("<VTKFile");
  return root != std::string::npos && s.find("UnstructuredGrid", root) != std::string::npos;
}

// The extension that stands for the format the bytes show, or nullptr.
const char* extension_shown(const file_head& head) {
  const std::string& s = head.bytes;
  if (starts_with(s, 0, "$MeshFormat")) return ".msh";
  if (starts_with(s, 0, "# vtk DataFile")) return ".vtk";
  if (is_vtk_xml_grid(s)) return ".vtu";
  if (is_binary_medit(s)) return ".meshb";
  if (is_medit_text(s)) return ".mesh";
  if (is_binary_stl(head)) return ".stl";
  const std::size_t first = first_content_line(s, 0, '\0');
  if (first != std::string::npos && starts_with(s, first, "solid")) return ".stl";
  if (is_femap(s)) return ".neu";
  if (begins_with_any(s, first_content_line(s, 0, '$'), std::begin(kNastranCards),
                      std::end(kNastranCards)))
    return ".nas";
  if (begins_with_any(s, first_content_line(s, 0, '#'), std::begin(kObjWords), std::end(kObjWords)))
    return ".obj";
  return nullptr;
}

// MSH: "$MeshFormat", then "version file-type data-size", file-type 1 for
// binary.
bool is_binary_msh(const std::string& s) {
  std::size_t at = s.find('\n');
  if (!starts_with(s, 0, "$MeshFormat") || at == std::string::npos) return false;
  const std::string line = next_line(s, ++at);
  const std::size_t gap = line.find(' ');
  return gap != std::string::npos && line.compare(gap, 3, " 1 ") == 0;
}

// A VTK XML file whose first data arrays are not text (inline base64 or
// appended), as far as the head shows them.
bool is_binary_vtu(const std::string& s) {
  return s.find("<VTKFile") != std::string::npos &&
         (s.find("format=\"binary\"") != std::string::npos ||
          s.find("format=\"appended\"") != std::string::npos);
}

// A VTK legacy file whose third line says BINARY.
bool is_binary_vtk(const std::string& s) {
  if (!starts_with(s, 0, "# vtk DataFile")) return false;
  std::size_t at = 0;
  next_line(s, at);
  next_line(s, at);
  return next_line(s, at).compare(0, 6, "BINARY") == 0;
}

}  // namespace

bool is_binary_mesh_file(const char* path) {
  file_head head;
  if (!read_head(path, head)) return false;
  return is_binary_msh(head.bytes) || is_binary_medit(head.bytes) || is_binary_stl(head) ||
         is_binary_vtu(head.bytes) || is_binary_vtk(head.bytes);
}

bool is_compressed_mesh_file(const char* path) {
  file_head head;
  return read_head(path, head) && head.bytes.find("<VTKFile") != std::string::npos &&
         head.bytes.find("compressor=") != std::string::npos;
}

const mesh_format* detect_mesh_format(const char* path) {
  file_head head;
  if (!read_head(path, head)) return nullptr;
  const char* extension = extension_shown(head);
  if (!extension) return nullptr;
  const std::string name = std::string("content") + extension;
  const mesh_format* format = find_mesh_format(name.c_str());
  return format && format->read ? format : nullptr;
}

}  // namespace quernfold
}  // namespace ovk
