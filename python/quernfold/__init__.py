"""quernfold: finite-element mesh utilities on numpy arrays.

Meshes are numpy arrays: points float64 (nodes, 2 | 3), one row per node,
and cells, integer arrays (elements, nodes per element), one row per element,
node numbers from 0, with meshio's cell-type names and meshio's (VTK's) node
order within a cell. Elements that meshio and gmsh call valid have positive
Jacobians and shape qualities here; the package converts to and from the
library's own node order where the two differ (tetra and some quadratic
kinds: those calls copy the cells once).

Arrays are used in place when their layout is already the library's:
points float64 and cells uint32 or int32, C-contiguous. Any other dtype or a
non-contiguous array is converted once per call. Results are numpy arrays
over the library's own storage (no copy); index results are uint32, with
NO_INDEX (4294967295) where there is no index.

Errors: a missing file raises FileNotFoundError; an unreadable file or a bad
argument raises quernfold.Error (a ValueError) naming the cause; memory that
cannot be had raises MemoryError. Long calls release the interpreter lock,
so threads run them side by side.
"""

import errno
import os
import tempfile
import warnings

import numpy as np

from . import _quernfold
from ._quernfold import (
    NO_INDEX,
    Error,
    Histogram,
    NodeDetector,
    edge_qualities,
    formats,
    jacobians,
    neighbors,
    node_graph,
    shape_qualities,
    size_map,
    subdomains,
)

__version__ = _quernfold.version()
__all__ = [
    "NO_INDEX", "CellBlock", "Error", "Histogram", "Mesh", "NodeDetector", "boundary",
    "bound_gradation", "clean", "edge_qualities", "formats", "from_meshio", "jacobians", "neighbors",
    "node_graph", "read", "shape_qualities", "size_map", "sizes", "statistics", "subdomains",
    "write",
]

_NODES = _quernfold.cell_kinds()


class CellBlock:
    """Cells of one kind: `type`, meshio's name ("triangle", "tetra", ...), and
    `data`, an integer array (elements, nodes per element) in meshio's node
    order."""

    __slots__ = ("type", "data")

    def __init__(self, type: str, data):
        self.type = type
        self.data = data

    def __iter__(self):
        return iter((self.type, self.data))

    def __len__(self):
        return len(self.data)

    def __repr__(self):
        return f"<CellBlock {self.type}: {len(self.data)} cells>"


def _block(type, data, nodes):
    """A checked CellBlock: known type, (elements, k) integers, every node
    below `nodes`."""
    if type not in _NODES:
        raise Error(f"unknown cell type {type!r} (known: {', '.join(_NODES)})")
    k = _NODES[type]
    data = np.asarray(data)
    if data.size == 0:
        data = data.reshape(0, k).astype(np.uint32, copy=False)
    if data.ndim != 2 or data.shape[1] != k:
        raise Error(f"{type!r} cells must have shape (elements, {k}), got {data.shape}")
    if data.dtype.kind not in "iu":
        raise Error(f"{type!r} cells must hold integers, got {data.dtype}")
    if data.size and (data.min() < 0 or data.max() >= nodes):
        bad = (data < 0) | (data >= nodes)
        e = int(np.argmax(bad.any(axis=1)))
        raise Error(f"element {e} of the {type!r} cells references node "
                    f"{int(data[e][bad[e]][0])} of {nodes}")
    return CellBlock(type, data)


# meshio's cell-data key of the references of each format read.
_REF_KEYS = {"gmsh MSH": "gmsh:physical", "MEDIT": "medit:ref", "MEDIT binary": "medit:ref",
             "NASTRAN bulk data": "nastran:ref", "FEMAP neutral": "femap:ref"}
# meshio's names of the formats (file_format=), beside the table's names and extensions.
_MESHIO_FORMATS = {"gmsh": ".msh", "gmsh22": ".msh", "medit": ".mesh", "nastran": ".nas",
                   "vtk": ".vtk", "stl": ".stl", "obj": ".obj", "ensight": ".geo", "neu": ".neu"}


class Mesh:
    """Points and cells, with meshio's attributes.

    points: float64 (nodes, dim), dim 1 to 3, finite (converted once when
    given otherwise; None or nan is refused); cells: a list of CellBlock or
    (type, data) pairs, or a dict {type: data}; cell_data: {name: [array per
    block]}; read fills meshio's key of the format's references
    ("gmsh:physical", "medit:ref", "nastran:ref", "femap:ref") and write
    writes back "ref" or any of them; point_data: {name: array per node};
    field_data: {name: array([tag, dimension])}, the physical names (MSH).
    Every cell must name an existing node: element N referencing node K of
    M is refused with quernfold.Error.
    """

    def __init__(self, points, cells, cell_data: "dict | None" = None,
                 point_data: "dict | None" = None, field_data: "dict | None" = None):
        points = np.ascontiguousarray(points, dtype=np.float64)
        if points.ndim != 2 or not 1 <= points.shape[1] <= 3:
            raise Error(f"points must have shape (nodes, 1 | 2 | 3), got {points.shape}")
        if not np.isfinite(points).all():
            node = int(np.argmax(~np.isfinite(points).all(axis=1)))
            raise Error(f"points must be finite numbers: node {node} has {points[node].tolist()} "
                        "(None reads as nan)")
        self.points = points
        pairs = cells.items() if isinstance(cells, dict) else cells
        self.cells = [_block(t, d, len(points)) for t, d in pairs]
        self.cell_data = dict(cell_data or {})
        self.point_data = dict(point_data or {})
        self.field_data = dict(field_data or {})
        self.format = None  # the format read() read it in
        for name, values in self.cell_data.items():
            if len(values) != len(self.cells):
                raise Error(f"cell_data[{name!r}] must hold one array per cell block")

    @property
    def cells_dict(self) -> dict:
        """{type: data}, the blocks of one type joined (as meshio's)."""
        joined = {}
        for b in self.cells:
            joined.setdefault(b.type, []).append(b.data)
        return {t: np.concatenate(d) if len(d) > 1 else d[0] for t, d in joined.items()}

    def write(self, path: "str | os.PathLike", file_format: "str | None" = None,
              binary: "bool | None" = None) -> None:
        """write(path, self, file_format, binary)."""
        write(path, self, file_format, binary)

    def __repr__(self):
        kinds = ", ".join(f"{len(b)} {b.type}" for b in self.cells)
        return f"<quernfold.Mesh: {len(self.points)} points; {kinds or 'no cells'}>"

    def to_meshio(self):
        """The same mesh as a meshio.Mesh (needs meshio)."""
        import meshio

        return meshio.Mesh(self.points, [(b.type, b.data) for b in self.cells],
                           point_data=self.point_data or None,
                           cell_data=self.cell_data or None, field_data=self.field_data or None)


def from_meshio(mesh) -> "Mesh":
    """A quernfold Mesh from a meshio.Mesh: its points, cells and cell data of
    one array per block; blocks of kinds quernfold does not know (polygons,
    ...) are refused."""
    data = {k: v for k, v in mesh.cell_data.items() if len(v) == len(mesh.cells)}
    return Mesh(mesh.points, [(c.type, c.data) for c in mesh.cells], data, mesh.point_data,
                mesh.field_data)


def _blocks(mesh, with_refs=False):
    keys = ["ref", *dict.fromkeys(_REF_KEYS.values())] if with_refs else []
    refs = next((mesh.cell_data[k] for k in keys if k in mesh.cell_data), None)
    return [(b.type, b.data, None if r is None else np.asarray(r, np.uint32))
            for b, r in zip(mesh.cells, refs or [None] * len(mesh.cells))]


def _format_named(file_format, readable):
    """The table's name of a format given by name, extension or meshio's name."""
    if file_format is None:
        return ""
    ext = _MESHIO_FORMATS.get(file_format.lower(), file_format.lower())
    ext = ext if ext.startswith(".") else "." + ext
    for name, exts, r, w in formats():
        if file_format == name or (ext in exts and (r if readable else w)):
            return name
    raise Error(f"unknown file format {file_format!r} "
                f"(known: {', '.join(n for n, _, r, w in formats() if (r if readable else w))})")


def read(path: "str | os.PathLike", file_format: "str | None" = None) -> "Mesh":
    """Reads a whole mesh file in the format its content shows (gmsh MSH,
    VTK, MEDIT, STL, NASTRAN, FEMAP, OBJ), or else the format of its
    extension (as listed by formats()); file_format (a name of formats(),
    an extension or meshio's name: "gmsh", "medit", "nastran", ...) forces
    one. `Mesh.format` names the format read; the references go to
    cell_data under meshio's key, MSH physical names to field_data. What
    the reader left out (NASTRAN cards it cannot take) is named in a
    warning. FileNotFoundError when the file is missing; quernfold.Error
    when it is not a regular file, its format is unknown, it cannot be read
    (the message says why) or nothing is read from it ("no mesh found")."""
    path = os.fspath(path)
    if not os.path.exists(path):
        raise FileNotFoundError(errno.ENOENT, os.strerror(errno.ENOENT), path)
    points, blocks, format_name, _, names, left_out = _quernfold._read(
        path, _format_named(file_format, True))
    for record, why, count in left_out:
        warnings.warn(f"{path}: left out {count:,} {record} records: {why}", stacklevel=2)
    cell_data = {}
    if any(refs is not None for _, _, refs in blocks):
        key = _REF_KEYS.get(format_name, "ref")
        cell_data[key] = [np.zeros(len(d), np.uint32) if r is None else r for _, d, r in blocks]
    field_data = {name: np.array([tag, dim]) for dim, tag, name in names}
    mesh = Mesh(points, [(t, d) for t, d, _ in blocks], cell_data, field_data=field_data)
    mesh.format = format_name
    return mesh


def write(path: "str | os.PathLike", mesh: "Mesh", file_format: "str | None" = None,
          binary: "bool | None" = None) -> None:
    """Writes a whole mesh; the format follows file_format (as read()
    takes it) or else the extension. binary: True or False only for a
    format written in both forms (STL, VTK XML; None: text). The target is replaced
    whole or left as it was. cell_data["ref"] (or meshio's key of a
    format's references), when present, gives the property identifiers or
    references. Cells the format leaves out or holds only in part are named
    in a warning, and so are the nodes made coincident and the cells
    inverted where the format cannot hold the coordinates (STL's float32,
    EnSight's 6 digits). Every other format keeps the coordinates exactly
    (NASTRAN: 10 digits) and every cell in the order other programs read
    as positive. quernfold.Error when the format is unknown, holds none of
    the cells (nothing is written), has one form only and binary is given,
    or the file cannot be written."""
    path = os.fspath(path)
    if file_format is not None:
        name = _format_named(file_format, False)
        ext = next(exts[0] for n, exts, _, _ in formats() if n == name)
        if os.path.splitext(path)[1].lower() not in next(e for n, e, _, _ in formats() if n == name):
            with tempfile.TemporaryDirectory(dir=os.path.dirname(os.path.abspath(path))) as d:
                _write_checked(os.path.join(d, "mesh" + ext), path, mesh, binary)
                os.replace(os.path.join(d, "mesh" + ext), path)
            return
    _write_checked(path, path, mesh, binary)


def _write_checked(target, shown, mesh, binary):
    losses, coincident, inverted = _quernfold._write(target, mesh.points, _blocks(mesh, True), binary)
    for block, left_out, words in losses:
        b = mesh.cells[block]
        what = f"left out ({words})" if left_out else words
        warnings.warn(f"{shown}: {len(b)} {b.type} elements {what}", stacklevel=3)
    if coincident or inverted:
        warnings.warn(
            f"{shown}: the format cannot hold the coordinates exactly: "
            f"{coincident} nodes become coincident and {inverted} elements non-positive",
            stacklevel=3,
        )


def clean(mesh: "Mesh", tol: float = 0.0) -> "tuple[Mesh, np.ndarray]":
    """Merges nodes within `tol` (a distance, in the units of the points; 0
    merges only coincident nodes), then drops the elements that name a node
    twice and the nodes no element uses (as the command-line tool's clean).

    Returns (new mesh, node map): node_map uint32 (old nodes,) gives the new
    number of every old node, NO_INDEX for a dropped one. Cell data follows
    the kept elements. The mesh is not changed (the call works on copies).
    """
    points, blocks, node_map, element_maps, _ = _quernfold._clean(
        mesh.points, _blocks(mesh), tol)
    kept = [k != NO_INDEX for k in element_maps]
    cell_data = {name: [np.asarray(v)[m] for v, m in zip(values, kept)]
                 for name, values in mesh.cell_data.items()}
    return Mesh(points, [(t, d) for t, d, _ in blocks], cell_data), node_map


def boundary(mesh: "Mesh") -> "Mesh":
    """The boundary faces of the cells of the mesh's highest dimension, as a
    Mesh on the same points (node numbers unchanged; clean() drops the
    points no face uses; no points at all when the mesh is closed): vertices
    of lines, lines of surfaces, triangles then quads of solids. Several
    kinds of one dimension are taken together; quadratic kinds by their
    corner nodes; a face shared by three cells or more is interior. Faces
    point outward: for valid solids (positive Jacobian) every face's
    right-hand normal points out of its element, so a closed skin encloses
    a positive volume (what STL readers expect); the edges of triangles and
    quads follow the element's own turn. The same
    faces as the command-line tool's boundary."""
    blocks = _quernfold._boundary(mesh.points, _blocks(mesh))
    points = mesh.points if blocks else mesh.points[:0]
    return Mesh(points, [(t, d) for t, d, _ in blocks])


def statistics(mesh: "Mesh") -> dict:
    """What the mesh holds and how good it is, with the keys and meanings of
    the command-line tool's `info --json` (without file and format): nodes,
    dimension, space_dimension, cells ({type: count}), bounding_box,
    boundary_faces, parts, non_manifold_faces (None without cells of
    dimension 1 to 3), coincident_nodes, nonpositive_jacobians, edge_length
    and quality ({min, mean, max}, quality with its worst cell; None when
    nothing is measured)."""
    return _quernfold._statistics(mesh.points, _blocks(mesh))


def sizes(mesh: "Mesh", p: float = 1.0, gradation: "float | None" = None) -> "tuple[np.ndarray, int]":
    """A size per node, float64 (nodes,), as the command-line tool's sizemap:
    the power mean with exponent p (>= 0; 0 the shortest) of the lengths of
    the edges at the node of the cells of the highest dimension (lower ones
    for the nodes only they hold; quadratic kinds by their corners). With a
    gradation B (>= 1) the sizes then shrink until they grow by at most a
    factor B per unit of length along every edge. Returns (sizes, nodes
    changed by the gradation)."""
    return _quernfold._sizes(mesh.points, _blocks(mesh), p,
                             float("inf") if gradation is None else gradation)


def bound_gradation(points, cells, type, size_map, gradation=None, *args, bound=None, **kwargs):
    if bound is not None:
        raise TypeError(f"bound_gradation takes gradation = 1 + bound (a factor >= 1, as the "
                        f"command-line tool's --gradation): gradation={1 + bound!r}")
    if gradation is None:
        raise TypeError("bound_gradation() missing argument 'gradation'")
    return _quernfold.bound_gradation(points, cells, type, size_map, gradation, *args, **kwargs)


bound_gradation.__doc__ = _quernfold.bound_gradation.__doc__
