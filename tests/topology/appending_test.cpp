// The outputs that the face operations append to: which columns they keep,
// how their column capacity grows, and when they are left untouched.

#include <gtest/gtest.h>

#include <functional>

#include "topology/topology_oracles.h"

namespace quernfold_test {
namespace {

using namespace ovk::quernfold;
using V = std::vector<unsigned>;

TEST(AppendedOutputs, RowlessColumnsStayInFrontAndCapacityDoubles) {
  // Two triangles sharing the edge (1,2); each call appends `expected`.
  static const dense2D<unsigned> two{{0, 1, 2}, {2, 1, 3}};
  static const dense2D<unsigned> links =
      matrix_of(3, {{1, no_index, no_index}, {no_index, no_index, 0}});
  const std::vector<std::pair<std::function<int(dense2D<unsigned>&)>, std::vector<V>>> calls{
      {[](dense2D<unsigned>& out) { return get_element_boundaries(two, ET_TRIA3, out); },
       {{1, 2}, {2, 0}, {0, 1}, {1, 3}, {3, 2}, {2, 1}}},
      {[](dense2D<unsigned>& out) { return get_mesh_boundaries(two, links, ET_TRIA3, out); },
       {{2, 0}, {0, 1}, {1, 3}, {3, 2}}},
      {[](dense2D<unsigned>& out) {
         return get_colors_boundaries(two, links, dense1D<unsigned>{4, 9}, ET_TRIA3, true, out);
       },
       {{1, 2}, {2, 0}, {0, 1}, {1, 3}, {3, 2}, {2, 1}}}};
  for (const auto& call : calls) {
    const std::size_t n = call.second.size();
    // A fresh output: capacity max(2 x 0, 4), doubled once the four are used.
    dense2D<unsigned> fresh;
    ASSERT_EQ(call.first(fresh), 0);
    EXPECT_EQ(columns_of(fresh), call.second);
    EXPECT_EQ(fresh.col_capacity(), n > 4 ? 8u : 4u);
    // Row-less columns stay in front and take the face height, holding 0.
    dense2D<unsigned> rowless(0, 3);
    ASSERT_EQ(call.first(rowless), 0);
    std::vector<V> expected(3, V{0, 0});
    expected.insert(expected.end(), call.second.begin(), call.second.end());
    EXPECT_EQ(columns_of(rowless), expected);
    // A full output of 5 columns grows to 10 columns of capacity, then 20.
    dense2D<unsigned> full;
    ASSERT_TRUE(full.copy(dense2D<unsigned>(2, 5, 8u)));
    ASSERT_EQ(call.first(full), 0);
    EXPECT_EQ(full.cols(), 5 + n);
    EXPECT_EQ(full.col_capacity(), 5 + n > 10 ? 20u : 10u);
    EXPECT_EQ(column_of(full, 4), (V{8, 8}));
    // Room left: the capacity stays.
    ASSERT_TRUE(fresh.reserve(2, 50));
    ASSERT_EQ(call.first(fresh), 0);
    EXPECT_EQ(fresh.col_capacity(), 50u);
  }
  // Nothing to append leaves even a row-less output as it was.
  const dense2D<unsigned> linked{{0, 1, 2}, {2, 1, 0}};
  dense2D<unsigned> N, rowless(0, 3);
  ASSERT_EQ(get_neighbors(linked, ET_TRIA3, true, N), 0);
  ASSERT_EQ(get_mesh_boundaries(linked, N, ET_TRIA3, rowless), 0);
  ASSERT_EQ(get_colors_boundaries(linked, N, dense1D<unsigned>{1, 1}, ET_TRIA3, false, rowless), 0);
  EXPECT_EQ(rowless.rows(), 0u);
  EXPECT_EQ(rowless.cols(), 3u);
}

}  // namespace
}  // namespace quernfold_test
