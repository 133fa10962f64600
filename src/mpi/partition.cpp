// Partitioning the face-dual graph with PT-Scotch, repeatable for a given
// rank count: the graph is bound to a context with the deterministic option
// and a fixed seed. Then the cut and the balance, measured.
#include <ptscotch.h>

#include <algorithm>
#include <climits>

#include "mpi/exchange.h"
#include "quernfold/mpi.h"

namespace ovk {
namespace quernfold {
namespace mpi {
namespace {

using detail::exchange;
using detail::holder_of;

constexpr SCOTCH_Num kBase = 0;

struct scotch_graph {
  std::vector<SCOTCH_Num> xadj, adjncy;
};

// The local graph in Scotch's index type (32-bit in Debian's build).
struct dual {
  std::vector<std::uint64_t> xadj, adjncy;
};

int to_scotch(const face_census& c, const dual& d, scotch_graph& g) {
  const bool fits = c.first_vertex.back() < static_cast<std::uint64_t>(INT_MAX) &&
                    d.adjncy.size() < static_cast<std::uint64_t>(INT_MAX);
  if (!fits) return mpi_too_large;
  g.xadj.assign(d.xadj.begin(), d.xadj.end());
  g.adjncy.assign(d.adjncy.begin(), d.adjncy.end());
  return 0;
}

// Scotch's strategy and context, released however the partition ends.
struct scotch_run {
  SCOTCH_Dgraph graph, bound;
  SCOTCH_Strat strategy;
  SCOTCH_Context context;
  bool graph_ok = false, bound_ok = false, strategy_ok = false, context_ok = false;
  ~scotch_run() {
    if (bound_ok) SCOTCH_dgraphExit(&bound);
    if (graph_ok) SCOTCH_dgraphExit(&graph);
    if (strategy_ok) SCOTCH_stratExit(&strategy);
    if (context_ok) SCOTCH_contextExit(&context);
  }
};

int run_scotch(MPI_Comm comm, scotch_graph& g, int parts, double imbalance, int seed,
               std::vector<int>& part) {
  scotch_run s;
  int ranks = 1;
  MPI_Comm_size(comm, &ranks);
  const auto vertices = static_cast<SCOTCH_Num>(g.xadj.size() - 1);
  const auto edges = static_cast<SCOTCH_Num>(g.adjncy.size());
  g.adjncy.reserve(1);  // a valid pointer on ranks without edges
  if ((s.graph_ok = SCOTCH_dgraphInit(&s.graph, comm) == 0) == false) return mpi_partitioner;
  if (SCOTCH_dgraphBuild(&s.graph, kBase, vertices, vertices, g.xadj.data(), nullptr, nullptr,
                         nullptr, edges, edges, g.adjncy.data(), nullptr, nullptr) != 0)
    return mpi_partitioner;
  if ((s.context_ok = SCOTCH_contextInit(&s.context) == 0) == false) return mpi_partitioner;
  SCOTCH_contextRandomClone(&s.context);
  SCOTCH_contextRandomSeed(&s.context, seed);
  SCOTCH_contextOptionSetNum(&s.context, SCOTCH_OPTIONNUMDETERMINISTIC, 1);
  if ((s.bound_ok = SCOTCH_dgraphInit(&s.bound, comm) == 0) == false) return mpi_partitioner;
  if (SCOTCH_contextBindDgraph(&s.context, &s.graph, &s.bound) != 0) return mpi_partitioner;
  if ((s.strategy_ok = SCOTCH_stratInit(&s.strategy) == 0) == false) return mpi_partitioner;
  if (SCOTCH_stratDgraphMapBuild(&s.strategy, SCOTCH_STRATQUALITY, ranks, parts, imbalance) != 0)
    return mpi_partitioner;
  std::vector<SCOTCH_Num> out(static_cast<std::size_t>(vertices) + 1);
  if (SCOTCH_dgraphPart(&s.bound, parts, &s.strategy, out.data()) != 0) return mpi_partitioner;
  part.assign(out.begin(), out.begin() + vertices);
  return 0;
}

// A vertex's part, sent to the rank of a neighbour.
struct part_of {
  std::uint64_t vertex, neighbour;
  std::int64_t part;
};

void measure_partition(const face_census& c, const dual& d, const dist_mesh& mesh, int parts,
                       const std::vector<int>& part, partition_report& report) {
  const std::uint64_t first = c.first_vertex[mesh.rank];
  std::vector<std::vector<part_of>> out(mesh.ranks);
  for (std::size_t v = 0; v < part.size(); ++v)
    for (std::uint64_t k = d.xadj[v]; k < d.xadj[v + 1]; ++k)
      out[holder_of(c.first_vertex, d.adjncy[k])].push_back({first + v, d.adjncy[k], part[v]});
  std::uint64_t cut = 0;
  for (const part_of& p : exchange(mesh.comm, out))
    cut += part[p.neighbour - first] != p.part ? 1 : 0;
  report.edge_cut = detail::sum_all(mesh.comm, cut) / 2;
  report.part_elements.assign(static_cast<std::size_t>(parts), 0);
  for (int p : part) ++report.part_elements[static_cast<std::size_t>(p)];
  MPI_Allreduce(MPI_IN_PLACE, report.part_elements.data(), parts, MPI_UINT64_T, MPI_SUM, mesh.comm);
  const std::uint64_t largest =
      *std::max_element(report.part_elements.begin(), report.part_elements.end());
  const double mean = static_cast<double>(c.first_vertex.back()) / parts;
  report.imbalance = mean > 0 ? static_cast<double>(largest) / mean : 0;
}

}  // namespace

int partition_elements(const face_census& c, const dist_mesh& mesh, int parts, double imbalance,
                       int seed, std::vector<int>& part, partition_report& report) {
  report = partition_report();
  if (parts < 1 || !(imbalance >= 0)) return mpi_bad_parameter;
  dual d;
  dual_graph(c, d.xadj, d.adjncy);
  scotch_graph g;
  int code = detail::agree(mesh.comm, to_scotch(c, d, g));
  if (code == 0)
    code = detail::agree(mesh.comm, run_scotch(mesh.comm, g, parts, imbalance, seed, part));
  if (code == 0) measure_partition(c, d, mesh, parts, part, report);
  return code;
}

}  // namespace mpi
}  // namespace quernfold
}  // namespace ovk
