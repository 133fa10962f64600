// Metric algebra and metric fields on numpy arrays: one metric per row,
// packed (m11, m12, m22) in 2-D and (m11, m12, m22, m13, m23, m33) in 3-D,
// in 1 / length^2; sizes are lengths.
#include <string>
#include <vector>

#include "arrays.h"

namespace quernfold_py {

namespace {

constexpr py::ssize_t kPacked2 = 3, kPacked3 = 6;

// Metrics (n, 3 | 6) as a packed x n matrix (`copy`: storage of its own).
dense2D<double> metrics_in(py::handle metrics, const char* name, bool copy = false) {
  size_map_in map(metrics, copy);
  if (!map.aniso) fail(std::string(name) + " must be metrics (n, 3) or (n, 6)");
  return map.metrics;
}

// Applies f to each column of `in` as a fixed metric of dimension D.
template <int D, class F>
void each_metric(const dense2D<double>& in, F&& f) {
  unlocked([&] {
    for (std::size_t j = 0; j < in.cols(); ++j) {
      qf::symmetric_fixed<double, D> M;
      std::copy(in.column(j), in.column(j) + M.size(), M.data());
      f(j, M);
    }
    return 0;
  });
}

// Calls f.template operator()<D>() with D = 2 or 3 from the packed rows.
template <class F>
auto by_dimension(const dense2D<double>& m, F&& f) {
  return m.rows() == kPacked2 ? f(std::integral_constant<int, 2>())
                              : f(std::integral_constant<int, 3>());
}

py::array is_valid(py::handle metrics) {
  const dense2D<double> m = metrics_in(metrics, "metrics");
  py::array_t<bool> valid(static_cast<py::ssize_t>(m.cols()));
  bool* v = valid.mutable_data();
  by_dimension(m, [&](auto d) {
    each_metric<decltype(d)::value>(
        m, [&](std::size_t j, const auto& M) { v[j] = qf::is_valid_metric(M); });
    return 0;
  });
  return valid;
}

py::tuple eigen(py::handle metrics) {
  const dense2D<double> m = metrics_in(metrics, "metrics");
  const auto n = static_cast<py::ssize_t>(m.cols());
  const py::ssize_t d = m.rows() == kPacked2 ? 2 : 3;
  py::array_t<double> values({n, d}), vectors({n, d, d});
  double* lv = values.mutable_data();
  double* vv = vectors.mutable_data();
  by_dimension(m, [&](auto dim) {
    constexpr int D = decltype(dim)::value;
    each_metric<D>(m, [&](std::size_t j, const auto& M) {
      qf::vector_fixed<double, D> lambda{};
      qf::matrix_fixed<double, D, D> V{};
      qf::eigen_pairs(M, lambda, V);
      for (int r = 0; r < D; ++r) {
        lv[j * D + r] = lambda[r];
        for (int c = 0; c < D; ++c) vv[(j * D + r) * D + c] = V(r, c);
      }
    });
    return 0;
  });
  return py::make_tuple(values, vectors);
}

py::array combine(py::handle first, py::handle second, bool intersection) {
  const dense2D<double> a = metrics_in(first, "m1"), b = metrics_in(second, "m2");
  if (a.rows() != b.rows() || a.cols() != b.cols()) fail("m1 and m2 must have the same shape");
  dense2D<double> r;
  if (!r.resize(a.rows(), a.cols())) throw std::bad_alloc();
  by_dimension(a, [&](auto dim) {
    constexpr int D = decltype(dim)::value;
    each_metric<D>(a, [&](std::size_t j, const auto& M1) {
      qf::symmetric_fixed<double, D> M2, R;
      std::copy(b.column(j), b.column(j) + M2.size(), M2.data());
      if (intersection)
        qf::minimum_metric(M1, M2, R);
      else
        qf::maximum_metric(M1, M2, R);
      std::copy(R.data(), R.data() + R.size(), r.column(j));
    });
    return 0;
  });
  return out(r);
}

py::array from_sizes(py::handle sizes, int dimension) {
  const size_map_in h(sizes, false);
  if (h.aniso) fail("sizes must be a 1-D array");
  if (dimension != 2 && dimension != 3) fail("dimension must be 2 or 3");
  dense2D<double> m;
  if (!m.resize(dimension == 2 ? kPacked2 : kPacked3, h.sizes.size())) throw std::bad_alloc();
  check(unlocked([&] {
          return dimension == 2 ? qf::metrics_iso_to_aniso2d(h.sizes, m)
                                : qf::metrics_iso_to_aniso3d(h.sizes, m);
        }),
        "metrics_from_sizes");
  return out(m);
}

py::array to_sizes(py::handle metrics, double t) {
  const dense2D<double> m = metrics_in(metrics, "metrics");
  dense1D<double> h;
  if (!h.resize(m.cols())) throw std::bad_alloc();
  by_dimension(m, [&](auto d) {
    each_metric<decltype(d)::value>(
        m, [&](std::size_t j, const auto& M) { h[j] = qf::metric_aniso_to_iso(M, t); });
    return 0;
  });
  return out(h);
}

py::tuple bound(py::handle field, double hmin, double hmax) {
  size_map_in map(field, true);
  dense1D<unsigned, 8> changed;
  const int code = unlocked([&] {
    return map.aniso ? qf::bound_metrics(map.metrics, hmin, hmax, changed)
                     : qf::bound_metrics(map.sizes, hmin, hmax, changed);
  });
  check(code, "bound_metrics",
        {{-2, "hmin must be finite, got " + number(hmin)},
         {-3, "hmax must be finite, got " + number(hmax)}});
  return py::make_tuple(map.aniso ? out(map.metrics) : out(map.sizes), out(changed));
}

py::tuple overwrite_invalid(py::handle field, py::handle reference) {
  size_map_in map(field, true);
  py::array ref = py::array::ensure(reference);
  int code;
  if (ref && ref.ndim() == 0) {
    if (map.aniso) fail("metrics take a reference metric or field, not one size");
    const double h0 = reference.cast<double>();
    code = unlocked([&] { return qf::overwrite_invalid_metrics(map.sizes, h0); });
  } else if (!map.aniso) {
    const size_map_in h0(reference, false);
    if (h0.aniso) fail("sizes take a reference size or sizes (n,)");
    code = unlocked([&] { return qf::overwrite_invalid_metrics(map.sizes, h0.sizes); });
  } else if (ref && ref.ndim() == 1 &&
             ref.shape(0) == static_cast<py::ssize_t>(map.metrics.rows())) {
    const dense2D<double> one =
        metrics_in(ref.reshape(std::vector<py::ssize_t>{1, ref.shape(0)}), "reference");
    code = unlocked([&] {
      return by_dimension(map.metrics, [&](auto d) {
        qf::symmetric_fixed<double, decltype(d)::value> M0;
        std::copy(one.column(0), one.column(0) + M0.size(), M0.data());
        return qf::overwrite_invalid_metrics(map.metrics, M0);
      });
    });
  } else {
    const dense2D<double> m0 = metrics_in(reference, "reference");
    code = unlocked([&] { return qf::overwrite_invalid_metrics(map.metrics, m0); });
  }
  check(code, "overwrite_invalid_metrics",
        {{-2, "the reference must be valid and fit the field (same packing)"}});
  return py::make_tuple(map.aniso ? out(map.metrics) : out(map.sizes), code);
}

py::array project(py::handle metrics, py::handle frames) {
  const dense2D<double> m3 = metrics_in(metrics, "metrics");
  const dense2D<double> p = metrics_in(frames, "frames");
  dense2D<double> m2;
  if (!m2.resize(kPacked2, m3.cols())) throw std::bad_alloc();
  check(unlocked([&] { return qf::metrics_aniso3d_to_aniso2d(m3, p, m2); }), "project_metrics",
        {{-1, "metrics must be 3-D, (n, 6)"},
         {-2, "frames must be (n, 6): each node's two 3-vectors, one after the other"}});
  return out(m2);
}

}  // namespace

void bind_metrics(py::module_& m) {
  m.def("is_valid_metric", &is_valid, py::arg("metrics"),
        R"(Whether each metric is positive definite, bool (n,).

metrics: float64 (n, 3) in 2-D or (n, 6) in 3-D, the packed upper
triangles (m11, m12, m22[, m13, m23, m33]) in 1 / length^2.)");
  m.def("metric_eigen", &eigen, py::arg("metrics"),
        R"(Eigenvalues and unit eigenvectors: (values (n, d) ascending, vectors
(n, d, d)), vectors[i][:, k] the eigenvector of values[i, k], a rotation.
A size of metric i along its axis k is values[i, k] ** -0.5.)");
  m.def(
      "metric_intersection", [](py::handle a, py::handle b) { return combine(a, b, true); },
      py::arg("m1"), py::arg("m2"),
      R"(Row by row the metric that asks, in every direction, the smaller of the
two sizes (simultaneous reduction), float64 of the shape of m1. Where m1 is
not positive definite the row is m1.)");
  m.def(
      "metric_union", [](py::handle a, py::handle b) { return combine(a, b, false); },
      py::arg("m1"), py::arg("m2"), R"(As metric_intersection with the larger of the two sizes.)");
  m.def("metrics_from_sizes", &from_sizes, py::arg("sizes"), py::arg("dimension"),
        R"(Isotropic metrics (1 / h^2) I of sizes h, float64 (n, 3) for dimension 2 or
(n, 6) for 3; rows of sizes <= 0 are zeros.)");
  m.def("sizes_from_metrics", &to_sizes, py::arg("metrics"), py::arg("t") = 0.0,
        R"(One size per metric, float64 (n,): hmin + t (hmax - hmin) of its smallest
and largest sizes (t = 0 the smallest, 1 the largest); 0 for a metric that
is not positive definite.)");
  m.def("bound_metrics", &bound, py::arg("field"), py::arg("hmin"), py::arg("hmax"),
        R"(The field with every size brought into [hmin, hmax] (lengths): returns
(new field, uint32 indices of the rows changed). field: sizes (n,) or
metrics (n, 3 | 6); the input is not changed. hmin <= 0 and hmax = inf
bound nothing.)");
  m.def("overwrite_invalid_metrics", &overwrite_invalid, py::arg("field"), py::arg("reference"),
        R"(The field with its invalid entries replaced: returns (new field, count).

sizes (n,): entries <= 0 take `reference` (a size > 0, or sizes (n,)
whose entry is > 0). metrics (n, 3 | 6): rows not positive definite take
`reference` (one valid metric (3 | 6,), or a field of the same packing
whose row is valid).)");
  m.def("project_metrics", &project, py::arg("metrics"), py::arg("frames"),
        R"(3-D metrics seen in per-node planes, float64 (n, 3): row i is P^T M P
with P the 3 x 2 frame frames[i] (its two 3-vectors one after the other,
(n, 6)).)");
}

}  // namespace quernfold_py
