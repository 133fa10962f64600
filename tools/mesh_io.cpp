// Diagnostics, options, and reading and writing through the library's
// whole-mesh layer.
#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "cli.h"

namespace cli {
namespace {

using namespace ovk::quernfold;

void vreport(const std::string* file, const char* fmt, std::va_list args) {
  std::fputs("quernfold: ", stderr);
  if (file) std::fprintf(stderr, "%s: ", file->c_str());
  std::vfprintf(stderr, fmt, args);
  std::fputc('\n', stderr);
}

// Elements of the read mesh that name a node that does not exist.
int refuse_missing_node(const std::string& path, const mesh_data& mesh) {
  node_reference at;
  find_missing_node(mesh, at);
  const mesh_block& b = mesh.blocks[at.block];
  fail(path, "%s element %zu references node %llu, but there are %zu nodes (numbered from 1)",
       kind_name(b.type), at.element + 1, static_cast<unsigned long long>(at.node) + 1,
       mesh.coords.cols());
  return kReadFailed;
}

// Words for a code of a whole-mesh operation.
std::string operation_message(int code) {
  switch (code) {
    case mesh_no_faces:
      return "the mesh has no element of dimension 1 to 3";
    case mesh_bad_tolerance:
      return "the tolerance must be a finite distance >= 0";
    case mesh_bad_parameter:
      return "the exponent must be finite and >= 0, the gradation >= 1";
    case mesh_bad_field:
      return "a field of another size than its nodes or elements";
    default:
      return "the mesh does not suit the operation (library code " + std::to_string(code) + ")";
  }
}

int read_status(int code) {
  if (code == no_memory) return kUnsuited;
  if (code == mesh_unknown_format || code == mesh_not_supported) return kUsage;
  return kReadFailed;
}

int write_status(int code) {
  if (code == mesh_unknown_format || code == mesh_not_supported) return kUsage;
  return code == -1 ? kWriteFailed : kUnsuited;
}

// The name that stands for standard input or output.
constexpr const char kStandardStream[] = "-";
constexpr std::size_t kCopyBuffer = 1 << 16;

// The system's reason why `path` cannot be opened for reading, or nullptr
// when it can.
const char* open_failure(const std::string& path) {
  errno = 0;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return std::strerror(errno ? errno : EIO);
  std::fclose(f);
  return nullptr;
}

// A folder of its own under the system's temporary folder, removed with
// everything in it at the end of the scope.
class temporary_dir {
 public:
  temporary_dir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/quernfold.XXXXXX";
    if (mkdtemp(pattern.data())) path_ = pattern;
  }
  ~temporary_dir() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
  }
  temporary_dir(const temporary_dir&) = delete;
  temporary_dir& operator=(const temporary_dir&) = delete;
  bool ok() const { return !path_.empty(); }
  // A file in the folder with the first extension of `format`.
  std::string file(const mesh_format* format) const {
    const std::string ext(format->extensions, std::strcspn(format->extensions, " "));
    return path_ + "/mesh" + ext;
  }

 private:
  std::string path_;
};

// Every byte of `from` to `to`; false on a read or write error.
bool copy_bytes(std::FILE* from, std::FILE* to) {
  std::vector<char> buffer(kCopyBuffer);
  std::size_t n;
  bool ok = true;
  while (ok && (n = std::fread(buffer.data(), 1, buffer.size(), from)) > 0)
    ok = std::fwrite(buffer.data(), 1, n, to) == n;
  return ok && !std::ferror(from) && std::fflush(to) == 0;
}

bool copy_stream(std::FILE* from, const std::string& to) {
  std::FILE* out = std::fopen(to.c_str(), "wb");
  if (!out) return false;
  const bool ok = copy_bytes(from, out);
  return std::fclose(out) == 0 && ok;
}

bool copy_file_to(const std::string& from, std::FILE* to) {
  std::FILE* in = std::fopen(from.c_str(), "rb");
  if (!in) return false;
  const bool ok = copy_bytes(in, to);
  std::fclose(in);
  return ok;
}

// " .stl .vtu": the extensions of the formats written in two forms.
std::string two_form_extensions() {
  std::size_t n = 0;
  const mesh_format* table = mesh_formats(n);
  std::string list;
  for (std::size_t k = 0; k < n; ++k)
    if (has_binary_form(&table[k])) list += std::string(" ") + table[k].extensions;
  return list;
}

// The format an option names ("msh", ".msh", "gmsh MSH"), readable or
// writable as asked; nullptr (and kOk) when the option is not given.
int given_format(const invocation& inv, const char* option, bool readable,
                 const mesh_format*& format) {
  format = nullptr;
  const auto it = inv.options.find(option);
  if (it == inv.options.end()) return kOk;
  std::string name = it->second;
  std::size_t n = 0;
  const mesh_format* table = mesh_formats(n);
  for (std::size_t k = 0; k < n && !format; ++k)
    if (name == table[k].name) format = &table[k];
  if (!format) format = find_mesh_format(("file" + (name[0] == '.' ? name : "." + name)).c_str());
  if (format && (readable ? format->read != nullptr : format->write != nullptr)) return kOk;
  format = nullptr;
  return usage_error("%s: no %s format '%s' (%s: %s)", option, readable ? "readable" : "writable",
                     name.c_str(), readable ? "read" : "written",
                     format_list(readable, false).c_str());
}

// Says why reading failed, in words and with the system's reason or the
// format the content looks like; returns the exit status.
int read_failure(const std::string& path, const std::string& shown, const mesh_format* f, int code,
                 std::size_t line) {
  if (code == mesh_nothing_read) {
    std::fprintf(stderr, "quernfold: no mesh found in %s (read as %s)\n", shown.c_str(),
                 f ? f->name : "unknown");
    return kReadFailed;
  }
  if (code == mesh_unknown_format || code == mesh_not_supported) {
    fail(shown, "%s (read: %s)", mesh_file_message(f, code, true),
         format_list(true, false).c_str());
    return kUsage;
  }
  if (const char* reason = code == -1 ? open_failure(path) : nullptr) {
    fail(shown, "cannot be opened: %s", reason);
    return kReadFailed;
  }
  const std::string at = line ? " at line " + std::to_string(line) : "";
  const mesh_format* looks = detect_mesh_format(path.c_str());
  if (looks && looks != f)
    fail(shown, "%s%s as %s; its content looks like %s", mesh_file_message(f, code, true),
         at.c_str(), f ? f->name : "unknown", looks->name);
  else
    fail(shown, "%s%s%s%s", mesh_file_message(f, code, true), at.c_str(), f ? " as " : "",
         f ? f->name : "");
  return read_status(code);
}

void report_left_out(const invocation& inv, const mesh_data& mesh) {
  for (const left_out_records& r : mesh.left_out)
    progress(inv, "left out %zu %s records: %s", r.count, r.record.c_str(), r.why);
}

// Reads `path` (shown as `shown`) in `as`, or in the format of its name or
// content.
int read_file(const std::string& path, const std::string& shown, const mesh_format* as,
              mesh_data& mesh, const invocation& inv, const char** format) {
  read_report report;
  progress(inv, "reading %s", shown.c_str());
  const int code = load_mesh(path.c_str(), mesh, report, as, inv.threads);
  const mesh_format* f = report.format;
  if (format) *format = f ? f->name : "unknown";
  if (report.from_content) fail(shown, "read as %s, the format of its content", f->name);
  if (code == mesh_missing_node) return refuse_missing_node(shown, mesh);
  if (code != 0) return read_failure(path, shown, f, code, mesh.malformed_line);
  report_left_out(inv, mesh);
  progress(inv, "read %zu nodes, %zu elements in %zu blocks", mesh.coords.cols(), mesh.elements(),
           mesh.blocks.size());
  return kOk;
}

// True when the output replaces the input.
bool replaces_input(const std::string& path, const invocation& inv) {
  if (inv.files.empty() || inv.files[0] == kStandardStream) return false;
  std::error_code ec;
  return std::filesystem::equivalent(inv.files[0], path, ec);
}

// The written form: as asked, else the input's (binary, compressed) when the
// output replaces it.
write_options written_form(const std::string& path, const mesh_format* f, const invocation& inv) {
  write_options opts;
  const bool same = has_binary_form(f) && replaces_input(path, inv);
  if (inv.has("--binary") || inv.has("--ascii"))
    opts.binary = inv.has("--binary");
  else
    opts.binary = same && is_binary_mesh_file(inv.files[0].c_str());
  opts.compressed = opts.binary && same && is_compressed_mesh_file(inv.files[0].c_str());
  return opts;
}

int write_file(const std::string& path, const std::string& shown, const mesh_data& mesh,
               const invocation& inv) {
  write_plan plan;
  const int planned = plan_mesh_write(path.c_str(), mesh, plan, inv.threads);
  if (planned == mesh_unknown_format || planned == mesh_not_supported)
    return check_output_name(path, inv);
  for (const block_loss& l : plan.losses) {
    const mesh_block& b = mesh.blocks[l.block];
    if (!l.written)
      fail(shown, "%zu %s elements left out (%s)", b.connectM.cols(), kind_name(b.type), l.loss);
    else
      fail(shown, "%zu %s elements %s", b.connectM.cols(), kind_name(b.type), l.loss);
  }
  if (planned == mesh_nothing_written) {
    fail(shown, "%s holds none of the %zu elements; nothing written", plan.format->name,
         mesh.elements());
    return kUnsuited;
  }
  if (plan.coincident_nodes || plan.inverted_elements)
    fail(shown,
         "%s cannot hold the coordinates exactly: %zu nodes become coincident and %zu "
         "elements non-positive",
         plan.format->name, plan.coincident_nodes, plan.inverted_elements);
  if (plan.imprecise_nodes)
    fail(
        shown,
        "%s cannot hold the coordinates to %g of the mesh size: %zu nodes move by up to %.1e of it",
        plan.format->name, plan.format->size_fraction, plan.imprecise_nodes, plan.largest_move);
  const write_options opts = written_form(path, plan.format, inv);
  if (!has_binary_form(plan.format) && replaces_input(path, inv) &&
      is_binary_mesh_file(inv.files[0].c_str()))
    fail(shown, "%s is written in text form only: the binary input is replaced by text",
         plan.format->name);
  progress(inv, "writing %s as %s", shown.c_str(), plan.format->name);
  errno = 0;
  const int code = write_mesh(path.c_str(), mesh, opts);
  if (code == 0) return kOk;
  const char* reason = code == -1 && errno ? std::strerror(errno) : nullptr;
  fail(shown, "%s%s%s", mesh_file_message(plan.format, code, false), reason ? ": " : "",
       reason ? reason : "");
  return write_status(code);
}

}  // namespace

void progress(const invocation& inv, const char* fmt, ...) {
  if (!inv.verbose) return;
  std::va_list args;
  va_start(args, fmt);
  vreport(nullptr, fmt, args);
  va_end(args);
}

void fail(const std::string& file, const char* fmt, ...) {
  std::va_list args;
  va_start(args, fmt);
  vreport(&file, fmt, args);
  va_end(args);
}

int usage_error(const char* fmt, ...) {
  std::va_list args;
  va_start(args, fmt);
  vreport(nullptr, fmt, args);
  va_end(args);
  std::fputs("(see quernfold --help)\n", stderr);
  return kUsage;
}

int library_failure(const std::string& file, const char* what, int code, int status) {
  if (code == no_memory) {
    fail(file, "%s: out of memory", what);
    return kUnsuited;
  }
  fail(file, "%s failed: %s", what, operation_message(code).c_str());
  return status;
}

bool number_option(const invocation& inv, const char* name, double fallback, bool (*valid)(double),
                   const char* range, double& value) {
  value = fallback;
  const auto it = inv.options.find(name);
  if (it == inv.options.end()) return true;
  char* end = nullptr;
  value = std::strtod(it->second.c_str(), &end);
  if (!it->second.empty() && *end == '\0' && std::isfinite(value) && valid(value)) return true;
  usage_error("%s: invalid value '%s' (accepted: %s)", name, it->second.c_str(), range);
  return false;
}

int read_input(const std::string& path, mesh_data& mesh, const invocation& inv,
               const char** format) {
  const mesh_format* as = nullptr;
  if (int status = given_format(inv, "--format", true, as)) return status;
  if (path != kStandardStream) return read_file(path, path, as, mesh, inv, format);
  if (!as) return usage_error("reading standard input needs --format");
  temporary_dir dir;
  const std::string copy = dir.file(as);
  if (!dir.ok() || !copy_stream(stdin, copy)) {
    fail("standard input", "cannot be copied to a temporary file: %s", std::strerror(errno));
    return kReadFailed;
  }
  return read_file(copy, "standard input", as, mesh, inv, format);
}

int check_output_name(const std::string& path, const invocation& inv) {
  if (inv.has("--binary") && inv.has("--ascii"))
    return usage_error("--binary and --ascii: give one of them");
  const mesh_format* f = nullptr;
  if (int status = given_format(inv, "--to", false, f)) return status;
  if (path == kStandardStream && !f) return usage_error("writing standard output needs --to");
  if (!f) f = find_mesh_format(path.c_str());
  if (!f || !f->write)
    return usage_error("%s: cannot write this format (written: %s)", path.c_str(),
                       format_list(false, false).c_str());
  const char* form = inv.has("--binary") ? "--binary" : inv.has("--ascii") ? "--ascii" : nullptr;
  if (form && !has_binary_form(f))
    return usage_error("%s: %s is written in one form only (%s applies to%s)", form, f->name, form,
                       two_form_extensions().c_str());
  return kOk;
}

int write_output(const std::string& path, const mesh_data& mesh, const invocation& inv) {
  const mesh_format* to = nullptr;
  if (int status = given_format(inv, "--to", false, to)) return status;
  if (path != kStandardStream && !to) return write_file(path, path, mesh, inv);
  temporary_dir dir;
  const std::string name = path == kStandardStream ? "standard output" : path;
  if (!dir.ok()) {
    fail(name, "cannot make a temporary folder: %s", std::strerror(errno));
    return kWriteFailed;
  }
  const std::string temporary = dir.file(to);
  if (int status = write_file(temporary, name, mesh, inv)) return status;
  std::FILE* target = path == kStandardStream ? stdout : std::fopen(path.c_str(), "wb");
  const bool copied = target && copy_file_to(temporary, target);
  if (target && target != stdout) std::fclose(target);
  if (copied) return kOk;
  fail(name, "cannot be written: %s", std::strerror(errno));
  return kWriteFailed;
}

std::string format_list(bool readable, bool with_names) {
  std::size_t n = 0;
  const mesh_format* formats = mesh_formats(n);
  std::string list;
  for (std::size_t k = 0; k < n; ++k) {
    if (readable ? !formats[k].read : !formats[k].write) continue;
    if (with_names)
      list += std::string("  ") + formats[k].extensions + "  " + formats[k].name + "\n";
    else
      list += std::string(list.empty() ? "" : " ") + formats[k].extensions;
  }
  return list;
}

}  // namespace cli
