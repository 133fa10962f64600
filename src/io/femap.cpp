// FEMAP neutral files: the node block 403 and the element block 404.
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <string>
#include <vector>

#include "io/shared/element_runs.h"
#include "io/shared/families.h"
#include "io/shared/files.h"
#include "io/shared/lines.h"
#include "io/shared/number_text.h"
#include "io/shared/read_notes.h"
#include "quernfold/io.h"

namespace ovk {
namespace quernfold {

namespace {

// The short or invalid record code of the FEMAP reader.
constexpr int kBadRecord = -102;
// The line that closes a block.
const char* const kBlockEnd = "   -1";
// Fields needed on a node line (identifier .. Z), on the first line of an
// element record (identifier .. topology) and on a node-slot line.
constexpr std::size_t kNodeFields = 14;
constexpr std::size_t kElementFields = 5;
constexpr std::size_t kSlotFields = 10;
constexpr std::size_t kSlots = 20;
// Lines of an element record after its node-slot lines, and after the first
// line when its topology is not read.
constexpr int kRecordTail = 4;
constexpr int kUnreadRecord = 6;
constexpr char kTopologyNotRead[] = "topology not read";

// One element topology: its element_type, the element type code written on
// the first line, and the node slots: column position k holds slot slot[k]
// (the reader), and the writer puts column position k into slot slot[k].
struct topology {
  int code;
  element_type type;
  int type_code;
  unsigned char slot[kSlots];
};

const topology kTopologies[] = {
    {0, ET_EDGE2, 5, {0, 1}},
    {1, ET_EDGE3, 8, {0, 1, 2}},
    {2, ET_TRIA3, 17, {0, 1, 2}},
    {3, ET_TRIA6, 18, {0, 1, 2, 4, 5, 3}},
    {4, ET_QUAD4, 17, {0, 1, 2, 3}},
    {5, ET_QUAD8, 18, {0, 1, 2, 3, 4, 5, 6, 7}},
    {6, ET_TETRA4, 25, {1, 0, 2, 4}},
    {7, ET_WEDGE6, 25, {0, 1, 2, 4, 5, 6}},
    {8, ET_HEXA8, 25, {0, 1, 2, 3, 4, 5, 6, 7}},
    {9, ET_NODE, 10, {0}},
    {10, ET_TETRA10, 25, {0, 2, 1, 4, 9, 8, 10, 12, 14, 13}},
    {12, ET_HEXA20, 26, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19}},
};

const topology* topology_of_code(long code) {
  for (const topology& t : kTopologies)
    if (t.code == code) return &t;
  return nullptr;
}

// A real field; a Fortran "D" exponent marker reads as "E".
double field_real(std::string field) {
  std::replace(field.begin(), field.end(), 'D', 'E');
  std::replace(field.begin(), field.end(), 'd', 'e');
  return std::strtod(field.c_str(), nullptr);
}

// Lines as a 256-character buffer reads them (at most 255 characters), white
// space at their end dropped, the stream read line by line.
constexpr detail::line_rules kRecordLines = {false, detail::kLineBuffer - 1, true, true, false};
using record_lines = detail::line_reader<kRecordLines>;

bool next_line(record_lines& lines, std::string& line) {
  if (!lines.next()) return false;
  line.assign(lines.begin(), lines.end());
  return true;
}

void skip_lines(record_lines& lines, int n) {
  std::string line;
  for (int k = 0; k < n && next_line(lines, line); ++k) {
  }
}

std::string without_spaces(const std::string& line) {
  std::string s;
  for (char c : line)
    if (!std::isspace(static_cast<unsigned char>(c))) s += c;
  return s;
}

int read_node(const std::vector<std::string>& f, detail::run_builder& out) {
  if (f.size() < kNodeFields) return kBadRecord;
  const long id = detail::field_integer(f[0]);
  if (id <= 0) return kBadRecord;
  if (!out.set_node(static_cast<unsigned long>(id), field_real(f[11]), field_real(f[12]),
                    field_real(f[13])))
    return no_memory;
  return 0;
}

// With `notes`, elements of other topologies are counted there.
int read_element(const std::vector<std::string>& f, record_lines& lines, detail::run_builder& out,
                 detail::read_notes* notes) {
  if (f.size() < kElementFields) return kBadRecord;
  const long code = detail::field_integer(f[4]);
  const topology* topo = topology_of_code(code);
  if (!topo) {
    if (notes) notes->count("topology " + std::to_string(code) + " element", kTopologyNotRead);
    skip_lines(lines, kUnreadRecord);
    return 0;
  }
  long slots[kSlots];
  for (std::size_t half = 0; half < 2; ++half) {
    std::string line;
    if (!next_line(lines, line)) return kBadRecord;
    const std::vector<std::string> s = detail::split_at_commas(line);
    if (s.size() < kSlotFields) return kBadRecord;
    for (std::size_t k = 0; k < kSlotFields; ++k)
      slots[half * kSlotFields + k] = detail::field_integer(s[k]);
  }
  const unsigned n = nbr_nodes(topo->type);
  unsigned nodes[kSlots];
  for (unsigned k = 0; k < n; ++k) nodes[k] = static_cast<unsigned>(slots[topo->slot[k]] - 1);
  if (!out.add_element(topo->type, nodes, n, static_cast<unsigned>(detail::field_integer(f[1]))))
    return no_memory;
  skip_lines(lines, kRecordTail);
  return 0;
}

enum class block { none, nodes, elements };

// With `notes`, what is left out and the line of a bad record are noted.
int read_core(std::FILE* stream, detail::run_builder& out, detail::read_notes* notes = nullptr) {
  if (!stream) return -1;
  if (!out.start()) return no_memory;
  record_lines lines(stream);
  block in = block::none;
  std::string line;
  int code = 0;
  while (code == 0 && next_line(lines, line)) {
    if (in == block::none) {
      const std::string id = without_spaces(line);
      if (id == "403")
        in = block::nodes;
      else if (id == "404")
        in = block::elements;
      continue;
    }
    if (line == kBlockEnd) {
      in = block::none;
      continue;
    }
    const std::vector<std::string> fields = detail::split_at_commas(line);
    code = in == block::nodes ? read_node(fields, out) : read_element(fields, lines, out, notes);
  }
  if (code == kBadRecord && notes) notes->line_failed(lines.offset());
  if (!out.finish() && code == 0) code = no_memory;
  return code;
}

// ---------------------------------------------------------------------------
// Writer
// ---------------------------------------------------------------------------

void write_banner(std::FILE* f, const char* title) {
  std::fputs("*********************************\n", f);
  std::fputs(title, f);
  std::fputs("*********************************\n", f);
}

// Each node's record; with `exact` the coordinates in their shortest exact
// text, else "%lf" (6 decimals).
void write_nodes(std::FILE* f, const dense2D<double>& coords, bool exact) {
  write_banner(f, "*********** NODES ***************\n");
  std::fprintf(f, "%s\n%s\n", kBlockEnd, "403");
  char text[detail::kMaxNumberText];
  for (std::size_t j = 0; j < coords.cols(); ++j) {
    const double* c = coords.column(j);
    const int id = static_cast<int>(j + 1);
    if (!exact && coords.rows() == 3)
      std::fprintf(f, "%d,0,0,1,0,0,0,0,0,0,0,%lf,%lf,%lf,0,\n", id, c[0], c[1], c[2]);
    else if (!exact)
      std::fprintf(f, "%d,0,0,1,0,0,0,0,0,0,0,%lf,%lf,0.0,0,\n", id, c[0], c[1]);
    if (!exact) continue;
    std::fprintf(f, "%d,0,0,1,0,0,0,0,0,0,0,", id);
    for (std::size_t i = 0; i < 3; ++i) {
      *detail::format_shortest(text, i < coords.rows() ? c[i] : 0.0) = '\0';
      std::fprintf(f, "%s,", text);
    }
    std::fputs("0,\n", f);
  }
  std::fprintf(f, "%s\n", kBlockEnd);
}

void write_record(std::FILE* f, const topology& topo, const unsigned* column, std::size_t j,
                  unsigned pid) {
  std::fprintf(f, "%d,%d,1,%d,%d,1,0,0,0,0,0,0,0,\n", static_cast<int>(j + 1),
               static_cast<int>(pid), topo.type_code, topo.code);
  int slots[kSlots] = {0};
  for (unsigned k = 0; k < nbr_nodes(topo.type); ++k)
    slots[topo.slot[k]] = static_cast<int>(column[k] + 1);
  for (std::size_t half = 0; half < 2; ++half) {
    for (std::size_t k = 0; k < kSlotFields; ++k)
      std::fprintf(f, "%d,", slots[half * kSlotFields + k]);
    std::fputs("\n", f);
  }
  std::fputs("0.,0.,0.,0,0,0,0,0,0,\n", f);
  std::fputs("0.,0.,0.,\n", f);
  std::fputs("0.,0.,0.,\n", f);
  std::fputs("0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,\n", f);
}

void write_elements(std::FILE* f, const dense2D<unsigned>& connectM,
                    const dense1D<unsigned>& bounds, const dense1D<int>& types,
                    const dense1D<unsigned>& pids) {
  write_banner(f, "********* ELEMENTS **************\n");
  std::fprintf(f, "%s\n%s\n", kBlockEnd, "404");
  for (std::size_t k = 0; k < types.size(); ++k) {
    const element_type run_type = static_cast<element_type>(types[k]);
    for (std::size_t j = bounds[k]; j < bounds[k + 1]; ++j) {
      const topology* topo =
          detail::find_kind(kTopologies, detail::run_element_shape(run_type, connectM, j));
      if (topo) write_record(f, *topo, connectM.column(j), j, pids[j]);
    }
  }
  std::fprintf(f, "%s\n", kBlockEnd);
}

}  // namespace

// ---------------------------------------------------------------------------
// Reader
// ---------------------------------------------------------------------------

int FEMAP_input(FILE* stream, dense2D<double>& coords, dense2D<unsigned>& connectM,
                dense1D<unsigned>& bounds, dense1D<int>& types, dense1D<unsigned>& pids) {
  const detail::c_locale_scope c_numbers;
  detail::run_builder out(coords, connectM, bounds, types, pids);
  return read_core(stream, out);
}

QUERNFOLD_READER_FORMS(FEMAP_input, detail::kFemapReaderRules)

int detail::femap_input_noted(const char* name, dense2D<double>& coords,
                              dense2D<unsigned>& connectM, dense1D<unsigned>& bounds,
                              dense1D<int>& types, dense1D<unsigned>& refs, read_notes& notes) {
  return with_file(name, kFemapReaderRules.mode, [&](std::FILE* stream) {
    const c_locale_scope c_numbers;
    run_builder out(coords, connectM, bounds, types, refs);
    return read_core(stream, out, &notes);
  });
}

// ---------------------------------------------------------------------------
// Writer
// ---------------------------------------------------------------------------

namespace {

int write_neutral(FILE* stream, dense2D<double> const& coords, dense2D<unsigned> const& connectM,
                  dense1D<unsigned> const& bounds, dense1D<int> const& types,
                  dense1D<unsigned> const& pids, writer_settings const& settings) {
  const detail::c_locale_scope c_numbers;
  if (connectM.empty()) return 0;
  const int code = detail::check_run_writer(stream, coords, connectM, bounds, types, pids);
  if (code < 0) return code;
  write_nodes(stream, coords, settings.exact_coordinates);
  write_elements(stream, connectM, bounds, types, pids);
  return 0;
}

}  // namespace

int FEMAP_output(FILE* stream, dense2D<double> const& coords, dense2D<unsigned> const& connectM,
                 dense1D<unsigned> const& bounds, dense1D<int> const& types,
                 dense1D<unsigned> const& pids) {
  return write_neutral(stream, coords, connectM, bounds, types, pids, writer_settings());
}

QUERNFOLD_RUN_WRITER_FORMS(FEMAP_output)

int FEMAP_output(char const* name, dense2D<double> const& coords, dense2D<unsigned> const& connectM,
                 dense1D<unsigned> const& bounds, dense1D<int> const& types,
                 dense1D<unsigned> const& pids, writer_settings const& settings) {
  return detail::with_file(name, detail::kRunWriterMode, [&](std::FILE* f) {
    return write_neutral(f, coords, connectM, bounds, types, pids, settings);
  });
}

}  // namespace quernfold
}  // namespace ovk
