// Every prefix of small files of every readable format reads to 0 or a code
// the reader documents, with the promises of io.h kept; a binary STL cut
// anywhere before its last triangle never reads as success.
#include <cstdint>
#include <cstring>
#include <filesystem>

#include "reader_checks.h"
#include "support/io_files.h"
#include "support/mesh_gen.h"

namespace {

using namespace ovk::quernfold;
using namespace quernfold_test;
using check = std::string (*)(const std::uint8_t*, std::size_t);

// Real files up to this size are cut at every length.
constexpr std::uintmax_t kSmallFile = 8192;

struct format {
  const char* folder;
  const char* extension;
  check read;
};

const format kFormats[] = {{"stl", ".stl", reader_checks::stl_bytes},
                           {"nastran", ".bdf", reader_checks::nastran_bytes},
                           {"femap", ".neu", reader_checks::femap_bytes},
                           {"obj", ".obj", reader_checks::obj_bytes}};

class Truncation : public io_test {
 protected:
  // The files of one format: what this library writes of a 3 x 2 grid of
  // triangles (text and binary STL), the fixtures, and the small real meshes.
  std::vector<std::string> files(const format& f) {
    const mesh m = tria_grid(3, 2);
    const std::string own = path(std::string("own") + f.extension);
    const std::string ext = f.extension;
    const std::string own_binary = path("own-binary.stl");
    if (ext == ".stl") STL_output(own.c_str(), m.coords, m.connect, true);
    if (ext == ".stl") STL_output(own_binary.c_str(), m.coords, m.connect, false);
    if (ext == ".bdf") NASTRAN_output(own.c_str(), m.coords, m.connect, ET_TRIA3);
    if (ext == ".neu") FEMAP_output(own.c_str(), m.coords, m.connect, ET_TRIA3);
    if (ext == ".obj") WavefrontOBJ_output(own.c_str(), m.coords, m.connect, ET_TRIA3);
    std::vector<std::string> names = {own};
    if (ext == ".stl") names.push_back(own_binary);
    for (const std::string& dir : {fixture(""), real_mesh(f.folder)}) {
      std::error_code ec;
      for (const auto& e : std::filesystem::directory_iterator(dir, ec))
        if (e.path().extension() == ext && e.file_size() <= kSmallFile)
          names.push_back(e.path().string());
    }
    return names;
  }
};

TEST_F(Truncation, EveryPrefixKeepsTheReadersPromises) {
  for (const format& f : kFormats)
    for (const std::string& name : files(f)) {
      const std::string bytes = read_file(name);
      const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
      for (std::size_t n = 0; n <= bytes.size(); ++n) {
        const std::string problem = f.read(data, n);
        if (!problem.empty()) {
          ADD_FAILURE() << name << " cut to " << n << " bytes: " << problem;
          break;
        }
      }
    }
}

TEST_F(Truncation, NoCutBinaryStlReadsAsSuccess) {
  for (const std::string& name : files(kFormats[0])) {
    const std::string bytes = read_file(name);
    std::uint32_t count = 0;
    if (bytes.size() >= 84) std::memcpy(&count, bytes.data() + 80, 4);
    const std::size_t whole = 84 + 50 * std::size_t(count);
    if (bytes.size() < whole || bytes.size() > whole + 1) continue;  // not binary
    dense2D<double> coords;
    dense2D<unsigned> tria;
    for (std::size_t n = 0; n < whole; ++n) {
      reader_checks::memory_stream in(reinterpret_cast<const std::uint8_t*>(bytes.data()), n);
      const int code = STL_input(in.f, coords, tria);
      if (code >= 0) {
        ADD_FAILURE() << name << " cut to " << n << " of " << whole << " bytes reads as " << code;
        break;
      }
    }
  }
}

}  // namespace
