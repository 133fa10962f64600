"""The command-line tool and the package give the same answers on the same files: info against
statistics, clean counts and written bytes, boundary faces, size maps, convert against write (bytes
and the elements reported lost), and the format read from the content when the extension lies. Info,
quality, clean and sizemap run the tool on three threads and the package on one."""
import json
import os
import pathlib
import shutil
import subprocess
import warnings

import numpy as np
import pytest

import quernfold as qf

ROOT = pathlib.Path(__file__).resolve().parents[2]
TOOL = os.environ.get("QUERNFOLD_CLI") or str(pathlib.Path(qf.__file__).resolve().parents[2] / "tools" / "quernfold")
SHARED = ROOT.parent / "shared" / "meshes"
FILES = [ROOT / "examples" / "sample.stl", ROOT / "tests" / "fixtures" / "tools" / "gmsh_block.bdf",
         ROOT / "tests" / "fixtures" / "io" / "meshio_mixed_small.bdf",
         ROOT / "tests" / "fixtures" / "io" / "meshio_surface.obj"]
FILES += [SHARED / n for n in ("femap/pynastran_mode_anti1.neu", "nastran/pynastran_ehbus69_quadratic.bdf",
                               "stl/trimesh_soup_bin.stl", "obj/trimesh_rabbit_tri_quad_16gon.obj")]
FILES = [f for f in FILES if f.exists()]
WRITTEN = sorted({e for _, exts, r, w in qf.formats() if r and w for e in exts if e not in (".bdf", ".dat")})

pytestmark = pytest.mark.skipif(not os.access(TOOL, os.X_OK), reason="the tool is not built")


def tool(*args):
    r = subprocess.run([TOOL, *map(str, args)], capture_output=True, text=True)
    assert r.returncode == 0, r.stderr
    return r.stdout


def faces(mesh):
    """Every cell as the sorted coordinates of its nodes."""
    return sorted(tuple(sorted(map(tuple, mesh.points[row].round(12)))) for b in mesh.cells for row in b.data)


@pytest.fixture(params=FILES, ids=lambda f: f.name)
def mesh_file(request):
    return request.param


def test_info_is_statistics(mesh_file):
    info = json.loads(tool("info", "--json", "--threads", 3, mesh_file))
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        mesh = qf.read(mesh_file)
    assert info.pop("file") == str(mesh_file) and info.pop("format") == mesh.format
    assert [f"left out {r['count']:,} {r['record']} records: {r['why']}" for r in info.pop("left_out")] == \
        [str(w.message).split(": ", 1)[1] for w in caught]
    stats = json.loads(json.dumps(qf.statistics(mesh, threads=1)))
    assert stats == info


def test_quality_json_is_the_qualities(mesh_file, tmp_path):
    mesh = qf.read(mesh_file)
    top = qf.statistics(mesh)["dimension"]
    blocks = [b for b in mesh.cells if qf._DIMENSIONS[b.type] == top and len(b)]
    q = np.concatenate([qf.shape_qualities(mesh.points, b.data, b.type) for b in blocks])
    report = json.loads(tool("quality", "--json", "--bins", 4, "--threads", 3, mesh_file))
    assert report["dimension"] == top and [k["cell"] for k in report["kinds"]] == [b.type for b in blocks]
    counts, _ = np.histogram(q, bins=[b["lower"] for b in report["bins"]] + [1 + 1e-12])
    assert [b["count"] for b in report["bins"]] == counts.tolist() and report["inverted"] == (q < 0).sum()
    assert (report["elements"], report["min"], report["max"]) == (len(q), q.min(), q.max())
    # --output: every cell's quality as cell data, NaN for points and lines.
    vtk = pytest.importorskip("vtk")
    from vtk.util.numpy_support import vtk_to_numpy
    tool("quality", "--output", tmp_path / "q.vtu", mesh_file)
    reader = vtk.vtkXMLUnstructuredGridReader()
    reader.SetFileName(str(tmp_path / "q.vtu"))
    reader.Update()
    written = vtk_to_numpy(reader.GetOutput().GetCellData().GetArray("quality"))
    expected = [qf.shape_qualities(mesh.points, b.data, b.type) if qf._DIMENSIONS[b.type] >= 2
                else np.full(len(b), np.nan) for b in mesh.cells if len(b)]
    np.testing.assert_array_equal(written, np.concatenate(expected))


def test_clean_counts_and_bytes(mesh_file, tmp_path):
    mesh = qf.read(mesh_file)
    counts = tool("clean", "--tol", "0.05", "--threads", 3, mesh_file, tmp_path / "tool.msh").splitlines()
    cleaned, _ = qf.clean(mesh, 0.05, threads=1)
    removed = sum(len(a) - len(b) for a, b in zip(mesh.cells, cleaned.cells))
    assert counts[1:3] == [f"elements removed: {removed}", f"nodes removed: {len(mesh.points) - len(cleaned.points)}"]
    qf.write(tmp_path / "package.msh", cleaned)
    assert (tmp_path / "tool.msh").read_bytes() == (tmp_path / "package.msh").read_bytes()


def test_boundary_faces(mesh_file, tmp_path):
    mesh = qf.read(mesh_file)
    out = tool("boundary", mesh_file, tmp_path / "skin.msh")
    skin = qf.boundary(mesh)
    assert f"boundary: {sum(len(b) for b in skin.cells)} faces" in out
    if skin.cells:
        assert faces(qf.read(tmp_path / "skin.msh")) == faces(skin)


def test_size_map(mesh_file, tmp_path):
    mesh = qf.read(mesh_file)
    for option, gradation in ((), None), (("--gradation", "1.3"), 1.3):
        out = tool("sizemap", "--threads", 3, *option, mesh_file, tmp_path / "s.sol")
        sizes, changed = qf.sizes(mesh, gradation=gradation, threads=1)
        assert out.endswith(f"; {changed} changed by the gradation\n")
        values = np.array((tmp_path / "s.sol").read_text().split()[8:-1], float)
        np.testing.assert_allclose(values, sizes, rtol=1e-5)


def test_convert_is_write(mesh_file, tmp_path):
    mesh = qf.read(mesh_file)
    for ext in WRITTEN:
        r = subprocess.run([TOOL, "convert", mesh_file, tmp_path / f"tool{ext}"], capture_output=True, text=True)
        with warnings.catch_warnings(record=True) as caught:
            warnings.simplefilter("always")
            try:
                qf.write(tmp_path / f"package{ext}", mesh)
            except qf.Error as e:
                assert r.returncode == 4 and "nothing written" in str(e)
                continue
        losses = [line.split(f"tool{ext}: ", 1)[1] for line in r.stderr.splitlines()]
        assert [str(w.message).split(f"package{ext}: ", 1)[1] for w in caught] == losses
        assert (tmp_path / f"tool{ext}").read_bytes() == (tmp_path / f"package{ext}").read_bytes(), ext


def test_the_content_decides_the_format(tmp_path):
    liar = tmp_path / "block.stl"
    tool("convert", FILES[1], tmp_path / "block.msh")
    shutil.copy(tmp_path / "block.msh", liar)
    assert json.loads(tool("info", "--json", liar))["format"] == qf.read(liar).format == "gmsh MSH"
