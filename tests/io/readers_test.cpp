// The readers' rules, one case table per family: NASTRAN GRID records and
// lines, NASTRAN cards, the run readers' forms, FEMAP blocks, OBJ lines and
// STL quirks. An output that receives nothing must come back 0 x 0, as the
// reader cleared it; the tables compare whole matrices, shape included.
#include <gtest/gtest.h>
#include <quernfold/io.h>

#include <array>

#include "support/compare.h"
#include "support/io_files.h"

using namespace ovk::quernfold;
using namespace quernfold_test;

namespace {

// A large-field GRID record as gmsh and meshio write it, at (1.5, -25, id):
// the first line ends at column 72, the continuation after its second field.
std::string grid72(int id, const std::string& end = "\n") {
  return fmt("GRID*   %-16d%16s%16s%16s", id, "", "1.5", "-2.5E+01") + end +
         fmt("*       %15d.", id) + end;
}

class readers : public io_test, protected run_outputs {
 protected:
  int read(const std::string& text, core_reader reader = NASTRAN_input) {
    write_file(path("in"), text);
    return read_with(reader, path("in"));
  }
};

TEST_F(readers, NastranGridRecordsAndLines) {
  const std::string large =
      fmt("GRID*   %16d%16s%16s%16s*C\n*C      %16s\n", 1, "", "1.5", "-2.5E+01", "1.");
  const std::string blanks(255, ' ');
  const std::vector<double> one{1.5, -25, 1}, two{1.5, -25, 1, 1.5, -25, 2};
  const struct {
    std::string text;
    std::vector<double> coords{};  // every column read
    int code = 0;
  } cases[] = {
      // clang-format off
      {"GRID    1               1.5-3   -1.25+2 -1.25E+2\n", {0.0015, -125, -125}},
      {"GRID    1                2. 5   +7.     -.5\n", {2.5, 7, -0.5}},
      {"GRID        1           -145.52416.6667 1.0\n", {-145.524, 16.6667, 1}},
      {"GRID    2               3.0     4.0\r\n", {0, 0, 0, 3, 4, 0}},
      {large, one}, {grid72(1), one}, {grid72(1, "\r\n"), one},
      {grid72(1) + grid72(2).substr(0, 97), two},  // no line end at the end
      // A first line that ends before column 72 holds five fields.
      {"GRID*    11031           1              -145.524        -1.42569-13\n*       582.085\n", {}, -1},
      {large.substr(0, large.find('\n') + 1), {}, -1},
      // A line of 254 characters and its line end fit the buffer; at 255 the
      // line end arrives as the next line, here the continuation.
      {grid72(1, blanks.substr(0, 182) + "\n"), one}, {grid72(1, blanks.substr(0, 183) + "\n"), {}, -1},
      {"$" + blanks.substr(1) + "GRID,2,,7.,8.,9.\n", {0, 0, 0, 7, 8, 9}},
      {"GRID, 1, 0, 7., 8., 9.\r\n", {7, 8, 9}}, {"BEGIN BULK\nENDDATA\n"}, {"GRID,1,0,1.0\n", {}, -1},
      // By identifier, the last record winning; comments, lines before BEGIN
      // BULK and lines after ENDDATA passed over.
      {"$ GRID,9,,1.,1.,1.\nBEGIN BULK\nGRID,1,,1.,1.,1.\n\nGRID,3,,5.,5.,5.\nGRID,1,,9.,9.,9.\n"
       "ENDDATA\nGRID,4,,5.,5.,5.\n", {9, 9, 9, 0, 0, 0, 5, 5, 5}},
      // Reading stops at a bad record (here an identifier below 1), keeping
      // what was read before it.
      {"GRID,1,,1.,2.,3.\nCTRIA3,1,1,1,1,1\nGRID,0,,1.,2.,3.\nGRID,2,,1.,2.,3.\n", {1, 2, 3}, -1},
      // clang-format on
  };
  for (const auto& c : cases) {
    EXPECT_EQ(read(c.text), c.code) << c.text;
    EXPECT_SAME(coords, columns(3, c.coords)) << c.text;
    EXPECT_EQ(connect.rows(), connect.cols() ? 3u : 0u) << c.text;  // 0 x 0 without cards
  }
}

TEST_F(readers, NastranCards) {
  const std::string hexa6 = "CHEXA   1       2       1       2       3       4       5       6\n";
  const std::vector<unsigned> hexa{0, 1, 2, 3, 4, 5, 6, 7};
  const struct {
    std::string text;
    element_type type = ET_UNKNOWN;
    std::vector<unsigned> column{};  // empty: the card is ignored
    unsigned pid = 0;
  } cases[] = {
      // clang-format off
      {"CTETRA  1       1       1       2       3       4", ET_TETRA4, {0, 2, 1, 3}, 1},
      {"CTETRA  7       3       1       2       3       4       5       6       +T1\n"
       "+T1     7       8       9       10", ET_TETRA10, {0, 2, 1, 3, 5, 4, 6, 7, 9, 8}, 3},
      {hexa6 + "        7       8", ET_HEXA8, hexa, 2},
      {hexa6 + "CTRIA3  2       2       1       2       3", ET_TRIA3, {0, 1, 2}, 2},
      {"CHEXA,1,5,1,2,3,4,5,6,+CHX1\r\n+CHX1,7,8", ET_HEXA8, hexa, 5},
      {fmt("CQUAD4* %16d%16d%16d%16d*Q1\n*Q1     %16d%16d", 3, 6, 1, 2, 3, 4), ET_QUAD4, {0, 1, 2, 3}, 6},
      {"CBAR    1       1       1       2", ET_EDGE2, {0, 1}, 1},
      {"CTRIA6,1,1,1,2,3,4,5,6", ET_TRIA6, {0, 1, 2, 4, 5, 3}, 1},
      {"CPENTA,1,1,1,2,3,4,5,6,+\n+,7,8,9,10,11,12,13,14,+\n+,15", ET_WEDGE15,
       {0, 1, 2, 3, 4, 5, 9, 10, 11, 7, 8, 6, 13, 14, 12}, 1},
      // Ignored: a free-field continuation without its marker, a bar with
      // an orientation vector, a card cut short. Free-field names and markers
      // are taken as they stand: a last token that begins with a tab is an
      // integer, 0 (node index no_index).
      {"CTETRA,9,1,1,2,3,4,5,6\n,7,8,9,10"}, {"CBAR    1       1       1       2       0.0     1.0     0.0"},
      {"CTRIA3,1\n"}, {" CTRIA3,1,1,1,2,3"}, {"CTRIA3 ,1,1,1,2,3"},
      {"CQUAD4,1,1,1,2,3,\t+\n+,4", ET_QUAD4, {0, 1, 2, no_index}, 1}, {"CQUAD4,1,1,1,2,3,+\n+,4", ET_QUAD4, {0, 1, 2, 3}, 1},
      // clang-format on
  };
  for (const auto& c : cases) {
    ASSERT_EQ(read(c.text + "\n"), 0) << c.text;
    EXPECT_SAME(connect, columns(c.column.size(), c.column)) << c.text;
    EXPECT_SAME(coords, dense2D<double>()) << c.text;
    const bool kept = !c.column.empty();
    EXPECT_EQ(entries(types), std::vector<int>(kept, c.type)) << c.text;
    EXPECT_EQ(entries(pids), std::vector<unsigned>(kept, c.pid)) << c.text;
  }
}

// The types the file-name forms of the one-type and two-matrix readers give
// (that the stream forms return the core's columns and types, the
// truncation test checks).
TEST_F(readers, OneTypeAndTwoMatrixForms) {
  const auto forms = [&](const std::string& file, std::vector<int> want) {
    dense2D<unsigned> all, m1, m2;
    element_type type = ET_HEXA27, t1 = ET_HEXA27, t2 = ET_HEXA27;
    EXPECT_EQ(NASTRAN_input(file.c_str(), coords, all, type), 0);
    EXPECT_EQ(NASTRAN_input(file.c_str(), coords, m1, m2, t1, t2), 0);
    EXPECT_EQ((std::vector<int>{type, t1, t2}), want) << file;
  };
  write_file(path("f.bdf"), "CTRIA3,1,1,1,2,3\nCQUAD4,3,2,1,2,3,4\nCTRIA3,4,1,4,2,3\n");
  write_file(path("g.bdf"), "GRID,1,,0.,0.,0.\n");
  forms(path("f.bdf"), {ET_FACE_MIX, ET_TRIA3, ET_QUAD4});
  forms(fixture("meshio_mixed_small.bdf"), {ET_SOLID_MIX, ET_TETRA4, ET_PYRAMID5});
  forms(fixture("golden/two.bdf"), {ET_UNKNOWN, ET_TRIA3, ET_HEXA8});
  // Without elements the file-name forms give ET_UNKNOWN, the stream form
  // keeps the caller's type.
  forms(path("g.bdf"), {ET_UNKNOWN, ET_UNKNOWN, ET_UNKNOWN});
}

// A seven-line element record of a triangle (topology 2 unless given).
std::string element_record(int a, int b, int c, int topology = 2) {
  return fmt("1,7,1,17,%d,1,0,0,0,0,0,0,0,\n%d,%d,%d,0,0,0,0,0,0,0,\n", topology, a, b, c) +
         "0,0,0,0,0,0,0,0,0,0,\n0.,0.,0.,0,0,0,0,0,0,\n0.,0.,0.,\n0.,0.,0.,\n0,0,0,0,0,\n";
}

TEST_F(readers, FemapBlocks) {
  const std::string nodes =
      "   -1\n   403\n1,0,0,1,46,0,0,0,0,0,0,0.,0.,0.,0,\n"
      "2,0,0,1,46,0,0,0,0,0,0,1.,0.,0.,0,\n3,0,0,1,46,0,0,0,0,0,0,0.,1.,0.,0,\n";
  const std::string tria = "   -1\n   404\n" + element_record(1, 2, 3);
  const std::vector<double> xyz{0, 0, 0, 1, 0, 0, 0, 1, 0};
  const struct {
    std::string text;
    int code;
    std::vector<double> coords{};
    std::vector<unsigned> connect{};
  } cases[] = {
      // clang-format off
      {"   -1\n   100\n<NULL>\n" + nodes + tria + element_record(1, 2, 3, 11) + "   -1\n", 0, xyz, {0, 1, 2}},
      {nodes + "   -1  \r\n   404   \r\n" + element_record(1, 2, 3) + "   -1  \r\n", 0, xyz, {0, 1, 2}},
      {nodes + tria + "-1\n", -102, xyz, {0, 1, 2}},
      {nodes + tria + "   -1\n   -1\n404\n" + element_record(3, 2, 1), 0, xyz, {0, 1, 2, 2, 1, 0}},
      {"   -1\n403\n1,0,0,1,0,0,0,0,0,0,0,1.,2.\n", -102}, {"   -1\n   100\n   -1\n", 0},
      {"   -1\n403\n0,0,0,1,0,0,0,0,0,0,0,1.,2.,3.,0,\n", -102},
      {"   -1\n403\n-2,0,0,1,0,0,0,0,0,0,0,1.,2.,3.,0,\n", -102},
      {nodes + "   -1\n404\n1,1,1,17,2,1,\n1,2,3,0,0,\n", -102, xyz},
      // Fortran "D" exponents in padded fields.
      {"403\n         1,         0,         0,         1,        46,    0,    0,    0,    0,    0,"
       "    0,   8.00000000D+00,   1.5d-01,  -5.0000000000000000D+00,         0,\n", 0, {8, 0.15, -5}, {}},
      // clang-format on
  };
  for (const auto& c : cases) {
    EXPECT_EQ(read(c.text, FEMAP_input), c.code) << c.text;
    EXPECT_SAME(coords, columns(3, c.coords)) << c.text;
    EXPECT_SAME(connect, columns(3, c.connect)) << c.text;
  }
}

using obj_reader = io_test;

TEST_F(obj_reader, Lines) {
  dense2D<double> coords, uv, normals;
  dense2D<unsigned> tria, quad;
  const std::string sq = "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\n";
  const std::string vt = sq + "vt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\nvn 0 0 1\n";
  // Rows and columns of coords, uv and normals.
  using shapes = std::vector<std::size_t>;
  const shapes plain{3, 4, 0, 0, 0, 0}, textured{3, 4, 2, 4, 3, 1}, none(6, 0);
  const struct {
    std::string text;
    shapes shape;
    int code;
    std::vector<unsigned> tria{}, quad{};
  } cases[] = {
      // clang-format off
      {sq + "f 1 2 3\nf 1 2 3 4\n", plain, 0, {0, 1, 2}, {0, 1, 2, 3}},
      // Negative indices count the vertices read so far.
      {"v 0 0 0\nv 1 0 0\nv 1 1 0\nf -3 -2 -1\nv 0 1 0\nf -1 -4 -3\n", plain, 0, {0, 1, 2, 3, 0, 1}},
      {vt + "f 1/4/1 2/3/1 3/2/1\nf 1//1 2//1 3//1 4//1\n", textured, 0, {0, 1, 2}, {0, 1, 2, 3}},
      {vt + "f 1/1/ 2/2/ 3/3/\nf 4// 1 2/2\n", textured, 0, {0, 1, 2, 3, 0, 1}},
      {sq + "vt\nf 1/1 2/2 3/3\n", plain, 0, {0, 1, 2}},
      {sq + "f 1/1 2/2 3/3\n", plain, -2}, {sq + "f 1//1 2//1 3//1\n", plain, -2},
      {sq + "f 0 1 2\n", plain, -2}, {sq + "f 1 2 -5\n", plain, -2}, {vt + "f 1/1/1/1 2 3\n", textured, -2},
      {sq + "f 1 2 3\nf 1a 2 3\nf 2 3 4\n", plain, -2, {0, 1, 2}}, {"vt 1 0 0 0\n", none, -2},
      {sq + std::string("f 1 2 3\nf 1\0x 2 3\n", 18), plain, -2, {0, 1, 2}},
      {"v 1 2 3 0.1 0.2 0.3\nv 1 2\n", {3, 1, 0, 0, 0, 0}, -2}, {"vn 1 0\n", none, -2},
      // The first vt with numbers fixes the rows; other counts are dropped.
      {"vt 0.5\nvt 0.7\nvt 1 1\n", {0, 0, 1, 2, 0, 0}, 0},
      // clang-format on
  };
  for (const auto& c : cases) {
    write_file(path("in.obj"), c.text);
    EXPECT_EQ(WavefrontOBJ_input(path("in.obj").c_str(), coords, uv, normals, tria, quad), c.code)
        << c.text;
    EXPECT_SAME(tria, columns(3, c.tria)) << c.text;
    EXPECT_SAME(quad, columns(4, c.quad)) << c.text;
    EXPECT_EQ((shapes{coords.rows(), coords.cols(), uv.rows(), uv.cols(), normals.rows(),
                      normals.cols()}),
              c.shape)
        << c.text;
  }
  EXPECT_EQ(WavefrontOBJ_input(path("none").c_str(), coords, uv, normals, tria, quad), -1);
}

// A text STL of triangles given by their nine coordinates.
std::string text_stl(std::initializer_list<std::array<double, 9>> triangles) {
  std::string s = "solid t\ncolor 1 0 0\n";
  for (const auto& t : triangles)
    s +=
        fmt(" facet normal 0 0 1\n outer loop\n  vertex %g %g %g\n  vertex %g %g %g\n  vertex %g "
            "%g %g\n endloop\n endfacet\n",
            t[0], t[1], t[2], t[3], t[4], t[5], t[6], t[7], t[8]);
  return s + "endsolid t\nsolid e\nendsolid e\n";
}

TEST_F(readers, StlQuirksAndMerging) {
  // The tolerance is 0.05 x the smallest height, here that of the right
  // angle of the thin triangle, 0.1 / sqrt(1.01): a gap of 0.004 merges,
  // 0.006 does not.
  const std::array<double, 9> thin{0, 0, 0, 1, 0, 0, 0, 0.1, 0}, line{0, 0, 0, 1, 0, 0, 2, 0, 0};
  const std::string one = text_stl({thin});
  const std::string binary = one.substr(0, 80) + std::string("\xFF\xFF\xFF\xFF", 4);
  const struct {
    std::string content;
    int code;
    std::vector<unsigned> connect{};
  } cases[] = {
      // clang-format off
      {text_stl({thin, {1.004, 0, 0, 2, 0, 0, 1, 1, 0}}), 0, {0, 1, 2, 1, 3, 4}},
      {text_stl({thin, {1.006, 0, 0, 2, 0, 0, 1, 1, 0}}), 0, {0, 1, 2, 3, 4, 5}},
      {text_stl({thin, {0, 0, 0, 1, 0, 0, 1, 0, 0}}), 0, {0, 1, 2}},  // the second collapses
      {text_stl({line, line}), 0, {0, 1, 2, 3, 4, 5}},  // no positive height: no merge
      {"solid e\nendsolid e\n", 0},
      {one.substr(0, one.find("endsolid")), -3, {}},  // then a binary too short for its count
      {"solid a\n facet normal 0 0 1\n outer loop\n vertex 0 0\n", -2, {}},
      // A facet line that holds a keyword is read as the keyword's line.
      {"solid a\n facet normal 0 0 1 color" + one.substr(one.find("\n outer")), -3, {}},
      {"solid a\n facet normal 0 0 1 endsolid\n solid b\n facet normal 0 0 1" + one.substr(one.find("\n outer")), 0, {0, 1, 2}},
      {binary, 0, {}},                           // a negative count
      {binary.substr(0, 80) + std::string("\3\0\0\0", 4), -3, {}},  // truncated
      // clang-format on
  };
  for (const auto& c : cases) {
    write_file(path("in.stl"), c.content);
    EXPECT_EQ(STL_input(path("in.stl").c_str(), coords, connect), c.code) << c.content;
    // The connectivity is built as 3 x (vertices / 3) whatever the count.
    EXPECT_EQ(entries(connect), c.connect) << c.content;
    EXPECT_EQ(connect.rows(), c.code ? 0u : 3u) << c.content;
  }
}

}  // namespace
