// Wavefront OBJ: vertices, texture coordinates, normals and triangle and
// quadrangle faces, through standard file streams in text mode.
#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iomanip>
#include <iterator>
#include <locale>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "io/shared/chunks.h"
#include "io/shared/columns.h"
#include "io/shared/files.h"
#include "io/shared/lines.h"
#include "io/shared/number_text.h"
#include "io/shared/read_notes.h"
#include "quernfold/io.h"

namespace ovk {
namespace quernfold {

namespace {

constexpr int kMalformed = -2;
// Numbers a "v" line needs at least, a "vn" line exactly; a "vt" line has
// fewer than kMaxTexture.
constexpr std::size_t kVertexValues = 3;
constexpr std::size_t kNormalValues = 3;
constexpr std::size_t kMaxTexture = 4;
// Statements of geometry that is not read (points, lines, free-form
// curves and surfaces), and why they and faces of other corner counts are
// left out.
constexpr const char* kGeometryNotRead[] = {"p", "l", "curv", "curv2", "surf"};
constexpr char kStatementNotRead[] = "statement not read";
constexpr char kCornerCount[] = "only faces of 3 or 4 corners are read";
// Digits after the decimal point of written numbers.
constexpr int kDigits = 8;

// Numbers kept of a "v", "vn" or "vt" line (a "v" line uses the first
// three; the others are valid with at most this many).
constexpr std::size_t kKeptValues = 4;
// Corners kept of a face (triangles and quadrangles are stored).
constexpr std::size_t kKeptCorners = 4;
// The lines of a file as getline gives them (split at '\n', which is
// dropped; a last line without one counts when it is not empty), of any
// length, taken from blocks read in one call.
constexpr detail::line_rules kObjLines = {true, detail::kAnyLength, false, false, false};

bool is_blank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

// The next blank-separated word of [p, end) as `stream >> word` takes it;
// false (p at end) when only blanks are left.
bool next_word(const char*& p, const char* end, const char*& word, const char*& word_end) {
  while (p != end && is_blank(*p)) ++p;
  if (p == end) return false;
  word = p;
  while (p != end && !is_blank(*p)) ++p;
  word_end = p;
  return true;
}

bool is_word(const char* word, const char* word_end, const char* key) {
  const std::size_t n = std::strlen(key);
  return std::size_t(word_end - word) == n && std::memcmp(word, key, n) == 0;
}

// The numbers read from p by stream extraction until one fails: their
// count, the first kKeptValues of them in `values`.
std::size_t numbers(const char* p, const char* end, double* values) {
  std::size_t count = 0;
  for (;;) {
    double v;
    bool ok;
    p = detail::extract_double(p, end, v, ok);
    if (!ok) return count;
    if (count < kKeptValues) values[count] = v;
    ++count;
  }
}

// strtol in base 10 of [p, end), which holds no blank: an optional sign
// and digits, clamped to the range of long. Returns the end of the digits,
// or p when there is none.
const char* decimal_long(const char* p, const char* end, long& value) {
  const char* q = p;
  const bool minus = q != end && *q == '-';
  if (q != end && (*q == '-' || *q == '+')) ++q;
  const char* const digits = q;
  const unsigned long limit =
      minus ? 0 - static_cast<unsigned long>(LONG_MIN) : static_cast<unsigned long>(LONG_MAX);
  unsigned long magnitude = 0;
  bool over = false;
  for (; q != end && is_digit(*q); ++q) {
    const unsigned d = unsigned(*q - '0');
    if (magnitude > (limit - d) / 10)
      over = true;
    else
      magnitude = magnitude * 10 + d;
  }
  if (q == digits) return p;
  if (over) magnitude = limit;
  value = minus ? static_cast<long>(0 - magnitude) : static_cast<long>(magnitude);
  return q;
}

// One face as read: the first kKeptCorners vertex indices, the corner
// count, whether texture or normal indices appear, whether a corner word
// was malformed (or named vertex 0), and the lowest negative vertex index
// (0 when none), which must not reach before the first vertex.
struct face_corners {
  long vertex[kKeptCorners];
  std::size_t count = 0;
  long lowest = 0;
  bool texture = false, normal = false, malformed = false;
};

// One line as read, before anything that depends on the lines before it:
// its key, the numbers of a v, vn or vt line (their count, the first
// kKeptValues of them) and the corners of an f line.
struct obj_line {
  enum key_t : unsigned char { kOther, kVertex, kNormal, kTexture, kFace } key = kOther;
  std::size_t count = 0;
  double values[kKeptValues];
  face_corners face;
  int statement = -1;      // of another line: its kGeometryNotRead entry, or -1
  std::uint64_t next = 0;  // the offset of the byte after the line
};

// One face vertex word: a, a/b, a//c, a/b/c, a/b/ or a//. The word is
// every character up to the blank, a NUL byte included: after a number,
// anything but "/" or the end of the word makes the word malformed.
void add_corner(const char* p, const char* end_of_word, face_corners& face) {
  for (int part = 0; part < 3; ++part) {
    const bool present = p != end_of_word && *p != '/';
    if (part == 0 && !present) {
      face.malformed = true;
      return;
    }
    if (present) {
      long v;
      const char* end = decimal_long(p, end_of_word, v);
      if (end == p) {
        face.malformed = true;
        return;
      }
      if (part == 0 && face.count < kKeptCorners) face.vertex[face.count] = v;
      if (part == 0 && v == 0) face.malformed = true;
      if (part == 0) face.lowest = std::min(face.lowest, v);
      face.texture = face.texture || part == 1;
      face.normal = face.normal || part == 2;
      p = end;
    }
    if (p == end_of_word) break;
    if (*p != '/' || part == 2) {
      face.malformed = true;
      return;
    }
    ++p;
  }
  ++face.count;
}

// The line [p, end) (its line end dropped), which ends before offset
// `next` of the input.
obj_line parse_line(const char* p, const char* end, std::uint64_t next) {
  obj_line line;
  line.next = next;
  const char *word, *word_end;
  if (!next_word(p, end, word, word_end)) return line;
  if (is_word(word, word_end, "f")) {
    line.key = obj_line::kFace;
    while (!line.face.malformed && next_word(p, end, word, word_end))
      add_corner(word, word_end, line.face);
    return line;
  }
  if (is_word(word, word_end, "v"))
    line.key = obj_line::kVertex;
  else if (is_word(word, word_end, "vn"))
    line.key = obj_line::kNormal;
  else if (is_word(word, word_end, "vt"))
    line.key = obj_line::kTexture;
  for (int k = 0; line.key == obj_line::kOther && k < int(std::size(kGeometryNotRead)); ++k)
    if (is_word(word, word_end, kGeometryNotRead[k])) line.statement = k;
  if (line.key != obj_line::kOther) line.count = numbers(p, end, line.values);
  return line;
}

// Bytes of held text parsed per thread and round.
constexpr std::size_t kRoundBytes = std::size_t(1) << 20;

// The first line start at or after `at` in [text, end].
const char* line_start(const char* text, const char* at, const char* end) {
  while (at > text && at < end && at[-1] != '\n') ++at;
  return at;
}

// The lines of [text, end) (whole lines) parsed on `threads` threads in
// parts.size() chunks of whole lines, each chunk's lines in order into its
// own list (emptied first).
void parse_chunks(const char* text, const char* end, std::uint64_t offset, unsigned threads,
                  std::vector<std::vector<obj_line>>& parts) {
  const std::size_t chunks = parts.size();
  std::vector<const char*> cut(chunks + 1, end);
  cut[0] = text;
  for (std::size_t c = 1; c < chunks; ++c)
    cut[c] = line_start(text, std::max(cut[c - 1], text + (end - text) / chunks * c), end);
  detail::run_chunks(threads, chunks, [&](std::size_t c) {
    parts[c].clear();
    for (const char* p = cut[c]; p < cut[c + 1];) {
      const void* nl = std::memchr(p, '\n', static_cast<std::size_t>(cut[c + 1] - p));
      const char* line_end = nl ? static_cast<const char*>(nl) : cut[c + 1];
      const char* after = nl ? line_end + 1 : line_end;
      parts[c].push_back(
          parse_line(p, line_end, offset + static_cast<std::uint64_t>(after - text)));
      p = after;
    }
  });
}

class obj_reader {
 public:
  // With `notes`, the statements left out and the line of a malformed one
  // are noted there.
  obj_reader(dense2D<double>& coords, dense2D<double>& uv, dense2D<double>& normals,
             dense2D<unsigned>& tria, dense2D<unsigned>& quad, detail::read_notes* notes)
      : coords_(coords, 3),
        uv_(uv, 0),
        normals_(normals, 3),
        tria_(tria, 3),
        quad_(quad, 4),
        notes_(notes) {}

  // Reads up to the end or the first error; what was read stays. With
  // threads > 1 the whole file is held and its lines parsed in chunks, then
  // taken in order as one thread takes them.
  int read(std::FILE* stream, unsigned threads) {
    const int code = read_lines(stream, threads);
    const bool cut =
        coords_.finish() && uv_.finish() && normals_.finish() && tria_.finish() && quad_.finish();
    return cut || code < 0 ? code : no_memory;
  }

 private:
  int read_lines(std::FILE* stream, unsigned threads) {
    detail::line_reader<kObjLines> lines(stream);
    if (threads > 1) return lines.take_whole() ? read_held(lines, threads) : no_memory;
    while (lines.next())
      if (int code = take(parse_line(lines.begin(), lines.end(), lines.offset()))) return code;
    return lines.error();
  }

  // The held text a round at a time: its lines parsed in chunks, then
  // taken in order.
  int read_held(detail::line_reader<kObjLines>& lines, unsigned threads) {
    const char *text = lines.unread(), *end = lines.held_end();
    const std::uint64_t offset = lines.offset();
    std::vector<std::vector<obj_line>> parts(detail::kChunksPerThread * threads);
    for (const char* at = text; at < end;) {
      const std::size_t left = static_cast<std::size_t>(end - at);
      const char* stop = line_start(text, at + std::min(left, kRoundBytes * threads), end);
      parse_chunks(at, stop, offset + static_cast<std::uint64_t>(at - text), threads, parts);
      for (const std::vector<obj_line>& part : parts)
        for (const obj_line& line : part)
          if (int code = take(line)) return code;
      at = stop;
    }
    return 0;
  }

  // A line taken after those before it; the place of a malformed one is
  // noted.
  int take(const obj_line& line) {
    const int code = take_line(line);
    if (code == kMalformed && notes_) notes_->line_failed(line.next);
    return code;
  }

  int take_line(const obj_line& line) {
    switch (line.key) {
      case obj_line::kVertex:
        if (line.count < kVertexValues) return kMalformed;
        return coords_.append(line.values) ? 0 : no_memory;
      case obj_line::kNormal:
        if (line.count != kNormalValues) return kMalformed;
        seen_normals_ = true;
        return normals_.append(line.values) ? 0 : no_memory;
      case obj_line::kTexture:
        return take_texture(line);
      case obj_line::kFace:
        return take_face(line.face);
      default:
        if (notes_ && line.statement >= 0)
          notes_->count(kGeometryNotRead[line.statement], kStatementNotRead);
        return 0;
    }
  }

  // The first "vt" line fixes the row count of uv; lines of another count
  // (and lines without numbers) are dropped.
  int take_texture(const obj_line& line) {
    const std::size_t n = line.count;
    if (n >= kMaxTexture) return kMalformed;
    seen_texture_ = true;
    if (n == 0) return 0;
    if (uv_.rows() == 0 && !uv_.raise_rows(n, 0.0)) return no_memory;
    if (n != uv_.rows()) return 0;
    return uv_.append(line.values) ? 0 : no_memory;
  }

  // Vertex index k of the file as a column: k - 1 for k > 0, counted back
  // from the last vertex read for k < 0 (0 and indices before the first
  // vertex are refused by take_face).
  unsigned vertex_column(long k) const {
    return static_cast<unsigned>(k > 0 ? k - 1 : static_cast<long>(coords_.size()) + k);
  }

  // A malformed word, texture or normal indices without such lines before,
  // and vertex indices out of range all make the face malformed; faces of
  // other than 3 or 4 corners are dropped.
  int take_face(const face_corners& face) {
    if (face.malformed || static_cast<long>(coords_.size()) + face.lowest < 0) return kMalformed;
    if ((face.texture && !seen_texture_) || (face.normal && !seen_normals_)) return kMalformed;
    const std::size_t n = face.count;
    if (n != 3 && n != 4) {
      if (notes_) notes_->count("f with " + std::to_string(n) + " corners", kCornerCount);
      return 0;
    }
    unsigned cols[kKeptCorners];
    for (std::size_t i = 0; i < n; ++i) cols[i] = vertex_column(face.vertex[i]);
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
  detail::read_notes* notes_;
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

// Each column as a `key` line of `rows` numbers (missing rows 0), through
// the stream's own conversion or, when `exact`, the shortest exact text.
void write_rows(std::ostream& out, const char* key, const dense2D<double>& M, std::size_t rows,
                bool exact) {
  char text[detail::kMaxNumberText];
  for (std::size_t j = 0; j < M.cols(); ++j) {
    out << key;
    for (std::size_t i = 0; i < rows; ++i) {
      const double x = i < M.rows() ? M(i, j) : 0.0;
      if (exact)
        out.write(text, detail::format_shortest(text, x) - text);
      else
        out << x;
      out << " ";
    }
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
  detail::read_notes notes;
  return detail::obj_input_noted(name, coords, uv, normals, connectM_tria, connectM_quad, notes);
}

int detail::obj_input_noted(const char* name, dense2D<double>& coords, dense2D<double>& uv,
                            dense2D<double>& normals, dense2D<unsigned>& connectM_tria,
                            dense2D<unsigned>& connectM_quad, read_notes& notes, unsigned threads) {
  const detail::c_locale_scope c_numbers;
  coords.clear();
  uv.clear();
  normals.clear();
  connectM_tria.clear();
  connectM_quad.clear();
  if (!name) return -1;
  detail::scoped_file in(name, "r");
  if (!in) return -1;
  obj_reader reader(coords, uv, normals, connectM_tria, connectM_quad, &notes);
  return reader.read(in.get(), threads);
}

int WavefrontOBJ_output(char const* name, dense2D<double> const& coords, dense2D<double> const& uv,
                        dense2D<double> const& normals, dense2D<unsigned> const& connectM_tria,
                        dense2D<unsigned> const& connectM_quad) {
  return WavefrontOBJ_output(name, coords, uv, normals, connectM_tria, connectM_quad,
                             writer_settings());
}

int WavefrontOBJ_output(char const* name, dense2D<double> const& coords, dense2D<double> const& uv,
                        dense2D<double> const& normals, dense2D<unsigned> const& connectM_tria,
                        dense2D<unsigned> const& connectM_quad, writer_settings const& settings) {
  const detail::c_locale_scope c_numbers;
  const bool exact = settings.exact_coordinates;
  if (!name) return -1;
  std::ofstream out(name);
  if (!out) return -1;
  const int code = check_obj_output(coords, uv, normals, connectM_tria, connectM_quad);
  if (code < 0) return code;
  out.imbue(std::locale::classic());
  out << std::scientific << std::setprecision(kDigits);
  write_rows(out, " v ", coords, 3, exact);
  if (!uv.empty()) write_rows(out, " vt ", uv, 2, exact);
  if (!normals.empty()) write_rows(out, " vn ", normals, 3, exact);
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
