// Linear shapes of the element kinds and the checks of the blocks that the
// partitioning code walks.
#include "partition/element_walk.h"

#include <algorithm>

#include "common/edges.h"
#include "common/faces.h"

namespace ovk {
namespace quernfold {
namespace detail {

element_type linear_shape(element_type type) noexcept {
  const element_type base = linear_base_shape(type);
  if (base != ET_UNKNOWN) return base;
  switch (type) {
    case ET_PYRAMID13:
      return ET_PYRAMID5;
    case ET_WEDGE15:
      return ET_WEDGE6;
    case ET_HEXA20:
      return ET_HEXA8;
    case ET_FACE_MIX:
    case ET_SOLID_MIX:
      return type;
    default:
      return ET_UNKNOWN;
  }
}

namespace {

// One matrix of kind `type` admitted as a block: partition_bad_type when its
// kind has no faces or it fails check_IDs against `bound`.
int admit(const dense2D<unsigned>& connect, int type, unsigned bound,
          std::vector<element_block>& blocks) {
  if (type < ET_UNKNOWN || type > ET_HEXA27) return partition_bad_type;
  const element_type kind = narrow_mixed(static_cast<element_type>(type), connect.rows());
  const element_block block{&connect, kind, linear_shape(kind)};
  if (!block.mixed() && !faces_of_shape(block.shape)) return partition_bad_type;
  if (!check_IDs(connect, kind, bound)) return partition_bad_type;
  blocks.push_back(block);
  return 0;
}

}  // namespace

int face_blocks(const dense2D<unsigned>* first, const dense2D<unsigned>* last,
                const dense1D<int>& types, unsigned bound, std::vector<element_block>& blocks) {
  blocks.clear();
  int code = last < first || std::size_t(last - first) != types.size() ? partition_bad_type : 0;
  for (std::size_t i = 0; code == 0 && i < types.size(); ++i)
    code = admit(first[i], types[i], bound, blocks);
  if (code < 0) blocks.clear();
  return code;
}

int face_blocks(const mesh_data& mesh, std::vector<element_block>& blocks) {
  blocks.clear();
  const unsigned bound = static_cast<unsigned>(mesh.coords.cols());
  int code = 0;
  for (std::size_t b = 0; code == 0 && b < mesh.blocks.size(); ++b)
    code = admit(mesh.blocks[b].connectM, mesh.blocks[b].type, bound, blocks);
  if (code < 0) blocks.clear();
  return code;
}

void sort_unique_rows(csr_graph& graph) {
  std::int64_t out = 0;
  for (std::size_t v = 0; v + 1 < graph.xadj.size(); ++v) {
    const std::int64_t begin = graph.xadj[v], end = graph.xadj[v + 1];
    std::int32_t* row = graph.adjncy.data() + begin;
    std::sort(row, row + (end - begin));
    graph.xadj[v] = out;
    for (std::int64_t i = begin; i < end; ++i)
      if (i == begin || graph.adjncy[i] != graph.adjncy[i - 1])
        graph.adjncy[static_cast<std::size_t>(out++)] = graph.adjncy[i];
  }
  if (!graph.xadj.empty()) graph.xadj.back() = out;
  graph.adjncy.resize(static_cast<std::size_t>(out));
}

}  // namespace detail
}  // namespace quernfold
}  // namespace ovk
