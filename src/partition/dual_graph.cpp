// Face-dual graphs: faces are bucketed by their smallest vertex node (a
// counting sort, two passes over the elements so the faces are stored once),
// each bucket is sorted by its remaining nodes, and the elements of equal
// faces are joined. Rows are then sorted and cleared of repeats.
#include <algorithm>
#include <cstdint>
#include <limits>
#include <new>
#include <vector>

#include "common/faces.h"
#include "partition/element_walk.h"
#include "quernfold/partition.h"
#include "quernfold/topology.h"

namespace ovk {
namespace quernfold {
namespace {

// A face in its bucket: the nodes after the smallest, ascending, padded with
// no_index (so a triangle never equals a quadrangle), and its element.
struct bucket_face {
  std::uint32_t rest[3];
  std::uint32_t element;
  bool same_face(const bucket_face& o) const {
    return rest[0] == o.rest[0] && rest[1] == o.rest[1] && rest[2] == o.rest[2];
  }
  bool operator<(const bucket_face& o) const {
    if (!same_face(o)) return std::lexicographical_compare(rest, rest + 3, o.rest, o.rest + 3);
    return element < o.element;
  }
};

// The four slots in ascending order (a sorting network). The unused slots of
// a triangle or an edge hold no_index, above every node, so they stay last and
// the used slots come out as a sort of those alone would give them.
void sort_face_slots(std::uint32_t (&n)[4]) {
  auto order = [&](int a, int b) {
    if (n[b] < n[a]) std::swap(n[a], n[b]);
  };
  order(0, 1), order(2, 3), order(0, 2), order(1, 3), order(1, 2);
}

// Calls visit(anchor, face) for every face of every element.
template <class Visit>
void for_each_face(const std::vector<detail::element_block>& blocks, Visit&& visit) {
  std::uint32_t element = 0;
  for (const detail::element_block& b : blocks) {
    for (std::size_t j = 0; j < b.connect->cols(); ++j, ++element) {
      const unsigned* column = b.connect->column(j);
      const detail::face_table& table = *detail::faces_of_shape(b.shape_of(column));
      for (unsigned f = 0; f < table.count; ++f) {
        std::uint32_t n[4] = {no_index, no_index, no_index, no_index};
        for (unsigned k = 0; k < table.size[f]; ++k) n[k] = column[table.nodes[f][k]];
        sort_face_slots(n);
        visit(n[0], bucket_face{{n[1], n[2], n[3]}, element});
      }
    }
  }
}

// Faces bucketed by their smallest node: bucket v is faces[start[v]] ..
// faces[start[v + 1] - 1], sorted.
void bucket_faces(const std::vector<detail::element_block>& blocks, std::size_t nodes,
                  std::vector<std::int64_t>& start, std::vector<bucket_face>& faces) {
  start.assign(nodes + 1, 0);
  for_each_face(blocks, [&](std::uint32_t anchor, const bucket_face&) { ++start[anchor + 1]; });
  for (std::size_t v = 0; v < nodes; ++v) start[v + 1] += start[v];
  faces.resize(static_cast<std::size_t>(start[nodes]));
  std::vector<std::int64_t> fill(start.begin(), start.end() - 1);
  for_each_face(blocks, [&](std::uint32_t anchor, const bucket_face& face) {
    faces[static_cast<std::size_t>(fill[anchor]++)] = face;
  });
  for (std::size_t v = 0; v < nodes; ++v) std::sort(&faces[start[v]], &faces[start[v + 1]]);
}

// Calls join(a, b) for every pair of distinct elements of every group of
// equal faces (a < b; a pair may come more than once).
template <class Join>
void join_equal_faces(const std::vector<std::int64_t>& start, const std::vector<bucket_face>& faces,
                      Join&& join) {
  for (std::size_t v = 0; v + 1 < start.size(); ++v) {
    for (std::int64_t i = start[v]; i < start[v + 1];) {
      std::int64_t end = i + 1;
      while (end < start[v + 1] && faces[end].same_face(faces[i])) ++end;
      for (std::int64_t a = i; a < end; ++a)
        for (std::int64_t b = a + 1; b < end; ++b)
          if (faces[a].element != faces[b].element) join(faces[a].element, faces[b].element);
      i = end;
    }
  }
}

// Rows of the joined pairs, each sorted, repeats removed, compacted.
void build_rows(const std::vector<std::int64_t>& start, const std::vector<bucket_face>& faces,
                std::size_t elements, csr_graph& graph) {
  std::vector<std::int64_t>& xadj = graph.xadj;
  xadj.assign(elements + 1, 0);
  join_equal_faces(start, faces, [&](std::uint32_t a, std::uint32_t b) {
    ++xadj[a + 1];
    ++xadj[b + 1];
  });
  for (std::size_t e = 0; e < elements; ++e) xadj[e + 1] += xadj[e];
  std::vector<std::int32_t>& adj = graph.adjncy;
  adj.resize(static_cast<std::size_t>(xadj[elements]));
  std::vector<std::int64_t> fill(xadj.begin(), xadj.end() - 1);
  join_equal_faces(start, faces, [&](std::uint32_t a, std::uint32_t b) {
    adj[static_cast<std::size_t>(fill[a]++)] = static_cast<std::int32_t>(b);
    adj[static_cast<std::size_t>(fill[b]++)] = static_cast<std::int32_t>(a);
  });
  detail::sort_unique_rows(graph);
}

int dual_graph_of(const std::vector<detail::element_block>& blocks, csr_graph& graph) try {
  graph = csr_graph();
  std::size_t elements = 0, nodes = 0;
  for (const detail::element_block& b : blocks) {
    elements += b.connect->cols();
    const unsigned top = max_ID(*b.connect);
    if (b.connect->cols() > 0 && top != no_index) nodes = std::max<std::size_t>(nodes, top + 1ull);
  }
  if (elements > std::size_t(std::numeric_limits<std::int32_t>::max())) return partition_too_large;
  std::vector<std::int64_t> start;
  std::vector<bucket_face> faces;
  bucket_faces(blocks, nodes, start, faces);
  build_rows(start, faces, elements, graph);
  return 0;
} catch (const std::bad_alloc&) {
  graph = csr_graph();
  return no_memory;
}

}  // namespace

int get_dual_graph(const dense2D<unsigned>* first, const dense2D<unsigned>* last,
                   const dense1D<int>& types, csr_graph& graph) {
  std::vector<detail::element_block> blocks;
  const int code = detail::face_blocks(first, last, types, ~0U, blocks);
  if (code < 0) {
    graph = csr_graph();
    return code;
  }
  return dual_graph_of(blocks, graph);
}

int get_dual_graph(const dense2D<unsigned>& connectM, element_type type, csr_graph& graph) {
  dense1D<int> types(1, static_cast<int>(type));
  return get_dual_graph(&connectM, &connectM + 1, types, graph);
}

int get_dual_graph(const mesh_data& mesh, csr_graph& graph) {
  std::vector<detail::element_block> blocks;
  const int code = detail::face_blocks(mesh, blocks);
  if (code < 0) {
    graph = csr_graph();
    return code;
  }
  return dual_graph_of(blocks, graph);
}

int get_node_graph(const dense2D<unsigned>& connectM, element_type type, csr_graph& graph) try {
  graph = csr_graph();
  dense1D<unsigned> offsets, nodes;
  const int code = get_node_graph(connectM, offsets, nodes, type);
  if (code < 0) return code;
  if (nodes.size() > std::size_t(std::numeric_limits<std::int32_t>::max()) ||
      offsets.size() > std::size_t(std::numeric_limits<std::int32_t>::max()))
    return partition_too_large;
  graph.xadj.assign(offsets.begin(), offsets.end());
  graph.adjncy.assign(nodes.begin(), nodes.end());
  detail::sort_unique_rows(graph);
  return 0;
} catch (const std::bad_alloc&) {
  graph = csr_graph();
  return no_memory;
}

}  // namespace quernfold
}  // namespace ovk
