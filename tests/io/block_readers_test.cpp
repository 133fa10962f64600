// The block-scanning OBJ and text STL readers against the line-by-line
// reading they replace (getline, string streams and strtol for OBJ; the
// binary form of the same triangles for text STL), on random and
// adversarial files.

#include <iterator>
#include <random>

#include "support/compare.h"
#include "support/io_files.h"

namespace quernfold_test {
namespace {

using namespace ovk::quernfold;

template <class T>
void add_column(dense2D<T>& M, std::size_t rows, const T* values) {
  if (M.resize(rows, M.cols() + 1)) std::copy(values, values + rows, M.column(M.cols() - 1));
}

// One OBJ face word read with strtol: false when malformed or when its
// vertex index k is 0 or counts back past the first of the `read` vertices;
// the vertex column goes to `cols`, and part 1 or 2 present sets uses[1] or
// uses[2].
bool plain_corner(const std::string& word, long read, std::vector<unsigned>& cols, bool* uses) {
  const char *p = word.c_str(), *end = p + word.size();
  for (int part = 0; part < 3; ++part, ++p) {
    char* stop = const_cast<char*>(p);
    const long k = p != end && *p != '/' ? std::strtol(p, &stop, 10) : 0;
    if (stop == p && (part == 0 || (p != end && *p != '/'))) return false;
    if (part == 0 && (k == 0 || (k < 0 && read + k < 0))) return false;
    if (part == 0) cols.push_back(unsigned(k > 0 ? k - 1 : read + k));
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
      std::vector<unsigned> cols;
      bool uses[3] = {};
      while (rest >> word)
        if (!plain_corner(word, long(d[0].cols()), cols, uses)) return -2;
      if ((uses[1] && !seen[1]) || (uses[2] && !seen[2])) return -2;
      if (cols.size() == 3 || cols.size() == 4)
        add_column(f[cols.size() - 3], cols.size(), cols.data());
    } else if (kind < 3) {
      const std::vector<double> x{std::istream_iterator<double>(rest), {}};
      if (kind == 0 ? x.size() < 3 : kind == 1 ? x.size() >= 4 : x.size() != 3) return -2;
      seen[kind] = true;
      if (!x.empty() && (kind != 1 || d[1].cols() == 0 || d[1].rows() == x.size()))
        add_column(d[kind], kind == 1 ? x.size() : 3, x.data());
    }
  }
  return 0;
}

// A random OBJ line: mostly valid keywords with their numbers or corners;
// sometimes other keywords, one value too many, or an odd word (numbers of
// other forms, malformed corners, a NUL byte inside a word); blanks of
// every kind.
std::string random_obj_line(std::mt19937_64& gen) {
  static const char* keys[] = {"v", "vn", "vt", "f", "V", "#", "vp", ""};
  static const char* corners[] = {"1", "2", "-1", "3/1", "2//1", "1/1/1"};
  static const std::string odd = "2/|4/x|1/|/1|1e400|-0.0|.5|1e|nan|0x1p3|1.5.|7a|+2|0|\r||" +
                                 std::string("99999999999999999999|3\0", 23);
  std::string s = keys[gen() % 16 ? gen() % 4 : gen() % 8];
  for (unsigned n = s == "vt" ? 2 : 3 + gen() % 2 * (s != "vn") + (gen() % 16 == 0); n; --n) {
    std::istringstream words(odd);
    std::string w = s[0] == 'f' ? corners[gen() % 6] : std::to_string(gen() % 2001 / 7. - 142);
    for (std::size_t i = 0, f = gen() % 800; f < 18 && i <= f; ++i) std::getline(words, w, '|');
    s += std::string(1 + gen() % 2, " \t\v\f"[gen() % 4]) + w;
  }
  return s;
}

TEST_F(io_test, ObjBlockReaderMatchesLineByLineReading) {
  std::mt19937_64 gen(13);
  for (int round = 0; round < 400; ++round) {
    std::string text = round % 2 ? "v 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nvn 0 0 1\n" : "";
    if (round == 0) text = "f 1 1 9999999999999999999\n" + std::string(3 << 20, 'v');  // grows
    for (unsigned k = 0, n = unsigned(gen() % 40); k < n; ++k)
      text += random_obj_line(gen) + (gen() % 8 ? "\n" : "\r\n");
    dense2D<double> d[3], want_d[3];
    dense2D<unsigned> f[2], want_f[2];
    write_file(path("t.obj"), text);
    ASSERT_EQ(WavefrontOBJ_input(path("t.obj").c_str(), d[0], d[1], d[2], f[0], f[1]),
              plain_obj(text, want_d, want_f));
    for (int k = 0; k < 3; ++k) EXPECT_SAME(d[k], want_d[k]);
    for (int k = 0; k < 2; ++k) EXPECT_SAME(f[k], want_f[k]);
  }
}

// A float triangle soup: `lead` triangles on lines of grid points, then
// grid triangles (the first one, of smallest height sqrt(1/2), fixes the
// tolerance), collinear slivers of points 0.01 or 0.02 apart (ties within
// the tolerance), -0.0, NaN and infinite coordinates.
std::vector<float> random_soup(std::mt19937_64& gen, std::size_t n, std::size_t lead) {
  std::vector<float> v;
  for (std::size_t t = 0; t < lead; ++t) {
    const float x = float(int(gen() % 7) - 3), y = gen() % 4 ? float(gen() % 3) : -0.0f;
    for (int k = 0; k < 3; ++k) v.insert(v.end(), {x + float(k), y, 1});
  }
  v.insert(v.end(), {0, 0, 0, 1, 0, 0, 0, 1, 0});
  while (v.size() < 9 * n) {
    const float p[3] = {float(int(gen() % 7) - 3), gen() % 4 ? float(gen() % 3) : -0.0f, 1};
    const unsigned kind = gen() % 8, a = gen() % 3, b = (a + 1 + gen() % 2) % 3;
    for (unsigned i = 0, k = 0, c = 0; i < 9; ++i, k = i / 3, c = i % 3) {
      float off = kind < 5 ? float((k == 1 && c == a) || (k == 2 && c == b)) : 0;
      if (kind == 5 && c == 0) off = 0.01f * float(k * (gen() % 3));
      if (kind == 6 && k == 2 && c == a) off = gen() % 2 ? NAN : -INFINITY;
      v.push_back(off == 0 ? p[c] : p[c] + off);  // -0.0 stays
    }
  }
  return v;
}

// The STL readers, text (upper or lower case, numbers in forms that give
// the floats back) and binary, against the plain steps: the soup, its
// blocks of 100000 triangles merged at tolerance 0, the whole at 5% of the
// smallest height, degenerate triangles and unused nodes removed.
TEST_F(io_test, StlReadersMatchThePlainMergeSteps) {
  std::mt19937_64 gen(17);
  for (int round = 0; round < 12; ++round) {
    const std::size_t n = round == 0 ? 230000 : 1 + gen() % 300;
    // The first positive height comes in the second block, or among the first few triangles.
    const std::vector<float> soup =
        random_soup(gen, n, round == 0 ? 150000 : std::min<std::size_t>(n - 1, gen() % 3));
    std::string text = "solid x\n", bin(84 + 50 * n, '\0');
    dense2D<double> coords(3, 3 * n), xyz;
    dense2D<unsigned> connect(3, n), tri;
    std::memcpy(&bin[80], &n, 4);
    for (std::size_t t = 0; t < n; ++t) {
      std::memcpy(&bin[84 + 50 * t + 12], &soup[9 * t], 36);
      text += " facet normal 0 0 1\n\touter loop";
      for (std::size_t k = 0; k < 9; ++k) {
        char num[80];
        std::snprintf(num, sizeof num, gen() % 2 ? "%.17g" : "%a",
                      coords.data()[9 * t + k] = soup[9 * t + k]);
        text += (k % 3 ? std::string(1 + gen() % 2, " \t\r"[gen() % 3]) : "\n  vertex ") + num;
      }
      text += "\n  endloop\r\n endfacet\n";
      for (unsigned k = 0; k < 3; ++k) connect(k, t) = unsigned(3 * t + k);
    }
    for (char& c : text) c = char(round % 2 ? std::toupper(c) : c);
    dense1D<unsigned> ids;
    for (std::size_t j = 0; j < n; j += 100000) {
      dense2D<unsigned> block = connect.sub_matrix(0, j, 3, std::min<std::size_t>(100000, n - j));
      ASSERT_GE(merge(coords, block, ids, 0.0, 0), 0);
    }
    ASSERT_TRUE(merge(coords, connect, ids, 0.05 * std::sqrt(0.5), 0) >= 0 &&
                remove_degenerated(connect, ids, true) >= 0 &&
                simplify(coords, connect, ids, 0) >= 0);
    for (const std::string& body : {text + "endsolid\n", bin}) {
      write_file(path("s.stl"), body);
      ASSERT_EQ(STL_input(path("s.stl").c_str(), xyz, tri), 0);
      EXPECT_SAME(xyz, coords);
      EXPECT_SAME(tri, connect);
    }
  }
}

}  // namespace
}  // namespace quernfold_test
