// Status codes shared by every subsystem.
#pragma once

namespace ovk {
namespace quernfold {
namespace detail {

// Memory for an output or a working array could not be had.
constexpr int kNoMemory = -199;

}  // namespace detail
}  // namespace quernfold
}  // namespace ovk
