// quernfold: command-line front end of the mesh library.
//
//   quernfold [--verbose] <command> [options] <files>
//
// Every command is one entry of kCommands; the formats come from the
// library's format table.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "cli.h"
#include "commands.h"

namespace {

using namespace cli;

struct option_spec {
  const char* name;
  const char* value;  // name of the value, nullptr for a flag
  const char* help;
};

constexpr std::size_t kMaxOptions = 5;
constexpr std::size_t kAnyNumber = 0;

struct command {
  const char* name;
  const char* alias;      // another name of the same command, or nullptr
  const char* arguments;  // e.g. "<in> <out>"
  std::size_t files;      // files expected; kAnyNumber: one or more
  const char* summary;
  const char* details;
  option_spec options[kMaxOptions];
  int (*action)(const invocation&);
};

const option_spec kBinary = {
    "--binary", nullptr, "write the binary form (STL, VTK XML; an error for formats of one form)"};
const option_spec kAscii = {
    "--ascii", nullptr,
    "write the text form (STL, VTK XML; by default a file written over its\n"
    "                   input keeps the input's form)"};
const option_spec kFormat = {"--format", "F",
                             "read the input as format F (msh, stl, ...; needed for - ,\n"
                             "                   standard input)"};
const option_spec kTo = {"--to", "F",
                         "write format F whatever the name (needed for - , standard output)"};

const command kCommands[] = {
    {"info",
     nullptr,
     "<mesh>...",
     kAnyNumber,
     "what a mesh holds and how good it is",
     "Prints, for every file, the nodes, the dimension, the elements by kind, the bounding box,\n"
     "the boundary faces, connected parts and non-manifold faces of the elements of the mesh's\n"
     "dimension (taken together, so faces between two kinds are interior), the exactly\n"
     "coincident nodes (counted, not merged), the elements whose Jacobian is not positive,\n"
     "the edge lengths and the shape qualities with the worst element (numbered from 1).\n"
     "--json prints one JSON object per file (an array for several files); its worst\n"
     "element index counts from 0 within its cell kind, as meshio does.\n",
     {{"--json", nullptr, "machine-readable output"}, kFormat},
     cmd_info},
    {"quality",
     nullptr,
     "<mesh>",
     1,
     "histogram of element shape qualities",
     "Prints a histogram of the shape qualities (1 = ideal element, 0 = flat, < 0 inverted)\n"
     "in N equal bins over [0, 1]. --json prints one JSON object: file, dimension, elements,\n"
     "min, mean, max, inverted (quality < 0), kinds [{cell, elements, min, max}] and bins\n"
     "[{lower, upper, count}]. --output writes the mesh with every element's quality as cell\n"
     "data \"quality\" (NaN for kinds without one: points and lines) to a .vtk or .vtu file.\n",
     {{"--bins", "N", "number of bins, 1 to 1000 (default 10)"},
      {"--output", "FILE", "also write the mesh with the qualities (.vtk or .vtu)"},
      kFormat,
      {"--json", nullptr, "machine-readable output"}},
     cmd_quality},
    {"convert",
     nullptr,
     "<in> <out>",
     2,
     "write the mesh in the format of <out>'s extension",
     "Reads <in> and writes it in the format of <out>'s extension. Elements the output format\n"
     "cannot hold, or holds only in part, are reported on stderr with their count and why.\n"
     "<in> - reads standard input (with --format), <out> - writes standard output (with --to).\n",
     {kBinary, kAscii, kFormat, kTo},
     cmd_convert},
    {"clean",
     "merge",
     "<in> <out>",
     2,
     "merge close nodes, drop degenerate elements",
     "Merges nodes within T of each other (default 0: coincident nodes only), removes the\n"
     "elements that name a node twice and the nodes no element uses, prints what changed\n"
     "and writes <out>. 'merge' is the same command.\n",
     {{"--tol", "T", "merge distance, finite and >= 0 (default 0)"}, kBinary, kAscii, kFormat},
     cmd_clean},
    {"boundary",
     nullptr,
     "<in> <out>",
     2,
     "write the boundary faces as a mesh",
     "Writes the boundary faces of the elements of the mesh's dimension (triangles and\n"
     "quadrangles of a volume mesh, edges of a surface, end points of a curve; vertex nodes\n"
     "only) as a mesh holding only the nodes they use. Faces point outward: a closed skin\n"
     "encloses a positive volume (the normals STL readers expect).\n",
     {kBinary, kAscii, kFormat},
     cmd_boundary},
    {"sizemap",
     nullptr,
     "<in> <out.sol|out.vtk|out.vtu>",
     2,
     "size per node from the edges, as a .sol, .vtk or .vtu file",
     "Writes an isotropic size per node: the power mean with exponent P of the lengths of the\n"
     "edges at the node (P = 0: the shortest). With --gradation B the sizes shrink until the\n"
     "size grows by at most a factor B per unit of length along every edge (B >= 1); the\n"
     "gradation runs on one thread (each of its steps depends on the one before).\n"
     "The .sol file is a MEDIT solution (keyword layout); write the mesh beside it with\n"
     "convert. A .vtk or .vtu output holds the mesh with the sizes as point data named size.\n",
     {{"--p", "P", "exponent of the power mean, finite and >= 0 (default 1)"},
      {"--gradation", "B", "largest growth of the size per unit of length, finite and >= 1"},
      kFormat},
     cmd_sizemap},
    {"partition",
     nullptr,
     "<in> <out.msh|out.pvtu>",
     2,
     "METIS parts of the elements, written per part",
     "Partitions the elements of the mesh's highest dimension into N parts (METIS k-way on\n"
     "the face-dual graph, imbalance at most 1.03; lower-dimension elements follow the solid\n"
     "holding them) and writes every part with its elements, global node and element ids and\n"
     "node owners: <out.msh> a gmsh MSH 4.1 partitioned file (with --split NAME_1.msh ..\n"
     "NAME_N.msh beside it), <out.pvtu> a VTK XML .pvtu with pieces NAME_1.vtu .. NAME_N.vtu.\n"
     "The same input, N and seed give the same files. Prints the edge cut, the imbalance and\n"
     "per part its elements and interface nodes (--json: keys parts, edge_cut, imbalance,\n"
     "elements and interface_nodes, the last two one entry per part).\n",
     {{"--parts", "N", "number of parts, >= 1 (required)"},
      {"--ghosts", "L", "ghost layers, 0 or 1 (default 0)"},
      {"--split", nullptr, "one .msh file per part"},
      {"--seed", "S", "METIS seed, >= 0 (default 1)"},
      {"--json", nullptr, "machine-readable summary"}},
     cmd_partition},
};

const command* find_command(const std::string& name) {
  for (const command& c : kCommands)
    if (name == c.name || (c.alias && name == c.alias)) return &c;
  return nullptr;
}

const option_spec* find_option(const command& c, const std::string& name) {
  for (const option_spec& o : c.options)
    if (o.name && name == o.name) return &o;
  return nullptr;
}

void print_usage(std::FILE* out) {
  std::fputs("usage: quernfold [--verbose] <command> [options] <files>\n\ncommands:\n", out);
  for (const command& c : kCommands) {
    const std::string head = std::string(c.name) + " " + c.arguments;
    std::fprintf(out, "  %-26s %s\n", head.c_str(), c.summary);
  }
  std::fprintf(out, "\nread:\n%s\nwritten:\n%s\n", format_list(true, true).c_str(),
               format_list(false, true).c_str());
  std::fputs(
      "options: --verbose (-v) progress on stderr, --threads N threads (default: the\n"
      "machine's cores; the results are the same for every N), --help (-h), --version;\n"
      "'quernfold <command> --help' describes a command and its options.\n"
      "exit status: 0 ok, 1 usage (bad option value, unknown format), 2 input missing,\n"
      "unreadable, malformed or with no mesh in it, 3 output not written,\n"
      "4 mesh unsuited to the operation or out of memory\n",
      out);
}

void print_command_help(const command& c, std::FILE* out) {
  std::fprintf(out, "usage: quernfold %s [options] %s\n", c.name, c.arguments);
  if (c.alias) std::fprintf(out, "   or: quernfold %s [options] %s\n", c.alias, c.arguments);
  std::fprintf(out, "%s", c.details);
  for (const option_spec& o : c.options) {
    if (!o.name) continue;
    const std::string head = std::string(o.name) + (o.value ? std::string(" ") + o.value : "");
    std::fprintf(out, "  %-16s %s\n", head.c_str(), o.help);
  }
  std::fprintf(out, "  %-16s %s\n", "--threads N",
               "threads (default: the machine's cores; the same output for every N)");
}

bool is_help(const std::string& a) { return a == "--help" || a == "-h"; }
bool is_verbose(const std::string& a) { return a == "--verbose" || a == "-v"; }

// The most threads --threads accepts.
constexpr unsigned long kMaxThreads = 1024;

// --threads N at args[k] (any command takes it): moves k to the value.
// Returns an exit status.
int parse_threads(const std::vector<std::string>& args, std::size_t& k, invocation& inv) {
  if (k + 1 == args.size()) return usage_error("--threads needs a value N");
  const std::string& v = args[++k];
  char* end = nullptr;
  const unsigned long n = std::strtoul(v.c_str(), &end, 10);
  if (v.empty() || v[0] == '-' || *end || n == 0 || n > kMaxThreads)
    return usage_error("--threads: %s is not a thread count from 1 to %lu", v.c_str(), kMaxThreads);
  inv.threads = static_cast<unsigned>(n);
  return kOk;
}

// Options and files after the command name. Returns -1 when the command's
// help was asked for, else an exit status.
int parse_command_line(const command& c, const std::vector<std::string>& args, std::size_t k,
                       invocation& inv) {
  for (; k < args.size(); ++k) {
    const std::string& a = args[k];
    if (is_help(a)) return -1;
    if (is_verbose(a)) {
      inv.verbose = true;
    } else if (a == "--threads") {
      if (int status = parse_threads(args, k, inv)) return status;
    } else if (const option_spec* o = find_option(c, a)) {
      if (o->value && k + 1 == args.size())
        return usage_error("%s needs a value %s", a.c_str(), o->value);
      inv.options[a] = o->value ? args[++k] : "";
    } else if (a.size() > 1 && a[0] == '-') {
      return usage_error("%s: unknown option %s", c.name, a.c_str());
    } else {
      inv.files.push_back(a);
    }
  }
  const bool count_ok = c.files == kAnyNumber ? !inv.files.empty() : inv.files.size() == c.files;
  if (count_ok) return kOk;
  print_command_help(c, stderr);
  return kUsage;
}

int run(const std::vector<std::string>& args) {
  invocation inv;
  std::size_t k = 0;
  for (; k < args.size() && args[k].size() > 1 && args[k][0] == '-'; ++k) {
    if (is_verbose(args[k])) {
      inv.verbose = true;
    } else if (args[k] == "--threads") {
      if (int status = parse_threads(args, k, inv)) return status;
    } else if (is_help(args[k])) {
      print_usage(stdout);
      return kOk;
    } else if (args[k] == "--version") {
      std::printf("quernfold %s\n", ovk::quernfold::version());
      return kOk;
    } else {
      return usage_error("unknown option %s", args[k].c_str());
    }
  }
  if (k == args.size()) {
    print_usage(stderr);
    return kUsage;
  }
  const command* c = find_command(args[k]);
  if (!c) return usage_error("unknown command %s", args[k].c_str());
  const int parsed = parse_command_line(*c, args, k + 1, inv);
  if (parsed < 0) print_command_help(*c, stdout);
  if (parsed != kOk) return parsed < 0 ? kOk : parsed;
  return c->action(inv);
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return run(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const std::bad_alloc&) {
    std::fputs("quernfold: out of memory\n", stderr);
    return kUnsuited;
  }
}
