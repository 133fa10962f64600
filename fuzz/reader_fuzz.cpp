// libFuzzer entry point of one reader; FUZZ_READER names the check of
// reader_checks.h it runs. Any broken promise aborts with its description.
#include <cstdio>
#include <cstdlib>

#include "support/reader_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string problem = reader_checks::FUZZ_READER(data, size);
  if (problem.empty()) return 0;
  std::fprintf(stderr, "broken promise: %s\n", problem.c_str());
  std::abort();
}
