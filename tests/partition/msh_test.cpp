// Partitioned MSH files: ours read back here element by element with their
// partitions, read by gmsh itself (msh_check.py) with the partitions and
// ghosts we wrote, and gmsh's own partitioned and split files read here.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

#include "partition/mixed_cube.h"

using namespace quernfold_test;

namespace {

std::string temp(const std::string& name) { return testing::TempDir() + name; }

struct read_elements {
  int code = 0;
  // kind and global node ids (from the coordinates) -> reference.
  std::multimap<std::pair<int, std::vector<long>>, unsigned> refs;
};

// Reads a file with the core form; a node's global id is its place in the
// grid of mixed_cube(n).
read_elements read_msh(const std::string& path, unsigned n) {
  dense2D<double> coords;
  dense2D<unsigned> connect;
  dense1D<unsigned> bounds, refs;
  dense1D<int> types;
  read_elements out;
  out.code = msh_input(path.c_str(), coords, connect, bounds, types, refs);
  for (std::size_t r = 0; out.code == 0 && r < types.size(); ++r)
    for (std::size_t j = bounds[r]; j < bounds[r + 1]; ++j) {
      std::vector<long> ids;
      for (unsigned k = 0; k < nbr_nodes(element_type(types[r])); ++k) {
        const double* x = coords.column(connect(k, j));
        ids.push_back(std::lround(x[0] + (n + 1) * (x[1] + (n + 1) * x[2])));
      }
      out.refs.insert({{types[r], ids}, refs[j]});
    }
  return out;
}

std::string lines_of(const std::string& path) {
  std::stringstream s;
  s << std::ifstream(path).rdbuf();
  return s.str();
}

TEST(PartitionedMsh, OursReadBackHereAndByGmsh) {
  const unsigned n = 3, parts = 3;
  const mesh_data m = mixed_cube(n);
  partition_result r;
  std::vector<part_mesh> split;
  ASSERT_EQ(partition_mesh(m, parts, partition_options(), r), 0);
  ASSERT_EQ(split_mesh(m, r.part, parts, 1, split), 0);
  ASSERT_EQ(msh_partitioned_output(temp("parts.msh").c_str(), split, false), 0);
  ASSERT_EQ(msh_partitioned_output(temp("split.msh").c_str(), split, true), 0);
  // What each file must hold: kind and global nodes -> partition.
  std::multimap<std::pair<int, std::vector<long>>, unsigned> want;
  std::vector<std::multimap<std::pair<int, std::vector<long>>, unsigned>> want_split(parts);
  std::ofstream expected(temp("expected.txt"));
  std::size_t e = 0;
  for (const mesh_block& b : m.blocks)
    for (std::size_t j = 0; j < b.connectM.cols(); ++j, ++e) {
      std::pair<int, std::vector<long>> key{b.type, {}};
      for (std::size_t k = 0; k < b.connectM.rows(); ++k) key.second.push_back(b.connectM(k, j));
      want.insert({key, r.part[e] + 1});
      want_split[r.part[e]].insert({key, r.part[e] + 1});
    }
  EXPECT_EQ(read_msh(temp("parts.msh"), n).refs, want);
  for (unsigned p = 0; p < parts; ++p) {
    const std::string name = "split_" + std::to_string(p + 1) + ".msh";
    EXPECT_EQ(read_msh(temp(name), n).refs, want_split[p]) << name;
    std::size_t ghosts = 0;
    for (std::size_t k = 0; k < split[p].global_elements.size(); ++k) {
      std::size_t block = 0, local = k;
      while (local >= split[p].mesh.blocks[block].connectM.cols())
        local -= split[p].mesh.blocks[block++].connectM.cols();
      ghosts += split[p].ghost_elements[k] && element_dim(split[p].mesh.blocks[block].type) == 3;
    }
    expected << "parts.msh part " << p + 1 << " " << split[p].owned_elements() << "\n"
             << "parts.msh ghost " << p + 1 << " " << ghosts << "\n"
             << name << " part " << p + 1 << " " << split[p].owned_elements() << "\n"
             << name << " meshio 0 " << split[p].owned_elements() << "\n";
  }
  expected.close();
  const std::string command = "/usr/bin/python3 " + std::string(QUERNFOLD_FIXTURE_DIR) +
                              "/../partition/msh_check.py " + temp("") + " > " +
                              temp("msh_report") + " 2>&1";
  const int status = WEXITSTATUS(std::system(command.c_str()));
  if (status == 77) GTEST_SKIP() << "gmsh's Python module is absent";
  ASSERT_EQ(status, 0) << lines_of(temp("msh_report"));
  // gmsh's own files: the tetrahedra of each partition as gmsh counted them.
  std::map<unsigned, std::size_t> counts, whole;
  std::istringstream list(lines_of(temp("gmsh_counts.txt")));
  for (unsigned part, count; list >> part >> count;) counts[part] = count;
  ASSERT_EQ(counts.size(), 4u);
  for (const char* name : {"gmsh_whole.msh", "gmsh_binary.msh"}) {
    whole.clear();
    for (const auto& [key, ref] : read_msh(temp(name), n).refs)
      if (key.first == ET_TETRA4) ++whole[ref];
    EXPECT_EQ(whole, counts) << name;
  }
  for (unsigned p = 1; p <= 4; ++p) {
    std::map<unsigned, std::size_t> one;
    const read_elements got = read_msh(temp("gmsh_split_" + std::to_string(p) + ".msh"), n);
    EXPECT_EQ(got.code, 0);
    for (const auto& [key, ref] : got.refs)
      if (key.first == ET_TETRA4) ++one[ref];
    EXPECT_EQ(one, (std::map<unsigned, std::size_t>{{p, counts[p]}}));
  }
}

}  // namespace
