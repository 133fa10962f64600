#include "arrays.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <new>
#include <string>
#include <vector>

namespace quernfold_py {

namespace {

using ovk::math1::vector_num;

// The largest node index a cell may hold (no_index is not a node).
constexpr std::int64_t kLargestIndex = static_cast<std::int64_t>(qf::no_index) - 1;

std::string shape_text(const py::array& a) {
  std::string s = "(";
  for (py::ssize_t i = 0; i < a.ndim(); ++i) s += (i ? ", " : "") + std::to_string(a.shape(i));
  return s + (a.ndim() == 1 ? ",)" : ")");
}

// Called by the library's storage when its last view of a borrowed array
// goes; may run on a thread that does not hold the interpreter lock.
void release_array(void* owner) {
  py::gil_scoped_acquire gil;
  Py_DECREF(static_cast<PyObject*>(owner));
}

// A rows x cols matrix over the memory of a C-contiguous array (cols, rows),
// which stays alive as long as the matrix or a view of it does.
template <class T>
dense2D<T> borrow(const py::array& a, std::size_t rows, std::size_t cols) {
  dense2D<T> m;
  if (rows * cols == 0) {
    if (!m.resize(rows, cols)) throw std::bad_alloc();
    return m;
  }
  PyObject* owner = a.ptr();
  Py_INCREF(owner);
  auto* block = vector_num<T, 8>::borrow(static_cast<T*>(const_cast<void*>(a.data())), rows * cols,
                                         &release_array, owner);
  if (!block) {
    Py_DECREF(owner);
    throw std::bad_alloc();
  }
  m.attach(block, 0, rows, cols, rows);
  vector_num<T, 8>::release(block);
  return m;
}

// An output's storage handed to numpy: the capsule keeps a view of it.
template <class T, class Container>
py::array hand_over(const Container& c, std::vector<py::ssize_t> shape,
                    std::vector<py::ssize_t> strides) {
  if (!c.data()) return py::array_t<T>(shape);
  auto* keep = new Container(c);
  py::capsule owner(keep, [](void* p) { delete static_cast<Container*>(p); });
  return py::array_t<T>(shape, strides, c.data(), owner);
}

template <class T>
py::array out_matrix(const dense2D<T>& m) {
  const auto rows = static_cast<py::ssize_t>(m.rows()), cols = static_cast<py::ssize_t>(m.cols());
  const auto ld = static_cast<py::ssize_t>(m.ld() ? m.ld() : m.rows());
  return hand_over<T>(m, {cols, rows}, {ld * static_cast<py::ssize_t>(sizeof(T)), sizeof(T)});
}

template <class T>
py::array out_vector(const dense1D<T>& v) {
  return hand_over<T>(v, {static_cast<py::ssize_t>(v.size())}, {sizeof(T)});
}

// An integer array of `columns` columns (1-D when columns is 0) as a
// columns x rows matrix of unsigned; `what` names the shape in messages.
dense2D<unsigned> index_matrix(py::handle obj, std::size_t columns, const char* name,
                               const std::string& what) {
  py::array a = py::array::ensure(obj);
  if (!a) fail(std::string(name) + " must be an array of integers, " + what);
  const bool flat = columns == 0;
  const py::ssize_t want_dim = flat ? 1 : 2;
  if (a.size() == 0 && a.ndim() <= want_dim) {
    dense2D<unsigned> none;
    if (!none.resize(flat ? 1 : columns, 0)) throw std::bad_alloc();
    return none;
  }
  if (a.ndim() != want_dim || (!flat && a.shape(1) != static_cast<py::ssize_t>(columns)))
    fail(std::string(name) + " must have shape " + what + ", got " + shape_text(a));
  const char kind = a.dtype().kind();
  if (kind != 'i' && kind != 'u')
    fail(std::string(name) + " must hold integers, got " + std::string(py::str(a.dtype())));
  const std::size_t rows = flat ? 1 : columns;
  const std::size_t cols = flat ? a.size() : static_cast<std::size_t>(a.shape(0));
  if (cols >= qf::no_index) fail(std::string(name) + " has too many entries");
  if (a.itemsize() == sizeof(unsigned)) {
    // int32 and uint32 share the memory layout: an int32 array is seen as
    // uint32 without a copy (-1 reads as no_index, which the library's
    // checks refuse).
    if (kind == 'i' && (a.flags() & py::array::c_style))
      a = py::reinterpret_borrow<py::array>(a.attr("view")("uint32"));
    auto c = py::array_t<unsigned, py::array::c_style | py::array::forcecast>::ensure(a);
    if (!c) throw std::bad_alloc();
    return borrow<unsigned>(c, rows, cols);
  }
  auto c = py::array_t<std::int64_t, py::array::c_style | py::array::forcecast>::ensure(a);
  if (!c) throw std::bad_alloc();
  dense2D<unsigned> m;
  if (!m.resize(rows, cols)) throw std::bad_alloc();
  const std::int64_t* src = c.data();
  unsigned* dst = m.data();
  for (std::size_t k = 0; k < rows * cols; ++k) {
    if (src[k] < 0 || src[k] > kLargestIndex)
      fail(std::string(name) + "[" + std::to_string(k / rows) + "] holds " +
           std::to_string(src[k]) + ", which is not a node index (0 to " +
           std::to_string(kLargestIndex) + ")");
    dst[k] = static_cast<unsigned>(src[k]);
  }
  return m;
}

std::string cells_shape(element_type type) {
  return "(elements, " + std::to_string(qf::nbr_nodes(type)) + ") for '" + qf::cell_name(type) +
         "' cells";
}

}  // namespace

void fail(const std::string& what) { throw error(what); }

std::string number(double x) { return py::repr(py::float_(x)); }

void check_memory(int code) {
  if (code == qf::no_memory) throw std::bad_alloc();
}

element_type cell_kind(const std::string& name) {
  const element_type type = qf::cell_kind(name.c_str());
  if (type != qf::ET_UNKNOWN) return type;
  std::string known;
  for (std::size_t k = 0; k < qf::named_kind_count(); ++k)
    known += std::string(known.empty() ? "" : ", ") + qf::cell_name(qf::named_kind(k));
  fail("unknown cell type '" + name + "' (known: " + known + ")");
}

py::dict cell_kinds() {
  py::dict d;
  for (std::size_t k = 0; k < qf::named_kind_count(); ++k)
    d[qf::cell_name(qf::named_kind(k))] = qf::nbr_nodes(qf::named_kind(k));
  return d;
}

dense2D<double> points_in(py::handle points, bool finite) {
  const char* what = "shape (nodes, 2) or (nodes, 3)";
  auto a = py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(points);
  if (!a) fail(std::string("points must be an array of numbers, ") + what);
  if (a.ndim() != 2 || a.shape(1) < 2 || a.shape(1) > 3)
    fail(std::string("points must have ") + what + ", got " + shape_text(a));
  if (static_cast<std::size_t>(a.shape(0)) >= qf::no_index) fail("points has too many nodes");
  const double* first = a.data();
  const double* bad =
      !finite ? first + a.size()
              : std::find_if(first, first + a.size(), [](double x) { return !std::isfinite(x); });
  if (finite && bad != first + a.size())
    fail("points must be finite numbers: node " + std::to_string((bad - first) / a.shape(1)) +
         " has " + number(*bad) + " (None reads as nan)");
  return borrow<double>(a, a.shape(1), a.shape(0));
}

dense2D<unsigned> cells_as_given(py::handle cells, element_type type, const char* name) {
  return index_matrix(cells, qf::nbr_nodes(type), name, cells_shape(type));
}

dense2D<unsigned> cells_in(py::handle cells, element_type type, const char* name) {
  const dense2D<unsigned> given = cells_as_given(cells, type, name);
  unsigned from[qf::kMaxCellNodes];
  if (!qf::meshio_order(type, from)) return given;
  // One pass: each column gathered in the library's order into a copy.
  dense2D<unsigned> own;
  if (!own.resize(given.rows(), given.cols())) throw std::bad_alloc();
  unlocked([&] {
    for (std::size_t j = 0; j < given.cols(); ++j) {
      const unsigned* src = given.column(j);
      unsigned* dst = own.column(j);
      for (std::size_t k = 0; k < given.rows(); ++k) dst[k] = src[from[k]];
    }
    return 0;
  });
  return own;
}

dense2D<unsigned> corners_in(py::handle cells, element_type& type, const char* name) {
  qf::mesh_block block;
  block.type = type;
  block.connectM = cells_in(cells, type, name);
  dense2D<unsigned> corners;
  if (!qf::vertex_matrix(block, corners)) throw std::bad_alloc();
  const element_type linear = qf::linear_kind(type);
  if (linear != qf::ET_UNKNOWN) type = linear;
  return corners;
}

dense2D<unsigned> cells_any(py::handle cells, const char* name) {
  const py::array a = py::array::ensure(cells);
  const std::size_t k = a && a.ndim() == 2 ? static_cast<std::size_t>(a.shape(1)) : 0;
  if (k == 0) fail(std::string(name) + " must be an integer array (elements, nodes per element)");
  return index_matrix(cells, k, name, "(elements, nodes per element)");
}

dense1D<unsigned> indices_in(py::handle nodes, const char* name) {
  return index_matrix(nodes, 0, name, "(count,)").as_vector();
}

mesh_in::mesh_in(py::handle p, py::handle c, const std::string& type_name, bool corners)
    : name(type_name), type(cell_kind(type_name)), points(points_in(p, true)) {
  cells = corners ? corners_in(c, type) : cells_in(c, type);
}

size_map_in::size_map_in(py::handle map, bool copy) {
  const char* what = "sizes (nodes,) or metrics (nodes, 3) or (nodes, 6)";
  auto a = py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(map);
  if (!a) fail(std::string("the size map must be an array of numbers: ") + what);
  aniso = a.ndim() == 2;
  if (a.ndim() == 1) {
    sizes = borrow<double>(a, 1, a.shape(0)).as_vector();
    if (copy && !sizes.copy(dense1D<double>(sizes))) throw std::bad_alloc();
  } else if (aniso && (a.shape(1) == 3 || a.shape(1) == 6)) {
    metrics = borrow<double>(a, a.shape(1), a.shape(0));
    if (copy && !metrics.copy(dense2D<double>(metrics))) throw std::bad_alloc();
  } else {
    fail(std::string("the size map must be ") + what + ", got " + shape_text(a));
  }
}

void check(int code, const char* operation, std::initializer_list<code_words> table) {
  if (code >= 0) return;
  check_memory(code);
  for (const code_words& w : table)
    if (w.code == code) fail(w.words);
  fail(std::string(operation) + " failed with code " + std::to_string(code));
}

void check_nodes(const dense2D<unsigned>& cells, element_type type, std::size_t nodes,
                 const char* name) {
  if (qf::check_IDs(cells, type, static_cast<unsigned>(nodes))) return;
  name_missing_node(cells, nodes, name);
  fail(std::string(name) + " do not fit their type '" + qf::cell_name(type) + "'");
}

void name_missing_node(const dense2D<unsigned>& cells, std::size_t nodes, const char* name) {
  for (std::size_t j = 0; j < cells.cols(); ++j)
    for (std::size_t i = 0; i < cells.rows(); ++i) {
      const unsigned v = cells(i, j);
      if (v == qf::no_index)
        fail(std::string(name) + ": element " + std::to_string(j) + " holds -1 (" +
             std::to_string(v) + "), which names no node");
      if (v >= nodes)
        fail(std::string(name) + ": element " + std::to_string(j) + " references node " +
             std::to_string(v) + " of " + std::to_string(nodes) + " (nodes are numbered from 0)");
    }
}

void to_meshio(dense2D<unsigned>& cells, element_type type) {
  if (qf::reorder_meshio(cells, type, true) != 0)
    fail("cells do not fit their type '" + std::string(qf::cell_name(type)) + "'");
}

qf::mesh_data mesh_value(py::handle points, const py::list& blocks) {
  qf::mesh_data mesh;
  mesh.coords = points_in(points, true);
  for (const py::handle item : blocks) {
    const auto block = item.cast<py::tuple>();
    qf::mesh_block b;
    const std::string name = block[0].cast<std::string>();
    b.type = cell_kind(name);
    b.connectM = cells_in(block[1], b.type);
    check_nodes(b.connectM, b.type, mesh.coords.cols());
    if (block.size() > 2 && !block[2].is_none()) b.refs = indices_in(block[2], "refs");
    if (!b.refs.empty() && b.refs.size() != b.connectM.cols())
      fail("the refs of the '" + name + "' cells must hold one entry per cell");
    if (block.size() > 3 && !block[3].is_none()) b.entities = indices_in(block[3], "entities");
    if (!b.entities.empty() && b.entities.size() != b.connectM.cols())
      fail("the entity tags of the '" + name + "' cells must hold one entry per cell");
    mesh.blocks.push_back(b);
  }
  return mesh;
}

py::tuple mesh_arrays(qf::mesh_data& mesh) {
  py::list blocks;
  for (qf::mesh_block& b : mesh.blocks) {
    unlocked([&] { return to_meshio(b.connectM, b.type), 0; });
    blocks.append(py::make_tuple(qf::cell_name(b.type), out(b.connectM),
                                 b.refs.empty() ? py::object(py::none()) : out(b.refs)));
  }
  return py::make_tuple(out(mesh.coords), blocks);
}

py::array out(const dense1D<double>& v) { return out_vector(v); }
py::array out(const dense1D<unsigned>& v) { return out_vector(v); }
py::array out(const dense2D<double>& m) { return out_matrix(m); }
py::array out(const dense2D<unsigned>& m) { return out_matrix(m); }

}  // namespace quernfold_py
