#include "io/shared/lines.h"

namespace ovk {
namespace quernfold {
namespace detail {

std::vector<std::string> split_at_commas(const std::string& line) {
  std::vector<std::string> pieces;
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = line.find(',', start);
    pieces.push_back(line.substr(start, comma == std::string::npos ? comma : comma - start));
    if (comma == std::string::npos) return pieces;
    start = comma + 1;
  }
}

}  // namespace detail
}  // namespace quernfold
}  // namespace ovk
