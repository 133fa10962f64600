// Isotropic size map from the edge lengths of a mesh.
#include <algorithm>
#include <cfloat>
#include <cmath>

#include "common/edges.h"
#include "common/mixed.h"
#include "quernfold/metrics.h"

namespace ovk {
namespace quernfold {

namespace {

// How the incident edge lengths of a node are combined.
enum class mean_kind { minimum, power, maximum };

// Kinds whose every column has a linear edge table.
bool has_linear_edges(element_type FE) {
  switch (FE) {
    case ET_EDGE2:
    case ET_FACE_MIX:
    case ET_TRIA3:
    case ET_QUAD4:
    case ET_SOLID_MIX:
    case ET_TETRA4:
    case ET_PYRAMID5:
    case ET_WEDGE6:
    case ET_HEXA8:
      return true;
    default:
      return false;
  }
}

// Folds one edge length L into the running value of a node; a node seen for
// the first time starts from `start`, whatever H held.
void fold_length(double& h, unsigned& count, double L, double start, mean_kind kind, double p) {
  if (count == 0) h = start;
  switch (kind) {
    case mean_kind::maximum:
      h = std::max(h, L);
      break;
    case mean_kind::power:
      h += detail::size_power(L, p);
      break;
    case mean_kind::minimum:
      h = std::min(h, L);
      break;
  }
  ++count;
}

int generate_sizes(const dense2D<double>& coords, const dense2D<unsigned>& connectM,
                   element_type FE, dense1D<double>& H, double p) {
  dense1D<unsigned> count;
  if (!count.resize(H.size(), 0U)) return no_memory;
  const mean_kind kind = p == 0         ? mean_kind::minimum
                         : p >= DBL_MAX ? mean_kind::maximum
                                        : mean_kind::power;
  const double start = p > 0 ? 0.0 : DBL_MAX;

  for (std::size_t j = 0; j < connectM.cols(); ++j) {
    const unsigned* column = connectM.column(j);
    const detail::edge_table* table = detail::column_edges(FE, column);
    for (unsigned k = 0; k < table->count; ++k) {
      const unsigned a = column[table->pairs[k][0]], b = column[table->pairs[k][1]];
      const double L = detail::edge_length(coords, a, b);
      if (L == 0 || !std::isfinite(L)) continue;
      fold_length(H[a], count[a], L, start, kind, p);
      fold_length(H[b], count[b], L, start, kind, p);
    }
  }

  if (kind == mean_kind::power)
    for (std::size_t v = 0; v < H.size(); ++v)
      if (count[v] > 0) H[v] = detail::size_power(H[v] / count[v], 1 / p);
  return 0;
}

}  // namespace

int metrics_gen_iso(const dense2D<double>& coords, const dense2D<unsigned>& connectM,
                    element_type type, dense1D<double, 8>& H, double p) {
  if (connectM.empty()) return 0;
  const element_type FE = detail::narrow_mixed(type, connectM.rows());
  if (element_dim(FE) > coords.rows()) return -1;
  if (!check_IDs(connectM, FE, static_cast<unsigned>(coords.cols()))) return -2;
  if (p < 0 || std::isnan(p)) return -5;
  if (!H.resize(std::max(H.size(), coords.cols()), 0.0)) return no_memory;
  if (!has_linear_edges(FE)) return -3;
  return generate_sizes(coords, connectM, FE, H, p);
}

}  // namespace quernfold
}  // namespace ovk
