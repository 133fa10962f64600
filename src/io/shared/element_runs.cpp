#include "io/shared/element_runs.h"

#include "common/mixed.h"
#include "quernfold/topology.h"

namespace ovk {
namespace quernfold {
namespace detail {

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

bool element_runs::note_run(element_type type, std::size_t col) noexcept {
  if (!types_.empty() && types_[types_.size() - 1] == type) return true;
  return types_.push_back(type) && (col == 0 || bounds_.push_back(static_cast<unsigned>(col)));
}

bool element_runs::add(element_type type, const unsigned* nodes, unsigned n,
                       unsigned number) noexcept {
  // A taller element: every column already stored gets unused slots.
  if (!elements_.raise_rows(n, no_index)) return false;
  const std::size_t col = elements_.size();
  if (!elements_.extend(col + 1, no_index)) return false;
  std::copy(nodes, nodes + n, elements_.column(col));
  return numbers_.push_back(number) && note_run(type, col);
}

bool element_runs::make_room(unsigned n, std::size_t count) noexcept {
  return elements_.raise_rows(n, no_index) && elements_.make_room(elements_.size() + count);
}

bool element_runs::add_written(element_type type, std::size_t count, unsigned number) noexcept {
  if (count == 0) return true;
  const std::size_t col = elements_.size();
  if (!numbers_.push_back_n(number, count) || !note_run(type, col)) return false;
  elements_.take(col + count);
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
