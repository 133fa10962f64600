// Reference-counted storage blocks shared by the dense1D and dense2D views.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <type_traits>

#if defined(__GNUC__)
#define OVK_MATH1_NOINLINE __attribute__((noinline))
#else
#define OVK_MATH1_NOINLINE
#endif

// Large blocks that grow are mapped from the system where it can move a
// mapping (Linux mremap), so that they grow without copying their entries.
// Under AddressSanitizer they stay on the heap, where overruns are caught.
#if defined(__SANITIZE_ADDRESS__)
#define OVK_MATH1_MAPPED_BLOCKS 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(memory_sanitizer)
#define OVK_MATH1_MAPPED_BLOCKS 0
#endif
#endif
#if !defined(OVK_MATH1_MAPPED_BLOCKS)
#if defined(__linux__)
#define OVK_MATH1_MAPPED_BLOCKS 1
#else
#define OVK_MATH1_MAPPED_BLOCKS 0
#endif
#endif

#if OVK_MATH1_MAPPED_BLOCKS
#include <sys/mman.h>
#endif

namespace ovk {
namespace math1 {

// Intrusive reference count. Not synchronised: a block and its views belong to
// one thread at a time.
class ref_counted {
 public:
  ref_counted() = default;
  ref_counted(const ref_counted&) = delete;
  ref_counted& operator=(const ref_counted&) = delete;

  void add_ref() noexcept { ++refs_; }
  // Returns true when the caller held the last reference.
  bool release() noexcept { return --refs_ == 0; }
  long use_count() const noexcept { return refs_; }

 protected:
  ~ref_counted() = default;

 private:
  long refs_ = 1;
};

// One heap block of `capacity` entries of T. Views address it by offset.
template <class T, int Align = 8>
class vector_num : public ref_counted {
  static_assert(std::is_trivially_copyable<T>::value,
                "math1 containers hold trivially copyable values only");

 public:
  // Returns nullptr when memory cannot be had (never throws). The entries
  // of a `zeroed` block are zero without having been written: they come as
  // zero-filled pages from the system, which are only backed by memory
  // where something is later written.
  static vector_num* create(std::size_t capacity, bool zeroed = false) noexcept {
    if (capacity > std::numeric_limits<std::size_t>::max() / sizeof(T) - 1) return nullptr;
    vector_num* block = new (std::nothrow) vector_num();
    if (!block) return nullptr;
    if (capacity) {
      void* p = zeroed ? std::calloc(capacity, sizeof(T)) : std::malloc(capacity * sizeof(T));
      block->data_ = static_cast<T*>(p);
      if (!block->data_) {
        delete block;
        return nullptr;
      }
    }
    block->capacity_ = capacity;
    return block;
  }

  // Grows a block that only one view holds to `capacity` entries, keeping
  // its entries where the view sees them; the added entries are zero. A
  // block that grows past kMappedBytes moves once into a mapping of its own
  // and from then on grows by moving the mapping, without a copy. False,
  // the block unchanged, when it is shared or borrowed, too small to be
  // mapped, or the memory cannot be had.
  bool grow(std::size_t capacity) noexcept {
#if OVK_MATH1_MAPPED_BLOCKS
    if (on_release_ || use_count() != 1 || capacity < capacity_ ||
        capacity > std::numeric_limits<std::size_t>::max() / sizeof(T) - 1 ||
        capacity * sizeof(T) < kMappedBytes)
      return false;
    const std::size_t bytes = capacity * sizeof(T);
    void* p =
        mapped_ ? mremap(data_, capacity_ * sizeof(T), bytes, MREMAP_MAYMOVE)
                : mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) return false;
    if (!mapped_) {
      if (capacity_) std::memcpy(p, data_, capacity_ * sizeof(T));
      std::free(data_);
      mapped_ = true;
    }
    data_ = static_cast<T*>(p);
    capacity_ = capacity;
    return true;
#else
    (void)capacity;
    return false;
#endif
  }

  // A block over `capacity` entries that someone else owns (an array of a
  // host language, a mapped file). The block never frees them: when its last
  // view goes it calls on_release(context) instead, so the owner learns that
  // the library holds the memory no longer. Growth past the capacity moves
  // the entries into a block of the library's own, as for any block. Returns
  // nullptr (on_release not called) when the block itself cannot be had.
  static vector_num* borrow(T* data, std::size_t capacity, void (*on_release)(void*),
                            void* context) noexcept {
    vector_num* block = new (std::nothrow) vector_num();
    if (!block) return nullptr;
    block->data_ = data;
    block->capacity_ = capacity;
    block->on_release_ = on_release;
    block->context_ = context;
    return block;
  }

  static void release(vector_num* block) noexcept {
    if (block && block->ref_counted::release()) destroy(block);
  }

  T* data() noexcept { return data_; }
  const T* data() const noexcept { return data_; }
  std::size_t capacity() const noexcept { return capacity_; }

 private:
  vector_num() = default;

  // Kept out of line: when the delete is inlined next to the count of a
  // second view of the same block, GCC's use-after-free analysis cannot tell
  // the two blocks apart and warns about every shared view.
  OVK_MATH1_NOINLINE static void destroy(vector_num* block) noexcept { delete block; }

  ~vector_num() {
    if (on_release_) on_release_(context_);
#if OVK_MATH1_MAPPED_BLOCKS
    else if (mapped_)
      munmap(data_, capacity_ * sizeof(T));
#endif
    else
      std::free(data_);
  }

  // Blocks that grow to at least this many bytes are mapped (zero pages,
  // growth by moving the mapping); the others stay on the heap, where freed
  // memory is reused without the system's help.
  static constexpr std::size_t kMappedBytes = std::size_t(1) << 20;

  T* data_ = nullptr;
  std::size_t capacity_ = 0;
  bool mapped_ = false;
  void (*on_release_)(void*) = nullptr;  // set for borrowed memory only
  void* context_ = nullptr;
};

namespace detail {

template <class T>
inline void fill_n(T* p, std::size_t n, const T& v) noexcept {
  for (std::size_t i = 0; i < n; ++i) p[i] = v;
}

template <class T>
inline void copy_n(const T* src, std::size_t n, T* dst) noexcept {
  if (n) std::memmove(dst, src, n * sizeof(T));
}

// True when v is all zero bytes (0, 0.0, but not -0.0).
template <class T>
inline bool all_zero_bytes(const T& v) noexcept {
  const unsigned char* b = reinterpret_cast<const unsigned char*>(&v);
  for (std::size_t i = 0; i < sizeof(T); ++i)
    if (b[i]) return false;
  return true;
}

// Multiplies without wrapping; false on overflow.
inline bool checked_mul(std::size_t a, std::size_t b, std::size_t& out) noexcept {
  if (a != 0 && b > std::numeric_limits<std::size_t>::max() / a) return false;
  out = a * b;
  return true;
}

}  // namespace detail
}  // namespace math1
}  // namespace ovk
