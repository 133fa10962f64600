// Collecting plain records of every rank on rank 0, rank after rank.
#pragma once

#include <mpi.h>

#include <type_traits>
#include <vector>

namespace ovk {
namespace quernfold {
namespace mpi {
namespace detail {

// The records of every rank on rank 0, rank after rank (other ranks: empty).
// Each rank sends less than 2 GiB.
template <class T>
std::vector<T> gather_on_first(MPI_Comm comm, const std::vector<T>& mine) {
  static_assert(std::is_trivially_copyable<T>::value, "plain records only");
  int rank = 0, ranks = 1;
  MPI_Comm_rank(comm, &rank);
  MPI_Comm_size(comm, &ranks);
  const int bytes = static_cast<int>(mine.size() * sizeof(T));
  std::vector<int> counts(rank == 0 ? ranks : 0), at(rank == 0 ? ranks : 0);
  MPI_Gather(&bytes, 1, MPI_INT, counts.data(), 1, MPI_INT, 0, comm);
  std::size_t total = 0;
  for (int r = 0; r < static_cast<int>(counts.size()); ++r) {
    at[r] = static_cast<int>(total);
    total += static_cast<std::size_t>(counts[r]);
  }
  std::vector<T> all(total / sizeof(T));
  MPI_Gatherv(mine.data(), bytes, MPI_BYTE, all.data(), counts.data(), at.data(), MPI_BYTE, 0,
              comm);
  return all;
}

}  // namespace detail
}  // namespace mpi
}  // namespace quernfold
}  // namespace ovk
