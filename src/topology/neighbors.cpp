// Element faces and neighbors across them.
//
// Neighbor search groups equal faces. Its outcome depends only on the groups
// (sets of equal element faces, each in ascending face number), so the faces
// are bucketed by their smallest node modulo a prime sized for about two
// faces per bucket: for the usual compact node numbering that prime exceeds
// every node, each bucket holds the faces around one node, and both passes
// over the connectivity touch memory in mesh order. Within a bucket, whose
// records stand in ascending face number, an open-addressing table of the
// bucket's own size finds each face's group, and the links are set as the
// group grows: the first face always points to the latest member and every
// later one to the first, and a group that reaches three faces is unlinked
// when non-manifold faces are not linked.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <utility>

#include "common/parallel.h"
#include "common/prefetch.h"
#include "common/primes.h"
#include "topology/face_tools.h"
#include "topology/node_lists.h"
#include "topology/threaded.h"

namespace ovk {
namespace quernfold {
namespace {

// Fewest buckets of the face table.
constexpr std::uint64_t kMinBuckets = 23;

// One element face in the table: its canonical key, packed into two words,
// and its face number, kept as element and local face.
struct face_record {
  std::uint64_t high;  // the first two words of the key (the smallest node first)
  std::uint64_t low;   // the last two words of the key
  std::uint32_t element;
  std::uint32_t local;

  static face_record of(const detail::face_key& k, std::uint32_t element, unsigned local) noexcept {
    return {std::uint64_t(k.v[0]) << 32 | k.v[1], std::uint64_t(k.v[2]) << 32 | k.v[3], element,
            local};
  }
  bool same_face(const face_record& o) const noexcept { return high == o.high && low == o.low; }
};

// Fewest nodes of one face of the table.
constexpr unsigned smallest_face(const detail::face_table& table) noexcept {
  unsigned fewest = table.size[0];
  for (unsigned i = 1; i < table.count; ++i)
    if (table.size[i] < fewest) fewest = table.size[i];
  return fewest;
}

// Calls visit(nodes, n, i) for every local face i of a column of the pure
// kind Shape, the face list unrolled at compile time. The nodes array is
// always filled from four rows of the column (rows the face does not use
// repeat row 0); only the first n count.
template <element_type Shape, class Visit, std::size_t... I>
void visit_pure_faces(const unsigned* column, Visit&& visit, std::index_sequence<I...>) {
  constexpr const detail::face_table& table = *detail::faces_of_shape(Shape);
  auto face = [&](std::size_t i) {
    const unsigned nodes[4] = {column[table.nodes[i][0]], column[table.nodes[i][1]],
                               column[table.nodes[i][2]], column[table.nodes[i][3]]};
    visit(nodes, unsigned(table.size[i]), unsigned(i));
  };
  (face(I), ...);
}

// The faces of the columns of one pure kind (Shape, of Rows nodes), or of
// each column's own shape in a mixed matrix (Shape = ET_UNKNOWN).
template <element_type Shape, unsigned Rows = 0>
struct column_faces {
  element_type kind;

  // The columns of M, read in all rows for a pure kind and in the rows of
  // the column's own shape in a mixed matrix.
  auto columns_of(const dense2D<unsigned>& M) const noexcept {
    if constexpr (Shape == ET_UNKNOWN)
      return detail::shaped_columns(M, kind);
    else
      return detail::whole_columns<Rows>(M);
  }

  // False when no face of the column can have v as its smallest node: a
  // face leaves out at most `spare` rows, so when more rows than that hold
  // nodes below v, every face holds one of them.
  bool may_start_at(const unsigned* column, unsigned v) const noexcept {
    if constexpr (Shape == ET_UNKNOWN) {
      return true;
    } else {
      constexpr const detail::face_table& table = *detail::faces_of_shape(Shape);
      constexpr unsigned spare = Rows - smallest_face(table);
      unsigned below = 0;
      for (unsigned r = 0; r < Rows; ++r) below += column[r] < v;
      return below <= spare;
    }
  }

  template <class Visit>
  void visit(const unsigned* column, Visit&& visit) const {
    if constexpr (Shape != ET_UNKNOWN) {
      constexpr unsigned count = detail::faces_of_shape(Shape)->count;
      visit_pure_faces<Shape>(column, visit, std::make_index_sequence<count>());
    } else {
      const detail::face_table& table = detail::column_faces(kind, column);
      for (unsigned i = 0; i < table.count; ++i) {
        unsigned nodes[4] = {};
        visit(static_cast<const unsigned*>(nodes), detail::read_face(table, i, column, nodes), i);
      }
    }
  }
};

// Sets the neighbors of the faces of one bucket as their groups grow.
class group_linker {
 public:
  // With `unlinked` (when non-manifold faces are linked), the neighbours
  // with them left unlinked are set there as well, in the same walk.
  group_linker(dense2D<unsigned>& neighbors, bool link_non_manifold,
               dense2D<unsigned>* unlinked = nullptr) noexcept
      : neighbors_(neighbors), unlinked_(unlinked), link_non_manifold_(link_non_manifold) {}

  // A linker writing into the same neighbours with a table of its own, for
  // another thread.
  group_linker fresh() const noexcept {
    return group_linker(neighbors_, link_non_manifold_, unlinked_);
  }

  // Room for buckets of up to `largest` records; false when memory cannot
  // be had.
  bool size_for(std::size_t largest) {
    std::size_t capacity = 4;
    while (capacity < 2 * largest) capacity *= 2;
    slots_.reset(new (std::nothrow) slot[capacity]());
    return slots_ != nullptr;
  }

  // Links the k records of one bucket, given in ascending face number.
  void link_bucket(const face_record* records, std::size_t k) {
    if (k < 2) return;
    if (k == 2) {
      if (records[0].same_face(records[1])) join_first_pair(records[0], records[1]);
      return;
    }
    // A table of at least twice the bucket's size, its slots told fresh by
    // the bucket's stamp.
    ++stamp_;
    unsigned bits = 2;
    while ((std::size_t(1) << bits) < 2 * k) ++bits;
    const std::size_t mask = (std::size_t(1) << bits) - 1;
    for (std::size_t r = 0; r < k; ++r) {
      const face_record& face = records[r];
      std::size_t h = std::size_t((face.high * kMixHigh + face.low * kMixLow) >> (64 - bits));
      for (;; h = (h + 1) & mask) {
        slot& s = slots_[h];
        if (s.stamp != stamp_) {
          s = slot{stamp_, static_cast<std::uint32_t>(r), 0, 1};
          break;
        }
        if (records[s.first].same_face(face)) {
          join(s, records, r);
          break;
        }
      }
    }
  }

 private:
  // Odd multipliers that spread the key words over the hash's top bits.
  static constexpr std::uint64_t kMixHigh = 0x9E3779B97F4A7C15ull;
  static constexpr std::uint64_t kMixLow = 0xC2B2AE3D27D4EB4Full;

  // One group of the bucket: its first and second record and its size.
  struct slot {
    std::uint64_t stamp;
    std::uint32_t first;
    std::uint32_t second;
    std::uint64_t size;
  };

  unsigned& entry(const face_record& r) noexcept { return neighbors_(r.local, r.element); }

  void join_pair(const face_record& first, const face_record& second) noexcept {
    entry(first) = second.element;
    entry(second) = first.element;
  }

  // The first two faces of a group, linked alike in both outputs.
  void join_first_pair(const face_record& first, const face_record& second) noexcept {
    join_pair(first, second);
    if (!unlinked_) return;
    (*unlinked_)(first.local, first.element) = second.element;
    (*unlinked_)(second.local, second.element) = first.element;
  }

  // Record r joins the group of slot s.
  void join(slot& s, const face_record* records, std::size_t r) noexcept {
    const face_record& first = records[s.first];
    if (++s.size == 2) {
      s.second = static_cast<std::uint32_t>(r);
      join_first_pair(first, records[r]);
    } else if (link_non_manifold_) {
      join_pair(first, records[r]);
      if (unlinked_ && s.size == 3) {
        const face_record& second = records[s.second];
        (*unlinked_)(first.local, first.element) = no_index;
        (*unlinked_)(second.local, second.element) = no_index;
      }
    } else if (s.size == 3) {
      entry(first) = entry(records[s.second]) = no_index;  // records[r] stays ~0U
    }
  }

  dense2D<unsigned>& neighbors_;
  dense2D<unsigned>* unlinked_;
  bool link_non_manifold_;
  std::unique_ptr<slot[]> slots_;
  std::uint64_t stamp_ = 0;
};

// Faces bucketed by smallest node: bucket b holds records[start(b) .. end(b)).
class face_buckets {
 public:
  // Sizes the table for `buckets` buckets; false when memory cannot be had.
  bool size_for(std::uint32_t buckets) {
    buckets_ = buckets;
    ends_.reset(new (std::nothrow) std::size_t[std::size_t(buckets_) + 1]());
    return ends_ != nullptr;
  }

  std::uint32_t bucket_of(std::uint32_t smallest) const noexcept {
    return smallest < buckets_ ? smallest : smallest % buckets_;
  }

  // Two passes over the faces of the matrix: count per bucket (only the
  // smallest node is needed), then place the records, so that each bucket
  // keeps the faces in insertion order.
  template <class Faces>
  bool fill(const dense2D<unsigned>& connectM, const Faces& faces) {
    for_each_face(connectM, faces, [&](const unsigned* nodes, unsigned n, std::size_t, unsigned) {
      ++ends_[bucket_of(nodes[detail::first_smallest(nodes, n)]) + 1];
    });
    for (std::size_t b = 1; b <= buckets_; ++b) {
      largest_ = std::max(largest_, ends_[b]);
      ends_[b] += ends_[b - 1];
    }
    records_.reset(new (std::nothrow) face_record[ends_[buckets_]]);
    if (!records_) return false;
    for_each_face(connectM, faces,
                  [&](const unsigned* nodes, unsigned n, std::size_t j, unsigned i) {
                    const detail::face_key key = detail::canonical_face(nodes, n);
                    records_[ends_[bucket_of(key.v[0])]++] =
                        face_record::of(key, static_cast<std::uint32_t>(j), i);
                  });
    return true;
  }

  // Most records in one bucket.
  std::size_t largest() const noexcept { return largest_; }

  // Calls visit(first, count) for the records of every bucket.
  template <class Visit>
  void for_each_bucket(Visit&& visit) const {
    std::size_t begin = 0;
    for (std::size_t b = 0; b < buckets_; ++b) {
      visit(&records_[begin], ends_[b] - begin);
      begin = ends_[b];
    }
  }

 private:
  template <class Faces, class Visit>
  static void for_each_face(const dense2D<unsigned>& connectM, const Faces& faces, Visit&& visit) {
    const unsigned* base = connectM.data();
    const std::size_t ld = connectM.ld();
    for (std::size_t j = 0; j < connectM.cols(); ++j)
      faces.visit(base + j * ld,
                  [&](const unsigned* nodes, unsigned n, unsigned i) { visit(nodes, n, j, i); });
  }

  std::uint32_t buckets_ = 0;
  std::size_t largest_ = 0;
  // After fill(): ends_[b] is the end of bucket b (its start is ends_[b - 1],
  // 0 for the first bucket).
  std::unique_ptr<std::size_t[]> ends_;
  std::unique_ptr<face_record[]> records_;
};

// Gathers the bucket of each node of [first, last) by walking the elements
// around it in ascending order, each element's faces in local order, and
// keeping the faces whose smallest node it is; links bucket by bucket.
// Every face is linked by the bucket of its smallest node alone, so node
// ranges linked apart write apart.
template <class Faces, class Columns>
bool link_node_range(const Columns& columns, const detail::node_elements& lists, const Faces& faces,
                     unsigned F, group_linker& linker, std::size_t first, std::size_t last) {
  const std::size_t most = std::size_t(F) * lists.longest;
  std::unique_ptr<face_record[]> bucket(new (std::nothrow) face_record[most]);
  if (!bucket || !linker.size_for(most)) return false;
  for (std::size_t v = first; v < last; ++v) {
    std::size_t k = 0;
    lists.for_each_element(
        v,
        [&](unsigned e) {
          const unsigned* column = columns.column(e);
          if (!faces.may_start_at(column, static_cast<unsigned>(v))) return;
          faces.visit(column, [&](const unsigned* nodes, unsigned n, unsigned i) {
            if (detail::smallest_node(nodes, n) != v) return;
            // Three-node faces, the common case, take their key inline.
            const detail::face_key key =
                n == 3 ? detail::triangle_key(nodes) : detail::canonical_face(nodes, n);
            bucket[k++] = face_record::of(key, e, i);
          });
        },
        [&](unsigned e) { detail::prefetch(columns.column(e)); });
    linker.link_bucket(bucket.get(), k);
  }
  return true;
}

// Node ranges per thread of the threaded walk: more than one, so that a
// thread that starts late still finds work.
constexpr std::size_t kRangesPerThread = 4;

// link_node_range over all nodes, in node ranges on `threads` threads (1:
// on the calling thread), each range with a linker of its own.
template <class Faces, class Columns>
bool link_around_nodes(const Columns& columns, detail::node_elements& lists, unsigned largest,
                       const Faces& faces, unsigned F, group_linker& linker, unsigned threads) {
  if (!lists.sort(columns, largest, threads)) return false;
  if (threads <= 1) return link_node_range(columns, lists, faces, F, linker, 0, lists.nodes);
  const std::size_t ranges = std::min(lists.nodes, std::size_t(threads) * kRangesPerThread);
  std::unique_ptr<bool[]> linked(new (std::nothrow) bool[ranges]());
  if (!linked) return false;
  detail::run_parallel(threads, ranges, [&](std::size_t r) {
    std::size_t first, last;
    detail::split_range(lists.nodes, r, ranges, first, last);
    group_linker own = linker.fresh();
    linked[r] = link_node_range(columns, lists, faces, F, own, first, last);
  });
  return std::all_of(linked.get(), linked.get() + ranges, [](bool ok) { return ok; });
}

// Links the faces of every column bucket by bucket. The buckets are the
// nodes when there are no more nodes than the prime sized for the faces
// would give buckets (the usual compact numbering); otherwise the smallest
// node modulo that prime.
template <class Faces>
bool link_faces(const dense2D<unsigned>& connectM, const Faces& faces, unsigned F,
                group_linker& linker, unsigned threads) {
  const std::uint64_t n = std::uint64_t(F) * connectM.cols();
  const std::uint32_t buckets = detail::prime_at_least(std::max(n / 2, kMinBuckets));
  const auto columns = faces.columns_of(connectM);
  detail::node_elements lists;
  const unsigned largest = lists.scan(columns, [](const unsigned*, std::size_t) {});
  if (largest < buckets)
    return link_around_nodes(columns, lists, largest, faces, F, linker, threads);
  face_buckets table;
  if (!table.size_for(buckets) || !table.fill(connectM, faces) || !linker.size_for(table.largest()))
    return false;
  table.for_each_bucket(
      [&](const face_record* records, std::size_t k) { linker.link_bucket(records, k); });
  return true;
}

// link_faces with the face list of the kind: the pure kinds read theirs
// once for the whole matrix.
bool link_kind(const dense2D<unsigned>& connectM, element_type FE, unsigned F, group_linker& linker,
               unsigned threads) {
  switch (FE) {
    case ET_EDGE2:
      return link_faces(connectM, column_faces<ET_EDGE2, 2>{FE}, F, linker, threads);
    case ET_TRIA3:
      return link_faces(connectM, column_faces<ET_TRIA3, 3>{FE}, F, linker, threads);
    case ET_QUAD4:
      return link_faces(connectM, column_faces<ET_QUAD4, 4>{FE}, F, linker, threads);
    case ET_TETRA4:
      return link_faces(connectM, column_faces<ET_TETRA4, 4>{FE}, F, linker, threads);
    case ET_PYRAMID5:
      return link_faces(connectM, column_faces<ET_PYRAMID5, 5>{FE}, F, linker, threads);
    case ET_WEDGE6:
      return link_faces(connectM, column_faces<ET_WEDGE6, 6>{FE}, F, linker, threads);
    case ET_HEXA8:
      return link_faces(connectM, column_faces<ET_HEXA8, 8>{FE}, F, linker, threads);
    default:
      return link_faces(connectM, column_faces<ET_UNKNOWN>{FE}, F, linker, threads);
  }
}

// M := F x cols of ~0U, filled by column ranges on `threads` threads (the
// zero pages the system hands out touched first on them). False when
// memory cannot be had.
bool unlinked_matrix(dense2D<unsigned>& M, unsigned F, std::size_t cols, unsigned threads) {
  if (threads <= 1) return M.resize(F, cols, no_index);
  if (!M.resize(F, cols)) return false;
  detail::parallel_ranges(threads, cols, [&](std::size_t first, std::size_t last) {
    for (std::size_t j = first; j < last; ++j) std::fill_n(M.column(j), F, no_index);
  });
  return true;
}

// The neighbours, the walk on `threads` threads.
int find_neighbors(const dense2D<unsigned>& connectM, element_type type, bool link_non_manifold,
                   dense2D<unsigned>& neighbors, unsigned threads,
                   dense2D<unsigned>* unlinked = nullptr) {
  neighbors.clear();
  if (unlinked) unlinked->clear();
  if (connectM.empty()) return 0;
  const element_type FE = detail::narrow_mixed(type, connectM.rows());
  if (!check_IDs(connectM, FE, no_index)) return -1;
  if (!detail::has_faces(FE)) return -2;

  const unsigned F = detail::faces_per_element(FE);
  group_linker linker(neighbors, link_non_manifold, unlinked);
  if (!unlinked_matrix(neighbors, F, connectM.cols(), threads) ||
      (unlinked && !unlinked_matrix(*unlinked, F, connectM.cols(), threads)) ||
      !link_kind(connectM, FE, F, linker, threads)) {
    neighbors.clear();
    if (unlinked) unlinked->clear();
    return no_memory;
  }
  return 0;
}

}  // namespace

int get_element_boundaries(const dense2D<unsigned>& connectM, element_type type,
                           dense2D<unsigned>& boundaries) {
  if (connectM.empty()) return 0;
  const element_type FE = detail::narrow_mixed(type, connectM.rows());
  if (!check_IDs(connectM, FE, no_index)) return -1;
  if (!detail::has_faces(FE)) return -2;
  if (!detail::output_height_fits(boundaries, detail::face_column_height(FE))) return -2;
  return detail::append_faces(connectM, FE, boundaries, [](std::size_t, unsigned) { return true; });
}

int get_neighbors(const dense2D<unsigned>& connectM, element_type type, bool link_non_manifold,
                  dense2D<unsigned>& neighbors) {
  return find_neighbors(connectM, type, link_non_manifold, neighbors, 1);
}

int detail::neighbors_both_ways(const dense2D<unsigned>& connectM, element_type type,
                                dense2D<unsigned>& linked, dense2D<unsigned>& unlinked,
                                unsigned threads) try {
  return find_neighbors(connectM, type, true, linked, thread_count(threads), &unlinked);
} catch (const std::bad_alloc&) {
  linked.clear();
  unlinked.clear();
  return no_memory;
}

}  // namespace quernfold
}  // namespace ovk
