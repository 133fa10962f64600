#include "io/shared/ranges.h"

#include "quernfold/topology.h"

namespace ovk {
namespace quernfold {
namespace detail {

int check_range(const dense2D<double>& coords, const dense2D<unsigned>* first,
                const dense2D<unsigned>* last, const dense1D<int>& types, unsigned bound,
                std::size_t min_rows, std::size_t max_rows) noexcept {
  if (coords.rows() < min_rows || coords.rows() > max_rows) return -2;
  if (first > last) return -4;
  const std::size_t n = static_cast<std::size_t>(last - first);
  if (n != types.size()) return -5;
  for (std::size_t i = 0; i < n; ++i) {
    if (!is_element_type(types[i])) return -3;
    if (!check_IDs(first[i], static_cast<element_type>(types[i]), bound)) return -3;
  }
  return 0;
}

namespace {

// The linear shape of a group of `count` used nodes in a mixed matrix;
// ET_UNKNOWN for counts that name no shape of that kind.
element_type group_shape(element_type mixed, unsigned count) noexcept {
  if (mixed == ET_FACE_MIX) {
    if (count == 3) return ET_TRIA3;
    if (count == 4) return ET_QUAD4;
    return ET_UNKNOWN;
  }
  switch (count) {
    case 4:
      return ET_TETRA4;
    case 5:
      return ET_PYRAMID5;
    case 6:
      return ET_WEDGE6;
    case 8:
      return ET_HEXA8;
    default:
      return ET_UNKNOWN;
  }
}

// Groups a copy of a mixed matrix by node count and appends one piece per
// group of a known shape, each as tall as its node count.
int split_one(const dense2D<unsigned>& connectM, element_type mixed, unsigned source,
              std::vector<mesh_part>& parts) {
  dense2D<unsigned> grouped;
  dense1D<unsigned> group_nodes, group_ends, new_indices;
  if (!grouped.copy(connectM)) return no_memory;
  const int code = sort_elfes(grouped, group_nodes, group_ends, new_indices);
  if (code < 0) return code;
  std::size_t begin = 0;
  for (std::size_t g = 0; g < group_nodes.size(); ++g) {
    const std::size_t end = group_ends[g];
    const element_type shape = group_shape(mixed, group_nodes[g]);
    if (shape != ET_UNKNOWN && end > begin)
      parts.push_back({grouped.sub_matrix(0, begin, group_nodes[g], end - begin), shape, source});
    begin = end;
  }
  return 0;
}

}  // namespace

int split_mixed(const dense2D<unsigned>* first, const dense2D<unsigned>* last,
                const dense1D<int>& types, std::vector<mesh_part>& parts) {
  parts.clear();
  for (std::size_t i = 0; first + i < last; ++i) {
    const dense2D<unsigned>& M = first[i];
    if (M.empty()) continue;
    const element_type type = static_cast<element_type>(types[i]);
    const unsigned source = static_cast<unsigned>(i);
    if (type != ET_FACE_MIX && type != ET_SOLID_MIX) {
      parts.push_back({M, type, source});
      continue;
    }
    const int code = split_one(M, type, source, parts);
    if (code < 0) return code;
  }
  return 0;
}

int write_one(range_writer write, const char* name, const dense2D<double>& coords,
              const dense2D<unsigned>& connectM, element_type type) {
  dense1D<int> types;
  if (!types.resize(1, type)) return no_memory;
  return write(name, coords, &connectM, &connectM + 1, types);
}

int write_two(range_writer write, const char* name, const dense2D<double>& coords,
              const dense2D<unsigned>& connectM1, const dense2D<unsigned>& connectM2,
              element_type type1, element_type type2) {
  const dense2D<unsigned> mats[2] = {connectM1, connectM2};
  dense1D<int> types;
  if (!types.resize(2)) return no_memory;
  types[0] = type1;
  types[1] = type2;
  return write(name, coords, mats, mats + 2, types);
}

}  // namespace detail
}  // namespace quernfold
}  // namespace ovk
