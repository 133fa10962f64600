#include <gtest/gtest.h>
#include <quernfold/io.h>

#include "support/io_files.h"
#include "support/mesh_gen.h"

using namespace ovk::quernfold;
using namespace quernfold_test;

namespace {

// A small-field line from its fields, each padded to 8 characters.
std::string small_line(std::initializer_list<const char*> fields) {
  std::string s;
  for (const char* f : fields) s += (std::string(f) + "        ").substr(0, 8);
  return s;
}

class nastran : public io_test, protected run_outputs {
 protected:
  int read(const std::string& text) {
    write_file(path("in.bdf"), text);
    return read_with(NASTRAN_input, path("in.bdf"));
  }
};

TEST_F(nastran, GridRecordsInEveryFieldForm) {
  const std::string large = std::string("GRID*   ") + fmt("%16d", 1) + std::string(16, ' ') +
                            fmt("%16s", "1.5") + fmt("%16s", "-2.5E+01") + "*C\n*C      " +
                            fmt("%16s", "4.0") + "\n";
  const struct {
    std::string text;
    int code;
    double xyz[3];
  } cases[] = {
      {small_line({"GRID", "1", "", "1.5-3", "-1.25+2", "-1.25E+2"}) + "\n",
       0,
       {0.0015, -125, -125}},
      {small_line({"GRID", "1", "", " 2. 5", "+7.", "-.5"}) + "\n", 0, {2.5, 7.0, -0.5}},
      {"GRID        1           -145.52416.6667 1.0\n", 0, {-145.524, 16.6667, 1.0}},
      {small_line({"GRID", "1", "", "3.0", "4.0"}) + "\n", 0, {3, 4, 0}},
      {large, 0, {1.5, -25.0, 4.0}},
      {"GRID,1,,7.0,8.0,9.0\r\n", 0, {7, 8, 9}},
      {small_line({"GRID", "0", "", "1.0", "2.0", "3.0"}) + "\n", -1, {}},
      {"GRID,1,0,1.0\n", -1, {}},
      {large.substr(0, large.find('\n') + 1), -1, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(read(c.text), c.code);
    ASSERT_EQ(coords.cols(), c.code ? 0u : 1u);
    for (int k = 0; k < 3 && !c.code; ++k) EXPECT_DOUBLE_EQ(coords(k, 0), c.xyz[k]) << k;
  }
  // Nodes are stored by identifier, the last record winning; lines before
  // BEGIN BULK, comments and lines after ENDDATA are passed over.
  ASSERT_EQ(read("SOL 101\nCEND\n$ comment GRID,9,,1.,1.,1.\nBEGIN BULK\nGRID,1,,1.,1.,1.\n"
                 "GRID,3,,5.,5.,5.\nGRID,1,,9.,9.,9.\nENDDATA\nGRID,4,,5.,5.,5.\n"),
            0);
  EXPECT_EQ(entries(coords), (std::vector<double>{9, 9, 9, 0, 0, 0, 5, 5, 5}));
}

TEST_F(nastran, ElementCards) {
  const std::string hexa6 = small_line({"CHEXA", "1", "2", "1", "2", "3", "4", "5", "6"}) + "\n";
  const struct {
    std::string text;
    element_type type;
    std::vector<unsigned> column;  // empty: the card is ignored
    unsigned pid;
  } cases[] = {
      {small_line({"CTETRA", "1", "1", "1", "2", "3", "4"}), ET_TETRA4, {0, 2, 1, 3}, 1},
      {small_line({"CTETRA", "7", "3", "1", "2", "3", "4", "5", "6", "+T1"}) + "\n" +
           small_line({"+T1", "7", "8", "9", "10"}),
       ET_TETRA10,
       {0, 2, 1, 3, 5, 4, 6, 7, 9, 8},
       3},
      {hexa6 + small_line({"", "7", "8"}), ET_HEXA8, {0, 1, 2, 3, 4, 5, 6, 7}, 2},
      {hexa6 + small_line({"CTRIA3", "2", "2", "1", "2", "3"}), ET_TRIA3, {0, 1, 2}, 2},
      {"CHEXA,1,5,1,2,3,4,5,6,+CHX1\n+CHX1,7,8", ET_HEXA8, {0, 1, 2, 3, 4, 5, 6, 7}, 5},
      {"CTETRA,9,1,1,2,3,4,5,6\n,7,8,9,10", ET_UNKNOWN, {}, 0},
      {"CQUAD4* " + fmt("%16d%16d%16d%16d*Q1\n*Q1     %16d%16d", 3, 6, 1, 2, 3, 4),
       ET_QUAD4,
       {0, 1, 2, 3},
       6},
      {small_line({"CBAR", "1", "1", "1", "2", "0.0", "1.0", "0.0"}), ET_UNKNOWN, {}, 0},
      {small_line({"CBAR", "1", "1", "1", "2"}), ET_EDGE2, {0, 1}, 1},
      {"CTRIA6,1,1,1,2,3,4,5,6", ET_TRIA6, {0, 1, 2, 4, 5, 3}, 1},
      {"CQUAD8,1,1,1,2,3,4", ET_UNKNOWN, {}, 0},
      {"CPENTA,1,1,1,2,3,4,5,6,+\n+,7,8,9,10,11,12,13,14,+\n+,15",
       ET_WEDGE15,
       {0, 1, 2, 3, 4, 5, 9, 10, 11, 7, 8, 6, 13, 14, 12},
       1},
      {"ctria3,1,1,1,2,3", ET_UNKNOWN, {}, 0},
      {"CTRIA3,1\n", ET_UNKNOWN, {}, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    ASSERT_EQ(read(c.text + "\n"), 0);
    EXPECT_EQ(entries(connect), c.column);
    if (c.column.empty()) {
      EXPECT_EQ(entries(bounds), (std::vector<unsigned>{0, 0}));
      EXPECT_EQ(types.size(), 0u);
      continue;
    }
    EXPECT_EQ(entries(types), std::vector<int>{c.type});
    EXPECT_EQ(entries(pids), std::vector<unsigned>{c.pid});
    EXPECT_EQ(entries(bounds), (std::vector<unsigned>{0, 1}));
  }
}

TEST_F(nastran, RunsAndTheOneAndTwoMatrixForms) {
  ASSERT_EQ(read("GRID,1,,0.,0.,0.\nGRID,2,,1.,0.,0.\nGRID,3,,1.,1.,0.\nGRID,4,,0.,1.,0.\n"
                 "CTRIA3,1,1,1,2,3\nCTRIA3,2,1,1,3,4\nCQUAD4,3,2,1,2,3,4\nCTRIA3,4,1,4,2,3\n"),
            0);
  EXPECT_EQ(entries(bounds), (std::vector<unsigned>{0, 2, 3, 4}));
  EXPECT_EQ(entries(types), (std::vector<int>{ET_TRIA3, ET_QUAD4, ET_TRIA3}));
  EXPECT_EQ(entries(pids), (std::vector<unsigned>{1, 1, 2, 1}));
  EXPECT_EQ(entries(connect), (std::vector<unsigned>{0, 1, 2, no_index, 0, 2, 3, no_index, 0, 1, 2,
                                                     3, 3, 1, 2, no_index}));
  element_type type = ET_HEXA8;
  dense2D<double> c2;
  dense2D<unsigned> all, m1, m2;
  ASSERT_EQ(NASTRAN_input(path("in.bdf").c_str(), c2, all, type), 0);
  EXPECT_EQ(type, ET_FACE_MIX);
  EXPECT_TRUE(same_matrix(all, connect));
  element_type t1 = ET_UNKNOWN, t2 = ET_UNKNOWN;
  ASSERT_EQ(NASTRAN_input(path("in.bdf").c_str(), c2, m1, m2, t1, t2), 0);
  EXPECT_EQ(t1, ET_TRIA3);
  EXPECT_EQ(t2, ET_QUAD4);
  EXPECT_EQ(entries(m1), (std::vector<unsigned>{0, 1, 2, 0, 2, 3}));
  EXPECT_EQ(entries(m2), (std::vector<unsigned>{0, 1, 2, 3}));

  // Solids widen among themselves, a bar among triangles gives ET_UNKNOWN;
  // without elements the stream form keeps the caller's value.
  write_file(path("w.bdf"), "CTETRA,1,1,1,2,3,4\nCHEXA,2,1,1,2,3,4,1,2,3,4\n");
  ASSERT_EQ(NASTRAN_input(path("w.bdf").c_str(), c2, all, type), 0);
  EXPECT_EQ(type, ET_SOLID_MIX);
  write_file(path("w.bdf"), "GRID,1,,0.,0.,0.\n");
  std::FILE* f = std::fopen(path("w.bdf").c_str(), "r");
  type = ET_HEXA27;
  EXPECT_EQ(NASTRAN_input(f, c2, all, type), 0);
  EXPECT_EQ(type, ET_HEXA27);
  std::fclose(f);
  EXPECT_EQ(NASTRAN_input(path("w.bdf").c_str(), c2, all, type), 0);
  EXPECT_EQ(type, ET_UNKNOWN);
}

TEST_F(nastran, ReaderFailuresKeepWhatWasRead) {
  EXPECT_EQ(read("GRID,1,,1.,2.,3.\nCTRIA3,1,1,1,1,1\nGRID,0,,1.,2.,3.\nGRID,2,,1.,2.,3.\n"), -1);
  EXPECT_EQ(coords.cols(), 1u);
  EXPECT_EQ(entries(bounds), (std::vector<unsigned>{0, 1}));
  EXPECT_EQ(NASTRAN_input(path("missing.bdf").c_str(), coords, connect, bounds, types, pids), -1);
}

// Exact text of a written file: nodes as GRID* records, cards in free field.
TEST_F(nastran, WriterOutputIsExact) {
  const dense2D<double> xy = columns<double>(2, {0.0, 0.0, 1.5, -2.0, 0.0, 1.0});
  ASSERT_EQ(NASTRAN_output(path("out.bdf").c_str(), xy, columns<unsigned>(3, {0, 1, 2}), ET_TRIA3),
            0);
  const auto grid = [](int id, const char* x, const char* y) {
    return "GRID*   " + fmt("%16d", id) + std::string(16, ' ') + fmt("%16s%16s", x, y) +
           "*C\n*C      " + fmt("%16s", "0.000000E+00") + "\n";
  };
  const std::string expected =
      "$ OVK Quernfold(R) NASTRAN exporter\n"
      "BEGIN BULK\n"
      "$----------------------------------------\n"
      "$ Referenced Material Records -----------\n"
      "$ Material Record :    ------------------\n"
      "$ Description of Material :   -----------\n"
      "MAT1    1       0.                 0.  0.\n"
      "$----------------------------------------\n"
      "$                GRID POINTS             \n"
      "$----------------------------------------\n" +
      grid(1, "0.000000E+00", "0.000000E+00") + grid(2, "1.500000E+00", "-2.000000E+00") +
      grid(3, "0.000000E+00", "1.000000E+00") +
      "$----------------------------------------\n"
      "$                 ELEMENTS               \n"
      "$----------------------------------------\n"
      "CTRIA3,1,1,1,2,3\n"
      "ENDDATA\n";
  EXPECT_EQ(read_file(path("out.bdf")), expected);

  // Nine fields a line; column positions 0..11, 16..19, 12..15 of HEXA20.
  const dense2D<double> c = hexa_grid(1, 1, 1).coords;
  dense2D<unsigned> hexa20(20, 1);
  for (unsigned k = 0; k < 20; ++k) hexa20(k, 0) = k % 8;
  ASSERT_EQ(NASTRAN_output(path("h.bdf").c_str(), c, hexa20, ET_HEXA20), 0);
  const std::string card =
      "\nCHEXA,1,1,1,2,3,4,5,6,+C\n+C,7,8,1,2,3,4,1,2,+C\n+C,3,4,5,6,7,8\nENDDATA\n";
  const std::string h = read_file(path("h.bdf"));
  EXPECT_EQ(h.substr(h.size() - std::min(h.size(), card.size())), card);
  // The two-matrix form numbers the property identifiers 1 and 2.
  ASSERT_EQ(NASTRAN_output(path("two.bdf").c_str(), c, columns<unsigned>(3, {0, 1, 2}),
                           columns<unsigned>(4, {0, 1, 2, 3}), ET_TRIA3, ET_QUAD4),
            0);
  EXPECT_NE(read_file(path("two.bdf")).find("CTRIA3,1,1,1,2,3\nCQUAD4,2,2,1,2,3,4\n"),
            std::string::npos);
}

// Every kind the writer keeps exactly reads back as the same element.
TEST_F(nastran, RoundTripOfEveryExactKind) {
  const element_type kinds[] = {ET_EDGE2,   ET_TRIA3,   ET_QUAD4,    ET_TRIA6,     ET_QUAD8,
                                ET_TETRA4,  ET_TETRA10, ET_PYRAMID5, ET_PYRAMID13, ET_WEDGE6,
                                ET_WEDGE15, ET_HEXA8,   ET_HEXA20};
  const dense2D<double> pts = random_points(3, 40, 7);
  for (element_type kind : kinds) {
    SCOPED_TRACE(kind);
    const unsigned n = nbr_nodes(kind);
    dense2D<unsigned> M(n, 2);
    for (unsigned j = 0; j < 2; ++j)
      for (unsigned k = 0; k < n; ++k) M(k, j) = (7 * k + 13 * j + 3) % 40;
    dense1D<unsigned> b{0, 2}, p{4, 9};
    dense1D<int> t{kind};
    ASSERT_EQ(NASTRAN_output(path("rt.bdf").c_str(), pts, M, b, t, p), 0);
    ASSERT_EQ(NASTRAN_input(path("rt.bdf").c_str(), coords, connect, bounds, types, pids), 0);
    EXPECT_TRUE(same_matrix(connect, M));
    EXPECT_EQ(entries(types), std::vector<int>{kind});
    EXPECT_EQ(entries(pids), (std::vector<unsigned>{4, 9}));
    ASSERT_EQ(coords.cols(), 40u);
    for (std::size_t j = 0; j < 40; ++j)
      for (int i = 0; i < 3; ++i) EXPECT_NEAR(coords(i, j), pts(i, j), 1e-6);
  }
}

TEST_F(nastran, WriterChecks) {
  const dense2D<double> xyz = random_points(3, 4);
  const dense2D<unsigned> tria = columns<unsigned>(3, {0, 1, 2, 1, 2, 3});
  const std::string a = path("a.bdf");
  dense1D<unsigned> b{0, 2}, p{1, 1};
  dense1D<int> t{ET_TRIA3};
  EXPECT_EQ(NASTRAN_output(path("no/such/dir.bdf").c_str(), xyz, tria, b, t, p), -1);
  EXPECT_EQ(NASTRAN_output(a.c_str(), random_points(1, 4), tria, b, t, p), -2);
  EXPECT_EQ(NASTRAN_output(a.c_str(), xyz, tria, dense1D<unsigned>{0, 3}, t, p), -5);
  // The size of pids is checked before the values of bounds.
  EXPECT_EQ(NASTRAN_output(a.c_str(), xyz, tria, dense1D<unsigned>{2, 0}, t, dense1D<unsigned>{1}),
            -6);
  EXPECT_EQ(NASTRAN_output(a.c_str(), xyz, tria, b, dense1D<int>{ET_QUAD4}, p), -3);
  EXPECT_EQ(NASTRAN_output(a.c_str(), xyz, columns<unsigned>(3, {0, 1, no_index}), ET_TRIA3), -3);
  // Node numbers are not bounded by the coordinates.
  EXPECT_EQ(NASTRAN_output(a.c_str(), xyz, columns<unsigned>(3, {0, 1, 99}), ET_TRIA3), 0);
  EXPECT_NE(read_file(a).find("CTRIA3,1,1,1,2,100\n"), std::string::npos);
}

// A deck mixing every field form, read and written back.
TEST_F(nastran, MixedFormsDeck) {
  const std::string deck = fixture("mixed_forms.bdf");
  ASSERT_EQ(read_with(NASTRAN_input, deck), 0);
  EXPECT_EQ(entries(coords), (std::vector<double>{0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0,
                                                  0, 0, 1, 1, 0, 1, 1, 1, 1, 0, 1, 1}));
  EXPECT_EQ(entries(types), (std::vector<int>{ET_TRIA3, ET_QUAD4, ET_HEXA8, ET_TETRA4, ET_WEDGE6}));
  EXPECT_EQ(entries(bounds), (std::vector<unsigned>{0, 1, 2, 3, 4, 5}));
  EXPECT_EQ(entries(pids), (std::vector<unsigned>{3, 3, 7, 7, 7}));
  const unsigned N = no_index;
  EXPECT_EQ(entries(connect),
            (std::vector<unsigned>{0, 1, 2, N, N, N, N, N, 0, 1, 5, 4, N, N, N, N, 0, 1, 2, 3,
                                   4, 5, 6, 7, 0, 3, 1, 4, N, N, N, N, 0, 1, 2, 4, 5, 6, N, N}));
  ASSERT_EQ(NASTRAN_output(path("back.bdf").c_str(), coords, connect, bounds, types, pids), 0);
  run_outputs again;
  ASSERT_EQ(again.read_with(NASTRAN_input, path("back.bdf")), 0);
  EXPECT_TRUE(same_matrix(again.connect, connect));
  EXPECT_EQ(entries(again.types), entries(types));
  EXPECT_EQ(entries(again.pids), entries(pids));
}

}  // namespace
