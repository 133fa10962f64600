// Moving plain records between ranks: one all-to-all of per-rank lists, the
// owner rank of a hashed key, and the rank holding a global number of a
// contiguous distribution.
#pragma once

#include <mpi.h>

#include <algorithm>
#include <cstdint>
#include <type_traits>
#include <vector>

namespace ovk {
namespace quernfold {
namespace mpi {

struct dist_mesh;

namespace detail {

// Per local node: 1 when elements of another rank use it too (collective).
std::vector<char> shared_nodes(const dist_mesh& mesh);

// Per block: the global number of the file's first element of its kind
// (elements numbered block after block over the whole file; collective).
std::vector<std::uint64_t> block_starts(const dist_mesh& mesh);

// Records of trivially copyable type T, one list per destination rank
// (ranks lists), sent all at once; the records received come rank after
// rank. The lists are emptied.
template <class T>
std::vector<T> exchange(MPI_Comm comm, std::vector<std::vector<T>>& out) {
  static_assert(std::is_trivially_copyable<T>::value, "plain records only");
  const int ranks = static_cast<int>(out.size());
  std::vector<int> send_counts(ranks), recv_counts(ranks), send_at(ranks), recv_at(ranks);
  for (int r = 0; r < ranks; ++r) send_counts[r] = static_cast<int>(out[r].size() * sizeof(T));
  MPI_Alltoall(send_counts.data(), 1, MPI_INT, recv_counts.data(), 1, MPI_INT, comm);
  std::size_t sent = 0, received = 0;
  for (int r = 0; r < ranks; ++r) {
    send_at[r] = static_cast<int>(sent);
    recv_at[r] = static_cast<int>(received);
    sent += static_cast<std::size_t>(send_counts[r]);
    received += static_cast<std::size_t>(recv_counts[r]);
  }
  std::vector<T> send(sent / sizeof(T)), recv(received / sizeof(T));
  for (int r = 0; r < ranks; ++r) {
    std::copy(out[r].begin(), out[r].end(), send.begin() + send_at[r] / sizeof(T));
    std::vector<T>().swap(out[r]);
  }
  MPI_Alltoallv(send.data(), send_counts.data(), send_at.data(), MPI_BYTE, recv.data(),
                recv_counts.data(), recv_at.data(), MPI_BYTE, comm);
  return recv;
}

// A well-mixed 64-bit hash (the finaliser of splitmix64).
inline std::uint64_t mix(std::uint64_t x) {
  x ^= x >> 30;
  x *= 0xbf58476d1ce4e5b9ULL;
  x ^= x >> 27;
  x *= 0x94d049bb133111ebULL;
  return x ^ (x >> 31);
}

// The rank that owns the records of `key`.
inline int owner_of(std::uint64_t key, int ranks) {
  return static_cast<int>(mix(key) % static_cast<std::uint64_t>(ranks));
}

// Records moved in rounds, at most this many sent by one rank in a round
// (the exchange holds each record three times: lists, send and receive
// buffers).
inline constexpr std::uint64_t kRoundRecords = std::uint64_t(1) << 17;

// The rounds that keep every rank under kRoundRecords records a round.
inline int rounds_for(MPI_Comm comm, std::uint64_t records) {
  std::uint64_t most = 0;
  MPI_Allreduce(&records, &most, 1, MPI_UINT64_T, MPI_MAX, comm);
  return static_cast<int>(std::max<std::uint64_t>(1, (most + kRoundRecords - 1) / kRoundRecords));
}

// The round and the rank of a record with hash h: all records of one key
// meet on one rank in one round.
struct destination {
  int rank, round;
};
inline destination destination_of(std::uint64_t h, int ranks, int rounds) {
  const auto r = static_cast<std::uint64_t>(ranks);
  return {static_cast<int>(h % r), static_cast<int>(h / r % static_cast<std::uint64_t>(rounds))};
}

// Items listed by the round that sends them: round r sends
// items[start[r]] .. items[start[r + 1] - 1] (start: rounds + 1 entries).
struct round_lists {
  std::vector<std::size_t> start;
  std::vector<std::uint64_t> items;
  int rounds() const { return static_cast<int>(start.size()) - 1; }
};

// The rounds that keep every rank under kRoundRecords records a round, and
// the items (hash, item) listed by the round of their hash; `sent` is
// emptied.
inline round_lists by_round(MPI_Comm comm, int ranks,
                            std::vector<std::pair<std::uint64_t, std::uint64_t>>& sent) {
  const int rounds = rounds_for(comm, sent.size());
  const auto round_of = [ranks, rounds](std::uint64_t h) {
    return static_cast<std::size_t>(destination_of(h, ranks, rounds).round);
  };
  round_lists lists;
  lists.start.assign(static_cast<std::size_t>(rounds) + 1, 0);
  for (const auto& s : sent) ++lists.start[round_of(s.first) + 1];
  for (int r = 0; r < rounds; ++r) lists.start[r + 1] += lists.start[r];
  lists.items.resize(sent.size());
  std::vector<std::size_t> at(lists.start.begin(), lists.start.end() - 1);
  for (const auto& s : sent) lists.items[at[round_of(s.first)]++] = s.second;
  std::vector<std::pair<std::uint64_t, std::uint64_t>>().swap(sent);
  return lists;
}

// The rank r with first[r] <= n < first[r + 1] (first: ranks + 1 entries).
inline int holder_of(const std::vector<std::uint64_t>& first, std::uint64_t n) {
  return static_cast<int>(std::upper_bound(first.begin(), first.end(), n) - first.begin()) - 1;
}

// first[r] = sum of count over ranks before r; ranks + 1 entries.
inline std::vector<std::uint64_t> distribution(MPI_Comm comm, std::uint64_t count) {
  int ranks = 1;
  MPI_Comm_size(comm, &ranks);
  std::vector<std::uint64_t> counts(ranks), first(ranks + 1, 0);
  MPI_Allgather(&count, 1, MPI_UINT64_T, counts.data(), 1, MPI_UINT64_T, comm);
  for (int r = 0; r < ranks; ++r) first[r + 1] = first[r] + counts[r];
  return first;
}

inline std::uint64_t sum_all(MPI_Comm comm, std::uint64_t v) {
  std::uint64_t total = 0;
  MPI_Allreduce(&v, &total, 1, MPI_UINT64_T, MPI_SUM, comm);
  return total;
}

// The same code on every rank: the most negative one.
inline int agree(MPI_Comm comm, int code) {
  int worst = 0;
  MPI_Allreduce(&code, &worst, 1, MPI_INT, MPI_MIN, comm);
  return worst;
}

}  // namespace detail
}  // namespace mpi
}  // namespace quernfold
}  // namespace ovk
