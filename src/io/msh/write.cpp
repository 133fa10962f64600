// gmsh MSH files written in version 4.1 ASCII: one geometric entity per
// matrix of the range, every node in one block, one element block per piece
// of one kind, node and element tags counted from 1.
#include <algorithm>
#include <cstddef>
#include <map>
#include <utility>
#include <vector>

#include "io/msh/kinds.h"
#include "io/shared/files.h"
#include "io/shared/number_text.h"
#include "io/shared/ranges.h"
#include "quernfold/io.h"

namespace ovk {
namespace quernfold {

namespace {

constexpr char kFormatSection[] = "$MeshFormat\n4.1 0 8\n$EndMeshFormat\n";
// Rows of the coordinates the writer takes; missing rows are written as 0.
constexpr std::size_t kMinRows = 1;
constexpr std::size_t kSpaceRows = 3;
// Nodes of an element at most.
constexpr unsigned kMaxNodes = 27;

// One element block: a piece of the range with its gmsh type, node order
// and entity (dimension, and the tag given to its matrix or else the
// position of its matrix in the range + 1).
struct msh_block {
  const detail::mesh_part* part;
  long long gmsh;
  const unsigned char* order;
  unsigned dim;
  std::size_t entity;
};

// The element blocks of the pieces whose kind gmsh has; ET_NODE pieces are
// left out.
std::vector<msh_block> plan_blocks(const std::vector<detail::mesh_part>& parts,
                                   const msh_groups& groups) {
  std::vector<msh_block> blocks;
  for (const detail::mesh_part& p : parts) {
    const detail::msh_kind* kind = nullptr;
    for (const detail::msh_kind& k : detail::kGmshKinds)
      if (k.type == p.type) kind = &k;
    if (!kind) continue;
    const std::size_t entity = groups.entity ? groups.entity[p.source] : std::size_t(p.source) + 1;
    blocks.push_back({&p, kind->gmsh, detail::order_of(detail::kGmshOrders, p.type),
                      element_dim(p.type), entity});
  }
  return blocks;
}

// x y z of node j, rows beyond the coordinates' 0.
void write_point(detail::block_writer& out, const dense2D<double>& coords, std::size_t j) {
  for (std::size_t i = 0; i < kSpaceRows; ++i) {
    if (i > 0) out.put(' ');
    out.shortest(i < coords.rows() ? coords(i, j) : 0.0);
  }
}

// The box of all nodes as min x y z then max x y z (zeros without nodes);
// every entity is given this box.
void write_box(detail::block_writer& out, const dense2D<double>& coords) {
  double box[2 * kSpaceRows] = {};
  for (std::size_t i = 0; i < coords.rows() && coords.cols() > 0; ++i) {
    box[i] = box[kSpaceRows + i] = coords(i, 0);
    for (std::size_t j = 1; j < coords.cols(); ++j) {
      box[i] = std::min(box[i], coords(i, j));
      box[kSpaceRows + i] = std::max(box[kSpaceRows + i], coords(i, j));
    }
  }
  for (double v : box) {
    out.shortest(v);
    out.put(' ');
  }
}

// The physical names, each as: dimension, tag, quoted name.
void write_names(detail::block_writer& out, const std::vector<physical_name>& names) {
  out.text("$PhysicalNames\n");
  out.size(names.size());
  out.put('\n');
  for (const physical_name& n : names) {
    out.size(n.dimension);
    out.put(' ');
    out.size(n.tag);
    out.text(" \"");
    out.text(n.name.c_str());
    out.text("\"\n");
  }
  out.text("$EndPhysicalNames\n");
}

// An entity of the file: its dimension, tag and physical tags.
struct msh_entity {
  unsigned dim;
  std::size_t tag;
  std::vector<unsigned> physical;
};

// The entities of the element blocks, in block order: one per dimension and
// tag, with the distinct non-zero physical tags of its matrices.
std::vector<msh_entity> plan_entities(const std::vector<msh_block>& blocks,
                                      const msh_groups& groups) {
  std::vector<msh_entity> entities;
  std::map<std::pair<unsigned, std::size_t>, std::size_t> found;
  for (const msh_block& b : blocks) {
    const auto at = found.emplace(std::make_pair(b.dim, b.entity), entities.size());
    if (at.second) entities.push_back({b.dim, b.entity, {}});
    std::vector<unsigned>& physical = entities[at.first->second].physical;
    const unsigned tag = groups.physical ? groups.physical[b.part->source] : 0;
    if (tag && std::find(physical.begin(), physical.end(), tag) == physical.end())
      physical.push_back(tag);
  }
  return entities;
}

// Every curve, surface and volume, with its physical tags and without
// bounding entities; no points.
void write_entities(detail::block_writer& out, const dense2D<double>& coords,
                    const std::vector<msh_entity>& entities) {
  out.text("$Entities\n0");
  for (unsigned dim = 1; dim <= kSpaceRows; ++dim) {
    out.put(' ');
    out.size(std::count_if(entities.begin(), entities.end(),
                           [&](const msh_entity& e) { return e.dim == dim; }));
  }
  out.put('\n');
  for (unsigned dim = 1; dim <= kSpaceRows; ++dim)
    for (const msh_entity& e : entities) {
      if (e.dim != dim) continue;
      out.size(e.tag);
      out.put(' ');
      write_box(out, coords);
      out.size(e.physical.size());
      for (unsigned tag : e.physical) {
        out.put(' ');
        out.size(tag);
      }
      out.text(" 0\n");
    }
  out.text("$EndEntities\n");
}

// Every node in one block of tags 1..n, on the first entity of the highest
// dimension (on curve 1 when there is no element).
void write_nodes(detail::block_writer& out, const dense2D<double>& coords,
                 const std::vector<msh_block>& blocks) {
  const std::size_t n = coords.cols();
  const msh_block* host = nullptr;
  for (const msh_block& b : blocks)
    if (!host || b.dim > host->dim) host = &b;
  out.text("$Nodes\n");
  out.text(n > 0 ? "1 " : "0 ");
  out.size(n);
  out.text(n > 0 ? " 1 " : " 0 ");
  out.size(n);
  out.put('\n');
  if (n > 0) {
    out.size(host ? host->dim : 1);
    out.put(' ');
    out.size(host ? host->entity : 1);
    out.text(" 0 ");
    out.size(n);
    out.put('\n');
    for (std::size_t j = 0; j < n; ++j) {
      out.size(j + 1);
      out.put('\n');
    }
    for (std::size_t j = 0; j < n; ++j) {
      write_point(out, coords, j);
      out.put('\n');
    }
  }
  out.text("$EndNodes\n");
}

// One block per piece, element tags 1..m in block order, each element's
// nodes in gmsh's order.
void write_elements(detail::block_writer& out, const std::vector<msh_block>& blocks) {
  std::size_t m = 0;
  for (const msh_block& b : blocks) m += b.part->connect.cols();
  out.text("$Elements\n");
  out.size(blocks.size());
  out.put(' ');
  out.size(m);
  out.text(m > 0 ? " 1 " : " 0 ");
  out.size(m);
  out.put('\n');
  std::size_t tag = 0;
  for (const msh_block& b : blocks) {
    const dense2D<unsigned>& c = b.part->connect;
    out.size(b.dim);
    out.put(' ');
    out.size(b.entity);
    out.put(' ');
    out.size(static_cast<std::size_t>(b.gmsh));
    out.put(' ');
    out.size(c.cols());
    out.put('\n');
    unsigned file[kMaxNodes];
    for (std::size_t j = 0; j < c.cols(); ++j) {
      for (std::size_t k = 0; k < c.rows(); ++k) file[b.order ? b.order[k] : k] = c(k, j);
      out.size(++tag);
      for (std::size_t k = 0; k < c.rows(); ++k) {
        out.put(' ');
        out.size(std::size_t(file[k]) + 1);
      }
      out.put('\n');
    }
  }
  out.text("$EndElements\n");
}

}  // namespace

namespace {

int write_msh(FILE* stream, dense2D<double> const& coords, dense2D<unsigned> const* first,
              dense2D<unsigned> const* last, dense1D<int> const& types, msh_groups const& groups) {
  if (!stream || std::ferror(stream)) return -1;
  int code = detail::check_range(coords, first, last, types, static_cast<unsigned>(coords.cols()),
                                 kMinRows, kSpaceRows);
  if (code < 0) return code;
  std::vector<detail::mesh_part> parts;
  code = detail::split_mixed(first, last, types, parts);
  if (code < 0) return code;
  const std::vector<msh_block> blocks = plan_blocks(parts, groups);
  detail::block_writer out(stream);
  out.text(kFormatSection);
  if (groups.names && !groups.names->empty()) write_names(out, *groups.names);
  write_entities(out, coords, plan_entities(blocks, groups));
  write_nodes(out, coords, blocks);
  write_elements(out, blocks);
  out.flush();
  return std::ferror(stream) ? -1 : 0;
}

}  // namespace

int msh_output(FILE* stream, dense2D<double> const& coords, dense2D<unsigned> const* first,
               dense2D<unsigned> const* last, dense1D<int> const& types) {
  return write_msh(stream, coords, first, last, types, msh_groups());
}

int msh_output(char const* name, dense2D<double> const& coords, dense2D<unsigned> const* first,
               dense2D<unsigned> const* last, dense1D<int> const& types) {
  return msh_output(name, coords, first, last, types, msh_groups());
}

int msh_output(char const* name, dense2D<double> const& coords, dense2D<unsigned> const* first,
               dense2D<unsigned> const* last, dense1D<int> const& types, msh_groups const& groups) {
  detail::scoped_file file(name, "w");
  if (!file) return -1;
  const int code = write_msh(file.get(), coords, first, last, types, groups);
  if (code < 0) return code;
  return std::fflush(file.get()) == 0 ? 0 : -1;
}

QUERNFOLD_RANGE_WRITER_FORMS(msh_output)

}  // namespace quernfold
}  // namespace ovk
