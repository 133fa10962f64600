// Shared pieces of the quernfold command-line tool: exit statuses, the parsed
// command line, diagnostics, and reading and writing through the library's
// whole-mesh layer.
#pragma once

#include <quernfold/quernfold.h>

#include <map>
#include <string>
#include <vector>

namespace cli {

using ovk::quernfold::dense2D;
using ovk::quernfold::element_type;
using ovk::quernfold::mesh_data;

// Distinct exit statuses, so that scripts can tell failures apart.
enum exit_code : int {
  kOk = 0,
  kUsage = 1,        // bad command line or option value
  kReadFailed = 2,   // input missing, not a file, unreadable or malformed
  kWriteFailed = 3,  // output could not be written
  kUnsuited = 4,     // the mesh does not suit the operation, or memory ran out
};

// One command line once parsed: the files and the options given (name ->
// value, "" for a flag).
struct invocation {
  std::vector<std::string> files;
  std::map<std::string, std::string> options;
  bool verbose = false;
  // --threads: threads of the whole-mesh operations (0: the machine's cores).
  unsigned threads = 0;
  bool has(const char* name) const { return options.count(name) != 0; }
};

// Progress line on stderr, shown only with --verbose.
void progress(const invocation& inv, const char* fmt, ...);
// "quernfold: <file>: <message>" on stderr.
void fail(const std::string& file, const char* fmt, ...);
// "quernfold: <message>" and a pointer to --help on stderr; returns kUsage.
int usage_error(const char* fmt, ...);
// Reports a library code other than 0 for `file` and returns the exit status
// it stands for: memory -> kUnsuited, otherwise `status`.
int library_failure(const std::string& file, const char* what, int code, int status);

// Value of a numeric option, `fallback` when absent. False (after a usage
// message naming the accepted `range`) when the value is not a finite
// number or fails `valid`.
bool number_option(const invocation& inv, const char* name, double fallback, bool (*valid)(double),
                   const char* range, double& value);

// Reads `path` ("-": standard input, which needs --format) in the format
// of --format, else of its content (the extension's when the content shows
// none), refusing what is not a regular file, a file with no mesh in it and
// elements naming nodes that do not exist; says on stderr when the
// content's format differs from the extension's, and under --verbose what
// the reader left out. Returns an exit status; `format` receives the
// format's name.
int read_input(const std::string& path, mesh_data& mesh, const invocation& inv,
               const char** format = nullptr);
// Reports on stderr the elements the output format leaves out or cannot hold
// whole, then writes `mesh` to `path` ("-": standard output) in one step
// (the target is replaced whole or not at all), in the format of --to or of
// the extension; binary as --binary / --ascii ask, else in the input's form
// when the output replaces the input. Returns an exit status.
int write_output(const std::string& path, const mesh_data& mesh, const invocation& inv);
// Usage error unless the output format (--to, or the file name's extension)
// is writable and --binary / --ascii suit it.
int check_output_name(const std::string& path, const invocation& inv);

// The extensions of the readable (or writable) formats, space-separated, or
// one "  <extensions>  <name>" line per format.
std::string format_list(bool readable, bool with_names);

// meshio's name of a block's kind ("triangle", "tetra", ...).
inline const char* kind_name(element_type type) {
  const char* name = ovk::quernfold::cell_name(type);
  return name ? name : "unknown";
}

}  // namespace cli
