#include <gtest/gtest.h>
#include <quernfold/io.h>

#include "support/io_files.h"
#include "support/mesh_gen.h"

using namespace ovk::quernfold;
using namespace quernfold_test;

namespace {

class obj : public io_test {
 protected:
  int read(const std::string& text) {
    write_file(path("in.obj"), text);
    return WavefrontOBJ_input(path("in.obj").c_str(), coords, uv, normals, tria, quad);
  }

  dense2D<double> coords, uv, normals;
  dense2D<unsigned> tria, quad;
};

const char* const kSquare = "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\n";

struct face_case {
  const char* what;
  std::string text;
  int code;
  std::vector<unsigned> tria, quad;
};

TEST_F(obj, FaceForms) {
  const std::string sq = kSquare;
  const std::string vt = "vt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\n";
  const std::string vn = "vn 0 0 1\n";
  const face_case cases[] = {
      {"plain indices", sq + "f 1 2 3\nf 1 2 3 4\n", 0, {0, 1, 2}, {0, 1, 2, 3}},
      {"negative indices", sq + "f -4 -3 -2\n", 0, {0, 1, 2}, {}},
      {"negative indices count the vertices read so far",
       "v 0 0 0\nv 1 0 0\nv 1 1 0\nf -3 -2 -1\nv 0 1 0\nf -1 -4 -3\n",
       0,
       {0, 1, 2, 3, 0, 1},
       {}},
      {"a/b", sq + vt + "f 1/1 2/2 3/3\n", 0, {0, 1, 2}, {}},
      {"a//c", sq + vn + "f 1//1 2//1 3//1 4//1\n", 0, {}, {0, 1, 2, 3}},
      {"a/b/c", sq + vt + vn + "f 1/4/1 2/3/1 3/2/1\n", 0, {0, 1, 2}, {}},
      {"a/b/ and a//", sq + vt + "f 1/1/ 2/2/ 3/3/\nf 4// 1// 2//\n", 0, {0, 1, 2, 3, 0, 1}, {}},
      {"mixed forms in one face", sq + vt + "f 1 2/2 3\n", 0, {0, 1, 2}, {}},
      {"five vertices dropped", sq + "v 2 2 0\nf 1 2 3 4 5\nf 1 2 3\n", 0, {0, 1, 2}, {}},
      {"leading blanks and CRLF",
       " v 0 0 0\r\n  v 1 0 0\r\n v 0 1 0\r\n f 1 2 3\r\n",
       0,
       {0, 1, 2},
       {}},
      {"comments, groups, lines and points",
       sq + "# f 9 9 9\ng top\nusemtl\nl 1 2\np 1\nf 1 2 3\n",
       0,
       {0, 1, 2},
       {}},
      {"texture index without vt", sq + "f 1/1 2/2 3/3\n", -2, {}, {}},
      {"a vt line without numbers still counts as seen",
       sq + "vt\nf 1/1 2/2 3/3\n",
       0,
       {0, 1, 2},
       {}},
      {"normal index without vn", sq + "f 1//1 2//1 3//1\n", -2, {}, {}},
      {"index 0", sq + "f 0 1 2\n", -2, {}, {}},
      {"index before the first vertex", sq + "f -5 1 2\n", -2, {}, {}},
      {"letter after a number", sq + "f 1a 2 3\n", -2, {}, {}},
      {"four parts", sq + vt + vn + "f 1/1/1/1 2 3\n", -2, {}, {}},
      {"backslash continuation", sq + "f 1 2 \\\n3\n", -2, {}, {}},
      {"stops at the first error, keeps earlier faces",
       sq + "f 1 2 3\nf 1 x 3\nf 2 3 4\n",
       -2,
       {0, 1, 2},
       {}},
  };
  for (const face_case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(read(c.text), c.code);
    EXPECT_EQ(entries(tria), c.tria);
    EXPECT_EQ(entries(quad), c.quad);
    if (!c.tria.empty()) {
      EXPECT_EQ(tria.rows(), 3u);
    }
    if (!c.quad.empty()) {
      EXPECT_EQ(quad.rows(), 4u);
    }
  }
}

struct data_case {
  const char* what;
  std::string text;
  int code;
  std::size_t v, vt_rows, vt, vn;
};

TEST_F(obj, VertexDataLines) {
  const data_case cases[] = {
      {"weight ignored", "v 1 2 3 0.5\n", 0, 1, 0, 0, 0},
      {"vertex colours ignored", "v 1 2 3 0.1 0.2 0.3\n", 0, 1, 0, 0, 0},
      {"two numbers", "v 1 2\n", -2, 0, 0, 0, 0},
      {"normal of two", "vn 1 0\n", -2, 0, 0, 0, 0},
      {"normal of four", "vn 1 0 0 0\n", -2, 0, 0, 0, 0},
      {"texture of four", "vt 1 0 0 0\n", -2, 0, 0, 0, 0},
      {"first vt fixes the rows", "vt 0.5 0.25\nvt 1\nvt 1 1 1\nvt 0 1\n", 0, 0, 2, 2, 0},
      {"one-value texture", "vt 0.5\nvt 0.7\n", 0, 0, 1, 2, 0},
      {"vt without numbers fixes no rows", "vt\nvt 0.5 0.25\nvt 1\n", 0, 0, 2, 1, 0},
  };
  for (const data_case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(read(c.text), c.code);
    EXPECT_EQ(coords.cols(), c.v);
    EXPECT_EQ(uv.cols(), c.vt);
    if (c.vt) {
      EXPECT_EQ(uv.rows(), c.vt_rows);
    }
    EXPECT_EQ(normals.cols(), c.vn);
  }
  ASSERT_EQ(read("v 1 2 3 0.5\nvt 0.5 0.25\nvt 1\nvt 0 1\nvn 0 0 -1\n"), 0);
  EXPECT_EQ(entries(coords), (std::vector<double>{1, 2, 3}));
  EXPECT_EQ(entries(uv), (std::vector<double>{0.5, 0.25, 0, 1}));
  EXPECT_EQ(entries(normals), (std::vector<double>{0, 0, -1}));
  EXPECT_EQ(WavefrontOBJ_input(path("missing.obj").c_str(), coords, uv, normals, tria, quad), -1);
  EXPECT_EQ(coords.cols(), 0u);
}

TEST_F(obj, WriterOutputIsExact) {
  const dense2D<double> xy = columns<double>(2, {0.0, 0.0, 1.0, 0.0, 0.5, -2.25});
  const dense2D<unsigned> t = columns<unsigned>(3, {0, 1, 2});
  ASSERT_EQ(WavefrontOBJ_output(path("a.obj").c_str(), xy, t, ET_TRIA3), 0);
  EXPECT_EQ(read_file(path("a.obj")),
            " v 0.00000000e+00 0.00000000e+00 0.00000000e+00 \n"
            " v 1.00000000e+00 0.00000000e+00 0.00000000e+00 \n"
            " v 5.00000000e-01 -2.25000000e+00 0.00000000e+00 \n"
            " f 1// 2// 3// \n");

  const dense2D<double> xyz = columns<double>(3, {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0});
  const dense2D<double> tex = columns<double>(2, {0, 0, 1, 0, 1, 1, 0, 1});
  const dense2D<double> nrm = columns<double>(3, {0, 0, 1, 0, 0, 1, 0, 0, 1, 0, 0, 1});
  const dense2D<unsigned> q = columns<unsigned>(4, {0, 1, 2, 3});
  const dense2D<unsigned> none;
  ASSERT_EQ(WavefrontOBJ_output(path("b.obj").c_str(), xyz, tex, nrm, t, q), 0);
  const std::string b = read_file(path("b.obj"));
  EXPECT_NE(b.find(" vt 1.00000000e+00 1.00000000e+00 \n"), std::string::npos);
  EXPECT_NE(b.find(" vn 0.00000000e+00 0.00000000e+00 1.00000000e+00 \n"), std::string::npos);
  EXPECT_NE(b.find(" f 1/1/1 2/2/2 3/3/3 \n f 1/1/1 2/2/2 3/3/3 4/4/4 \n"), std::string::npos);
  ASSERT_EQ(WavefrontOBJ_output(path("c.obj").c_str(), xyz, tex, dense2D<double>(), none, q), 0);
  EXPECT_NE(read_file(path("c.obj")).find(" f 1/1/ 2/2/ 3/3/ 4/4/ \n"), std::string::npos);
  ASSERT_EQ(WavefrontOBJ_output(path("d.obj").c_str(), xyz, dense2D<double>(), nrm, none, q), 0);
  EXPECT_NE(read_file(path("d.obj")).find(" f 1//1 2//2 3//3 4//4 \n"), std::string::npos);
}

TEST_F(obj, RoundTripsAndShortForms) {
  mesh tm = tria_grid(3, 2);
  mesh qm = quad_grid(3, 2);
  const dense2D<double> nrm(3, tm.coords.cols(), 0.5);
  const dense2D<double> tex = random_points(2, tm.coords.cols(), 4);
  ASSERT_EQ(WavefrontOBJ_output(path("r.obj").c_str(), tm.coords, tex, nrm, tm.connect, qm.connect),
            0);
  ASSERT_EQ(read_file(path("r.obj")).empty(), false);
  ASSERT_EQ(WavefrontOBJ_input(path("r.obj").c_str(), coords, uv, normals, tria, quad), 0);
  EXPECT_TRUE(same_matrix(tria, tm.connect));
  EXPECT_TRUE(same_matrix(quad, qm.connect));
  ASSERT_EQ(coords.cols(), tm.coords.cols());
  for (std::size_t j = 0; j < coords.cols(); ++j) {
    EXPECT_DOUBLE_EQ(coords(0, j), tm.coords(0, j));
    EXPECT_DOUBLE_EQ(coords(1, j), tm.coords(1, j));
    EXPECT_EQ(coords(2, j), 0.0);
    for (int i = 0; i < 2; ++i) EXPECT_NEAR(uv(i, j), tex(i, j), 1e-8);
  }
  EXPECT_TRUE(same_matrix(normals, nrm));

  // Equal types join (first matrix first); different types go their own way;
  // other types write no face.
  const dense2D<unsigned> a = columns<unsigned>(3, {0, 1, 2});
  const dense2D<unsigned> b = columns<unsigned>(3, {2, 1, 3});
  const dense2D<unsigned> q = columns<unsigned>(4, {0, 1, 4, 3});
  const auto check = [&](int code, const std::vector<unsigned>& t3,
                         const std::vector<unsigned>& q4) {
    ASSERT_EQ(code, 0);
    ASSERT_EQ(WavefrontOBJ_input(path("s.obj").c_str(), coords, uv, normals, tria, quad), 0);
    EXPECT_EQ(entries(tria), t3);
    EXPECT_EQ(entries(quad), q4);
    EXPECT_EQ(coords.cols(), qm.coords.cols());
  };
  check(WavefrontOBJ_output(path("s.obj").c_str(), qm.coords, a, b, ET_TRIA3, ET_TRIA3),
        {0, 1, 2, 2, 1, 3}, {});
  check(WavefrontOBJ_output(path("s.obj").c_str(), qm.coords, q, a, ET_QUAD4, ET_TRIA3), {0, 1, 2},
        {0, 1, 4, 3});
  check(WavefrontOBJ_output(path("s.obj").c_str(), qm.coords, a, b, ET_EDGE2, ET_EDGE2), {}, {});
  check(WavefrontOBJ_output(path("s.obj").c_str(), qm.coords, q, ET_QUAD4), {}, {0, 1, 4, 3});
  check(WavefrontOBJ_output(path("s.obj").c_str(), qm.coords, q, ET_HEXA8), {}, {});
}

TEST_F(obj, WriterChecks) {
  const dense2D<double> xyz = random_points(3, 4);
  const dense2D<unsigned> t = columns<unsigned>(3, {0, 1, 2});
  const dense2D<unsigned> q = columns<unsigned>(4, {0, 1, 2, 3});
  const dense2D<double> none;
  EXPECT_EQ(WavefrontOBJ_output(path("no/dir.obj").c_str(), xyz, none, none, t, q), -1);
  EXPECT_EQ(WavefrontOBJ_output(path("a.obj").c_str(), random_points(1, 4), none, none, t, q), -2);
  EXPECT_EQ(WavefrontOBJ_output(path("a.obj").c_str(), xyz, none, random_points(3, 3), t, q), -3);
  EXPECT_EQ(WavefrontOBJ_output(path("a.obj").c_str(), xyz, none, random_points(2, 4), t, q), -3);
  EXPECT_EQ(WavefrontOBJ_output(path("a.obj").c_str(), xyz, random_points(3, 4), none, t, q), -4);
  EXPECT_EQ(WavefrontOBJ_output(path("a.obj").c_str(), xyz, random_points(2, 5), none, t, q), -4);
  EXPECT_EQ(WavefrontOBJ_output(path("a.obj").c_str(), xyz, none, none, q, q), -5);
  EXPECT_EQ(WavefrontOBJ_output(path("a.obj").c_str(), xyz, none, none, t, t), -6);
  EXPECT_EQ(WavefrontOBJ_output(path("a.obj").c_str(), xyz, none, none,
                                columns<unsigned>(3, {0, kNone, 1}), q),
            -5);
  EXPECT_EQ(read_file(path("a.obj")), "");
  // Node numbers are not bounded by the coordinates.
  EXPECT_EQ(WavefrontOBJ_output(path("a.obj").c_str(), xyz, none, none,
                                columns<unsigned>(3, {0, 1, 9}), q),
            0);
}

}  // namespace
