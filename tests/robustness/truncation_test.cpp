// Every prefix of small files of every readable format reads to 0 or a code
// the reader documents, with the promises of io.h kept; a binary STL cut
// anywhere before the end of its last triangle never reads as success.
#include <cstring>
#include <filesystem>
#include <map>

#include "support/io_files.h"
#include "support/reader_checks.h"

namespace {

using namespace ovk::quernfold;
using namespace quernfold_test;

// Real files up to this size are cut at every length.
constexpr std::uintmax_t kSmallFile = 8192;

const std::map<std::string, reader_checks::bytes_check> kChecks = {
    {".stl", reader_checks::stl_bytes},    {".bdf", reader_checks::nastran_bytes},
    {".neu", reader_checks::femap_bytes},  {".obj", reader_checks::obj_bytes},
    {".mesh", reader_checks::medit_bytes}, {".meshb", reader_checks::medit_bytes},
    {".vtk", reader_checks::vtk_bytes},    {".msh", reader_checks::msh_bytes}};

// Size of a binary STL from its triangle count; 0 for other files.
std::size_t binary_stl_size(const std::string& ext, const std::string& bytes) {
  std::uint32_t n = 0;
  if (ext == ".stl" && bytes.size() >= 84) std::memcpy(&n, bytes.data() + 80, 4);
  const std::size_t whole = 84 + 50 * std::size_t(n);
  return n && (bytes.size() == whole || bytes.size() == whole + 1) ? whole : 0;
}

// Over the small files of a readable format among the fixtures (those of
// other writers and the golden files of ours) and the real meshes.
TEST(Truncation, EveryPrefixKeepsTheReadersPromises) {
  for (const std::string& dir : {std::string(QUERNFOLD_FIXTURE_DIR), real_mesh("")}) {
    std::error_code ec;
    for (const auto& file : std::filesystem::recursive_directory_iterator(dir, ec)) {
      const std::string name = file.path(), ext = file.path().extension();
      if (!kChecks.count(ext) || file.file_size() > kSmallFile) continue;
      const std::string bytes = read_file(name);
      const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
      const std::size_t binary = binary_stl_size(ext, bytes);
      for (std::size_t n = 0; n <= bytes.size(); ++n) {
        std::string problem = kChecks.at(ext)(data, n);
        dense2D<double> coords;
        dense2D<unsigned> tria;
        if (n < binary && STL_input(reader_checks::memory_stream(data, n).f, coords, tria) >= 0)
          problem = "a cut binary STL reads";
        if (!problem.empty()) {
          ADD_FAILURE() << name << " cut to " << n << " bytes: " << problem;
          break;
        }
      }
    }
  }
}

}  // namespace
