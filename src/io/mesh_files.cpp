// Whole meshes by file name: the format table, reading and writing through
// it, and the replacement of a target file in one step.
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <new>
#include <string>
#include <system_error>
#include <tuple>
#include <utility>
#include <vector>

#include "common/parallel.h"
#include "io/shared/field_text.h"
#include "io/shared/files.h"
#include "io/shared/number_text.h"
#include "io/shared/read_notes.h"
#include "io/vtu/kinds.h"
#include "quernfold/io.h"

namespace ovk {
namespace quernfold {
namespace {

namespace fs = std::filesystem;

bool is_pure_kind(element_type t) {
  return t > ET_UNKNOWN && t <= ET_HEXA27 && t != ET_EDGE_MIX && t != ET_FACE_MIX &&
         t != ET_SOLID_MIX;
}

// ---------------------------------------------------------------------------
// Blocks
// ---------------------------------------------------------------------------

mesh_block* block_of_kind(mesh_data& mesh, element_type type) {
  for (mesh_block& b : mesh.blocks)
    if (b.type == type) return &b;
  mesh_block b;
  b.type = type;
  mesh.blocks.push_back(b);
  return &mesh.blocks.back();
}

// Blocks and runs of at least this many columns are gone through on several
// threads.
constexpr std::size_t kThreadedColumns = std::size_t(1) << 14;

// The first entry of the blocks (in block, column, row order) that names no
// node, each block's columns looked at in ranges on `threads` threads (the
// first range holding one reports it): true and `where` when there is one.
bool first_missing_node(const mesh_data& mesh, unsigned threads, node_reference& where) {
  const std::size_t nodes = mesh.coords.cols();
  for (std::size_t b = 0; b < mesh.blocks.size(); ++b) {
    const dense2D<unsigned>& c = mesh.blocks[b].connectM;
    const unsigned used = c.cols() >= kThreadedColumns ? threads : 1;
    std::vector<node_reference> found(detail::range_parts(used, c.cols()));
    std::vector<char> any(found.size(), 0);
    detail::parallel_parts(used, c.cols(),
                           [&](std::size_t part, std::size_t first, std::size_t last) {
                             for (std::size_t j = first; j < last; ++j)
                               for (std::size_t i = 0; i < c.rows(); ++i)
                                 if (c(i, j) >= nodes) {
                                   found[part] = {b, j, static_cast<unsigned>(i), c(i, j)};
                                   any[part] = 1;
                                   return;
                                 }
                           });
    for (std::size_t part = 0; part < found.size(); ++part)
      if (any[part]) {
        where = found[part];
        return true;
      }
  }
  return false;
}

// Columns [j0, j1) of `all` into `block` from its column `at` on: the
// block's rows of each, its reference (0 past `pids`) and, when given, its
// entity tag.
void copy_run(const dense2D<unsigned>& all, std::size_t j0, std::size_t j1, std::size_t at,
              const dense1D<unsigned>& pids, const dense1D<unsigned>* entities, mesh_block& block) {
  const std::size_t height = std::min<std::size_t>(block.connectM.rows(), all.rows());
  for (std::size_t j = j0; j < j1; ++j, ++at) {
    std::copy(all.column(j), all.column(j) + height, &block.connectM(0, at));
    block.refs[at] = j < pids.size() ? pids[j] : 0;
    if (entities) block.entities[at] = (*entities)[j];
  }
}

// The NASTRAN and FEMAP runs as one block per kind, in order of first
// appearance, each column cut to the kind's node count, the property
// identifiers as references, and the entity tags (one per column of `all`)
// when `entities` is given. Sized in a first pass so that every block is
// allocated once. With threads > 1, long runs are copied on that many
// threads, and a block that is one run of columns as tall as its kind
// shares the storage of `all`, `pids` and `entities` instead.
int blocks_from_runs(mesh_data& mesh, const dense2D<unsigned>& all, const dense1D<unsigned>& bounds,
                     const dense1D<int>& types, const dense1D<unsigned>& pids,
                     const dense1D<unsigned>* entities, unsigned threads) {
  const std::size_t runs = std::min(types.size(), bounds.size() - 1);
  std::vector<std::size_t> total, runs_in, only_run;
  for (std::size_t k = 0; k < runs; ++k) {
    const element_type t = static_cast<element_type>(types[k]);
    if (!is_pure_kind(t) || bounds[k + 1] <= bounds[k]) continue;
    const std::size_t b = static_cast<std::size_t>(block_of_kind(mesh, t) - mesh.blocks.data());
    for (std::vector<std::size_t>* v : {&total, &runs_in, &only_run})
      v->resize(mesh.blocks.size(), 0);
    total[b] += bounds[k + 1] - bounds[k];
    ++runs_in[b];
    only_run[b] = k;
  }
  for (std::vector<std::size_t>* v : {&total, &runs_in, &only_run})
    v->resize(mesh.blocks.size(), 0);
  const auto shares = [&](std::size_t b) {
    return threads > 1 && runs_in[b] == 1 && all.rows() == nbr_nodes(mesh.blocks[b].type) &&
           pids.size() >= bounds[only_run[b] + 1];
  };
  for (std::size_t b = 0; b < mesh.blocks.size(); ++b) {
    mesh_block& block = mesh.blocks[b];
    if (!shares(b))
      if (!block.connectM.resize(nbr_nodes(block.type), total[b]) || !block.refs.resize(total[b]) ||
          (entities && !block.entities.resize(total[b])))
        return no_memory;
    total[b] = 0;  // from here on: columns filled
  }
  for (std::size_t k = 0; k < runs; ++k) {
    const element_type t = static_cast<element_type>(types[k]);
    if (!is_pure_kind(t)) continue;
    mesh_block& block = *block_of_kind(mesh, t);
    const std::size_t b = static_cast<std::size_t>(&block - mesh.blocks.data());
    const std::size_t j0 = bounds[k], cols = bounds[k + 1] > j0 ? bounds[k + 1] - j0 : 0;
    if (cols == 0) continue;
    if (shares(b)) {
      block.connectM = all.sub_matrix(0, j0, all.rows(), cols);
      block.refs = pids.sub_vector(j0, cols);
      if (entities) block.entities = entities->sub_vector(j0, cols);
      continue;
    }
    const std::size_t at = total[b];
    detail::parallel_ranges(
        cols >= kThreadedColumns ? threads : 1, cols, [&](std::size_t first, std::size_t last) {
          copy_run(all, j0 + first, j0 + last, at + first, pids, entities, block);
        });
    total[b] += cols;
  }
  return 0;
}

// All blocks of one kind in one matrix (shared, not copied, when there is
// only one).
bool joined(const mesh_data& mesh, element_type type, dense2D<unsigned>& out) {
  std::size_t cols = 0, found = 0;
  const mesh_block* last = nullptr;
  for (const mesh_block& b : mesh.blocks) {
    if (b.type != type) continue;
    cols += b.connectM.cols();
    ++found;
    last = &b;
  }
  if (found == 1) {
    out = last->connectM;
    return true;
  }
  if (!out.resize(nbr_nodes(type), cols)) return false;
  std::size_t j0 = 0;
  for (const mesh_block& b : mesh.blocks) {
    if (b.type != type) continue;
    for (std::size_t j = 0; j < b.connectM.cols(); ++j, ++j0)
      std::copy(b.connectM.column(j), b.connectM.column(j) + b.connectM.rows(), &out(0, j0));
  }
  return true;
}

// The blocks a writer keeps, as the range forms and run containers take them.
struct written_blocks {
  std::vector<dense2D<unsigned>> matrices;
  std::vector<const mesh_block*> blocks;
  dense1D<int> types;
};

bool collect_written(const mesh_data& mesh, element_fate (*fate)(element_type),
                     written_blocks& out) {
  for (const mesh_block& b : mesh.blocks) {
    if (!fate(b.type).written || b.connectM.cols() == 0) continue;
    out.matrices.push_back(b.connectM);
    out.blocks.push_back(&b);
    if (!out.types.push_back(b.type)) return false;
  }
  return true;
}

// ---------------------------------------------------------------------------
// What each writer keeps
// ---------------------------------------------------------------------------

struct fate_entry {
  element_type type;
  element_fate fate;
};

template <std::size_t N>
element_fate fate_in(const fate_entry (&table)[N], element_type type, element_fate otherwise) {
  for (const fate_entry& e : table)
    if (e.type == type) return e.fate;
  return otherwise;
}

constexpr element_fate kHeld{true, nullptr};
// Every file of the whole-mesh layer: exact coordinates, the standard node
// order, VTK's quadratic cells.
constexpr writer_settings kPortable{true, true, true};
constexpr const char kVertexOnly[] = "written without their mid-nodes (vertices only)";

element_fate stl_fate(element_type t) {
  return t == ET_TRIA3 ? kHeld : element_fate{false, "STL holds linear triangles only"};
}

element_fate obj_fate(element_type t) {
  return t == ET_TRIA3 || t == ET_QUAD4
             ? kHeld
             : element_fate{false, "OBJ holds linear triangles and quadrangles only"};
}

element_fate nastran_fate(element_type t) {
  static const fate_entry kTable[] = {
      {ET_NODE, {false, "no element card for a lone node"}},
      {ET_EDGE3, {true, "written as 2-node CBAR, the mid-node dropped"}},
      {ET_QUAD9, {true, "written as CQUAD8, the centre node dropped"}},
      {ET_PYRAMID14, {true, "written as 13-node CPYRAM, the base centre dropped"}},
      {ET_WEDGE18, {true, "written as 15-node CPENTA, the face centres dropped"}},
      {ET_HEXA27, {true, "written as 20-node CHEXA, the face and body centres dropped"}},
  };
  return fate_in(kTable, t, kHeld);
}

element_fate femap_fate(element_type t) {
  static const fate_entry kTable[] = {
      {ET_QUAD9, {false, "no FEMAP topology for 9-node quadrangles"}},
      {ET_PYRAMID5, {false, "no FEMAP topology for pyramids"}},
      {ET_PYRAMID13, {false, "no FEMAP topology for pyramids"}},
      {ET_PYRAMID14, {false, "no FEMAP topology for pyramids"}},
      {ET_WEDGE15, {false, "no FEMAP topology for quadratic wedges"}},
      {ET_WEDGE18, {false, "no FEMAP topology for quadratic wedges"}},
      {ET_HEXA27, {false, "no FEMAP topology for 27-node hexahedra"}},
  };
  return fate_in(kTable, t, kHeld);
}

element_fate medit_fate(element_type t) {
  static const fate_entry kTable[] = {
      {ET_NODE, {false, "no MEDIT section for lone nodes"}},
      {ET_PYRAMID13, {false, "no MEDIT section for 13-node pyramids"}},
      {ET_WEDGE15, {false, "no MEDIT section for 15-node wedges"}},
      {ET_EDGE3, {true, kVertexOnly}},
      {ET_TRIA6, {true, kVertexOnly}},
      {ET_QUAD8, {true, kVertexOnly}},
      {ET_QUAD9, {true, kVertexOnly}},
      {ET_TETRA10, {true, kVertexOnly}},
      {ET_HEXA20, {true, kVertexOnly}},
      {ET_HEXA27, {true, kVertexOnly}},
      {ET_PYRAMID5, {true, "written as degenerate hexahedra"}},
      {ET_WEDGE6, {true, "written as degenerate hexahedra"}},
      {ET_PYRAMID14, {true, "written as degenerate hexahedra without their mid-nodes"}},
      {ET_WEDGE18, {true, "written as degenerate hexahedra without their mid-nodes"}},
  };
  return fate_in(kTable, t, kHeld);
}

element_fate vtk_fate(element_type t) {
  if (t == ET_NODE) return {false, "no VTK cell for this kind"};
  if (t == ET_PYRAMID14) return {true, "written as linear pyramids (vertices only)"};
  return kHeld;
}

element_fate msh_fate(element_type t) {
  return t == ET_NODE ? element_fate{false, "no gmsh element written for lone nodes"} : kHeld;
}

element_fate ensight_fate(element_type t) {
  static const fate_entry kTable[] = {
      {ET_NODE, {false, "no EnSight element for lone nodes"}},
      {ET_PYRAMID5, {false, "no EnSight element for pyramids"}},
      {ET_PYRAMID13, {false, "no EnSight element for pyramids"}},
      {ET_PYRAMID14, {false, "no EnSight element for pyramids"}},
      {ET_WEDGE15, {false, "no EnSight element for 15-node wedges"}},
      {ET_QUAD9, {true, "written as quad8, the centre node dropped"}},
      {ET_WEDGE18, {true, "written as penta6, the mid-nodes dropped"}},
      {ET_HEXA27, {true, "written as hexa20, the face and body centres dropped"}},
  };
  return fate_in(kTable, t, kHeld);
}

// ---------------------------------------------------------------------------
// Readers
// ---------------------------------------------------------------------------

// A reader of one thread in the table.
template <int (*Read)(const char*, mesh_data&)>
int one_thread(const char* path, mesh_data& mesh, unsigned) {
  return Read(path, mesh);
}

// Size of the blocks in which a file's line ends are counted.
constexpr std::size_t kCountBlock = std::size_t(1) << 16;

// The line (from 1) of `path` that holds byte `offset`; counted once, when
// a read has failed, so that reading itself counts no lines.
std::size_t line_at(const char* path, std::uint64_t offset) {
  detail::scoped_file file(path, "rb");
  std::vector<char> block(kCountBlock);
  std::size_t line = 1;
  while (file && offset > 0) {
    const std::size_t n =
        std::fread(block.data(), 1, std::min<std::uint64_t>(offset, kCountBlock), file.get());
    if (n == 0) break;
    line += static_cast<std::size_t>(std::count(block.data(), block.data() + n, '\n'));
    offset -= n;
  }
  return line;
}

// Runs `read(notes)`, a reader that takes notes; what it left out goes to
// mesh.left_out, the line of the record that stopped it to
// mesh.malformed_line.
template <class Read>
int read_with_notes(const char* path, mesh_data& mesh, Read read) {
  detail::read_notes notes;
  const int code = read(notes);
  mesh.left_out = std::move(notes.left_out);
  if (code < 0 && notes.placed) mesh.malformed_line = line_at(path, notes.failed_at);
  return code;
}

// The STL reader's code of a malformed or truncated facet.
constexpr int kStlMalformed = -3;

// A text file that fails with a malformed facet is that, whatever the
// binary form then says of it.
int read_stl(const char* path, mesh_data& mesh, unsigned threads) {
  mesh_block b;
  b.type = ET_TRIA3;
  const int code = read_with_notes(path, mesh, [&](detail::read_notes& notes) {
    return detail::stl_input_noted(path, mesh.coords, b.connectM, notes, threads);
  });
  if (code == 0) mesh.blocks.push_back(b);
  return code != 0 && mesh.malformed_line ? kStlMalformed : code;
}

int read_obj(const char* path, mesh_data& mesh, unsigned threads) {
  dense2D<double> uv, normals;
  mesh_block tria, quad;
  tria.type = ET_TRIA3;
  quad.type = ET_QUAD4;
  const int code = read_with_notes(path, mesh, [&](detail::read_notes& notes) {
    return detail::obj_input_noted(path, mesh.coords, uv, normals, tria.connectM, quad.connectM,
                                   notes, threads);
  });
  if (code != 0) return code;
  if (tria.connectM.cols()) mesh.blocks.push_back(tria);
  if (quad.connectM.cols()) mesh.blocks.push_back(quad);
  return 0;
}

// The runs that `read(coords, connectM, bounds, types, refs)` gives, as
// blocks; `HasRefs` false for a format whose files carry no element
// references (the reader's are all 0). `entities`, when given, is filled by
// the read with one entity tag per element. The blocks are made on
// `threads` threads (blocks_from_runs).
template <bool HasRefs, class Read>
int runs_as_blocks(mesh_data& mesh, Read read, const dense1D<unsigned>* entities = nullptr,
                   unsigned threads = 1) {
  dense2D<unsigned> all;
  dense1D<unsigned> bounds, pids;
  dense1D<int> types;
  const int code = read(mesh.coords, all, bounds, types, pids);
  if (code != 0 || bounds.empty()) return code;
  if (entities && entities->size() != all.cols()) entities = nullptr;
  const int blocks = blocks_from_runs(mesh, all, bounds, types, pids, entities, threads);
  if (!HasRefs)
    for (mesh_block& b : mesh.blocks) b.refs = dense1D<unsigned>();
  return blocks;
}

// A run reader that takes notes (read_with_notes), on `threads` threads
// (Threaded false: on one, for a format with no text form to split).
template <class Noted>
int read_noted_with(const char* path, mesh_data& mesh, Noted noted) {
  return read_with_notes(path, mesh, [&](detail::read_notes& notes) {
    return runs_as_blocks<true>(mesh, [&](auto&... out) { return noted(path, out..., notes); });
  });
}
template <int (*Noted)(const char*, dense2D<double>&, dense2D<unsigned>&, dense1D<unsigned>&,
                       dense1D<int>&, dense1D<unsigned>&, detail::read_notes&, unsigned),
          bool HasRefs = true, bool Threaded = true>
int read_noted(const char* path, mesh_data& mesh, unsigned threads) {
  const int code = read_noted_with(path, mesh, [&](const char* name, auto&... out) {
    return Noted(name, out..., Threaded ? threads : 1);
  });
  if (!HasRefs && code == 0)
    for (mesh_block& b : mesh.blocks) b.refs = dense1D<unsigned>();
  return code;
}
template <int (*Noted)(const char*, dense2D<double>&, dense2D<unsigned>&, dense1D<unsigned>&,
                       dense1D<int>&, dense1D<unsigned>&, detail::read_notes&)>
int read_noted(const char* path, mesh_data& mesh, unsigned) {
  return read_noted_with(path, mesh, Noted);
}

// NASTRAN decks as whole meshes: a blank property field reads as property 0
// (decks written without properties), and the element cards still left out
// are counted.
int read_nastran(const char* path, mesh_data& mesh, unsigned threads) {
  nastran_read_settings settings;
  settings.blank_property_is_zero = true;
  settings.card_variants = true;
  settings.threads = threads;
  return runs_as_blocks<true>(mesh, [&](auto&... out) {
    return NASTRAN_input(path, out..., settings, mesh.left_out, mesh.malformed_line);
  });
}

// The section of physical names of a MSH file and its end; the sections
// after which it no longer comes (it precedes the mesh).
constexpr const char kNamesSection[] = "$PhysicalNames";
constexpr const char kNamesEnd[] = "$EndPhysicalNames";
constexpr const char* kMeshSections[] = {"$Entities", "$Nodes", "$Elements"};
constexpr std::size_t kNameLine = 4096;

bool starts(const char* line, const char* word) {
  return std::strncmp(line, word, std::strlen(word)) == 0;
}

// One line `dimension tag "name"` of the section.
bool parse_physical_name(const char* line, physical_name& out) {
  int used = 0;
  if (std::sscanf(line, "%u %u %n", &out.dimension, &out.tag, &used) < 2) return false;
  const char* open = std::strchr(line + used, '"');
  const char* close = open ? std::strrchr(open + 1, '"') : nullptr;
  if (!close) return false;
  out.name.assign(open + 1, close);
  return true;
}

// The physical names of the file's $PhysicalNames section (none without
// one; the text before the mesh sections is read, not the mesh).
void read_physical_names(const char* path, std::vector<physical_name>& names) {
  detail::scoped_file file(path, "rb");
  if (!file) return;
  char line[kNameLine];
  bool inside = false;
  while (std::fgets(line, sizeof line, file.get())) {
    if (inside) {
      physical_name n;
      if (starts(line, kNamesEnd)) return;
      if (parse_physical_name(line, n)) names.push_back(n);
      continue;
    }
    for (const char* section : kMeshSections)
      if (starts(line, section)) return;
    inside = starts(line, kNamesSection);
    if (inside && !std::fgets(line, sizeof line, file.get())) return;  // the count
  }
}

// The elements with their physical tags as references (none when the file
// has no physical tag) and their entity tags, then the physical names.
int read_msh(const char* path, mesh_data& mesh, unsigned threads) {
  dense1D<unsigned> entities;
  bool physical = false;
  const int code = read_with_notes(path, mesh, [&](detail::read_notes& notes) {
    notes.entities = &entities;
    const int read = runs_as_blocks<true>(
        mesh, [&](auto&... out) { return detail::msh_input_noted(path, out..., notes, threads); },
        &entities, threads);
    physical = notes.physical;
    return read;
  });
  if (!physical)
    for (mesh_block& b : mesh.blocks) b.refs = dense1D<unsigned>();
  if (code == 0) read_physical_names(path, mesh.physical_names);
  return code;
}

const char* stl_message(int code) {
  switch (code) {
    case -1:
      return "cannot be opened";
    case -2:
      return "is not an STL file";
    case -3:
      return "holds a malformed or truncated facet";
    default:
      return "could not be cleaned up after reading (node merge failed)";
  }
}

const char* obj_message(int code) {
  return code == -1 ? "cannot be opened" : "holds a malformed line";
}

const char* nastran_message(int code) {
  return code == -1 ? "cannot be opened, or holds a malformed GRID record" : "could not be read";
}

// The MEDIT, VTK and MSH readers share their codes.
const char* scanned_message(int code) {
  switch (code) {
    case -1:
      return "cannot be opened";
    case -2:
      return "is not a file of this format (or of a version that is not read)";
    case -3:
      return "holds a malformed or truncated record";
    default:
      return "could not be read";
  }
}

const char* femap_message(int code) {
  if (code == -1) return "cannot be opened";
  return code == -102 ? "holds a short or invalid record" : "could not be read";
}

// ---------------------------------------------------------------------------
// Writers
// ---------------------------------------------------------------------------

int write_stl(const char* path, const mesh_data& mesh, const write_options& opts) {
  dense2D<unsigned> tria;
  if (!joined(mesh, ET_TRIA3, tria)) return no_memory;
  return STL_output(path, mesh.coords, tria, !opts.binary);
}

int write_obj(const char* path, const mesh_data& mesh, const write_options&) {
  dense2D<unsigned> tria, quad;
  if (!joined(mesh, ET_TRIA3, tria) || !joined(mesh, ET_QUAD4, quad)) return no_memory;
  const dense2D<double> none;
  return WavefrontOBJ_output(path, mesh.coords, none, none, tria, quad, kPortable);
}

// The numbers a block without references is written with: its entity tags
// (empty when it has none).
const dense1D<unsigned>& numbers_of(const mesh_block& b) {
  return b.refs.empty() ? b.entities : b.refs;
}

// The written blocks as one run each; the references (or entity tags) as
// property identifiers, or block position + 1 for a block without either.
// `writer` takes the coordinates, the run containers and the identifiers.
template <class Writer>
int write_runs(const mesh_data& mesh, element_fate (*fate)(element_type), Writer writer) {
  written_blocks w;
  if (!collect_written(mesh, fate, w)) return no_memory;
  std::size_t rows = 0, cols = 0;
  for (const dense2D<unsigned>& m : w.matrices) rows = std::max(rows, m.rows()), cols += m.cols();
  dense2D<unsigned> all;
  dense1D<unsigned> bounds, pids;
  if (!all.resize(rows, cols, no_index) || !bounds.push_back(0) || !pids.reserve(cols))
    return no_memory;
  std::size_t j0 = 0;
  for (std::size_t k = 0; k < w.blocks.size(); ++k) {
    const mesh_block& b = *w.blocks[k];
    for (std::size_t j = 0; j < b.connectM.cols(); ++j, ++j0) {
      std::copy(b.connectM.column(j), b.connectM.column(j) + b.connectM.rows(), &all(0, j0));
      pids.push_back(numbers_of(b).empty() ? static_cast<unsigned>(k + 1) : numbers_of(b)[j]);
    }
    if (!bounds.push_back(static_cast<unsigned>(j0))) return no_memory;
  }
  return writer(all, bounds, w.types, pids);
}

int write_nastran(const char* path, const mesh_data& mesh, const write_options&) {
  return write_runs(mesh, nastran_fate,
                    [&](const auto& all, const auto& bounds, const auto& types, const auto& pids) {
                      return NASTRAN_output(path, mesh.coords, all, bounds, types, pids, kPortable);
                    });
}

int write_femap(const char* path, const mesh_data& mesh, const write_options&) {
  return write_runs(mesh, femap_fate,
                    [&](const auto& all, const auto& bounds, const auto& types, const auto& pids) {
                      return FEMAP_output(path, mesh.coords, all, bounds, types, pids, kPortable);
                    });
}

// `writer` takes the range [first, last) of written blocks and their kinds.
template <class Writer>
int write_range(const mesh_data& mesh, element_fate (*fate)(element_type), Writer writer) {
  written_blocks w;
  if (!collect_written(mesh, fate, w)) return no_memory;
  const dense2D<unsigned>* first = w.matrices.data();
  return writer(first, first + w.matrices.size(), w.types);
}

// One FIELD section of `count` tuples: each array as "name components
// tuples double" (blanks of the name as '_'), then its values, one tuple a
// line; `value(a, i, t)` gives component i of tuple t of array a.
template <class Value>
void write_field_arrays(std::FILE* f, const char* section, std::size_t count,
                        const std::vector<std::pair<std::string, std::size_t>>& arrays,
                        Value value) {
  std::fprintf(f, "%s %zu\nFIELD FieldData %zu\n", section, count, arrays.size());
  char text[detail::kMaxNumberText];
  for (std::size_t a = 0; a < arrays.size(); ++a) {
    std::string name = arrays[a].first;
    std::replace(name.begin(), name.end(), ' ', '_');
    std::fprintf(f, "%s %zu %zu double\n", name.c_str(), arrays[a].second, count);
    for (std::size_t t = 0; t < count; ++t)
      for (std::size_t i = 0; i < arrays[a].second; ++i) {
        *detail::format_shortest(text, value(a, i, t)) = '\0';
        std::fprintf(f, "%s%c", text, i + 1 < arrays[a].second ? ' ' : '\n');
      }
  }
}

// The mesh's point fields as POINT_DATA, its cell fields (one cell per
// written element, in block order) as CELL_DATA, appended to the file.
int append_vtk_fields(const char* path, const mesh_data& mesh) {
  if (mesh.point_fields.empty() && mesh.cell_fields.empty()) return 0;
  if (!mesh_fields_fit(mesh)) return mesh_bad_field;
  detail::scoped_file file(path, "a");
  if (!file) return -1;
  std::vector<std::pair<std::string, std::size_t>> arrays;
  for (const point_field& p : mesh.point_fields) arrays.emplace_back(p.name, p.values.rows());
  if (!arrays.empty())
    write_field_arrays(file.get(), "POINT_DATA", mesh.coords.cols(), arrays,
                       [&](std::size_t a, std::size_t i, std::size_t t) {
                         return mesh.point_fields[a].values(i, t);
                       });
  std::vector<std::pair<std::size_t, std::size_t>> cells;  // (block, element) per written cell
  for (std::size_t b = 0; b < mesh.blocks.size(); ++b)
    if (vtk_fate(mesh.blocks[b].type).written)
      for (std::size_t j = 0; j < mesh.blocks[b].connectM.cols(); ++j) cells.emplace_back(b, j);
  arrays.clear();
  for (const cell_field& c : mesh.cell_fields)
    arrays.emplace_back(c.name, c.values.empty() ? 0 : c.values[0].rows());
  if (!arrays.empty())
    write_field_arrays(file.get(), "CELL_DATA", cells.size(), arrays,
                       [&](std::size_t a, std::size_t i, std::size_t t) {
                         return mesh.cell_fields[a].values[cells[t].first](i, cells[t].second);
                       });
  return std::ferror(file.get()) ? -1 : 0;
}

int write_vtk(const char* path, const mesh_data& mesh, const write_options&) {
  const int code = write_range(mesh, vtk_fate, [&](auto first, auto last, const auto& types) {
    return vtk_output(path, mesh.coords, first, last, types, kPortable);
  });
  return code != 0 ? code : append_vtk_fields(path, mesh);
}

// The written blocks cut into runs of consecutive elements of one
// reference (and, with `entities`, of one entity tag), so that element
// order is kept: one matrix per run, with its kind and reference (without
// `entities`, a block without references takes its entity tags; a block
// without either: reference `none(block position)`) and its entity tag (0
// for a block without). A block that neither cuts is one matrix, shared.
template <class None>
int split_by_reference(const mesh_data& mesh, element_fate (*fate)(element_type), None none,
                       std::vector<dense2D<unsigned>>& matrices, std::vector<unsigned>& refs,
                       dense1D<int>& types, std::vector<unsigned>* entities = nullptr) {
  for (std::size_t k = 0; k < mesh.blocks.size(); ++k) {
    const mesh_block& b = mesh.blocks[k];
    const std::size_t n = b.connectM.cols(), rows = b.connectM.rows();
    if (!fate(b.type).written || n == 0) continue;
    const dense1D<unsigned>& own = entities ? b.refs : numbers_of(b);
    const bool tagged = entities && !b.entities.empty(), whole = own.empty() && !tagged;
    const auto same = [&](std::size_t i, std::size_t j) {
      return (own.empty() || own[i] == own[j]) && (!tagged || b.entities[i] == b.entities[j]);
    };
    for (std::size_t j0 = 0, j1; j0 < n; j0 = j1) {
      for (j1 = whole ? n : j0 + 1; j1 < n && same(j0, j1);) ++j1;
      matrices.emplace_back();
      if (whole)
        matrices.back() = b.connectM;
      else if (!matrices.back().resize(rows, j1 - j0))
        return no_memory;
      else
        std::copy(b.connectM.column(j0), b.connectM.column(j0) + rows * (j1 - j0),
                  matrices.back().column(0));
      refs.push_back(own.empty() ? none(k) : own[j0]);
      if (entities) entities->push_back(tagged ? b.entities[j0] : 0);
      if (!types.push_back(b.type)) return no_memory;
    }
  }
  return 0;
}

// The entity tag of every matrix (types and physical tags `refs` as
// split_by_reference gives them) from the tags asked for (0: none): a tag
// is kept for the first reference met on its dimension and tag; the other
// references of that tag, and the matrices without a tag, get one new tag
// per dimension, tag asked and reference, past the largest asked for on
// their dimension. Empty when no tag is asked for.
std::vector<unsigned> entity_tags(const dense1D<int>& types, const std::vector<unsigned>& refs,
                                  const std::vector<unsigned>& asked) {
  if (std::all_of(asked.begin(), asked.end(), [](unsigned t) { return t == 0; })) return {};
  constexpr unsigned kDims = 4;
  unsigned next[kDims] = {0, 0, 0, 0};
  for (std::size_t k = 0; k < asked.size(); ++k) {
    unsigned& last = next[element_dim(static_cast<element_type>(types[k]))];
    last = std::max(last, asked[k]);
  }
  std::map<std::pair<unsigned, unsigned>, bool> held;                  // (dim, tag asked)
  std::map<std::tuple<unsigned, unsigned, unsigned>, unsigned> given;  // (dim, asked, ref) -> tag
  std::vector<unsigned> tags(asked.size());
  for (std::size_t k = 0; k < asked.size(); ++k) {
    const unsigned dim = element_dim(static_cast<element_type>(types[k]));
    const auto at = given.emplace(std::make_tuple(dim, asked[k], refs[k]), 0);
    if (at.second)
      at.first->second = asked[k] && held.emplace(std::make_pair(dim, asked[k]), true).second
                             ? asked[k]
                             : ++next[dim];
    tags[k] = at.first->second;
  }
  return tags;
}

// One entity per written block and reference, or per entity tag of the
// blocks (entity_tags), the reference as its physical tag (none without
// references); the names as they are.
int write_msh(const char* path, const mesh_data& mesh, const write_options&) {
  std::vector<dense2D<unsigned>> matrices;
  std::vector<unsigned> physical, asked;
  dense1D<int> types;
  const auto no_tag = [](std::size_t) { return 0u; };
  if (int code = split_by_reference(mesh, msh_fate, no_tag, matrices, physical, types, &asked))
    return code;
  const std::vector<unsigned> entities = entity_tags(types, physical, asked);
  msh_groups groups;
  groups.physical = physical.data();
  groups.names = &mesh.physical_names;
  groups.entity = entities.empty() ? nullptr : entities.data();
  const dense2D<unsigned>* first = matrices.data();
  return msh_output(path, mesh.coords, first, first + matrices.size(), types, groups);
}

// The references as MEDIT references; a block without takes its position.
int write_medit(const char* path, const mesh_data& mesh, const write_options&) {
  std::vector<dense2D<unsigned>> matrices;
  std::vector<unsigned> refs;
  dense1D<int> types;
  const auto position = [](std::size_t k) { return static_cast<unsigned>(k); };
  if (int code = split_by_reference(mesh, medit_fate, position, matrices, refs, types)) return code;
  const dense2D<unsigned>* first = matrices.data();
  return medit_output(path, mesh.coords, first, first + matrices.size(), types, kPortable,
                      refs.data());
}

constexpr const char kEnsightCompanion[] = ".case";

// The geometry file, then the case file beside it that names it (what
// EnSight readers open).
int write_ensight(const char* path, const mesh_data& mesh, const write_options&) {
  const int code = write_range(mesh, ensight_fate, [&](auto first, auto last, const auto& types) {
    return ensight_output(path, mesh.coords, first, last, types);
  });
  if (code != 0) return code;
  const fs::path geo(path);
  const std::string case_name = fs::path(geo).replace_extension(kEnsightCompanion).string();
  detail::scoped_file file(case_name.c_str(), "w");
  if (!file) return -1;
  const int written = std::fprintf(file.get(), "FORMAT\ntype: ensight\n\nGEOMETRY\nmodel: %s\n",
                                   geo.filename().c_str());
  return written < 0 ? -1 : 0;
}

// What the coordinates of the writers that cannot hold a double read back
// as: STL's float32 and EnSight's "%12.5e".
double as_float(double x) { return static_cast<double>(static_cast<float>(x)); }

template <const char* Format>
double through_text(double x) {
  char text[detail::kMaxNumberText];
  std::snprintf(text, sizeof text, Format, x);
  return std::strtod(text, nullptr);
}

constexpr char kEnsightNumber[] = "%12.5e";
constexpr int kNastranLargeField = 16;

// What a NASTRAN GRID* field (16 characters) reads back as.
double through_large_field(double x) {
  char text[detail::kMaxFieldText];
  double value;
  detail::format_in_field(text, x, kNastranLargeField, value);
  return value;
}

const mesh_format kFormats[] = {
    {"STL", ".stl", read_stl, write_stl, stl_message, stl_fate, nullptr, false, as_float},
    {"Wavefront OBJ", ".obj", read_obj, write_obj, obj_message, obj_fate, nullptr, false, nullptr},
    {"NASTRAN bulk data", ".nas .bdf .dat", read_nastran, write_nastran, nastran_message,
     nastran_fate, nullptr, true, through_large_field, kWrittenTolerance},
    {"FEMAP neutral", ".neu", read_noted<detail::femap_input_noted>, write_femap, femap_message,
     femap_fate, nullptr, true, nullptr},
    {"MEDIT", ".mesh", read_noted<detail::medit_input_noted>, write_medit, scanned_message,
     medit_fate, nullptr, false, nullptr},
    {"MEDIT binary", ".meshb", read_noted<detail::medit_input_noted, true, false>, nullptr,
     scanned_message, nullptr, nullptr, false, nullptr},
    {"VTK legacy", ".vtk", read_noted<detail::vtk_input_noted, false>, write_vtk, scanned_message,
     vtk_fate, nullptr, false, nullptr},
    {"gmsh MSH", ".msh", read_msh, write_msh, scanned_message, msh_fate, nullptr, false, nullptr},
    {"VTK XML unstructured grid", ".vtu", one_thread<detail::read_vtu_file>, detail::write_vtu_file,
     detail::vtu_message, detail::vtu_fate, nullptr, false, nullptr},
    {"EnSight", ".geo", nullptr, write_ensight, nullptr, ensight_fate, kEnsightCompanion, false,
     through_text<kEnsightNumber>},
};

// Lower-case extension of the file name, with its dot ("" when none).
std::string extension_of(const char* path) {
  const char* name = std::strrchr(path, '/');
  name = name ? name + 1 : path;
  const char* dot = std::strrchr(name, '.');
  std::string ext = dot ? dot : "";
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext;
}

bool lists_extension(const char* extensions, const std::string& ext) {
  for (const char* p = extensions; *p;) {
    const std::size_t n = std::strcspn(p, " ");
    if (n == ext.size() && ext.compare(0, n, p, n) == 0) return true;
    p += n;
    while (*p == ' ') ++p;
  }
  return false;
}

// A pure kind; a block without elements may have any height.
bool valid_block(const mesh_block& b, std::size_t nodes) {
  const auto fits = [&](const dense1D<unsigned>& v) {
    return v.empty() || v.size() == b.connectM.cols();
  };
  if (!is_pure_kind(b.type) || !fits(b.refs) || !fits(b.entities)) return false;
  return b.connectM.cols() == 0 || (b.connectM.rows() == nbr_nodes(b.type) &&
                                    check_IDs(b.connectM, b.type, static_cast<unsigned>(nodes)));
}

// Moves every file of `temp` beside the target, `inner` (the target's own
// name) last, so that the target appears only once its companions are there.
int move_into_place(const fs::path& temp, const fs::path& inner, const fs::path& target) {
  std::error_code ec;
  for (const fs::directory_entry& e : fs::directory_iterator(temp, ec)) {
    if (e.path() == inner) continue;
    fs::rename(e.path(), target.parent_path() / e.path().filename(), ec);
    if (ec) return -1;
  }
  if (ec) return -1;
  fs::rename(inner, target, ec);
  return ec ? -1 : 0;
}

}  // namespace

std::size_t mesh_data::elements() const {
  std::size_t n = 0;
  for (const mesh_block& b : blocks) n += b.connectM.cols();
  return n;
}

const mesh_format* mesh_formats(std::size_t& count) {
  count = sizeof kFormats / sizeof kFormats[0];
  return kFormats;
}

const mesh_format* find_mesh_format(const char* path) {
  if (!path) return nullptr;
  const std::string ext = extension_of(path);
  if (ext.size() < 2) return nullptr;
  for (const mesh_format& f : kFormats)
    if (lists_extension(f.extensions, ext)) return &f;
  return nullptr;
}

int read_mesh(const char* path, mesh_data& mesh, const mesh_format** format, unsigned threads) try {
  mesh.coords = dense2D<double>();  // fresh storage: never write into a shared block
  mesh.blocks.clear();
  mesh.physical_names.clear();
  mesh.left_out.clear();
  mesh.malformed_line = 0;
  const mesh_format* f = find_mesh_format(path);
  if (format) *format = f;
  if (!f) return mesh_unknown_format;
  if (!f->read) return mesh_not_supported;
  std::error_code ec;
  const fs::file_status status = fs::status(path, ec);
  if (ec || !fs::exists(status)) return -1;
  if (!fs::is_regular_file(status)) return mesh_not_a_file;
  const int code = f->read(path, mesh, detail::thread_count(threads));
  if (code != 0) return code;
  node_reference where;
  return first_missing_node(mesh, detail::thread_count(threads), where) ? mesh_missing_node : 0;
} catch (const std::bad_alloc&) {
  return no_memory;
}

bool find_missing_node(const mesh_data& mesh, node_reference& where) {
  return first_missing_node(mesh, 1, where);
}

int replace_file(const char* path, const std::function<int(const char*)>& write) {
  const fs::path target(path ? path : "");
  if (!target.has_filename()) return -1;
  const fs::path dir = target.has_parent_path() ? target.parent_path() : fs::path(".");
  std::string pattern = (dir / ("." + target.filename().string() + ".XXXXXX")).string();
  if (!mkdtemp(pattern.data())) return -1;
  const fs::path temp(pattern);
  const fs::path inner = temp / target.filename();
  int code;
  try {
    code = write(inner.c_str());
  } catch (const std::bad_alloc&) {
    code = no_memory;
  }
  if (code == 0) code = move_into_place(temp, inner, dir / target.filename());
  std::error_code ec;
  fs::remove_all(temp, ec);
  return code;
}

int write_mesh(const char* path, const mesh_data& mesh, const write_options& opts) try {
  const mesh_format* f = find_mesh_format(path);
  if (!f) return mesh_unknown_format;
  if (!f->write) return mesh_not_supported;
  for (const mesh_block& b : mesh.blocks)
    if (!valid_block(b, mesh.coords.cols())) return mesh_invalid_block;
  return replace_file(path, [&](const char* temporary) { return f->write(temporary, mesh, opts); });
} catch (const std::bad_alloc&) {
  return no_memory;
}

const char* mesh_file_message(const mesh_format* format, int code, bool reading) {
  switch (code) {
    case 0:
      return "done";
    case no_memory:
      return "out of memory";
    case mesh_not_a_file:
      return "is not a regular file (a directory or a device)";
    case mesh_unknown_format:
      return "has no extension of a known format";
    case mesh_not_supported:
      return reading ? "is of a format that is only written" : "is of a format that is only read";
    case mesh_missing_node:
      return "has an element naming a node that does not exist";
    case mesh_invalid_block:
      return "holds a block that is not well formed";
    default:
      break;
  }
  if (reading)
    return format && format->read_message ? format->read_message(code) : "cannot be read";
  if (code == -1) return "cannot be written";
  if (code == -2) return "has coordinates of a dimension the format does not take";
  return "could not be written";
}

}  // namespace quernfold
}  // namespace ovk
