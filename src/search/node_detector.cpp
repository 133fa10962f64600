// node_detector: the public face of the k-d tree.
#include <new>
#include <random>
#include <utility>

#include "common/mixed.h"
#include "quernfold/search.h"
#include "search/kd_tree.h"

namespace ovk {
namespace quernfold {
namespace {

using detail::kd_tree;

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

template <unsigned D>
kd_tree<D>* copy_tree(const kd_tree<D>* other) {
  if (!other) return nullptr;
  kd_tree<D>* tree = new kd_tree<D>(other->coords());
  if (!tree->assign(*other)) {
    delete tree;
    throw std::bad_alloc();
  }
  return tree;
}

// A query point of either dimension, seen in the tree's dimension: missing
// coordinates are 0, extra ones are ignored.
template <unsigned D, int N>
void to_tree_point(const vector_fixed<double, N>& P, double (&out)[D]) {
  for (unsigned k = 0; k < D; ++k) out[k] = static_cast<int>(k) < N ? P[k] : 0.0;
}

template <unsigned D>
void append_in_box(const kd_tree<D>& tree, const double* lo, const double* hi,
                   dense1D<unsigned>& nodes) {
  detail::traversal_stack<detail::pending_box> stack;
  bool room = true;
  tree.visit_box(lo, hi, stack, [&](unsigned pos) {
    if (room) room = nodes.push_back(tree.node(pos));
  });
}

template <int N>
void append_in_box(const kd_tree<2>* tree2, const kd_tree<3>* tree3,
                   const vector_fixed<double, N>& min, const vector_fixed<double, N>& max,
                   dense1D<unsigned>& nodes) {
  if (tree2) {
    double lo[2], hi[2];
    to_tree_point(min, lo);
    to_tree_point(max, hi);
    append_in_box(*tree2, lo, hi, nodes);
  } else if (tree3) {
    double lo[3], hi[3];
    to_tree_point(min, lo);
    to_tree_point(max, hi);
    append_in_box(*tree3, lo, hi, nodes);
  }
}

template <int N>
unsigned closest_to_point(const kd_tree<2>* tree2, const kd_tree<3>* tree3,
                          const vector_fixed<double, N>& P) {
  if (tree2) {
    double Q[2];
    to_tree_point(P, Q);
    return tree2->closest(Q, no_index);
  }
  if (tree3) {
    double Q[3];
    to_tree_point(P, Q);
    return tree3->closest(Q, no_index);
  }
  return no_index;
}

}  // namespace

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
    : tree2_(copy_tree(other.tree2_)), tree3_(copy_tree(other.tree3_)) {}

node_detector::node_detector(node_detector&& other) noexcept
    : tree2_(std::exchange(other.tree2_, nullptr)), tree3_(std::exchange(other.tree3_, nullptr)) {}

node_detector& node_detector::operator=(const node_detector& other) {
  if (this != &other) {
    node_detector copy(other);
    std::swap(tree2_, copy.tree2_);
    std::swap(tree3_, copy.tree3_);
  }
  return *this;
}

node_detector& node_detector::operator=(node_detector&& other) noexcept {
  if (this != &other) {
    clear();
    std::swap(tree2_, other.tree2_);
    std::swap(tree3_, other.tree3_);
  }
  return *this;
}

node_detector::~node_detector() { clear(); }

void node_detector::clear() noexcept {
  delete tree2_;
  delete tree3_;
  tree2_ = nullptr;
  tree3_ = nullptr;
}

template <unsigned D>
int node_detector::build(const dense2D<double>& coords, dense1D<unsigned>& nodes) {
  clear();
  kd_tree<D>* tree = new (std::nothrow) kd_tree<D>(coords);
  if (!tree || !tree->build(nodes.data(), nodes.size())) {
    delete tree;
    return no_memory;
  }
  if constexpr (D == 2)
    tree2_ = tree;
  else
    tree3_ = tree;
  return static_cast<int>(nodes.size());
}

int node_detector::reinit(const dense2D<double>& coords) {
  if (!is_2d_or_3d(coords)) return kBadRows;
  dense1D<unsigned> nodes;
  if (!nodes.resize(coords.cols())) return no_memory;
  for (std::size_t i = 0; i < nodes.size(); ++i) nodes[i] = static_cast<unsigned>(i);
  return coords.rows() == 2 ? build<2>(coords, nodes) : build<3>(coords, nodes);
}

int node_detector::reinit(const dense2D<double>& coords, const dense1D<unsigned>& nodes) {
  if (!is_2d_or_3d(coords)) return kBadRows;
  dense1D<unsigned> list;
  if (!list.copy(nodes)) return no_memory;
  keep_existing(list, coords.cols());
  return coords.rows() == 2 ? build<2>(coords, list) : build<3>(coords, list);
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
  return coords.rows() == 2 ? build<2>(coords, list) : build<3>(coords, list);
}

unsigned node_detector::insert(const dense1D<unsigned>& nodes) {
  if (!tree2_ && !tree3_) return 0;
  dense1D<unsigned> list;
  if (!list.copy(nodes)) return 0;
  shuffle_for_insertion(list);
  return tree2_ ? tree2_->insert(list.data(), list.size())
                : tree3_->insert(list.data(), list.size());
}

unsigned node_detector::insert(const dense2D<unsigned>& connectM) {
  if (!tree2_ && !tree3_) return 0;
  dense1D<unsigned> list;
  if (unique_indices(list, connectM, dense1D<unsigned>()) < 0) return 0;
  return insert(list);
}

unsigned node_detector::find_closest(const vector_fixed<double, 2>& P) const {
  return closest_to_point(tree2_, tree3_, P);
}

unsigned node_detector::find_closest(const vector_fixed<double, 3>& P) const {
  return closest_to_point(tree2_, tree3_, P);
}

unsigned node_detector::find_closest(unsigned k) const {
  if (tree2_) {
    const dense2D<double>& c = tree2_->coords();
    if (k >= c.cols() || c.rows() < 2) return no_index;
    return tree2_->closest(c.column(k), k);
  }
  if (tree3_) {
    const dense2D<double>& c = tree3_->coords();
    if (k >= c.cols() || c.rows() < 3) return no_index;
    return tree3_->closest(c.column(k), k);
  }
  return no_index;
}

void node_detector::find_in_box(const vector_fixed<double, 2>& min,
                                const vector_fixed<double, 2>& max,
                                dense1D<unsigned>& nodes) const {
  append_in_box(tree2_, tree3_, min, max, nodes);
}

void node_detector::find_in_box(const vector_fixed<double, 3>& min,
                                const vector_fixed<double, 3>& max,
                                dense1D<unsigned>& nodes) const {
  append_in_box(tree2_, tree3_, min, max, nodes);
}

unsigned node_detector::size() const noexcept {
  if (tree2_) return static_cast<unsigned>(tree2_->size());
  if (tree3_) return static_cast<unsigned>(tree3_->size());
  return 0;
}

}  // namespace quernfold
}  // namespace ovk
