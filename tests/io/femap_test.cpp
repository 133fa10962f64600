#include <gtest/gtest.h>
#include <quernfold/io.h>

#include "support/io_files.h"
#include "support/mesh_gen.h"

using namespace ovk::quernfold;
using namespace quernfold_test;

namespace {

class femap : public io_test, protected run_outputs {
 protected:
  int read(const std::string& text) {
    write_file(path("in.neu"), text);
    return read_with(FEMAP_input, path("in.neu"));
  }
};

std::string node_line(int id, const char* xyz) {
  return fmt("%d,0,0,1,46,0,0,0,0,0,0,%s,0,\n", id, xyz);
}

// A seven-line element record with the given topology and node slots.
std::string element_record(int id, int topology, std::vector<int> slots) {
  slots.resize(20, 0);
  std::string s = fmt("%d,7,1,17,%d,1,0,0,0,0,0,0,0,\n", id, topology);
  for (int k = 0; k < 20; ++k) s += fmt(k % 10 == 9 ? "%d,\n" : "%d,", slots[k]);
  return s + "0.,0.,0.,0,0,0,0,0,0,\n0.,0.,0.,\n0.,0.,0.,\n0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,\n";
}

TEST_F(femap, WriterOutputIsExact) {
  const dense2D<double> xy = columns<double>(2, {0.0, 0.0, 1.0, 0.0, 0.0, 2.5, 1e-7, -3.0});
  ASSERT_EQ(
      FEMAP_output(path("out.neu").c_str(), xy, columns<unsigned>(4, {0, 1, 2, 3}), ET_TETRA4), 0);
  const std::string stars = "*********************************\n";
  const std::string expected =
      stars + "*********** NODES ***************\n" + stars +
      "   -1\n403\n"
      "1,0,0,1,0,0,0,0,0,0,0,0.000000,0.000000,0.0,0,\n"
      "2,0,0,1,0,0,0,0,0,0,0,1.000000,0.000000,0.0,0,\n"
      "3,0,0,1,0,0,0,0,0,0,0,0.000000,2.500000,0.0,0,\n"
      "4,0,0,1,0,0,0,0,0,0,0,0.000000,-3.000000,0.0,0,\n"
      "   -1\n" +
      stars + "********* ELEMENTS **************\n" + stars +
      "   -1\n404\n"
      "1,1,1,25,6,1,0,0,0,0,0,0,0,\n"
      "2,1,3,0,4,0,0,0,0,0,\n"
      "0,0,0,0,0,0,0,0,0,0,\n"
      "0.,0.,0.,0,0,0,0,0,0,\n0.,0.,0.,\n0.,0.,0.,\n0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,\n"
      "   -1\n";
  EXPECT_EQ(read_file(path("out.neu")), expected);
  // Slot lines of a ten-node tetrahedron (0..9).
  ASSERT_EQ(FEMAP_output(path("t10.neu").c_str(), random_points(3, 10),
                         columns<unsigned>(10, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}), ET_TETRA10),
            0);
  EXPECT_NE(read_file(path("t10.neu")).find("1,3,2,0,4,0,0,0,6,5,\n7,0,8,10,9,0,0,0,0,0,\n"),
            std::string::npos);
  // An empty connectivity writes nothing and checks nothing.
  EXPECT_EQ(FEMAP_output(path("e.neu").c_str(), xy, dense2D<unsigned>(), ET_TRIA3), 0);
  EXPECT_EQ(read_file(path("e.neu")), "");
}

TEST_F(femap, BlockRules) {
  const std::string nodes = "   -1\n   403\n" + node_line(1, "0.,0.,0.") +
                            node_line(2, "1.,0.,0.") + node_line(3, "0.,1.,0.") + "   -1\n";
  const std::string tria = element_record(1, 2, {1, 2, 3});
  const struct {
    std::string text;
    int code;
    std::size_t nodes, elements;
  } cases[] = {
      {"   -1\n   100\n<NULL>\n   -1\n" + nodes + "   -1\n   404\n" +
           element_record(1, 11, {1, 2, 3}) + tria + "   -1\n",
       0, 3, 1},
      {nodes + "   -1  \n   404   \n" + tria + "   -1  \n", 0, 3, 1},
      {nodes + "   -1\n404\n" + tria + "-1\n", -102, 3, 1},
      {"   -1\n403\n1,0,0,1,0,0,0,0,0,0,0,1.,2.\n", -102, 0, 0},
      {"   -1\n403\n" + node_line(0, "1.,2.,3."), -102, 0, 0},
      {nodes + "   -1\n404\n1,1,1,17,2,1,\n1,2,3,0,0,\n", -102, 3, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(read(c.text), c.code);
    EXPECT_EQ(coords.cols(), c.nodes);
    EXPECT_EQ(entries(bounds), (std::vector<unsigned>{0, unsigned(c.elements)}));
  }
  // Two node and two element blocks; Fortran exponents in padded fields.
  ASSERT_EQ(read(nodes +
                 "   -1\n   403\n         5,         0,         0,         1,        46,"
                 "    0,    0,    0,    0,    0,    0,   8.0000000000000000D+00,   1.5D-01,"
                 "  -5.0000000000000000D+00,         0,\n   -1\n   -1\n   404\n" +
                 tria + "   -1\n   -1\n404\n" + element_record(2, 2, {5, 2, 3}) + "   -1\n"),
            0);
  EXPECT_EQ(entries(connect), (std::vector<unsigned>{0, 1, 2, 4, 1, 2}));
  EXPECT_EQ(entries(pids), (std::vector<unsigned>{7, 7}));
  EXPECT_EQ(entries(coords),
            (std::vector<double>{0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 0, 8, 0.15, -5}));
}

// Every kind with a topology code reads back as written.
TEST_F(femap, RoundTripOfEveryWrittenKind) {
  const element_type kinds[] = {ET_EDGE2,  ET_EDGE3,  ET_TRIA3, ET_TRIA6, ET_QUAD4,   ET_QUAD8,
                                ET_TETRA4, ET_WEDGE6, ET_HEXA8, ET_NODE,  ET_TETRA10, ET_HEXA20};
  const dense2D<double> pts = random_points(3, 30, 3);
  for (element_type kind : kinds) {
    SCOPED_TRACE(kind);
    const unsigned n = nbr_nodes(kind);
    dense2D<unsigned> M(n, 3);
    for (unsigned j = 0; j < 3; ++j)
      for (unsigned k = 0; k < n; ++k) M(k, j) = (11 * k + 5 * j + 1) % 30;
    dense1D<unsigned> b{0, 3}, p{2, 3, 4};
    dense1D<int> t{kind};
    ASSERT_EQ(FEMAP_output(path("rt.neu").c_str(), pts, M, b, t, p), 0);
    ASSERT_EQ(FEMAP_input(path("rt.neu").c_str(), coords, connect, bounds, types, pids), 0);
    EXPECT_TRUE(same_matrix(connect, M));
    EXPECT_EQ(entries(types), std::vector<int>{kind});
    EXPECT_EQ(entries(pids), (std::vector<unsigned>{2, 3, 4}));
    for (std::size_t j = 0; j < pts.cols(); ++j)
      for (int i = 0; i < 3; ++i) EXPECT_NEAR(coords(i, j), pts(i, j), 5e-7);
  }
}

TEST_F(femap, MixedRunsReaderFormsAndChecks) {
  const dense2D<double> xyz = random_points(3, 8);
  // Tetrahedron, pyramid (no topology code: left out) and hexahedron.
  const unsigned N = no_index;
  const dense2D<unsigned> solids = columns<unsigned>(
      8, {0, 1, 2, 3, N, N, N, N, 0, 1, 2, 3, 4, N, N, N, 0, 1, 2, 3, 4, 5, 6, 7});
  ASSERT_EQ(FEMAP_output(path("s.neu").c_str(), xyz, solids, ET_SOLID_MIX), 0);
  ASSERT_EQ(FEMAP_input(path("s.neu").c_str(), coords, connect, bounds, types, pids), 0);
  EXPECT_EQ(entries(types), (std::vector<int>{ET_TETRA4, ET_HEXA8}));
  EXPECT_EQ(entries(bounds), (std::vector<unsigned>{0, 1, 2}));
  EXPECT_NE(read_file(path("s.neu")).find("\n3,1,1,25,8,"), std::string::npos);  // column + 1

  // The type& form gives ET_UNKNOWN for two runs; the two-matrix form splits.
  const dense2D<unsigned> tria = columns<unsigned>(3, {0, 1, 2});
  const dense2D<unsigned> quad = columns<unsigned>(4, {0, 1, 2, 3});
  ASSERT_EQ(FEMAP_output(path("tq.neu").c_str(), xyz, tria, quad, ET_TRIA3, ET_QUAD4), 0);
  element_type type = ET_TRIA3, t1 = ET_UNKNOWN, t2 = ET_UNKNOWN;
  ASSERT_EQ(FEMAP_input(path("tq.neu").c_str(), coords, connect, type), 0);
  EXPECT_EQ(type, ET_UNKNOWN);
  EXPECT_EQ(entries(connect), (std::vector<unsigned>{0, 1, 2, N, 0, 1, 2, 3}));
  dense2D<unsigned> m1, m2;
  ASSERT_EQ(FEMAP_input(path("tq.neu").c_str(), coords, m1, m2, t1, t2), 0);
  EXPECT_EQ(t1, ET_TRIA3);
  EXPECT_EQ(t2, ET_QUAD4);
  EXPECT_TRUE(same_matrix(m2, quad));

  dense1D<unsigned> b{0, 1}, p{1};
  dense1D<int> t{ET_TRIA3};
  EXPECT_EQ(FEMAP_output(path("x/y.neu").c_str(), xyz, tria, b, t, p), -1);
  EXPECT_EQ(FEMAP_output(path("a.neu").c_str(), random_points(1, 4), tria, b, t, p), -2);
  EXPECT_EQ(FEMAP_output(path("a.neu").c_str(), xyz, tria, dense1D<unsigned>{0, 2}, t, p), -5);
  // The size of pids is checked before the values of bounds.
  EXPECT_EQ(FEMAP_output(path("a.neu").c_str(), xyz, tria, dense1D<unsigned>{0, 2}, t,
                         dense1D<unsigned>{1, 1}),
            -6);
  EXPECT_EQ(FEMAP_output(path("a.neu").c_str(), xyz, tria, b, dense1D<int>{ET_QUAD4}, p), -3);
  EXPECT_EQ(read_file(path("a.neu")), "");
}

}  // namespace
