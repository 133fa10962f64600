// The text readers of the whole-mesh layer on several threads: every file,
// and every damaged copy of it, reads as on one thread (the same code, line
// and mesh, byte for byte).
#include <gtest/gtest.h>

#include <cstring>
#include <sstream>

#include "support/compare.h"
#include "support/io_files.h"
#include "support/mesh_gen.h"

namespace {

using namespace ovk::quernfold;
using namespace quernfold_test;

constexpr unsigned kThreads[] = {2, 3, 7};
// Lines of a list before the readers split it (io/shared/chunks.h).
constexpr std::size_t kListLines = 1024;
// Every this many lines a damaged copy, beside those at the chunk limits.
constexpr std::size_t kStride = 61;

struct outcome {
  int code = 0;
  mesh_data mesh;
};

outcome load(const std::string& path, unsigned threads) {
  outcome o;
  read_report report;
  o.code = load_mesh(path.c_str(), o.mesh, report, nullptr, threads);
  return o;
}

template <class M>
bool same_bytes(const M& a, const M& b) {
  const auto x = entries(a), y = entries(b);
  return shape(a) == shape(b) &&
         (x.empty() || std::memcmp(x.data(), y.data(), x.size() * sizeof x[0]) == 0);
}

void expect_same(const outcome& one, const outcome& many, const std::string& what) {
  EXPECT_EQ(one.code, many.code) << what;
  EXPECT_EQ(one.mesh.malformed_line, many.mesh.malformed_line) << what;
  EXPECT_TRUE(same_bytes(one.mesh.coords, many.mesh.coords)) << what;
  ASSERT_EQ(one.mesh.blocks.size(), many.mesh.blocks.size()) << what;
  for (std::size_t b = 0; b < one.mesh.blocks.size(); ++b) {
    EXPECT_EQ(one.mesh.blocks[b].type, many.mesh.blocks[b].type) << what;
    EXPECT_TRUE(same_bytes(one.mesh.blocks[b].connectM, many.mesh.blocks[b].connectM)) << what;
    EXPECT_TRUE(same_bytes(one.mesh.blocks[b].refs, many.mesh.blocks[b].refs)) << what;
  }
  ASSERT_EQ(one.mesh.left_out.size(), many.mesh.left_out.size()) << what;
  for (std::size_t k = 0; k < one.mesh.left_out.size(); ++k)
    EXPECT_EQ(one.mesh.left_out[k].count, many.mesh.left_out[k].count) << what;
}

// `path` read on one thread and on each of kThreads.
void expect_threads_agree(const std::string& path, const std::string& what) {
  const outcome one = load(path, 1);
  for (unsigned t : kThreads) expect_same(one, load(path, t), what + fmt(", %u threads", t));
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::size_t words_in(const std::string& line) {
  std::istringstream in(line);
  std::size_t n = 0;
  for (std::string w; in >> w;) ++n;
  return n;
}

// The lines to damage: every kStride-th, and around the chunk limits of
// every run of at least kListLines lines of one word count (the records
// of a list), its last line included.
std::vector<std::size_t> lines_to_damage(const std::vector<std::string>& lines) {
  std::vector<std::size_t> at;
  for (std::size_t i = 0; i < lines.size(); i += kStride) at.push_back(i);
  for (std::size_t s = 0, e; s < lines.size(); s = e) {
    for (e = s + 1; e < lines.size() && words_in(lines[e]) == words_in(lines[s]);) ++e;
    if (e - s < kListLines) continue;
    at.push_back(e - 1);
    for (unsigned t : kThreads)
      for (unsigned k = 1; k < t; ++k)
        for (std::size_t d : {0, 1, 2}) at.push_back(s + (e - s) * k / t + d - 1);
  }
  return at;
}

std::string joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& l : lines) text += l + "\n";
  return text;
}

// The file of `text` read on every thread count, then its copies with one
// line damaged (those of `at`, by default lines_to_damage): cut to its first
// word and a word that is no number, or joined to the next (which some
// formats take and the splitter must not).
void expect_copies_agree(const std::string& path, const std::string& text,
                         std::vector<std::size_t> at = {}) {
  write_file(path, text);
  expect_threads_agree(path, path);
  const std::vector<std::string> lines = lines_of(text);
  if (at.empty()) at = lines_to_damage(lines);
  for (std::size_t i : at) {
    if (i + 1 >= lines.size()) continue;
    std::vector<std::string> bad = lines;
    bad[i] = bad[i].substr(0, bad[i].find_first_of(" ,", 1)) + " x";
    write_file(path, joined(bad));
    expect_threads_agree(path, fmt("%s, line %zu bad", path.c_str(), i + 1));
    bad = lines;
    bad[i] += " " + bad[i + 1];
    bad.erase(bad.begin() + static_cast<std::ptrdiff_t>(i) + 1);
    write_file(path, joined(bad));
    expect_threads_agree(path, fmt("%s, line %zu joined", path.c_str(), i + 1));
  }
}

// Hexahedra and triangles on nodes with coordinates of many digits, with
// references.
mesh_data sample() {
  mesh grid = hexa_grid(11, 11, 10);
  mesh_data m;
  m.coords = grid.coords;
  for (std::size_t j = 0; j < m.coords.cols(); ++j)
    for (std::size_t i = 0; i < 3; ++i) m.coords(i, j) += 1e-3 * std::sin(double(3 * j + i));
  mesh_block hexa, tria;
  hexa.type = ET_HEXA8;
  hexa.connectM = grid.connect;
  tria.type = ET_TRIA3;
  tria.connectM = dense2D<unsigned>(3, 300);
  for (std::size_t e = 0; e < tria.connectM.cols(); ++e)
    for (unsigned k = 0; k < 3; ++k) tria.connectM(k, e) = static_cast<unsigned>(5 * e + 7 * k);
  for (mesh_block* b : {&hexa, &tria}) {
    b->refs.resize(b->connectM.cols());
    for (std::size_t e = 0; e < b->refs.size(); ++e) b->refs[e] = 1 + e % 3;
  }
  m.blocks = {hexa, tria};
  return m;
}

// The sample in MSH 2.2 text, one element type per line: hexahedra (5) and
// triangles (2) interleaved, with a point element (15) now and then.
std::string legacy_msh(const mesh_data& m) {
  std::string s = "$MeshFormat\n2.2 0 8\n$EndMeshFormat\n$Nodes\n";
  s += fmt("%zu\n", m.coords.cols());
  for (std::size_t j = 0; j < m.coords.cols(); ++j)
    s += fmt("%zu %.17g %.17g %.17g\n", j + 1, m.coords(0, j), m.coords(1, j), m.coords(2, j));
  std::vector<std::string> records;
  const mesh_block &hexa = m.blocks[0], &tria = m.blocks[1];
  for (std::size_t e = 0; e < hexa.connectM.cols(); ++e) {
    if (e < tria.connectM.cols())
      records.push_back(fmt("2 2 %u 9 %u %u %u", tria.refs[e], tria.connectM(0, e) + 1,
                            tria.connectM(2, e) + 1, tria.connectM(1, e) + 1));
    if (e % 97 == 0) records.push_back(fmt("15 1 4 %zu", e + 1));
    std::string r = fmt("5 2 %u 8", hexa.refs[e]);
    for (unsigned k = 0; k < 8; ++k) r += fmt(" %u", hexa.connectM(k, e) + 1);
    records.push_back(r);
  }
  s += fmt("$EndNodes\n$Elements\n%zu\n", records.size());
  for (std::size_t r = 0; r < records.size(); ++r) s += fmt("%zu ", r + 1) + records[r] + "\n";
  return s + "$EndElements\n";
}

using threaded_readers = io_test;

TEST_F(threaded_readers, SameMeshAndErrorsAsOneThread) {
  const mesh_data m = sample();
  for (const char* ext : {".msh", ".vtk", ".mesh", ".stl", ".obj", ".nas"}) {
    const std::string file = path(std::string("sample") + ext);
    ASSERT_EQ(write_mesh(file.c_str(), m, write_options()), 0) << ext;
    expect_copies_agree(file, read_file(file));
  }
  expect_copies_agree(path("legacy.msh"), legacy_msh(m));
}

// Hexahedra then more tetrahedra than one thread goes through alone (kept
// in columns of eight rows while read), in files of megabytes that are
// read in byte ranges on the threads: the same mesh and codes as on one
// thread, also with a bad line in the tetrahedra; and a surface with a node
// past the nodes late in its faces.
TEST_F(threaded_readers, LongFilesReadAsOnOneThread) {
  const mesh tets = tetra_grid(24, 24, 16), hexes = hexa_grid(6, 6, 6);
  mesh_data m;
  m.coords = tets.coords;
  for (std::size_t j = 0; j < m.coords.cols(); ++j) m.coords(0, j) += 1e-7 * double(j % 977);
  m.blocks.resize(2);
  m.blocks[0].type = ET_HEXA8;
  m.blocks[0].connectM = hexes.connect;
  m.blocks[1].type = ET_TETRA4;
  m.blocks[1].connectM = tets.connect;
  const std::size_t hexa = hexes.connect.cols(), late = hexa + tets.connect.cols() * 3 / 4;
  const std::string msh = path("long.msh");
  ASSERT_EQ(write_mesh(msh.c_str(), m, write_options()), 0);
  const std::string text = read_file(msh);
  ASSERT_GT(text.size(), std::size_t(1) << 20);
  const std::vector<std::string> lines = lines_of(text);
  const std::size_t first_tet = lines.size() - 2 - tets.connect.cols();
  expect_copies_agree(msh, text, {first_tet, first_tet + late - hexa, lines.size() - 3});

  // OBJ faces are not checked against the nodes while read.
  const mesh surface = tria_grid(130, 130);
  std::string obj;
  for (std::size_t j = 0; j < surface.coords.cols(); ++j)
    obj += fmt("v %g %g 0\n", surface.coords(0, j), surface.coords(1, j));
  for (std::size_t e = 0; e < surface.connect.cols(); ++e)
    obj += fmt("f %u %u %u\n", surface.connect(0, e) + 1, surface.connect(1, e) + 1,
               e == surface.connect.cols() * 3 / 4 ? 999999 : surface.connect(2, e) + 1);
  write_file(path("long.obj"), obj);
  EXPECT_EQ(load(path("long.obj"), 1).code, mesh_missing_node);
  expect_threads_agree(path("long.obj"), "long.obj, node past the nodes");
}

// A surface of more triangles than a merge block (100000) in text STL, each
// corner a little off its grid point, so that the merge within the height
// tolerance joins the copies across blocks and threads.
TEST_F(threaded_readers, StlOverOneMergeBlockMergesAsOneThread) {
  const std::size_t side = 230;
  std::string s = "solid grid\n";
  for (std::size_t f = 0; f < 2 * side * side; ++f) {
    const double x = double(f / 2 / side) + 1e-9 * double(f % 5), j = double(f / 2 % side),
                 h = double(f % 2);
    s +=
        fmt("facet normal 0 0 1\nouter loop\nvertex %.17g %g 0\nvertex %.17g %g 0\n"
            "vertex %.17g %g 0\nendloop\nendfacet\n",
            x + h, j, x + 1, j + h, x, j + 1);
  }
  write_file(path("jittered.stl"), s + "endsolid grid\n");
  EXPECT_EQ(load(path("jittered.stl"), 1).mesh.coords.cols(), (side + 1) * (side + 1));
  expect_threads_agree(path("jittered.stl"), "jittered.stl");
  // A short bad line in the last facet, megabytes past the start: the same
  // code and line on every thread count.
  s.replace(s.rfind("endloop"), 7, "x");
  write_file(path("jittered.stl"), s + "endsolid grid\n");
  EXPECT_NE(load(path("jittered.stl"), 1).mesh.malformed_line, 0u);
  expect_threads_agree(path("jittered.stl"), "jittered.stl, last facet bad");
}

// Text STL in capitals with CR LF ends, in solids with colours and one end
// that no start follows, each first vertex line of the longest length taken
// whole (255 bytes with its end), one of them a byte longer: read as on one
// thread.
TEST_F(threaded_readers, StlLineTooLongAsOneThread) {
  constexpr std::size_t kFacets = 4000, kLongest = 255;
  std::string s = "SOLID Caps\r\n";
  for (std::size_t f = 0; f < kFacets; ++f) {
    const std::string v = fmt("VERTEX %zuE0 0 0\n", f);
    s += "FACET NORMAL 0 0 1\r\nOuter Loop\n" + std::string(kLongest - v.size(), ' ') + v +
         fmt("VERTEX %zu 1 0\nVERTEX 0 %zu.5E+00 0\nENDLOOP\nENDFACET\n", f + 1, f);
    if (f % 1000 == 999)
      s += f == 1999 ? "ENDSOLID Caps\n" : "ENDSOLID Caps\nSOLID B\nCOLOR 1 0 0\n";
  }
  write_file(path("caps.stl"), s + "ENDSOLID Caps\n");
  ASSERT_EQ(load(path("caps.stl"), 1).mesh.blocks.at(0).connectM.cols(), kFacets);
  s.insert(s.find("Loop\n", s.size() / 2) + 5, " ");
  write_file(path("caps.stl"), s + "ENDSOLID Caps\n");
  EXPECT_NE(load(path("caps.stl"), 1).mesh.malformed_line, 0u);
  expect_threads_agree(path("caps.stl"), "caps.stl, a line too long");
}

}  // namespace
