// Wavefront OBJ: vertices, texture coordinates, normals and triangle and
// quadrangle faces, through standard file streams in text mode.
#include <cstdlib>
#include <fstream>
#include <iomanip>
#include <locale>
#include <sstream>
#include <string>
#include <vector>

#include "io/io_common.h"

namespace ovk {
namespace quernfold {

namespace {

constexpr int kMalformed = -2;
// Numbers a "v" line needs at least, a "vn" line exactly; a "vt" line has
// fewer than kMaxTexture.
constexpr std::size_t kVertexValues = 3;
constexpr std::size_t kNormalValues = 3;
constexpr std::size_t kMaxTexture = 4;
// Digits after the decimal point of written numbers.
constexpr int kDigits = 8;

// The parts of one face: vertex, texture and normal indices as written.
struct face_lists {
  std::vector<long> vertex, texture, normal;
};

class obj_reader {
 public:
  obj_reader(dense2D<double>& coords, dense2D<double>& uv, dense2D<double>& normals,
             dense2D<unsigned>& tria, dense2D<unsigned>& quad)
      : coords_(coords, 3), uv_(uv, 0), normals_(normals, 3), tria_(tria, 3), quad_(quad, 4) {}

  // Reads up to the end or the first error; what was read stays.
  int read(std::istream& in) {
    const int code = read_lines(in);
    const bool cut =
        coords_.finish() && uv_.finish() && normals_.finish() && tria_.finish() && quad_.finish();
    return cut || code < 0 ? code : no_memory;
  }

 private:
  int read_lines(std::istream& in) {
    std::string line, word;
    std::istringstream rest;
    rest.imbue(std::locale::classic());
    while (std::getline(in, line)) {
      rest.clear();
      rest.str(line);
      if (!(rest >> word)) continue;
      int code = 0;
      if (word == "v")
        code = read_vertex(rest);
      else if (word == "vn")
        code = read_normal(rest);
      else if (word == "vt")
        code = read_texture(rest);
      else if (word == "f")
        code = read_face(rest);
      if (code < 0) return code;
    }
    return 0;
  }

  static std::vector<double> numbers(std::istringstream& rest) {
    std::vector<double> values;
    double v;
    while (rest >> v) values.push_back(v);
    return values;
  }

  int read_vertex(std::istringstream& rest) {
    const std::vector<double> v = numbers(rest);
    if (v.size() < kVertexValues) return kMalformed;
    return coords_.append(v.data()) ? 0 : no_memory;
  }

  int read_normal(std::istringstream& rest) {
    const std::vector<double> v = numbers(rest);
    if (v.size() != kNormalValues) return kMalformed;
    seen_normals_ = true;
    return normals_.append(v.data()) ? 0 : no_memory;
  }

  // The first "vt" line fixes the row count of uv; lines of another count
  // (and lines without numbers) are dropped.
  int read_texture(std::istringstream& rest) {
    const std::vector<double> v = numbers(rest);
    if (v.size() >= kMaxTexture) return kMalformed;
    seen_texture_ = true;
    if (v.empty()) return 0;
    if (uv_.rows() == 0 && !uv_.raise_rows(v.size(), 0.0)) return no_memory;
    if (v.size() != uv_.rows()) return 0;
    return uv_.append(v.data()) ? 0 : no_memory;
  }

  // One face vertex word: a, a/b, a//c, a/b/c, a/b/ or a//. The word is
  // every character up to the blank, a NUL byte included: after a number,
  // anything but "/" or the end of the word makes the word malformed.
  static bool parse_corner(const std::string& word, face_lists& face) {
    std::vector<long>* lists[3] = {&face.vertex, &face.texture, &face.normal};
    const char* const begin = word.c_str();
    const char* const end_of_word = begin + word.size();
    const char* p = begin;
    for (int part = 0; part < 3; ++part) {
      const bool present = p != end_of_word && *p != '/';
      if (part == 0 && !present) return false;
      if (present) {
        char* end;
        const long v = std::strtol(p, &end, 10);
        if (end == p) return false;
        lists[part]->push_back(v);
        p = end;
      }
      if (p == end_of_word) return true;
      if (*p != '/' || part == 2) return false;
      ++p;
    }
    return true;
  }

  // Vertex index k of the file as a column: k - 1 for k > 0, counted back
  // from the last vertex read for k < 0. False for 0 and for indices before
  // the first vertex.
  bool vertex_column(long k, unsigned& col) const {
    const long read = static_cast<long>(coords_.size());
    if (k > 0) {
      col = static_cast<unsigned>(k - 1);
      return true;
    }
    if (k < 0 && read + k >= 0) {
      col = static_cast<unsigned>(read + k);
      return true;
    }
    return false;
  }

  int read_face(std::istringstream& rest) {
    face_lists face;
    std::string word;
    while (rest >> word)
      if (!parse_corner(word, face)) return kMalformed;
    if ((!face.texture.empty() && !seen_texture_) || (!face.normal.empty() && !seen_normals_))
      return kMalformed;
    unsigned cols[4];
    const std::size_t n = face.vertex.size();
    if (n != 3 && n != 4) {
      for (long k : face.vertex)
        if (!vertex_column(k, cols[0])) return kMalformed;
      return 0;
    }
    for (std::size_t i = 0; i < n; ++i)
      if (!vertex_column(face.vertex[i], cols[i])) return kMalformed;
    detail::column_writer<unsigned>& target = n == 3 ? tria_ : quad_;
    return target.append(cols) ? 0 : no_memory;
  }

  detail::column_writer<double> coords_;
  detail::column_writer<double> uv_;
  detail::column_writer<double> normals_;
  detail::column_writer<unsigned> tria_;
  detail::column_writer<unsigned> quad_;
  bool seen_texture_ = false;
  bool seen_normals_ = false;
};

// Checks of the writer after the file is open, in order.
int check_obj_output(const dense2D<double>& coords, const dense2D<double>& uv,
                     const dense2D<double>& normals, const dense2D<unsigned>& tria,
                     const dense2D<unsigned>& quad) {
  if (coords.rows() != 2 && coords.rows() != 3) return -2;
  if (!normals.empty() && (normals.rows() != 3 || normals.cols() != coords.cols())) return -3;
  if (!uv.empty() && (uv.rows() != 2 || uv.cols() != coords.cols())) return -4;
  if (!check_IDs(tria, ET_TRIA3, no_index)) return -5;
  if (!check_IDs(quad, ET_QUAD4, no_index)) return -6;
  return 0;
}

void write_rows(std::ostream& out, const char* key, const dense2D<double>& M, std::size_t rows) {
  for (std::size_t j = 0; j < M.cols(); ++j) {
    out << key;
    for (std::size_t i = 0; i < rows; ++i) out << (i < M.rows() ? M(i, j) : 0.0) << " ";
    out << "\n";
  }
}

void write_faces(std::ostream& out, const dense2D<unsigned>& faces, bool uv, bool normals) {
  for (std::size_t j = 0; j < faces.cols(); ++j) {
    out << " f ";
    for (std::size_t i = 0; i < faces.rows(); ++i) {
      const unsigned long k = static_cast<unsigned long>(faces(i, j)) + 1;
      out << k << "/";
      if (uv) out << k;
      out << "/";
      if (normals) out << k;
      out << " ";
    }
    out << "\n";
  }
}

// Copies the columns of a and then b into one matrix of the taller height
// of the two among those that have columns.
bool join_columns(const dense2D<unsigned>& a, const dense2D<unsigned>& b, dense2D<unsigned>& out) {
  std::size_t rows = 0;
  if (a.cols()) rows = a.rows();
  if (b.cols()) rows = std::max(rows, b.rows());
  if (!out.resize(rows, a.cols() + b.cols(), no_index)) return false;
  for (std::size_t j = 0; j < a.cols(); ++j)
    std::copy(a.column(j), a.column(j) + a.rows(), out.column(j));
  for (std::size_t j = 0; j < b.cols(); ++j)
    std::copy(b.column(j), b.column(j) + b.rows(), out.column(a.cols() + j));
  return true;
}

}  // namespace

int WavefrontOBJ_input(char const* name, dense2D<double>& coords, dense2D<double>& uv,
                       dense2D<double>& normals, dense2D<unsigned>& connectM_tria,
                       dense2D<unsigned>& connectM_quad) {
  const detail::c_locale_scope c_numbers;
  coords.clear();
  uv.clear();
  normals.clear();
  connectM_tria.clear();
  connectM_quad.clear();
  if (!name) return -1;
  std::ifstream in(name);
  if (!in) return -1;
  in.imbue(std::locale::classic());
  obj_reader reader(coords, uv, normals, connectM_tria, connectM_quad);
  return reader.read(in);
}

int WavefrontOBJ_output(char const* name, dense2D<double> const& coords, dense2D<double> const& uv,
                        dense2D<double> const& normals, dense2D<unsigned> const& connectM_tria,
                        dense2D<unsigned> const& connectM_quad) {
  const detail::c_locale_scope c_numbers;
  if (!name) return -1;
  std::ofstream out(name);
  if (!out) return -1;
  const int code = check_obj_output(coords, uv, normals, connectM_tria, connectM_quad);
  if (code < 0) return code;
  out.imbue(std::locale::classic());
  out << std::scientific << std::setprecision(kDigits);
  write_rows(out, " v ", coords, 3);
  if (!uv.empty()) write_rows(out, " vt ", uv, 2);
  if (!normals.empty()) write_rows(out, " vn ", normals, 3);
  write_faces(out, connectM_tria, !uv.empty(), !normals.empty());
  write_faces(out, connectM_quad, !uv.empty(), !normals.empty());
  return 0;
}

int WavefrontOBJ_output(char const* name, dense2D<double> const& coords,
                        dense2D<unsigned> const& connectM, element_type type) {
  const dense2D<double> none;
  const dense2D<unsigned> no_faces;
  return WavefrontOBJ_output(name, coords, none, none, type == ET_TRIA3 ? connectM : no_faces,
                             type == ET_QUAD4 ? connectM : no_faces);
}

int WavefrontOBJ_output(char const* name, dense2D<double> const& coords,
                        dense2D<unsigned> const& connectM1, dense2D<unsigned> const& connectM2,
                        element_type type1, element_type type2) {
  const dense2D<double> none;
  dense2D<unsigned> tria, quad;
  if (type1 == type2) {
    dense2D<unsigned> joined;
    if (!join_columns(connectM1, connectM2, joined)) return no_memory;
    if (type1 == ET_TRIA3) tria = joined;
    if (type1 == ET_QUAD4) quad = joined;
  } else {
    const dense2D<unsigned>* mats[2] = {&connectM1, &connectM2};
    const element_type kinds[2] = {type1, type2};
    for (int m = 0; m < 2; ++m) {
      if (kinds[m] == ET_TRIA3) tria = *mats[m];
      if (kinds[m] == ET_QUAD4) quad = *mats[m];
    }
  }
  return WavefrontOBJ_output(name, coords, none, none, tria, quad);
}

}  // namespace quernfold
}  // namespace ovk
