// Growth of the connectivity outputs that the copies and clip append to.
#include <gtest/gtest.h>

#include <functional>

#include <quernfold/quernfold.h>

#include "support/compare.h"

using namespace ovk::quernfold;
using V2 = vector_fixed<double, 2>;
using V3 = vector_fixed<double, 3>;

namespace {

// A full output of 5 columns, with the source's 2 rows or with none, takes
// one more column and raises its column capacity to max(2 x 5, 4) = 10; its
// old columns stay in front (row-less ones take the height, holding 0).
TEST(AppendedOutputs, FullOutputsDoubleTheirColumnCapacity) {
  dense2D<double> coords{{0, 0}, {1, 0}};
  const dense2D<unsigned> seg{{0, 1}};
  const std::vector<std::pair<const char*, std::function<int(dense2D<unsigned>&)>>> appends{
      {"clip",
       [&](dense2D<unsigned>& out) {
         return clip(coords, seg, V3{}, V3{{1, 0, 0}}, out);
       }},
      {"copy_mesh", [&](dense2D<unsigned>& out) {
         return copy_mesh(coords, out, V2{{1, 0}}, V2{}, 0.0, 1, seg);
       }}};
  for (const auto& append : appends)
    for (const unsigned rows : {0u, 2u}) {
      SCOPED_TRACE(::testing::Message() << append.first << ", " << rows << " rows");
      dense2D<unsigned> out;
      ASSERT_TRUE(out.copy(dense2D<unsigned>(rows, 5, 7u)));
      ASSERT_EQ(append.second(out), 0);
      EXPECT_EQ(out.cols(), 6u);
      EXPECT_EQ(out.col_capacity(), 10u);
      EXPECT_SAME(out.sub_matrix(0, 0, 2, 1), dense2D<unsigned>(2, 1, rows ? 7u : 0u));
    }
}

}  // namespace
