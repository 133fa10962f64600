// STL triangle surfaces: text and little-endian binary form, read with the
// coincident vertices merged back into shared nodes.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "common/point3.h"
#include "io/io_common.h"
#include "quernfold/search.h"

namespace ovk {
namespace quernfold {

namespace {

constexpr int kNotStl = -2;
constexpr int kBadRecord = -3;
// Codes from -1 to this one are text failures after which the binary form
// is tried.
constexpr int kLastTextFailure = -198;

// Binary layout: header, triangle count, then per triangle the normal and
// three vertices (32-bit floats) and a 16-bit attribute word.
constexpr std::size_t kHeaderBytes = 80;
constexpr std::size_t kCountBytes = 4;
constexpr std::size_t kTriangleBytes = 50;
constexpr std::size_t kFloatsPerTriangle = 12;
const char kBinaryTag[] = "OVK STL Binary";

// Merging: exactly coincident vertices are merged block by block first;
// then all vertices within this fraction of the smallest triangle height.
constexpr std::size_t kMergeBlock = 100000;
constexpr double kHeightFraction = 0.05;

using detail::point3;

// ---------------------------------------------------------------------------
// Smallest heights
// ---------------------------------------------------------------------------

// Squared distance of P to the line through its two neighbours; the nearer
// neighbour (the following one on a tie) is the line's origin A.
double squared_height(const point3& p, const point3& next, const point3& prev) {
  const bool next_nearer = norm2(p - next) <= norm2(p - prev);
  const point3& a = next_nearer ? next : prev;
  const point3& b = next_nearer ? prev : next;
  const point3 d = b - a, w = p - a;
  const double wd = norm2(cross(w, d)), dd = norm2(d);
  return dd == 0.0 ? wd : wd / dd;
}

// Smallest squared height of the triangle (v[0], v[1], v[2]).
double triangle_height2(const point3* v) {
  double h = squared_height(v[0], v[1], v[2]);
  h = std::min(h, squared_height(v[1], v[2], v[0]));
  return std::min(h, squared_height(v[2], v[0], v[1]));
}

// The vertices read so far and the smallest positive squared height.
class soup {
 public:
  explicit soup(dense2D<double>& coords) : coords_(coords, 3) {}

  bool add_triangle(const point3* v) {
    for (int k = 0; k < 3; ++k) {
      const double xyz[3] = {v[k].x, v[k].y, v[k].z};
      if (!coords_.append(xyz)) return false;
    }
    const double h = triangle_height2(v);
    if (h > 0.0 && (!has_height_ || h < min_height2_)) {
      min_height2_ = h;
      has_height_ = true;
    }
    return true;
  }

  bool has_height() const { return has_height_; }
  double min_height2() const { return min_height2_; }
  // Cuts the coordinates to the vertices read.
  bool finish() { return coords_.finish(); }

 private:
  detail::column_writer<double> coords_;
  double min_height2_ = 0.0;
  bool has_height_ = false;
};

// ---------------------------------------------------------------------------
// Merging the soup into a mesh
// ---------------------------------------------------------------------------

int merge_soup(dense2D<double>& coords, dense2D<unsigned>& connectM, const soup& s) {
  const std::size_t triangles = coords.cols() / 3;
  if (!connectM.resize(3, triangles)) return no_memory;
  for (std::size_t j = 0; j < triangles; ++j)
    for (unsigned k = 0; k < 3; ++k) connectM(k, j) = static_cast<unsigned>(3 * j + k);
  if (!s.has_height()) return 0;
  const double tol = kHeightFraction * std::sqrt(s.min_height2());
  dense1D<unsigned> map;
  for (std::size_t start = 0; start < triangles; start += kMergeBlock) {
    dense2D<unsigned> block =
        connectM.sub_matrix(0, start, 3, std::min(kMergeBlock, triangles - start));
    const int code = merge(coords, block, map, 0.0, 0);
    if (code < 0) return code;
  }
  int code = merge(coords, connectM, map, tol, 0);
  if (code >= 0) code = remove_degenerated(connectM, map, true);
  if (code >= 0) code = simplify(coords, connectM, map, 0);
  return code < 0 ? code : 0;
}

// Ends a reader: the soup read so far is merged when reading succeeded; on
// any failure both outputs are emptied.
int close_soup(int code, soup& s, dense2D<double>& coords, dense2D<unsigned>& connectM) {
  if (!s.finish() && code == 0) code = no_memory;
  if (code == 0) code = merge_soup(coords, connectM, s);
  if (code < 0) {
    coords.clear();
    connectM.clear();
  }
  return code;
}

// ---------------------------------------------------------------------------
// Text form
// ---------------------------------------------------------------------------

class text_lines {
 public:
  explicit text_lines(std::FILE* stream) : stream_(stream) {}

  // Next line in lower case; false at end of input.
  bool next() {
    if (!detail::read_line(stream_, buf_)) return false;
    for (char* p = buf_; *p; ++p)
      *p = static_cast<char>(std::tolower(static_cast<unsigned char>(*p)));
    return true;
  }
  bool has(const char* word) const { return std::strstr(buf_, word) != nullptr; }
  const char* line() const { return buf_; }

 private:
  std::FILE* stream_;
  char buf_[detail::kLineBuffer];
};

bool read_vertex(text_lines& in, point3& v) {
  return in.next() && std::sscanf(in.line(), " vertex %lg %lg %lg\n", &v.x, &v.y, &v.z) == 3;
}

// The rest of a facet once its "facet normal" line has been read.
int read_facet_body(text_lines& in, soup& s) {
  if (!in.next() || !in.has("outer loop")) return kBadRecord;
  point3 v[3];
  for (point3& p : v)
    if (!read_vertex(in, p)) return kBadRecord;
  if (!in.next() || !in.has("endloop")) return kBadRecord;
  if (!in.next() || !in.has("endfacet")) return kBadRecord;
  return s.add_triangle(v) ? 0 : no_memory;
}

bool is_facet_line(const text_lines& in) {
  double n[3];
  return std::sscanf(in.line(), " facet normal %lg %lg %lg\n", &n[0], &n[1], &n[2]) == 3;
}

// Facets up to the last "endsolid"; further solids continue the mesh.
int read_text_facets(text_lines& in, soup& s) {
  for (;;) {
    if (!in.next()) return kBadRecord;
    if (in.has("color")) continue;
    if (in.has("endsolid")) {
      if (!in.next()) return 0;
      if (in.has("solid")) continue;
    }
    if (!is_facet_line(in)) return kBadRecord;
    const int code = read_facet_body(in, s);
    if (code < 0) return code;
  }
}

int read_text(std::FILE* stream, dense2D<double>& coords, dense2D<unsigned>& connectM) {
  coords.clear();
  connectM.clear();
  text_lines in(stream);
  if (!in.next() || !in.has("solid")) return kNotStl;
  soup s(coords);
  return close_soup(read_text_facets(in, s), s, coords, connectM);
}

// ---------------------------------------------------------------------------
// Binary form
// ---------------------------------------------------------------------------

std::uint32_t little_endian32(const unsigned char* b) {
  return static_cast<std::uint32_t>(b[0]) | static_cast<std::uint32_t>(b[1]) << 8 |
         static_cast<std::uint32_t>(b[2]) << 16 | static_cast<std::uint32_t>(b[3]) << 24;
}

float float_at(const unsigned char* b) {
  const std::uint32_t bits = little_endian32(b);
  float f;
  std::memcpy(&f, &bits, sizeof f);
  return f;
}

void put_little_endian32(unsigned char* b, std::uint32_t v) {
  for (int k = 0; k < 4; ++k) b[k] = static_cast<unsigned char>(v >> (8 * k));
}

void put_float(unsigned char* b, float f) {
  std::uint32_t bits;
  std::memcpy(&bits, &f, sizeof bits);
  put_little_endian32(b, bits);
}

// Triangles read by one fread of the binary form.
constexpr std::size_t kBlockTriangles = 16384;

// The vertices of the record at rec (the normal is not used).
void record_vertices(const unsigned char* rec, point3* v) {
  for (int k = 0; k < 3; ++k) {
    const unsigned char* p = rec + 12 * (k + 1);
    v[k] = {float_at(p), float_at(p + 4), float_at(p + 8)};
  }
}

// The records come in blocks of kBlockTriangles; a short block ends the
// reading with kBadRecord once its whole records are stored.
int read_binary_triangles(std::FILE* stream, std::int32_t count, soup& s) {
  const std::unique_ptr<unsigned char[]> block(
      new (std::nothrow) unsigned char[kBlockTriangles * kTriangleBytes]);
  if (!block) return no_memory;
  for (std::int32_t done = 0; done < count;) {
    const std::size_t want = std::min<std::size_t>(kBlockTriangles, std::size_t(count - done));
    const std::size_t got = std::fread(block.get(), kTriangleBytes, want, stream);
    for (std::size_t t = 0; t < got; ++t) {
      point3 v[3];
      record_vertices(block.get() + t * kTriangleBytes, v);
      if (!s.add_triangle(v)) return no_memory;
    }
    if (got < want) return kBadRecord;
    done += static_cast<std::int32_t>(got);
  }
  return 0;
}

int read_binary(std::FILE* stream, dense2D<double>& coords, dense2D<unsigned>& connectM) {
  coords.clear();
  connectM.clear();
  unsigned char header[kHeaderBytes], count_bytes[kCountBytes];
  if (std::fread(header, 1, kHeaderBytes, stream) != kHeaderBytes) return kNotStl;
  if (std::fread(count_bytes, 1, kCountBytes, stream) != kCountBytes) return kBadRecord;
  const std::int32_t count = static_cast<std::int32_t>(little_endian32(count_bytes));
  soup s(coords);
  return close_soup(read_binary_triangles(stream, count, s), s, coords, connectM);
}

bool text_failed(int code) { return code < 0 && code >= kLastTextFailure; }

// ---------------------------------------------------------------------------
// Writers
// ---------------------------------------------------------------------------

point3 vertex_of(const dense2D<double>& coords, unsigned node) {
  const double* c = coords.column(node);
  return {c[0], c[1], coords.rows() == 3 ? c[2] : 0.0};
}

// Unit normal of (P0, P1, P2) from the shorter edge pair; (0, 0, 0) for a
// degenerate triangle.
point3 facet_normal(const point3* v) {
  const point3 a = v[0] - v[2], b = v[1] - v[2], e = v[1] - v[0];
  point3 n = norm2(e) > std::min(norm2(b), norm2(a)) ? cross(a, b) : cross(a, e);
  const double n2 = norm2(n);
  if (n2 != 0.0 && n2 != 1.0) {
    const double len = std::sqrt(n2);
    n = {n.x / len, n.y / len, n.z / len};
  }
  return n;
}

void triangle_of(const dense2D<double>& coords, const unsigned* column, point3* v) {
  for (int k = 0; k < 3; ++k) v[k] = vertex_of(coords, column[k]);
}

int write_text(std::FILE* f, const dense2D<double>& coords, const dense2D<unsigned>& connectM) {
  if (std::fprintf(f, "solid OVK\n") < 0) return -1;
  for (std::size_t j = 0; j < connectM.cols(); ++j) {
    point3 v[3];
    triangle_of(coords, connectM.column(j), v);
    const point3 n = facet_normal(v);
    if (std::fprintf(f, "   facet normal %le %le %le\n", n.x, n.y, n.z) < 0) return -1;
    if (std::fprintf(f, "      outer loop\n") < 0) return -1;
    for (const point3& p : v)
      if (std::fprintf(f, "         vertex %le %le %le\n", p.x, p.y, p.z) < 0) return -1;
    if (std::fprintf(f, "      endloop\n") < 0) return -1;
    if (std::fprintf(f, "   endfacet\n") < 0) return -1;
  }
  return std::fprintf(f, "endsolid OVK\n") < 0 ? -1 : 0;
}

int write_binary(std::FILE* f, const dense2D<double>& coords, const dense2D<unsigned>& connectM) {
  unsigned char head[kHeaderBytes + kCountBytes] = {0};
  std::memcpy(head, kBinaryTag, sizeof kBinaryTag - 1);
  put_little_endian32(head + kHeaderBytes, static_cast<std::uint32_t>(connectM.cols()));
  if (std::fwrite(head, 1, sizeof head, f) != sizeof head) return -1;
  unsigned char rec[kTriangleBytes];
  for (std::size_t j = 0; j < connectM.cols(); ++j) {
    point3 v[4];
    triangle_of(coords, connectM.column(j), v + 1);
    v[0] = facet_normal(v + 1);
    for (std::size_t k = 0; k < kFloatsPerTriangle; ++k) {
      const point3& p = v[k / 3];
      const double value = k % 3 == 0 ? p.x : (k % 3 == 1 ? p.y : p.z);
      put_float(rec + 4 * k, static_cast<float>(value));
    }
    rec[48] = rec[49] = 0;
    if (std::fwrite(rec, 1, kTriangleBytes, f) != kTriangleBytes) return -1;
  }
  return 0;
}

}  // namespace

int STL_input(FILE* stream, dense2D<double>& coords, dense2D<unsigned>& connectM) {
  const detail::c_locale_scope c_numbers;
  coords.clear();
  connectM.clear();
  if (!stream || std::ferror(stream)) return -1;
  std::fpos_t start;
  if (std::fgetpos(stream, &start) != 0) return -1;
  const int code = read_text(stream, coords, connectM);
  if (!text_failed(code)) return code;
  if (std::fsetpos(stream, &start) != 0) return code;
  return read_binary(stream, coords, connectM);
}

int STL_input(char const* name, dense2D<double>& coords, dense2D<unsigned>& connectM) {
  const detail::c_locale_scope c_numbers;
  coords.clear();
  connectM.clear();
  int code = -1;
  {
    detail::scoped_file text(name, "rt");
    if (text) {
      code = read_text(text.get(), coords, connectM);
      if (!text_failed(code)) return code;
    }
  }
  detail::scoped_file binary(name, "rb");
  if (!binary) return code;
  return read_binary(binary.get(), coords, connectM);
}

int STL_output(FILE* stream, dense2D<double> const& coords, dense2D<unsigned> const& connectM,
               bool ascii) {
  const detail::c_locale_scope c_numbers;
  if (!stream || std::ferror(stream)) return -1;
  if (coords.rows() != 2 && coords.rows() != 3) return -2;
  if (!check_IDs(connectM, ET_TRIA3, static_cast<unsigned>(coords.cols()))) return -3;
  return ascii ? write_text(stream, coords, connectM) : write_binary(stream, coords, connectM);
}

int STL_output(char const* name, dense2D<double> const& coords, dense2D<unsigned> const& connectM,
               bool ascii) {
  detail::scoped_file file(name, ascii ? "wt" : "wb");
  if (!file) return -1;
  return STL_output(file.get(), coords, connectM, ascii);
}

}  // namespace quernfold
}  // namespace ovk
