// The tool's commands that transform or measure a mesh: quality, convert,
// clean, boundary and sizemap.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli.h"
#include "commands.h"

namespace cli {
namespace {

using namespace ovk::quernfold;

// Upper end of the last quality bin, a little above 1 so that ideal elements
// fall inside it.
constexpr double kQualityTop = 1.0 + 1e-12;
constexpr double kMaxBins = 1000;
// Extension of the size-map files.
constexpr const char kSolutionExtension[] = ".sol";
constexpr const char kVtkExtension[] = ".vtk";
constexpr const char kVtuExtension[] = ".vtu";

bool non_negative(double v) { return v >= 0; }
constexpr const char kNonNegative[] = "a finite number >= 0";
bool at_least_one(double v) { return v >= 1; }
bool bin_count(double v) { return v >= 1 && v <= kMaxBins && v == std::floor(v); }

bool has_extension(const std::string& path, const char* ext) {
  const std::size_t n = std::strlen(ext);
  if (path.size() <= n) return false;
  std::string tail = path.substr(path.size() - n);
  std::transform(tail.begin(), tail.end(), tail.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return tail == ext;
}

// Prints the range of the sizes and the nodes the gradation changed.
int report_sizes(const dense1D<double>& H, int changed) {
  const auto lo_hi = std::minmax_element(H.begin(), H.end());
  std::printf("sizes: %zu nodes, min %g, max %g; %d changed by the gradation\n", H.size(),
              H.size() ? *lo_hi.first : 0.0, H.size() ? *lo_hi.second : 0.0, changed);
  return kOk;
}

// Upper end of bin k (the last ends at 1).
double bin_upper(const histogram& h, std::size_t k) {
  return k + 1 < h.nbins() ? h.bin_lower(k + 1) : 1.0;
}

// The qualities of one block.
struct kind_quality {
  const char* cell;
  std::size_t elements;
  double min, max;
};

void print_quality_text(const histogram& h, unsigned top, const std::vector<kind_quality>& kinds) {
  std::printf("%zu elements of dimension %u, quality min %.6f mean %.6f max %.6f\n", h.count(), top,
              h.min(), h.mean(), h.max());
  for (const kind_quality& k : kinds)
    std::printf("  %-14s %zu, min %.6f max %.6f\n", k.cell, k.elements, k.min, k.max);
  if (h.underflow()) std::printf("  < 0         %8zu  (inverted)\n", h.underflow());
  for (std::size_t k = 0; k < h.nbins(); ++k)
    std::printf("  [%.2f, %.2f%c %8zu\n", h.bin_lower(k), bin_upper(h, k),
                k + 1 < h.nbins() ? ')' : ']', h.bin_count(k));
}

// The same as one JSON object: file, dimension, elements, min, mean, max,
// inverted, kinds [{cell, elements, min, max}] and bins [{lower, upper,
// count}].
void print_quality_json(const std::string& file, const histogram& h, unsigned top,
                        const std::vector<kind_quality>& kinds) {
  using json = nlohmann::ordered_json;
  json bins = json::array(), cells = json::array();
  for (std::size_t k = 0; k < h.nbins(); ++k)
    bins.push_back(
        {{"lower", h.bin_lower(k)}, {"upper", bin_upper(h, k)}, {"count", h.bin_count(k)}});
  for (const kind_quality& k : kinds)
    cells.push_back({{"cell", k.cell}, {"elements", k.elements}, {"min", k.min}, {"max", k.max}});
  const json j = {{"file", file},
                  {"dimension", top},
                  {"elements", h.count()},
                  {"min", h.min()},
                  {"mean", h.mean()},
                  {"max", h.max()},
                  {"inverted", h.underflow()},
                  {"kinds", std::move(cells)},
                  {"bins", std::move(bins)}};
  std::printf("%s\n", j.dump(2).c_str());
}

}  // namespace

int cmd_quality(const invocation& inv) {
  double bins;
  if (!number_option(inv, "--bins", 10, bin_count, "a whole number from 1 to 1000", bins))
    return kUsage;
  const std::string out = inv.has("--output") ? inv.options.at("--output") : std::string();
  if (!out.empty() && !has_extension(out, kVtkExtension) && !has_extension(out, kVtuExtension))
    return usage_error("%s: qualities are written as a %s or %s file", out.c_str(), kVtkExtension,
                       kVtuExtension);
  mesh_data mesh;
  if (int status = read_input(inv.files[0], mesh, inv)) return status;
  // The histogram of the elements of the mesh's dimension; one line per kind.
  // Every block's qualities go to the cell field (NaN where a kind has none).
  histogram h(0.0, kQualityTop, static_cast<unsigned>(bins));
  const unsigned top = mesh_dimension(mesh);
  std::vector<kind_quality> per_kind;
  cell_field field{"quality", {}};
  for (const mesh_block& b : mesh.blocks) {
    dense1D<double> q;
    const element_type kind = linear_kind(b.type);
    const bool measured = kind != ET_NODE && element_dim(kind) >= 2 && b.connectM.cols() != 0;
    if (int code =
            measured ? cell_qualities(mesh.coords, b, quality_measure::shape, q, inv.threads) : 0)
      return library_failure(inv.files[0], "quality", code, kUnsuited);
    field.values.emplace_back(1, b.connectM.cols());
    double* column = field.values.back().data();
    std::fill(column, column + b.connectM.cols(), std::numeric_limits<double>::quiet_NaN());
    std::copy(q.begin(), q.end(), column);
    if (!measured || element_dim(kind) != top) continue;
    const auto lo_hi = std::minmax_element(q.begin(), q.end());
    per_kind.push_back({kind_name(b.type), q.size(), *lo_hi.first, *lo_hi.second});
    for (double x : q) h.process(x);
  }
  if (h.count() == 0) {
    fail(inv.files[0], "no element of a kind with a shape quality");
    return kUnsuited;
  }
  if (!out.empty()) {  // the mesh with the qualities as cell data "quality"
    mesh.cell_fields.push_back(field);
    if (int status = write_output(out, mesh, inv)) return status;
  }
  if (inv.has("--json"))
    print_quality_json(inv.files[0], h, top, per_kind);
  else
    print_quality_text(h, top, per_kind);
  return kOk;
}

int cmd_convert(const invocation& inv) {
  if (int status = check_output_name(inv.files[1], inv)) return status;
  mesh_data mesh;
  if (int status = read_input(inv.files[0], mesh, inv)) return status;
  return write_output(inv.files[1], mesh, inv);
}

int cmd_clean(const invocation& inv) {
  double tol;
  if (!number_option(inv, "--tol", 0.0, non_negative, kNonNegative, tol)) return kUsage;
  if (int status = check_output_name(inv.files[1], inv)) return status;
  mesh_data mesh, cleaned;
  if (int status = read_input(inv.files[0], mesh, inv)) return status;
  clean_report counts;
  if (int code = clean_mesh(mesh, tol, cleaned, counts, inv.threads))
    return library_failure(inv.files[0], "cleaning", code, kUnsuited);
  std::printf("nodes merged: %d\nelements removed: %zu\nnodes removed: %zu\n", counts.merged,
              counts.elements_removed, counts.nodes_removed);
  std::printf("result: %zu nodes, %zu elements\n", cleaned.coords.cols(), cleaned.elements());
  return write_output(inv.files[1], cleaned, inv);
}

int cmd_boundary(const invocation& inv) {
  if (int status = check_output_name(inv.files[1], inv)) return status;
  mesh_data mesh;
  if (int status = read_input(inv.files[0], mesh, inv)) return status;
  mesh_data out;
  dense1D<unsigned> node_map;
  int code = mesh_boundary(mesh, out);
  if (code == mesh_no_faces) {
    fail(inv.files[0], "no element with faces: the mesh has no boundary");
    return kUnsuited;
  }
  if (code == 0) code = std::min(drop_unused_nodes(out, node_map), 0);
  if (code) return library_failure(inv.files[0], "boundary", code, kUnsuited);
  std::printf("boundary: %zu faces", out.elements());
  for (const mesh_block& b : out.blocks)
    std::printf(", %zu %s", b.connectM.cols(), kind_name(b.type));
  std::printf("; %zu nodes%s\n", out.coords.cols(), out.elements() ? "" : " (the mesh is closed)");
  return write_output(inv.files[1], out, inv);
}

int cmd_sizemap(const invocation& inv) {
  double p, gradation;
  if (!number_option(inv, "--p", 1.0, non_negative, kNonNegative, p) ||
      !number_option(inv, "--gradation", HUGE_VAL, at_least_one, "a finite number >= 1", gradation))
    return kUsage;
  const std::string& out = inv.files[1];
  const bool as_vtk = has_extension(out, kVtkExtension) || has_extension(out, kVtuExtension);
  if (!has_extension(out, kSolutionExtension) && !as_vtk)
    return usage_error("%s: a size map is written as a %s, %s or %s file", out.c_str(),
                       kSolutionExtension, kVtkExtension, kVtuExtension);
  mesh_data mesh;
  if (int status = read_input(inv.files[0], mesh, inv)) return status;
  dense1D<double> H;
  int changed = 0;
  const int sized = mesh_size_map(mesh, p, gradation, H, changed, inv.threads);
  if (sized == mesh_no_faces) {
    fail(inv.files[0], "no element with edges: no size can be measured");
    return kUnsuited;
  }
  if (sized) return library_failure(inv.files[0], "sizes", sized, kUnsuited);
  const unsigned space = static_cast<unsigned>(mesh.coords.rows());
  if (as_vtk) {  // the mesh with the sizes as point data "size"
    point_field size{"size", dense2D<double>(1, H.size())};
    std::copy(H.begin(), H.end(), size.values.column(0));
    mesh.point_fields.push_back(size);
    if (int status = write_output(out, mesh, inv)) return status;
    return report_sizes(H, changed);
  }
  errno = 0;
  const int code = replace_file(out.c_str(), [&](const char* temporary) {
    return medit_scalar(temporary, space, H, writer_settings{true, true, false});
  });
  if (code != 0) {
    fail(out, "%s%s%s", mesh_file_message(nullptr, code, false), errno ? ": " : "",
         errno ? std::strerror(errno) : "");
    return code == no_memory ? kUnsuited : kWriteFailed;
  }
  return report_sizes(H, changed);
}

}  // namespace cli
