// The mapped text of a file: the whole pages handed back early are
// unmapped at once, the others go with the file, and a mapping made since
// in a hole left by release() outlives the file.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>

#include "io/shared/mapped_file.h"
#include "support/io_files.h"

namespace {

using namespace quernfold_test;
using mapped_text = io_test;

std::uintptr_t page_size() { return static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE)); }

// Whether the page holding p is mapped (mincore fails where it is not).
bool mapped(const char* p) {
  const std::uintptr_t page = page_size();
  unsigned char resident;
  void* start = reinterpret_cast<void*>(reinterpret_cast<std::uintptr_t>(p) / page * page);
  return mincore(start, 1, &resident) == 0;
}

TEST_F(mapped_text, ReleasedPagesGoAtOnceTheRestWithTheFile) {
  const std::size_t page = page_size();
  write_file(path("text"), std::string(8 * page + 10, 'x'));
  std::FILE* stream = std::fopen(path("text").c_str(), "rb");
  ASSERT_NE(stream, nullptr);
  const char *first, *hole, *last;
  void* filler;
  {
    ovk::quernfold::detail::mapped_file file(stream, 0);
    ASSERT_NE(file.data(), nullptr);
    first = file.data(), hole = first + 3 * page, last = first + file.size() - 1;
    file.release(first + 2 * page + 1, first + 5 * page + 1);  // whole pages: 3 and 4
    EXPECT_TRUE(mapped(hole - 1));
    EXPECT_FALSE(mapped(hole));
    EXPECT_FALSE(mapped(hole + page));
    EXPECT_TRUE(mapped(hole + 2 * page));
    filler = mmap(const_cast<char*>(hole), page, PROT_READ | PROT_WRITE,
                  MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED_NOREPLACE, -1, 0);
    ASSERT_EQ(filler, static_cast<const void*>(hole));
  }
  EXPECT_FALSE(mapped(first));
  EXPECT_FALSE(mapped(hole - 1));
  EXPECT_FALSE(mapped(hole + 2 * page));
  EXPECT_FALSE(mapped(last));
  EXPECT_TRUE(mapped(hole));
  munmap(filler, page);
  std::fclose(stream);
}

}  // namespace
