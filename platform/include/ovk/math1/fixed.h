// Fixed-size aggregates: points and vectors, packed symmetric matrices and
// small column-major matrices. All are plain aggregates, so
// `vector_fixed<double, 3> P{1, 2, 3};` and `symmetric_fixed<double, 2> M{1, 0, 1};`
// compile.
#pragma once

#include <cstddef>

namespace ovk {
namespace math1 {

template <class T, int N>
struct vector_fixed {
  T v[N];

  static constexpr int size() noexcept { return N; }
  T& operator[](std::size_t i) noexcept { return v[i]; }
  const T& operator[](std::size_t i) const noexcept { return v[i]; }
  T* data() noexcept { return v; }
  const T* data() const noexcept { return v; }
  T* begin() noexcept { return v; }
  T* end() noexcept { return v + N; }
  const T* begin() const noexcept { return v; }
  const T* end() const noexcept { return v + N; }
};

// Symmetric N x N matrix stored as its upper triangle packed by columns:
// entry (i, j), i <= j, is v[i + j * (j + 1) / 2]. For N = 3 the order is
// (00, 01, 11, 02, 12, 22), the packed "U" layout of LAPACK.
template <class T, int N>
struct symmetric_fixed {
  static constexpr int packed_size = N * (N + 1) / 2;
  T v[packed_size];

  static constexpr int size() noexcept { return packed_size; }
  T& operator[](std::size_t k) noexcept { return v[k]; }
  const T& operator[](std::size_t k) const noexcept { return v[k]; }
  T& operator()(std::size_t i, std::size_t j) noexcept { return v[index(i, j)]; }
  const T& operator()(std::size_t i, std::size_t j) const noexcept { return v[index(i, j)]; }
  T* data() noexcept { return v; }
  const T* data() const noexcept { return v; }

  static constexpr std::size_t index(std::size_t i, std::size_t j) noexcept {
    return i <= j ? i + j * (j + 1) / 2 : j + i * (i + 1) / 2;
  }
};

// M x N matrix, column-major: entry (i, j) is v[i + j * M].
template <class T, int M, int N>
struct matrix_fixed {
  T v[M * N];

  static constexpr int rows() noexcept { return M; }
  static constexpr int cols() noexcept { return N; }
  T& operator()(std::size_t i, std::size_t j) noexcept { return v[i + j * M]; }
  const T& operator()(std::size_t i, std::size_t j) const noexcept { return v[i + j * M]; }
  T& operator[](std::size_t k) noexcept { return v[k]; }
  const T& operator[](std::size_t k) const noexcept { return v[k]; }
  T* data() noexcept { return v; }
  const T* data() const noexcept { return v; }
};

}  // namespace math1
}  // namespace ovk
