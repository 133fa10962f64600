#include "io/io_common.h"

#include <algorithm>
#include <cerrno>

#include "quernfold/topology.h"

namespace ovk {
namespace quernfold {
namespace detail {

int open_file(std::FILE** stream, const char* name, const char* mode) noexcept {
  if (!stream) return EINVAL;
  *stream = nullptr;
  if (!name || !mode) return EINVAL;
  errno = 0;
  std::FILE* f = std::fopen(name, mode);
  if (!f) return errno ? errno : EINVAL;
  *stream = f;
  return 0;
}

std::vector<std::string> split_at_commas(const std::string& line) {
  std::vector<std::string> pieces;
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = line.find(',', start);
    pieces.push_back(line.substr(start, comma == std::string::npos ? comma : comma - start));
    if (comma == std::string::npos) return pieces;
    start = comma + 1;
  }
}

std::size_t next_power_of_two(std::size_t n) noexcept {
  std::size_t p = 1;
  while (p < n && p <= static_cast<std::size_t>(-1) / 2) p *= 2;
  return p < n ? n : p;
}

int check_range(const dense2D<double>& coords, const dense2D<unsigned>* first,
                const dense2D<unsigned>* last, const dense1D<int>& types, unsigned bound,
                std::size_t min_rows, std::size_t max_rows) noexcept {
  if (coords.rows() < min_rows || coords.rows() > max_rows) return -2;
  if (first > last) return -4;
  const std::size_t n = static_cast<std::size_t>(last - first);
  if (n != types.size()) return -5;
  for (std::size_t i = 0; i < n; ++i) {
    if (!is_element_type(types[i])) return -3;
    if (!check_IDs(first[i], static_cast<element_type>(types[i]), bound)) return -3;
  }
  return 0;
}

namespace {

// The linear shape of a group of `count` used nodes in a mixed matrix;
// ET_UNKNOWN for counts that name no shape of that kind.
element_type group_shape(element_type mixed, unsigned count) noexcept {
  if (mixed == ET_FACE_MIX) {
    if (count == 3) return ET_TRIA3;
    if (count == 4) return ET_QUAD4;
    return ET_UNKNOWN;
  }
  switch (count) {
    case 4:
      return ET_TETRA4;
    case 5:
      return ET_PYRAMID5;
    case 6:
      return ET_WEDGE6;
    case 8:
      return ET_HEXA8;
    default:
      return ET_UNKNOWN;
  }
}

// Groups a copy of a mixed matrix by node count and appends one piece per
// group of a known shape, each as tall as its node count.
int split_one(const dense2D<unsigned>& connectM, element_type mixed, unsigned source,
              std::vector<mesh_part>& parts) {
  dense2D<unsigned> grouped;
  dense1D<unsigned> group_nodes, group_ends, new_indices;
  if (!grouped.copy(connectM)) return no_memory;
  const int code = sort_elfes(grouped, group_nodes, group_ends, new_indices);
  if (code < 0) return code;
  std::size_t begin = 0;
  for (std::size_t g = 0; g < group_nodes.size(); ++g) {
    const std::size_t end = group_ends[g];
    const element_type shape = group_shape(mixed, group_nodes[g]);
    if (shape != ET_UNKNOWN && end > begin)
      parts.push_back({grouped.sub_matrix(0, begin, group_nodes[g], end - begin), shape, source});
    begin = end;
  }
  return 0;
}

}  // namespace

int split_mixed(const dense2D<unsigned>* first, const dense2D<unsigned>* last,
                const dense1D<int>& types, std::vector<mesh_part>& parts) {
  parts.clear();
  for (std::size_t i = 0; first + i < last; ++i) {
    const dense2D<unsigned>& M = first[i];
    if (M.empty()) continue;
    const element_type type = static_cast<element_type>(types[i]);
    const unsigned source = static_cast<unsigned>(i);
    if (type != ET_FACE_MIX && type != ET_SOLID_MIX) {
      parts.push_back({M, type, source});
      continue;
    }
    const int code = split_one(M, type, source, parts);
    if (code < 0) return code;
  }
  return 0;
}

int write_one(range_writer write, const char* name, const dense2D<double>& coords,
              const dense2D<unsigned>& connectM, element_type type) {
  dense1D<int> types;
  if (!types.resize(1, type)) return no_memory;
  return write(name, coords, &connectM, &connectM + 1, types);
}

int write_two(range_writer write, const char* name, const dense2D<double>& coords,
              const dense2D<unsigned>& connectM1, const dense2D<unsigned>& connectM2,
              element_type type1, element_type type2) {
  const dense2D<unsigned> mats[2] = {connectM1, connectM2};
  dense1D<int> types;
  if (!types.resize(2)) return no_memory;
  types[0] = type1;
  types[1] = type2;
  return write(name, coords, mats, mats + 2, types);
}

bool node_columns::set(std::size_t col, double x, double y, double z) noexcept {
  if (col >= M_.cols()) {
    // Fresh zero-filled storage; only the columns already stored move over.
    dense2D<double> grown;
    if (col == static_cast<std::size_t>(-1) ||
        !grown.resize(kRows, next_power_of_two(std::max<std::size_t>(col + 1, 4)), 0.0))
      return false;
    for (std::size_t k = 0; k < stored_.size(); ++k)
      std::copy(M_.column(stored_[k]), M_.column(stored_[k]) + kRows, grown.column(stored_[k]));
    M_ = grown;
  }
  if (!stored_.push_back(col)) return false;
  double* c = M_.column(col);
  c[0] = x;
  c[1] = y;
  c[2] = z;
  used_ = std::max(used_, col + 1);
  return true;
}

// ---------------------------------------------------------------------------
// Element runs
// ---------------------------------------------------------------------------

element_runs::element_runs(dense2D<unsigned>& connectM, dense1D<unsigned>& bounds,
                           dense1D<int>& types, dense1D<unsigned>& numbers) noexcept
    : connect_(connectM),
      elements_(connectM, 0),
      bounds_(bounds),
      types_(types),
      numbers_(numbers) {}

void element_runs::clear() noexcept {
  connect_.clear();
  bounds_.clear();
  types_.clear();
  numbers_.clear();
}

bool element_runs::start() noexcept {
  clear();
  return bounds_.push_back(0);
}

bool element_runs::add(element_type type, const unsigned* nodes, unsigned n,
                       unsigned number) noexcept {
  // A taller element: every column already stored gets unused slots.
  if (!elements_.raise_rows(n, no_index)) return false;
  const std::size_t col = elements_.size();
  if (!elements_.extend(col + 1, no_index)) return false;
  std::copy(nodes, nodes + n, elements_.column(col));
  if (!numbers_.push_back(number)) return false;
  if (types_.empty() || types_[types_.size() - 1] != type) {
    if (!types_.push_back(type)) return false;
    if (col > 0 && !bounds_.push_back(static_cast<unsigned>(col))) return false;
  }
  return true;
}

bool element_runs::finish() noexcept {
  const bool cut = elements_.finish();
  return bounds_.push_back(static_cast<unsigned>(elements_.size())) && cut;
}

run_builder::run_builder(dense2D<double>& coords, dense2D<unsigned>& connectM,
                         dense1D<unsigned>& bounds, dense1D<int>& types,
                         dense1D<unsigned>& pids) noexcept
    : coords_(coords), nodes_(coords), elements_(connectM, bounds, types, pids) {}

bool run_builder::start() noexcept {
  coords_.clear();
  return elements_.start();
}

bool run_builder::set_node(unsigned long id, double x, double y, double z) noexcept {
  return nodes_.set(id - 1, x, y, z);
}

bool run_builder::finish() noexcept {
  const bool cut = nodes_.finish();
  return elements_.finish() && cut;
}

namespace {

bool is_face_kind(int t) noexcept { return t == ET_FACE_MIX || t == ET_TRIA3 || t == ET_QUAD4; }
bool is_linear_solid(int t) noexcept {
  return t == ET_TETRA4 || t == ET_PYRAMID5 || t == ET_WEDGE6 || t == ET_HEXA8;
}

}  // namespace

void widen_runs(const dense1D<int>& types, element_type& type) noexcept {
  if (types.empty()) return;
  int c = types[0];
  for (std::size_t k = 1; k < types.size(); ++k) {
    const int t = types[k];
    if (t == c) continue;
    if (is_face_kind(c) && (t == ET_TRIA3 || t == ET_QUAD4)) {
      c = ET_FACE_MIX;
    } else if ((c == ET_SOLID_MIX || is_linear_solid(c)) && is_linear_solid(t)) {
      c = ET_SOLID_MIX;
    } else {
      c = ET_UNKNOWN;
      break;
    }
  }
  type = static_cast<element_type>(c);
}

int read_one_matrix(run_reader core, std::FILE* stream, dense2D<double>& coords,
                    dense2D<unsigned>& connectM, element_type& type) {
  dense1D<unsigned> bounds, numbers;
  dense1D<int> types;
  const int code = core(stream, coords, connectM, bounds, types, numbers);
  widen_runs(types, type);
  return code;
}

namespace {

// Rows 0 .. nbr_nodes(type) - 1 of columns [begin, end) copied into out.
bool copy_run(const dense2D<unsigned>& connectM, std::size_t begin, std::size_t end,
              element_type type, dense2D<unsigned>& out) noexcept {
  const std::size_t rows = std::min<std::size_t>(nbr_nodes(type), connectM.rows());
  if (!out.resize(rows, end - begin)) return false;
  for (std::size_t j = begin; j < end; ++j)
    std::copy(connectM.column(j), connectM.column(j) + rows, out.column(j - begin));
  return true;
}

}  // namespace

int split_first_runs(const dense2D<unsigned>& connectM, const dense1D<unsigned>& bounds,
                     const dense1D<int>& types, dense2D<unsigned>& connectM1,
                     dense2D<unsigned>& connectM2, element_type& type1, element_type& type2) {
  connectM1.clear();
  connectM2.clear();
  dense2D<unsigned>* outs[2] = {&connectM1, &connectM2};
  element_type* out_types[2] = {&type1, &type2};
  for (std::size_t k = 0; k < 2 && k < types.size() && k + 1 < bounds.size(); ++k) {
    const element_type t = static_cast<element_type>(types[k]);
    *out_types[k] = t;
    if (!copy_run(connectM, bounds[k], bounds[k + 1], t, *outs[k])) return no_memory;
  }
  return 0;
}

int read_first_runs(run_reader core, std::FILE* stream, dense2D<double>& coords,
                    dense2D<unsigned>& connectM1, dense2D<unsigned>& connectM2, element_type& type1,
                    element_type& type2) {
  dense2D<unsigned> all;
  dense1D<unsigned> bounds, pids;
  dense1D<int> types;
  const int code = core(stream, coords, all, bounds, types, pids);
  if (bounds.empty()) return code;  // the stream was refused before reading
  const int split = split_first_runs(all, bounds, types, connectM1, connectM2, type1, type2);
  return code < 0 ? code : split;
}

int write_one_run(run_writer core, std::FILE* stream, const dense2D<double>& coords,
                  const dense2D<unsigned>& connectM, element_type type) {
  run_set runs;
  if (!make_runs(connectM, type, runs)) return no_memory;
  return core(stream, coords, runs.connect, runs.bounds, runs.types, runs.pids);
}

int write_two_runs(run_writer core, std::FILE* stream, const dense2D<double>& coords,
                   const dense2D<unsigned>& connectM1, const dense2D<unsigned>& connectM2,
                   element_type type1, element_type type2) {
  run_set runs;
  if (!make_runs(connectM1, connectM2, type1, type2, runs)) return no_memory;
  return core(stream, coords, runs.connect, runs.bounds, runs.types, runs.pids);
}

element_type run_element_shape(element_type type, const dense2D<unsigned>& connectM,
                               std::size_t j) noexcept {
  if (type == ET_FACE_MIX && connectM.rows() >= 4) return face_mix_shape(connectM.column(j));
  if (type == ET_SOLID_MIX && connectM.rows() >= 8) return solid_mix_shape(connectM.column(j));
  if (type == ET_FACE_MIX && connectM.rows() == 3) return ET_TRIA3;
  if (type == ET_SOLID_MIX) return narrow_mixed(type, connectM.rows());
  return type;
}

namespace {

// Node slots checked for a run: the kind's node count, 4 for ET_FACE_MIX and
// 20 for ET_SOLID_MIX, never more than the matrix has.
std::size_t checked_rows(element_type type, std::size_t rows) noexcept {
  std::size_t r = nbr_nodes(type);
  if (type == ET_FACE_MIX) r = 4;
  if (type == ET_SOLID_MIX) r = 20;
  return std::min(r, rows);
}

}  // namespace

int check_run_writer(std::FILE* stream, const dense2D<double>& coords,
                     const dense2D<unsigned>& connectM, const dense1D<unsigned>& bounds,
                     const dense1D<int>& types, const dense1D<unsigned>& pids) noexcept {
  if (!stream || std::ferror(stream)) return -1;
  if (coords.rows() != 2 && coords.rows() != 3) return -2;
  if (bounds.size() != types.size() + 1) return -5;
  if (pids.size() != connectM.cols()) return -6;
  // Boundaries that name no columns cannot delimit runs; they are refused
  // with the code of a wrong boundary list once the sizes have been checked.
  for (std::size_t k = 0; k < bounds.size(); ++k)
    if (bounds[k] > connectM.cols() || (k > 0 && bounds[k] < bounds[k - 1])) return -5;
  for (std::size_t k = 0; k < types.size(); ++k) {
    if (!is_element_type(types[k])) return -3;
    const element_type t = static_cast<element_type>(types[k]);
    const std::size_t cols = bounds[k + 1] - bounds[k];
    if (cols == 0) continue;
    const dense2D<unsigned> run =
        connectM.sub_matrix(0, bounds[k], checked_rows(t, connectM.rows()), cols);
    if (!check_IDs(run, t, no_index)) return -3;
  }
  return 0;
}

bool make_runs(const dense2D<unsigned>& connectM, element_type type, run_set& runs) noexcept {
  runs.connect = connectM;
  if (!runs.bounds.resize(2) || !runs.types.resize(1, type) ||
      !runs.pids.resize(connectM.cols(), 1u))
    return false;
  runs.bounds[0] = 0;
  runs.bounds[1] = static_cast<unsigned>(connectM.cols());
  return true;
}

bool make_runs(const dense2D<unsigned>& connectM1, const dense2D<unsigned>& connectM2,
               element_type type1, element_type type2, run_set& runs) noexcept {
  const std::size_t rows = std::max(nbr_nodes(type1), nbr_nodes(type2));
  const std::size_t c1 = connectM1.cols(), c2 = connectM2.cols();
  if (!runs.connect.resize(rows, c1 + c2, no_index)) return false;
  const dense2D<unsigned>* src[2] = {&connectM1, &connectM2};
  for (std::size_t m = 0; m < 2; ++m) {
    const std::size_t copied = std::min(rows, src[m]->rows());
    const std::size_t offset = m == 0 ? 0 : c1;
    for (std::size_t j = 0; j < src[m]->cols(); ++j)
      std::copy(src[m]->column(j), src[m]->column(j) + copied, runs.connect.column(offset + j));
  }
  if (!runs.bounds.resize(3) || !runs.types.resize(2) || !runs.pids.resize(c1 + c2, 1u))
    return false;
  runs.bounds[0] = 0;
  runs.bounds[1] = static_cast<unsigned>(c1);
  runs.bounds[2] = static_cast<unsigned>(c1 + c2);
  runs.types[0] = type1;
  runs.types[1] = type2;
  std::fill(runs.pids.begin() + c1, runs.pids.end(), 2u);
  return true;
}

}  // namespace detail
}  // namespace quernfold
}  // namespace ovk
