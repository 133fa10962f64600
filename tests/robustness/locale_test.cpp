// Under a comma-decimal locale, set for the whole program and for the
// calling thread, every writer writes the bytes it writes in the "C" locale and
// every reader reads the values it reads there.
#include <locale.h>

#include <locale>

#include "support/io_files.h"

namespace {

using namespace ovk::quernfold;
using namespace quernfold_test;

constexpr const char* kCommaLocale = "de_DE.UTF-8";

// Every file each writer makes of one small mesh, then the code and the
// coordinates each reader reads from the files it reads (and from a
// fixture), all as bytes.
std::vector<std::string> written_and_read(const std::string& p) {
  const dense2D<double> xyz =
      columns<double>(3, {0.5, -1.25, 3.0625, 1e-7, 2.5, 0.1, 4.75, 0.015625, -6.5});
  const dense2D<unsigned> tria = columns<unsigned>(3, {0, 1, 2});
  const dense2D<double> sizes = columns<double>(3, {0.5, 0.25, 0.125});
  std::vector<std::string> names, out;
  auto file = [&](const char* extension) { return (names.emplace_back(p + extension)).c_str(); };
  medit_output(file(".mesh"), xyz, tria, ET_TRIA3);
  medit_scalar(file(".s.sol"), 3, sizes.as_vector());
  medit_vector(file(".v.sol"), 3, sizes);
  medit_tensor(file(".t.sol"), sizes);
  vtk_output(file(".vtk"), xyz, tria, ET_TRIA3);
  ensight_output(file(".geo"), xyz, tria, ET_TRIA3);
  STL_output(file(".stl"), xyz, tria, true);
  STL_output(file(".stlb"), xyz, tria, false);
  NASTRAN_output(file(".bdf"), xyz, tria, ET_TRIA3);
  FEMAP_output(file(".neu"), xyz, tria, ET_TRIA3);
  WavefrontOBJ_output(file(".obj"), xyz, tria, ET_TRIA3);
  for (const std::string& name : names) out.push_back(read_file(name));
  for (const std::string& name :
       {names[0], names[4], names[6], names[8], names[9], names[10], fixture("mixed_forms.bdf")}) {
    mesh_data m;
    const int code = read_mesh(name.c_str(), m);
    const auto v = m.coords.as_vector();
    out.push_back(std::to_string(code) + std::to_string(m.coords.rows()) +
                  std::string(reinterpret_cast<const char*>(v.data()), v.size() * sizeof(v[0])));
  }
  return out;
}

class CommaLocale : public io_test {};

// The program's locale (C and C++) and the thread's own are both set, so
// that a reader or writer that follows either, or that works around the
// program's locale with setlocale, shows.
TEST_F(CommaLocale, ProgramAndThreadLocaleChangeNoByteNorValue) {
  const locale_t comma = newlocale(LC_ALL_MASK, kCommaLocale, locale_t(0));
  if (!comma) GTEST_SKIP() << kCommaLocale << " is not generated here (localedef)";
  const std::vector<std::string> want = written_and_read(path("c"));
  std::locale::global(std::locale(kCommaLocale));
  uselocale(comma);
  const std::string point = localeconv()->decimal_point;
  const std::vector<std::string> got = written_and_read(path("comma"));
  uselocale(LC_GLOBAL_LOCALE);
  std::locale::global(std::locale::classic());
  freelocale(comma);
  ASSERT_EQ(point, ",");
  EXPECT_EQ(got, want);
}

}  // namespace
