#include "io/shared/mapped_file.h"

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

namespace ovk {
namespace quernfold {
namespace detail {

mapped_file::mapped_file(std::FILE* stream, std::uint64_t from) noexcept {
  struct stat info;
  const int fd = stream ? fileno(stream) : -1;
  if (fd < 0 || fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) return;
  const std::uint64_t length = static_cast<std::uint64_t>(info.st_size);
  if (length <= from) return;
  void* map = mmap(nullptr, static_cast<std::size_t>(length), PROT_READ, MAP_PRIVATE, fd, 0);
  if (map == MAP_FAILED) return;
  map_ = map;
  mapped_ = static_cast<std::size_t>(length);
  data_ = static_cast<const char*>(map) + from;
  size_ = static_cast<std::size_t>(length - from);
}

void mapped_file::release(const char* begin, const char* end) noexcept {
  const std::uintptr_t page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
  const std::uintptr_t first = (reinterpret_cast<std::uintptr_t>(begin) + page - 1) / page * page;
  const std::uintptr_t last = reinterpret_cast<std::uintptr_t>(end) / page * page;
  if (!map_ || last <= first) return;
  try {
    const std::lock_guard<std::mutex> lock(released_mutex_);
    released_.emplace_back(first, last);
  } catch (...) {  // no memory to note it, or no lock
    return;
  }
  munmap(reinterpret_cast<void*>(first), static_cast<std::size_t>(last - first));
}

// The mapping's pages between the released ranges.
mapped_file::~mapped_file() {
  if (!map_) return;
  std::sort(released_.begin(), released_.end());
  std::uintptr_t at = reinterpret_cast<std::uintptr_t>(map_);
  const std::uintptr_t end = at + mapped_;
  for (const page_range& r : released_) {
    if (r.first > at) munmap(reinterpret_cast<void*>(at), static_cast<std::size_t>(r.first - at));
    at = r.second;
  }
  if (end > at) munmap(reinterpret_cast<void*>(at), static_cast<std::size_t>(end - at));
}

}  // namespace detail
}  // namespace quernfold
}  // namespace ovk
