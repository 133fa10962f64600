// Element faces and neighbors across them.
//
// Neighbor search groups equal faces. Its outcome depends only on the groups
// (sets of equal element faces, each in ascending face number), so the faces
// are bucketed by their smallest node modulo a prime sized for about two
// faces per bucket: for the usual compact node numbering that prime exceeds
// every node, each bucket holds the faces around one node, and both passes
// over the connectivity touch memory in mesh order. Within a bucket the
// records are sorted by canonical face and face number, so that each group
// is one run in ascending face number.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>

#include "common/primes.h"
#include "topology/face_tools.h"

namespace ovk {
namespace quernfold {
namespace {

using detail::face_key;

// Fewest buckets of the face table.
constexpr std::uint64_t kMinBuckets = 23;

// One element face in the table: its canonical key and its face number,
// kept as element and local face.
struct face_record {
  face_key key;
  std::uint32_t element;
  std::uint32_t local;

  // Ascending key, then ascending face number.
  bool operator<(const face_record& o) const noexcept {
    if (!(key == o.key)) return key < o.key;
    return element != o.element ? element < o.element : local < o.local;
  }
};

// Faces bucketed by smallest node: bucket b holds records[start(b) .. end(b)).
class face_buckets {
 public:
  // Sizes the buckets for n faces; false when memory cannot be had.
  bool size_for(std::uint64_t n) {
    buckets_ = detail::prime_at_least(std::max(n / 2, kMinBuckets));
    ends_.reset(new (std::nothrow) std::size_t[std::size_t(buckets_) + 1]());
    return ends_ != nullptr;
  }

  std::uint32_t bucket_of(std::uint32_t smallest) const noexcept {
    return smallest < buckets_ ? smallest : smallest % buckets_;
  }

  // Two passes over the faces of the matrix: count per bucket, then place
  // the records, so that each bucket keeps the faces in insertion order.
  bool fill(const dense2D<unsigned>& connectM, element_type FE) {
    for_each_face(connectM, FE, [&](const face_record& r) { ++ends_[bucket_of(r.key.v[0]) + 1]; });
    for (std::size_t b = 1; b <= buckets_; ++b) ends_[b] += ends_[b - 1];
    records_.reset(new (std::nothrow) face_record[ends_[buckets_]]);
    if (!records_) return false;
    for_each_face(connectM, FE,
                  [&](const face_record& r) { records_[ends_[bucket_of(r.key.v[0])]++] = r; });
    return true;
  }

  // Calls group(first, count) for every run of equal faces, bucket by bucket.
  template <class Group>
  void for_each_group(Group&& group) {
    std::size_t begin = 0;
    for (std::size_t b = 0; b < buckets_; ++b) {
      const std::size_t end = ends_[b];
      if (end - begin > 2) std::sort(&records_[begin], &records_[end]);
      for (std::size_t r = begin; r < end;) {
        std::size_t s = r + 1;
        while (s < end && records_[s].key == records_[r].key) ++s;
        group(&records_[r], s - r);
        r = s;
      }
      begin = end;
    }
  }

 private:
  template <class Visit>
  static void for_each_face(const dense2D<unsigned>& connectM, element_type FE, Visit&& visit) {
    for (std::size_t j = 0; j < connectM.cols(); ++j) {
      const unsigned* column = connectM.column(j);
      const detail::face_table& table = detail::column_faces(FE, column);
      for (unsigned i = 0; i < table.count; ++i) {
        unsigned nodes[4];
        const unsigned n = detail::read_face(table, i, column, nodes);
        visit(face_record{detail::canonical_face(nodes, n), static_cast<std::uint32_t>(j), i});
      }
    }
  }

  std::uint32_t buckets_ = 0;
  // After fill(): ends_[b] is the end of bucket b (its start is ends_[b - 1],
  // 0 for the first bucket).
  std::unique_ptr<std::size_t[]> ends_;
  std::unique_ptr<face_record[]> records_;
};

// Links one group of k equal faces given in ascending face number: a pair
// points at each other; a larger group either has its first face point to
// the last and the others to the first, or is left unlinked.
void link_group(const face_record* group, std::size_t k, bool link_non_manifold,
                dense2D<unsigned>& neighbors) {
  if (k < 2 || (k > 2 && !link_non_manifold)) return;
  const face_record& first = group[0];
  for (std::size_t m = 1; m < k; ++m) neighbors(group[m].local, group[m].element) = first.element;
  neighbors(first.local, first.element) = group[k - 1].element;
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
  neighbors.clear();
  if (connectM.empty()) return 0;
  const element_type FE = detail::narrow_mixed(type, connectM.rows());
  if (!check_IDs(connectM, FE, no_index)) return -1;
  if (!detail::has_faces(FE)) return -2;

  const unsigned F = detail::faces_per_element(FE);
  face_buckets table;
  if (!neighbors.resize(F, connectM.cols(), no_index) ||
      !table.size_for(std::uint64_t(F) * connectM.cols()) || !table.fill(connectM, FE)) {
    neighbors.clear();
    return no_memory;
  }
  table.for_each_group([&](const face_record* group, std::size_t k) {
    link_group(group, k, link_non_manifold, neighbors);
  });
  return 0;
}

}  // namespace quernfold
}  // namespace ovk
