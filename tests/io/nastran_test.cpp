#include <gtest/gtest.h>
#include <quernfold/io.h>

#include <numeric>

#include "support/io_files.h"
#include "support/mesh_gen.h"

using namespace ovk::quernfold;
using namespace quernfold_test;

namespace {

// A small-field line from its fields, each padded to 8 characters.
std::string small_line(std::initializer_list<const char*> fields) {
  std::string s;
  for (const char* f : fields) {
    std::string field(f);
    field.resize(8, ' ');
    s += field;
  }
  return s;
}

class nastran : public io_test, protected run_outputs {
 protected:
  // Reads `text` with the core reader.
  int read(const std::string& text) {
    write_file(path("in.bdf"), text);
    return read_with(NASTRAN_input, path("in.bdf"));
  }
};

struct grid_case {
  const char* what;
  std::string text;
  int code;
  double xyz[3];
};

TEST_F(nastran, GridRecordsInEveryFieldForm) {
  const std::string large = std::string("GRID*   ") + fmt("%16d", 1) + std::string(16, ' ') +
                            fmt("%16s", "1.5") + fmt("%16s", "-2.5E+01") + "*C\n*C      " +
                            fmt("%16s", "4.0") + "\n";
  const grid_case cases[] = {
      {"small field", small_line({"GRID", "1", "0", "1.0", "2.0", "3.0"}) + "\n", 0, {1, 2, 3}},
      {"exponent without E",
       small_line({"GRID", "1", "", "1.5-3", "-1.25+2", "-1.25E+2"}) + "\n",
       0,
       {0.0015, -125.0, -125.0}},
      {"blanks inside a field",
       small_line({"GRID", "1", "", " 2. 5", "+7.", "-.5"}) + "\n",
       0,
       {2.5, 7.0, -0.5}},
      {"touching reals",
       "GRID        1           -145.52416.6667 1.0\n",
       0,
       {-145.524, 16.6667, 1.0}},
      {"short line, blank Z", small_line({"GRID", "1", "", "3.0", "4.0"}) + "\n", 0, {3, 4, 0}},
      {"large field", large, 0, {1.5, -25.0, 4.0}},
      {"free field", "GRID,1,0,1.,2.,3.\n", 0, {1, 2, 3}},
      {"free field with blanks", "GRID, 1, 0, 0.5, 0., -1.\n", 0, {0.5, 0, -1}},
      {"free field, empty CP", "GRID,1,,7.0,8.0,9.0\n", 0, {7, 8, 9}},
      {"CRLF line end", "GRID,1,,7.0,8.0,9.0\r\n", 0, {7, 8, 9}},
      {"identifier 0", small_line({"GRID", "0", "", "1.0", "2.0", "3.0"}) + "\n", -1, {0, 0, 0}},
      {"free field too short", "GRID,1,0,1.0\n", -1, {0, 0, 0}},
      {"large field without continuation", large.substr(0, large.find('\n') + 1), -1, {0, 0, 0}},
      {"large field cut short", "GRID*   " + fmt("%16d", 1) + "\n*C  4.0\n", -1, {0, 0, 0}},
  };
  for (const grid_case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(read(c.text), c.code);
    if (c.code != 0) {
      EXPECT_EQ(coords.cols(), 0u);
      continue;
    }
    ASSERT_EQ(coords.rows(), 3u);
    ASSERT_EQ(coords.cols(), 1u);
    for (int k = 0; k < 3; ++k) EXPECT_DOUBLE_EQ(coords(k, 0), c.xyz[k]) << k;
    EXPECT_EQ(entries(bounds), (std::vector<unsigned>{0, 0}));
  }
}

TEST_F(nastran, NodesAreStoredByIdentifier) {
  ASSERT_EQ(read("GRID,1,,1.,1.,1.\nGRID,2,,2.,2.,2.\nGRID,5,,5.,5.,5.\nGRID,2,,9.,9.,9.\n"), 0);
  ASSERT_EQ(coords.cols(), 5u);
  EXPECT_EQ(entries(coords), (std::vector<double>{1, 1, 1, 9, 9, 9, 0, 0, 0, 0, 0, 0, 5, 5, 5}));
}

struct card_case {
  const char* what;
  std::string text;
  element_type type;
  std::vector<unsigned> column;  // empty: the card is ignored
  unsigned pid;
};

TEST_F(nastran, ElementCards) {
  const std::string tetra10_first =
      small_line({"CTETRA", "7", "3", "1", "2", "3", "4", "5", "6", "+T1"});
  const card_case cases[] = {
      {"small-field triangle",
       small_line({"CTRIA3", "1", "4", "1", "2", "3"}),
       ET_TRIA3,
       {0, 1, 2},
       4},
      {"tetrahedron reordered",
       small_line({"CTETRA", "1", "1", "1", "2", "3", "4"}),
       ET_TETRA4,
       {0, 2, 1, 3},
       1},
      {"ten-node tetrahedron on two lines",
       tetra10_first + "\n" + small_line({"+T1", "7", "8", "9", "10"}),
       ET_TETRA10,
       {0, 2, 1, 3, 5, 4, 6, 7, 9, 8},
       3},
      {"implicit continuation after 8 integers",
       small_line({"CHEXA", "1", "2", "1", "2", "3", "4", "5", "6"}) + "\n" +
           small_line({"", "7", "8"}),
       ET_HEXA8,
       {0, 1, 2, 3, 4, 5, 6, 7},
       2},
      {"no continuation without a leading blank",
       small_line({"CHEXA", "1", "2", "1", "2", "3", "4", "5", "6"}) + "\n" +
           small_line({"CTRIA3", "2", "2", "1", "2", "3"}),
       ET_TRIA3,
       {0, 1, 2},
       2},
      {"free field with named continuation",
       "CHEXA,1,5,1,2,3,4,5,6,+CHX1\n+CHX1,7,8",
       ET_HEXA8,
       {0, 1, 2, 3, 4, 5, 6, 7},
       5},
      {"free field without marker stops", "CTETRA,9,1,1,2,3,4,5,6\n,7,8,9,10", ET_UNKNOWN, {}, 0},
      {"large-field card",
       std::string("CQUAD4* ") + fmt("%16d%16d%16d%16d", 3, 6, 1, 2) + "*Q1\n*Q1     " +
           fmt("%16d%16d", 3, 4),
       ET_QUAD4,
       {0, 1, 2, 3},
       6},
      {"bar with orientation vector",
       small_line({"CBAR", "1", "1", "1", "2", "0.0", "1.0", "0.0"}),
       ET_UNKNOWN,
       {},
       0},
      {"bar", small_line({"CBAR", "1", "1", "1", "2"}), ET_EDGE2, {0, 1}, 1},
      {"six-node triangle", "CTRIA6,1,1,1,2,3,4,5,6", ET_TRIA6, {0, 1, 2, 4, 5, 3}, 1},
      {"corner-only quadratic card", "CQUAD8,1,1,1,2,3,4", ET_UNKNOWN, {}, 0},
      {"fifteen-node wedge",
       "CPENTA,1,1,1,2,3,4,5,6,+\n+,7,8,9,10,11,12,13,14,+\n+,15",
       ET_WEDGE15,
       {0, 1, 2, 3, 4, 5, 9, 10, 11, 7, 8, 6, 13, 14, 12},
       1},
      {"lower-case card name", "ctria3,1,1,1,2,3", ET_UNKNOWN, {}, 0},
      {"first line with two items", "CTRIA3,1\n", ET_UNKNOWN, {}, 0},
  };
  for (const card_case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_EQ(read(c.text + "\n"), 0);
    if (c.column.empty()) {
      EXPECT_EQ(connect.cols(), 0u);
      EXPECT_EQ(entries(bounds), (std::vector<unsigned>{0, 0}));
      EXPECT_EQ(types.size(), 0u);
      continue;
    }
    ASSERT_EQ(connect.cols(), 1u);
    EXPECT_EQ(entries(connect), c.column);
    EXPECT_EQ(entries(types), std::vector<int>{c.type});
    EXPECT_EQ(entries(pids), std::vector<unsigned>{c.pid});
    EXPECT_EQ(entries(bounds), (std::vector<unsigned>{0, 1}));
  }
}

TEST_F(nastran, LinesOutsideTheBulkAndAfterEnddata) {
  const std::string text =
      "SOL 101\nCEND\n$ comment GRID,9,,1.,1.,1.\nBEGIN BULK\n\nGRID,1,,0.,0.,0.\n"
      "GRID,2,,1.,0.,0.\nGRID,3,,0.,1.,0.\nCTRIA3,1,1,1,2,3\nENDDATA\nGRID,4,,5.,5.,5.\n"
      "CTRIA3,2,1,1,2,3\n";
  ASSERT_EQ(read(text), 0);
  EXPECT_EQ(coords.cols(), 3u);
  EXPECT_EQ(connect.cols(), 1u);
}

TEST_F(nastran, RunsAndTheOneAndTwoMatrixForms) {
  const std::string text =
      "GRID,1,,0.,0.,0.\nGRID,2,,1.,0.,0.\nGRID,3,,1.,1.,0.\nGRID,4,,0.,1.,0.\n"
      "CTRIA3,1,1,1,2,3\nCTRIA3,2,1,1,3,4\nCQUAD4,3,2,1,2,3,4\nCTRIA3,4,1,4,2,3\n";
  ASSERT_EQ(read(text), 0);
  EXPECT_EQ(entries(bounds), (std::vector<unsigned>{0, 2, 3, 4}));
  EXPECT_EQ(entries(types), (std::vector<int>{ET_TRIA3, ET_QUAD4, ET_TRIA3}));
  EXPECT_EQ(entries(pids), (std::vector<unsigned>{1, 1, 2, 1}));
  ASSERT_EQ(connect.rows(), 4u);
  EXPECT_EQ(entries(connect),
            (std::vector<unsigned>{0, 1, 2, kNone, 0, 2, 3, kNone, 0, 1, 2, 3, 3, 1, 2, kNone}));

  element_type type = ET_HEXA8;
  dense2D<double> c2;
  dense2D<unsigned> all;
  ASSERT_EQ(NASTRAN_input(path("in.bdf").c_str(), c2, all, type), 0);
  EXPECT_EQ(type, ET_FACE_MIX);
  EXPECT_TRUE(same_matrix(all, connect));

  dense2D<unsigned> m1, m2;
  element_type t1 = ET_UNKNOWN, t2 = ET_UNKNOWN;
  ASSERT_EQ(NASTRAN_input(path("in.bdf").c_str(), c2, m1, m2, t1, t2), 0);
  EXPECT_EQ(t1, ET_TRIA3);
  EXPECT_EQ(t2, ET_QUAD4);
  EXPECT_EQ(entries(m1), (std::vector<unsigned>{0, 1, 2, 0, 2, 3}));
  EXPECT_EQ(entries(m2), (std::vector<unsigned>{0, 1, 2, 3}));
  EXPECT_EQ(c2.cols(), 4u);

  // Widening of the single type: solids widen among themselves, a bar
  // among triangles gives ET_UNKNOWN; without elements the stream form
  // keeps the caller's value.
  struct widen_case {
    std::string cards;
    element_type expected;
  };
  const widen_case widen[] = {
      {"CTETRA,1,1,1,2,3,4\nCHEXA,2,1,1,2,3,4,1,2,3,4\nCPENTA,3,1,1,2,3,4,1,2\n", ET_SOLID_MIX},
      {"CTRIA3,1,1,1,2,3\nCBAR,2,1,1,2\nCTRIA3,3,1,1,2,3\n", ET_UNKNOWN},
      {"CQUAD4,1,1,1,2,3,4\nCTETRA,2,1,1,2,3,4\n", ET_UNKNOWN},
      {"CTETRA,1,1,1,2,3,4\n", ET_TETRA4},
  };
  for (const widen_case& w : widen) {
    write_file(path("w.bdf"), w.cards);
    type = ET_HEXA27;
    ASSERT_EQ(NASTRAN_input(path("w.bdf").c_str(), c2, all, type), 0);
    EXPECT_EQ(type, w.expected) << w.cards;
  }
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
  EXPECT_EQ(connect.cols(), 1u);
  EXPECT_EQ(entries(bounds), (std::vector<unsigned>{0, 1}));

  EXPECT_EQ(NASTRAN_input(path("missing.bdf").c_str(), coords, connect, bounds, types, pids), -1);
  EXPECT_EQ(NASTRAN_input(static_cast<FILE*>(nullptr), coords, connect, bounds, types, pids), -1);
  std::FILE* f = std::fopen(path("in.bdf").c_str(), "w");  // reading it sets the error flag
  EXPECT_EQ(std::fgetc(f), EOF);
  EXPECT_TRUE(std::ferror(f));
  EXPECT_EQ(NASTRAN_input(f, coords, connect, bounds, types, pids), -1);
  std::fclose(f);
}

// Exact text of a written file: nodes as GRID* records, cards in free field.
TEST_F(nastran, WriterOutputIsExact) {
  const dense2D<double> xy = columns<double>(2, {0.0, 0.0, 1.5, -2.0, 0.0, 1.0});
  const dense2D<unsigned> tria = columns<unsigned>(3, {0, 1, 2});
  ASSERT_EQ(NASTRAN_output(path("out.bdf").c_str(), xy, tria, ET_TRIA3), 0);
  // Numbers right-aligned in 16 columns; z of 2-D nodes is 0.
  const auto right16 = [](const std::string& s) { return std::string(16 - s.size(), ' ') + s; };
  const auto grid = [&](const std::string& id, const std::string& x, const std::string& y) {
    return "GRID*   " + right16(id) + std::string(16, ' ') + right16(x) + right16(y) + "*C\n" +
           "*C      " + right16("0.000000E+00") + "\n";
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
      grid("1", "0.000000E+00", "0.000000E+00") + grid("2", "1.500000E+00", "-2.000000E+00") +
      grid("3", "0.000000E+00", "1.000000E+00") +
      "$----------------------------------------\n"
      "$                 ELEMENTS               \n"
      "$----------------------------------------\n"
      "CTRIA3,1,1,1,2,3\n"
      "ENDDATA\n";
  EXPECT_EQ(read_file(path("out.bdf")), expected);
}

TEST_F(nastran, WriterLinesHoldNineFields) {
  mesh m = hexa_grid(1, 1, 1);
  dense2D<double> c = m.coords;
  dense2D<unsigned> hexa20(20, 1);
  for (unsigned k = 0; k < 20; ++k) hexa20(k, 0) = k % 8;
  ASSERT_EQ(NASTRAN_output(path("h.bdf").c_str(), c, hexa20, ET_HEXA20), 0);
  const std::string text = read_file(path("h.bdf"));
  // Column positions 0..11, 16..19, 12..15 as 1-based node numbers.
  const std::string card =
      "CHEXA,1,1,1,2,3,4,5,6,+C\n+C,7,8,1,2,3,4,1,2,+C\n+C,3,4,5,6,7,8\nENDDATA\n";
  ASSERT_GE(text.size(), card.size());
  EXPECT_EQ(text.substr(text.size() - card.size()), card);

  // Mixed runs are written element by element with their own shape.
  const dense2D<unsigned> mix = columns<unsigned>(4, {0, 1, 2, kNone, 0, 1, 2, 3});
  ASSERT_EQ(NASTRAN_output(path("f.bdf").c_str(), c, mix, ET_FACE_MIX), 0);
  const std::string faces = read_file(path("f.bdf"));
  EXPECT_NE(faces.find("CTRIA3,1,1,1,2,3\nCQUAD4,2,1,1,2,3,4\nENDDATA\n"), std::string::npos);

  // The two-matrix form numbers the property identifiers 1 and 2.
  const dense2D<unsigned> tria = columns<unsigned>(3, {0, 1, 2});
  const dense2D<unsigned> quad = columns<unsigned>(4, {0, 1, 2, 3});
  ASSERT_EQ(NASTRAN_output(path("two.bdf").c_str(), c, tria, quad, ET_TRIA3, ET_QUAD4), 0);
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
    dense1D<unsigned> b{0, 2};
    dense1D<int> t{kind};
    dense1D<unsigned> p{4, 9};
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
  dense1D<unsigned> b{0, 2}, p{1, 1};
  dense1D<int> t{ET_TRIA3};
  EXPECT_EQ(NASTRAN_output(static_cast<FILE*>(nullptr), xyz, tria, b, t, p), -1);
  EXPECT_EQ(NASTRAN_output(path("no/such/dir.bdf").c_str(), xyz, tria, b, t, p), -1);
  EXPECT_EQ(NASTRAN_output(path("a.bdf").c_str(), random_points(1, 4), tria, b, t, p), -2);
  EXPECT_EQ(NASTRAN_output(path("a.bdf").c_str(), xyz, tria, dense1D<unsigned>{0, 1, 2}, t, p), -5);
  EXPECT_EQ(NASTRAN_output(path("a.bdf").c_str(), xyz, tria, dense1D<unsigned>{0, 3}, t, p), -5);
  EXPECT_EQ(NASTRAN_output(path("a.bdf").c_str(), xyz, tria, b, t, dense1D<unsigned>{1}), -6);
  // The size of pids is checked before the values of bounds.
  EXPECT_EQ(NASTRAN_output(path("a.bdf").c_str(), xyz, tria, dense1D<unsigned>{2, 0}, t,
                           dense1D<unsigned>{1}),
            -6);
  EXPECT_EQ(NASTRAN_output(path("a.bdf").c_str(), xyz, tria, b, dense1D<int>{ET_QUAD4}, p), -3);
  const dense2D<unsigned> holes = columns<unsigned>(3, {0, 1, kNone});
  EXPECT_EQ(NASTRAN_output(path("a.bdf").c_str(), xyz, holes, ET_TRIA3), -3);
  // Node numbers are not bounded by the coordinates.
  const dense2D<unsigned> far = columns<unsigned>(3, {0, 1, 99});
  EXPECT_EQ(NASTRAN_output(path("a.bdf").c_str(), xyz, far, ET_TRIA3), 0);
  EXPECT_NE(read_file(path("a.bdf")).find("CTRIA3,1,1,1,2,100\n"), std::string::npos);

  std::FILE* f = std::fopen(path("r.bdf").c_str(), "w");
  EXPECT_EQ(std::fgetc(f), EOF);
  ASSERT_TRUE(std::ferror(f));
  EXPECT_EQ(NASTRAN_output(f, xyz, tria, b, t, p), -1);
  std::fclose(f);
  EXPECT_EQ(read_file(path("r.bdf")), "");
}

}  // namespace

namespace {

// A deck mixing every field form, read through the three reader forms and
// written back.
TEST_F(nastran, MixedFormsDeck) {
  const std::string deck = fixture("mixed_forms.bdf");
  ASSERT_EQ(read_with(NASTRAN_input, deck), 0);
  EXPECT_EQ(entries(coords), (std::vector<double>{0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0,
                                                  0, 0, 1, 1, 0, 1, 1, 1, 1, 0, 1, 1}));
  EXPECT_EQ(entries(types), (std::vector<int>{ET_TRIA3, ET_QUAD4, ET_HEXA8, ET_TETRA4, ET_WEDGE6}));
  EXPECT_EQ(entries(bounds), (std::vector<unsigned>{0, 1, 2, 3, 4, 5}));
  EXPECT_EQ(entries(pids), (std::vector<unsigned>{3, 3, 7, 7, 7}));
  const std::vector<unsigned> expected = {
      0, 1, 2, kNone, kNone, kNone, kNone, kNone,   // triangle
      0, 1, 5, 4,     kNone, kNone, kNone, kNone,   // quadrangle
      0, 1, 2, 3,     4,     5,     6,     7,       // hexahedron
      0, 3, 1, 4,     kNone, kNone, kNone, kNone,   // tetrahedron, reordered
      0, 1, 2, 4,     5,     6,     kNone, kNone};  // wedge
  EXPECT_EQ(entries(connect), expected);

  element_type type = ET_TRIA3;
  dense2D<double> c;
  dense2D<unsigned> all, m1, m2;
  ASSERT_EQ(NASTRAN_input(deck.c_str(), c, all, type), 0);
  EXPECT_EQ(type, ET_UNKNOWN);
  element_type t1 = ET_UNKNOWN, t2 = ET_UNKNOWN;
  ASSERT_EQ(NASTRAN_input(deck.c_str(), c, m1, m2, t1, t2), 0);
  EXPECT_EQ(t1, ET_TRIA3);
  EXPECT_EQ(t2, ET_QUAD4);
  EXPECT_EQ(entries(m1), (std::vector<unsigned>{0, 1, 2}));
  EXPECT_EQ(entries(m2), (std::vector<unsigned>{0, 1, 5, 4}));

  // Written back and read again: the same runs, elements and nodes.
  ASSERT_EQ(NASTRAN_output(path("back.bdf").c_str(), coords, connect, bounds, types, pids), 0);
  run_outputs again;
  ASSERT_EQ(again.read_with(NASTRAN_input, path("back.bdf")), 0);
  EXPECT_TRUE(same_matrix(again.connect, connect));
  EXPECT_TRUE(same_matrix(again.coords, coords));
  EXPECT_EQ(entries(again.types), entries(types));
  EXPECT_EQ(entries(again.bounds), entries(bounds));
  EXPECT_EQ(entries(again.pids), entries(pids));
}

}  // namespace
