#include "io/shared/mapped_file.h"

#include <sys/mman.h>
#include <sys/stat.h>

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

mapped_file::~mapped_file() {
  if (map_) munmap(map_, mapped_);
}

}  // namespace detail
}  // namespace quernfold
}  // namespace ovk
