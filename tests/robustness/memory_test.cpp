// A node identifier far past the file's size costs memory where the node
// lands, not in the columns in between; storage that can never be had is
// refused with -199 at once.
#include <sys/resource.h>

#include <fstream>

#include "reader_checks.h"
#include "support/compare.h"

namespace {

using namespace ovk::quernfold;
using reader_checks::memory_stream;

struct deck {
  const char* format;
  reader_checks::core_reader read;
  const char* (*text)(bool huge);
};

// One node of identifier 99,999,999 (or 4,294,967,295 when `unmet`).
const deck kDecks[] = {
    {"NASTRAN", NASTRAN_input,
     [](bool unmet) {
       return unmet ? "GRID*         4294967295                              1.              2.*\n"
                      "*                     3.\n"
                    : "GRID    99999999        1.      2.      3.\n";
     }},
    {"FEMAP", FEMAP_input,
     [](bool unmet) {
       return unmet ? "403\n4294967295,0,0,1,0,0,0,0,0,0,0,1.,2.,3.,0,\n   -1\n"
                    : "403\n99999999,0,0,1,0,0,0,0,0,0,0,1.,2.,3.,0,\n   -1\n";
     }},
};

long peak_kib() {
  rusage u;
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss;
}

TEST(NodeStorage, HugeIdentifierCostsOnlyWhereTheNodeLands) {
  for (const deck& d : kDecks) {
    SCOPED_TRACE(d.format);
    const std::string text = d.text(false);
    dense2D<double> coords;
    dense2D<unsigned> connect;
    dense1D<unsigned> bounds, pids;
    dense1D<int> types;
    const long before = peak_kib();
    memory_stream in(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    ASSERT_EQ(d.read(in.f, coords, connect, bounds, types, pids), 0);
    const long grown_kib = peak_kib() - before;
    ASSERT_EQ(coords.cols(), 99999999u);
    EXPECT_EQ(coords.col_capacity(), std::size_t(1) << 27);
    EXPECT_SAME(coords.sub_matrix(0, 99999998, 3, 1), dense2D<double>({{1.0, 2.0, 3.0}}));
    EXPECT_SAME(coords.sub_matrix(0, 50000000, 3, 1), dense2D<double>({{0.0, 0.0, 0.0}}));
#if !defined(__SANITIZE_ADDRESS__)
    // (The address sanitizer writes the shadow of every block it maps.)
    EXPECT_LT(grown_kib, 64 * 1024) << "KiB of peak memory for one node";
#endif
  }
}

TEST(NodeStorage, StorageThatCanNeverBeHadIsRefused) {
  std::ifstream policy("/proc/sys/vm/overcommit_memory");
  int mode = 0;
  if (policy >> mode && mode == 1) GTEST_SKIP() << "this system grants any size of storage";
  for (const deck& d : kDecks) {
    SCOPED_TRACE(d.format);
    const std::string text = d.text(true);  // 2^32 columns of 3 doubles: 96 GiB
    dense2D<double> coords;
    dense2D<unsigned> connect;
    dense1D<unsigned> bounds, pids;
    dense1D<int> types;
    memory_stream in(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    EXPECT_EQ(d.read(in.f, coords, connect, bounds, types, pids), no_memory);
    EXPECT_EQ(coords.cols(), 0u);
  }
}

}  // namespace
