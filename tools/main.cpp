// quernfold: command-line front end of the mesh library.
//
//   quernfold [--verbose] <command> [options] <files>
//
// Exit codes: 0 success, 1 bad command line, 2 input unreadable, 3 output
// not written, 4 mesh unsuited to the operation.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cli.h"
#include "commands.h"

namespace {

using namespace cli;

const char kUsageText[] =
    "usage: quernfold [--verbose] <command> [options] <files>\n"
    "\n"
    "commands:\n"
    "  info <mesh>                      nodes, elements, bounding box, boundary, quality\n"
    "  quality [--bins N] <mesh>        histogram of element shape qualities\n"
    "  convert [--binary] <in> <out>    write the mesh in the format of <out>'s extension\n"
    "  merge [--tol T] <in> <out>       merge nodes closer than T, drop degenerate elements\n"
    "                                   and unused nodes, write the result\n"
    "\n"
    "read: .stl .obj .nas .bdf .dat .neu   written: also .mesh .vtk .geo\n"
    "options: --verbose (-v) progress on stderr, --help (-h), --version\n"
    "exit codes: 0 ok, 1 usage, 2 input unreadable, 3 output not written, 4 unsuited mesh\n";

struct command_help {
  const char* name;
  const char* text;
};

const command_help kCommandHelp[] = {
    {"info",
     "usage: quernfold info <mesh>\n"
     "Prints the number of nodes and elements by kind, the bounding box, the number of\n"
     "boundary faces and connected parts, and the shape quality range with the worst element.\n"},
    {"quality",
     "usage: quernfold quality [--bins N] <mesh>\n"
     "Prints a histogram of the shape qualities (1 = ideal element, 0 = flat, < 0 inverted)\n"
     "in N equal bins over [0, 1] (default 10).\n"},
    {"convert",
     "usage: quernfold convert [--binary] <in> <out>\n"
     "Reads <in> and writes it in the format of <out>'s extension (.mesh .vtk .stl .obj\n"
     ".nas .neu .geo). --binary writes binary STL.\n"},
    {"merge",
     "usage: quernfold merge [--tol T] <in> <out>\n"
     "Merges nodes closer than T (default 0: coincident nodes only), removes the elements\n"
     "that became degenerate and the nodes no element uses, and writes <out>.\n"},
};

int usage_error(const char* fmt, const char* what) {
  std::fprintf(stderr, "quernfold: ");
  std::fprintf(stderr, fmt, what);
  std::fprintf(stderr, "\n(see quernfold --help)\n");
  return kUsage;
}

bool is_help(const std::string& a) { return a == "--help" || a == "-h"; }

const char* help_of(const std::string& command) {
  for (const command_help& h : kCommandHelp)
    if (command == h.name) return h.text;
  return nullptr;
}

bool parse_number(const std::string& text, double& value) {
  char* end = nullptr;
  value = std::strtod(text.c_str(), &end);
  return !text.empty() && end && *end == '\0';
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  settings s;
  std::size_t k = 0;
  for (; k < args.size() && !args[k].empty() && args[k][0] == '-'; ++k) {
    if (args[k] == "--verbose" || args[k] == "-v")
      s.verbose = true;
    else if (is_help(args[k]))
      return std::fputs(kUsageText, stdout), kOk;
    else if (args[k] == "--version")
      return std::printf("quernfold %s\n", ovk::quernfold::version()), kOk;
    else
      return usage_error("unknown option %s", args[k].c_str());
  }
  if (k == args.size()) return std::fputs(kUsageText, stderr), kUsage;
  const std::string command = args[k++];
  const char* help = help_of(command);
  if (!help) return usage_error("unknown command %s", command.c_str());

  unsigned bins = 10;
  double tol = 0.0;
  std::vector<std::string> files;
  for (; k < args.size(); ++k) {
    const std::string& a = args[k];
    if (is_help(a)) return std::fputs(help, stdout), kOk;
    if (a == "--verbose" || a == "-v") {
      s.verbose = true;
    } else if (a == "--binary" && command == "convert") {
      s.ascii = false;
    } else if ((a == "--bins" && command == "quality") || (a == "--tol" && command == "merge")) {
      double v;
      if (k + 1 == args.size() || !parse_number(args[k + 1], v) || v < 0 ||
          (a == "--bins" && (v < 1 || v > 1000 || v != static_cast<unsigned>(v))))
        return usage_error("%s needs a valid number", a.c_str());
      if (a == "--bins")
        bins = static_cast<unsigned>(v);
      else
        tol = v;
      ++k;
    } else if (!a.empty() && a[0] == '-' && a != "-") {
      return usage_error("unknown option %s", a.c_str());
    } else {
      files.push_back(a);
    }
  }

  const std::size_t wanted = (command == "info" || command == "quality") ? 1 : 2;
  if (files.size() != wanted) {
    std::fputs(help, stderr);
    return kUsage;
  }
  if (command == "info") return cmd_info(files[0], s);
  if (command == "quality") return cmd_quality(files[0], bins, s);
  if (command == "convert") return cmd_convert(files[0], files[1], s);
  return cmd_merge(files[0], files[1], tol, s);
}
