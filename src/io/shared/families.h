// The overload families of the readers and writers whose core form works on
// element runs (NASTRAN, FEMAP, MEDIT, VTK, MSH): every other public form is
// generated from the format's core stream form, the ways in which the
// families differ being the parameters (reader_rules).
#pragma once

#include <cstdio>

#include "io/shared/element_runs.h"
#include "io/shared/files.h"

namespace ovk {
namespace quernfold {
namespace detail {

// Sets the type of the one-matrix reader form from the core's bounds and
// types (both as the core left them).
using one_type_rule = void (*)(const dense1D<unsigned>& bounds, const dense1D<int>& types,
                               element_type& type) noexcept;

// widen_runs of the types (type untouched when there is no run).
void widened_type(const dense1D<unsigned>& bounds, const dense1D<int>& types,
                  element_type& type) noexcept;
// The type of the only run, ET_UNKNOWN for none or several; untouched when
// the core refused the stream (bounds empty).
void single_run_type(const dense1D<unsigned>& bounds, const dense1D<int>& types,
                     element_type& type) noexcept;

// How the derived forms of a reader family behave.
struct reader_rules {
  const char* mode;         // fopen mode of every file-name form
  one_type_rule one_type;   // the one-matrix form's type
  bool reset_one_type;      // the one-matrix file-name form sets ET_UNKNOWN before opening
  bool clear_two_matrices;  // the two-matrix stream form empties both matrices first
};

// MEDIT, VTK and MSH (binary mode); NASTRAN and FEMAP (text mode, the
// matrices of a refused stream left as they were).
inline constexpr reader_rules kScannedReaderRules = {"rb", &widened_type, true, true};
inline constexpr reader_rules kNastranReaderRules = {"rt", &widened_type, true, false};
inline constexpr reader_rules kFemapReaderRules = {"rt", &single_run_type, false, false};

// Reader form 3 over a core reader: the first two runs as two matrices. A
// stream that the core refuses leaves every output untouched.
int read_first_runs(run_reader core, std::FILE* stream, dense2D<double>& coords,
                    dense2D<unsigned>& connectM1, dense2D<unsigned>& connectM2, element_type& type1,
                    element_type& type2);
// Writer forms 2 and 3 over a core writer (run containers of make_runs);
// -199 when they cannot be allocated.
int write_one_run(run_writer core, std::FILE* stream, const dense2D<double>& coords,
                  const dense2D<unsigned>& connectM, element_type type);
int write_two_runs(run_writer core, std::FILE* stream, const dense2D<double>& coords,
                   const dense2D<unsigned>& connectM1, const dense2D<unsigned>& connectM2,
                   element_type type1, element_type type2);

// The file-name core form and the one- and two-matrix forms (stream and
// file name) of a reader over its core stream form.
template <run_reader Core, const reader_rules& Rules>
struct reader_forms {
  static int core(const char* name, dense2D<double>& coords, dense2D<unsigned>& connectM,
                  dense1D<unsigned>& bounds, dense1D<int>& types, dense1D<unsigned>& refs) {
    return with_file(name, Rules.mode,
                     [&](std::FILE* f) { return Core(f, coords, connectM, bounds, types, refs); });
  }
  static int one(std::FILE* stream, dense2D<double>& coords, dense2D<unsigned>& connectM,
                 element_type& type) {
    dense1D<unsigned> bounds, refs;
    dense1D<int> types;
    const int code = Core(stream, coords, connectM, bounds, types, refs);
    Rules.one_type(bounds, types, type);
    return code;
  }
  static int one(const char* name, dense2D<double>& coords, dense2D<unsigned>& connectM,
                 element_type& type) {
    if (Rules.reset_one_type) type = ET_UNKNOWN;
    return with_file(name, Rules.mode,
                     [&](std::FILE* f) { return one(f, coords, connectM, type); });
  }
  static int two(std::FILE* stream, dense2D<double>& coords, dense2D<unsigned>& connectM1,
                 dense2D<unsigned>& connectM2, element_type& type1, element_type& type2) {
    if (Rules.clear_two_matrices) {
      connectM1.clear();
      connectM2.clear();
    }
    return read_first_runs(Core, stream, coords, connectM1, connectM2, type1, type2);
  }
  static int two(const char* name, dense2D<double>& coords, dense2D<unsigned>& connectM1,
                 dense2D<unsigned>& connectM2, element_type& type1, element_type& type2) {
    type1 = type2 = ET_UNKNOWN;
    return with_file(name, Rules.mode, [&](std::FILE* f) {
      return two(f, coords, connectM1, connectM2, type1, type2);
    });
  }
};

// Text mode of every file-name form of the run writers.
constexpr char kRunWriterMode[] = "wt";

// The file-name core form and the one- and two-matrix forms (stream and
// file name) of a run writer over its core stream form.
template <run_writer Core>
struct run_writer_forms {
  static int core(const char* name, const dense2D<double>& coords,
                  const dense2D<unsigned>& connectM, const dense1D<unsigned>& bounds,
                  const dense1D<int>& types, const dense1D<unsigned>& pids) {
    return with_file(name, kRunWriterMode,
                     [&](std::FILE* f) { return Core(f, coords, connectM, bounds, types, pids); });
  }
  static int one(std::FILE* stream, const dense2D<double>& coords,
                 const dense2D<unsigned>& connectM, element_type type) {
    return write_one_run(Core, stream, coords, connectM, type);
  }
  static int one(const char* name, const dense2D<double>& coords, const dense2D<unsigned>& connectM,
                 element_type type) {
    return with_file(name, kRunWriterMode,
                     [&](std::FILE* f) { return one(f, coords, connectM, type); });
  }
  static int two(std::FILE* stream, const dense2D<double>& coords,
                 const dense2D<unsigned>& connectM1, const dense2D<unsigned>& connectM2,
                 element_type type1, element_type type2) {
    return write_two_runs(Core, stream, coords, connectM1, connectM2, type1, type2);
  }
  static int two(const char* name, const dense2D<double>& coords,
                 const dense2D<unsigned>& connectM1, const dense2D<unsigned>& connectM2,
                 element_type type1, element_type type2) {
    return with_file(name, kRunWriterMode, [&](std::FILE* f) {
      return two(f, coords, connectM1, connectM2, type1, type2);
    });
  }
};

}  // namespace detail
}  // namespace quernfold
}  // namespace ovk

// Defines the file-name core form and the one- and two-matrix forms (stream
// and file name) of reader NAME as io.h declares them, over its core stream
// form, with the reader_rules RULES; used inside namespace ovk::quernfold.
#define QUERNFOLD_READER_FORMS(NAME, RULES)                                                      \
  int NAME(char const* name, dense2D<double>& coords, dense2D<unsigned>& connectM,               \
           dense1D<unsigned>& bounds, dense1D<int>& types, dense1D<unsigned>& refs) {            \
    return detail::reader_forms<NAME, RULES>::core(name, coords, connectM, bounds, types, refs); \
  }                                                                                              \
  int NAME(FILE* stream, dense2D<double>& coords, dense2D<unsigned>& connectM,                   \
           element_type& type) {                                                                 \
    return detail::reader_forms<NAME, RULES>::one(stream, coords, connectM, type);               \
  }                                                                                              \
  int NAME(char const* name, dense2D<double>& coords, dense2D<unsigned>& connectM,               \
           element_type& type) {                                                                 \
    return detail::reader_forms<NAME, RULES>::one(name, coords, connectM, type);                 \
  }                                                                                              \
  int NAME(FILE* stream, dense2D<double>& coords, dense2D<unsigned>& connectM1,                  \
           dense2D<unsigned>& connectM2, element_type& type1, element_type& type2) {             \
    return detail::reader_forms<NAME, RULES>::two(stream, coords, connectM1, connectM2, type1,   \
                                                  type2);                                        \
  }                                                                                              \
  int NAME(char const* name, dense2D<double>& coords, dense2D<unsigned>& connectM1,              \
           dense2D<unsigned>& connectM2, element_type& type1, element_type& type2) {             \
    return detail::reader_forms<NAME, RULES>::two(name, coords, connectM1, connectM2, type1,     \
                                                  type2);                                        \
  }

// Defines the file-name core form and the one- and two-matrix forms (stream
// and file name) of run writer NAME as io.h declares them, over its core
// stream form; used inside namespace ovk::quernfold.
#define QUERNFOLD_RUN_WRITER_FORMS(NAME)                                                          \
  int NAME(char const* name, dense2D<double> const& coords, dense2D<unsigned> const& connectM,    \
           dense1D<unsigned> const& bounds, dense1D<int> const& types,                            \
           dense1D<unsigned> const& pids) {                                                       \
    return detail::run_writer_forms<NAME>::core(name, coords, connectM, bounds, types, pids);     \
  }                                                                                               \
  int NAME(FILE* stream, dense2D<double> const& coords, dense2D<unsigned> const& connectM,        \
           element_type type) {                                                                   \
    return detail::run_writer_forms<NAME>::one(stream, coords, connectM, type);                   \
  }                                                                                               \
  int NAME(char const* name, dense2D<double> const& coords, dense2D<unsigned> const& connectM,    \
           element_type type) {                                                                   \
    return detail::run_writer_forms<NAME>::one(name, coords, connectM, type);                     \
  }                                                                                               \
  int NAME(FILE* stream, dense2D<double> const& coords, dense2D<unsigned> const& connectM1,       \
           dense2D<unsigned> const& connectM2, element_type type1, element_type type2) {          \
    return detail::run_writer_forms<NAME>::two(stream, coords, connectM1, connectM2, type1,       \
                                               type2);                                            \
  }                                                                                               \
  int NAME(char const* name, dense2D<double> const& coords, dense2D<unsigned> const& connectM1,   \
           dense2D<unsigned> const& connectM2, element_type type1, element_type type2) {          \
    return detail::run_writer_forms<NAME>::two(name, coords, connectM1, connectM2, type1, type2); \
  }
