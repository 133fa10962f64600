// Normalized edge lengths fed to a histogram, and size shocks per node.
#include <cmath>
#include <vector>

#include "common/edge_kernels.h"
#include "quality/edge_lists.h"
#include "quernfold/metrics.h"
#include "quernfold/quality.h"

namespace ovk {
namespace quernfold {

namespace {

using detail::edge_key;

// Metric columns of 2-D and 3-D coordinates hold 3 and 6 packed entries.
int packed_size(int dim) { return dim == 2 ? 3 : 6; }

// Sizes as a size map: node v has size h[v]; usable when it is positive.
struct size_field {
  const dense1D<double>& h;

  std::size_t count() const { return h.size(); }
  bool usable(unsigned v) const { return h[v] > 0; }
  // Normalized length of the edge a -> b with vector e of length |e|.
  double normalized(unsigned a, unsigned b, const double* e, int dim) const {
    return detail::normalized_length(std::sqrt(detail::squared_norm(e, dim)), h[a], h[b]);
  }
};

// Metrics as a size map. Validity (smallest eigenvalue > 0) is decided once
// per node and remembered, since a node ends many edges.
class metric_field {
 public:
  metric_field(const dense2D<double>& m, int dim)
      : m_(m),
        dim_(dim),
        state_(m.cols(), kUnknown),
        enough_rows_(int(m.rows()) >= packed_size(dim)) {}

  std::size_t count() const { return m_.cols(); }

  bool usable(unsigned v) {
    if (state_[v] == kUnknown) state_[v] = positive_definite(m_.column(v)) ? kValid : kInvalid;
    return state_[v] == kValid;
  }

  double normalized(unsigned a, unsigned b, const double* e, int) const {
    const double la2 = detail::metric_length_sq(m_.column(a), e, dim_);
    const double lb2 = detail::metric_length_sq(m_.column(b), e, dim_);
    if (!(la2 > 0 && lb2 > 0)) return 0.0;
    return detail::normalized_length_of_lengths(std::sqrt(la2), std::sqrt(lb2));
  }

 private:
  enum : unsigned char { kUnknown, kValid, kInvalid };

  bool positive_definite(const double* c) const {
    if (!enough_rows_) return false;
    if (dim_ == 2) return is_valid_metric(symmetric_fixed<double, 2>{{c[0], c[1], c[2]}});
    return is_valid_metric(symmetric_fixed<double, 3>{{c[0], c[1], c[2], c[3], c[4], c[5]}});
  }

  const dense2D<double>& m_;
  int dim_;
  std::vector<unsigned char> state_;
  bool enough_rows_;
};

// Connectivity checks and the edge list shared by the four edge_qualities.
// Returns 0 with `list` filled, or the range form's code.
int collect_edges(const dense2D<double>& coords, const dense2D<unsigned>* first, std::size_t count,
                  const int* kinds, const dense2D<unsigned>& excluded,
                  std::vector<edge_key>& list) {
  const unsigned nodes = static_cast<unsigned>(coords.cols());
  for (std::size_t i = 0; i < count; ++i)
    if (!check_IDs(first[i], static_cast<element_type>(kinds[i]), nodes)) return -2;
  if (!check_IDs(excluded, ET_EDGE2, nodes)) return -7;
  detail::extract_edges(first, count, kinds, list);
  detail::remove_excluded_edges(excluded, list);
  return 0;
}

// Feeds every edge whose two ends are usable to the histogram, in list order.
template <class Field>
int feed_histogram(const dense2D<double>& coords, const std::vector<edge_key>& list, Field& field,
                   histogram& hist) {
  const int dim = static_cast<int>(coords.rows());
  bool skipped = false;
  double e[3];
  for (const edge_key k : list) {
    const unsigned a = detail::edge_first(k), b = detail::edge_second(k);
    if (a >= field.count() || b >= field.count() || !field.usable(a) || !field.usable(b)) {
      skipped = true;
      continue;
    }
    detail::edge_vector(coords.column(a), coords.column(b), dim, e);
    hist.process(field.normalized(a, b, e, dim));
  }
  return skipped ? -5 : static_cast<int>(list.size());
}

template <class Field>
int qualities_of_range(const dense2D<double>& coords, const dense2D<unsigned>* first,
                       const dense2D<unsigned>* last, const int* kinds, std::size_t kind_count,
                       Field& field, histogram& hist, const dense2D<unsigned>& excluded) {
  if (first == last) return 0;
  if (coords.rows() != 2 && coords.rows() != 3) return -1;
  if (last < first || static_cast<std::size_t>(last - first) != kind_count) return -4;
  std::vector<edge_key> list;
  const int code = collect_edges(coords, first, kind_count, kinds, excluded, list);
  if (code != 0) return code;
  return feed_histogram(coords, list, field, hist);
}

// The one-matrix forms drop the kinds argument, so codes past it move up.
int single_matrix_code(int code) { return code < -3 ? code + 1 : code; }

// Shock of every edge folded into per-node maxima.
template <class Shock>
int node_shocks(const dense2D<double>& coords, const dense2D<unsigned>& edges,
                dense1D<double>& shocks, Shock shock_of) {
  if (edges.empty()) return 0;
  if (coords.rows() != 2 && coords.rows() != 3) return -1;
  if (!check_IDs(edges, ET_EDGE2, static_cast<unsigned>(coords.cols()))) return -2;
  if (!shocks.resize(coords.cols(), 0.0)) return no_memory;
  const int dim = static_cast<int>(coords.rows());
  double e[3];
  for (std::size_t j = 0; j < edges.cols(); ++j) {
    const unsigned a = edges(0, j), b = edges(1, j);
    detail::edge_vector(coords.column(a), coords.column(b), dim, e);
    const double s = shock_of(a, b, e, dim);
    if (s > shocks[a]) shocks[a] = s;
    if (s > shocks[b]) shocks[b] = s;
  }
  return 0;
}

}  // namespace

int edge_quality(double length, double h0, double h1, double& q) {
  if (!(h0 > 0)) return -2;
  if (!(h1 > 0)) return -3;
  q = detail::normalized_length(length, h0, h1);
  return 0;
}

int edge_qualities(const dense2D<double>& coords, const dense2D<unsigned>* first,
                   const dense2D<unsigned>* last, const dense1D<int>& types,
                   const dense2D<double>& metrics, histogram& hist,
                   const dense2D<unsigned>& excluded_edges) {
  metric_field field(metrics, static_cast<int>(coords.rows()));
  return qualities_of_range(coords, first, last, types.data(), types.size(), field, hist,
                            excluded_edges);
}

int edge_qualities(const dense2D<double>& coords, const dense2D<unsigned>* first,
                   const dense2D<unsigned>* last, const dense1D<int>& types,
                   const dense1D<double>& sizes, histogram& hist,
                   const dense2D<unsigned>& excluded_edges) {
  size_field field{sizes};
  return qualities_of_range(coords, first, last, types.data(), types.size(), field, hist,
                            excluded_edges);
}

int edge_qualities(const dense2D<double>& coords, const dense2D<unsigned>& connectM,
                   element_type type, const dense2D<double>& metrics, histogram& hist,
                   const dense2D<unsigned>& excluded_edges) {
  const int kind = type;
  metric_field field(metrics, static_cast<int>(coords.rows()));
  return single_matrix_code(
      qualities_of_range(coords, &connectM, &connectM + 1, &kind, 1, field, hist, excluded_edges));
}

int edge_qualities(const dense2D<double>& coords, const dense2D<unsigned>& connectM,
                   element_type type, const dense1D<double>& sizes, histogram& hist,
                   const dense2D<unsigned>& excluded_edges) {
  const int kind = type;
  size_field field{sizes};
  return single_matrix_code(
      qualities_of_range(coords, &connectM, &connectM + 1, &kind, 1, field, hist, excluded_edges));
}

int H_shock(const dense2D<double>& coords, const dense2D<unsigned>& edges,
            const dense2D<double>& metrics, dense1D<double>& shocks) {
  return node_shocks(coords, edges, shocks, [&](unsigned a, unsigned b, const double* e, int dim) {
    const double* ma = metrics.column(a);
    const double* mb = metrics.column(b);
    const double la = std::sqrt(detail::metric_length_sq(ma, e, dim));
    const double lb = std::sqrt(detail::metric_length_sq(mb, e, dim));
    const double Ln = la > 0 && lb > 0 ? detail::normalized_length_of_lengths(la, lb) : 0.0;
    return detail::size_shock(la, lb, Ln, detail::same_entries(ma, mb, packed_size(dim)));
  });
}

int H_shock(const dense2D<double>& coords, const dense2D<unsigned>& edges,
            const dense1D<double>& sizes, dense1D<double>& shocks) {
  return node_shocks(coords, edges, shocks, [&](unsigned a, unsigned b, const double* e, int dim) {
    return detail::size_shock_of_sizes(std::sqrt(detail::squared_norm(e, dim)), sizes[a], sizes[b]);
  });
}

}  // namespace quernfold
}  // namespace ovk
