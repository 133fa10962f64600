// Runs the quernfold command-line tool as a user would and checks its output,
// its messages and its exit codes.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {

namespace fs = std::filesystem;

struct run_result {
  int status;
  std::string out, err;
};

std::string slurp(const fs::path& p) {
  std::ifstream in(p);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class Cli : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("quernfold_cli_" +
            std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  run_result run(const std::string& arguments) {
    const fs::path out = dir_ / "stdout.txt", err = dir_ / "stderr.txt";
    const std::string cmd =
        std::string(QUERNFOLD_CLI) + " " + arguments + " > " + out.string() + " 2> " + err.string();
    const int raw = std::system(cmd.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, slurp(out), slurp(err)};
  }

  std::string sample() const { return std::string(QUERNFOLD_EXAMPLES_DIR) + "/sample.stl"; }
  std::string tmp(const std::string& name) const { return (dir_ / name).string(); }

  fs::path dir_;
};

TEST_F(Cli, HelpVersionAndUsageErrors) {
  run_result r = run("--version");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "quernfold 5.1.0.0\n");

  r = run("--help");
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("usage: quernfold"), std::string::npos);
  for (const char* cmd : {"info", "quality", "convert", "merge"}) {
    r = run(std::string(cmd) + " --help");
    EXPECT_EQ(r.status, 0) << cmd;
    EXPECT_NE(r.out.find(std::string("usage: quernfold ") + cmd), std::string::npos) << cmd;
  }

  EXPECT_EQ(run("").status, 1);
  r = run("frobnicate x");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("unknown command frobnicate"), std::string::npos);
  EXPECT_EQ(run("info --frob " + sample()).status, 1);
  EXPECT_EQ(run("quality --bins 0 " + sample()).status, 1);
  EXPECT_EQ(run("merge --tol -1 " + sample() + " " + tmp("o.stl")).status, 1);
  EXPECT_EQ(run("convert " + sample()).status, 1);
}

TEST_F(Cli, InfoOnTheSampleDescribesAClosedTorus) {
  const run_result r = run("info " + sample());
  ASSERT_EQ(r.status, 0) << r.err;
  // 16 x 8 grid on a torus: 128 shared vertices, 256 triangles, no free edge.
  EXPECT_NE(r.out.find("nodes: 128\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("elements: 256\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("boundary faces: 0 (closed)"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("connected parts: 1"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("shape quality: min"), std::string::npos) << r.out;
  EXPECT_TRUE(r.err.empty()) << "quiet without --verbose: " << r.err;
  EXPECT_FALSE(run("--verbose info " + sample()).err.empty());
}

TEST_F(Cli, UnreadableInputNamesTheFile) {
  run_result r = run("info " + tmp("missing.stl"));
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("missing.stl"), std::string::npos);

  std::ofstream(tmp("junk.obj")) << "v 1 2\n";
  r = run("info " + tmp("junk.obj"));
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("junk.obj: holds a malformed line"), std::string::npos) << r.err;

  EXPECT_EQ(run("info " + tmp("mesh.xyz")).status, 1);
}

TEST_F(Cli, ConvertRoundTripsThroughEveryReadableFormat) {
  for (const char* ext : {"obj", "nas", "neu", "stl"}) {
    const std::string out = tmp(std::string("torus.") + ext);
    ASSERT_EQ(run("convert " + sample() + " " + out).status, 0) << ext;
    const run_result back = run("info " + out);
    ASSERT_EQ(back.status, 0) << ext << ": " << back.err;
    EXPECT_NE(back.out.find("nodes: 128\n"), std::string::npos) << ext << back.out;
    EXPECT_NE(back.out.find("elements: 256\n"), std::string::npos) << ext << back.out;
  }
  ASSERT_EQ(run("convert --binary " + sample() + " " + tmp("b.stl")).status, 0);
  EXPECT_EQ(fs::file_size(tmp("b.stl")), 84u + 50u * 256u);
  for (const char* ext : {"mesh", "vtk", "geo"}) {
    ASSERT_EQ(run("convert " + sample() + " " + tmp(std::string("w.") + ext)).status, 0) << ext;
    EXPECT_GT(fs::file_size(tmp(std::string("w.") + ext)), 0u) << ext;
  }
  EXPECT_EQ(run("convert " + sample() + " " + tmp("w.unknown")).status, 1);
  EXPECT_EQ(run("convert " + sample() + " /nonexistent-dir/w.vtk").status, 3);
}

TEST_F(Cli, MergeWithALargeToleranceCollapsesTheMesh) {
  // The torus's shortest edge is about 0.29: a tolerance of 10 merges every
  // node into one, so every triangle degenerates.
  const run_result r = run("merge --tol 10 " + sample() + " " + tmp("m.obj"));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("merged 127 nodes, removed 256 degenerate elements"), std::string::npos)
      << r.out;
  ASSERT_EQ(run("merge " + sample() + " " + tmp("same.obj")).status, 0);
  EXPECT_NE(run("info " + tmp("same.obj")).out.find("elements: 256\n"), std::string::npos);
}

TEST_F(Cli, QualityHistogramCountsEveryElement) {
  const run_result r = run("quality --bins 4 " + sample());
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("256 elements"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("[0.75, 1.00]"), std::string::npos) << r.out;
}

}  // namespace
