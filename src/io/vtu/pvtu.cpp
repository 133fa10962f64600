// Partitioned VTK XML files: one .vtu piece per part with its ghost flags and
// global ids, and the .pvtu that names the pieces.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "io/shared/files.h"
#include "quernfold/partition.h"

namespace ovk {
namespace quernfold {
namespace {

namespace fs = std::filesystem;

// vtkGhostType, GlobalNodeIds and GlobalCellIds of one part.
vtu_fields part_fields(const part_mesh& p) {
  vtu_fields f;
  f.point_data.push_back({kGhostArray, vtu_array::uint8, 1, {}});
  f.point_data.push_back({kGlobalNodeArray, vtu_array::int64, 1, {}});
  for (std::size_t k = 0; k < p.global_nodes.size(); ++k) {
    f.point_data[0].values.push_back(p.node_owner[k] != p.part ? 1.0 : 0.0);
    f.point_data[1].values.push_back(static_cast<double>(p.global_nodes[k]));
  }
  f.cell_data.push_back({kGhostArray, vtu_array::uint8, 1, {}});
  f.cell_data.push_back({kGlobalCellArray, vtu_array::int64, 1, {}});
  for (std::size_t k = 0; k < p.global_elements.size(); ++k) {
    f.cell_data[0].values.push_back(p.ghost_elements[k] ? 1.0 : 0.0);
    f.cell_data[1].values.push_back(static_cast<double>(p.global_elements[k]));
  }
  return f;
}

// The .pvtu document naming the pieces.
int write_index(const char* name, const std::vector<std::string>& pieces, bool ghosts) {
  detail::scoped_file file(name, "w");
  if (!file) return -1;
  std::FILE* f = file.get();
  std::fprintf(
      f,
      "<?xml version=\"1.0\"?>\n<VTKFile type=\"PUnstructuredGrid\" version=\"1.0\" "
      "byte_order=\"LittleEndian\" header_type=\"UInt64\">\n"
      "<PUnstructuredGrid GhostLevel=\"%d\">\n<PPointData>\n"
      "<PDataArray type=\"UInt8\" Name=\"%s\"/>\n<PDataArray type=\"Int64\" Name=\"%s\"/>\n"
      "</PPointData>\n<PCellData>\n<PDataArray type=\"UInt8\" Name=\"%s\"/>\n"
      "<PDataArray type=\"Int64\" Name=\"%s\"/>\n</PCellData>\n<PPoints>\n"
      "<PDataArray type=\"Float64\" NumberOfComponents=\"3\"/>\n</PPoints>\n",
      ghosts ? 1 : 0, kGhostArray, kGlobalNodeArray, kGhostArray, kGlobalCellArray);
  for (const std::string& piece : pieces)
    std::fprintf(f, "<Piece Source=\"%s\"/>\n", piece.c_str());
  std::fprintf(f, "</PUnstructuredGrid>\n</VTKFile>\n");
  return std::fflush(f) == 0 && !std::ferror(f) ? 0 : -1;
}

std::string piece_name(const char* name, unsigned part) {
  return fs::path(name).stem().string() + "_" + std::to_string(part + 1) + ".vtu";
}

}  // namespace

int pvtu_pieces_output(const char* name, const std::vector<part_mesh>& parts,
                       vtu_encoding encoding) {
  const fs::path folder = fs::path(name).parent_path();
  for (const part_mesh& p : parts) {
    const int code = vtu_output((folder / piece_name(name, p.part)).string().c_str(), p.mesh,
                                part_fields(p), encoding);
    if (code < 0) return code;
  }
  return 0;
}

int pvtu_index_output(const char* name, unsigned parts, bool ghosts) {
  std::vector<std::string> pieces;
  for (unsigned p = 0; p < parts; ++p) pieces.push_back(piece_name(name, p));
  return write_index(name, pieces, ghosts);
}

int pvtu_output(const char* name, const std::vector<part_mesh>& parts, vtu_encoding encoding) {
  std::vector<std::string> pieces;
  bool ghosts = false;
  for (const part_mesh& p : parts) {
    pieces.push_back(piece_name(name, p.part));
    ghosts = ghosts || p.owned_elements() < p.global_elements.size();
  }
  const int code = pvtu_pieces_output(name, parts, encoding);
  return code < 0 ? code : write_index(name, pieces, ghosts);
}

}  // namespace quernfold
}  // namespace ovk
