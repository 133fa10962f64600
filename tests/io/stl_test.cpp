#include <gtest/gtest.h>
#include <quernfold/io.h>

#include <cmath>
#include <cstdint>
#include <cstring>

#include "support/io_files.h"
#include "support/mesh_gen.h"

using namespace ovk::quernfold;
using namespace quernfold_test;

namespace {

class stl : public io_test {
 protected:
  int read(const std::string& content) {
    write_file(path("in.stl"), content);
    return STL_input(path("in.stl").c_str(), coords, connect);
  }
  dense2D<double> coords;
  dense2D<unsigned> connect;
};

using tri = double[3][3];
const tri kTri1 = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
const tri kTri2 = {{1, 0, 0}, {1, 1, 0}, {0, 1, 0}};

std::string facet(const tri& v) {
  std::string s = " facet normal 0 0 1\n  outer loop\n";
  for (int k = 0; k < 3; ++k) s += fmt("   vertex %g %g %g\n", v[k][0], v[k][1], v[k][2]);
  return s + "  endloop\n endfacet\n";
}

void put32(std::string& s, std::uint32_t v) {
  for (int k = 0; k < 4; ++k) s += static_cast<char>((v >> (8 * k)) & 0xFF);
}

void put_float(std::string& s, float f) {
  std::uint32_t bits;
  std::memcpy(&bits, &f, 4);
  put32(s, bits);
}

// Binary STL with the given 80-byte header start and triangles.
std::string binary_stl(const std::string& header, std::uint32_t declared,
                       const std::vector<const tri*>& tris) {
  std::string s = header;
  s.resize(80, '\0');
  put32(s, declared);
  for (const tri* t : tris) {
    for (int k = 0; k < 3; ++k) put_float(s, 0.0f);
    for (int v = 0; v < 3; ++v)
      for (int k = 0; k < 3; ++k) put_float(s, static_cast<float>((*t)[v][k]));
    s += std::string("\x12\x34", 2);  // attribute words are ignored
  }
  return s;
}

TEST_F(stl, TextAndBinaryQuirks) {
  const struct {
    const char* what;
    std::string content;
    int code;
    std::size_t nodes, triangles;
  } cases[] = {
      {"two solids, the second empty, colour lines",
       "solid a\n" + facet(kTri1) + "endsolid a\nsolid b\ncolor 1 0 0\n" + facet(kTri2) +
           "endsolid b\nsolid e\nendsolid e\n",
       0, 4, 2},
      {"CRLF and leading blank",
       " solid crlf\r\n facet normal 0 0 1\r\n outer loop\r\n vertex 0 0 0\r\n vertex 1 0 0\r\n"
       " vertex 0 1 0\r\n endloop\r\n endfacet\r\nendsolid\r\n",
       0, 3, 1},
      {"missing endsolid, then a truncated binary", "solid a\n" + facet(kTri1), -3, 0, 0},
      {"broken vertex line", "solid a\n facet normal 0 0 1\n outer loop\n vertex 0 0\n", -2, 0, 0},
      {"binary header starting with solid", binary_stl("solid X", 2, {&kTri1, &kTri2}), 0, 4, 2},
      {"binary with a trailing byte", binary_stl("x", 1, {&kTri1}) + "Z", 0, 3, 1},
      {"binary with a negative count", binary_stl("x", 0xFFFFFFFFu, {&kTri1}), 0, 0, 0},
      {"truncated binary", binary_stl("x", 3, {&kTri1, &kTri2}), -3, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(read(c.content), c.code);
    EXPECT_EQ(coords.cols(), c.nodes);
    EXPECT_EQ(connect.cols(), c.triangles);
    if (c.code == 0) {
      EXPECT_TRUE(check_IDs(connect, ET_TRIA3, static_cast<unsigned>(coords.cols())));
    } else {
      EXPECT_EQ(coords.rows() * coords.cols() + connect.rows() * connect.cols(), 0u);
    }
  }
}

TEST_F(stl, MergingRules) {
  // Nodes merge in order of first appearance; the shared edge closes.
  ASSERT_EQ(read("solid\n" + facet(kTri1) + facet(kTri2) + "endsolid\n"), 0);
  EXPECT_EQ(entries(connect), (std::vector<unsigned>{0, 1, 2, 1, 3, 2}));
  EXPECT_EQ(entries(coords), (std::vector<double>{0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 1, 0}));
  // The tolerance is 0.05 x the smallest height, here that of the right
  // angle of the thin triangle, 0.1 / sqrt(1.01): 0.004 merges, 0.006 not.
  for (const auto& gap : {std::make_pair(0.004, 5u), std::make_pair(0.006, 6u)}) {
    const tri a = {{0, 0, 0}, {1, 0, 0}, {0, 0.1, 0}};
    const tri b = {{1 + gap.first, 0, 0}, {2, 0, 0}, {1, 1, 0}};
    ASSERT_EQ(read("solid\n" + facet(a) + facet(b) + "endsolid\n"), 0);
    EXPECT_EQ(coords.cols(), gap.second);
  }
  // A triangle that collapses is removed with the nodes only it used.
  const tri flat = {{0, 0, 0}, {1, 0, 0}, {1, 0, 0}};
  ASSERT_EQ(read("solid\n" + facet(kTri1) + facet(flat) + "endsolid\n"), 0);
  EXPECT_EQ(connect.cols(), 1u);
  EXPECT_EQ(coords.cols(), 3u);
  // Only degenerate triangles: no merge at all, three nodes per triangle.
  const tri line = {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}};
  ASSERT_EQ(read("solid\n" + facet(line) + facet(line) + "endsolid\n"), 0);
  EXPECT_EQ(entries(connect), (std::vector<unsigned>{0, 1, 2, 3, 4, 5}));
}

TEST_F(stl, WriterOutputIsExact) {
  // Counter-clockwise in the xy plane: normal +z; the second is degenerate.
  const dense2D<double> xy = columns<double>(2, {0.0, 0.0, 2.0, 0.0, 0.0, 0.5, 4.0, 0.0});
  ASSERT_EQ(STL_output(path("t.stl").c_str(), xy, columns<unsigned>(3, {0, 1, 2, 0, 1, 3}), true),
            0);
  const auto v = [](const char* x, const char* y) {
    return fmt("         vertex %s %s 0.000000e+00\n", x, y);
  };
  const std::string v01 = v("0.000000e+00", "0.000000e+00") + v("2.000000e+00", "0.000000e+00");
  EXPECT_EQ(read_file(path("t.stl")),
            "solid OVK\n   facet normal 0.000000e+00 0.000000e+00 1.000000e+00\n"
            "      outer loop\n" +
                v01 + v("0.000000e+00", "5.000000e-01") +
                "      endloop\n   endfacet\n"
                "   facet normal 0.000000e+00 0.000000e+00 -0.000000e+00\n      outer loop\n" +
                v01 + v("4.000000e+00", "0.000000e+00") +
                "      endloop\n   endfacet\nendsolid OVK\n");

  const dense2D<double> xyz = columns<double>(3, {0, 0, 1, 0, 3, 1, 0, 0, 5});
  ASSERT_EQ(STL_output(path("b.stl").c_str(), xyz, columns<unsigned>(3, {0, 2, 1}), false), 0);
  std::string expected = "OVK STL Binary";
  expected.resize(80, '\0');
  put32(expected, 1);
  // P0 = (0,0,1), P1 = (0,0,5), P2 = (0,3,1): the normal is -x.
  for (float f : {-1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 5.0f, 0.0f, 3.0f, 1.0f})
    put_float(expected, f);
  EXPECT_EQ(read_file(path("b.stl")), expected + std::string(2, '\0'));
}

// The written normal is the unit normal of the turn P0 -> P1 -> P2.
TEST_F(stl, NormalsAreUnitAndFollowTheTurn) {
  const dense2D<double> pts = random_points(3, 60, 99);
  dense2D<unsigned> t(3, 20);
  for (unsigned j = 0; j < 20; ++j)
    for (unsigned k = 0; k < 3; ++k) t(k, j) = 3 * j + k;
  ASSERT_EQ(STL_output(path("n.stl").c_str(), pts, t, true), 0);
  std::FILE* f = std::fopen(path("n.stl").c_str(), "r");
  char line[256];
  unsigned j = 0;
  while (std::fgets(line, sizeof line, f)) {
    double n[3], a[3], b[3];
    if (std::sscanf(line, " facet normal %lg %lg %lg", &n[0], &n[1], &n[2]) != 3) continue;
    for (int k = 0; k < 3; ++k) {
      a[k] = pts(k, t(1, j)) - pts(k, t(0, j));
      b[k] = pts(k, t(2, j)) - pts(k, t(0, j));
    }
    const double c[3] = {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2],
                         a[0] * b[1] - a[1] * b[0]};
    const double len = std::sqrt(c[0] * c[0] + c[1] * c[1] + c[2] * c[2]);
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(n[k], c[k] / len, 1e-5) << j;
    ++j;
  }
  std::fclose(f);
  EXPECT_EQ(j, 20u);
}

TEST_F(stl, RoundTripsStreamsAndChecks) {
  const mesh m = tria_grid(4, 3, 0.25);
  for (bool ascii : {true, false}) {
    SCOPED_TRACE(ascii);
    ASSERT_EQ(STL_output(path("r.stl").c_str(), m.coords, m.connect, ascii), 0);
    ASSERT_EQ(STL_input(path("r.stl").c_str(), coords, connect), 0);
    ASSERT_EQ(coords.cols(), m.coords.cols());
    ASSERT_EQ(connect.cols(), m.connect.cols());
    for (std::size_t j = 0; j < connect.cols(); ++j)
      for (unsigned k = 0; k < 3; ++k) {
        for (int i = 0; i < 2; ++i)
          EXPECT_NEAR(coords(i, connect(k, j)), m.coords(i, m.connect(k, j)), 1e-6);
        EXPECT_EQ(coords(2, connect(k, j)), 0.0);
      }
  }
  // The stream form reads from the current position and goes back there for
  // the binary attempt.
  std::FILE* f = std::fopen(path("s.stl").c_str(), "w+b");
  std::fputs("prefix", f);
  ASSERT_EQ(STL_output(f, m.coords, m.connect, false), 0);
  std::fseek(f, 6, SEEK_SET);
  ASSERT_EQ(STL_input(f, coords, connect), 0);
  EXPECT_EQ(connect.cols(), m.connect.cols());
  std::fclose(f);
  EXPECT_EQ(STL_input(path("missing.stl").c_str(), coords, connect), -1);
  EXPECT_EQ(coords.cols(), 0u);
  EXPECT_EQ(STL_output(path("no/dir.stl").c_str(), m.coords, m.connect, true), -1);
  EXPECT_EQ(STL_output(path("w.stl").c_str(), random_points(1, 4), m.connect, true), -2);
  EXPECT_EQ(STL_output(path("w.stl").c_str(), m.coords, columns<unsigned>(4, {0, 1, 2, 3}), true),
            -3);
  EXPECT_EQ(read_file(path("w.stl")), "");
}

}  // namespace
