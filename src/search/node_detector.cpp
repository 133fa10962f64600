// node_detector: the public face of the k-d tree.
#include <new>
#include <random>
#include <utility>

#include "quernfold/search.h"
#include "search/kd_tree.h"

namespace ovk {
namespace quernfold {
namespace detail {

// The search tree of a detector, 2-D or 3-D, behind one interface. Query
// points and boxes come with their own number of coordinates and are seen in
// the tree's dimension: missing coordinates are 0, extra ones are ignored.
class node_index {
 public:
  virtual ~node_index() = default;

  // A deep copy on the same coordinates matrix; throws std::bad_alloc when it
  // cannot be had.
  virtual std::unique_ptr<node_index> clone() const = 0;
  virtual std::size_t size() const noexcept = 0;
  // Inserts the listed nodes in list order; returns how many were added.
  virtual unsigned insert(const dense1D<unsigned>& nodes) noexcept = 0;
  // Nearest indexed node to the point P of `dim` coordinates.
  virtual unsigned closest_to_point(const double* P, int dim) const = 0;
  // Nearest indexed node to node k other than k itself.
  virtual unsigned closest_to_node(unsigned k) const = 0;
  // Appends the indexed nodes inside the closed box [lo, hi] of `dim`
  // coordinates; stops when `nodes` cannot grow.
  virtual void append_in_box(const double* lo, const double* hi, int dim,
                             dense1D<unsigned>& nodes) const = 0;
};

namespace {

template <unsigned D>
void to_tree_point(const double* P, int dim, double (&out)[D]) noexcept {
  for (unsigned k = 0; k < D; ++k) out[k] = static_cast<int>(k) < dim ? P[k] : 0.0;
}

template <unsigned D>
class kd_index final : public node_index {
 public:
  explicit kd_index(const dense2D<double>& coords) noexcept : tree_(coords) {}

  // Balanced construction over the list; false on memory failure.
  bool build(const dense1D<unsigned>& nodes) noexcept {
    return tree_.build(nodes.data(), nodes.size());
  }

  std::unique_ptr<node_index> clone() const override {
    auto copy = std::make_unique<kd_index>(tree_.coords());
    if (!copy->tree_.assign(tree_)) throw std::bad_alloc();
    return copy;
  }

  std::size_t size() const noexcept override { return tree_.size(); }

  unsigned insert(const dense1D<unsigned>& nodes) noexcept override {
    return tree_.insert(nodes.data(), nodes.size());
  }

  unsigned closest_to_point(const double* P, int dim) const override {
    double Q[D];
    to_tree_point(P, dim, Q);
    return tree_.closest(Q, no_index);
  }

  unsigned closest_to_node(unsigned k) const override {
    const dense2D<double>& c = tree_.coords();
    if (k >= c.cols() || c.rows() < D) return no_index;
    return tree_.closest(c.column(k), k);
  }

  void append_in_box(const double* min, const double* max, int dim,
                     dense1D<unsigned>& nodes) const override {
    double lo[D], hi[D];
    to_tree_point(min, dim, lo);
    to_tree_point(max, dim, hi);
    traversal_stack<pending_box> stack;
    bool room = true;
    tree_.visit_box(lo, hi, stack, [&](unsigned pos) {
      if (room) room = nodes.push_back(tree_.node(pos));
    });
  }

 private:
  kd_tree<D> tree_;
};

// A tree of the dimension of coords built over the list; null on memory
// failure.
template <unsigned D>
std::unique_ptr<node_index> built_index(const dense2D<double>& coords,
                                        const dense1D<unsigned>& nodes) {
  std::unique_ptr<kd_index<D>> index(new (std::nothrow) kd_index<D>(coords));
  if (!index || !index->build(nodes)) return nullptr;
  return index;
}

}  // namespace
}  // namespace detail

namespace {

constexpr int kBadRows = -1;
// The insertion shuffle restarts from this seed at every call, so that
// repeated insertions of the same list build the same tree.
constexpr unsigned kShuffleSeed = 1;

bool is_2d_or_3d(const dense2D<double>& coords) { return coords.rows() == 2 || coords.rows() == 3; }

// Keeps, in order, the entries below `cols` (dropping ~0U and indices of
// nodes that do not exist).
void keep_existing(dense1D<unsigned>& nodes, std::size_t cols) {
  std::size_t kept = 0;
  for (std::size_t i = 0; i < nodes.size(); ++i)
    if (nodes[i] < cols) nodes[kept++] = nodes[i];
  nodes.resize(kept);
}

// Fisher-Yates with j = next() mod (i + 1), i ascending from 1.
void shuffle_for_insertion(dense1D<unsigned>& nodes) {
  std::mt19937 gen(kShuffleSeed);
  for (std::size_t i = 1; i < nodes.size(); ++i) {
    const std::size_t j = gen() % (i + 1);
    std::swap(nodes[i], nodes[j]);
  }
}

}  // namespace

node_detector::node_detector() noexcept = default;

node_detector::node_detector(const dense2D<double>& coords) { reinit(coords); }

node_detector::node_detector(const dense2D<double>& coords, const dense1D<unsigned>& nodes) {
  reinit(coords, nodes);
}

node_detector::node_detector(const dense2D<double>& coords, const dense2D<unsigned>& connectM) {
  reinit(coords, connectM);
}

node_detector::node_detector(const dense2D<double>& coords, const dense2D<unsigned>* begin,
                             const dense2D<unsigned>* end) {
  reinit(coords, begin, end);
}

node_detector::node_detector(const node_detector& other)
    : index_(other.index_ ? other.index_->clone() : nullptr) {}

node_detector::node_detector(node_detector&& other) noexcept = default;

node_detector& node_detector::operator=(const node_detector& other) {
  if (this != &other) {
    node_detector copy(other);
    index_.swap(copy.index_);
  }
  return *this;
}

node_detector& node_detector::operator=(node_detector&& other) noexcept {
  if (this != &other) {
    clear();
    index_.swap(other.index_);
  }
  return *this;
}

node_detector::~node_detector() = default;

void node_detector::clear() noexcept { index_.reset(); }

int node_detector::build(const dense2D<double>& coords, const dense1D<unsigned>& nodes) {
  clear();
  index_ = coords.rows() == 2 ? detail::built_index<2>(coords, nodes)
                              : detail::built_index<3>(coords, nodes);
  return index_ ? static_cast<int>(nodes.size()) : no_memory;
}

int node_detector::reinit(const dense2D<double>& coords) {
  if (!is_2d_or_3d(coords)) return kBadRows;
  dense1D<unsigned> nodes;
  if (!nodes.resize(coords.cols())) return no_memory;
  for (std::size_t i = 0; i < nodes.size(); ++i) nodes[i] = static_cast<unsigned>(i);
  return build(coords, nodes);
}

int node_detector::reinit(const dense2D<double>& coords, const dense1D<unsigned>& nodes) {
  if (!is_2d_or_3d(coords)) return kBadRows;
  dense1D<unsigned> list;
  if (!list.copy(nodes)) return no_memory;
  keep_existing(list, coords.cols());
  return build(coords, list);
}

int node_detector::reinit(const dense2D<double>& coords, const dense2D<unsigned>& connectM) {
  return reinit(coords, &connectM, &connectM + 1);
}

int node_detector::reinit(const dense2D<double>& coords, const dense2D<unsigned>* begin,
                          const dense2D<unsigned>* end) {
  if (!is_2d_or_3d(coords)) return kBadRows;
  dense1D<unsigned> list;
  const int code = unique_indices(list, begin, end, dense1D<unsigned>());
  if (code < 0) return code;
  keep_existing(list, coords.cols());
  return build(coords, list);
}

unsigned node_detector::insert(const dense1D<unsigned>& nodes) {
  if (!index_) return 0;
  dense1D<unsigned> list;
  if (!list.copy(nodes)) return 0;
  shuffle_for_insertion(list);
  return index_->insert(list);
}

unsigned node_detector::insert(const dense2D<unsigned>& connectM) {
  if (!index_) return 0;
  dense1D<unsigned> list;
  if (unique_indices(list, connectM, dense1D<unsigned>()) < 0) return 0;
  return insert(list);
}

unsigned node_detector::find_closest(const vector_fixed<double, 2>& P) const {
  return index_ ? index_->closest_to_point(P.data(), 2) : no_index;
}

unsigned node_detector::find_closest(const vector_fixed<double, 3>& P) const {
  return index_ ? index_->closest_to_point(P.data(), 3) : no_index;
}

unsigned node_detector::find_closest(unsigned k) const {
  return index_ ? index_->closest_to_node(k) : no_index;
}

void node_detector::find_in_box(const vector_fixed<double, 2>& min,
                                const vector_fixed<double, 2>& max,
                                dense1D<unsigned>& nodes) const {
  if (index_) index_->append_in_box(min.data(), max.data(), 2, nodes);
}

void node_detector::find_in_box(const vector_fixed<double, 3>& min,
                                const vector_fixed<double, 3>& max,
                                dense1D<unsigned>& nodes) const {
  if (index_) index_->append_in_box(min.data(), max.data(), 3, nodes);
}

unsigned node_detector::size() const noexcept {
  return index_ ? static_cast<unsigned>(index_->size()) : 0;
}

}  // namespace quernfold
}  // namespace ovk
