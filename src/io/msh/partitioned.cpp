// gmsh MSH 4.1 partitioned files: the model entities (one per block), one
// partitioned entity per block and part, nodes classified on the entity of
// the first element that their file's part owns around them, elements by
// entity, and the ghost elements with the partitions they are ghosts in.
// One file holds every part; split files hold one part each.
#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <new>
#include <string>
#include <vector>

#include "io/msh/kinds.h"
#include "io/shared/files.h"
#include "io/shared/number_text.h"
#include "quernfold/partition.h"

namespace ovk {
namespace quernfold {
namespace {

constexpr char kFormatSection[] = "$MeshFormat\n4.1 0 8\n$EndMeshFormat\n";
constexpr std::size_t kSpaceRows = 3;
constexpr unsigned kMaxNodes = 27;

// The elements of one block owned by one part.
struct msh_entity {
  unsigned dim;
  std::size_t tag;
  std::size_t block;
  unsigned part;
  std::vector<std::uint64_t> elements;  // global, ascending
  std::vector<std::uint64_t> nodes;     // global, ascending: those classified here
};

// An element listed in $GhostElements: its owner and the parts it is a
// ghost in.
struct ghost_element {
  std::uint64_t element;
  unsigned owner;
  std::vector<unsigned> in;
};

// What one file holds.
struct msh_plan {
  unsigned parts = 0;
  std::vector<std::size_t> model_tags;  // per block: its entity tag (0: no element)
  std::vector<msh_entity> entities;     // by dimension, then tag
  std::vector<std::size_t> ghost_tags;  // per part: its ghost entity (empty: none)
  std::vector<ghost_element> ghosts;
};

// The whole mesh, its parts and, per element, the parts it is a ghost in.
struct whole_mesh {
  mesh_data mesh;
  std::vector<unsigned> part;
  std::vector<std::size_t> block_start;
  std::vector<std::vector<unsigned>> ghost_in;
};

// gmsh's element type of a kind; 0 when gmsh has none.
long long gmsh_type(element_type type) {
  for (const detail::msh_kind& k : detail::kGmshKinds)
    if (k.type == type) return k.gmsh;
  return 0;
}

int gather(const std::vector<part_mesh>& parts, whole_mesh& w) {
  int code = assemble_mesh(parts, w.mesh);
  if (code == 0) code = element_parts(parts, w.part);
  if (code < 0) return code;
  w.block_start.assign(1, 0);
  for (const mesh_block& b : w.mesh.blocks)
    w.block_start.push_back(w.block_start.back() + b.connectM.cols());
  w.ghost_in.assign(w.part.size(), {});
  for (const part_mesh& p : parts)
    for (std::size_t k = 0; k < p.global_elements.size(); ++k)
      if (p.ghost_elements[k]) w.ghost_in[p.global_elements[k]].push_back(p.part);
  for (const mesh_block& b : w.mesh.blocks)
    if (gmsh_type(b.type) == 0) return partition_bad_type;
  return 0;
}

unsigned block_dim(const mesh_data& m, std::size_t b) { return element_dim(m.blocks[b].type); }

const unsigned* column_of(const whole_mesh& w, std::size_t b, std::uint64_t e) {
  return w.mesh.blocks[b].connectM.column(static_cast<std::size_t>(e - w.block_start[b]));
}

// The entities of the parts kept (`only` = parts: all of them) and the
// classification of their nodes: node v goes to the entity of the first
// element around it of part owner(v) (the lowest part around it in a whole
// file, the file's part in a split one), the highest dimension first. Nodes
// of no element go with part 0.
msh_plan plan_file(const whole_mesh& w, unsigned parts, unsigned only) {
  msh_plan plan;
  plan.parts = parts;
  const std::size_t blocks = w.mesh.blocks.size();
  std::vector<std::size_t> slot(blocks * parts, no_index);
  std::size_t next = blocks + 1;
  plan.model_tags.assign(blocks, 0);
  for (unsigned dim = 0; dim <= kSpaceRows; ++dim)
    for (std::size_t b = 0; b < blocks; ++b)
      for (unsigned p = 0; p < parts; ++p)
        if (block_dim(w.mesh, b) == dim && (only == parts || only == p)) {
          slot[b * parts + p] = plan.entities.size();
          plan.entities.push_back({dim, next++, b, p, {}, {}});
        }
  for (std::size_t b = 0; b < blocks; ++b)
    for (std::uint64_t e = w.block_start[b]; e < w.block_start[b + 1]; ++e)
      if (slot[b * parts + w.part[e]] != no_index) {
        plan.entities[slot[b * parts + w.part[e]]].elements.push_back(e);
        plan.model_tags[b] = b + 1;
      }
  plan.entities.erase(std::remove_if(plan.entities.begin(), plan.entities.end(),
                                     [](const msh_entity& m) { return m.elements.empty(); }),
                      plan.entities.end());
  // Nodes: the owner (lowest part around) of every node, then its entity.
  const std::size_t nodes = w.mesh.coords.cols();
  std::vector<unsigned> owner(nodes, no_index);
  std::vector<std::size_t> home(nodes, no_index);
  for (std::size_t b = 0; b < blocks; ++b)
    for (std::uint64_t e = w.block_start[b]; e < w.block_start[b + 1]; ++e)
      for (std::size_t k = 0; k < w.mesh.blocks[b].connectM.rows(); ++k) {
        unsigned& o = owner[column_of(w, b, e)[k]];
        o = std::min(o, w.part[e]);
      }
  for (msh_entity& m : plan.entities)
    for (std::uint64_t e : m.elements)
      for (std::size_t k = 0; k < w.mesh.blocks[m.block].connectM.rows(); ++k) {
        const unsigned v = column_of(w, m.block, e)[k];
        const unsigned wanted = only == parts ? owner[v] : only;
        if (m.part == wanted && (home[v] == no_index || plan.entities[home[v]].dim < m.dim))
          home[v] = static_cast<std::size_t>(&m - plan.entities.data());
      }
  for (std::size_t v = 0; v < nodes; ++v) {
    if (home[v] == no_index && owner[v] == no_index && (only == parts || only == 0)) {
      for (std::size_t k = 0; k < plan.entities.size() && home[v] == no_index; ++k)
        if (plan.entities[k].part == 0) home[v] = k;
    }
    if (home[v] != no_index) plan.entities[home[v]].nodes.push_back(v);
  }
  return plan;
}

// Ghost entities (one per part, of the model's dimension) and the ghost
// elements of that dimension; only in a whole file.
void plan_ghosts(const whole_mesh& w, msh_plan& plan) {
  unsigned top = 0;
  for (const msh_entity& m : plan.entities) top = std::max(top, m.dim);
  std::size_t next = plan.entities.empty() ? w.mesh.blocks.size() + 1 : plan.entities.back().tag;
  for (const msh_entity& m : plan.entities) next = std::max(next, m.tag + 1);
  bool any = false;
  for (std::size_t b = 0; b < w.mesh.blocks.size(); ++b)
    for (std::uint64_t e = w.block_start[b]; e < w.block_start[b + 1]; ++e)
      if (!w.ghost_in[e].empty() && block_dim(w.mesh, b) == top) {
        plan.ghosts.push_back({e, w.part[e], w.ghost_in[e]});
        any = true;
      }
  if (!any) return;
  for (unsigned p = 0; p < plan.parts; ++p) plan.ghost_tags.push_back(next++);
}

void write_point(detail::block_writer& out, const dense2D<double>& c, std::size_t j) {
  for (std::size_t i = 0; i < kSpaceRows; ++i) {
    out.shortest(i < c.rows() ? c(i, j) : 0.0);
    out.put(i + 1 < kSpaceRows ? ' ' : '\n');
  }
}

// The box of every node (min x y z max x y z), given to every entity.
std::string box_text(const dense2D<double>& c) {
  std::vector<double> box(2 * kSpaceRows, 0.0);
  for (std::size_t i = 0; i < std::min(c.rows(), kSpaceRows) && c.cols() > 0; ++i) {
    box[i] = box[kSpaceRows + i] = c(i, 0);
    for (std::size_t j = 1; j < c.cols(); ++j) {
      box[i] = std::min(box[i], c(i, j));
      box[kSpaceRows + i] = std::max(box[kSpaceRows + i], c(i, j));
    }
  }
  std::string text;
  for (double v : box) {
    char buffer[detail::kMaxNumberText];
    text.append(buffer, detail::format_shortest(buffer, v));
    text += ' ';
  }
  return text;
}

// The model entities, which gmsh needs only to give ghost entities their
// dimension: without ghosts they are left out, so that readers that look
// every element block's entity up there (meshio) read the file too.
void write_model_entities(detail::block_writer& out, const whole_mesh& w, const msh_plan& plan,
                          const std::string& box) {
  if (plan.ghost_tags.empty()) return;
  out.text("$Entities\n0");
  for (unsigned dim = 1; dim <= kSpaceRows; ++dim) {
    std::size_t count = 0;
    for (std::size_t b = 0; b < plan.model_tags.size(); ++b)
      count += plan.model_tags[b] != 0 && block_dim(w.mesh, b) == dim;
    out.put(' ');
    out.size(count);
  }
  out.put('\n');
  for (unsigned dim = 1; dim <= kSpaceRows; ++dim)
    for (std::size_t b = 0; b < plan.model_tags.size(); ++b)
      if (plan.model_tags[b] != 0 && block_dim(w.mesh, b) == dim) {
        out.size(plan.model_tags[b]);
        out.put(' ');
        out.text(box.c_str());
        out.text("0 0\n");
      }
  out.text("$EndEntities\n");
}

void write_entities(detail::block_writer& out, const whole_mesh& w, const msh_plan& plan,
                    const std::string& box) {
  write_model_entities(out, w, plan, box);
  out.text("$PartitionedEntities\n");
  out.size(plan.parts);
  out.put('\n');
  out.size(plan.ghost_tags.size());
  out.put('\n');
  for (std::size_t p = 0; p < plan.ghost_tags.size(); ++p) {
    out.size(plan.ghost_tags[p]);
    out.put(' ');
    out.size(p + 1);
    out.put('\n');
  }
  for (unsigned dim = 0; dim <= kSpaceRows; ++dim) {
    out.size(std::count_if(plan.entities.begin(), plan.entities.end(),
                           [&](const msh_entity& m) { return m.dim == dim; }));
    out.put(dim < kSpaceRows ? ' ' : '\n');
  }
  for (const msh_entity& m : plan.entities) {
    out.size(m.tag);
    out.put(' ');
    out.size(m.dim);
    out.put(' ');
    out.size(m.block + 1);
    out.text(" 1 ");
    out.size(m.part + 1);
    out.put(' ');
    out.text(box.c_str());
    out.text("0 0\n");
  }
  out.text("$EndPartitionedEntities\n");
}

// Header line of a section: blocks, count, smallest and largest tag.
template <class Tags>
void section_header(detail::block_writer& out, std::size_t blocks, const Tags& tags) {
  std::uint64_t count = 0, low = ~std::uint64_t(0), high = 0;
  tags([&](std::uint64_t t) { ++count, low = std::min(low, t), high = std::max(high, t); });
  out.size(blocks);
  out.put(' ');
  out.size(count);
  out.put(' ');
  out.size(count ? low + 1 : 0);
  out.put(' ');
  out.size(count ? high + 1 : 0);
  out.put('\n');
}

void write_nodes(detail::block_writer& out, const whole_mesh& w, const msh_plan& plan) {
  std::size_t blocks = 0;
  for (const msh_entity& m : plan.entities) blocks += !m.nodes.empty();
  out.text("$Nodes\n");
  section_header(out, blocks, [&](auto add) {
    for (const msh_entity& m : plan.entities)
      for (std::uint64_t v : m.nodes) add(v);
  });
  for (const msh_entity& m : plan.entities) {
    if (m.nodes.empty()) continue;
    out.size(m.dim);
    out.put(' ');
    out.size(m.tag);
    out.text(" 0 ");
    out.size(m.nodes.size());
    out.put('\n');
    for (std::uint64_t v : m.nodes) {
      out.size(v + 1);
      out.put('\n');
    }
    for (std::uint64_t v : m.nodes) write_point(out, w.mesh.coords, v);
  }
  out.text("$EndNodes\n");
}

void write_elements(detail::block_writer& out, const whole_mesh& w, const msh_plan& plan) {
  out.text("$Elements\n");
  section_header(out, plan.entities.size(), [&](auto add) {
    for (const msh_entity& m : plan.entities)
      for (std::uint64_t e : m.elements) add(e);
  });
  for (const msh_entity& m : plan.entities) {
    const element_type type = w.mesh.blocks[m.block].type;
    const long long gmsh = gmsh_type(type);
    const unsigned char* order = detail::order_of(detail::kGmshOrders, type);
    out.size(m.dim);
    out.put(' ');
    out.size(m.tag);
    out.put(' ');
    out.size(static_cast<std::size_t>(gmsh));
    out.put(' ');
    out.size(m.elements.size());
    out.put('\n');
    const std::size_t rows = nbr_nodes(type);
    unsigned file[kMaxNodes];
    for (std::uint64_t e : m.elements) {
      const unsigned* column = column_of(w, m.block, e);
      for (std::size_t k = 0; k < rows; ++k) file[order ? order[k] : k] = column[k];
      out.size(e + 1);
      for (std::size_t k = 0; k < rows; ++k) {
        out.put(' ');
        out.size(std::size_t(file[k]) + 1);
      }
      out.put('\n');
    }
  }
  out.text("$EndElements\n");
}

void write_ghosts(detail::block_writer& out, const msh_plan& plan) {
  if (plan.ghost_tags.empty()) return;
  out.text("$GhostElements\n");
  out.size(plan.ghosts.size());
  out.put('\n');
  for (const ghost_element& g : plan.ghosts) {
    out.size(g.element + 1);
    out.put(' ');
    out.size(g.owner + 1);
    out.put(' ');
    out.size(g.in.size());
    for (unsigned p : g.in) {
      out.put(' ');
      out.size(p + 1);
    }
    out.put('\n');
  }
  out.text("$EndGhostElements\n");
}

int write_file(const std::string& name, const whole_mesh& w, const msh_plan& plan) {
  detail::scoped_file file(name.c_str(), "w");
  if (!file) return -1;
  {
    detail::block_writer out(file.get());
    out.text(kFormatSection);
    write_entities(out, w, plan, box_text(w.mesh.coords));
    write_nodes(out, w, plan);
    write_elements(out, w, plan);
    write_ghosts(out, plan);
  }
  return std::fflush(file.get()) == 0 && !std::ferror(file.get()) ? 0 : -1;
}

}  // namespace

int msh_partitioned_output(const char* name, const std::vector<part_mesh>& parts, bool split) try {
  whole_mesh w;
  const int code = gather(parts, w);
  if (code < 0) return code;
  const unsigned count = static_cast<unsigned>(parts.size());
  if (!split) {
    msh_plan plan = plan_file(w, count, count);
    plan_ghosts(w, plan);
    return write_file(name, w, plan);
  }
  const std::filesystem::path path(name);
  for (unsigned p = 0; p < count; ++p) {
    const std::string piece =
        (path.parent_path() / (path.stem().string() + "_" + std::to_string(p + 1) + ".msh"))
            .string();
    const int written = write_file(piece, w, plan_file(w, count, p));
    if (written < 0) return written;
  }
  return 0;
} catch (const std::bad_alloc&) {
  return no_memory;
}

}  // namespace quernfold
}  // namespace ovk
