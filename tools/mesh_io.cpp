// Diagnostics, options, reading and writing through the library's format
// table, and the views of a mesh that several commands share.
#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "cli.h"

namespace cli {
namespace {

using namespace ovk::quernfold;

void vreport(const std::string* file, const char* fmt, std::va_list args) {
  std::fputs("quernfold: ", stderr);
  if (file) std::fprintf(stderr, "%s: ", file->c_str());
  std::vfprintf(stderr, fmt, args);
  std::fputc('\n', stderr);
}

const char* const kCellNames[] = {
    "unknown",  "vertex",  "line (mixed)", "line",         "line3",       "polygon (mixed)",
    "triangle", "quad",    "triangle6",    "quad8",        "quad9",       "solid (mixed)",
    "tetra",    "tetra10", "pyramid",      "pyramid13",    "pyramid14",   "wedge",
    "wedge15",  "wedge18", "hexahedron",   "hexahedron20", "hexahedron27"};

// The linear solid of each vertex count (index).
const element_type kLinearSolids[] = {ET_UNKNOWN,  ET_UNKNOWN, ET_UNKNOWN, ET_UNKNOWN, ET_TETRA4,
                                      ET_PYRAMID5, ET_WEDGE6,  ET_UNKNOWN, ET_HEXA8};

// Elements of the read mesh that name a node that does not exist.
int refuse_missing_node(const std::string& path, const mesh_data& mesh) {
  node_reference at;
  find_missing_node(mesh, at);
  const mesh_block& b = mesh.blocks[at.block];
  fail(path, "%s element %zu references node %llu, but there are %zu nodes (numbered from 1)",
       cell_name(b.type), at.element + 1, static_cast<unsigned long long>(at.node) + 1,
       mesh.coords.cols());
  return kReadFailed;
}

int read_status(int code) {
  if (code == no_memory) return kUnsuited;
  if (code == mesh_unknown_format || code == mesh_not_supported) return kUsage;
  return kReadFailed;
}

int write_status(int code) {
  if (code == mesh_unknown_format || code == mesh_not_supported) return kUsage;
  return code == -1 ? kWriteFailed : kUnsuited;
}

}  // namespace

void progress(const invocation& inv, const char* fmt, ...) {
  if (!inv.verbose) return;
  std::va_list args;
  va_start(args, fmt);
  vreport(nullptr, fmt, args);
  va_end(args);
}

void fail(const std::string& file, const char* fmt, ...) {
  std::va_list args;
  va_start(args, fmt);
  vreport(&file, fmt, args);
  va_end(args);
}

int usage_error(const char* fmt, ...) {
  std::va_list args;
  va_start(args, fmt);
  vreport(nullptr, fmt, args);
  va_end(args);
  std::fputs("(see quernfold --help)\n", stderr);
  return kUsage;
}

int library_failure(const std::string& file, const char* what, int code, int status) {
  if (code == no_memory) {
    fail(file, "%s: out of memory", what);
    return kUnsuited;
  }
  fail(file, "%s failed (code %d)", what, code);
  return status;
}

bool number_option(const invocation& inv, const char* name, double fallback, bool (*valid)(double),
                   double& value) {
  value = fallback;
  const auto it = inv.options.find(name);
  if (it == inv.options.end()) return true;
  char* end = nullptr;
  value = std::strtod(it->second.c_str(), &end);
  if (!it->second.empty() && *end == '\0' && valid(value)) return true;
  usage_error("%s: invalid value '%s'", name, it->second.c_str());
  return false;
}

int read_input(const std::string& path, mesh_data& mesh, const invocation& inv,
               const char** format) {
  const mesh_format* f = nullptr;
  progress(inv, "reading %s", path.c_str());
  const int code = read_mesh(path.c_str(), mesh, &f);
  if (format) *format = f ? f->name : "unknown";
  if (code == mesh_missing_node) return refuse_missing_node(path, mesh);
  if (code == mesh_unknown_format || code == mesh_not_supported) {
    fail(path, "%s (read: %s)", mesh_file_message(f, code, true), format_list(true, false).c_str());
    return kUsage;
  }
  if (code != 0) {
    fail(path, "%s (code %d)", mesh_file_message(f, code, true), code);
    return read_status(code);
  }
  progress(inv, "read %zu nodes, %zu elements in %zu blocks", mesh.coords.cols(), mesh.elements(),
           mesh.blocks.size());
  return kOk;
}

int check_output_name(const std::string& path) {
  const mesh_format* f = find_mesh_format(path.c_str());
  if (f && f->write) return kOk;
  return usage_error("%s: cannot write this format (written: %s)", path.c_str(),
                     format_list(false, false).c_str());
}

int write_output(const std::string& path, const mesh_data& mesh, const invocation& inv) {
  const mesh_format* f = find_mesh_format(path.c_str());
  if (int status = check_output_name(path)) return status;
  std::size_t kept = 0;
  for (const mesh_block& b : mesh.blocks) {
    const element_fate fate = f->fate(b.type);
    if (fate.written) kept += b.connectM.cols();
    if (b.connectM.cols() && !fate.written)
      fail(path, "%zu %s elements left out (%s)", b.connectM.cols(), cell_name(b.type), fate.loss);
    else if (b.connectM.cols() && fate.loss)
      fail(path, "%zu %s elements %s", b.connectM.cols(), cell_name(b.type), fate.loss);
  }
  if (kept == 0 && mesh.elements() > 0) {
    fail(path, "%s holds none of the %zu elements; nothing written", f->name, mesh.elements());
    return kUnsuited;
  }
  write_options opts;
  opts.binary = inv.has("--binary");
  progress(inv, "writing %s as %s", path.c_str(), f->name);
  const int code = write_mesh(path.c_str(), mesh, opts);
  if (code == 0) return kOk;
  fail(path, "%s (code %d)", mesh_file_message(f, code, false), code);
  return write_status(code);
}

std::string format_list(bool readable, bool with_names) {
  std::size_t n = 0;
  const mesh_format* formats = mesh_formats(n);
  std::string list;
  for (std::size_t k = 0; k < n; ++k) {
    if (readable ? !formats[k].read : !formats[k].write) continue;
    if (with_names)
      list += std::string("  ") + formats[k].extensions + "  " + formats[k].name + "\n";
    else
      list += std::string(list.empty() ? "" : " ") + formats[k].extensions;
  }
  return list;
}

const char* cell_name(element_type type) {
  const unsigned k = static_cast<unsigned>(type);
  return k < sizeof kCellNames / sizeof kCellNames[0] ? kCellNames[k] : "unknown";
}

std::vector<dense2D<unsigned>> block_matrices(const mesh_data& mesh) {
  std::vector<dense2D<unsigned>> matrices;
  for (const mesh_block& b : mesh.blocks) matrices.push_back(b.connectM);
  return matrices;
}

unsigned mesh_dimension(const mesh_data& mesh) {
  unsigned d = 0;
  for (const mesh_block& b : mesh.blocks)
    if (b.connectM.cols()) d = std::max(d, element_dim(b.type));
  return d;
}

element_type linear_kind(element_type type) {
  switch (element_dim(type)) {
    case 0:
      return ET_NODE;
    case 1:
      return ET_EDGE2;
    case 2:
      return nbr_base_nodes(type) == 3 ? ET_TRIA3 : ET_QUAD4;
    default:
      return kLinearSolids[std::min<std::size_t>(nbr_base_nodes(type), 8)];
  }
}

bool vertex_matrix(const mesh_block& block, dense2D<unsigned>& out) {
  const std::size_t rows = nbr_base_nodes(block.type), cols = block.connectM.cols();
  if (rows == block.connectM.rows()) {
    out = block.connectM;
    return true;
  }
  if (!out.resize(rows, cols)) return false;
  for (std::size_t j = 0; j < cols; ++j)
    std::copy(block.connectM.column(j), block.connectM.column(j) + rows, out.column(j));
  return true;
}

bool combine(const mesh_data& mesh, unsigned dimension, combined_mesh& out) {
  static const element_type kMixed[] = {ET_NODE, ET_EDGE2, ET_FACE_MIX, ET_SOLID_MIX};
  out.type = kMixed[std::min(dimension, 3u)];
  std::size_t cols = 0;
  for (const mesh_block& b : mesh.blocks)
    if (element_dim(b.type) == dimension) cols += b.connectM.cols();
  if (!out.connect.resize(nbr_nodes(out.type), cols, no_index)) return false;
  std::size_t j0 = 0;
  for (const mesh_block& b : mesh.blocks) {
    if (element_dim(b.type) != dimension) continue;
    const unsigned base = nbr_base_nodes(b.type);
    for (std::size_t j = 0; j < b.connectM.cols(); ++j, ++j0)
      std::copy(b.connectM.column(j), b.connectM.column(j) + base, out.connect.column(j0));
  }
  return true;
}

int mesh_skin(const mesh_data& mesh, skin& out) {
  if (!combine(mesh, mesh_dimension(mesh), out.elements)) return no_memory;
  if (out.elements.type == ET_NODE) return -3;  // points have no faces
  const combined_mesh& c = out.elements;
  if (int code = get_neighbors(c.connect, c.type, true, out.neighbors)) return code;
  return get_mesh_boundaries(c.connect, out.neighbors, c.type, out.faces);
}

}  // namespace cli
