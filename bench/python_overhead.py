#!/usr/bin/env python3
"""Per-call overhead of the Python package on meshes of about a million
elements: the best time of the Python call against the best time of the
library's own call on the same arrays (converted once, timed in C++). Both
are CPU times of the calling thread, so that other programs on a busy
machine do not blur them.

    cmake -S . -B build -DQUERNFOLD_PYTHON_TIMING=ON && cmake --build build --target _quernfold
    PYTHONPATH=build/python /usr/bin/python3 bench/python_overhead.py [--repeat 9]

(the option adds the library-side timer, _library_seconds, to the module;
the shipped module has none).

The overhead covers argument checks, the views of the arrays, the node
order copy where meshio's order is not the library's (tetra), the
interpreter lock and the result arrays. Cells are passed as uint32 (used in
place); the `int64` rows show the cost of a dtype conversion.
"""
import argparse
import time

import numpy as np

import quernfold as qf


def grid(n):
    """Nodes of an (n + 1)^3 grid on the unit cube and the corner indices of
    its n^3 cubes, (cubes, 8) in hexahedron order."""
    k = np.arange(n + 1, dtype=np.float64) / n
    points = np.stack(np.meshgrid(k, k, k, indexing="ij"), -1).reshape(-1, 3)
    i, j, l = (a.ravel() for a in np.meshgrid(*(np.arange(n),) * 3, indexing="ij"))
    node = lambda a, b, c: ((i + a) * (n + 1) + j + b) * (n + 1) + l + c
    cubes = np.stack([node(0, 0, 0), node(1, 0, 0), node(1, 1, 0), node(0, 1, 0),
                      node(0, 0, 1), node(1, 0, 1), node(1, 1, 1), node(0, 1, 1)], 1)
    return points, cubes.astype(np.uint32)


def tetrahedra(points, cubes):
    """Six tetrahedra per cube around its diagonal 0-6, oriented as meshio
    calls valid (positive volume)."""
    paths = [(1, 2), (2, 3), (3, 7), (7, 4), (4, 5), (5, 1)]
    tets = np.concatenate([cubes[:, [0, a, b, 6]] for a, b in paths])
    p = points[tets]
    vol = np.einsum("ij,ij->i", np.cross(p[:, 1] - p[:, 0], p[:, 2] - p[:, 0]), p[:, 3] - p[:, 0])
    tets[vol < 0] = tets[vol < 0][:, [0, 2, 1, 3]]
    return np.ascontiguousarray(tets)


def triangles(n):
    k = np.arange(n + 1, dtype=np.float64) / n
    points = np.stack(np.meshgrid(k, k, indexing="ij"), -1).reshape(-1, 2)
    i, j = (a.ravel() for a in np.meshgrid(np.arange(n), np.arange(n), indexing="ij"))
    a, b, c, d = i * (n + 1) + j, (i + 1) * (n + 1) + j, (i + 1) * (n + 1) + j + 1, i * (n + 1) + j + 1
    return points, np.concatenate([np.stack([a, b, c], 1), np.stack([a, c, d], 1)]).astype(np.uint32)


def best_pair(op, points, cells, kind, repeat):
    """Best library time and best Python time, measured alternately so that
    both see the same load."""
    native, python = [], []
    for _ in range(repeat):
        native.append(qf._quernfold._library_seconds(op, points, cells, kind, 1))
        args = (cells, kind) if op in ("neighbors", "node_graph") else (points, cells, kind)
        start = time.thread_time()
        getattr(qf, op)(*args)
        python.append(time.thread_time() - start)
    return min(native), min(python)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--repeat", type=int, default=9)
    args = parser.parse_args()
    hex_points, hexa = grid(100)
    tet_points, cubes = grid(55)
    tri_points, tri = triangles(708)
    meshes = {
        "hexahedron": (hex_points, hexa),
        "tetra": (tet_points, tetrahedra(tet_points, cubes)),
        "triangle": (tri_points, tri),
    }
    print(f"{'operation':16} {'cells':11} {'elements':>9} {'library ms':>11} {'python ms':>10} {'overhead':>9}")
    worst = 0.0
    for op in ["shape_qualities", "jacobians", "size_map", "neighbors", "node_graph"]:
        for kind, (points, cells) in meshes.items():
            for dtype in (np.uint32, np.int64) if op == "shape_qualities" else (np.uint32,):
                data = cells.astype(dtype)
                native, python = best_pair(op, points, data, kind, args.repeat)
                overhead = (python - native) / native
                if dtype is np.uint32:
                    worst = max(worst, overhead)
                label = kind if dtype is np.uint32 else f"{kind} int64"
                print(f"{op:16} {label:11} {len(cells):9d} {native * 1e3:11.1f} "
                      f"{python * 1e3:10.1f} {overhead:9.1%}")
    print(f"largest overhead with uint32 cells: {worst:.1%}")


if __name__ == "__main__":
    main()
