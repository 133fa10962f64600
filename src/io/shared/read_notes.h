// What a reader tells beyond its code when the caller asks (the whole-mesh
// layer does): the records it passed over, and where a failed read stopped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "quernfold/io.h"
#include "quernfold/mesh.h"

namespace ovk {
namespace quernfold {
namespace detail {

struct read_notes {
  std::vector<left_out_records> left_out;
  // A byte of the input inside the record that stopped the read (for a
  // line reader, the last byte of its line); meaningful only when `placed`.
  std::uint64_t failed_at = 0;
  bool placed = false;
  // When set, the MSH reader appends the entity (elementary) tag of every
  // element it keeps, in the order of the element columns.
  dense1D<unsigned>* entities = nullptr;
  // Set by the MSH reader when the reference of an element it keeps is a
  // physical tag (or a partition), not the entity tag taken for want of one.
  bool physical = false;

  // Counts `count` records named `record` passed over for `why`.
  void count(std::string_view record, const char* why, std::size_t count = 1) {
    if (count == 0) return;
    for (left_out_records& r : left_out)
      if (r.why == why && r.record == record) {
        r.count += count;
        return;
      }
    left_out.push_back({std::string(record), why, count});
  }
  // Notes that the read failed inside the line that ends before byte
  // `offset` (a line reader's offset once the line is taken).
  void line_failed(std::uint64_t offset) {
    failed_at = offset > 0 ? offset - 1 : 0;
    placed = true;
  }
};

// The file-name forms of the readers that also fill `notes`: the core forms
// of the MSH, MEDIT, VTK and FEMAP readers, STL_input and WavefrontOBJ_input (same
// outputs and codes as the forms without notes). Those with `threads` read
// a text file on that many threads, every output, code and note the same
// as with 1.
int msh_input_noted(const char* name, dense2D<double>& coords, dense2D<unsigned>& connectM,
                    dense1D<unsigned>& bounds, dense1D<int>& types, dense1D<unsigned>& refs,
                    read_notes& notes, unsigned threads = 1);
int medit_input_noted(const char* name, dense2D<double>& coords, dense2D<unsigned>& connectM,
                      dense1D<unsigned>& bounds, dense1D<int>& types, dense1D<unsigned>& refs,
                      read_notes& notes, unsigned threads = 1);
int vtk_input_noted(const char* name, dense2D<double>& coords, dense2D<unsigned>& connectM,
                    dense1D<unsigned>& bounds, dense1D<int>& types, dense1D<unsigned>& refs,
                    read_notes& notes, unsigned threads = 1);
int femap_input_noted(const char* name, dense2D<double>& coords, dense2D<unsigned>& connectM,
                      dense1D<unsigned>& bounds, dense1D<int>& types, dense1D<unsigned>& refs,
                      read_notes& notes);
int stl_input_noted(const char* name, dense2D<double>& coords, dense2D<unsigned>& connectM,
                    read_notes& notes, unsigned threads = 1);
int obj_input_noted(const char* name, dense2D<double>& coords, dense2D<double>& uv,
                    dense2D<double>& normals, dense2D<unsigned>& connectM_tria,
                    dense2D<unsigned>& connectM_quad, read_notes& notes, unsigned threads = 1);

}  // namespace detail
}  // namespace quernfold
}  // namespace ovk
