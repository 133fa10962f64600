#include "io/shared/families.h"

namespace ovk {
namespace quernfold {
namespace detail {

void widened_type(const dense1D<unsigned>&, const dense1D<int>& types,
                  element_type& type) noexcept {
  widen_runs(types, type);
}

void single_run_type(const dense1D<unsigned>& bounds, const dense1D<int>& types,
                     element_type& type) noexcept {
  if (bounds.empty()) return;
  type = types.size() == 1 ? static_cast<element_type>(types[0]) : ET_UNKNOWN;
}

int read_first_runs(run_reader core, std::FILE* stream, dense2D<double>& coords,
                    dense2D<unsigned>& connectM1, dense2D<unsigned>& connectM2, element_type& type1,
                    element_type& type2) {
  dense2D<unsigned> all;
  dense1D<unsigned> bounds, pids;
  dense1D<int> types;
  const int code = core(stream, coords, all, bounds, types, pids);
  if (bounds.empty()) return code;  // the stream was refused before reading
  const int split = split_first_runs(all, bounds, types, connectM1, connectM2, type1, type2);
  return code < 0 ? code : split;
}

int write_one_run(run_writer core, std::FILE* stream, const dense2D<double>& coords,
                  const dense2D<unsigned>& connectM, element_type type) {
  run_set runs;
  if (!make_runs(connectM, type, runs)) return no_memory;
  return core(stream, coords, runs.connect, runs.bounds, runs.types, runs.pids);
}

int write_two_runs(run_writer core, std::FILE* stream, const dense2D<double>& coords,
                   const dense2D<unsigned>& connectM1, const dense2D<unsigned>& connectM2,
                   element_type type1, element_type type2) {
  run_set runs;
  if (!make_runs(connectM1, connectM2, type1, type2, runs)) return no_memory;
  return core(stream, coords, runs.connect, runs.bounds, runs.types, runs.pids);
}

}  // namespace detail
}  // namespace quernfold
}  // namespace ovk
