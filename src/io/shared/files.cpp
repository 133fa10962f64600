#include "io/shared/files.h"

#include <cerrno>

namespace ovk {
namespace quernfold {
namespace detail {

int open_file(std::FILE** stream, const char* name, const char* mode) noexcept {
  if (!stream) return EINVAL;
  *stream = nullptr;
  if (!name || !mode) return EINVAL;
  errno = 0;
  std::FILE* f = std::fopen(name, mode);
  if (!f) return errno ? errno : EINVAL;
  *stream = f;
  return 0;
}

}  // namespace detail
}  // namespace quernfold
}  // namespace ovk
