// Reading a gmsh MSH 4.1 file (text or binary) in slices: rank 0 scans the
// section and block headers once and cuts the node and element records
// into one contiguous run per rank; each rank seeks to its runs and reads
// them; coordinates reach the ranks whose elements use them through a
// directory keyed by node tag.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "io/msh/kinds.h"
#include "mpi/exchange.h"
#include "quernfold/mpi.h"

namespace ovk {
namespace quernfold {
namespace mpi {
namespace {

using detail::exchange;
using detail::mix;
using detail::owner_of;

constexpr int kRecordBytes = 8;  // size_t and double in the files read
constexpr unsigned kMaxRecordNodes = 27;
constexpr int kRoot = 0;
constexpr std::uint64_t kUnknown = ~std::uint64_t(0);
constexpr std::size_t kScanBytes = std::size_t(1) << 20;  // text read per step of the scan
// Node tags spanning at most this many numbers a node (or an entry) are
// looked up (or told apart) in a table.
constexpr std::uint64_t kCompactTags = 4;

// One block's records that fall in one rank's slice.
struct piece {
  int rank = 0;
  std::int64_t gmsh = 0;     // element type; for nodes the extra (parametric) numbers
  std::uint64_t first = 0;   // position of the first record among the section's records
  std::uint64_t count = 0;   // records
  std::int64_t offset = 0;   // byte offset of the first record (nodes: first tag)
  std::int64_t offset2 = 0;  // nodes: byte offset of the first coordinate record
};

// A partitioned entity of a text file: its dimension, tag and (first)
// partition, 1-based.
struct part_entity {
  std::int64_t dim, tag, partition;
};

struct file_layout {
  int binary = 0;
  std::uint64_t nodes = 0, elements = 0;
  // Node tags lowest_tag .. lowest_tag + nodes - 1, each once (dense_tags
  // 1): a node's global number is its tag less lowest_tag, its column in
  // the one-process reader, wherever the file lists it.
  std::uint64_t dense_tags = 0, lowest_tag = 0;
  std::vector<piece> node_pieces, element_pieces;
  std::vector<int> kinds;  // element_type values in order of first appearance
};

// The gmsh type number's kind; ET_UNKNOWN for point elements and others.
element_type kind_of(std::int64_t gmsh) {
  for (const auto& k : quernfold::detail::kGmshKinds)
    if (k.gmsh == gmsh) return k.type;
  return ET_UNKNOWN;
}

// Nodes per record of a gmsh type (0: a type the readers skip).
unsigned record_nodes(std::int64_t gmsh) {
  if (gmsh == quernfold::detail::kGmshPoint) return 1;
  const element_type kind = kind_of(gmsh);
  return kind == ET_UNKNOWN ? 0 : nbr_nodes(kind);
}

// ---------------------------------------------------------------------------
// The scan on rank 0
// ---------------------------------------------------------------------------

class scanner {
 public:
  scanner(std::FILE* f, int ranks) : f_(f), ranks_(ranks) {}
  ~scanner() { std::free(line_); }
  scanner(const scanner&) = delete;
  scanner& operator=(const scanner&) = delete;

  int scan(file_layout& out) {
    if (!line() || std::strncmp(line_, "$MeshFormat", 11) != 0) return mpi_unsupported;
    double version = 0;
    int size = 0;
    if (!line() || std::sscanf(line_, "%lf %d %d", &version, &out.binary, &size) != 3 ||
        version != 4.1 || size != kRecordBytes)
      return mpi_unsupported;
    if (out.binary) {
      int one = 0;
      if (std::fread(&one, sizeof one, 1, f_) != 1 || one != 1) return mpi_unsupported;
    }
    binary_ = out.binary != 0;
    bool nodes_seen = false, elements_seen = false;
    while (line()) {
      if (std::strncmp(line_, "$Nodes", 6) == 0) {
        if (int code = nodes(out)) return code;
        nodes_seen = true;
      } else if (std::strncmp(line_, "$PartitionedEntities", 20) == 0 && !binary_) {
        if (!partitioned_entities()) return mpi_malformed;
      } else if (std::strncmp(line_, "$Elements", 9) == 0) {
        if (int code = elements(out)) return code;
        elements_seen = true;
      }
    }
    return nodes_seen && elements_seen ? 0 : mpi_malformed;
  }

 private:
  bool line() {
    const ssize_t n = getline(&line_, &cap_, f_);
    return n >= 0;
  }
  bool size(std::uint64_t& v) {
    if (binary_) return std::fread(&v, sizeof v, 1, f_) == 1;
    return std::fscanf(f_, "%lu", &v) == 1;
  }
  bool int32(std::int64_t& v) {
    if (binary_) {
      int i = 0;
      if (std::fread(&i, sizeof i, 1, f_) != 1) return false;
      v = i;
      return true;
    }
    long long x = 0;
    if (std::fscanf(f_, "%lld", &x) != 1) return false;
    v = x;
    return true;
  }
  // Text: the rest of the current line is passed over.
  bool end_header() { return binary_ || line(); }

  // The rank whose slice holds record `at` of `total`.
  int slice_of(std::uint64_t at, std::uint64_t total) const {
    int r = static_cast<int>(at * static_cast<std::uint64_t>(ranks_) / total);
    while (r > 0 && start_of(r, total) > at) --r;
    while (r + 1 < ranks_ && start_of(r + 1, total) <= at) ++r;
    return r;
  }
  std::uint64_t start_of(int r, std::uint64_t total) const {
    return total * static_cast<std::uint64_t>(r) / static_cast<std::uint64_t>(ranks_);
  }

  // The partitioned entities of a text file, one a line: tag, parent
  // dimension, parent tag, partitions, the partitions (the rest passed over).
  bool partitioned_entities() {
    unsigned long long ghosts = 0, counts[4] = {0, 0, 0, 0};
    if (!line() || std::sscanf(line_, "%u", &partitions_) != 1 || !line() ||
        std::sscanf(line_, "%llu", &ghosts) != 1)
      return false;
    for (unsigned long long g = 0; g < ghosts; ++g)
      if (!line()) return false;
    if (!line() || std::sscanf(line_, "%llu %llu %llu %llu", &counts[0], &counts[1], &counts[2],
                               &counts[3]) != 4)
      return false;
    for (std::int64_t dim = 0; dim < 4; ++dim)
      for (unsigned long long k = 0; k < counts[dim]; ++k) {
        long long tag, parent_dim, parent, n, first;
        if (!line() || std::sscanf(line_, "%lld %lld %lld %lld %lld", &tag, &parent_dim, &parent,
                                   &n, &first) != 5)
          return false;
        entities_.push_back({dim, tag, first});
      }
    return partitions_ > 0;
  }

  // The rank of the records of an entity of a partitioned file (-1: read
  // in slices).
  int rank_of_entity(std::int64_t dim, std::int64_t tag) const {
    for (const part_entity& e : entities_)
      if (e.dim == dim && e.tag == tag && e.partition >= 1 &&
          static_cast<unsigned>(e.partition) <= partitions_)
        return rank_of_part(static_cast<unsigned>(e.partition - 1), partitions_, ranks_);
    return -1;
  }

  // The pieces of records [first, first + count): one per rank crossed.
  void cut(std::uint64_t first, std::uint64_t count, std::uint64_t total, std::int64_t gmsh,
           std::vector<piece>& out) {
    std::uint64_t at = first;
    while (at < first + count) {
      const int r = slice_of(at, total);
      const std::uint64_t end =
          std::min(first + count, r + 1 < ranks_ ? start_of(r + 1, total) : total);
      piece p;
      p.rank = r;
      p.gmsh = gmsh;
      p.first = at;
      p.count = end - at;
      out.push_back(p);
      at = end;
    }
  }

  // Offsets of the pieces' first records: arithmetic in binary files, a
  // walk over the lines of text files.
  bool locate(piece* p, std::size_t n, std::uint64_t first, std::uint64_t count, std::size_t record,
              bool second) {
    const std::int64_t start = ftello(f_);
    for (std::size_t k = 0; k < n; ++k) {
      const std::int64_t at = start + static_cast<std::int64_t>((p[k].first - first) * record);
      (second ? p[k].offset2 : p[k].offset) = binary_ ? at : -1;
    }
    if (binary_)
      return fseeko(f_, start + static_cast<std::int64_t>(count * record), SEEK_SET) == 0;
    return skip_lines(p, n, first, count, second);
  }

  // Text: passes over `count` lines in large reads, noting where the lines
  // of the pieces' first records start; the file is left after them.
  bool skip_lines(piece* p, std::size_t n, std::uint64_t first, std::uint64_t count, bool second) {
    std::int64_t at = ftello(f_);
    std::size_t k = 0;
    const auto mark = [&](std::uint64_t line_number) {
      for (; k < n && p[k].first == first + line_number; ++k)
        (second ? p[k].offset2 : p[k].offset) = at;
    };
    std::uint64_t lines = 0;
    mark(0);
    std::vector<char> buffer(kScanBytes);
    while (lines < count) {
      const std::size_t got = std::fread(buffer.data(), 1, buffer.size(), f_);
      if (got == 0) return false;
      const char* from = buffer.data();
      const char* end = from + got;
      while (lines < count) {
        const char* newline = static_cast<const char*>(std::memchr(from, '\n', end - from));
        if (!newline) break;
        at += newline + 1 - from;
        from = newline + 1;
        mark(++lines);
      }
      if (lines < count) at += end - from;
    }
    return fseeko(f_, at, SEEK_SET) == 0;
  }

  // A section's counts: blocks and records (the tag range is passed over).
  bool section_header(std::uint64_t& blocks, std::uint64_t& total, std::uint64_t& lo,
                      std::uint64_t& hi) {
    return size(blocks) && size(total) && size(lo) && size(hi) && end_header();
  }
  // A block's header: entity dimension, entity tag, a number (parametric
  // flag or element type) and the block's records.
  bool block_header(std::int64_t& dim, std::int64_t& entity, std::int64_t& number,
                    std::uint64_t& n) {
    return int32(dim) && int32(entity) && int32(number) && size(n) && end_header();
  }

  int nodes(file_layout& out) {
    std::uint64_t blocks, total, n;
    std::uint64_t lo, hi;
    if (!section_header(blocks, total, lo, hi)) return mpi_malformed;
    out.nodes = total;
    out.dense_tags = total > 0 && hi >= lo && hi - lo + 1 == total ? 1 : 0;
    out.lowest_tag = lo;
    std::uint64_t at = 0;
    for (std::uint64_t b = 0; b < blocks; ++b) {
      std::int64_t dim, entity, parametric;
      if (!block_header(dim, entity, parametric, n)) return mpi_malformed;
      const std::int64_t extra = parametric && (dim == 1 || dim == 2) ? dim : 0;
      const std::size_t before = out.node_pieces.size();
      cut(at, n, total, extra, out.node_pieces);
      piece* p = out.node_pieces.data() + before;
      const std::size_t k = out.node_pieces.size() - before;
      if (!locate(p, k, at, n, kRecordBytes, false) ||
          !locate(p, k, at, n, static_cast<std::size_t>(3 + extra) * kRecordBytes, true))
        return mpi_malformed;
      at += n;
    }
    return at == total ? 0 : mpi_malformed;
  }

  int elements(file_layout& out) {
    std::uint64_t blocks, total, n;
    std::uint64_t lo, hi;
    if (!section_header(blocks, total, lo, hi)) return mpi_malformed;
    out.elements = total;
    std::uint64_t at = 0;
    for (std::uint64_t b = 0; b < blocks; ++b) {
      std::int64_t dim, entity, gmsh;
      if (!block_header(dim, entity, gmsh, n)) return mpi_malformed;
      const unsigned nodes_per = record_nodes(gmsh);
      if (nodes_per == 0 && binary_) return mpi_malformed;
      const element_type kind = kind_of(gmsh);
      if (n > 0 && kind != ET_UNKNOWN &&
          std::find(out.kinds.begin(), out.kinds.end(), kind) == out.kinds.end())
        out.kinds.push_back(kind);
      const std::size_t before = out.element_pieces.size();
      cut(at, n, total, gmsh, out.element_pieces);
      // A part's elements go whole to the rank holding the part.
      const int holder = rank_of_entity(dim, entity);
      if (holder >= 0 && out.element_pieces.size() > before) {
        out.element_pieces.resize(before + 1);
        out.element_pieces[before].rank = holder;
        out.element_pieces[before].first = at;
        out.element_pieces[before].count = n;
      }
      if (!locate(out.element_pieces.data() + before, out.element_pieces.size() - before, at, n,
                  static_cast<std::size_t>(1 + nodes_per) * kRecordBytes, false))
        return mpi_malformed;
      at += n;
    }
    return at == total ? 0 : mpi_malformed;
  }

  std::FILE* f_;
  int ranks_;
  bool binary_ = false;
  unsigned partitions_ = 0;
  std::vector<part_entity> entities_;
  char* line_ = nullptr;
  std::size_t cap_ = 0;
};

template <class T>
void broadcast(MPI_Comm comm, std::vector<T>& v) {
  std::uint64_t n = v.size();
  MPI_Bcast(&n, 1, MPI_UINT64_T, kRoot, comm);
  v.resize(n);
  MPI_Bcast(v.data(), static_cast<int>(n * sizeof(T)), MPI_BYTE, kRoot, comm);
}

int scan_layout(const char* path, const dist_mesh& mesh, file_layout& layout) {
  int code = 0;
  if (mesh.rank == kRoot) {
    std::FILE* f = std::fopen(path, "rb");
    if (!f) {
      code = mpi_unreadable;
    } else {
      scanner s(f, mesh.ranks);
      code = s.scan(layout);
      std::fclose(f);
    }
  }
  MPI_Bcast(&code, 1, MPI_INT, kRoot, mesh.comm);
  if (code) return code;
  std::uint64_t head[5] = {static_cast<std::uint64_t>(layout.binary), layout.nodes, layout.elements,
                           layout.dense_tags, layout.lowest_tag};
  MPI_Bcast(head, 5, MPI_UINT64_T, kRoot, mesh.comm);
  layout.binary = static_cast<int>(head[0]);
  layout.nodes = head[1];
  layout.elements = head[2];
  layout.dense_tags = head[3];
  layout.lowest_tag = head[4];
  broadcast(mesh.comm, layout.node_pieces);
  broadcast(mesh.comm, layout.element_pieces);
  broadcast(mesh.comm, layout.kinds);
  return 0;
}

// ---------------------------------------------------------------------------
// Each rank's records
// ---------------------------------------------------------------------------

class record_reader {
 public:
  record_reader(std::FILE* f, bool binary) : f_(f), binary_(binary) {}
  ~record_reader() { std::free(line_); }
  record_reader(const record_reader&) = delete;
  record_reader& operator=(const record_reader&) = delete;

  bool seek(std::int64_t at) {
    pos_ = nullptr;
    return fseeko(f_, at, SEEK_SET) == 0;
  }
  // The next n numbers of one record (text: one line).
  bool sizes(std::uint64_t* v, unsigned n) {
    if (binary_) return std::fread(v, sizeof *v, n, f_) == n;
    if (!next_line()) return false;
    for (unsigned k = 0; k < n; ++k) {
      char* end = nullptr;
      v[k] = std::strtoull(pos_, &end, 10);
      if (end == pos_) return false;
      pos_ = end;
    }
    return true;
  }
  bool reals(double* v, unsigned n) {
    if (binary_) return std::fread(v, sizeof *v, n, f_) == n;
    if (!next_line()) return false;
    for (unsigned k = 0; k < n; ++k) {
      char* end = nullptr;
      v[k] = std::strtod(pos_, &end);
      if (end == pos_) return false;
      pos_ = end;
    }
    return true;
  }

 private:
  bool next_line() {
    if (getline(&line_, &cap_, f_) < 0) return false;
    pos_ = line_;
    return true;
  }
  std::FILE* f_;
  bool binary_;
  char* line_ = nullptr;
  std::size_t cap_ = 0;
  char* pos_ = nullptr;
};

// A node of the directory: tag, global number, coordinates.
struct node_entry {
  std::uint64_t tag = 0, id = 0;
  double x[3] = {0, 0, 0};
};

int read_node_slice(record_reader& in, const file_layout& layout, dist_mesh& mesh,
                    std::vector<std::vector<node_entry>>& out) {
  constexpr unsigned kMaxExtra = 2;
  for (const piece& p : layout.node_pieces) {
    if (p.rank != mesh.rank) continue;
    std::vector<node_entry> entries(p.count);
    if (!in.seek(p.offset)) return mpi_malformed;
    for (std::uint64_t k = 0; k < p.count; ++k) {
      if (!in.sizes(&entries[k].tag, 1)) return mpi_malformed;
      entries[k].id = layout.dense_tags ? entries[k].tag - layout.lowest_tag : p.first + k;
    }
    if (!in.seek(p.offset2)) return mpi_malformed;
    double record[3 + kMaxExtra];
    for (node_entry& e : entries) {
      if (!in.reals(record, static_cast<unsigned>(3 + p.gmsh))) return mpi_malformed;
      std::copy(record, record + 3, e.x);
      for (int i = 0; i < 3; ++i) {
        mesh.slice_box[0][i] = mesh.has_nodes ? std::min(mesh.slice_box[0][i], e.x[i]) : e.x[i];
        mesh.slice_box[1][i] = mesh.has_nodes ? std::max(mesh.slice_box[1][i], e.x[i]) : e.x[i];
      }
      mesh.has_nodes = true;
      out[owner_of(e.tag, mesh.ranks)].push_back(e);
    }
  }
  return 0;
}

// Node tags of the local elements, one list per kind of the file (gmsh's
// node order turned into the library's).
using tag_lists = std::vector<std::vector<std::uint64_t>>;

int read_element_slice(record_reader& in, const file_layout& layout, dist_mesh& mesh,
                       tag_lists& tags) {
  tags.assign(layout.kinds.size(), {});
  std::uint64_t record[1 + kMaxRecordNodes];
  for (const piece& p : layout.element_pieces) {
    if (p.rank != mesh.rank) continue;
    const element_type kind = kind_of(p.gmsh);
    if (kind == ET_UNKNOWN) continue;
    const unsigned n = nbr_nodes(kind);
    const unsigned char* order = quernfold::detail::order_of(quernfold::detail::kGmshOrders, kind);
    std::vector<std::uint64_t>& to =
        tags[std::find(layout.kinds.begin(), layout.kinds.end(), kind) - layout.kinds.begin()];
    if (!in.seek(p.offset)) return mpi_malformed;
    for (std::uint64_t e = 0; e < p.count; ++e) {
      if (!in.sizes(record, 1 + n)) return mpi_malformed;
      for (unsigned i = 0; i < n; ++i) to.push_back(record[1 + (order ? order[i] : i)]);
    }
  }
  return 0;
}

// Global numbers of the kept elements and the position of each block's
// first element within its kind.
void number_elements(const file_layout& layout, const tag_lists& tags, dist_mesh& mesh) {
  const std::size_t kinds = layout.kinds.size();
  std::vector<std::uint64_t> counts(kinds, 0);
  std::uint64_t local = 0;
  for (std::size_t k = 0; k < kinds; ++k) {
    counts[k] = tags[k].size() / nbr_nodes(static_cast<element_type>(layout.kinds[k]));
    local += counts[k];
  }
  mesh.first_element = detail::distribution(mesh.comm, local);
  mesh.global_elements = mesh.first_element.back();
  mesh.first_in_kind.assign(kinds, 0);
  MPI_Exscan(counts.data(), mesh.first_in_kind.data(), static_cast<int>(kinds), MPI_UINT64_T,
             MPI_SUM, mesh.comm);
  if (mesh.rank == 0) std::fill(mesh.first_in_kind.begin(), mesh.first_in_kind.end(), 0);
}

// The directory's answers to this rank's node tags (id kUnknown: no such
// node).
std::vector<node_entry> ask_directory(std::vector<node_entry>& directory,
                                      const std::vector<std::uint64_t>& wanted,
                                      const dist_mesh& mesh) {
  const auto by_tag = [](const node_entry& a, const node_entry& b) { return a.tag < b.tag; };
  std::sort(directory.begin(), directory.end(), by_tag);
  std::vector<node_entry> known;
  const int rounds = detail::rounds_for(mesh.comm, wanted.size());
  for (int round = 0; round < rounds; ++round) {
    std::vector<std::vector<std::uint64_t>> asks(mesh.ranks);
    for (std::uint64_t t : wanted) {
      const detail::destination d = detail::destination_of(mix(t), mesh.ranks, rounds);
      if (d.round == round) asks[d.rank].push_back(t);
    }
    std::vector<std::vector<node_entry>> answers(mesh.ranks);
    std::vector<std::uint64_t> per_rank(mesh.ranks), asked_counts(mesh.ranks);
    for (int r = 0; r < mesh.ranks; ++r) per_rank[r] = asks[r].size();
    MPI_Alltoall(per_rank.data(), 1, MPI_UINT64_T, asked_counts.data(), 1, MPI_UINT64_T, mesh.comm);
    const std::vector<std::uint64_t> asked = exchange(mesh.comm, asks);
    std::size_t at = 0;
    for (int r = 0; r < mesh.ranks; ++r)
      for (std::uint64_t k = 0; k < asked_counts[r]; ++k, ++at) {
        node_entry key;
        key.tag = asked[at];
        auto it = std::lower_bound(directory.begin(), directory.end(), key, by_tag);
        const bool found = it != directory.end() && it->tag == key.tag;
        if (!found) key.id = kUnknown;
        answers[r].push_back(found ? *it : key);
      }
    const std::vector<node_entry> got = exchange(mesh.comm, answers);
    known.insert(known.end(), got.begin(), got.end());
  }
  std::vector<node_entry>().swap(directory);
  return known;
}

// The distinct tags of the lists, increasing: marked in a table when they
// span few more numbers than there are entries, else sorted.
std::vector<std::uint64_t> distinct_tags(const tag_lists& tags) {
  std::uint64_t low = ~std::uint64_t(0), high = 0, entries = 0;
  for (const auto& t : tags)
    for (std::uint64_t tag : t) low = std::min(low, tag), high = std::max(high, tag), ++entries;
  std::vector<std::uint64_t> wanted;
  if (entries > 0 && high - low < kCompactTags * entries) {
    std::vector<char> used(high - low + 1, 0);
    for (const auto& t : tags)
      for (std::uint64_t tag : t) used[tag - low] = 1;
    for (std::uint64_t k = 0; k < used.size(); ++k)
      if (used[k]) wanted.push_back(low + k);
    return wanted;
  }
  for (const auto& t : tags) wanted.insert(wanted.end(), t.begin(), t.end());
  std::sort(wanted.begin(), wanted.end());
  wanted.erase(std::unique(wanted.begin(), wanted.end()), wanted.end());
  return wanted;
}

// Node tags to local node numbers (the used nodes in global order), the
// blocks and the coordinates.
int resolve_nodes(std::vector<node_entry>& directory, const file_layout& layout, tag_lists& tags,
                  dist_mesh& mesh) {
  std::vector<node_entry> known = ask_directory(directory, distinct_tags(tags), mesh);
  for (const node_entry& e : known)
    if (e.id == kUnknown) return mpi_malformed;
  std::sort(known.begin(), known.end(),
            [](const node_entry& a, const node_entry& b) { return a.id < b.id; });
  mesh.node_ids.resize(known.size());
  if (!mesh.local.coords.resize(3, known.size())) return no_memory;
  for (std::size_t j = 0; j < known.size(); ++j) {
    mesh.node_ids[j] = known[j].id;
    std::copy(known[j].x, known[j].x + 3, mesh.local.coords.column(j));
    known[j].id = j;  // now the local node
  }
  const auto by_tag = [](const node_entry& a, const node_entry& b) { return a.tag < b.tag; };
  std::sort(known.begin(), known.end(), by_tag);
  // Tags that span few more numbers than there are nodes (gmsh's 1 to N)
  // find their node in a table indexed by tag, others by bisection.
  const std::uint64_t low = known.empty() ? 0 : known.front().tag;
  const bool compact = !known.empty() && known.back().tag - low < kCompactTags * known.size();
  std::vector<unsigned> by_position(compact ? known.back().tag - low + 1 : 0);
  for (std::size_t j = 0; compact && j < known.size(); ++j)
    by_position[known[j].tag - low] = static_cast<unsigned>(known[j].id);
  for (std::size_t k = 0; k < tags.size(); ++k) {
    mesh_block block;
    block.type = static_cast<element_type>(layout.kinds[k]);
    const unsigned n = nbr_nodes(block.type);
    if (!block.connectM.resize(n, tags[k].size() / n)) return no_memory;
    unsigned* to = block.connectM.data();
    for (std::uint64_t t : tags[k]) {
      node_entry key;
      key.tag = t;
      *to++ = compact ? by_position[t - low]
                      : static_cast<unsigned>(
                            std::lower_bound(known.begin(), known.end(), key, by_tag)->id);
    }
    std::vector<std::uint64_t>().swap(tags[k]);
    mesh.local.blocks.push_back(block);
  }
  return 0;
}

}  // namespace

int read_msh_slices(const char* path, MPI_Comm comm, dist_mesh& mesh) {
  mesh.reset(comm);
  file_layout layout;
  if (int code = scan_layout(path, mesh, layout)) return code;
  mesh.global_nodes = layout.nodes;
  std::FILE* f = std::fopen(path, "rb");
  int code = f ? 0 : mpi_unreadable;
  std::vector<std::vector<node_entry>> out(mesh.ranks);
  tag_lists tags;
  if (f) {
    record_reader in(f, layout.binary != 0);
    code = read_node_slice(in, layout, mesh, out);
    if (code == 0) code = read_element_slice(in, layout, mesh, tags);
    std::fclose(f);
  }
  if ((code = detail::agree(comm, code))) return code;
  std::vector<node_entry> directory = exchange(comm, out);
  number_elements(layout, tags, mesh);
  return detail::agree(comm, resolve_nodes(directory, layout, tags, mesh));
}

}  // namespace mpi
}  // namespace quernfold
}  // namespace ovk
