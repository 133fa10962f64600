// The block-scanning OBJ and text STL readers against the line-by-line
// reading they replace (getline, string streams and strtol for OBJ; the
// binary form of the same triangles for text STL), on random and
// adversarial files.

#include <cstdio>
#include <cstdlib>
#include <random>

#include "support/compare.h"
#include "support/io_files.h"

namespace quernfold_test {
namespace {

using namespace ovk::quernfold;

template <class T>
void add_column(dense2D<T>& M, std::size_t rows, const T* values) {
  ASSERT_TRUE(M.resize(rows, M.cols() + 1));
  std::copy(values, values + rows, M.column(M.cols() - 1));
}

// One OBJ face word read with strtol: false when malformed; the vertex
// index goes to `vertex`, and part 1 or 2 present sets uses[1] or uses[2].
bool plain_corner(const std::string& word, std::vector<long>& vertex, bool* uses) {
  const char *p = word.c_str(), *end = p + word.size();
  for (int part = 0; part < 3; ++part, ++p) {
    char* stop = const_cast<char*>(p);
    const long v = p != end && *p != '/' ? std::strtol(p, &stop, 10) : 0;
    if (stop == p && (part == 0 || (p != end && *p != '/'))) return false;
    if (part == 0) vertex.push_back(v);
    uses[part] = uses[part] || stop != p;
    if ((p = stop) == end) return true;
    if (*p != '/' || part == 2) return false;
  }
  return true;
}

// The OBJ reading line by line through string streams into d (coordinates,
// uv, normals) and f (triangles, quadrangles).
int plain_obj(const std::string& text, dense2D<double>* d, dense2D<unsigned>* f) {
  std::istringstream file(text);
  std::string line, word;
  bool seen[3] = {true, false, false};  // vertices, texture, normals
  while (std::getline(file, line)) {
    std::istringstream rest(line);
    if (!(rest >> word)) continue;
    const int kind = word == "v" ? 0 : word == "vt" ? 1 : word == "vn" ? 2 : word == "f" ? 3 : 4;
    if (kind == 3) {
      std::vector<long> vs;
      bool uses[3] = {};
      while (rest >> word)
        if (!plain_corner(word, vs, uses)) return -2;
      if ((uses[1] && !seen[1]) || (uses[2] && !seen[2])) return -2;
      unsigned cols[4], read = unsigned(d[0].cols());  // read + a long index is a long
      for (std::size_t i = 0; i < vs.size(); ++i) {
        if (vs[i] == 0 || (vs[i] < 0 && read + vs[i] < 0)) return -2;
        if (i < 4) cols[i] = unsigned(vs[i] > 0 ? vs[i] - 1 : read + vs[i]);
      }
      if (vs.size() == 3 || vs.size() == 4) add_column(f[vs.size() - 3], vs.size(), cols);
    } else if (kind < 3) {
      std::vector<double> x;
      double v;
      while (rest >> v) x.push_back(v);
      if (kind == 0 ? x.size() < 3 : kind == 1 ? x.size() >= 4 : x.size() != 3) return -2;
      seen[kind] = true;
      if (!x.empty() && (kind != 1 || d[1].cols() == 0 || d[1].rows() == x.size()))
        add_column(d[kind], kind == 1 ? x.size() : 3, x.data());
    }
  }
  return 0;
}

// A random OBJ line: mostly valid keywords with their numbers or corners,
// sometimes wild ones over odd words, numbers of every form, blanks of
// every kind and stray bytes (a NUL inside a word among them).
std::string random_obj_line(std::mt19937_64& gen) {
  static const char* keys[] = {"v", "vn", "vt", "f", "f", "v", "V", "#", "vp", ""};
  static const std::string pool =
      "1 2 -1 3/1 2//1 1/1/1 +2 0 2/ 4/x 1/ /1 1e400 -0.0 .5 1e nan "
      "0x1p3 1.5. 7a 9999999999999999999999";
  const std::string odd[] = {"", "\r", std::string("3\0", 2)};
  const bool wild = gen() % 16 == 0;
  std::string s = keys[gen() % (wild ? 10 : 4)];
  unsigned n = wild ? gen() % 6 : s == "vt" ? 2 : 3 + gen() % 2 * (s != "vn");
  for (; n > 0; --n) {
    const std::size_t f = wild ? gen() % 25 : s[0] == 'f' ? gen() % 6 : 24;
    std::istringstream words(pool);
    std::string w = f < 21   ? ""
                    : f < 24 ? odd[f - 21]
                             : std::to_string((int(gen() % 2001) - 1000) / 7.);
    for (std::size_t i = 0; f < 21 && i <= f; ++i) words >> w;
    s += std::string(1 + gen() % 2, " \t\v\f"[gen() % 4]) + w;
  }
  return s;
}

TEST_F(io_test, ObjBlockReaderMatchesLineByLineReading) {
  std::mt19937_64 gen(13);
  for (int round = 0; round < 400; ++round) {
    std::string text = round % 2 ? "v 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nvn 0 0 1\n" : "";
    for (unsigned k = 0, n = unsigned(gen() % 40); k < n; ++k)
      text += random_obj_line(gen) + (gen() % 8 ? "\n" : "\r\n");
    if (round == 0) text += "v 1 2 3 " + std::string(3 << 20, ' ') + "4\nf 1 1 1";
    dense2D<double> d[3], want_d[3];
    dense2D<unsigned> f[2], want_f[2];
    const int code = plain_obj(text, want_d, want_f);
    write_file(path("t.obj"), text);
    ASSERT_EQ(WavefrontOBJ_input(path("t.obj").c_str(), d[0], d[1], d[2], f[0], f[1]), code);
    for (int k = 0; k < 3; ++k) EXPECT_SAME(d[k], want_d[k]);
    for (int k = 0; k < 2; ++k) EXPECT_SAME(f[k], want_f[k]);
  }
}

// The same float triangles as a text STL written every way (case, blanks,
// numbers in forms that give the float back exactly) and as a binary STL
// read to the same mesh.
TEST_F(io_test, TextStlBlockReaderMatchesBinaryForm) {
  std::mt19937_64 gen(17);
  static const char* forms[] = {"%.17g", "%.17e", "%a", "%.25E", "%+.20g", "%A"};
  static const char* vertex[] = {" ", "\t", "   ", " \r", "\n   vertex ", "\n\tVERTEX\t"};
  for (int round = 0; round < 20; ++round) {
    const unsigned n = 1 + unsigned(gen() % 300);
    std::string text = gen() % 2 ? "solid x\n" : "SOLID\n", bin(84 + 50 * std::size_t(n), '\0');
    std::memcpy(&bin[80], &n, 4);
    for (unsigned t = 0; t < n; ++t) {
      text += gen() % 2 ? " facet normal 0 0 1\n  outer loop" : "FACET\tNORMAL 0 0 1\nOuter Loop";
      for (int k = 0; k < 9; ++k) {
        const float x = float(int(gen() % 41) - 20) / float(1 + gen() % 7);
        std::memcpy(&bin[84 + 50 * std::size_t(t) + 12 + 4 * k], &x, 4);
        char num[80];
        std::snprintf(num, sizeof num, forms[gen() % 6], double(x));
        text += std::string(vertex[k % 3 ? gen() % 4 : 4 + gen() % 2]) + num;
      }
      text += gen() % 2 ? "\n  endloop\n endfacet\n" : "\nENDLOOP\r\nEndFacet\n";
    }
    write_file(path("t.stl"), text + "endsolid\n");
    write_file(path("b.stl"), bin);
    dense2D<double> xyz[2];
    dense2D<unsigned> tri[2];
    for (int k = 0; k < 2; ++k)
      ASSERT_EQ(STL_input(path(k ? "b.stl" : "t.stl").c_str(), xyz[k], tri[k]), 0);
    EXPECT_SAME(xyz[0], xyz[1]);
    EXPECT_SAME(tri[0], tri[1]);
  }
}

}  // namespace
}  // namespace quernfold_test
