"""One row per defect that files and messages once had, each run through the tool (and the package where
the defect was the package's) on meshes made by gmsh and meshio, asserting the behaviour that replaced it."""
import re
import subprocess
import warnings

import numpy as np
import pytest

import quernfold as qf
from test_interop import GMSH, ROOT, TOOL, positive

meshio = pytest.importorskip("meshio")
pytestmark = pytest.mark.skipif(not GMSH, reason="no gmsh")
GEO = ('SetFactory("OpenCASCADE"); Box(1) = {0, 0, 0, %g, %g, %g}; Mesh.MeshSizeMax = %g;\n'
       'Physical Volume("solid") = {1}; Physical Surface("skin") = {1, 2, 3, 4, 5, 6};\n')
MESHES = {"box": (GEO % (1, 1, 2, 0.5), []), "quadratic": (GEO % (1, 1, 1, 0.6), ["-order", "2"]),
          "micro": (GEO % (2e-5, 1e-5, 1e-5, 2e-6), []),
          "block": ((ROOT / "tests" / "fixtures" / "tools" / "gmsh_block.geo").read_text(), [])}


@pytest.fixture(scope="module")
def work(tmp_path_factory):
    w = tmp_path_factory.mktemp("defects")
    for name, (geo, options) in MESHES.items():
        (w / f"{name}.geo").write_text(geo)
        subprocess.run([GMSH, w / f"{name}.geo", "-3", *options, "-o", w / f"{name}.msh"], check=True, capture_output=True)
    return w


def tool(w, *args):
    return subprocess.run([TOOL, *map(str, args)], cwd=w, capture_output=True, text=True)


def enclosed(points, triangles):
    a, b, c = (points[triangles[:, k]] for k in range(3))
    return np.einsum("ij,ij", a, np.cross(b, c)) / 6


def medit_without_comment(w):
    tool(w, "convert", "box.msh", "box.mesh")
    (w / "bare.mesh").write_text("".join(l for l in open(w / "box.mesh") if not l.startswith("#")))
    return positive(meshio.read(w / "box.mesh")) and tool(w, "convert", "bare.mesh", "bare.msh").returncode == 0 \
        and positive(meshio.read(w / "bare.msh"))


def vtk_wedges(w):
    tool(w, "convert", "block.msh", "block.vtk")
    m = meshio.read(w / "block.vtk")
    return "wedge" in m.cells_dict and positive(m)


def outward_skin(w):
    tool(w, "boundary", "box.msh", "skin.stl")
    skin = meshio.read(w / "skin.stl")
    package = qf.boundary(qf.read(w / "box.msh"))
    return enclosed(skin.points, skin.cells[0].data) > 0 and enclosed(package.points, package.cells[0].data) > 0


def micro_box(w):
    said = [tool(w, "convert", "micro.msh", "micro" + e) and tool(w, "info", "micro" + e).stdout for e in (".vtk", ".neu")]
    return all("coincident nodes: 0" in i and "non-positive jacobians (dimension 3): 0" in i for i in said)


def meshio_deck(w):
    m = meshio.read(w / "box.msh")
    meshio.write(w / "plain.nas", meshio.Mesh(m.points, [c for c in m.cells if c.type == "tetra"]))
    done = tool(w, "convert", "plain.nas", "plain.msh")
    return done.returncode == 0 and len(meshio.read(w / "plain.msh").cells_dict["tetra"]) == len(m.cells_dict["tetra"])


def size_map(w):
    tool(w, "sizemap", "quadratic.msh", "q.sol")
    words = (w / "q.sol").read_text().split()
    count = int(words[words.index("SolAtVertices") + 1])
    sizes = np.array(words[words.index("SolAtVertices") + 4:][:count], float)
    return words[:3] == ["MeshVersionFormatted", "2", "Dimension"] and words[-1] == "End" and (sizes > 0).all()


def groups(w):
    tool(w, "convert", "box.msh", "groups.msh")
    m = meshio.read(w / "groups.msh")
    return set(m.field_data) == {"solid", "skin"} and "gmsh:physical" in m.cell_data


def forms_kept(w):
    tool(w, "boundary", "box.msh", "b.stl", "--binary")
    m = meshio.read(w / "box.msh")
    meshio.write(w / "z.vtu", meshio.Mesh(m.points, [c for c in m.cells if c.type == "tetra"]), binary=True)
    tool(w, "convert", "b.stl", "b.stl"), tool(w, "convert", "z.vtu", "z.vtu")
    head = (w / "z.vtu").read_bytes()[:2000]
    return not (w / "b.stl").read_bytes().startswith(b"solid") and b"compressor=" in head and b'"ascii"' not in head


def none_points(w):
    with pytest.raises(qf.Error):
        qf.Mesh(np.array([[None] * 3] * 4, dtype=object), [("tetra", [[0, 1, 2, 3]])])
    return True


def messages(w):
    missing, folder = tool(w, "info", "none.msh"), tool(w, "info", w)
    (w / "msh.stl").write_bytes((w / "box.msh").read_bytes())
    named = tool(w, "info", "msh.stl")
    said = missing.stderr + folder.stderr + named.stderr
    return "No such file or directory" in missing.stderr and "(code" not in said and "facet" not in named.stderr


def line_of_bad_record(w):
    tool(w, "convert", "box.msh", "l.mesh")
    tool(w, "convert", "box.msh", "l.vtk")
    for name in ("box.msh", "l.mesh", "l.vtk"):
        text = (w / name).read_text().splitlines()
        bad = len(text) * 2 // 3
        text[bad] = "1 x 2"
        (w / ("bad" + name[-5:])).write_text("\n".join(text) + "\n")
        if f"at line {bad + 1}" not in tool(w, "info", "bad" + name[-5:]).stderr:
            return False
    (w / "bad.obj").write_text("v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 x\n")
    (w / "bad.stl").write_text("solid s\nfacet normal 0 0 1\nouter loop\nvertex 0 0 q\n")
    return all(f"at line 4" in tool(w, "info", f).stderr for f in ("bad.obj", "bad.stl"))


def skipped_counted(w):
    text = (w / "box.msh").read_text() + "$NodeData\n0\n0\n0\n$EndNodeData\n"
    (w / "extra.msh").write_text(text)
    (w / "extra.obj").write_text("v 0 0 0\nv 1 0 0\nv 0 1 0\nv 1 1 0\nv 2 2 0\nf 1 2 3\nf 1 2 3 4 5\nl 1 2\n")
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        qf.read(w / "extra.msh"), qf.read(w / "extra.obj")
    said = [str(c.message) for c in caught]
    verbose = tool(w, "--verbose", "info", "extra.msh").stderr + tool(w, "info", "extra.obj").stdout
    return any("$NodeData" in s for s in said) and any("5 corners" in s for s in said) and verbose.count("left out") >= 3


def nastran_far(w):
    m = meshio.read(w / "box.msh")
    tetra = [c for c in m.cells if c.type == "tetra"]
    meshio.write(w / "far.msh", meshio.Mesh(m.points + 1234.5, tetra), file_format="gmsh22", binary=False)
    meshio.write(w / "farther.msh", meshio.Mesh(m.points * 1e-3 + 1e6, tetra), file_format="gmsh22", binary=False)
    tool(w, "convert", "far.msh", "far.bdf")
    error = np.abs(meshio.read(w / "far.bdf").points - (m.points + 1234.5)).max() / np.sqrt(6)
    return error <= 1e-9 and "cannot hold" in tool(w, "convert", "farther.msh", "farther.bdf").stderr


def cbar_orientation(w):
    (w / "bars.nas").write_text("BEGIN BULK\nGRID,1,,0.,0.,0.\nGRID,2,,1.,0.,0.\nGRID,3,,0.,1.,0.\nGRID,4,,0.,0.,1.\n"
                                "CBAR,1,1,1,2,0.,0.,1.\nCBEAM   2       1       2       3       3\nCTETRA_,3,,1,2,3,4\n"
                                "ENDDATA\n")
    return re.search(r"elements: 3\b", tool(w, "info", "bars.nas").stdout) is not None


ROWS = {"medit tetrahedra inverted, also without our comment": medit_without_comment,
        "VTK wedges inverted for VTK": vtk_wedges, "skins inside out": outward_skin,
        "VTK and FEMAP keep 6 decimals": micro_box,
        "meshio's NASTRAN deck reads as 0 elements": meshio_deck,
        "a shopping list is a mesh": lambda w: (w / "notamesh.obj").write_text("milk\neggs\n") and
        "no mesh found" in tool(w, "info", "notamesh.obj").stderr,
        "size 0 at mid-edge nodes, old .sol header": size_map, "physical groups and names lost": groups,
        "clean --tol inf deletes the mesh": lambda w: tool(w, "clean", "--tol", "inf", "box.msh", "c.msh").returncode == 1,
        "--binary ignored for text-only formats": lambda w: tool(w, "convert", "--binary", "box.msh", "t.mesh").returncode == 1,
        "binary STL (and compressed VTK XML) over itself change form": forms_kept, "None points accepted": none_points,
        "messages: code numbers, no reason, MSH named .stl a malformed facet": messages,
        "no line number of a malformed record": line_of_bad_record, "records left out without a word": skipped_counted,
        "NASTRAN 10 digits per coordinate": nastran_far, "CBAR/CBEAM with orientation, meshio's CTETRA_": cbar_orientation}


@pytest.mark.parametrize("row", ROWS)
def test_defect_is_gone(work, row):
    assert ROWS[row](work)
