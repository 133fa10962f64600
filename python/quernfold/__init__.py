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

Threads: the calls that take `threads` (statistics, sizes, clean,
shape_qualities, jacobians, cell_qualities, cell_sizes, volume, area,
unique_edges, connected_parts) run on that many threads, 0
(the default) meaning the machine's cores, and give the same result, bit for
bit, for every count. The gradation bound of sizes stays on one thread: each
step of its queue depends on the one before.
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
    bound_metrics,
    color_interfaces,
    copies,
    copy,
    edge_qualities,
    edges,
    face_normals,
    is_valid_metric,
    formats,
    jacobians,
    metric_eigen,
    metric_intersection,
    metric_union,
    metrics_from_sizes,
    mirror,
    neighbors,
    node_graph,
    overwrite_invalid_metrics,
    project_metrics,
    shape_qualities,
    size_map,
    size_shocks,
    sizes_from_metrics,
    subdomains,
    vertex_normals,
)

__version__ = _quernfold.version()
__all__ = [
    "NO_INDEX", "CellBlock", "Error", "Histogram", "Mesh", "NodeDetector", "boundary",
    "bound_gradation", "clean", "edge_qualities", "formats", "from_meshio", "jacobians", "neighbors",
    "node_graph", "read", "shape_qualities", "size_map", "sizes", "statistics", "subdomains",
    "write", "translate", "rotate", "zoom", "bounding_box", "centroids", "clip", "copy", "copies",
    "mirror", "cell_sizes", "volume", "area", "facets", "is_watertight", "is_winding_consistent",
    "connected_parts", "unique_edges", "cell_qualities", "outline", "triangulate", "face_normals", "vertex_normals",
    "color_interfaces", "edges", "size_shocks", "is_valid_metric", "metric_eigen", "metric_intersection",
    "metric_union", "metrics_from_sizes", "sizes_from_metrics", "bound_metrics",
    "overwrite_invalid_metrics", "project_metrics",
    "assemble", "dual_graph", "partition", "split",
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
# meshio's cell-data key of the entity (elementary) tags of MSH files.
_ENTITY_KEY = "gmsh:geometrical"
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
    writes back "ref" or any of them; MSH entity tags go both ways as
    "gmsh:geometrical"; point_data: {name: array per node};
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


def read(path: "str | os.PathLike", file_format: "str | None" = None, threads: int = 0) -> "Mesh":
    """Reads a whole mesh file in the format its content shows (gmsh MSH,
    VTK, MEDIT, STL, NASTRAN, FEMAP, OBJ), or else the format of its
    extension (as listed by formats()); file_format (a name of formats(),
    an extension or meshio's name: "gmsh", "medit", "nastran", ...) forces
    one. `Mesh.format` names the format read; the references go to
    cell_data under meshio's key, MSH entity tags to
    cell_data["gmsh:geometrical"], MSH physical names to field_data. What
    the reader left out (NASTRAN cards it cannot take) is named in a
    warning. FileNotFoundError when the file is missing; quernfold.Error
    when it is not a regular file, its format is unknown, it cannot be read
    (the message says why) or nothing is read from it ("no mesh found").
    threads: threads that parse a text file (0: the machine's cores); the
    mesh is the same for every count."""
    path = os.fspath(path)
    if not os.path.exists(path):
        raise FileNotFoundError(errno.ENOENT, os.strerror(errno.ENOENT), path)
    points, blocks, format_name, _, names, left_out, entities = _quernfold._read(
        path, _format_named(file_format, True), _threads(threads))
    for record, why, count in left_out:
        warnings.warn(f"{path}: left out {count:,} {record} records: {why}", stacklevel=2)
    cell_data = {}
    if any(refs is not None for _, _, refs in blocks):
        key = _REF_KEYS.get(format_name, "ref")
        cell_data[key] = [np.zeros(len(d), np.uint32) if r is None else r for _, d, r in blocks]
    if any(e is not None for e in entities):
        cell_data[_ENTITY_KEY] = [np.zeros(len(d), np.uint32) if e is None else e
                                  for (_, d, _), e in zip(blocks, entities)]
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
    references; cell_data["gmsh:geometrical"] the entities of MSH files
    (an entity tag shared by cells of different references is kept for
    the first of them, the others get tags of their own). Cells the format leaves out or holds only in part are named
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
    blocks = _blocks(mesh, True)
    if _ENTITY_KEY in mesh.cell_data:
        blocks = [(*b, e) for b, e in zip(blocks, mesh.cell_data[_ENTITY_KEY])]
    losses, coincident, inverted, moved, largest, fraction, name = _quernfold._write(
        target, mesh.points, blocks, binary)
    for block, left_out, words in losses:
        b = mesh.cells[block]
        what = f"left out ({words})" if left_out else words
        warnings.warn(f"{shown}: {len(b)} {b.type} elements {what}", stacklevel=3)
    if coincident or inverted:
        warnings.warn(
            f"{shown}: {name} cannot hold the coordinates exactly: "
            f"{coincident} nodes become coincident and {inverted} elements non-positive",
            stacklevel=3,
        )
    if moved:
        warnings.warn(
            f"{shown}: {name} cannot hold the coordinates to {fraction:g} of the "
            f"mesh size: {moved} nodes move by up to {largest:.1e} of it",
            stacklevel=3,
        )


def clean(mesh: "Mesh", tol: float = 0.0, threads: int = 0) -> "tuple[Mesh, np.ndarray]":
    """Merges nodes within `tol` (a distance, in the units of the points; 0
    merges only coincident nodes), then drops the elements that name a node
    twice and the nodes no element uses (as the command-line tool's clean).

    Returns (new mesh, node map): node_map uint32 (old nodes,) gives the new
    number of every old node, NO_INDEX for a dropped one. Cell data follows
    the kept elements. The mesh is not changed (the call works on copies).
    threads: threads to merge on (0: the machine's cores); the result is the
    same for every count.
    """
    points, blocks, node_map, element_maps, _ = _quernfold._clean(
        mesh.points, _blocks(mesh), tol, _threads(threads))
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


def statistics(mesh: "Mesh", threads: int = 0) -> dict:
    """What the mesh holds and how good it is, with the keys and meanings of
    the command-line tool's `info --json` (without file and format): nodes,
    dimension, space_dimension, cells ({type: count}), bounding_box,
    boundary_faces, parts, non_manifold_faces (None without cells of
    dimension 1 to 3), coincident_nodes, nonpositive_jacobians, edge_length
    and quality ({min, mean, max}, quality with its worst cell; None when
    nothing is measured). threads: threads to measure on (0: the machine's
    cores); the result is the same for every count."""
    return _quernfold._statistics(mesh.points, _blocks(mesh), _threads(threads))


def sizes(mesh: "Mesh", p: float = 1.0, gradation: "float | None" = None,
          threads: int = 0) -> "tuple[np.ndarray, int]":
    """A size per node, float64 (nodes,), as the command-line tool's sizemap:
    the power mean with exponent p (>= 0; 0 the shortest) of the lengths of
    the edges at the node of the cells of the highest dimension (lower ones
    for the nodes only they hold; quadratic kinds by their corners). With a
    gradation B (>= 1) the sizes then shrink until they grow by at most a
    factor B per unit of length along every edge. Returns (sizes, nodes
    changed by the gradation). threads: threads to measure the edges on (0:
    the machine's cores; the gradation runs on one); the sizes are the same
    for every count."""
    return _quernfold._sizes(mesh.points, _blocks(mesh), p,
                             float("inf") if gradation is None else gradation, _threads(threads))


def _threads(threads) -> int:
    """A thread count checked: an int >= 0 (0: the machine's cores)."""
    if isinstance(threads, bool) or not isinstance(threads, (int, np.integer)) or threads < 0:
        raise ValueError(f"threads must be an integer >= 0 (0: the machine's cores), got {threads!r}")
    return int(threads)


def bound_gradation(points, cells, type, size_map, gradation=None, *args, bound=None, **kwargs):
    if bound is not None:
        raise TypeError(f"bound_gradation takes gradation = 1 + bound (a factor >= 1, as the "
                        f"command-line tool's --gradation): gradation={1 + bound!r}")
    if gradation is None:
        raise TypeError("bound_gradation() missing argument 'gradation'")
    return _quernfold.bound_gradation(points, cells, type, size_map, gradation, *args, **kwargs)


bound_gradation.__doc__ = _quernfold.bound_gradation.__doc__


# --- Geometry: on a Mesh (a new Mesh) or on points (a new array) -----------

def _points_of(x):
    return x.points if isinstance(x, Mesh) else x


def _moved(x, points):
    """x with new points: a Mesh with the same cells and cell data, or the
    array itself."""
    if not isinstance(x, Mesh):
        return points
    mesh = Mesh(points, [(b.type, b.data) for b in x.cells], x.cell_data, x.point_data, x.field_data)
    mesh.format = x.format
    return mesh


def translate(x, vector, nodes=None):
    """x moved by `vector` (2 or 3 numbers, in the units of the points).

    x: a Mesh (a new Mesh comes back, cells shared) or points float64
    (nodes, 2 | 3) (a new array comes back). nodes: None (every node), a 1-D
    list of node numbers (a node listed twice moves twice) or an integer
    array (elements, k) whose nodes move once each. A 3-number vector gives
    2-D points a third column (z = 0 before the move)."""
    return _moved(x, _quernfold._translate(_points_of(x), vector, nodes))


def rotate(x, rotation, center=None, nodes=None):
    """x turned about `center` (the origin by default).

    rotation: an angle in radians (counter-clockwise in the xy plane; z
    stays) or a 3-vector R (|R| radians about the axis R, right-hand rule).
    x and nodes as for translate."""
    return _moved(x, _quernfold._rotate(_points_of(x), rotation, center, nodes))


def zoom(x, factor, center=None, nodes=None):
    """x scaled by `factor` about `center` (the origin by default): P' = C +
    factor (P - C). x and nodes as for translate."""
    return _moved(x, _quernfold._zoom(_points_of(x), factor, center, nodes))


def bounding_box(x, nodes=None) -> "tuple[np.ndarray, np.ndarray]":
    """(lowest corner, highest corner), float64 (dim,) each, of the nodes of
    x (a Mesh or points (nodes, 2 | 3)); nodes as for translate (a Mesh's
    box is of all its points, used or not). Without nodes the corners are
    (+max float, -max float)."""
    return _quernfold._bounding_box(_points_of(x), nodes)


def centroids(x, cells=None, type=None):
    """Average of the corner nodes of every cell.

    centroids(points, cells, type) gives float64 (elements, dim);
    centroids(mesh) a list of such arrays, one per block. Quadratic kinds
    by their corner nodes; points (vertex) blocks are their nodes."""
    if isinstance(x, Mesh):
        return [_quernfold._centroids(x.points, b.data, b.type) for b in x.cells]
    return _quernfold._centroids(x, cells, type)


def clip(x, *args):
    """The cells on the side of a plane that its normal points to.

    clip(points, cells, point, normal) gives the kept cells, uint32;
    clip(mesh, point, normal) a Mesh on the same points with every block
    clipped (cell data is not carried). A cell is kept when all its nodes
    are on that side or on the plane."""
    if not isinstance(x, Mesh):
        return _quernfold.clip(x, *args)
    point, normal = args
    return Mesh(x.points, [(b.type, _quernfold.clip(x.points, b.data, point, normal))
                           for b in x.cells])


# --- Measures of a whole mesh --------------------------------------------

_DIMENSIONS = _quernfold._cell_dimensions()


def _from_arrays(points, blocks):
    """A Mesh from (points, [(type, cells, refs or None)]), refs as
    cell_data["ref"]."""
    cell_data = {}
    if any(r is not None for _, _, r in blocks):
        cell_data["ref"] = [np.zeros(len(d), np.uint32) if r is None else r for _, d, r in blocks]
    return Mesh(points, [(t, d) for t, d, _ in blocks], cell_data)


def cell_sizes(mesh: "Mesh", threads: int = 0) -> "list[np.ndarray]":
    """Signed size of every cell, float64 (elements,) per block: lines their
    length, triangles and quads their area (signed, positive
    counter-clockwise, with 2-D points; never negative in 3-D), solids their
    volume (positive for valid cells, negative for inverted ones; faces cut
    into triangles at their centre, so exact for planar faces). Quadratic
    kinds by their corners; vertex blocks 0. threads: threads to measure on
    (0: the machine's cores); the sizes are the same for every count."""
    return _quernfold._cell_sizes(mesh.points, _blocks(mesh), _threads(threads))


def cell_qualities(mesh: "Mesh", measure: str = "shape",
                   threads: int = 0) -> "list[np.ndarray]":
    """One named quality measure of every cell, float64 (elements,) per block,
    by the cells' corner nodes:

    - "shape": shape_qualities (1 ideal, 0 flat, < 0 inverted; for triangles
      and tetra 2 sqrt(3) r / hmax and 2 sqrt(6) r / hmax, r the inradius,
      hmax the longest edge);
    - "aspect_ratio": longest edge / shortest edge (>= 1);
    - "radius_ratio": 2 r / R of triangles, 3 r / R of tetra (R the
      circumradius; 1 equilateral, 0 flat), NaN for other kinds;
    - "min_angle": the smallest corner angle of a triangle or quad, or the
      smallest dihedral angle of a solid, in degrees;
    - "scaled_jacobian": the smallest determinant of the unit edges at a
      corner, 1 for the ideal cell, negative when inverted (triangles,
      quads, tetra, wedges, hexahedra; NaN for pyramids and lines).
    Vertex blocks give NaN. threads: threads to measure on (0: the
    machine's cores); the values are the same for every count."""
    return _quernfold._cell_qualities(mesh.points, _blocks(mesh), measure, _threads(threads))


def _total(mesh, dimension, threads):
    sizes = cell_sizes(mesh, threads)
    return float(sum(s.sum() for b, s in zip(mesh.cells, sizes) if _DIMENSIONS[b.type] == dimension))


def volume(mesh: "Mesh", threads: int = 0) -> float:
    """Sum of the signed volumes of the solid cells (0.0 without); the sizes
    on `threads` threads (0: the machine's cores), summed in cell order."""
    return _total(mesh, 3, threads)


def area(mesh: "Mesh", threads: int = 0) -> float:
    """Sum of the areas of the triangles and quads (signed with 2-D points;
    0.0 without). The area of a solid mesh's surface is area(boundary(mesh)).
    The sizes on `threads` threads (0: the machine's cores), summed in cell
    order."""
    return _total(mesh, 2, threads)


def facets(mesh: "Mesh") -> dict:
    """How the cells of the highest dimension meet at their facets (end points
    of lines, edges of surfaces, faces of solids): dimension, facets
    (distinct), open (of one cell), shared (of two), crowded (of three or
    more), misturned (of two cells that run it the same way), watertight and
    winding_consistent (see is_watertight, is_winding_consistent)."""
    return _quernfold._facets(mesh.points, _blocks(mesh))


def is_watertight(mesh: "Mesh") -> bool:
    """True when every edge of a surface (every end point of a curve) is
    shared by exactly two cells; for a solid mesh, when no face is shared by
    more than two cells and the boundary faces close up (every edge of them
    on exactly two boundary faces: no hanging or missing face)."""
    return facets(mesh)["watertight"]


def is_winding_consistent(mesh: "Mesh") -> bool:
    """True when every facet shared by two cells is run in opposite senses by
    them (neighbouring triangles and quads turn alike; neighbouring solids
    are both valid or both inverted)."""
    return facets(mesh)["winding_consistent"]


def connected_parts(mesh: "Mesh", threads: int = 0) -> "list[Mesh]":
    """The mesh split into parts: cells of any block joined when they share a
    node. One Mesh per part, numbered by their lowest node, each with its
    own points (in their order) and the blocks holding its cells (in
    order); cell_data["ref"] follows, other cell data is not carried.
    threads: threads to join the nodes on (0: the machine's cores); the
    parts are the same for every count."""
    return [_from_arrays(p, b) for p, b in
            _quernfold._parts(mesh.points, _blocks(mesh, True), _threads(threads))]


def unique_edges(mesh: "Mesh", threads: int = 0) -> np.ndarray:
    """The distinct edges of the corner nodes of every cell of dimension 1 to
    3 (no diagonals), uint32 (edges, 2), each (smaller, larger), sorted.
    threads: threads to extract them on (0: the machine's cores); the edges
    are the same for every count."""
    return _quernfold._edges(mesh.points, _blocks(mesh), _threads(threads))


def outline(mesh: "Mesh") -> "Mesh":
    """The boundary edges of a surface as a Mesh of lines on the same points
    (each edge in the turn of its cell; no points when the surface is
    closed). quernfold.Error for a mesh whose highest dimension is not 2."""
    blocks = _quernfold._outline(mesh.points, _blocks(mesh))
    return Mesh(mesh.points if blocks else mesh.points[:0], [(t, d) for t, d, _ in blocks])


def triangulate(mesh: "Mesh") -> "Mesh":
    """Triangles and tetra in place of the other faces and solids. A quad is
    cut along its diagonal through its lowest node number; a pyramid into
    two tetra on its base cut so; a wedge or hexahedron into tetra that join
    the triangles of its faces to a new point at its centroid (appended to
    the points, in block and cell order). Shared faces are cut alike on both
    sides, so the result conforms, and the volumes and areas are those of
    cell_sizes. Quadratic kinds by their corners; lines and vertices stay
    (by their corners). One block per block; cell_data["ref"] follows."""
    return _from_arrays(*_quernfold._triangulate(mesh.points, _blocks(mesh, True)))


def dual_graph(mesh, cells=None, type: "str | None" = None) -> "tuple[np.ndarray, np.ndarray]":
    """The face-dual graph of a Mesh, or of (points, cells, type): one vertex
    per cell (cells numbered block after block), two cells joined when they
    share a face (an end node of lines, an edge of surface cells, a triangle
    or quad of solids; quadratic kinds by their corners). Returns (indptr
    int64 (cells + 1,), indices int32 (2 x edges,)), each row ascending:
    scipy.sparse.csr_matrix((np.ones(len(indices)), indices, indptr)) is the
    symmetric adjacency matrix, and METIS takes the two arrays as they are."""
    points, blocks = (mesh.points, _blocks(mesh)) if cells is None else (mesh, [(type, cells)])
    return _quernfold._dual_graph(points, blocks)


def partition(mesh: "Mesh", n: int, seed: int = 1, weights=None) -> "np.ndarray":
    """METIS k-way parts of the cells (as the command-line tool's partition):
    the cells of the highest dimension are partitioned on their face-dual
    graph (imbalance at most 1.03; the same mesh, n and seed give the same
    parts), every lower-dimension cell takes the part of the first solid
    holding it. weights: None, or one positive integer per cell (all blocks;
    those of lower-dimension cells are not used). Returns uint32 (cells,),
    parts 0 .. n - 1, cells numbered block after block. quernfold.Error when
    n < 1 or the mesh exceeds METIS's 32-bit index."""
    w = None if weights is None else np.ascontiguousarray(weights, dtype=np.int32)
    return _quernfold._partition(mesh.points, _blocks(mesh), n, seed, w)[0]


_PART_FIELDS = ("global_node_ids", "global_cell_ids", "ghost_cells", "node_owner", "neighbours",
                "shared_nodes", "part", "parts")


def split(mesh: "Mesh", parts, ghosts: int = 1, n: "int | None" = None) -> "list[Mesh]":
    """One Mesh per part from a part number per cell (uint32 (cells,), as
    partition() gives). Part k keeps the mesh's blocks (some possibly empty),
    each with its owned cells then, with ghosts=1, its ghost cells (every
    cell of another part sharing a node with an owned one), each group by
    ascending global id; its points are the nodes those cells use, by
    ascending global id. Every part carries: global_node_ids int64 (points,)
    and global_cell_ids int64 (cells,) (local -> global); ghost_cells uint8
    (cells,) (1 on a ghost); node_owner uint32 (points,) (the lowest part
    owning a cell around the node: a node owned elsewhere is a ghost node);
    neighbours uint32 (the parts sharing nodes with this one, ascending) and
    shared_nodes (for each neighbour, int64 global node ids, ascending; both
    sides agree); part and parts. The references (cell_data "ref" or the
    format's key) follow the cells. n:
    the number of parts (default: the largest part number + 1)."""
    parts = np.ascontiguousarray(parts, dtype=np.uint32)
    if n is None:
        n = int(parts.max()) + 1 if parts.size else 1
    pieces = []
    for t in _quernfold._split(mesh.points, _blocks(mesh, True), parts, n, ghosts):
        piece = _mesh_of(t[0], t[1], _ref_key(mesh))
        for name, value in zip(_PART_FIELDS, t[2:]):
            setattr(piece, name, value)
        pieces.append(piece)
    return pieces


def _ref_key(mesh):
    """The cell_data key whose references _blocks passes on."""
    keys = ["ref", *dict.fromkeys(_REF_KEYS.values())]
    return next((k for k in keys if k in mesh.cell_data), "ref")


def _mesh_of(points, blocks, key="ref"):
    refs = [r for _, _, r in blocks]
    data = {key: refs} if all(r is not None for r in refs) and refs else None
    return Mesh(points, [(t, d) for t, d, _ in blocks], data)


def assemble(parts: "list[Mesh]") -> "Mesh":
    """The whole mesh back from the parts split() gave (their owned cells
    and global ids): the same points, blocks and cell order, exactly.
    quernfold.Error when the parts do not fit together."""
    items = [(p.points, _blocks(p, True)) + tuple(getattr(p, f) for f in _PART_FIELDS)
             for p in parts]
    points, blocks = _quernfold._assemble(items)
    return _mesh_of(points, blocks, _ref_key(parts[0]) if parts else "ref")
