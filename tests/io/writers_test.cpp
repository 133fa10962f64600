// Every writer against byte-exact golden files (tests/fixtures/io/golden/,
// checked line by line against the record layouts; QUERNFOLD_WRITE_GOLDEN=1
// rewrites them from the current writers), and the check codes of every
// writer in one table.
#include <gtest/gtest.h>
#include <quernfold/io.h>

#include <cstdlib>
#include <functional>
#include <numeric>

#include "support/compare.h"
#include "support/io_files.h"
#include "support/mesh_gen.h"

using namespace ovk::quernfold;
using namespace quernfold_test;

namespace {

using writer = std::function<int(const char*)>;
using io_writers = io_test;
constexpr unsigned N = no_index;

const dense2D<double> kXY = columns<double>(2, {0.0, 0.0, 1.0, 0.0, 0.0, 2.5, 1e-7, -3.0});
const dense2D<double> kLine = columns<double>(1, {0.0, 1.0, 2.0, 3.0});
const dense2D<double> kCube = hexa_grid(1, 1, 1).coords;
const dense2D<unsigned> kTria = columns<unsigned>(3, {0, 1, 2});
const dense2D<unsigned> kTwo = columns<unsigned>(3, {0, 1, 2, 2, 1, 3});
const dense2D<unsigned> kQuad = columns<unsigned>(4, {0, 1, 2, 3});
// A hexahedron, a tetrahedron, a wedge and a pyramid on the cube's nodes.
const dense2D<unsigned> kSolids =
    columns<unsigned>(8, {0, 1, 2, 3, 4, 5, 6, 7, 0, 1, 2, 3, N, N, N, N,
                          0, 1, 2, 4, 5, 6, N, N, 0, 1, 2, 3, 4, N, N, N});
const dense2D<unsigned> kSeq =
    columns<unsigned>(20, {0, 1, 2, 3, 4, 5, 6, 7, 0, 1, 2, 3, 4, 5, 6, 7, 0, 1, 2, 3});
// The first n rows of kSeq, one element.
dense2D<unsigned> seq(std::size_t n) { return kSeq.sub_matrix(0, 0, n, 1); }
const dense2D<unsigned> kTria6 = columns<unsigned>(6, {0, 1, 2, 3, 0, 1});
const dense2D<unsigned> kTetra10 = seq(10);

// Two conversions append to the same lists.
int vtk_stream(const char* name) {
  unsigned n = 0;
  dense1D<unsigned> cells, cell_types;
  vtk_convert(kTria6, ET_TRIA6, n, cells, cell_types);
  vtk_convert(kTetra10, ET_TETRA10, n, cells, cell_types);
  std::FILE* f = std::fopen(name, "w");
  const int code = vtk_output(f, kXY, n, cells, cell_types);
  std::fclose(f);
  return code;
}

TEST_F(io_writers, OutputsMatchTheGoldenFiles) {
  const dense2D<unsigned> range[] = {columns<unsigned>(4, {0, 1, 2, N, 0, 1, 2, 3}),
                                     dense2D<unsigned>(), kSolids};
  const dense1D<int> kinds{ET_FACE_MIX, ET_TRIA3, ET_SOLID_MIX};
  const dense2D<unsigned> parts[] = {kTetra10, seq(5), kSolids, dense2D<unsigned>(),
                                     seq(6),   seq(4)};
  const dense1D<int> part_kinds{ET_TETRA10, ET_PYRAMID5, ET_SOLID_MIX,
                                ET_TRIA3,   ET_TRIA6,    ET_TETRA4};
  const dense2D<double> none, uv(2, 4, 0.5), normals(3, 4, 1.0);
  const struct {
    const char* golden;
    writer write;
  } cases[] = {
      {"tria6_2d.mesh", WRITE(medit_output(f, kXY, kTria6, ET_TRIA6))},
      {"two.mesh", WRITE(medit_output(f, kCube, kTria, seq(2), ET_TRIA3, ET_EDGE2))},
      {"mixed.mesh", WRITE(medit_output(f, kCube, range, range + 3, kinds))},
      {"refs.mesh", WRITE(medit_output(f, kCube, kSolids, ET_SOLID_MIX, {1, N, 3, 1}))},
      {"ten.sol", WRITE(medit_scalar(f, 3, dense1D<double>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}))},
      {"vector.sol", WRITE(medit_vector(f, 2, kXY))},
      {"tensor.sol", WRITE(medit_tensor(f, columns<double>(3, {1.0, 0.0, 2.0})))},
      {"stream.vtk", vtk_stream},
      {"mixed.vtk", WRITE(vtk_output(f, kCube, range, range + 3, kinds))},
      {"empty.vtk", WRITE(vtk_output(f, kCube, range, range, dense1D<int>()))},
      {"mixed.msh", WRITE(msh_output(f, kCube, range, range + 3, kinds))},
      {"tria6_2d.msh", WRITE(msh_output(f, kXY, kTria6, ET_TRIA6))},
      {"tria.geo", WRITE(ensight_output(f, kXY, kTwo, ET_TRIA3))},
      {"parts.geo", WRITE(ensight_output(f, kCube, parts, parts + 6, part_kinds))},
      {"line.geo",
       WRITE(ensight_output(f, columns<double>(1, {7.0}), dense2D<unsigned>(2, 1, 0u), ET_EDGE2))},
      {"text.stl", WRITE(STL_output(f, kXY, columns<unsigned>(3, {0, 1, 2, 0, 1, 3}), true))},
      {"binary.stl", WRITE(STL_output(f, kCube, columns<unsigned>(3, {0, 4, 2}), false))},
      // Node numbers are not bounded by the coordinates.
      {"tria_2d.bdf", WRITE(NASTRAN_output(f, kXY, columns<unsigned>(3, {0, 1, 99}), ET_TRIA3))},
      {"hexa20.bdf", WRITE(NASTRAN_output(f, kCube, kSeq, ET_HEXA20))},
      {"two.bdf", WRITE(NASTRAN_output(f, kCube, kTria, kSolids, ET_TRIA3, ET_SOLID_MIX))},
      {"tetra_2d.neu", WRITE(FEMAP_output(f, kXY, kQuad, ET_TETRA4))},
      {"tetra10.neu", WRITE(FEMAP_output(f, kCube, kTetra10, ET_TETRA10))},
      {"mixed.neu", WRITE(FEMAP_output(f, kCube, kQuad, kSolids, ET_QUAD4, ET_SOLID_MIX))},
      {"tria_2d.obj", WRITE(WavefrontOBJ_output(f, kXY, kTria, ET_TRIA3))},
      {"full.obj", WRITE(WavefrontOBJ_output(f, kXY, uv, normals, kTria, kQuad))},
      {"texture.obj", WRITE(WavefrontOBJ_output(f, kXY, kXY, none, kTria, kQuad))},
      // Equal types join, first matrix first; other types write no face.
      {"joined.obj", WRITE(WavefrontOBJ_output(f, kXY, kTria, kTwo, ET_TRIA3, ET_TRIA3))},
      {"own_way.obj", WRITE(WavefrontOBJ_output(f, kXY, kQuad, kTria, ET_QUAD4, ET_TRIA3))},
      {"no_face.obj", WRITE(WavefrontOBJ_output(f, kXY, kQuad, ET_HEXA8))},
  };
  const bool rewrite = std::getenv("QUERNFOLD_WRITE_GOLDEN") != nullptr;
  for (const auto& c : cases) {
    const std::string golden = fixture(std::string("golden/") + c.golden);
    ASSERT_EQ(c.write(rewrite ? golden.c_str() : path("out").c_str()), 0) << c.golden;
    if (!rewrite) {
      EXPECT_EQ(read_file(path("out")), read_file(golden)) << c.golden;
    }
  }
}

// Check codes in the order each writer makes its checks (the range forms of
// MEDIT, VTK and EnSight share theirs, as do NASTRAN and FEMAP, whose rows
// stand for both): MEDIT checks before it opens the file, the others leave
// the file they opened empty.
TEST_F(io_writers, CheckCodes) {
  const dense2D<unsigned> bad = columns<unsigned>(3, {0, N, 1}), range[] = {kTria};
  const dense1D<int> one{ET_TRIA3};
  const dense1D<unsigned> b{0, 1}, p{1};
  const dense2D<double> none;
  unsigned n = 0;
  dense1D<unsigned> cells, cell_types;
  const struct {
    writer write;
    int code;
    bool opens;
  } cases[] = {
      // clang-format off
      {WRITE(medit_output(f, dense2D<double>(4, 4), range, range + 1, one)), -2, false},
      {WRITE(medit_output(f, kCube, range + 1, range, one)), -4, false},
      {WRITE(medit_output(f, kCube, range, range + 1, {1, 2})), -5, false},
      {WRITE(medit_output(f, kCube, bad, ET_TRIA3)), -3, false},
      {WRITE(medit_output(f, kXY, kQuad, ET_TETRA4, {0, 1})), -5, false},
      {WRITE(medit_output(f, kXY, kQuad, ET_TETRA4, {N - 1})), -6, false},
      {WRITE(medit_tensor(f, dense2D<double>(4, 2))), -2, true},
      {WRITE(vtk_convert(kTria, ET_QUAD4, n, cells, cell_types)), -1, false},
      {WRITE(vtk_convert(seq(15), ET_WEDGE15, n, cells, cell_types)), -2,
       false},
      {WRITE(vtk_output(f, kLine, kTria, ET_TRIA3)), -2, true},
      {WRITE(vtk_output(f, kCube, bad, ET_TRIA3)), -3, true},
      {WRITE(vtk_output(f, kCube, kTria, dense2D<unsigned>(13, 1, 0u), ET_TRIA3, ET_PYRAMID13)), -2,
       true},
      {WRITE(ensight_output(f, kCube, bad, ET_TRIA3)), -3, true},
      {WRITE(msh_output(f, dense2D<double>(4, 4), kTria, ET_TRIA3)), -2, true},
      {WRITE(msh_output(f, kCube, range, range + 1, {1, 2})), -5, true},
      {WRITE(msh_output(f, kCube, bad, ET_TRIA3)), -3, true},
      {WRITE(STL_output(f, kLine, kTria, true)), -2, true},
      {WRITE(STL_output(f, kXY, columns<unsigned>(3, {0, 1, 4}), false)), -3, true},
      {WRITE(NASTRAN_output(f, kLine, kTria, b, one, p)), -2, true},
      {WRITE(NASTRAN_output(f, kXY, kTria, {0, 1, 1}, one, p)), -5, true},
      // The size of pids comes before the values of bounds.
      {WRITE(NASTRAN_output(f, kXY, kTria, {2, 0}, one, {1, 1})), -6, true},
      {WRITE(NASTRAN_output(f, kXY, kTria, {0, 2}, one, p)), -5, true},
      {WRITE(NASTRAN_output(f, kXY, kTria, b, {ET_QUAD4}, p)), -3, true},
      // An empty connectivity writes nothing and checks nothing.
      {WRITE(FEMAP_output(f, kLine, dense2D<unsigned>(), ET_TRIA3)), 0, true},
      {WRITE(WavefrontOBJ_output(f, kLine, none, none, kTria, kQuad)), -2, true},
      {WRITE(WavefrontOBJ_output(f, kXY, none, kXY, kTria, kQuad)), -3, true},
      {WRITE(WavefrontOBJ_output(f, kXY, kCube, none, kTria, kQuad)), -4, true},
      {WRITE(WavefrontOBJ_output(f, kXY, none, none, bad, kQuad)), -5, true},
      {WRITE(WavefrontOBJ_output(f, kXY, none, none, kTria, kTria)), -6, true},
      // clang-format on
  };
  for (std::size_t row = 0; row < std::size(cases); ++row) {
    ASSERT_EQ(n + cells.size() + cell_types.size(), 0u);  // failed conversions append nothing
    const auto& c = cases[row];
    const std::string out = path(std::to_string(row));
    EXPECT_EQ(c.write(out.c_str()), c.code) << row;
    EXPECT_EQ(std::filesystem::exists(out) ? read_file(out) : "none", c.opens ? "" : "none") << row;
    // A file that cannot be opened gives -1, unless a check came first.
    if (c.code) {
      EXPECT_EQ(c.write(path("no/dir/f").c_str()), c.opens ? -1 : c.code) << row;
    }
  }
}

// Through the format table, one block of two elements of every kind, with
// references, written and read back: a kind the format holds without loss
// comes back as it was (the references where the format keeps them); a kind
// read back as itself comes back exact; a kind left out leaves no element.
TEST_F(io_writers, EveryKindThroughEveryReadAndWrittenFormat) {
  std::size_t count = 0;
  const mesh_format* formats = mesh_formats(count);
  for (const mesh_format* f = formats; f != formats + count; ++f) {
    if (!f->read || !f->write) continue;
    for (int t = ET_NODE; t <= ET_HEXA27; ++t) {
      const auto type = element_type(t);
      if (type == ET_EDGE_MIX || type == ET_FACE_MIX || type == ET_SOLID_MIX) continue;
      SCOPED_TRACE(testing::Message() << f->name << ", kind " << t);
      const unsigned n = nbr_nodes(type);
      std::vector<unsigned> order(2 * n);
      std::iota(order.begin(), order.end(), 0u);
      mesh_data mesh, back;
      mesh.coords = random_points(3, 2 * n, t);
      mesh.blocks = {{type, columns(n, order), dense1D<unsigned>{7, 9}}};
      const std::string ext = f->extensions, file = path("m" + ext.substr(0, ext.find(' ')));
      ASSERT_EQ(write_mesh(file.c_str(), mesh, write_options()), 0);
      ASSERT_EQ(read_mesh(file.c_str(), back), 0);
      const element_fate fate = f->fate(type);
      EXPECT_EQ(back.elements(), fate.written ? 2u : 0u);
      if (back.blocks.empty()) continue;
      if (!fate.loss) {
        EXPECT_EQ(back.blocks[0].type, type);
      }
      if (back.blocks[0].type != type) continue;
      EXPECT_NEAR_ALL(back.coords, mesh.coords, f == find_mesh_format("exact.msh") ? 0.0 : 1e-6);
      EXPECT_SAME(back.blocks[0].connectM, mesh.blocks[0].connectM);
      if (f->keeps_refs) {
        EXPECT_SAME(back.blocks[0].refs, mesh.blocks[0].refs);
      }
    }
  }
}

// OBJ with texture coordinates and normals, STL in both forms and from the
// stream position.
TEST_F(io_writers, ObjAndStlRoundTrips) {
  const dense2D<double> xyz = random_points(3, 20, 5), tex = random_points(2, 20, 4);
  const mesh tm = tria_grid(4, 3), qm = quad_grid(4, 3);
  dense2D<double> coords, uv, normals;
  dense2D<unsigned> tria, quad;
  ASSERT_EQ(WavefrontOBJ_output(path("r.obj").c_str(), xyz, tex, xyz, tm.connect, qm.connect), 0);
  ASSERT_EQ(WavefrontOBJ_input(path("r.obj").c_str(), coords, uv, normals, tria, quad), 0);
  EXPECT_NEAR_ALL(uv, tex, 1e-8);  // vertices and faces: as for every kind above
  EXPECT_NEAR_ALL(normals, xyz, 1e-8);
  // Binary STL: the same triangles, corner by corner, every node merged back.
  const auto corners = [](const dense2D<double>& c, const dense2D<unsigned>& t) {
    dense2D<double> out(3, 3 * t.cols());
    for (std::size_t k = 0; k < out.rows() * out.cols(); ++k)
      out(k % 3, k / 3) = c(k % 3, t(k / 3 % 3, k / 9));
    return out;
  };
  std::FILE* f = std::fopen(path("s.stl").c_str(), "w+b");
  std::fputs("prefix", f);
  ASSERT_EQ(STL_output(f, xyz, tm.connect, false), 0);
  std::fseek(f, 6, SEEK_SET);  // the binary attempt starts where the text one did
  EXPECT_EQ(STL_input(f, coords, tria), 0);
  std::fclose(f);
  EXPECT_NEAR_ALL(corners(coords, tria), corners(xyz, tm.connect), 1e-6);
  EXPECT_EQ(coords.cols(), 20u);
}

}  // namespace
