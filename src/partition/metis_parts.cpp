// k-way partitions of a graph by METIS (32-bit idx_t): the graph's 64-bit
// offsets are narrowed after checking they fit, METIS is called with a fixed
// seed and the imbalance as its load factor, and the cut and imbalance are
// measured on the result.
#include <metis.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <new>
#include <vector>

#include "quernfold/partition.h"

namespace ovk {
namespace quernfold {
namespace {

static_assert(sizeof(idx_t) == sizeof(std::int32_t), "METIS built with 32-bit indices expected");

constexpr std::int64_t kIdxMax = std::numeric_limits<std::int32_t>::max();
// METIS's load factor is (imbalance - 1) x 1000, at least 1.
constexpr double kLoadFactorScale = 1000.0;
constexpr idx_t kMinLoadFactor = 1;

// The checks before METIS: parts, weights, 32-bit limits.
int check_input(const csr_graph& graph, unsigned parts, const partition_options& options) {
  if (parts == 0) return partition_bad_parts;
  const std::size_t n = graph.vertices();
  if (!options.weights.empty()) {
    if (options.weights.size() != n) return partition_bad_weights;
    std::int64_t total = 0;
    for (std::int32_t w : options.weights) {
      if (w <= 0) return partition_bad_weights;
      total += w;
    }
    if (total > kIdxMax) return partition_too_large;
  }
  if (std::int64_t(n) > kIdxMax || (!graph.xadj.empty() && graph.xadj.back() > kIdxMax) ||
      std::int64_t(parts) > kIdxMax)
    return partition_too_large;
  return 0;
}

// Edges joining different parts, and heaviest part x parts / total weight.
void measure(const csr_graph& graph, unsigned parts, const partition_options& options,
             partition_result& result) {
  const std::size_t n = graph.vertices();
  std::int64_t cut = 0;
  for (std::size_t v = 0; v < n; ++v)
    for (std::int64_t i = graph.xadj[v]; i < graph.xadj[v + 1]; ++i)
      if (result.part[v] != result.part[static_cast<std::size_t>(graph.adjncy[i])]) ++cut;
  result.edge_cut = cut / 2;
  std::vector<std::int64_t> load(parts, 0);
  std::int64_t total = 0;
  for (std::size_t v = 0; v < n; ++v) {
    const std::int64_t w = options.weights.empty() ? 1 : options.weights[v];
    load[result.part[v]] += w;
    total += w;
  }
  const std::int64_t heaviest = *std::max_element(load.begin(), load.end());
  result.imbalance = total > 0 ? double(heaviest) * parts / double(total) : 1.0;
}

// METIS_PartGraphKway on the graph; 0 or partition_metis_failed.
int run_metis(const csr_graph& graph, unsigned parts, const partition_options& options,
              std::vector<idx_t>& where) {
  std::vector<idx_t> xadj(graph.xadj.begin(), graph.xadj.end());
  std::vector<idx_t> adjncy(graph.adjncy.begin(), graph.adjncy.end());
  std::vector<idx_t> weights(options.weights.begin(), options.weights.end());
  idx_t n = static_cast<idx_t>(graph.vertices()), constraints = 1;
  idx_t nparts = static_cast<idx_t>(parts), cut = 0;
  idx_t opts[METIS_NOPTIONS];
  METIS_SetDefaultOptions(opts);
  opts[METIS_OPTION_SEED] = options.seed;
  opts[METIS_OPTION_NUMBERING] = 0;
  opts[METIS_OPTION_UFACTOR] = std::max<idx_t>(
      kMinLoadFactor,
      static_cast<idx_t>(std::lround((options.imbalance - 1.0) * kLoadFactorScale)));
  where.assign(graph.vertices(), 0);
  // METIS reads an empty adjacency through its pointer: give it one entry.
  if (adjncy.empty()) adjncy.push_back(0);
  const int status = METIS_PartGraphKway(
      &n, &constraints, xadj.data(), adjncy.data(), weights.empty() ? nullptr : weights.data(),
      nullptr, nullptr, &nparts, nullptr, nullptr, opts, &cut, where.data());
  return status == METIS_OK ? 0 : status == METIS_ERROR_MEMORY ? no_memory : partition_metis_failed;
}

}  // namespace

int partition_graph(const csr_graph& graph, unsigned parts, const partition_options& options,
                    partition_result& result) try {
  result = partition_result();
  int code = check_input(graph, parts, options);
  if (code < 0) return code;
  const std::size_t n = graph.vertices();
  std::vector<idx_t> where(n, 0);
  if (parts > 1 && n > 0) code = run_metis(graph, parts, options, where);
  if (code < 0) return code;
  result.part.assign(where.begin(), where.end());
  measure(graph, parts, options, result);
  return 0;
} catch (const std::bad_alloc&) {
  result = partition_result();
  return no_memory;
}

}  // namespace quernfold
}  // namespace ovk
