// Shared pieces of the quernfold command-line tool: the mesh it works on,
// exit codes, diagnostics and the file readers/writers chosen by extension.
#pragma once

#include <quernfold/quernfold.h>

#include <string>
#include <vector>

namespace cli {

using ovk::quernfold::dense1D;
using ovk::quernfold::dense2D;
using ovk::quernfold::element_type;

// Distinct exit codes, so that scripts can tell failures apart.
enum exit_code : int {
  kOk = 0,
  kUsage = 1,        // bad command line
  kReadFailed = 2,   // input missing, unreadable or malformed
  kWriteFailed = 3,  // output could not be written
  kInvalidMesh = 4,  // the mesh does not suit the operation
};

// One element block: a connectivity matrix and the kind of its columns.
struct block {
  dense2D<unsigned> connect;
  element_type type;
};

struct mesh {
  dense2D<double> coords;
  std::vector<block> blocks;
  std::size_t elements() const;
};

struct settings {
  bool verbose = false;
  bool ascii = true;  // STL output form
};

// Progress line on stderr, shown only with --verbose.
void progress(const settings& s, const char* fmt, ...);
// "quernfold: <file>: <message>" on stderr.
void fail(const std::string& file, const char* fmt, ...);

// File formats by extension: .stl, .obj, .nas/.bdf/.dat (NASTRAN bulk data),
// .neu (FEMAP neutral) for reading; the same plus .mesh (MEDIT), .vtk and
// .geo (EnSight) for writing.
const char* format_name(const std::string& path);
int read_mesh(const std::string& path, mesh& m, const settings& s);
int write_mesh(const std::string& path, const mesh& m, const settings& s);

const char* type_name(element_type type);

}  // namespace cli
