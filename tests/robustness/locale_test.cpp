// Under a comma-decimal locale, set for the whole program or by one thread
// for itself, every writer writes the bytes it writes in the "C" locale and
// every reader reads the values it reads there.
#include <locale.h>

#include <cstring>
#include <locale>
#include <thread>

#include "support/compare.h"
#include "support/io_files.h"

namespace {

using namespace ovk::quernfold;
using namespace quernfold_test;

constexpr const char* kCommaLocale = "de_DE.UTF-8";

template <class T>
std::string bytes_of(const dense2D<T>& M) {
  std::string s = std::to_string(M.rows()) + "x" + std::to_string(M.cols()) + ":";
  for (const T& v : entries(M)) s.append(reinterpret_cast<const char*>(&v), sizeof v);
  return s;
}

// Every file each writer makes of one small mesh, then what each reader
// reads back from the files it reads (and from a fixture), all as bytes.
std::vector<std::string> everything_written_and_read(const std::string& p) {
  const dense2D<double> xyz =
      columns<double>(3, {0.5, -1.25, 3.0625, 1e-7, 2.5, 0.1, 4.75, 0.015625, -6.5});
  const dense2D<unsigned> tria = columns<unsigned>(3, {0, 1, 2});
  std::vector<std::string> out;
  auto keep = [&](const std::string& name) { out.push_back(read_file(name)); };
  medit_output((p + ".mesh").c_str(), xyz, tria, ET_TRIA3), keep(p + ".mesh");
  medit_tensor((p + ".sol").c_str(), columns<double>(3, {0.5, 0.25, 0.125})), keep(p + ".sol");
  vtk_output((p + ".vtk").c_str(), xyz, tria, ET_TRIA3), keep(p + ".vtk");
  ensight_output((p + ".geo").c_str(), xyz, tria, ET_TRIA3), keep(p + ".geo");
  STL_output((p + ".stl").c_str(), xyz, tria, true), keep(p + ".stl");
  STL_output((p + ".stlb").c_str(), xyz, tria, false), keep(p + ".stlb");
  NASTRAN_output((p + ".bdf").c_str(), xyz, tria, ET_TRIA3), keep(p + ".bdf");
  FEMAP_output((p + ".neu").c_str(), xyz, tria, ET_TRIA3), keep(p + ".neu");
  WavefrontOBJ_output((p + ".obj").c_str(), xyz, tria, ET_TRIA3), keep(p + ".obj");
  dense2D<double> c, uv, n;
  dense2D<unsigned> e, q;
  element_type type;
  auto got = [&](int code) { out.push_back(std::to_string(code) + bytes_of(c) + bytes_of(e)); };
  got(STL_input((p + ".stl").c_str(), c, e));
  got(NASTRAN_input((p + ".bdf").c_str(), c, e, type));
  got(NASTRAN_input(fixture("mixed_forms.bdf").c_str(), c, e, type));
  got(FEMAP_input((p + ".neu").c_str(), c, e, type));
  got(WavefrontOBJ_input((p + ".obj").c_str(), c, uv, n, e, q));
  return out;
}

class CommaLocale : public io_test {
 protected:
  void SetUp() override {
    io_test::SetUp();
    comma_ = newlocale(LC_ALL_MASK, kCommaLocale, locale_t(0));
    if (!comma_) GTEST_SKIP() << kCommaLocale << " is not generated here (localedef/locale-gen)";
    want_ = everything_written_and_read(path("mesh"));
  }
  void TearDown() override {
    if (comma_) freelocale(comma_);
    io_test::TearDown();
  }
  void expect_as_in_c(const std::vector<std::string>& got) {
    ASSERT_EQ(got.size(), want_.size());
    for (std::size_t k = 0; k < got.size(); ++k) EXPECT_EQ(got[k], want_[k]) << "output " << k;
  }

  locale_t comma_ = locale_t(0);
  std::vector<std::string> want_;
};

TEST_F(CommaLocale, ProgramLocaleChangesNoByteNorValue) {
  std::locale::global(std::locale(kCommaLocale));
  ASSERT_STREQ(localeconv()->decimal_point, ",");
  const std::vector<std::string> got = everything_written_and_read(path("mesh"));
  std::locale::global(std::locale::classic());
  expect_as_in_c(got);
}

TEST_F(CommaLocale, ThreadLocaleChangesNoByteNorValue) {
  std::vector<std::string> got;
  std::thread worker([&] {
    uselocale(comma_);
    got = everything_written_and_read(path("mesh"));
    uselocale(LC_GLOBAL_LOCALE);
  });
  worker.join();
  expect_as_in_c(got);
}

}  // namespace
