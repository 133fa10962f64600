// The vertices of the face-dual graph in the file's order after the
// elements moved: each rank numbers its elements of the mesh's dimension
// before the move, the numbers travel with them, and the values and graph
// rows found afterwards go back to the ranks that held those numbers.
#include <algorithm>

#include "mpi/exchange.h"
#include "quernfold/mpi.h"

namespace ovk {
namespace quernfold {
namespace mpi {
namespace {

using detail::exchange;
using detail::holder_of;

constexpr std::uint64_t kNotVertex = ~std::uint64_t(0);

// A value on its way to the rank of its old vertex.
struct numbered_value {
  std::uint64_t vertex;
  std::int64_t value;
};

// A question about a vertex number, or its answer.
struct vertex_pair {
  std::uint64_t vertex, other;
};

// The old numbers of the census's vertices (the elements of the mesh's
// dimension, block after block).
std::vector<std::uint64_t> vertices_of(const std::vector<std::uint64_t>& numbers) {
  std::vector<std::uint64_t> before;
  for (std::uint64_t n : numbers)
    if (n != kNotVertex) before.push_back(n);
  return before;
}

// Old numbers of the remote neighbours in `adjncy` (new global numbers),
// asked of the ranks holding them.
void translate(const face_census& c, MPI_Comm comm, const std::vector<std::uint64_t>& before,
               std::vector<std::uint64_t>& adjncy) {
  const int ranks = static_cast<int>(c.first_vertex.size()) - 1;
  const std::uint64_t first = c.first_vertex[c.rank], last = c.first_vertex[c.rank + 1];
  std::vector<std::uint64_t> remote;
  for (std::uint64_t n : adjncy)
    if (n < first || n >= last) remote.push_back(n);
  std::sort(remote.begin(), remote.end());
  remote.erase(std::unique(remote.begin(), remote.end()), remote.end());
  std::vector<std::vector<vertex_pair>> asks(ranks);
  for (std::uint64_t n : remote)
    asks[holder_of(c.first_vertex, n)].push_back({n, static_cast<std::uint64_t>(c.rank)});
  std::vector<std::vector<vertex_pair>> answers(ranks);
  for (const vertex_pair& q : exchange(comm, asks))
    answers[q.other].push_back({q.vertex, before[q.vertex - first]});
  std::vector<vertex_pair> known = exchange(comm, answers);
  std::sort(known.begin(), known.end(),
            [](const vertex_pair& a, const vertex_pair& b) { return a.vertex < b.vertex; });
  for (std::uint64_t& n : adjncy) {
    if (n >= first && n < last) {
      n = before[n - first];
      continue;
    }
    n = std::lower_bound(known.begin(), known.end(), n, [](const vertex_pair& a, std::uint64_t v) {
          return a.vertex < v;
        })->other;
  }
}

}  // namespace

void vertex_numbers(const dist_mesh& mesh, std::vector<std::uint64_t>& numbers,
                    std::vector<std::uint64_t>& first) {
  const unsigned dim = mesh_dimension(mesh);
  std::uint64_t count = 0;
  for (const mesh_block& b : mesh.local.blocks)
    count += element_dim(b.type) == dim ? b.connectM.cols() : 0;
  first = detail::distribution(mesh.comm, count);
  numbers.clear();
  std::uint64_t next = first[mesh.rank];
  for (const mesh_block& b : mesh.local.blocks)
    for (std::size_t j = 0; j < b.connectM.cols(); ++j)
      numbers.push_back(element_dim(b.type) == dim ? next++ : kNotVertex);
}

void back_to_file_order(MPI_Comm comm, const std::vector<std::uint64_t>& numbers,
                        const std::vector<std::uint64_t>& first_before, std::vector<int>& values) {
  const std::vector<std::uint64_t> before = vertices_of(numbers);
  std::vector<std::vector<numbered_value>> out(first_before.size() - 1);
  for (std::size_t v = 0; v < before.size(); ++v)
    out[holder_of(first_before, before[v])].push_back({before[v], values[v]});
  std::vector<numbered_value> got = exchange(comm, out);
  std::sort(got.begin(), got.end(),
            [](const numbered_value& a, const numbered_value& b) { return a.vertex < b.vertex; });
  values.clear();
  for (const numbered_value& g : got) values.push_back(static_cast<int>(g.value));
}

void dual_graph_in_file_order(const face_census& c, MPI_Comm comm,
                              const std::vector<std::uint64_t>& numbers,
                              const std::vector<std::uint64_t>& first_before,
                              std::vector<std::uint64_t>& xadj,
                              std::vector<std::uint64_t>& adjncy) {
  const std::vector<std::uint64_t> before = vertices_of(numbers);
  dual_graph(c, xadj, adjncy);
  translate(c, comm, before, adjncy);
  // Rows [old vertex, neighbours, old numbers...] to the rank of the old vertex.
  std::vector<std::vector<std::uint64_t>> out(first_before.size() - 1);
  for (std::size_t v = 0; v + 1 < xadj.size(); ++v) {
    std::vector<std::uint64_t>& to = out[holder_of(first_before, before[v])];
    to.push_back(before[v]);
    to.push_back(xadj[v + 1] - xadj[v]);
    const std::size_t row = to.size();
    to.insert(to.end(), adjncy.begin() + static_cast<std::ptrdiff_t>(xadj[v]),
              adjncy.begin() + static_cast<std::ptrdiff_t>(xadj[v + 1]));
    std::sort(to.begin() + static_cast<std::ptrdiff_t>(row), to.end());
  }
  const std::vector<std::uint64_t> got = exchange(comm, out);
  std::vector<std::pair<std::uint64_t, std::size_t>> rows;  // (old vertex, position in got)
  for (std::size_t i = 0; i < got.size(); i += 2 + got[i + 1]) rows.emplace_back(got[i], i);
  std::sort(rows.begin(), rows.end());
  xadj.assign(1, 0);
  adjncy.clear();
  for (const auto& [vertex, at] : rows) {
    adjncy.insert(adjncy.end(), got.begin() + static_cast<std::ptrdiff_t>(at + 2),
                  got.begin() + static_cast<std::ptrdiff_t>(at + 2 + got[at + 1]));
    xadj.push_back(adjncy.size());
  }
}

}  // namespace mpi
}  // namespace quernfold
}  // namespace ovk
