// NASTRAN bulk data: GRID records and element cards, read in small-field,
// large-field and free-field form, written as large-field GRID* records and
// free-field cards.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "io/shared/chunks.h"
#include "io/shared/element_runs.h"
#include "io/shared/families.h"
#include "io/shared/field_text.h"
#include "io/shared/files.h"
#include "io/shared/lines.h"
#include "quernfold/io.h"

namespace ovk {
namespace quernfold {

namespace {

// Field widths of a small-field line (ten fields once padded to 80
// characters) and of a large-field line.
constexpr std::size_t kSmallWidth = 8;
constexpr std::size_t kSmallLine = 80;
constexpr std::size_t kSmallFields = 10;
constexpr std::size_t kLargeWidths[] = {8, 16, 16, 16, 16, 8};
constexpr std::size_t kLargeFields = 6;
// Fields a GRID line must yield: 6 on the first line, 2 on a large-field
// continuation.
constexpr std::size_t kGridFields = 6;
constexpr std::size_t kGridContinuationFields = 2;
// A card line yielding fewer items than this ends the card.
constexpr std::size_t kMinItems = 3;
// Integers of a small-field card after which a line beginning with a blank
// continues it.
constexpr std::size_t kImplicitContinuation = 8;
// Fields on one written card line, the card name included.
constexpr int kFieldsPerLine = 9;

// ---------------------------------------------------------------------------
// Lines and fields
// ---------------------------------------------------------------------------

// Lines of the stream as a 256-character buffer reads them: at most 255
// characters, the line end ("\n", or "\r\n" in a CR LF file) kept as part
// of the line, so that it counts when the line is cut into fields; a longer
// line arrives in pieces. The stream is read line by line, so that it stays
// positioned after ENDDATA.
constexpr detail::line_rules kCardLines = {false, detail::kLineBuffer - 1, true, false, false};

// The whole deck held at once, as read on several threads (the lines are
// cut afterwards by held_source).
constexpr detail::line_rules kHeldLines = {true, detail::kAnyLength, true, false, false};

// The card lines as strings. The line just read can be handed back to be
// read again (the look-ahead of small-field continuations).
class line_source {
 public:
  explicit line_source(std::FILE* stream) : stream_(stream), lines_(stream) {}

  bool next(std::string& line) {
    if (!lines_.next()) return false;
    line.assign(lines_.begin(), lines_.end());
    before_ = {line_, ended_};
    if (ended_) ++line_;
    ended_ = !line.empty() && line.back() == '\n';
    return true;
  }

  void put_back() {
    lines_.put_back();
    line_ = before_.first;
    ended_ = before_.second;
  }

  // The number of the line last read (from 1; the pieces of a line longer
  // than the buffer count once).
  std::size_t line_number() const { return line_; }

  // Every next line belongs to the records read (see held_source).
  bool before(const char*) const { return true; }

  // A continuation line is read only while the stream is neither in error
  // nor at its end.
  bool can_continue() const {
    return lines_.has_unread() || (!std::feof(stream_) && !std::ferror(stream_));
  }

 private:
  std::FILE* stream_;
  detail::line_reader<kCardLines> lines_;
  // The line number and whether the last piece ended its line, now and
  // before the last line read (restored when it is handed back).
  std::size_t line_ = 0;
  bool ended_ = true;
  std::pair<std::size_t, bool> before_{0, true};
};

bool starts_with(const std::string& s, const char* prefix) {
  return s.compare(0, std::strlen(prefix), prefix) == 0;
}

bool contains(const std::string& s, const char* what) { return s.find(what) != std::string::npos; }

// A line with nothing before its line end.
bool is_empty_line(const std::string& line) {
  return line.empty() || line == "\n" || line == "\r\n";
}

// Cuts `line` into consecutive fields of the given widths, as many as the
// line reaches (the last one may be shorter).
std::vector<std::string> cut_fields(const std::string& line, const std::size_t* widths,
                                    std::size_t count) {
  std::vector<std::string> fields;
  std::size_t pos = 0;
  for (std::size_t k = 0; k < count && pos < line.size(); ++k) {
    fields.push_back(line.substr(pos, widths[k]));
    pos += widths[k];
  }
  return fields;
}

std::vector<std::string> small_fields(const std::string& line) {
  std::string padded = line;
  if (padded.size() < kSmallLine) padded.resize(kSmallLine, ' ');
  std::size_t widths[kSmallFields];
  for (std::size_t& w : widths) w = kSmallWidth;
  return cut_fields(padded, widths, kSmallFields);
}

std::vector<std::string> large_fields(const std::string& line) {
  return cut_fields(line, kLargeWidths, kLargeFields);
}

// A real of a fixed-width field: white space removed; a last sign that is
// neither the first character nor preceded by an exponent letter starts a
// decimal exponent ("1.5-3" is 1.5 x 10^-3); otherwise an ordinary number.
double field_real(const std::string& field) {
  std::string s;
  for (char c : field)
    if (!std::isspace(static_cast<unsigned char>(c))) s += c;
  const std::size_t sign = s.find_last_of("+-");
  if (sign != std::string::npos && sign != 0 && s[sign - 1] != 'E' && s[sign - 1] != 'e') {
    const double mantissa = std::strtod(s.substr(0, sign).c_str(), nullptr);
    const long exponent = std::strtol(s.c_str() + sign, nullptr, 10);
    return mantissa * std::pow(10.0, static_cast<double>(exponent));
  }
  return std::strtod(s.c_str(), nullptr);
}

// ---------------------------------------------------------------------------
// GRID records
// ---------------------------------------------------------------------------

struct grid_record {
  long id = 0;
  double xyz[3] = {0.0, 0.0, 0.0};
};

int parse_free_grid(const std::string& line, grid_record& g) {
  int id = 0, cp = 0, extra[4];
  double x = 0, y = 0, z = 0;
  int n = std::sscanf(line.c_str(), "GRID , %d , %d , %lf , %lf , %lf , %d , %d , %d , %d", &id,
                      &cp, &x, &y, &z, &extra[0], &extra[1], &extra[2], &extra[3]);
  if (n < 5) {
    n = std::sscanf(line.c_str(), "GRID , %d , , %lf , %lf , %lf , %d , %d , %d , %d ", &id, &x, &y,
                    &z, &extra[0], &extra[1], &extra[2], &extra[3]);
    if (n < 4) return -1;
  }
  g.id = id;
  g.xyz[0] = x;
  g.xyz[1] = y;
  g.xyz[2] = z;
  return 0;
}

int parse_small_grid(const std::string& line, grid_record& g) {
  const std::vector<std::string> f = small_fields(line);
  if (f.size() < kGridFields) return -1;
  g.id = detail::field_integer(f[1]);
  for (int k = 0; k < 3; ++k) g.xyz[k] = field_real(f[3 + k]);
  return 0;
}

template <class Source>
int parse_large_grid(const std::string& line, Source& src, grid_record& g) {
  const std::vector<std::string> first = large_fields(line);
  std::string next;
  if (!src.next(next)) next.clear();
  const std::vector<std::string> second = large_fields(next);
  if (first.size() < kGridFields || second.size() < kGridContinuationFields) return -1;
  g.id = detail::field_integer(first[1]);
  g.xyz[0] = field_real(first[3]);
  g.xyz[1] = field_real(first[4]);
  g.xyz[2] = field_real(second[1]);
  return 0;
}

template <class Source, class Out>
int read_grid(const std::string& line, Source& src, Out& out) {
  grid_record g;
  int code;
  if (starts_with(line, "GRID*"))
    code = parse_large_grid(line, src, g);
  else if (contains(line, ","))
    code = parse_free_grid(line, g);
  else
    code = parse_small_grid(line, g);
  if (code < 0) return code;
  if (g.id <= 0) return -1;
  if (!out.set_node(static_cast<unsigned long>(g.id), g.xyz[0], g.xyz[1], g.xyz[2]))
    return no_memory;
  return 0;
}

// ---------------------------------------------------------------------------
// Element cards
// ---------------------------------------------------------------------------

struct card_kind {
  const char* name;
  element_type type;
};

const card_kind kCardKinds[] = {
    {"BAR", ET_EDGE2},      {"BEAM", ET_EDGE2},      {"ROD", ET_EDGE2},     {"CBAR", ET_EDGE2},
    {"CBEAM", ET_EDGE2},    {"CROD", ET_EDGE2},      {"TRIA3", ET_TRIA3},   {"CTRIA", ET_TRIA3},
    {"CTRIA3", ET_TRIA3},   {"TRIA6", ET_TRIA6},     {"CTRIA6", ET_TRIA6},  {"QUAD4", ET_QUAD4},
    {"CQUAD", ET_QUAD4},    {"CQUAD4", ET_QUAD4},    {"QUAD8", ET_QUAD8},   {"CQUAD8", ET_QUAD8},
    {"TETRA", ET_TETRA4},   {"CTETRA", ET_TETRA4},   {"PYRA", ET_PYRAMID5}, {"PYRAM", ET_PYRAMID5},
    {"CPYRA", ET_PYRAMID5}, {"CPYRAM", ET_PYRAMID5}, {"PENTA", ET_WEDGE6},  {"CPENTA", ET_WEDGE6},
    {"HEXA", ET_HEXA8},     {"CHEXA", ET_HEXA8}};

// Cards of other writers for the kinds above (nastran_read_settings::
// card_variants).
const card_kind kVariantKinds[] = {
    {"CBUSH", ET_EDGE2},  {"CBUSH1D", ET_EDGE2}, {"CGAP", ET_EDGE2},  {"CTRIAR", ET_TRIA3},
    {"CQUADR", ET_QUAD4}, {"CSHEAR", ET_QUAD4},  {"CQUAD9", ET_QUAD9}};
// The trailing mark of the variant solid names ("CTETRA_"), and the
// prefixes of the cards beginning with 'C' that are not elements
// (coordinate systems, loads, masses, convection).
constexpr char kVariantMark = '_';
constexpr const char* kNotElements[] = {"CORD", "CLOAD", "CONM", "CONV"};

template <std::size_t N>
element_type kind_named(const card_kind (&table)[N], const std::string& name) {
  for (const card_kind& k : table)
    if (name == k.name) return k.type;
  return ET_UNKNOWN;
}

element_type card_type(const std::string& name) { return kind_named(kCardKinds, name); }

// card_type, and with `variants` the names of kVariantKinds and the names
// with a trailing kVariantMark.
element_type card_type(const std::string& name, bool variants) {
  const element_type type = card_type(name);
  if (!variants || type != ET_UNKNOWN) return type;
  if (!name.empty() && name.back() == kVariantMark)
    return card_type(name.substr(0, name.size() - 1));
  return kind_named(kVariantKinds, name);
}

// An element card by its name: 'C', and none of kNotElements.
bool is_element_card(const std::string& name) {
  if (name.empty() || name[0] != 'C') return false;
  for (const char* prefix : kNotElements)
    if (name.compare(0, std::strlen(prefix), prefix) == 0) return false;
  return true;
}

// The quadratic kind a card becomes when it lists that many nodes.
element_type raised_type(element_type base, std::size_t nodes) {
  if (base == ET_TETRA4 && nodes == 10) return ET_TETRA10;
  if (base == ET_PYRAMID5 && nodes == 13) return ET_PYRAMID13;
  if (base == ET_WEDGE6 && nodes == 15) return ET_WEDGE15;
  if (base == ET_HEXA8 && nodes == 20) return ET_HEXA20;
  return base;
}

// Node order between file and column. Reader: column position k takes file
// node read[k]. Writer: file node p is column position write[p]. Kinds not
// listed keep the file order.
struct node_order {
  element_type type;
  unsigned char read[15];
};

const node_order kReadOrders[] = {
    {ET_TRIA6, {0, 1, 2, 4, 5, 3}},
    {ET_TETRA4, {0, 2, 1, 3}},
    {ET_TETRA10, {0, 2, 1, 3, 5, 4, 6, 7, 9, 8}},
    {ET_WEDGE15, {0, 1, 2, 3, 4, 5, 9, 10, 11, 7, 8, 6, 13, 14, 12}},
};
constexpr unsigned char kHexa20Order[20] = {0,  1,  2,  3,  4,  5,  6,  7,  8,  9,
                                            10, 11, 16, 17, 18, 19, 12, 13, 14, 15};

unsigned read_position(element_type type, unsigned k) {
  if (type == ET_HEXA20) return kHexa20Order[k];
  for (const node_order& o : kReadOrders)
    if (o.type == type) return o.read[k];
  return k;
}

// Items of one physical card line: the integers it adds and whether the
// card goes on to the next line.
struct card_line {
  std::size_t items = 0;
  bool continues = false;
};

// The card name and the continuation marker are taken as they stand: a
// blank around the name, or before the "+" of a marker, makes them
// something else (an unknown card, an integer token).
card_line parse_free_card(const std::string& line, bool first, std::string& name,
                          std::vector<long>& ints) {
  const std::vector<std::string> tokens = detail::split_at_commas(line);
  card_line r;
  r.items = tokens.size();
  if (first) name = tokens[0];
  std::size_t end = tokens.size();
  const std::string& last = tokens.back();
  if (!last.empty() && (last[0] == '+' || last[0] == '*')) {
    r.continues = true;
    --end;
  }
  for (std::size_t k = 1; k < end; ++k) ints.push_back(detail::field_integer(tokens[k]));
  return r;
}

// Field of a card's first line that holds the property identifier.
constexpr std::size_t kPropertyField = 2;

bool is_blank(const std::string& field) {
  return field.find_first_not_of(" \t\r\n") == std::string::npos;
}

// Reads "%d" from the fields [from, to) one after the other, stopping at the
// first that fails; returns how many were read. With `blank_property`, a
// blank property field of a card's first line reads as 0.
std::size_t scan_integers(const std::vector<std::string>& f, std::size_t from, std::size_t to,
                          std::vector<long>& ints, bool blank_property = false) {
  std::size_t n = 0;
  for (std::size_t k = from; k < to && k < f.size(); ++k, ++n) {
    int v;
    if (blank_property && k == kPropertyField && is_blank(f[k]))
      v = 0;
    else if (std::sscanf(f[k].c_str(), "%d", &v) != 1)
      break;
    ints.push_back(v);
  }
  return n;
}

card_line parse_large_card(const std::string& line, bool first, std::string& name,
                           std::vector<long>& ints, const nastran_read_settings& settings) {
  const std::vector<std::string> f = large_fields(line);
  card_line r;
  if (first) name = f[0].substr(0, f[0].find('*'));
  r.continues =
      f[0].find('*', 1) != std::string::npos ||
      (f.size() == kLargeFields && !f[kLargeFields - 1].empty() && f[kLargeFields - 1][0] == '*');
  r.items = scan_integers(f, 1, kLargeFields - 1, ints, first && settings.blank_property_is_zero);
  return r;
}

template <class Source>
card_line parse_small_card(const std::string& line, bool first, std::string& name,
                           std::vector<long>& ints, Source& src,
                           const nastran_read_settings& settings) {
  const std::vector<std::string> f = small_fields(line);
  card_line r;
  if (first) name = f[0].substr(0, f[0].find(' '));
  r.items = scan_integers(f, 1, kSmallFields - 1, ints, first && settings.blank_property_is_zero);
  if (f[kSmallFields - 1][0] == '+') {
    r.continues = true;
  } else if (ints.size() == kImplicitContinuation && src.can_continue()) {
    std::string next;
    if (src.next(next)) {
      r.continues = !next.empty() && next[0] == ' ';
      src.put_back();
    }
  }
  return r;
}

constexpr const char kBlankProperty[] = "blank property field";
constexpr const char kUnknownCard[] = "element card not read";
constexpr const char kNodeCount[] = "node count of no element of the card (or more fields)";

// Counts one element card left out, by card name and reason.
void count_left_out(std::vector<left_out_records>* skipped, const std::string& name,
                    const char* why) {
  if (!skipped) return;
  for (left_out_records& r : *skipped)
    if (r.record == name && r.why == why) {
      ++r.count;
      return;
    }
  skipped->push_back({name, why, 1});
}

// What the reading of one deck takes beyond the stream: settings and the
// count of element cards left out (nullptr: not counted).
struct deck_reading {
  nastran_read_settings settings;
  std::vector<left_out_records>* skipped = nullptr;
  std::size_t* failed_line = nullptr;  // receives the line of a refused record
};

// Appends the card's element when its name is known and its node count fits.
template <class Out>
int store_card(const std::string& name, const std::vector<long>& ints, Out& out,
               const deck_reading& deck) {
  std::vector<left_out_records>* skipped = deck.skipped;
  const bool variants = deck.settings.card_variants;
  const element_type base = card_type(name, variants);
  if (base == ET_UNKNOWN) {
    if (variants && is_element_card(name)) out.left_out(skipped, name, kUnknownCard);
    return 0;
  }
  if (ints.size() < 2) {
    out.left_out(skipped, name, kBlankProperty);
    return 0;
  }
  // A line's end nodes may be followed by its orientation (a node or a
  // vector), which is not read.
  const std::size_t fields = ints.size() - 2, ends = nbr_nodes(ET_EDGE2);
  const std::size_t count = variants && base == ET_EDGE2 ? std::min(fields, ends) : fields;
  const element_type type = raised_type(base, count);
  if (count != nbr_nodes(type)) {
    out.left_out(skipped, name, kNodeCount);
    return 0;
  }
  unsigned nodes[20];
  for (unsigned k = 0; k < count; ++k)
    nodes[k] = static_cast<unsigned>(ints[2 + read_position(type, k)] - 1);
  if (!out.add_element(type, nodes, static_cast<unsigned>(count), static_cast<unsigned>(ints[1])))
    return no_memory;
  return 0;
}

template <class Source, class Out>
int read_card(const std::string& first_line, Source& src, Out& out, const deck_reading& deck) {
  std::string name, line = first_line;
  std::vector<long> ints;
  for (bool first = true;; first = false) {
    card_line r;
    if (contains(line, ","))
      r = parse_free_card(line, first, name, ints);
    else if (contains(line, "*"))
      r = parse_large_card(line, first, name, ints, deck.settings);
    else
      r = parse_small_card(line, first, name, ints, src, deck.settings);
    if (r.items < kMinItems) {
      if (first) return store_card(name, ints, out, deck);
      break;
    }
    if (!r.continues || !src.can_continue() || !src.next(line)) break;
  }
  return store_card(name, ints, out, deck);
}

// The outputs of the one-thread reading: a run_builder that also counts
// the cards left out.
struct deck_output : detail::run_builder {
  using run_builder::run_builder;
  void left_out(std::vector<left_out_records>* skipped, const std::string& name, const char* why) {
    count_left_out(skipped, name, why);
  }
};

// The records from the source's next line on, up to ENDDATA (`ended` then
// set), the end of the input or the first negative code, or for a held
// source up to the first record that would start at or past `end`.
template <class Source, class Out>
int read_records(Source& src, Out& out, const deck_reading& deck, bool& ended,
                 const char* end = nullptr) {
  std::string line;
  int code = 0;
  while (code == 0 && src.before(end) && src.next(line)) {
    if (contains(line, "ENDDATA")) {
      ended = true;
      break;
    }
    if (is_empty_line(line) || line[0] == '$' || contains(line, "BEGIN BULK")) continue;
    code = starts_with(line, "GRID") ? read_grid(line, src, out) : read_card(line, src, out, deck);
  }
  return code;
}

int read_core(std::FILE* stream, deck_output& out, const deck_reading& deck = {}) {
  if (!stream || std::ferror(stream)) return -1;
  if (!out.start()) return no_memory;
  line_source src(stream);
  bool ended = false;
  int code = read_records(src, out, deck, ended);
  if (code < 0 && deck.failed_line) *deck.failed_line = src.line_number();
  if (!out.finish() && code == 0) code = no_memory;
  return code;
}

// ---------------------------------------------------------------------------
// Decks on several threads
// ---------------------------------------------------------------------------

// The lines of a deck held whole from a given byte on, cut and numbered as
// line_source cuts and numbers them (pieces of at most kLineBuffer - 1
// bytes, each up to its first NUL byte).
class held_source {
 public:
  // `ended`: whether the piece before `at` ended its line.
  held_source(const char* at, const char* end, bool ended) : p_(at), end_(end), ended_(ended) {}

  bool next(std::string& line) {
    if (p_ == end_) return false;
    const std::size_t limit = std::min(static_cast<std::size_t>(end_ - p_), kCardLines.max_length);
    const void* nl = std::memchr(p_, '\n', limit);
    const std::size_t n =
        nl ? static_cast<std::size_t>(static_cast<const char*>(nl) - p_) + 1 : limit;
    line.assign(p_, std::find(p_, p_ + n, '\0'));
    before_ = {p_, line_, ended_};
    p_ += n;
    if (ended_) ++line_;
    ended_ = !line.empty() && line.back() == '\n';
    return true;
  }
  void put_back() { std::tie(p_, line_, ended_) = before_; }
  std::size_t line_number() const { return line_; }
  bool can_continue() const { return p_ != end_; }
  // Whether the next line starts before `end` (any line when null).
  bool before(const char* end) const { return !end || p_ < end; }
  const char* position() const { return p_; }
  bool line_ended() const { return ended_; }

 private:
  const char* p_;
  const char* end_;
  std::size_t line_ = 0;
  bool ended_;
  std::tuple<const char*, std::size_t, bool> before_{nullptr, 0, true};
};

// What one chunk of a deck read: its nodes, elements and cards left out in
// the order read, then how it stopped.
struct deck_chunk {
  const char *begin = nullptr, *end = nullptr, *stop = nullptr;
  std::vector<grid_record> nodes;
  std::vector<element_type> types;
  std::vector<unsigned> pids, node_lists;
  std::vector<std::pair<std::string, const char*>> left;
  int code = 0;
  bool ended = false;
  std::size_t lines = 0;  // lines read (to the failed one on a negative code)
  // Whether the piece before begin, and the last piece read, ended a line.
  bool line_before = true, line_after = true;

  bool set_node(unsigned long id, double x, double y, double z) {
    nodes.push_back({static_cast<long>(id), {x, y, z}});
    return true;
  }
  bool add_element(element_type type, const unsigned* n, unsigned count, unsigned pid) {
    types.push_back(type);
    pids.push_back(pid);
    node_lists.insert(node_lists.end(), n, n + count);
    return true;
  }
  void left_out(std::vector<left_out_records>*, const std::string& name, const char* why) {
    left.emplace_back(name, why);
  }

  // Reads the records that start in [begin, end) (the last may run past).
  void read(const char* text_end, const deck_reading& deck) {
    held_source src(begin, text_end, line_before);
    code = read_records(src, *this, deck, ended, end);
    stop = src.position();
    lines = src.line_number();
    line_after = src.line_ended();
  }

  // Hands what was read to `out` in order; no_memory or 0.
  int join(deck_output& out, std::vector<left_out_records>* skipped) const {
    for (const grid_record& g : nodes)
      if (!out.set_node(static_cast<unsigned long>(g.id), g.xyz[0], g.xyz[1], g.xyz[2]))
        return no_memory;
    for (std::size_t e = 0, at = 0; e < types.size(); at += nbr_nodes(types[e]), ++e)
      if (!out.add_element(types[e], node_lists.data() + at, nbr_nodes(types[e]), pids[e]))
        return no_memory;
    for (const auto& l : left) count_left_out(skipped, l.first, l.second);
    return 0;
  }
};

// A deck held whole, cut at line starts into one chunk per thread, each
// read apart; the chunks are taken in order while each ended where the
// next begins, and from the first that did not the rest is read on this
// thread, so that every output, code and line is that of one thread.
// Joins a chunk read after `lines` lines; its code (its failed line then
// set), no_memory or 0. `lines` grows by the chunk's.
int finish_chunk(const deck_chunk& chunk, std::size_t& lines, deck_output& out,
                 const deck_reading& deck) {
  if (int code = chunk.join(out, deck.skipped)) return code;
  if (chunk.code < 0 && deck.failed_line) *deck.failed_line = lines + chunk.lines;
  lines += chunk.lines;
  return chunk.code;
}

int read_held(const char* text, const char* end, unsigned threads, deck_output& out,
              const deck_reading& deck) {
  std::vector<deck_chunk> chunks(threads);
  for (unsigned c = 0; c < threads; ++c) {
    const char* at =
        c == 0 ? text : std::max(chunks[c - 1].begin, text + (end - text) / threads * c);
    while (at > text && at < end && at[-1] != '\n') ++at;
    chunks[c].begin = at;
    if (c > 0) chunks[c - 1].end = at;
  }
  chunks.back().end = end;
  detail::run_chunks(threads, threads, [&](std::size_t c) { chunks[c].read(end, deck); });
  std::size_t lines = 0;
  for (std::size_t c = 0; c < chunks.size(); ++c) {
    if (c > 0 && (chunks[c].begin != chunks[c - 1].stop || !chunks[c - 1].line_after)) {
      deck_chunk rest;  // read on from where the chunk before stopped
      rest.begin = chunks[c - 1].stop;
      rest.end = end;
      rest.line_before = chunks[c - 1].line_after;
      rest.read(end, deck);
      return finish_chunk(rest, lines, out, deck);
    }
    if (int code = finish_chunk(chunks[c], lines, out, deck)) return code;
    if (chunks[c].ended) return 0;
  }
  return 0;
}

int read_file_core(std::FILE* stream, unsigned threads, deck_output& out,
                   const deck_reading& deck) {
  if (threads <= 1) return read_core(stream, out, deck);
  if (!stream || std::ferror(stream)) return -1;
  if (!out.start()) return no_memory;
  detail::line_reader<kHeldLines> held(stream);
  if (!held.take_whole()) return no_memory;
  int code =
      std::ferror(stream) ? -1 : read_held(held.unread(), held.held_end(), threads, out, deck);
  if (!out.finish() && code == 0) code = no_memory;
  return code;
}

// ---------------------------------------------------------------------------
// Writer
// ---------------------------------------------------------------------------

using card_layout = detail::node_layout;

const card_layout kCardLayouts[] = {
    {ET_EDGE2, "CBAR", 2, {0, 1}},
    {ET_EDGE3, "CBAR", 2, {0, 1}},
    {ET_TRIA3, "CTRIA3", 3, {0, 1, 2}},
    {ET_QUAD4, "CQUAD4", 4, {0, 1, 2, 3}},
    {ET_TRIA6, "CTRIA6", 6, {0, 1, 2, 5, 3, 4}},
    {ET_QUAD8, "CQUAD8", 8, {0, 1, 2, 3, 4, 5, 6, 7}},
    {ET_QUAD9, "CQUAD8", 8, {0, 1, 2, 3, 4, 5, 6, 7}},
    {ET_TETRA4, "CTETRA", 4, {0, 2, 1, 3}},
    {ET_TETRA10, "CTETRA", 10, {0, 2, 1, 3, 5, 4, 6, 7, 9, 8}},
    {ET_PYRAMID5, "CPYRAM", 5, {0, 1, 2, 3, 4}},
    {ET_PYRAMID13, "CPYRAM", 13, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}},
    {ET_PYRAMID14, "CPYRAM", 13, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}},
    {ET_WEDGE6, "CPENTA", 6, {0, 1, 2, 3, 4, 5}},
    {ET_WEDGE15, "CPENTA", 15, {0, 1, 2, 3, 4, 5, 11, 9, 10, 6, 7, 8, 14, 12, 13}},
    {ET_WEDGE18, "CPENTA", 15, {0, 1, 2, 3, 4, 5, 11, 9, 10, 6, 7, 8, 14, 12, 13}},
    {ET_HEXA8, "CHEXA", 8, {0, 1, 2, 3, 4, 5, 6, 7}},
    {ET_HEXA20, "CHEXA", 20, {0,  1,  2,  3,  4,  5,  6,  7,  8,  9,
                              10, 11, 16, 17, 18, 19, 12, 13, 14, 15}},
    {ET_HEXA27, "CHEXA", 20, {0,  1,  2,  3,  4,  5,  6,  7,  8,  9,
                              10, 11, 16, 17, 18, 19, 12, 13, 14, 15}},
};

void write_header(std::FILE* f) {
  std::fputs("$ OVK Quernfold(R) NASTRAN exporter\n", f);
  std::fputs("BEGIN BULK\n", f);
  std::fputs("$----------------------------------------\n", f);
  std::fputs("$ Referenced Material Records -----------\n", f);
  std::fputs("$ Material Record :    ------------------\n", f);
  std::fputs("$ Description of Material :   -----------\n", f);
  std::fputs("MAT1    1       0.                 0.  0.\n", f);
  std::fputs("$----------------------------------------\n", f);
  std::fputs("$                GRID POINTS             \n", f);
  std::fputs("$----------------------------------------\n", f);
}

// Width of a large field.
constexpr int kLargeField = 16;

// A large-field real: "%16E", or with `exact` the text of the field's width
// that reads back closest to x (exact when it fits).
void large_real(std::FILE* f, double x, bool exact) {
  if (!exact) {
    std::fprintf(f, "%16E", x);
    return;
  }
  char text[detail::kMaxFieldText];
  double read_back;
  detail::format_in_field(text, x, kLargeField, read_back);
  std::fputs(text, f);
}

void write_grids(std::FILE* f, const dense2D<double>& coords, bool exact) {
  for (std::size_t j = 0; j < coords.cols(); ++j) {
    const double* c = coords.column(j);
    const double z = coords.rows() == 3 ? c[2] : 0.0;
    std::fprintf(f, "GRID*   %16d                ", static_cast<int>(j + 1));
    large_real(f, c[0], exact);
    large_real(f, c[1], exact);
    std::fputs("*C\n*C      ", f);
    large_real(f, z, exact);
    std::fputs("\n", f);
  }
}

void write_card(std::FILE* f, const card_layout& card, const unsigned* column, std::size_t j,
                unsigned pid) {
  std::fprintf(f, "%s,%d,%d", card.name, static_cast<int>(j + 1), static_cast<int>(pid));
  int fields = 3;
  for (unsigned k = 0; k < card.count; ++k) {
    if (fields == kFieldsPerLine) {
      std::fputs(",+C\n+C", f);
      fields = 1;
    }
    std::fprintf(f, ",%d", static_cast<int>(column[card.nodes[k]] + 1));
    ++fields;
  }
  std::fputs("\n", f);
}

void write_elements(std::FILE* f, const dense2D<unsigned>& connectM,
                    const dense1D<unsigned>& bounds, const dense1D<int>& types,
                    const dense1D<unsigned>& pids) {
  std::fputs("$----------------------------------------\n", f);
  std::fputs("$                 ELEMENTS               \n", f);
  std::fputs("$----------------------------------------\n", f);
  for (std::size_t k = 0; k < types.size(); ++k) {
    const element_type run_type = static_cast<element_type>(types[k]);
    for (std::size_t j = bounds[k]; j < bounds[k + 1]; ++j) {
      const card_layout* card =
          detail::find_kind(kCardLayouts, detail::run_element_shape(run_type, connectM, j));
      if (card) write_card(f, *card, connectM.column(j), j, pids[j]);
    }
  }
}

}  // namespace

// ---------------------------------------------------------------------------
// Reader
// ---------------------------------------------------------------------------

int NASTRAN_input(FILE* stream, dense2D<double>& coords, dense2D<unsigned>& connectM,
                  dense1D<unsigned>& bounds, dense1D<int>& types, dense1D<unsigned>& pids) {
  const detail::c_locale_scope c_numbers;
  deck_output out(coords, connectM, bounds, types, pids);
  return read_core(stream, out);
}

QUERNFOLD_READER_FORMS(NASTRAN_input, detail::kNastranReaderRules)

int NASTRAN_input(char const* name, dense2D<double>& coords, dense2D<unsigned>& connectM,
                  dense1D<unsigned>& bounds, dense1D<int>& types, dense1D<unsigned>& pids,
                  const nastran_read_settings& settings, std::vector<left_out_records>& skipped,
                  std::size_t& failed_line) {
  skipped.clear();
  failed_line = 0;
  const deck_reading deck{settings, &skipped, &failed_line};
  return detail::with_file(name, detail::kNastranReaderRules.mode, [&](std::FILE* f) {
    const detail::c_locale_scope c_numbers;
    deck_output out(coords, connectM, bounds, types, pids);
    return read_file_core(f, settings.threads, out, deck);
  });
}

// ---------------------------------------------------------------------------
// Writer
// ---------------------------------------------------------------------------

namespace {

int write_deck(FILE* stream, dense2D<double> const& coords, dense2D<unsigned> const& connectM,
               dense1D<unsigned> const& bounds, dense1D<int> const& types,
               dense1D<unsigned> const& pids, writer_settings const& settings) {
  const detail::c_locale_scope c_numbers;
  const int code = detail::check_run_writer(stream, coords, connectM, bounds, types, pids);
  if (code < 0) return code;
  write_header(stream);
  write_grids(stream, coords, settings.exact_coordinates);
  write_elements(stream, connectM, bounds, types, pids);
  std::fputs("ENDDATA\n", stream);
  return 0;
}

}  // namespace

int NASTRAN_output(FILE* stream, dense2D<double> const& coords, dense2D<unsigned> const& connectM,
                   dense1D<unsigned> const& bounds, dense1D<int> const& types,
                   dense1D<unsigned> const& pids) {
  return write_deck(stream, coords, connectM, bounds, types, pids, writer_settings());
}

QUERNFOLD_RUN_WRITER_FORMS(NASTRAN_output)

int NASTRAN_output(char const* name, dense2D<double> const& coords,
                   dense2D<unsigned> const& connectM, dense1D<unsigned> const& bounds,
                   dense1D<int> const& types, dense1D<unsigned> const& pids,
                   writer_settings const& settings) {
  return detail::with_file(name, detail::kRunWriterMode, [&](std::FILE* f) {
    return write_deck(f, coords, connectM, bounds, types, pids, settings);
  });
}

}  // namespace quernfold
}  // namespace ovk
