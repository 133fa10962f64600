// get_neighbors against a word-for-word chained face hash table: prime
// bucket count, order-independent face key, chains in insertion order with
// stamped entries, and the matching pass in bucket order. Degenerate faces
// (repeated nodes), faces meeting themselves within one element, groups of
// three to five faces, non-cyclic quadrangles and mixed matrices are drawn
// at random from tiny node pools, for both non-manifold modes.

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "common/primes.h"
#include "topology/face_tools.h"
#include "topology/topology_oracles.h"

namespace quernfold_test {
namespace {

using namespace ovk::quernfold;
using V = std::vector<unsigned>;

// Face equality as a rotation to the first smallest node followed by
// position-wise comparisons; no canonical form, no sorting.
int literal_face_equality(const V& a, const V& b) {
  const std::size_t n = a.size();
  if (b.size() != n) return 0;
  if (n == 1) return a[0] == b[0] ? 1 : 0;
  if (n == 2) {
    if (a[0] == b[0] && a[1] == b[1]) return 1;
    return a[0] == b[1] && a[1] == b[0] ? -1 : 0;
  }
  auto rotated = [n](const V& f) {
    std::size_t p = 0;
    for (std::size_t k = 1; k < n; ++k)
      if (f[k] < f[p]) p = k;
    V r(n);
    for (std::size_t k = 0; k < n; ++k) r[k] = f[(p + k) % n];
    return r;
  };
  const V ra = rotated(a), rb = rotated(b);
  if (ra[0] != rb[0]) return 0;
  if (n == 3) {
    if (ra[1] == rb[1] && ra[2] == rb[2]) return 1;
    return ra[1] == rb[2] && ra[2] == rb[1] ? -1 : 0;
  }
  if (ra[2] != rb[2]) return 0;
  if (ra[1] == rb[1] && ra[3] == rb[3]) return 1;
  return ra[1] == rb[3] && ra[3] == rb[1] ? -1 : 0;
}

std::uint64_t literal_face_key(const V& nodes) {
  std::uint64_t key = 0;
  for (unsigned v : nodes) key += (std::uint64_t(v) ^ 0x811C9DC5u) * 16777619u;
  return key;
}

// Entries {face number, stamp, distance to the next entry of the chain}.
struct chained_face_table {
  struct entry {
    std::uint64_t face = 0, stamp = 0, next = 0;
  };
  std::uint64_t buckets;
  std::uint64_t stamp = 1;
  std::vector<entry> entries;

  explicit chained_face_table(std::uint64_t n, unsigned F, std::size_t elements) {
    buckets = detail::prime_at_least(std::max<std::uint64_t>(F * elements / 2, 23));
    const double n2 = double(n) * double(n);
    entries.reserve(std::size_t(buckets + std::floor(n2 / double(n + buckets))));
    entries.resize(std::size_t(buckets));
  }

  bool live(std::size_t at) const { return entries[at].stamp == stamp; }

  void insert(std::uint64_t face, std::uint64_t key) {
    std::size_t at = std::size_t(key % buckets);
    while (true) {
      if (!live(at)) {
        entries[at].face = face;
        entries[at].stamp = stamp;
        return;
      }
      if (entries[at].next == 0) break;
      at += std::size_t(entries[at].next);
    }
    entries.push_back({face, stamp, 0});
    entries[at].next = entries.size() - 1 - at;
  }

  // Live entries of a bucket's chain, in chain order.
  std::vector<std::size_t> chain(std::size_t bucket) const {
    std::vector<std::size_t> out;
    for (std::size_t at = bucket;; at += std::size_t(entries[at].next)) {
      if (live(at)) out.push_back(at);
      if (entries[at].next == 0) break;
    }
    return out;
  }
};

dense2D<unsigned> literal_neighbors(const dense2D<unsigned>& M, element_type type, bool link) {
  const element_type FE = detail::narrow_mixed(type, M.rows());
  const unsigned F = detail::faces_per_element(FE);
  dense2D<unsigned> N(F, M.cols(), no_index);
  // Faces by face number; absent slots of mixed columns stay empty.
  std::vector<V> nodes(std::size_t(F) * M.cols());
  chained_face_table table(nodes.size(), F, M.cols());
  for (const element_face& f : all_faces(M, type)) {
    const std::uint64_t number = std::uint64_t(f.element) * F + f.local;
    nodes[number] = f.nodes;
    table.insert(number, literal_face_key(f.nodes));
  }
  std::vector<bool> consumed(table.entries.size(), false);
  auto element_of = [F](std::uint64_t face) { return unsigned(face / F); };
  auto set = [&](std::uint64_t face, unsigned value) { N(face % F, face / F) = value; };
  for (std::size_t b = 0; b < table.buckets; ++b) {
    const std::vector<std::size_t> chain = table.chain(b);
    for (std::size_t c = 0; c < chain.size(); ++c) {
      if (consumed[chain[c]]) continue;
      const std::uint64_t e = table.entries[chain[c]].face;
      std::vector<std::size_t> matches;
      for (std::size_t d = c + 1; d < chain.size(); ++d) {
        if (consumed[chain[d]]) continue;
        const std::uint64_t f = table.entries[chain[d]].face;
        if (literal_face_equality(nodes[e], nodes[f]) == 0) continue;
        if (link) {
          set(e, element_of(f));
          set(f, element_of(e));
          consumed[chain[d]] = true;
        } else {
          matches.push_back(chain[d]);
        }
      }
      if (!link) {
        for (std::size_t m : matches) consumed[m] = true;
        if (matches.size() == 1) {
          const std::uint64_t f = table.entries[matches[0]].face;
          set(e, element_of(f));
          set(f, element_of(e));
        }
      }
      consumed[chain[c]] = true;
    }
  }
  return N;
}

TEST(FaceTable, LiteralEqualityOnDegenerateFaces) {
  // The sense follows the rotation to the first smallest node; moving
  // another copy of the smallest node first is not the same face.
  EXPECT_EQ(literal_face_equality({1, 1, 2}, {1, 2, 1}), -1);
  EXPECT_EQ(literal_face_equality({1, 1, 2, 3}, {1, 2, 3, 1}), 0);
  EXPECT_EQ(literal_face_equality({1, 2, 1, 3}, {1, 3, 1, 2}), -1);
  // The library's comparison and the literal one agree on every pair of
  // faces of up to four nodes over four values.
  for (unsigned n = 1; n <= 4; ++n) {
    std::vector<V> faces;
    for (unsigned code = 0; code < (1u << (2 * n)); ++code) {
      V f(n);
      for (unsigned k = 0, c = code; k < n; ++k, c /= 4) f[k] = c % 4;
      faces.push_back(f);
    }
    for (const V& a : faces)
      for (const V& b : faces)
        ASSERT_EQ(detail::compare_faces(a.data(), n, b.data(), n), literal_face_equality(a, b));
  }
}

TEST(FaceTable, NeighborsFollowTheChainedTableOnAdversarialMeshes) {
  const std::array<element_type, 9> kinds{ET_EDGE2,    ET_TRIA3,  ET_QUAD4, ET_FACE_MIX, ET_TETRA4,
                                          ET_PYRAMID5, ET_WEDGE6, ET_HEXA8, ET_SOLID_MIX};
  std::mt19937 gen(20240611);
  std::size_t linked = 0, self_links = 0;
  auto check = [&](const dense2D<unsigned>& M, element_type FE, bool link) {
    dense2D<unsigned> N;
    ASSERT_EQ(get_neighbors(M, FE, link, N), 0);
    ASSERT_EQ(columns_of(N), columns_of(literal_neighbors(M, FE, link)))
        << "kind " << FE << " rows " << M.rows() << " link " << link;
    for (std::size_t j = 0; j < N.cols(); ++j)
      for (std::size_t i = 0; i < N.rows(); ++i)
        linked += N(i, j) != no_index, self_links += N(i, j) == j;
  };
  for (element_type FE : kinds)
    for (unsigned pool : {2u, 3u, 5u, 7u})
      for (unsigned trial = 0; trial < 4; ++trial)
        for (bool link : {true, false})
          check(random_degenerate(FE, nbr_nodes(FE), 25, pool, gen), FE, link);
  // Short mixed matrices narrow to their pure kind.
  for (std::size_t rows : {3u, 4u, 5u, 6u})
    for (bool link : {true, false}) {
      const element_type FE = rows == 3 ? ET_FACE_MIX : ET_SOLID_MIX;
      check(random_degenerate(FE, rows, 30, 4, gen), FE, link);
    }
  // The draws did exercise links and faces meeting their own element.
  EXPECT_GT(linked, 1000u);
  EXPECT_GT(self_links, 100u);
}

// Groups of 3 to 5 copies of one face in every mix of senses and rotations,
// degenerate or not: the first face ends at the last copy's element (or
// nothing), the others at the first's.
TEST(FaceTable, NonManifoldGroupsOfThreeToFive) {
  const std::vector<V> shapes{{5, 6, 7}, {5, 5, 7}, {7, 5, 5}};
  std::mt19937 gen(7);
  for (unsigned k = 3; k <= 5; ++k)
    for (unsigned trial = 0; trial < 12; ++trial) {
      std::vector<V> cols;
      for (unsigned m = 0; m < k; ++m) {
        // Tetrahedron whose face 3 (2,1,0) is a rotation of the shape, either sense.
        V face = shapes[trial % shapes.size()];
        std::rotate(face.begin(), face.begin() + gen() % 3, face.end());
        if (gen() % 2) std::swap(face[1], face[2]);
        cols.push_back({face[2], face[1], face[0], 100 + m});
      }
      const dense2D<unsigned> M = matrix_of(4, cols);
      for (bool link : {true, false}) {
        dense2D<unsigned> N;
        ASSERT_EQ(get_neighbors(M, ET_TETRA4, link, N), 0);
        ASSERT_EQ(columns_of(N), columns_of(literal_neighbors(M, ET_TETRA4, link)));
        EXPECT_EQ(N(3, 0), link ? k - 1 : no_index);
        for (unsigned m = 1; m < k; ++m) EXPECT_EQ(N(3, m), link ? 0u : no_index);
      }
    }
}

}  // namespace
}  // namespace quernfold_test
