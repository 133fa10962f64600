// A hint that a memory line will be read soon; nothing where the compiler
// offers no such hint.
#pragma once

namespace ovk {
namespace quernfold {
namespace detail {

inline void prefetch(const void* p) noexcept {
#if defined(__GNUC__)
  __builtin_prefetch(p);
#else
  (void)p;
#endif
}

}  // namespace detail
}  // namespace quernfold
}  // namespace ovk
