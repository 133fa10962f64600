// Reading a .pvtu by parts: rank 0 reads the names of the pieces, each rank
// reads its run of pieces whole and keeps their owned cells (vtkGhostType 0)
// with the global numbers the pieces carry; the kinds are ordered over the
// ranks by their first global cell, as the one-process reader orders the
// blocks of the whole mesh.
#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <new>
#include <string>

#include "mpi/exchange.h"
#include "quernfold/mpi.h"

namespace ovk {
namespace quernfold {
namespace mpi {
namespace {

constexpr int kRoot = 0;
constexpr int kSpaceRows = 3;
constexpr std::uint64_t kNone = ~std::uint64_t(0);
constexpr char kSourceAttribute[] = "Source=\"";

// The pieces a .pvtu names, relative to its folder; false when it cannot
// be read or names none.
bool piece_names(const char* path, std::vector<std::string>& names) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (text.find("PUnstructuredGrid") == std::string::npos) return false;
  const std::string key = kSourceAttribute;
  for (std::size_t at = text.find(key); at != std::string::npos; at = text.find(key, at)) {
    at += key.size();
    const std::size_t end = text.find('"', at);
    if (end == std::string::npos) return false;
    names.push_back(text.substr(at, end - at));
  }
  return !names.empty();
}

// The names, from rank 0 to every rank (one text, names joined by '\n').
int share_names(const char* path, const dist_mesh& mesh, std::vector<std::string>& names) {
  std::string joined;
  int code = 0;
  if (mesh.rank == kRoot) {
    code = piece_names(path, names) ? 0 : mpi_unreadable;
    for (const std::string& n : names) joined += n + '\n';
  }
  unsigned long long size = joined.size();
  MPI_Bcast(&code, 1, MPI_INT, kRoot, mesh.comm);
  MPI_Bcast(&size, 1, MPI_UNSIGNED_LONG_LONG, kRoot, mesh.comm);
  joined.resize(size);
  MPI_Bcast(joined.data(), static_cast<int>(size), MPI_CHAR, kRoot, mesh.comm);
  names.clear();
  for (std::size_t at = 0; at < joined.size();) {
    const std::size_t end = joined.find('\n', at);
    names.push_back(joined.substr(at, end - at));
    at = end + 1;
  }
  return code;
}

const vtu_array* find_array(const std::vector<vtu_array>& arrays, const char* name) {
  for (const vtu_array& a : arrays)
    if (a.name == name && a.components == 1) return &a;
  return nullptr;
}

// The owned cells of this rank's pieces, by kind: global cell and the
// global nodes of its columns; and the coordinates of the nodes they use.
struct owned_cells {
  std::vector<element_type> kinds;
  std::vector<std::vector<std::uint64_t>> cells;  // per kind: [global cell, nodes...]
  std::vector<std::pair<std::uint64_t, std::array<double, kSpaceRows>>> nodes;
};

// The node count and box of the points this piece owns.
void add_owned_nodes(const mesh_data& piece, const vtu_array* ghost, dist_mesh& mesh) {
  for (std::size_t j = 0; j < piece.coords.cols(); ++j) {
    if (ghost && ghost->values[j] != 0) continue;
    ++mesh.global_nodes;
    for (int i = 0; i < kSpaceRows; ++i) {
      const double x = static_cast<std::size_t>(i) < piece.coords.rows() ? piece.coords(i, j) : 0;
      mesh.slice_box[0][i] = mesh.has_nodes ? std::min(mesh.slice_box[0][i], x) : x;
      mesh.slice_box[1][i] = mesh.has_nodes ? std::max(mesh.slice_box[1][i], x) : x;
    }
    mesh.has_nodes = true;
  }
}

int read_piece(const std::string& path, owned_cells& owned, dist_mesh& mesh) {
  mesh_data piece;
  vtu_fields fields;
  if (vtu_input(path.c_str(), piece, fields) < 0) return mpi_unreadable;
  const vtu_array* node_ids = find_array(fields.point_data, kGlobalNodeArray);
  const vtu_array* cell_ids = find_array(fields.cell_data, kGlobalCellArray);
  const vtu_array* node_ghost = find_array(fields.point_data, kGhostArray);
  const vtu_array* cell_ghost = find_array(fields.cell_data, kGhostArray);
  if (!node_ids || !cell_ids) return mpi_unsupported;
  add_owned_nodes(piece, node_ghost, mesh);
  std::vector<char> used(piece.coords.cols(), 0);
  std::size_t e = 0;
  for (const mesh_block& b : piece.blocks) {
    auto at = std::find(owned.kinds.begin(), owned.kinds.end(), b.type);
    if (at == owned.kinds.end()) {
      owned.kinds.push_back(b.type);
      owned.cells.emplace_back();
      at = owned.kinds.end() - 1;
    }
    std::vector<std::uint64_t>& to = owned.cells[at - owned.kinds.begin()];
    for (std::size_t j = 0; j < b.connectM.cols(); ++j, ++e) {
      if (cell_ghost && cell_ghost->values[e] != 0) continue;
      to.push_back(static_cast<std::uint64_t>(cell_ids->values[e]));
      for (std::size_t k = 0; k < b.connectM.rows(); ++k) {
        const unsigned v = b.connectM(k, j);
        to.push_back(static_cast<std::uint64_t>(node_ids->values[v]));
        used[v] = 1;
      }
    }
  }
  for (std::size_t j = 0; j < used.size(); ++j) {
    if (!used[j]) continue;
    std::array<double, kSpaceRows> x = {0, 0, 0};
    for (std::size_t i = 0; i < std::min<std::size_t>(kSpaceRows, piece.coords.rows()); ++i)
      x[i] = piece.coords(i, j);
    owned.nodes.emplace_back(static_cast<std::uint64_t>(node_ids->values[j]), x);
  }
  return 0;
}

// A kind and its first global cell, gathered from every rank.
struct kind_start {
  std::uint64_t kind, first;
};

// The kinds of every rank, ordered by their first global cell.
std::vector<kind_start> global_kinds(const owned_cells& owned, const dist_mesh& mesh) {
  std::vector<kind_start> mine;
  for (std::size_t k = 0; k < owned.kinds.size(); ++k) {
    std::uint64_t first = kNone;
    const std::size_t stride = 1 + nbr_nodes(owned.kinds[k]);
    for (std::size_t i = 0; i < owned.cells[k].size(); i += stride)
      first = std::min(first, owned.cells[k][i]);
    mine.push_back({static_cast<std::uint64_t>(owned.kinds[k]), first});
  }
  std::vector<std::vector<kind_start>> out(mesh.ranks, mine);
  std::vector<kind_start> all = detail::exchange(mesh.comm, out);
  std::sort(all.begin(), all.end(), [](const kind_start& a, const kind_start& b) {
    return a.kind != b.kind ? a.kind < b.kind : a.first < b.first;
  });
  std::vector<kind_start> kinds;
  for (const kind_start& k : all)
    if (kinds.empty() || kinds.back().kind != k.kind) kinds.push_back(k);
  std::sort(kinds.begin(), kinds.end(),
            [](const kind_start& a, const kind_start& b) { return a.first < b.first; });
  return kinds;
}

// The blocks (one per kind of the file, in order), their cells by global
// number, local nodes by global number and their coordinates.
int build_mesh(owned_cells& owned, const std::vector<kind_start>& kinds, dist_mesh& mesh) {
  std::sort(owned.nodes.begin(), owned.nodes.end());
  owned.nodes.erase(std::unique(owned.nodes.begin(), owned.nodes.end(),
                                [](const auto& a, const auto& b) { return a.first == b.first; }),
                    owned.nodes.end());
  if (!mesh.local.coords.resize(kSpaceRows, owned.nodes.size())) return no_memory;
  for (std::size_t j = 0; j < owned.nodes.size(); ++j) {
    mesh.node_ids.push_back(owned.nodes[j].first);
    std::copy(owned.nodes[j].second.begin(), owned.nodes[j].second.end(),
              mesh.local.coords.column(j));
  }
  for (const kind_start& k : kinds) {
    mesh_block block;
    block.type = static_cast<element_type>(k.kind);
    const std::size_t rows = nbr_nodes(block.type), stride = 1 + rows;
    const auto at = std::find(owned.kinds.begin(), owned.kinds.end(), block.type);
    std::vector<std::uint64_t> none,
        &cells = at == owned.kinds.end() ? none : owned.cells[at - owned.kinds.begin()];
    std::vector<std::size_t> order(cells.size() / stride);
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i * stride;
    std::sort(order.begin(), order.end(),
              [&cells](std::size_t a, std::size_t b) { return cells[a] < cells[b]; });
    if (!order.empty() && !block.connectM.resize(rows, order.size())) return no_memory;
    mesh.kind_positions.emplace_back();
    for (std::size_t j = 0; j < order.size(); ++j) {
      mesh.kind_positions.back().push_back(cells[order[j]] - k.first);
      for (std::size_t r = 0; r < rows; ++r)
        block.connectM(r, j) = static_cast<unsigned>(
            std::lower_bound(mesh.node_ids.begin(), mesh.node_ids.end(), cells[order[j] + 1 + r]) -
            mesh.node_ids.begin());
    }
    mesh.first_in_kind.push_back(
        mesh.kind_positions.back().empty() ? 0 : mesh.kind_positions.back().front());
    mesh.local.blocks.push_back(std::move(block));
  }
  return 0;
}

}  // namespace

int read_pvtu_parts(const char* path, MPI_Comm comm, dist_mesh& mesh) {
  mesh.reset(comm);
  std::vector<std::string> names;
  if (int code = share_names(path, mesh, names)) return code;
  const unsigned parts = static_cast<unsigned>(names.size());
  const std::filesystem::path folder = std::filesystem::path(path).parent_path();
  owned_cells owned;
  int code = 0;
  try {
    for (unsigned p = first_part(mesh.rank, parts, mesh.ranks);
         code == 0 && p < first_part(mesh.rank + 1, parts, mesh.ranks); ++p)
      code = read_piece((folder / names[p]).string(), owned, mesh);
  } catch (const std::bad_alloc&) {
    code = no_memory;
  }
  if ((code = detail::agree(comm, code))) return code;
  mesh.global_nodes = detail::sum_all(comm, mesh.global_nodes);
  const std::vector<kind_start> kinds = global_kinds(owned, mesh);
  code = build_mesh(owned, kinds, mesh);
  mesh.first_element = detail::distribution(comm, mesh.elements());
  mesh.global_elements = mesh.first_element.back();
  return detail::agree(comm, code);
}

}  // namespace mpi
}  // namespace quernfold
}  // namespace ovk
