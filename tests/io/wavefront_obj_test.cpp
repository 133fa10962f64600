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

TEST_F(obj, FaceForms) {
  const std::string sq = "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\n";
  const std::string vt = "vt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\n";
  const struct {
    std::string text;
    int code;
    std::vector<unsigned> tria, quad;
  } cases[] = {
      {sq + "f 1 2 3\nf 1 2 3 4\n", 0, {0, 1, 2}, {0, 1, 2, 3}},
      // Negative indices count the vertices read so far.
      {"v 0 0 0\nv 1 0 0\nv 1 1 0\nf -3 -2 -1\nv 0 1 0\nf -1 -4 -3\n", 0, {0, 1, 2, 3, 0, 1}, {}},
      {sq + vt + "vn 0 0 1\nf 1/4/1 2/3/1 3/2/1\nf 1//1 2//1 3//1 4//1\n",
       0,
       {0, 1, 2},
       {0, 1, 2, 3}},
      {sq + vt + "f 1/1/ 2/2/ 3/3/\nf 4// 1 2/2\n", 0, {0, 1, 2, 3, 0, 1}, {}},
      {sq + "v 2 2 0\nf 1 2 3 4 5\nf 1 2 3\n", 0, {0, 1, 2}, {}},
      {" v 0 0 0\r\n  v 1 0 0\r\n v 0 1 0\r\n# f 9 9 9\r\ng t\r\nl 1 2\r\np 1\r\n f 1 2 3\r\n",
       0,
       {0, 1, 2},
       {}},
      {sq + "vt\nf 1/1 2/2 3/3\n", 0, {0, 1, 2}, {}},
      {sq + "f 1/1 2/2 3/3\n", -2, {}, {}},
      {sq + "f 1//1 2//1 3//1\n", -2, {}, {}},
      {sq + "f 0 1 2\n", -2, {}, {}},
      {sq + vt + "vn 0 0 1\nf 1/1/1/1 2 3\n", -2, {}, {}},
      {sq + "f 1 2 3\nf 1a 2 3\nf 2 3 4\n", -2, {0, 1, 2}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(read(c.text), c.code);
    EXPECT_EQ(entries(tria), c.tria);
    EXPECT_EQ(entries(quad), c.quad);
  }
}

TEST_F(obj, VertexDataLines) {
  const struct {
    std::string text;
    int code;
    std::size_t v, vt_rows, vt, vn;
  } cases[] = {
      {"v 1 2 3 0.1 0.2 0.3\n", 0, 1, 0, 0, 0},
      {"v 1 2\n", -2, 0, 0, 0, 0},
      {"vn 1 0\n", -2, 0, 0, 0, 0},
      {"vt 1 0 0 0\n", -2, 0, 0, 0, 0},
      {"vt 0.5\nvt 0.7\n", 0, 0, 1, 2, 0},
      // The first vt with numbers fixes the rows.
      {"vt\nvt 0.5 0.25\nvt 1\nvt 1 1 1\nvt 0 1\n", 0, 0, 2, 2, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(read(c.text), c.code);
    EXPECT_EQ(coords.cols(), c.v);
    EXPECT_EQ(uv.cols(), c.vt);
    EXPECT_EQ(c.vt ? uv.rows() : 0u, c.vt_rows);
    EXPECT_EQ(normals.cols(), c.vn);
  }
  ASSERT_EQ(read("v 1 2 3 0.5\nvt 0.5 0.25\nvt 1\nvt 0 1\nvn 0 0 -1\n"), 0);
  EXPECT_EQ(entries(coords), (std::vector<double>{1, 2, 3}));
  EXPECT_EQ(entries(uv), (std::vector<double>{0.5, 0.25, 0, 1}));
  EXPECT_EQ(entries(normals), (std::vector<double>{0, 0, -1}));
  EXPECT_EQ(WavefrontOBJ_input(path("missing.obj").c_str(), coords, uv, normals, tria, quad), -1);
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
  ASSERT_EQ(WavefrontOBJ_output(path("b.obj").c_str(), xyz, tex, nrm, t, q), 0);
  const std::string b = read_file(path("b.obj"));
  EXPECT_NE(b.find(" f 1/1/1 2/2/2 3/3/3 \n f 1/1/1 2/2/2 3/3/3 4/4/4 \n"), std::string::npos);
  ASSERT_EQ(WavefrontOBJ_output(path("c.obj").c_str(), xyz, tex, dense2D<double>(), t, q), 0);
  EXPECT_NE(read_file(path("c.obj")).find(" f 1/1/ 2/2/ 3/3/ 4/4/ \n"), std::string::npos);
}

TEST_F(obj, RoundTripsAndShortForms) {
  const mesh tm = tria_grid(3, 2), qm = quad_grid(3, 2);
  const dense2D<double> nrm(3, tm.coords.cols(), 0.5);
  const dense2D<double> tex = random_points(2, tm.coords.cols(), 4);
  ASSERT_EQ(WavefrontOBJ_output(path("r.obj").c_str(), tm.coords, tex, nrm, tm.connect, qm.connect),
            0);
  ASSERT_EQ(WavefrontOBJ_input(path("r.obj").c_str(), coords, uv, normals, tria, quad), 0);
  EXPECT_TRUE(same_matrix(tria, tm.connect));
  EXPECT_TRUE(same_matrix(quad, qm.connect));
  EXPECT_TRUE(same_matrix(normals, nrm));
  ASSERT_EQ(coords.cols(), tm.coords.cols());
  for (std::size_t j = 0; j < coords.cols(); ++j)
    for (int i = 0; i < 3; ++i) {
      EXPECT_DOUBLE_EQ(coords(i, j), i < 2 ? tm.coords(i, j) : 0.0);
      EXPECT_NEAR(i < 2 ? uv(i, j) : 0.0, i < 2 ? tex(i, j) : 0.0, 1e-8);
    }
  // Equal types join (first matrix first); different types go their own way;
  // other types write no face.
  const dense2D<unsigned> a = columns<unsigned>(3, {0, 1, 2}), b = columns<unsigned>(3, {2, 1, 3});
  const dense2D<unsigned> q = columns<unsigned>(4, {0, 1, 4, 3});
  const auto check = [&](int code, const std::vector<unsigned>& t3,
                         const std::vector<unsigned>& q4) {
    ASSERT_EQ(code, 0);
    ASSERT_EQ(WavefrontOBJ_input(path("s.obj").c_str(), coords, uv, normals, tria, quad), 0);
    EXPECT_EQ(entries(tria), t3);
    EXPECT_EQ(entries(quad), q4);
  };
  check(WavefrontOBJ_output(path("s.obj").c_str(), qm.coords, a, b, ET_TRIA3, ET_TRIA3),
        {0, 1, 2, 2, 1, 3}, {});
  check(WavefrontOBJ_output(path("s.obj").c_str(), qm.coords, q, a, ET_QUAD4, ET_TRIA3), {0, 1, 2},
        {0, 1, 4, 3});
  check(WavefrontOBJ_output(path("s.obj").c_str(), qm.coords, q, ET_HEXA8), {}, {});

  const dense2D<double> none;
  const std::string f = path("a.obj");
  EXPECT_EQ(WavefrontOBJ_output(path("no/dir.obj").c_str(), tm.coords, none, none, a, q), -1);
  EXPECT_EQ(WavefrontOBJ_output(f.c_str(), random_points(1, 4), none, none, a, q), -2);
  EXPECT_EQ(WavefrontOBJ_output(f.c_str(), qm.coords, none, random_points(3, 3), a, q), -3);
  EXPECT_EQ(WavefrontOBJ_output(f.c_str(), qm.coords, random_points(2, 5), none, a, q), -4);
  EXPECT_EQ(WavefrontOBJ_output(f.c_str(), qm.coords, none, none,
                                columns<unsigned>(3, {0, no_index, 1}), q),
            -5);
  EXPECT_EQ(WavefrontOBJ_output(f.c_str(), qm.coords, none, none, a, a), -6);
  EXPECT_EQ(read_file(f), "");
}

}  // namespace
