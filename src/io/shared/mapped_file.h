// The bytes of an open file mapped into memory, read-only, from a given
// offset to the end of the file: the readers that parse a whole text on
// several threads read it there, without copying it first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace ovk {
namespace quernfold {
namespace detail {

class mapped_file {
 public:
  // Maps the file of `stream` from byte `from` on; empty (data() null) when
  // the stream is no regular file, the file is shorter or the mapping fails.
  mapped_file(std::FILE* stream, std::uint64_t from) noexcept;
  ~mapped_file();
  mapped_file(const mapped_file&) = delete;
  mapped_file& operator=(const mapped_file&) = delete;

  // The bytes from `from` to the end of the file; null when not mapped.
  const char* data() const noexcept { return data_; }
  std::size_t size() const noexcept { return size_; }

 private:
  void* map_ = nullptr;
  std::size_t mapped_ = 0;  // bytes of map_, from the file's start
  const char* data_ = nullptr;
  std::size_t size_ = 0;
};

}  // namespace detail
}  // namespace quernfold
}  // namespace ovk
