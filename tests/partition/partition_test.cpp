// Graphs, partitions, split and assemble against brute force on small mixed
// meshes: every pair of elements compared face by face, every element of
// every part tested for its node contacts.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "common/faces.h"
#include "partition/element_walk.h"
#include "partition/mixed_cube.h"
#include "support/compare.h"

using namespace quernfold_test;
namespace qd = ovk::quernfold::detail;

namespace {

// The faces of every element as sorted node sets.
std::vector<std::set<std::vector<unsigned>>> face_sets(const mesh_data& m) {
  std::vector<std::set<std::vector<unsigned>>> out;
  for (const mesh_block& b : m.blocks) {
    const qd::face_table& t = *qd::faces_of_shape(qd::linear_shape(b.type));
    for (std::size_t j = 0; j < b.connectM.cols(); ++j) {
      out.emplace_back();
      for (unsigned f = 0; f < t.count; ++f) {
        std::vector<unsigned> face;
        for (unsigned k = 0; k < t.size[f]; ++k) face.push_back(b.connectM(t.nodes[f][k], j));
        std::sort(face.begin(), face.end());
        out.back().insert(face);
      }
    }
  }
  return out;
}

std::vector<std::int32_t> row(const csr_graph& g, std::size_t v) {
  return {g.adjncy.begin() + g.xadj[v], g.adjncy.begin() + g.xadj[v + 1]};
}

TEST(DualGraph, EveryPairSharingAFaceAndNoOther) {
  for (element_type tetra : {ET_TETRA4, ET_TETRA10}) {
    const mesh_data m = mixed_cube(4, tetra);
    csr_graph g;
    ASSERT_EQ(get_dual_graph(m, g), 0);
    const auto faces = face_sets(m);
    ASSERT_EQ(g.vertices(), faces.size());
    std::size_t joined = 0;
    for (std::size_t a = 0; a < faces.size(); ++a) {
      std::vector<std::int32_t> want;
      for (std::size_t b = 0; b < faces.size(); ++b) {
        bool share = false;
        for (const auto& f : faces[a]) share |= a != b && faces[b].count(f) > 0;
        if (share) want.push_back(std::int32_t(b));
      }
      joined += want.size();
      EXPECT_EQ(row(g, a), want) << "element " << a;
    }
    EXPECT_GT(joined, faces.size());  // the mesh is connected through most faces
  }
  // The range form numbers matrices one after the other, as the mesh form.
  const mesh_data m = mixed_cube(3);
  dense2D<unsigned> mats[2] = {m.blocks[0].connectM, m.blocks[2].connectM};
  dense1D<int> types(2);
  types[0] = ET_HEXA8, types[1] = ET_TETRA4;
  mesh_data two = m;
  two.blocks = {m.blocks[0], m.blocks[2]};
  csr_graph by_range, by_mesh;
  ASSERT_EQ(get_dual_graph(mats, mats + 2, types, by_range), 0);
  ASSERT_EQ(get_dual_graph(two, by_mesh), 0);
  EXPECT_EQ(by_range.xadj, by_mesh.xadj);
  EXPECT_EQ(by_range.adjncy, by_mesh.adjncy);
  dense2D<unsigned> nodes(1, 1, 0u);
  EXPECT_EQ(get_dual_graph(nodes, ET_NODE, by_range), partition_bad_type);
  EXPECT_TRUE(by_range.xadj.empty());
}

TEST(NodeGraph, SameNeighboursAsTheListsSorted) {
  const mesh_data m = mixed_cube(3);
  dense1D<unsigned> offsets, nodes;
  csr_graph g;
  ASSERT_EQ(get_node_graph(m.blocks[0].connectM, offsets, nodes, ET_HEXA8), 0);
  ASSERT_EQ(get_node_graph(m.blocks[0].connectM, ET_HEXA8, g), 0);
  ASSERT_EQ(g.xadj.size(), offsets.size());
  for (std::size_t v = 0; v + 1 < offsets.size(); ++v) {
    std::vector<std::int32_t> want(nodes.begin() + offsets[v], nodes.begin() + offsets[v + 1]);
    std::sort(want.begin(), want.end());
    EXPECT_EQ(row(g, v), want);
  }
}

TEST(Partition, RepeatableBalancedAndCutCounted) {
  const mesh_data m = mixed_cube(5, ET_TETRA4, false);
  mesh_data solids = m;
  solids.blocks.pop_back();  // the bottom triangles
  csr_graph g;
  ASSERT_EQ(get_dual_graph(solids, g), 0);
  partition_options opts;
  partition_result a, b;
  ASSERT_EQ(partition_graph(g, 5, opts, a), 0);
  ASSERT_EQ(partition_mesh(m, 5, opts, b), 0);
  // The solids as their graph gives them; each triangle with the first
  // tetrahedron holding it.
  EXPECT_EQ(std::vector<unsigned>(b.part.begin(), b.part.begin() + g.vertices()), a.part);
  const auto nodes = element_nodes(m, true);
  ASSERT_EQ(b.part.size(), nodes.size());
  for (std::size_t e = g.vertices(); e < nodes.size(); ++e) {
    std::size_t t = 0;
    while (!std::all_of(nodes[e].begin(), nodes[e].end(), [&](unsigned v) {
      return std::count(nodes[t].begin(), nodes[t].end(), v) > 0;
    }))
      ++t;
    EXPECT_EQ(b.part[e], a.part.at(t)) << "triangle " << e;
  }
  std::vector<std::size_t> load(5, 0);
  std::int64_t cut = 0;
  for (std::size_t v = 0; v < g.vertices(); ++v) {
    ++load.at(a.part[v]);
    for (std::int32_t u : row(g, v)) cut += a.part[v] != a.part[u];
  }
  EXPECT_EQ(a.edge_cut, cut / 2);
  EXPECT_GT(a.edge_cut, 0);
  const std::size_t heaviest = *std::max_element(load.begin(), load.end());
  EXPECT_DOUBLE_EQ(a.imbalance, double(heaviest) * 5 / double(g.vertices()));
  EXPECT_LE(a.imbalance, 1.03 + 5.0 / double(g.vertices()));
  EXPECT_GT(*std::min_element(load.begin(), load.end()), 0u);
  // Weights pull the parts: one heavy element sits nearly alone.
  opts.weights.assign(g.vertices(), 1);
  opts.weights[7] = std::int32_t(g.vertices() / 5);
  ASSERT_EQ(partition_graph(g, 5, opts, b), 0);
  const auto with_heavy = std::count(b.part.begin(), b.part.end(), b.part[7]);
  EXPECT_LT(double(with_heavy), 0.4 * double(g.vertices()) / 5);
  EXPECT_GE(b.imbalance, double(with_heavy - 1 + opts.weights[7]) * 5 /
                             double(g.vertices() - 1 + opts.weights[7]));
  opts.weights.pop_back();
  EXPECT_EQ(partition_graph(g, 5, opts, b), partition_bad_weights);
  EXPECT_TRUE(b.part.empty());
  EXPECT_EQ(partition_graph(g, 0, partition_options(), b), partition_bad_parts);
  g.xadj.back() = std::int64_t(1) << 31;
  EXPECT_EQ(partition_graph(g, 5, partition_options(), b), partition_too_large);
}

// assemble(split(m)) == m, and every part's lists against brute force.
TEST(Split, AssembleGivesBackTheMeshAndListsMatchBruteForce) {
  const mesh_data m = mixed_cube(4);
  partition_result r;
  ASSERT_EQ(partition_mesh(m, 4, partition_options(), r), 0);
  const auto nodes_of = element_nodes(m, false);
  const std::size_t n = m.coords.cols();
  // Brute force: parts of owned elements at each node.
  std::vector<std::set<unsigned>> at(n);
  for (std::size_t e = 0; e < nodes_of.size(); ++e)
    for (unsigned v : nodes_of[e]) at[v].insert(r.part[e]);
  for (unsigned ghosts : {0u, 1u}) {
    std::vector<part_mesh> parts;
    ASSERT_EQ(split_mesh(m, r.part, 4, ghosts, parts), 0);
    mesh_data back;
    ASSERT_EQ(assemble_mesh(parts, back), 0);
    ASSERT_EQ(back.coords.cols(), n);
    EXPECT_EQ(entries(back.coords), entries(m.coords));
    ASSERT_EQ(back.blocks.size(), m.blocks.size());
    EXPECT_EQ(element_nodes(back, false), nodes_of);
    for (std::size_t b = 0; b < m.blocks.size(); ++b) {
      EXPECT_EQ(back.blocks[b].type, m.blocks[b].type);
      EXPECT_TRUE(std::equal(m.blocks[b].refs.begin(), m.blocks[b].refs.end(),
                             back.blocks[b].refs.begin(), back.blocks[b].refs.end()));
    }
    std::vector<unsigned> read_parts;
    ASSERT_EQ(element_parts(parts, read_parts), 0);
    EXPECT_EQ(read_parts, r.part);
    for (const part_mesh& p : parts) {
      SCOPED_TRACE(testing::Message() << "part " << p.part << " ghosts " << ghosts);
      const auto local = element_nodes(p.mesh, false);
      for (std::size_t k = 0; k < local.size(); ++k) {
        const std::uint64_t e = p.global_elements[k];
        std::vector<unsigned> global;
        for (unsigned v : local[k]) global.push_back(unsigned(p.global_nodes[v]));
        EXPECT_EQ(global, nodes_of[e]);
        EXPECT_EQ(p.ghost_elements[k], r.part[e] != p.part);
      }
      std::set<std::uint64_t> want_ghosts, got_ghosts;
      for (std::size_t e = 0; e < nodes_of.size() && ghosts; ++e)
        for (unsigned v : nodes_of[e])
          if (r.part[e] != p.part && at[v].count(p.part)) want_ghosts.insert(e);
      for (std::size_t k = 0; k < local.size(); ++k)
        if (p.ghost_elements[k]) got_ghosts.insert(p.global_elements[k]);
      EXPECT_EQ(got_ghosts, want_ghosts);
      for (std::size_t k = 0; k < p.global_nodes.size(); ++k) {
        const auto& around = at[p.global_nodes[k]];
        EXPECT_EQ(p.node_owner[k], around.empty() ? 0u : *around.begin());
      }
      std::vector<unsigned> want_neighbours;
      for (unsigned q = 0; q < 4; ++q) {
        std::vector<std::uint64_t> shared;
        for (std::size_t v = 0; v < n; ++v)
          if (q != p.part && at[v].count(p.part) && at[v].count(q)) shared.push_back(v);
        if (shared.empty()) continue;
        want_neighbours.push_back(q);
        EXPECT_EQ(p.shared_nodes.at(want_neighbours.size() - 1), shared);
      }
      EXPECT_EQ(p.neighbours, want_neighbours);
      EXPECT_EQ(p.interface_nodes(),
                std::size_t(std::count_if(at.begin(), at.end(), [&](const auto& s) {
                  return s.size() > 1 && s.count(p.part);
                })));
    }
  }
  std::vector<part_mesh> parts;
  std::vector<unsigned> wrong = r.part;
  wrong[3] = 4;
  EXPECT_EQ(split_mesh(m, wrong, 4, 1, parts), partition_bad_parts);
  EXPECT_EQ(split_mesh(m, r.part, 4, 2, parts), partition_bad_split);
  ASSERT_EQ(split_mesh(m, r.part, 4, 1, parts), 0);
  parts.pop_back();
  mesh_data back;
  EXPECT_EQ(assemble_mesh(parts, back), partition_bad_parts_list);
}

}  // namespace
