// Conversions between numpy arrays and the library's containers and mesh
// value, the cell kinds by name, and the package's errors.
//
// Layouts: the library's matrices are column-major with one column per node
// or element, so a C-contiguous numpy array of shape (n, k) is exactly a
// k x n matrix. Inputs of that layout and dtype are used in place (the
// library's storage borrows the array and keeps it alive); others are
// converted once. Outputs hand the library's storage to numpy without a copy.
#pragma once

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cstddef>
#include <initializer_list>
#include <stdexcept>
#include <string>

#include "quernfold/quernfold.h"

namespace quernfold_py {

namespace py = pybind11;
namespace qf = ovk::quernfold;
using qf::dense1D;
using qf::dense2D;
using qf::element_type;

// quernfold.Error: a bad argument or an unreadable file, with the cause in
// words. Registered as a subclass of ValueError.
class error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

[[noreturn]] void fail(const std::string& what);
// Throws std::bad_alloc (MemoryError) for the library's allocation code.
void check_memory(int code);

struct code_words {
  int code;
  std::string words;
};
// Turns a library code into an exception: no_memory -> MemoryError, a code
// of `table` -> quernfold.Error with its words, any other negative code ->
// quernfold.Error naming the operation and the code. Returns for codes >= 0.
void check(int code, const char* operation, std::initializer_list<code_words> table = {});

// A number as Python writes it (for messages).
std::string number(double x);

// Runs a library call without the interpreter lock, so that other Python
// threads run meanwhile. The call must touch no Python object.
template <class F>
auto unlocked(F&& call) {
  py::gil_scoped_release nogil;
  return call();
}

// --- Cell kinds by meshio's names ------------------------------------------

// The element type of a meshio cell-type name; quernfold.Error for another
// name.
element_type cell_kind(const std::string& name);
// Every known name with its number of nodes, for the Python side.
py::dict cell_kinds();

// --- Inputs ----------------------------------------------------------------

// points (nodes, d) as a d x nodes matrix, d = 2 or 3; float64 C-contiguous
// arrays are used in place, anything else is converted. `finite`: the
// points of a mesh, refused (Error) when a coordinate is NaN or infinite.
dense2D<double> points_in(py::handle points, bool finite = false);

// cells (elements, nbr_nodes(type)) of integers in meshio's node order as a
// matrix in the library's node order. uint32 and int32 C-contiguous arrays of
// kinds whose node order is the library's are used in place; other arrays
// are converted (negative entries and entries past 4294967294 are refused
// there), and kinds with another node order are reordered in a copy.
dense2D<unsigned> cells_in(py::handle cells, element_type type, const char* name = "cells");
// The same without reordering (for operations that do not read the order).
dense2D<unsigned> cells_as_given(py::handle cells, element_type type, const char* name = "cells");
// cells_in, then only the corner (vertex) nodes of a quadratic kind, with
// `type` turned into its linear kind; linear kinds as cells_in.
dense2D<unsigned> corners_in(py::handle cells, element_type& type, const char* name = "cells");
// Integers (elements, k) of any k as a k x elements matrix, as given.
dense2D<unsigned> cells_any(py::handle cells, const char* name);
// A 1-D list of node indices.
dense1D<unsigned> indices_in(py::handle nodes, const char* name);
// The (points, cells, type) arguments of most operations: the cell type by
// name, the points and the cells in the library's node order.
struct mesh_in {
  // corners: cells by their corner nodes and `type` the linear kind.
  mesh_in(py::handle points, py::handle cells, const std::string& type, bool corners = false);
  std::string name;
  element_type type;
  dense2D<double> points;
  dense2D<unsigned> cells;
};

// A size map: 1-D sizes (nodes,), or metrics (nodes, 3 | 6) when `aniso`.
// `copy` gives it storage of its own (to be changed in place).
struct size_map_in {
  size_map_in(py::handle map, bool copy);
  dense1D<double> sizes;
  dense2D<double> metrics;
  bool aniso;
};

// Refuses cells that name a node the points do not have (or -1, no node),
// naming the first such element in words; returns when there is none.
void name_missing_node(const dense2D<unsigned>& cells, std::size_t nodes,
                       const char* name = "cells");
// The same after the library's own check of the kind and the nodes.
void check_nodes(const dense2D<unsigned>& cells, element_type type, std::size_t nodes,
                 const char* name = "cells");

// Converts the columns of a matrix from the library's node order into
// meshio's, in place.
void to_meshio(dense2D<unsigned>& cells, element_type type);

// --- Whole meshes ----------------------------------------------------------

// points and blocks [(type, cells in meshio's order[, refs or None[, entity
// tags or None]])] as a mesh value in the library's order (cells, refs and
// entity tags checked).
qf::mesh_data mesh_value(py::handle points, const py::list& blocks);
// (points, [(type, cells, refs or None)]) of a mesh value, cells turned into
// meshio's order in place.
py::tuple mesh_arrays(qf::mesh_data& mesh);

// --- Outputs (the library's storage, not copied) ---------------------------

py::array out(const dense1D<double>& v);
py::array out(const dense1D<unsigned>& v);
// A rows x cols matrix as a (cols, rows) array.
py::array out(const dense2D<double>& m);
py::array out(const dense2D<unsigned>& m);

}  // namespace quernfold_py
