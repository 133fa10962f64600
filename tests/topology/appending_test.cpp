// The outputs that the face operations append to: which columns they keep,
// how their column capacity grows, and when they are left untouched.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "topology/topology_oracles.h"

namespace quernfold_test {
namespace {

using namespace ovk::quernfold;
using V = std::vector<unsigned>;

// One appending call on the two triangles (0,1,2), (2,1,3), which share the
// edge (1,2); the call appends `count` edges in the order of `expected`.
struct appending_call {
  const char* name;
  std::function<int(dense2D<unsigned>&)> run;
  std::vector<V> expected;
};

std::vector<appending_call> appending_calls() {
  static const dense2D<unsigned> two{{0, 1, 2}, {2, 1, 3}};
  static const dense2D<unsigned> links = matrix_of(3, {{1, kNo, kNo}, {kNo, kNo, 0}});
  static const dense1D<unsigned> colors{4, 9};
  return {
      {"element boundaries",
       [](dense2D<unsigned>& out) { return get_element_boundaries(two, ET_TRIA3, out); },
       {{1, 2}, {2, 0}, {0, 1}, {1, 3}, {3, 2}, {2, 1}}},
      {"mesh boundaries",
       [](dense2D<unsigned>& out) { return get_mesh_boundaries(two, links, ET_TRIA3, out); },
       {{2, 0}, {0, 1}, {1, 3}, {3, 2}}},
      {"colour boundaries",
       [](dense2D<unsigned>& out) {
         return get_colors_boundaries(two, links, colors, ET_TRIA3, true, out);
       },
       {{1, 2}, {2, 0}, {0, 1}, {1, 3}, {3, 2}, {2, 1}}},
  };
}

TEST(AppendedOutputs, RowlessColumnsStayInFrontAndCapacityDoubles) {
  for (const appending_call& call : appending_calls()) {
    SCOPED_TRACE(call.name);
    const std::size_t n = call.expected.size();

    // A fresh output: exactly the appended columns, capacity max(2 x 0, 4)
    // raised again to 2 x 4 once the first four are used.
    dense2D<unsigned> fresh;
    ASSERT_EQ(call.run(fresh), 0);
    EXPECT_EQ(columns_of(fresh), call.expected);
    EXPECT_EQ(fresh.col_capacity(), n > 4 ? 8u : 4u);

    // Columns without rows are columns: they stay in front and take the
    // face height, holding 0.
    dense2D<unsigned> rowless(0, 3);
    ASSERT_EQ(call.run(rowless), 0);
    ASSERT_EQ(rowless.rows(), 2u);
    ASSERT_EQ(rowless.cols(), 3 + n);
    for (std::size_t j = 0; j < 3; ++j) EXPECT_EQ(column_of(rowless, j), (V{0, 0}));
    for (std::size_t j = 0; j < n; ++j) EXPECT_EQ(column_of(rowless, 3 + j), call.expected[j]);

    // A full output of 5 columns grows to 10 columns of capacity, then 20.
    dense2D<unsigned> full;
    ASSERT_TRUE(full.copy(dense2D<unsigned>(2, 5, 8u)));
    ASSERT_EQ(full.col_capacity(), 5u);
    ASSERT_EQ(call.run(full), 0);
    EXPECT_EQ(full.cols(), 5 + n);
    EXPECT_EQ(full.col_capacity(), 5 + n > 10 ? 20u : 10u);
    for (std::size_t j = 0; j < 5; ++j) EXPECT_EQ(column_of(full, j), (V{8, 8}));
    for (std::size_t j = 0; j < n; ++j) EXPECT_EQ(column_of(full, 5 + j), call.expected[j]);

    // Room left: the capacity stays.
    dense2D<unsigned> roomy;
    ASSERT_TRUE(roomy.reserve(2, 50));
    ASSERT_TRUE(roomy.resize(2, 1, 6u));
    ASSERT_EQ(call.run(roomy), 0);
    EXPECT_EQ(roomy.cols(), 1 + n);
    EXPECT_EQ(roomy.col_capacity(), 50u);
  }

  // Nothing to append leaves even a row-less output as it was.
  const dense2D<unsigned> linked{{0, 1, 2}, {2, 1, 0}};
  dense2D<unsigned> links;
  ASSERT_EQ(get_neighbors(linked, ET_TRIA3, true, links), 0);
  ASSERT_EQ(std::count(links.column(0), links.column(0) + 6, kNo), 0);
  dense2D<unsigned> rowless(0, 3);
  ASSERT_EQ(get_mesh_boundaries(linked, links, ET_TRIA3, rowless), 0);
  EXPECT_EQ(rowless.rows(), 0u);
  EXPECT_EQ(rowless.cols(), 3u);
  ASSERT_EQ(get_colors_boundaries(linked, links, dense1D<unsigned>{1, 1}, ET_TRIA3, false, rowless),
            0);
  EXPECT_EQ(rowless.rows(), 0u);
  EXPECT_EQ(rowless.cols(), 3u);
}

}  // namespace
}  // namespace quernfold_test
