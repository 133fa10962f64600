// Reading and writing meshes for the command-line tool, the format chosen by
// the file's extension.
#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <string>

#include "cli.h"

namespace cli {
namespace {

using namespace ovk::quernfold;

enum class format { unknown, stl, obj, nastran, femap, medit, vtk, ensight };

std::string extension(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  const std::size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  std::string ext = path.substr(dot + 1);
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return ext;
}

format format_of(const std::string& path) {
  const std::string ext = extension(path);
  if (ext == "stl") return format::stl;
  if (ext == "obj") return format::obj;
  if (ext == "nas" || ext == "bdf" || ext == "dat") return format::nastran;
  if (ext == "neu") return format::femap;
  if (ext == "mesh") return format::medit;
  if (ext == "vtk") return format::vtk;
  if (ext == "geo") return format::ensight;
  return format::unknown;
}

// Adds the columns [first, last) of `runs` (rows 0 .. height - 1) to the
// block of the same kind, creating it on first use.
bool add_run(mesh& m, const dense2D<unsigned>& all, std::size_t first, std::size_t last,
             element_type type) {
  const std::size_t height = std::min<std::size_t>(nbr_nodes(type), all.rows());
  auto it = std::find_if(m.blocks.begin(), m.blocks.end(),
                         [type](const block& b) { return b.type == type; });
  if (it == m.blocks.end()) {
    m.blocks.push_back(block{dense2D<unsigned>(), type});
    it = m.blocks.end() - 1;
  }
  dense2D<unsigned>& out = it->connect;
  const std::size_t start = out.cols();
  if (out.empty()) out.clear();
  if (!out.resize(height, start + (last - first))) return false;
  for (std::size_t j = first; j < last; ++j)
    for (std::size_t i = 0; i < height; ++i) out(i, start + j - first) = all(i, j);
  return true;
}

// Element runs of the NASTRAN and FEMAP readers into one block per kind.
int blocks_from_runs(mesh& m, const dense2D<unsigned>& all, const dense1D<unsigned>& bounds,
                     const dense1D<int>& types) {
  for (std::size_t k = 0; k + 1 < bounds.size() && k < types.size(); ++k) {
    const element_type type = static_cast<element_type>(types[k]);
    if (bounds[k + 1] > bounds[k] && !add_run(m, all, bounds[k], bounds[k + 1], type))
      return no_memory;
  }
  return 0;
}

// All blocks in one matrix (unused slots ~0U) with their runs, as the
// NASTRAN and FEMAP writers take them; property identifier = block + 1.
bool runs_from_blocks(const mesh& m, dense2D<unsigned>& all, dense1D<unsigned>& bounds,
                      dense1D<int>& types, dense1D<unsigned>& pids) {
  std::size_t rows = 0, cols = 0;
  for (const block& b : m.blocks) {
    rows = std::max(rows, b.connect.rows());
    cols += b.connect.cols();
  }
  if (!all.resize(rows, cols, no_index) || !bounds.push_back(0)) return false;
  std::size_t j0 = 0;
  for (std::size_t k = 0; k < m.blocks.size(); ++k) {
    const dense2D<unsigned>& c = m.blocks[k].connect;
    for (std::size_t j = 0; j < c.cols(); ++j)
      for (std::size_t i = 0; i < c.rows(); ++i) all(i, j0 + j) = c(i, j);
    j0 += c.cols();
    if (!bounds.push_back(static_cast<unsigned>(j0)) || !types.push_back(m.blocks[k].type) ||
        !pids.push_back_n(static_cast<unsigned>(k + 1), c.cols()))
      return false;
  }
  return true;
}

const char* reader_message(format f, int code) {
  if (code == -1)
    return f == format::nastran ? "cannot be opened, or holds a malformed GRID record"
                                : "cannot be opened";
  if (code == no_memory) return "too large: out of memory";
  switch (f) {
    case format::stl:
      if (code == -2) return "is not an STL file";
      if (code == -3) return "holds a malformed or truncated facet";
      return "could not be cleaned up after reading (node merge failed)";
    case format::obj:
      return "holds a malformed line";
    case format::femap:
      return "holds a short or invalid record";
    default:
      return "could not be read";
  }
}

int read_stl(const std::string& path, mesh& m) {
  block b{dense2D<unsigned>(), ET_TRIA3};
  const int code = STL_input(path.c_str(), m.coords, b.connect);
  if (code == 0) m.blocks.push_back(b);
  return code;
}

int read_obj(const std::string& path, mesh& m) {
  dense2D<double> uv, normals;
  block tria{dense2D<unsigned>(), ET_TRIA3}, quad{dense2D<unsigned>(), ET_QUAD4};
  const int code =
      WavefrontOBJ_input(path.c_str(), m.coords, uv, normals, tria.connect, quad.connect);
  if (code != 0) return code;
  if (!tria.connect.empty()) m.blocks.push_back(tria);
  if (!quad.connect.empty()) m.blocks.push_back(quad);
  return 0;
}

template <class Reader>
int read_runs(const std::string& path, mesh& m, Reader reader) {
  dense2D<unsigned> all;
  dense1D<unsigned> bounds, pids;
  dense1D<int> types;
  const int code = reader(path.c_str(), m.coords, all, bounds, types, pids);
  if (code != 0) return code;
  return blocks_from_runs(m, all, bounds, types);
}

// The range forms (MEDIT, VTK, EnSight) take an array of matrices and kinds.
template <class Writer>
int write_range(const std::string& path, const mesh& m, Writer writer) {
  std::vector<dense2D<unsigned>> matrices;
  dense1D<int> types;
  for (const block& b : m.blocks) {
    matrices.push_back(b.connect);
    if (!types.push_back(b.type)) return no_memory;
  }
  const dense2D<unsigned>* first = matrices.data();
  return writer(path.c_str(), m.coords, first, first + matrices.size(), types);
}

template <class Writer>
int write_runs(const std::string& path, const mesh& m, Writer writer) {
  dense2D<unsigned> all;
  dense1D<unsigned> bounds, pids;
  dense1D<int> types;
  if (!runs_from_blocks(m, all, bounds, types, pids)) return no_memory;
  return writer(path.c_str(), m.coords, all, bounds, types, pids);
}

int write_stl(const std::string& path, const mesh& m, const settings& s) {
  const block* tria = nullptr;
  for (const block& b : m.blocks) {
    if (b.type != ET_TRIA3) {
      fail(path, "STL holds triangles only; the mesh has %s elements", type_name(b.type));
      return kInvalidMesh;
    }
    tria = &b;
  }
  if (m.blocks.size() > 1) {
    fail(path, "STL holds one triangle block; the mesh has %zu", m.blocks.size());
    return kInvalidMesh;
  }
  const dense2D<unsigned> none;
  return STL_output(path.c_str(), m.coords, tria ? tria->connect : none, s.ascii);
}

int write_obj(const std::string& path, const mesh& m) {
  dense2D<unsigned> none;
  const block* first = m.blocks.size() > 0 ? &m.blocks[0] : nullptr;
  const block* second = m.blocks.size() > 1 ? &m.blocks[1] : nullptr;
  for (const block& b : m.blocks)
    if ((b.type != ET_TRIA3 && b.type != ET_QUAD4) || m.blocks.size() > 2) {
      fail(path, "OBJ holds triangles and quadrangles only; the mesh has %s elements",
           type_name(b.type));
      return kInvalidMesh;
    }
  return WavefrontOBJ_output(path.c_str(), m.coords, first ? first->connect : none,
                             second ? second->connect : none, first ? first->type : ET_UNKNOWN,
                             second ? second->type : ET_UNKNOWN);
}

}  // namespace

std::size_t mesh::elements() const {
  std::size_t n = 0;
  for (const block& b : blocks) n += b.connect.cols();
  return n;
}

const char* format_name(const std::string& path) {
  switch (format_of(path)) {
    case format::stl:
      return "STL";
    case format::obj:
      return "Wavefront OBJ";
    case format::nastran:
      return "NASTRAN bulk data";
    case format::femap:
      return "FEMAP neutral";
    case format::medit:
      return "MEDIT";
    case format::vtk:
      return "VTK legacy";
    case format::ensight:
      return "EnSight geometry";
    default:
      return "unknown";
  }
}

int read_mesh(const std::string& path, mesh& m, const settings& s) {
  const format f = format_of(path);
  progress(s, "reading %s as %s", path.c_str(), format_name(path));
  int code;
  switch (f) {
    case format::stl:
      code = read_stl(path, m);
      break;
    case format::obj:
      code = read_obj(path, m);
      break;
    case format::nastran:
      code = read_runs(path, m, [](auto&&... a) { return NASTRAN_input(a...); });
      break;
    case format::femap:
      code = read_runs(path, m, [](auto&&... a) { return FEMAP_input(a...); });
      break;
    default:
      fail(path, "cannot read this format (known: .stl .obj .nas .bdf .dat .neu)");
      return kUsage;
  }
  if (code != 0) {
    fail(path, "%s (code %d)", reader_message(f, code), code);
    return kReadFailed;
  }
  progress(s, "read %zu nodes, %zu elements in %zu blocks", m.coords.cols(), m.elements(),
           m.blocks.size());
  return kOk;
}

int write_mesh(const std::string& path, const mesh& m, const settings& s) {
  progress(s, "writing %s as %s", path.c_str(), format_name(path));
  int code;
  switch (format_of(path)) {
    case format::stl:
      code = write_stl(path, m, s);
      break;
    case format::obj:
      code = write_obj(path, m);
      break;
    case format::nastran:
      code = write_runs(path, m, [](auto&&... a) { return NASTRAN_output(a...); });
      break;
    case format::femap:
      code = write_runs(path, m, [](auto&&... a) { return FEMAP_output(a...); });
      break;
    case format::medit:
      code = write_range(path, m, [](auto&&... a) { return medit_output(a...); });
      break;
    case format::vtk:
      code = write_range(path, m, [](auto&&... a) { return vtk_output(a...); });
      break;
    case format::ensight:
      code = write_range(path, m, [](auto&&... a) { return ensight_output(a...); });
      break;
    default:
      fail(path, "cannot write this format (known: .mesh .vtk .stl .obj .nas .neu .geo)");
      return kUsage;
  }
  if (code == kInvalidMesh) return code;
  if (code == -1) {
    fail(path, "cannot be written");
    return kWriteFailed;
  }
  if (code != 0) {
    fail(path, "the mesh does not suit this format (code %d)", code);
    return kInvalidMesh;
  }
  return kOk;
}

const char* type_name(element_type type) {
  static const char* const kNames[23] = {
      "unknown",      "node",          "edge (mixed)", "edge",          "edge3",
      "face (mixed)", "triangle",      "quadrangle",   "triangle6",     "quadrangle8",
      "quadrangle9",  "solid (mixed)", "tetrahedron",  "tetrahedron10", "pyramid",
      "pyramid13",    "pyramid14",     "wedge",        "wedge15",       "wedge18",
      "hexahedron",   "hexahedron20",  "hexahedron27"};
  const unsigned k = static_cast<unsigned>(type);
  return k < 23 ? kNames[k] : "unknown";
}

void progress(const settings& s, const char* fmt, ...) {
  if (!s.verbose) return;
  std::va_list args;
  va_start(args, fmt);
  std::fputs("quernfold: ", stderr);
  std::vfprintf(stderr, fmt, args);
  std::fputc('\n', stderr);
  va_end(args);
}

void fail(const std::string& file, const char* fmt, ...) {
  std::va_list args;
  va_start(args, fmt);
  std::fprintf(stderr, "quernfold: %s: ", file.c_str());
  std::vfprintf(stderr, fmt, args);
  std::fputc('\n', stderr);
  va_end(args);
}

}  // namespace cli
