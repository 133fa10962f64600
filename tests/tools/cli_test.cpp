// The library's format table (files after a refused read or a failed write;
// round trips are with the writer tests) and the quernfold
// command-line tool run as a user would: exit statuses, key lines, JSON,
// outputs read back, and targets left alone by failed runs.
#include <gtest/gtest.h>
#include <quernfold/quernfold.h>
#include <sys/wait.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "support/io_files.h"

namespace {

namespace fs = std::filesystem;
using json = nlohmann::json;
using namespace ovk::quernfold;
using quernfold_test::io_test;
using quernfold_test::read_file;

// Names of the entries of a directory, sorted.
std::vector<std::string> listing(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

using MeshFiles = io_test;

TEST_F(MeshFiles, RefusedReadsAndFailedWrites) {
  fs::create_directory(path("dir.stl"));
  std::ofstream(path("past.obj")) << "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\nf 1 2 7\n";
  std::ofstream(path("keep.stl")) << "old";
  mesh_data mesh;
  node_reference at{};
  EXPECT_CODES({read_mesh(path("m.geo").c_str(), mesh), mesh_not_supported},
               {read_mesh(path("past.obj").c_str(), mesh), mesh_missing_node},
               {find_missing_node(mesh, at), 1}, {at.block, 0}, {at.element, 1}, {at.slot, 2},
               {at.node, 6});

  const std::vector<std::string> before = listing(dir_);
  EXPECT_EQ(write_mesh(path("keep.stl").c_str(), mesh, write_options()), mesh_invalid_block);
  mesh.blocks.clear();
  mesh.coords.resize(1, 3);  // the STL writer takes 2 or 3 rows: it fails once started
  EXPECT_EQ(write_mesh(path("keep.stl").c_str(), mesh, write_options()), -2);
  mesh.coords.resize(3, 3);
  EXPECT_EQ(write_mesh(path("dir.stl").c_str(), mesh, write_options()), -1);
  EXPECT_EQ(listing(dir_), before);
  EXPECT_EQ(read_file(path("keep.stl")), "old");
}

// Every field of the JSON text `want` has its value in `got`.
void expect_fields(const json& got, const char* want) {
  const json fields = json::parse(want);
  for (auto field = fields.begin(); field != fields.end(); ++field)
    EXPECT_EQ(got.value(field.key(), json()), field.value()) << field.key();
}

struct run_result {
  int status;
  std::string out, err;
};

bool has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

class Cli : public io_test {
 protected:
  void SetUp() override {
    io_test::SetUp();
    fs::create_directory(dir_ / "work");
  }

  // Runs the tool in the work directory.
  run_result run(const std::string& arguments) {
    const std::string cmd =
        "cd " + tmp("") + " && " + QUERNFOLD_CLI + " " + arguments + " > ../out.txt 2> ../err.txt";
    const int raw = std::system(cmd.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, read_file(dir_ / "out.txt"),
            read_file(dir_ / "err.txt")};
  }

  std::vector<std::string> listing() const { return ::listing(dir_ / "work"); }

  std::string sample() const { return std::string(QUERNFOLD_EXAMPLES_DIR) + "/sample.stl"; }
  std::string block() const { return std::string(QUERNFOLD_FIXTURE_DIR) + "/tools/gmsh_block.bdf"; }
  std::string tmp(const std::string& name) const { return (dir_ / "work" / name).string(); }
};

TEST_F(Cli, HelpVersionAndUsageErrors) {
  EXPECT_EQ(run("--version").out, "quernfold 5.1.0.0\n");
  for (const char* cmd : {"info", "quality", "convert", "clean", "merge", "boundary", "sizemap"})
    EXPECT_TRUE(has(run(std::string(cmd) + " --help").out, cmd + std::string(" [options]"))) << cmd;
  // Every refused command line exits 1 and writes nothing.
  const std::string in = sample();
  for (const std::string& args : std::vector<std::string>{
           "", "frobnicate x", "info --frob " + in, "quality --bins 0 " + in, "convert " + in,
           "clean --tol -1 " + in + " o.stl", "sizemap " + in + " o.stl", "info mesh.xyz"})
    EXPECT_EQ(run(args).status, 1) << args;
  EXPECT_TRUE(listing().empty());
}

TEST_F(Cli, InfoAndBoundaryOfTheMixedSolidBlock) {
  // Hexahedra, wedges, tetrahedra and pyramids in one block (gmsh), with
  // boundary triangles and quadrangles: an independent count of the faces
  // held by one solid gives 108 triangles + 108 quadrangles, in one part.
  // gmsh's bars carry an orientation vector after their nodes: read as lines.
  const run_result r = run("info --json " + block() + " " + sample());
  ASSERT_EQ(r.status, 0) << r.err;
  const json all = json::parse(r.out);
  ASSERT_EQ(all.size(), 2u);
  expect_fields(all[0], R"({"format": "NASTRAN bulk data", "dimension": 3, "cells": {"line": 108,
      "quad": 135, "triangle": 108, "hexahedron": 54, "wedge": 54, "tetra": 254, "pyramid": 18},
      "bounding_box": [[0, 0, 0], [4, 1, 1]], "boundary_faces": 216, "parts": 1})");
  EXPECT_EQ(all[0]["quality"]["max"], 1.0);  // the hexahedra are cubes
  // The torus's box: exact numbers, as the sample writes them.
  expect_fields(all[1], R"({"bounding_box": [[-2.75, -2.75, -0.75], [2.75, 2.75, 0.75]]})");

  const run_result skinned = run("boundary " + block() + " skin.obj");
  EXPECT_TRUE(has(skinned.out, "216 faces, 108 triangle, 108 quad")) << skinned.err;
  // Unit boxes cut in thirds: 13 rings of 12 nodes along x, and the 4 inner
  // nodes of each end.
  expect_fields(json::parse(run("info --json skin.obj").out),
                R"({"boundary_faces": 0, "nodes": 164})");
  const run_result closed = run("boundary " + sample() + " closed.obj");
  EXPECT_TRUE(has(closed.out, "0 faces; 0 nodes (the mesh is closed)")) << closed.out;
}

TEST_F(Cli, ConvertReadsBackAndReportsWhatTheFormatCannotHold) {
  ASSERT_EQ(run("convert " + sample() + " torus.nas").status, 0);
  expect_fields(json::parse(run("info --json torus.nas").out),
                R"({"nodes": 128, "cells": {"triangle": 256}})");
  const run_result geo = run("convert " + block() + " block.geo");
  EXPECT_TRUE(has(geo.err, "block.geo: 18 pyramid elements left out")) << geo.err;
  EXPECT_EQ(read_file(tmp("block.case")), "FORMAT\ntype: ensight\n\nGEOMETRY\nmodel: block.geo\n");
}

TEST_F(Cli, CleanMergesItsAliasAgreesAndQualityCounts) {
  // The torus's shortest edge is about 0.49: a tolerance of 10 merges every
  // node into one, so every triangle degenerates.
  const run_result r = run("clean --tol 10 " + sample() + " all.obj");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(has(r.out, "nodes merged: 127\nelements removed: 256\nnodes removed: 128\n"))
      << r.out;
  EXPECT_EQ(run("merge --tol 10 " + sample() + " all2.obj").out, r.out);
  const run_result q = run("quality --bins 4 " + sample());
  EXPECT_TRUE(has(q.out, "[0.75, 1.00] ")) << q.out;
}

TEST_F(Cli, SizemapWritesOneSizePerNode) {
  ASSERT_EQ(run("sizemap " + sample() + " torus.sol").status, 0);
  std::istringstream sol(read_file(tmp("torus.sol")));
  std::string word;
  for (const char* expected :
       {"MeshVersionFormatted", "2", "Dimension", "3", "SolAtVertices", "128", "1", "1"}) {
    sol >> word;
    EXPECT_EQ(word, expected);
  }
  const std::vector<double> sizes{std::istream_iterator<double>(sol), {}};  // up to End
  ASSERT_EQ(sizes.size(), 128u);
  for (double h : sizes) EXPECT_TRUE(h > 0.48 && h < 1.18) << h;  // within the edge lengths
}

TEST_F(Cli, RefusedInputsAndFailedWritesLeaveTargetsAlone) {
  std::ofstream(tmp("keep.vtk")) << "old";
  std::ofstream(tmp("bad.obj")) << "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\nf 1 2 7\n";
  std::ofstream(tmp("tet.nas")) << "GRID,1,,0.,0.,0.\nGRID,2,,1.,0.,0.\nGRID,3,,0.,1.,0.\n"
                                << "GRID,4,,0.,0.,1.\nCTETRA,1,1,1,2,3,4\n";
  fs::create_directory(tmp("dir.stl"));
  fs::create_directory(tmp("dir.vtk"));
  const std::tuple<std::string, int, std::string> cases[] = {
      {"info dir.stl", 2, "dir.stl: is not a regular file"},
      {"convert bad.obj keep.vtk", 2, "bad.obj: triangle element 2 references node 7"},
      {"convert " + sample() + " dir.vtk", 3, "dir.vtk: cannot be written"},
      {"convert tet.nas keep.stl", 4, "STL holds none of the 1 elements"},
      {"sizemap tet.nas no/s.sol", 3, "no/s.sol: cannot be written"},
  };
  const std::vector<std::string> before = listing();
  for (const auto& [args, status, message] : cases) {
    const run_result r = run(args);
    EXPECT_EQ(r.status, status) << args;
    EXPECT_TRUE(has(r.err, message)) << args << ": " << r.err;
  }
  EXPECT_EQ(read_file(tmp("keep.vtk")), "old");
  EXPECT_EQ(listing(), before) << "no temporary file is left";
}

TEST_F(Cli, UnreadableInputsBadOptionsAndStreamsSayWhy) {
  const std::string tets =
      "GRID,1,,0.,0.,0.\nGRID,2,,1.,0.,0.\nGRID,3,,0.,1.,0.\nGRID,4,,0.,0.,1.\n";
  std::ofstream(tmp("notamesh.obj")) << "milk\neggs\n";
  // Blank property fields (as written without references), and a card of
  // no element's node count.
  std::ofstream(tmp("blank.nas")) << tets << "CTETRA  1               1       2       3       4\n"
                                  << "CTETRA,2,1,1,2,3\n";
  std::ofstream(tmp("grid.nas")) << "$ deck\nGRID,1,,0.,0.,0.\nGRID,x\n";
  ASSERT_EQ(run("convert " + block() + " msh.stl --to msh").status, 0);
  const std::tuple<std::string, int, std::string> cases[] = {
      {"info notamesh.obj", 2, "no mesh found in notamesh.obj (read as Wavefront OBJ)"},
      {"info missing.msh", 2, "missing.msh: cannot be opened: No such file or directory"},
      {"info --format stl msh.stl", 2, "as STL; its content looks like gmsh MSH"},
      {"info grid.nas", 2, "malformed GRID record at line 3"},
      {"info blank.nas", 0, "left out 1 CTETRA records: node count"},
      {"clean --tol inf blank.nas o.mesh", 1, "'inf' (accepted: a finite number >= 0)"},
      {"sizemap --p nan blank.nas o.sol", 1, "accepted: a finite number >= 0"},
      {"convert --binary blank.nas o.mesh", 1, "MEDIT is written in one form only"},
      {"convert - o.mesh", 1, "reading standard input needs --format"},
      {"convert --format nas --to msh - - < blank.nas", 0, ""},
  };
  for (const auto& [args, status, message] : cases) {
    const run_result r = run(args);
    EXPECT_EQ(r.status, status) << args << ": " << r.err;
    EXPECT_TRUE(has(r.err + r.out, message)) << args << ": " << r.err;
  }
  EXPECT_FALSE(fs::exists(tmp("o.mesh")));
  // The last case wrote standard output: read back as MSH whatever its name.
  fs::copy_file(dir_ / "out.txt", tmp("stdout.txt"));
  expect_fields(json::parse(run("info --json --format msh stdout.txt").out),
                R"({"nodes": 4, "cells": {"tetra": 1}})");
  // A binary STL converted over itself stays binary unless --ascii.
  ASSERT_EQ(run("convert --binary " + sample() + " b.stl").status, 0);
  ASSERT_EQ(run("convert b.stl b.stl").status, 0);
  EXPECT_EQ(fs::file_size(tmp("b.stl")), 84u + 50u * 256u);
  ASSERT_EQ(run("convert --ascii b.stl b.stl").status, 0);
  EXPECT_EQ(read_file(tmp("b.stl")).compare(0, 5, "solid"), 0);
  // Qualities and Jacobians of the solids alone; the skins per kind.
  const json info = json::parse(run("info --json " + block()).out);
  double solid_min = 2, sum = 0, count = 0;
  for (const char* kind : {"hexahedron", "wedge", "tetra", "pyramid"}) {
    solid_min = std::min(solid_min, info["cell_quality"][kind]["min"].get<double>());
    sum += info["cell_quality"][kind]["mean"].get<double>() * info["cells"][kind].get<double>();
    count += info["cells"][kind].get<double>();
  }
  EXPECT_EQ(info["quality"]["min"], solid_min);
  EXPECT_NEAR(info["quality"]["mean"].get<double>(), sum / count, 1e-12);
}

}  // namespace
