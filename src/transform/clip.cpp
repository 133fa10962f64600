// clip: keeps the elements lying wholly on one side of a plane.
#include <algorithm>
#include <cstddef>

#include "common/growth.h"
#include "common/mixed.h"
#include "quernfold/transform.h"

namespace ovk {
namespace quernfold {
namespace {

constexpr int kBadNodeCode = -2;
constexpr int kZeroNormalCode = -4;
constexpr int kKeptShapeCode = -5;

// Side of each node, decided the first time an element meets it.
enum node_side : unsigned char { kSideUnknown = 0, kSideKept = 1, kSideCut = 2 };

class side_test {
 public:
  side_test(const dense2D<double>& coords, const vector_fixed<double, 3>& P,
            const vector_fixed<double, 3>& N)
      : coords_(coords), P_(P), N_(N), dims_(std::min<std::size_t>(coords.rows(), 3)) {}

  // False when the cache cannot be had.
  bool init() { return sides_.resize(coords_.cols(), kSideUnknown); }

  bool on_kept_side(unsigned node) {
    unsigned char& side = sides_[node];
    if (side == kSideUnknown) side = compute(coords_.column(node)) ? kSideKept : kSideCut;
    return side == kSideKept;
  }

 private:
  // Components beyond the coordinates' rows count as 0, so a 2-D mesh is cut
  // by the trace of the plane in z = 0.
  bool compute(const double* X) const {
    double D[3] = {0.0, 0.0, 0.0};
    for (std::size_t i = 0; i < dims_; ++i) D[i] = X[i] - P_[i];
    return (D[1] * N_[1] + D[0] * N_[0]) + D[2] * N_[2] >= 0.0;
  }

  const dense2D<double>& coords_;
  const vector_fixed<double, 3>& P_;
  const vector_fixed<double, 3>& N_;
  std::size_t dims_;
  dense1D<unsigned char> sides_;
};

// An element is kept when every node up to its first ~0U is on the kept
// side; it is rejected at its first node on the other side.
bool element_kept(const unsigned* column, std::size_t rows, side_test& sides) {
  for (std::size_t r = 0; r < rows && column[r] != no_index; ++r)
    if (!sides.on_kept_side(column[r])) return false;
  return true;
}

// Indices of the kept columns of connectM, in order. False on memory failure.
bool select_elements(const dense2D<unsigned>& connectM, side_test& sides,
                     dense1D<unsigned>& chosen) {
  for (std::size_t e = 0; e < connectM.cols(); ++e)
    if (element_kept(connectM.column(e), connectM.rows(), sides) &&
        !chosen.push_back(static_cast<unsigned>(e)))
      return false;
  return true;
}

bool is_zero(const vector_fixed<double, 3>& N) { return N[0] == 0.0 && N[1] == 0.0 && N[2] == 0.0; }

}  // namespace

int clip(const dense2D<double>& coords, const dense2D<unsigned>& connectM,
         const vector_fixed<double, 3>& P, const vector_fixed<double, 3>& N,
         dense2D<unsigned>& kept) {
  if (connectM.empty()) return 0;
  if (!check_IDs(connectM, static_cast<unsigned>(coords.cols()))) return kBadNodeCode;
  if (is_zero(N)) return kZeroNormalCode;
  if (!kept.empty() && kept.rows() != connectM.rows()) return kKeptShapeCode;

  const dense2D<unsigned> elements(connectM);  // kept may be connectM itself
  side_test sides(coords, P, N);
  dense1D<unsigned> chosen;
  if (!sides.init() || !select_elements(elements, sides, chosen)) return no_memory;
  if (!detail::append_columns(kept, elements, chosen.size(),
                              [&chosen](std::size_t k) { return chosen[k]; }))
    return no_memory;
  return 0;
}

}  // namespace quernfold
}  // namespace ovk
