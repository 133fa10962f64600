// Diagnostics, options, and reading and writing through the library's
// whole-mesh layer.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <string>

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

int read_status(int code) {
  if (code == no_memory) return kUnsuited;
  if (code == mesh_unknown_format || code == mesh_not_supported) return kUsage;
  return kReadFailed;
}

int write_status(int code) {
  if (code == mesh_unknown_format || code == mesh_not_supported) return kUsage;
  return code == -1 ? kWriteFailed : kUnsuited;
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
  fail(file, "%s failed (code %d)", what, code);
  return status;
}

bool number_option(const invocation& inv, const char* name, double fallback, bool (*valid)(double),
                   double& value) {
  value = fallback;
  const auto it = inv.options.find(name);
  if (it == inv.options.end()) return true;
  char* end = nullptr;
  value = std::strtod(it->second.c_str(), &end);
  if (!it->second.empty() && *end == '\0' && valid(value)) return true;
  usage_error("%s: invalid value '%s'", name, it->second.c_str());
  return false;
}

int read_input(const std::string& path, mesh_data& mesh, const invocation& inv,
               const char** format) {
  read_report report;
  progress(inv, "reading %s", path.c_str());
  const int code = load_mesh(path.c_str(), mesh, report);
  const mesh_format* f = report.format;
  if (format) *format = f ? f->name : "unknown";
  if (report.from_content) fail(path, "read as %s, the format of its content", f->name);
  if (code == mesh_missing_node) return refuse_missing_node(path, mesh);
  if (code == mesh_unknown_format || code == mesh_not_supported) {
    fail(path, "%s (read: %s)", mesh_file_message(f, code, true), format_list(true, false).c_str());
    return kUsage;
  }
  if (code != 0) {
    fail(path, "%s (code %d)", mesh_file_message(f, code, true), code);
    return read_status(code);
  }
  progress(inv, "read %zu nodes, %zu elements in %zu blocks", mesh.coords.cols(), mesh.elements(),
           mesh.blocks.size());
  return kOk;
}

int check_output_name(const std::string& path) {
  const mesh_format* f = find_mesh_format(path.c_str());
  if (f && f->write) return kOk;
  return usage_error("%s: cannot write this format (written: %s)", path.c_str(),
                     format_list(false, false).c_str());
}

int write_output(const std::string& path, const mesh_data& mesh, const invocation& inv) {
  write_plan plan;
  const int planned = plan_mesh_write(path.c_str(), mesh, plan);
  if (planned == mesh_unknown_format || planned == mesh_not_supported)
    return check_output_name(path);
  for (const block_loss& l : plan.losses) {
    const mesh_block& b = mesh.blocks[l.block];
    if (!l.written)
      fail(path, "%zu %s elements left out (%s)", b.connectM.cols(), kind_name(b.type), l.loss);
    else
      fail(path, "%zu %s elements %s", b.connectM.cols(), kind_name(b.type), l.loss);
  }
  if (planned == mesh_nothing_written) {
    fail(path, "%s holds none of the %zu elements; nothing written", plan.format->name,
         mesh.elements());
    return kUnsuited;
  }
  if (plan.coincident_nodes || plan.inverted_elements)
    fail(path,
         "%s cannot hold the coordinates exactly: %zu nodes become coincident and %zu "
         "elements non-positive",
         plan.format->name, plan.coincident_nodes, plan.inverted_elements);
  write_options opts;
  opts.binary = inv.has("--binary");
  progress(inv, "writing %s as %s", path.c_str(), plan.format->name);
  const int code = write_mesh(path.c_str(), mesh, opts);
  if (code == 0) return kOk;
  fail(path, "%s (code %d)", mesh_file_message(plan.format, code, false), code);
  return write_status(code);
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
