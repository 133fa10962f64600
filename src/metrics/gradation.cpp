// Gradation and variation control of isotropic and anisotropic size maps.
#include <cfloat>
#include <cmath>

#include "metrics/gradation_engine.h"
#include "quernfold/metrics.h"

namespace ovk {
namespace quernfold {

namespace {

using detail::size_rule;

// Result of the argument checks: go on, stop with nothing to do, or a code.
constexpr int kProceed = 1;

// Checks shared by the four entry points, in their order. metric_rows is the
// row count of an anisotropic field (0 for sizes) and metric_count the number
// of metrics held.
int check_arguments(const dense2D<double>& coords, const dense2D<unsigned>& connectM,
                    element_type type, const dense1D<unsigned>& nodes, double bound,
                    std::size_t metric_rows, std::size_t metric_count) {
  if (connectM.empty() || bound == DBL_MAX || std::isnan(bound)) return 0;
  const std::size_t dim = coords.rows();
  if (dim != 2 && dim != 3) return -1;
  const unsigned node_count = static_cast<unsigned>(coords.cols());
  if (!check_IDs(connectM, type, node_count)) return -2;
  if (!check_IDs(nodes, node_count)) return -4;
  if (bound < 0) return -7;
  if (metric_rows != 0 && metric_rows != (dim == 2 ? 3u : 6u)) return -8;
  if (max_ID(connectM) >= metric_count) return -8;
  return kProceed;
}

template <class Field>
int run_engine(const dense2D<double>& coords, const dense2D<unsigned>& connectM,
               const dense1D<unsigned>& nodes, bool nodes_are_fixed, int direction, double bound,
               size_rule rule, Field field) {
  detail::gradation_engine<Field> engine(coords, field, rule, bound);
  return engine.run(connectM, nodes, nodes_are_fixed, direction);
}

int bound_sizes(const dense2D<double>& coords, const dense2D<unsigned>& connectM, element_type type,
                const dense1D<unsigned>& nodes, bool nodes_are_fixed, int direction, double bound,
                dense1D<double>& H, size_rule rule) {
  const int code = check_arguments(coords, connectM, type, nodes, bound, 0, H.size());
  if (code != kProceed) return code;
  // The engine writes through a view sharing the caller's storage.
  dense1D<double> view(H);
  const detail::iso_field field(view, static_cast<int>(coords.rows()));
  return run_engine(coords, connectM, nodes, nodes_are_fixed, direction, bound, rule, field);
}

int bound_metrics(const dense2D<double>& coords, const dense2D<unsigned>& connectM,
                  element_type type, const dense1D<unsigned>& nodes, bool nodes_are_fixed,
                  int direction, double bound, dense2D<double>& M, size_rule rule) {
  const int code = check_arguments(coords, connectM, type, nodes, bound, M.rows(), M.cols());
  if (code != kProceed) return code;
  dense2D<double> view(M);
  if (coords.rows() == 2)
    return run_engine(coords, connectM, nodes, nodes_are_fixed, direction, bound, rule,
                      detail::aniso_field<2>(view));
  return run_engine(coords, connectM, nodes, nodes_are_fixed, direction, bound, rule,
                    detail::aniso_field<3>(view));
}

}  // namespace

int bound_metric_gradations(const dense2D<double>& coords, const dense2D<unsigned>& connectM,
                            element_type type, const dense1D<unsigned, 8>& nodes,
                            bool nodes_are_fixed, int direction, double bound, dense2D<double>& M) {
  return bound_metrics(coords, connectM, type, nodes, nodes_are_fixed, direction, bound, M,
                       size_rule::gradation);
}

int bound_metric_gradations(const dense2D<double>& coords, const dense2D<unsigned>& connectM,
                            element_type type, const dense1D<unsigned, 8>& nodes,
                            bool nodes_are_fixed, int direction, double bound,
                            dense1D<double, 8>& H) {
  return bound_sizes(coords, connectM, type, nodes, nodes_are_fixed, direction, bound, H,
                     size_rule::gradation);
}

int bound_metric_variations(const dense2D<double>& coords, const dense2D<unsigned>& connectM,
                            element_type type, const dense1D<unsigned, 8>& nodes,
                            bool nodes_are_fixed, int direction, double bound, dense2D<double>& M) {
  return bound_metrics(coords, connectM, type, nodes, nodes_are_fixed, direction, bound, M,
                       size_rule::variation);
}

int bound_metric_variations(const dense2D<double>& coords, const dense2D<unsigned>& connectM,
                            element_type type, const dense1D<unsigned, 8>& nodes,
                            bool nodes_are_fixed, int direction, double bound,
                            dense1D<double, 8>& H) {
  return bound_sizes(coords, connectM, type, nodes, nodes_are_fixed, direction, bound, H,
                     size_rule::variation);
}

}  // namespace quernfold
}  // namespace ovk
