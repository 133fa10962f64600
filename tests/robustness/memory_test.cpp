// A node identifier far past the file's size costs memory where the node
// lands, not in the columns in between; storage that can never be had is
// refused with no_memory at once.
#include <sys/resource.h>

#include "support/compare.h"
#include "support/io_files.h"

namespace {

using namespace ovk::quernfold;
using namespace quernfold_test;

// A node of identifier 99,999,999 (FEMAP: after one at 0.0 of identifier
// 50,000,001, so that the storage grows twice; the node block is left open
// to the end of the file), and one of 4,294,967,295
// (2^32 columns of 3 doubles: 96 GiB, which a system that does not grant any
// size lazily, as overcommit mode 1 does, cannot grant).
const struct deck {
  const char* format;
  run_outputs::core_reader read;
  const char* huge;
  const char* unmet;
} kDecks[] = {
    {"NASTRAN", NASTRAN_input, "GRID    99999999        1.      2.      3.\n",
     "GRID*         4294967295                              1.              2.*\n*       3.\n"},
    {"FEMAP", FEMAP_input,
     "403\n50000001,0,0,1,0,0,0,0,0,0,0,0,0,0,0,\n99999999,0,0,1,0,0,0,0,0,0,0,1.,2.,3.,0,\n",
     "403\n4294967295,0,0,1,0,0,0,0,0,0,0,1.,2.,3.,0,\n"},
};

class NodeStorage : public io_test {};

TEST_F(NodeStorage, HugeIdentifierCostsOnlyWhereTheNodeLandsAndUnmetOnesAreRefused) {
  const bool grants_any = read_file("/proc/sys/vm/overcommit_memory") == "1\n";
  auto peak_kib = [u = rusage{}]() mutable { return getrusage(RUSAGE_SELF, &u), u.ru_maxrss; };
  for (const deck& d : kDecks) {
    SCOPED_TRACE(d.format);
    run_outputs out;
    write_file(path("deck"), d.huge);
    [[maybe_unused]] const long before = peak_kib();
    ASSERT_EQ(out.read_with(d.read, path("deck")), 0);
    ASSERT_EQ(out.coords.cols(), 99999999u);
    EXPECT_EQ(out.coords.col_capacity(), std::size_t(1) << 27);
    EXPECT_SAME(out.coords.sub_matrix(0, 99999998, 3, 1), dense2D<double>({{1.0, 2.0, 3.0}}));
    EXPECT_SAME(out.coords.sub_matrix(0, 50000000, 3, 1), dense2D<double>(3, 1));
#if !defined(__SANITIZE_ADDRESS__)  // which writes the shadow of every block
    EXPECT_LT(peak_kib() - before, 64 * 1024) << "KiB of peak memory for one node";
#endif
    if (grants_any) continue;  // that system grants any size, untouched
    write_file(path("deck"), d.unmet);
    EXPECT_EQ(out.read_with(d.read, path("deck")), no_memory);
    EXPECT_EQ(out.coords.cols(), 0u);
  }
}

}  // namespace
