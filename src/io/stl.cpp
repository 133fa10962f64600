// STL triangle surfaces: text and little-endian binary form, read with the
// coincident vertices merged back into shared nodes.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <new>
#include <vector>

#include "common/point3.h"
#include "common/point_table.h"
#include "io/shared/chunks.h"
#include "io/shared/columns.h"
#include "io/shared/files.h"
#include "io/shared/lines.h"
#include "io/shared/mapped_file.h"
#include "io/shared/number_text.h"
#include "io/shared/read_notes.h"
#include "quernfold/search.h"

namespace ovk {
namespace quernfold {

namespace {

constexpr int kNotStl = -2;
constexpr int kBadRecord = -3;
// Codes from -1 to the merge's allocation code are text failures after which
// the binary form is tried.
constexpr int kLastTextFailure = merge_no_memory;

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

// The squared height of a triangle at one vertex P: the squared distance of
// P to the line through its two neighbours, with the nearer neighbour (the
// following one on a tie) as the line's origin A and the other as B, from
// d = B - A and w = P - A. Every vector involved is an edge of the triangle,
// taken one way or the other; reversing a vector negates its components
// exactly, and with them the cross product's, so each edge and its squared
// length are computed once. `to_next` is next - P, `to_prev` prev - P and
// `across` prev - next, with their squared lengths.
double squared_height(const point3& to_next, double next2, const point3& to_prev, double prev2,
                      const point3& across, double across2) {
  // A = next: w = -to_next, d = across; A = prev: w = -to_prev, d = -across.
  const double wd = norm2(cross(next2 <= prev2 ? to_next : to_prev, across));
  return across2 == 0.0 ? wd : wd / across2;
}

// Smallest squared height of the triangle (v[0], v[1], v[2]).
double triangle_height2(const point3* v) {
  const point3 e0 = v[1] - v[0], e1 = v[2] - v[1], e2 = v[0] - v[2];
  const double l0 = norm2(e0), l1 = norm2(e1), l2 = norm2(e2);
  const point3 r0 = {-e0.x, -e0.y, -e0.z}, r1 = {-e1.x, -e1.y, -e1.z}, r2 = {-e2.x, -e2.y, -e2.z};
  double h = squared_height(e0, l0, r2, l2, e1, l1);
  h = std::min(h, squared_height(e1, l1, r0, l0, e2, l2));
  return std::min(h, squared_height(e2, l2, r1, l1, e0, l0));
}

// ---------------------------------------------------------------------------
// The soup, merged exactly block by block as it is read
// ---------------------------------------------------------------------------

// The distinct finite points of one block of the soup, by node.
class block_points {
 public:
  explicit block_points(const detail::column_writer<double>& coords) : coords_(coords) {}

  // Empties the table for a block whose nodes start at `first`. False when
  // memory cannot be had.
  bool reset(std::size_t first) {
    first_ = first;
    return table_.reset(kFirstPoints);
  }

  // The node of the block at the point x of hash h (non-zero), or
  // point_table::kNone, in which case add() takes the node stored for x
  // next.
  std::uint32_t find(std::uint32_t h, const double* x) {
    const std::uint32_t found = table_.find(h, [&](std::uint32_t position) {
      const double* q = coords_.column(first_ + position);
      return x[0] == q[0] && x[1] == q[1] && x[2] == q[2];
    });
    return found == detail::point_table::kNone ? found : static_cast<std::uint32_t>(first_ + found);
  }

  // Enters `node`, which holds the point of the last find() that found
  // none. False when the table cannot grow.
  bool add(std::size_t node) { return table_.add(static_cast<std::uint32_t>(node - first_)); }

 private:
  static constexpr std::size_t kFirstPoints = std::size_t(1) << 15;

  const detail::column_writer<double>& coords_;
  detail::point_table table_;
  std::size_t first_ = 0;
};

// The triangles read so far, as nodes and a 3 x triangles connectivity,
// and their smallest positive squared height.
//
// The merge step merges nothing when no triangle has a positive height, and
// otherwise starts with every block of kMergeBlock triangles merged exactly
// (each vertex to the first vertex of the block at the same finite point).
// So until the first triangle of positive height every vertex is a node of
// its own; that triangle re-enters the ones before it, and from then on a
// vertex becomes a new node only when its block holds no node at its point.
// The nodes come in the order of the vertices that lead them, which is all
// that the merges after this one see of the numbering.
class soup {
 public:
  static constexpr unsigned kNone = detail::point_table::kNone;

  soup(dense2D<double>& coords, dense2D<unsigned>& connectM)
      : coords_(coords, 3), connect_(connectM, 3), points_(coords_) {}

  bool add_triangle(const point3* v) {
    const double h = triangle_height2(v);
    if (h > 0.0 && (!has_height_ || h < min_height2_)) {
      if (!has_height_ && !start_merging()) return false;
      min_height2_ = h;
      has_height_ = true;
    }
    return add_nodes(v);
  }

  // Room for n triangles in all.
  bool reserve(std::size_t triangles) { return connect_.reserve(triangles); }
  bool has_height() const { return has_height_; }
  double min_height2() const { return min_height2_; }
  // Whether a block's table could not be had (the exact merge failed).
  bool merge_failed() const { return merge_failed_; }
  // Cuts both matrices to what was read.
  bool finish() { return coords_.finish() && connect_.finish(); }

 private:
  bool add_nodes(const point3* v) {
    if (has_height_ && triangles_ % kMergeBlock == 0 && !merge_failed_ &&
        !points_.reset(coords_.size()))
      merge_failed_ = true;
    unsigned* column = connect_.append();
    if (!column) return false;
    for (int k = 0; k < 3; ++k) {
      const unsigned node = node_at(v[k]);
      if (node == kNone) return false;
      column[k] = node;
    }
    ++triangles_;
    return true;
  }

  // The node for a vertex at p; kNone when storage cannot be had.
  unsigned node_at(const point3& p) {
    const double x[3] = {p.x, p.y, p.z};
    // Hash 0: a point that never merges.
    const std::uint32_t h = has_height_ && !merge_failed_ ? detail::point_table::hash(x, 3) : 0;
    const bool merges = h != 0;
    if (merges) {
      const unsigned found = points_.find(h, x);
      if (found != kNone) return found;
    }
    double* column = coords_.append();
    if (!column) return kNone;
    std::copy(x, x + 3, column);
    const std::size_t node = coords_.size() - 1;
    if (merges && !points_.add(node)) merge_failed_ = true;
    return static_cast<unsigned>(node);
  }

  // Enters the triangles read so far again, now merging.
  bool start_merging() {
    has_height_ = true;
    const std::size_t before = triangles_;
    dense2D<double> plain;
    if (before > 0 && !plain.copy(coords_.matrix().sub_matrix(0, 0, 3, 3 * before))) return false;
    coords_.restart();
    connect_.restart();
    triangles_ = 0;
    for (std::size_t t = 0; t < before; ++t) {
      point3 v[3];
      for (int k = 0; k < 3; ++k) {
        const double* c = plain.column(3 * t + k);
        v[k] = {c[0], c[1], c[2]};
      }
      if (!add_nodes(v)) return false;
    }
    return true;
  }

  detail::column_writer<double> coords_;
  detail::column_writer<unsigned> connect_;
  block_points points_;
  std::size_t triangles_ = 0;
  double min_height2_ = 0.0;
  bool has_height_ = false;
  bool merge_failed_ = false;
};

// ---------------------------------------------------------------------------
// Merging the soup into a mesh
// ---------------------------------------------------------------------------

// Codes of the range-form merge past this one are one lower than those of
// the one-matrix form.
constexpr int kLastSharedMergeCode = -2;

// The one-matrix merge on `threads` threads: the same map, matrix and codes
// as the one-matrix form (the range form's codes below -2 raised by one).
int merge_matrix(dense2D<double>& coords, dense2D<unsigned>& connectM, dense1D<unsigned>& map,
                 double tol, unsigned threads) {
  if (threads <= 1) return merge(coords, connectM, map, tol, 0);
  const int code = merge(coords, &connectM, &connectM + 1, map, tol, 0, threads);
  return code < kLastSharedMergeCode ? code + 1 : code;
}

// The merge step after the exact block merges, which the soup has made:
// all nodes within kHeightFraction of the smallest height (on `threads`
// threads), then degenerate triangles and unused nodes removed.
template <class Soup>
int merge_soup(dense2D<double>& coords, dense2D<unsigned>& connectM, const Soup& s,
               unsigned threads) {
  if (connectM.cols() == 0 && !connectM.resize(3, 0)) return no_memory;  // 3 x 0, not 0 x 0
  if (!s.has_height()) return 0;
  if (s.merge_failed()) return merge_no_memory;
  const double tol = kHeightFraction * std::sqrt(s.min_height2());
  dense1D<unsigned> map;
  int code = merge_matrix(coords, connectM, map, tol, threads);
  if (code >= 0) code = remove_degenerated(connectM, map, true);
  if (code >= 0) code = simplify(coords, connectM, map, 0);
  return code < 0 ? code : 0;
}

// Ends a reader: the soup read so far is merged (on `threads` threads) when
// reading succeeded; on any failure both outputs are emptied.
template <class Soup>
int close_soup(int code, Soup& s, dense2D<double>& coords, dense2D<unsigned>& connectM,
               unsigned threads = 1) {
  if (!s.finish() && code == 0) code = no_memory;
  if (code == 0) code = merge_soup(coords, connectM, s, threads);
  if (code < 0) {
    coords.clear();
    connectM.clear();
  }
  return code;
}

// ---------------------------------------------------------------------------
// Text form
// ---------------------------------------------------------------------------

// The lines of a text file as fgets gives them (at most kLineBuffer - 1
// characters, the newline kept), lower-cased, taken from a large block of
// the file instead of one call per line.
constexpr detail::line_rules kTextLines = {true, detail::kLineBuffer - 1, true, false, true};
using text_lines = detail::line_reader<kTextLines>;

// Whether the line holds `word` anywhere, as strstr finds it; a line that
// starts with it after white space needs no search.
template <class Lines>
bool has(const Lines& in, const char* word) {
  return detail::scan_word(in.begin(), word) || std::strstr(in.begin(), word) != nullptr;
}

// Where scanf's " <words> %lg %lg %lg" stops on the line once it has taken
// all three values, or nullptr when it does not take them all.
const char* scan_three(const char* line, std::initializer_list<const char*> words, double* v) {
  const char* p = line;
  for (const char* w : words)
    if (!(p = detail::scan_word(p, w))) return nullptr;
  for (int k = 0; k < 3; ++k)
    if (!(p = detail::scan_lg(p, v[k]))) return nullptr;
  return p;
}

template <class Lines>
bool read_vertex(Lines& in, point3& v) {
  double xyz[3];
  if (!in.next() || !scan_three(in.begin(), {"vertex"}, xyz)) return false;
  v = {xyz[0], xyz[1], xyz[2]};
  return true;
}

// The rest of a facet once its "facet normal" line has been read, handed
// to `s` (add_triangle(const point3*), false on allocation failure).
template <class Lines, class Soup>
int read_facet_body(Lines& in, Soup& s) {
  if (!in.next() || !has(in, "outer loop")) return kBadRecord;
  point3 v[3];
  for (point3& p : v)
    if (!read_vertex(in, p)) return kBadRecord;
  if (!in.next() || !has(in, "endloop")) return kBadRecord;
  if (!in.next() || !has(in, "endfacet")) return kBadRecord;
  return s.add_triangle(v) ? 0 : no_memory;
}

bool is_facet_line(const text_lines& in) {
  double n[3];
  return scan_three(in.begin(), {"facet", "normal"}, n) != nullptr;
}

// A facet line with only white space after its three numbers. Such a line
// holds neither "color" nor "endsolid": no text that scanf takes for a
// number has an "o" in it, and the words and white space between make
// neither of them.
template <class Lines>
bool is_plain_facet_line(const Lines& in) {
  double n[3];
  const char* p = scan_three(in.begin(), {"facet", "normal"}, n);
  if (!p) return false;
  while (detail::is_c_space(*p)) ++p;
  return *p == '\0';
}

// Facets up to the last "endsolid"; further solids continue the mesh.
template <class Soup>
int read_text_facets(text_lines& in, Soup& s) {
  for (;;) {
    if (!in.next()) return kBadRecord;
    if (!is_plain_facet_line(in)) {  // the common line, for which the tests below all fail
      if (has(in, "color")) continue;
      if (has(in, "endsolid")) {
        if (!in.next()) return 0;
        if (has(in, "solid")) continue;
      }
      if (!is_facet_line(in)) return kBadRecord;
    }
    const int code = read_facet_body(in, s);
    if (code < 0) return code;
  }
}

// ---------------------------------------------------------------------------
// Text form on several threads
// ---------------------------------------------------------------------------

// The first byte of the 16 bytes of `lanes` (each 0 or 0xFF, one at least
// 0xFF) that is set, in memory order.
std::size_t first_set_lane(const std::uint64_t* lanes) {
  constexpr unsigned kLaneBits = 8;
  constexpr std::size_t kHalf = sizeof lanes[0];  // lanes in each word
#if __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  const auto in = [](std::uint64_t word) { return unsigned(__builtin_clzll(word)) / kLaneBits; };
#else
  const auto in = [](std::uint64_t word) { return unsigned(__builtin_ctzll(word)) / kLaneBits; };
#endif
  return lanes[0] ? in(lanes[0]) : kHalf + in(lanes[1]);
}

// Copies the bytes of [from, from + limit) to `to` up to and with the
// first '\n' (all of them when there is none: `newline` false), letters A
// to Z lower-cased when the lines are; returns how many were copied. Bytes
// of `to` past the line's end, below `limit`, may be written too. Steps of
// kCopyStep bytes are taken at once, so that a line is read only once.
std::size_t copy_line(char* to, const char* from, std::size_t limit, bool& newline) {
  constexpr std::size_t kCopyStep = 16;
  typedef signed char bytes16 __attribute__((vector_size(kCopyStep)));
  constexpr signed char kCaseBit = kTextLines.lower_case ? 'a' - 'A' : 0;
  newline = true;
  std::size_t i = 0;
  for (; i + kCopyStep <= limit; i += kCopyStep) {
    bytes16 w;
    std::memcpy(&w, from + i, kCopyStep);
    const bytes16 lowered = w | (((w >= 'A') & (w <= 'Z')) & kCaseBit);
    std::memcpy(to + i, &lowered, kCopyStep);
    const bytes16 ends = w == '\n';
    std::uint64_t halves[2];
    std::memcpy(halves, &ends, sizeof halves);
    if (halves[0] | halves[1]) return i + first_set_lane(halves) + 1;
  }
  for (; i < limit; ++i) {
    const char c = from[i];
    to[i] = kCaseBit && c >= 'A' && c <= 'Z' ? static_cast<char>(c + kCaseBit) : c;
    if (c == '\n') return i + 1;
  }
  newline = false;
  return limit;
}

// The lines held in memory from a given byte on, cut (and lower-cased) as
// text_lines cuts them, each copied with a NUL after it; a last line without its line end
// is handed out only when the input has ended.
class held_lines {
 public:
  held_lines(const char* at, const char* end, bool ended) : p_(at), end_(end), ended_(ended) {}
  bool next() {
    const std::size_t visible = static_cast<std::size_t>(end_ - p_);
    const std::size_t limit = std::min(visible, kTextLines.max_length);
    bool newline;
    const std::size_t n = copy_line(line_, p_, limit, newline);
    if (!newline && (visible == 0 || (visible < kTextLines.max_length && !ended_))) return false;
    line_[n] = '\0';
    p_ += n;
    return true;
  }
  const char* begin() const { return line_; }
  const char* position() const { return p_; }

 private:
  const char* p_;
  const char* end_;
  bool ended_;
  static_assert(kTextLines.max_length < detail::kLineBuffer + 1, "a longest line and its NUL fit");
  char line_[detail::kLineBuffer + 1] = {};
};

// Keeps in `least` the smallest positive squared height h2 met (0 while
// none is).
void note_height(double& least, double h2) {
  if (h2 > 0.0 && (least == 0.0 || h2 < least)) least = h2;
}

// Facets as their vertices, 3 per triangle in file order (what
// read_facet_body hands to a soup), and their smallest positive squared
// height, taken while the vertices are at hand.
struct facet_vertices {
  std::vector<point3> vertices;
  double least = 0.0;
  bool add_triangle(const point3* v) {
    note_height(least, triangle_height2(v));
    vertices.insert(vertices.end(), v, v + 3);
    return true;
  }
};

// The facets of one chunk: the vertices of the plain facets from its first
// byte on, and where they stop (the chunk's end when they fill it).
struct facet_chunk : facet_vertices {
  const char *begin = nullptr, *end = nullptr, *stop = nullptr;
};

// A chunk's vertices are given room for its bytes read at the length of
// its first facet, and this fraction more (1/16), so that they seldom move.
constexpr std::size_t kRoomSlackShift = 4;

// Room for the vertices of a chunk whose first facet took `first_bytes`.
void reserve_like_first(facet_chunk& chunk, std::size_t first_bytes) {
  const std::size_t facets = static_cast<std::size_t>(chunk.end - chunk.begin) / first_bytes + 1;
  chunk.vertices.reserve(3 * (facets + (facets >> kRoomSlackShift)));
}

// Whether the line just read is one that the one-thread loop passes over
// between facets: a colour line, or a solid's end when the next line (then
// read too) starts the next solid.
bool pass_between(held_lines& in) {
  if (has(in, "color")) return true;
  return has(in, "endsolid") && in.next() && has(in, "solid");
}

// Plain facets (a plain facet line and its body), and the lines between
// them that pass_between() takes, from chunk.begin until a facet starts at
// or past chunk.end, or a line is anything else.
void read_chunk(facet_chunk& chunk, const char* text_end, bool ended) {
  held_lines in(chunk.begin, text_end, ended);
  for (;;) {
    chunk.stop = in.position();
    if (chunk.stop >= chunk.end || !in.next()) return;
    if (is_plain_facet_line(in) ? read_facet_body(in, chunk) != 0 : !pass_between(in)) return;
    if (chunk.vertices.size() == 3)
      reserve_like_first(chunk, static_cast<std::size_t>(in.position() - chunk.begin));
  }
}

// The first line at or after `at` that starts with "facet" (after white
// space), looked for over a few lines; `at`'s line when there is none.
const char* facet_start(const char* text, const char* at, const char* end, bool ended) {
  constexpr int kLinesLooked = 16;
  while (at > text && at < end && at[-1] != '\n') ++at;
  held_lines line(at, end, ended);
  for (int k = 0; k < kLinesLooked; ++k) {
    const char* start = line.position();
    if (!line.next()) break;
    if (detail::scan_word(line.begin(), "facet")) return start;
  }
  return at;
}

// The soup of the facets read on several threads: the same nodes and
// triangles as `soup` gives, made once every facet is read. The vertices
// stay in the parts they were read into (never joined into one array).
// Each block of kMergeBlock triangles is merged exactly on one thread (its
// nodes counted first, then numbered after those of the blocks before it).
class threaded_soup {
 public:
  explicit threaded_soup(unsigned threads) : threads_(threads) {}

  bool has_height() const { return min_height2_ > 0.0; }
  double min_height2() const { return min_height2_; }
  bool merge_failed() const { return merge_failed_; }
  bool finish() const { return true; }

  // Takes the facets of a chunk (whole triangles) as the next part.
  void take(facet_vertices& facets) {
    if (facets.vertices.empty()) return;
    note_height(min_height2_, facets.least);
    parts_.emplace_back().swap(facets.vertices);
    tail_ = nullptr;
  }

  // A triangle read on the calling thread, after the parts taken so far.
  bool add_triangle(const point3* v) {
    note_height(min_height2_, triangle_height2(v));
    if (!tail_) tail_ = &parts_.emplace_back();
    tail_->insert(tail_->end(), v, v + 3);
    return true;
  }

  // The nodes (3 x nodes) and triangles (3 x triangles) of the vertices;
  // the parts are emptied.
  bool build(dense2D<double>& coords, dense2D<unsigned>& connectM) {
    count_parts();
    const std::size_t triangles = first_.back() / 3;
    const bool built = triangles == 0 || (connectM.resize(3, triangles) &&
                                          (has_height() ? merge_blocks(coords, connectM.data())
                                                        : keep_vertices(coords, connectM.data())));
    release_parts();
    return built;
  }

 private:
  static void put(dense2D<double>& coords, std::size_t j, const point3& p) {
    double* c = coords.column(j);
    c[0] = p.x, c[1] = p.y, c[2] = p.z;
  }

  // first_[p]: the vertex that part p starts at (first_.back(): all).
  void count_parts() {
    first_.assign(parts_.size() + 1, 0);
    for (std::size_t p = 0; p < parts_.size(); ++p) first_[p + 1] = first_[p] + parts_[p].size();
  }

  // Calls f(i, vertices, n) for the runs [i, i + n) of [first, last) that
  // lie in one part (`vertices`: vertex i), in order.
  template <class F>
  void each_run(std::size_t first, std::size_t last, const F& f) const {
    std::size_t p = static_cast<std::size_t>(std::upper_bound(first_.begin(), first_.end(), first) -
                                             first_.begin()) -
                    1;
    for (std::size_t i = first; i < last; i = first_[++p]) {
      const std::size_t stop = std::min(last, first_[p + 1]);
      if (stop > i) f(i, parts_[p].data() + (i - first_[p]), stop - i);
    }
  }

  // Without a height nothing merges: vertex i is node i.
  bool keep_vertices(dense2D<double>& coords, unsigned* connect) const {
    if (!coords.resize(3, first_.back())) return false;
    detail::run_chunks(threads_, parts_.size(), [&](std::size_t p) {
      for (std::size_t i = first_[p]; i < first_[p + 1]; ++i) {
        connect[i] = static_cast<unsigned>(i);
        put(coords, i, parts_[p][i - first_[p]]);
      }
    });
    return true;
  }

  // Every block merged exactly on the threads, a range of blocks per
  // thread, then its nodes numbered after those of the blocks before it.
  bool merge_blocks(dense2D<double>& coords, unsigned* connect) {
    const std::size_t blocks = (first_.back() / 3 + kMergeBlock - 1) / kMergeBlock;
    std::vector<std::size_t> first(blocks + 1, 0);  // nodes per block, then where they start
    std::vector<char> failed(blocks, 0);
    const std::size_t ranges = detail::range_parts(threads_, blocks);
    detail::run_chunks(threads_, ranges, [&](std::size_t range) {
      std::size_t b, last;
      detail::split_range(blocks, range, ranges, b, last);
      block_merge merge;
      for (; b < last; ++b) {
        failed[b] = !merge_block(b, merge, connect);
        first[b + 1] = merge.leaders.size();
      }
    });
    merge_failed_ = std::find(failed.begin(), failed.end(), 1) != failed.end();
    for (std::size_t b = 0; b < blocks; ++b) first[b + 1] += first[b];
    if (!coords.resize(3, first[blocks])) return false;
    detail::run_chunks(threads_, blocks,
                       [&](std::size_t b) { number_block(b, first[b], coords, connect); });
    return true;
  }

  // What merging a block needs, kept from block to block of a thread: the
  // table of the block's points, and the vertex that leads each node of
  // the block.
  struct block_merge {
    detail::point_table table;
    std::vector<const point3*> leaders;
  };

  // The hashes are taken this many vertices ahead, and the table slots
  // where their searches start fetched, so that a search seldom waits on
  // memory.
  static constexpr std::size_t kAhead = 8;

  // Block b merged exactly: each vertex to the first of the block at its
  // finite point; merge.leaders the vertex of each node of the block, the
  // block's columns of `connect` the nodes as numbered in the block. False
  // when the table cannot be had (the rest of the block is not merged).
  // The table starts as large as the last block's grew (its size changes
  // no node).
  bool merge_block(std::size_t b, block_merge& merge, unsigned* connect) const {
    bool merging = merge.table.reset(std::max(kFirstBlockPoints, merge.leaders.size()));
    merge.leaders.clear();
    const std::size_t last = std::min(first_.back(), 3 * kMergeBlock * (b + 1));
    each_run(3 * kMergeBlock * b, last, [&](std::size_t first, const point3* v, std::size_t n) {
      std::uint32_t ahead[kAhead];
      for (std::size_t k = 0; k < std::min(n, kAhead); ++k) ahead[k] = hash_of(v[k]);
      for (std::size_t k = 0; k < n; ++k) {
        const std::uint32_t h = merging ? ahead[k % kAhead] : 0;
        if (merging && k + kAhead < n) {
          ahead[k % kAhead] = hash_of(v[k + kAhead]);
          __builtin_prefetch(merge.table.home_address(ahead[k % kAhead]));
        }
        connect[first + k] = node_at(merge, h, v + k, merging);
      }
    });
    return merging;
  }

  // Block b's nodes numbered from `first` on, and their coordinates put
  // there: a block's nodes come in the order of the vertices that lead
  // them, so vertex i leads the node numbered as the nodes met before it.
  void number_block(std::size_t b, std::size_t first, dense2D<double>& coords,
                    unsigned* connect) const {
    std::size_t met = 0;
    const std::size_t last = std::min(first_.back(), 3 * kMergeBlock * (b + 1));
    each_run(3 * kMergeBlock * b, last, [&](std::size_t i, const point3* v, std::size_t n) {
      for (std::size_t k = 0; k < n; ++k) {
        if (connect[i + k] == met) put(coords, first + met++, v[k]);
        connect[i + k] += static_cast<unsigned>(first);
      }
    });
  }

  static std::uint32_t hash_of(const point3& v) {
    const double x[3] = {v.x, v.y, v.z};
    return detail::point_table::hash(x, 3);
  }

  // The block's node at *v, of hash h (0: *v merges with nothing); a new
  // one, after those of merge.leaders, when none is at its point. `merging`
  // turns false when the table cannot grow.
  static std::uint32_t node_at(block_merge& merge, std::uint32_t h, const point3* v,
                               bool& merging) {
    std::uint32_t node = h ? merge.table.find(h,
                                              [&](std::uint32_t position) {
                                                const point3& q = *merge.leaders[position];
                                                return v->x == q.x && v->y == q.y && v->z == q.z;
                                              })
                           : detail::point_table::kNone;
    if (node == detail::point_table::kNone) {
      node = static_cast<std::uint32_t>(merge.leaders.size());
      merge.leaders.push_back(v);
      if (h && !merge.table.add(node)) merging = false;
    }
    return node;
  }

  // The parts' memory handed back on the threads, each by the thread that
  // takes it.
  void release_parts() {
    detail::run_chunks(threads_, parts_.size(),
                       [&](std::size_t p) { std::vector<point3>().swap(parts_[p]); });
    parts_.clear();
    tail_ = nullptr;
  }

  // Room of a block's table before it grows (as the one-thread soup's).
  static constexpr std::size_t kFirstBlockPoints = std::size_t(1) << 15;

  unsigned threads_;
  std::vector<std::vector<point3>> parts_;
  std::vector<point3>* tail_ = nullptr;  // the part add_triangle() fills
  std::vector<std::size_t> first_;
  bool merge_failed_ = false;
  double min_height2_ = 0.0;  // over the triangles taken (a minimum does not depend on their order)
};

// The plain facets of the text [text, end) (`ended`: the input ends at
// `end`), split into `count` chunks at facet lines: each chunk is read
// apart, then the soup takes the facets in file order as long as each chunk
// ends where the next begins. Returns the first facet not taken.
const char* read_facets(const char* text, const char* end, bool ended, std::size_t count,
                        threaded_soup& s, unsigned threads) {
  const std::size_t size = static_cast<std::size_t>(end - text);
  std::vector<facet_chunk> chunks(count);
  for (std::size_t c = 0; c < count; ++c) {
    chunks[c].begin = c == 0 ? text : facet_start(text, text + size / count * c, end, ended);
    if (c > 0) chunks[c].begin = std::max(chunks[c].begin, chunks[c - 1].begin);
    if (c > 0) chunks[c - 1].end = chunks[c].begin;
  }
  chunks.back().end = end;
  detail::run_chunks(threads, chunks.size(),
                     [&](std::size_t c) { read_chunk(chunks[c], end, ended); });
  const char* resume = text;
  for (facet_chunk& chunk : chunks) {
    s.take(chunk);
    resume = chunk.stop;
    if (chunk.stop != chunk.end) break;
  }
  return resume;
}

// The facets in the reader's window, one chunk per thread. True when facets
// were taken; the reader is left at the first facet not taken.
bool read_chunks(text_lines& in, threaded_soup& s, unsigned threads) {
  const char* text = in.unread();
  const char* resume = read_facets(text, in.held_end(), in.ended(), threads, s, threads);
  in.skip_to(resume);
  return resume != text;
}

// The facets of the rest of the file mapped into memory, all of it cut into
// kChunksPerThread chunks per thread (so that reading the file, in page
// faults, and parsing it spread over the threads; a thread that starts late
// still finds chunks left). False when the file cannot be mapped (a pipe);
// else the reader is left at the first facet not taken.
bool read_mapped(std::FILE* stream, text_lines& in, threaded_soup& s, unsigned threads) {
  const char* text = in.unread();
  const long position = std::ftell(stream);
  const std::size_t held = static_cast<std::size_t>(in.held_end() - text);
  if (position < 0 || static_cast<std::size_t>(position) < held) return false;
  const detail::mapped_file file(stream, static_cast<std::size_t>(position) - held);
  if (!file.data()) return false;
  const std::size_t count = std::size_t(threads) * detail::kChunksPerThread;
  const char* resume = read_facets(file.data(), file.data() + file.size(), true, count, s, threads);
  in.skip(static_cast<std::size_t>(resume - file.data()));
  return true;
}

// The facets on several threads (from the mapped file, or a window at a
// time) while whole facets come, with the colour lines and the ends and
// starts of solids between them; from the first other line (a malformed
// facet, a last end) the one-thread loop reads on, so every outcome is that
// of one thread.
int read_text_facets(std::FILE* stream, text_lines& in, threaded_soup& s, unsigned threads) {
  if (!read_mapped(stream, in, s, threads)) {
    while (read_chunks(in, s, threads) && in.read_on()) {
    }
  }
  return read_text_facets(in, s);
}

// With `notes`, the line of a malformed facet is noted there.
int read_text(std::FILE* stream, dense2D<double>& coords, dense2D<unsigned>& connectM,
              detail::read_notes* notes = nullptr, unsigned threads = 1) {
  coords.clear();
  connectM.clear();
  text_lines in(stream);
  if (!in.ready()) return no_memory;
  if (!in.next() || !has(in, "solid")) return kNotStl;
  int code;
  if (threads == 1) {
    soup s(coords, connectM);
    code = read_text_facets(in, s);
    if (code == kBadRecord && notes) notes->line_failed(in.offset());
    return close_soup(code, s, coords, connectM);
  }
  threaded_soup s(threads);
  code = read_text_facets(stream, in, s, threads);
  if (code == kBadRecord && notes) notes->line_failed(in.offset());
  if (code == 0 && !s.build(coords, connectM)) code = no_memory;
  return close_soup(code, s, coords, connectM, threads);
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

// How many whole records the rest of the stream holds, when its end can be
// found (a file, not a pipe); 0 otherwise. The stream is left where it was.
std::size_t records_left(std::FILE* stream) {
  const long here = std::ftell(stream);
  if (here < 0 || std::fseek(stream, 0, SEEK_END) != 0) return 0;
  const long end = std::ftell(stream);
  if (std::fseek(stream, here, SEEK_SET) != 0 || end < here) return 0;
  return static_cast<std::size_t>(end - here) / kTriangleBytes;
}

// The records come in blocks of kBlockTriangles; a short block ends the
// reading with kBadRecord once its whole records are stored. The vertex
// storage is sized once for the records the file really holds, never for
// the declared count alone.
int read_binary_triangles(std::FILE* stream, std::int32_t count, soup& s) {
  const std::unique_ptr<unsigned char[]> block(
      new (std::nothrow) unsigned char[kBlockTriangles * kTriangleBytes]);
  if (!block) return no_memory;
  if (count > 0 && !s.reserve(std::min<std::size_t>(std::size_t(count), records_left(stream))))
    return no_memory;
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
  soup s(coords, connectM);
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
  detail::read_notes notes;
  return detail::stl_input_noted(name, coords, connectM, notes);
}

// The text form first; a file that the text form refuses is read in the
// binary form, and the line the text form noted stays only when that fails
// too.
int detail::stl_input_noted(const char* name, dense2D<double>& coords, dense2D<unsigned>& connectM,
                            read_notes& notes, unsigned threads) {
  const detail::c_locale_scope c_numbers;
  coords.clear();
  connectM.clear();
  int code = -1;
  {
    detail::scoped_file text(name, "rt");
    if (text) {
      code = read_text(text.get(), coords, connectM, &notes, threads);
      if (!text_failed(code)) return code;
    }
  }
  detail::scoped_file binary(name, "rb");
  if (!binary) return code;
  const int binary_code = read_binary(binary.get(), coords, connectM);
  if (binary_code == 0) notes.placed = false;
  return binary_code;
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
