#!/usr/bin/env python3
"""Reads a NASTRAN deck, merges its coincident nodes, reports the shape
quality of every kind of element and writes the clean mesh as VTK.

    python examples/nastran_report.py [deck.bdf] [out.vtk]

Defaults: the gmsh-made block of hexahedra, wedges, tetrahedra and pyramids
in tests/fixtures/tools/gmsh_block.bdf, written to nastran_report.vtk in a
new temporary folder.
"""
import os
import sys
import tempfile

import numpy as np

import quernfold

HERE = os.path.dirname(os.path.abspath(__file__))


def main(deck, target):
    mesh = quernfold.read(deck)
    print(f"read {deck}: {mesh}")
    clean, node_map = quernfold.clean(mesh, tol=1e-9)
    merged = len(mesh.points) - len(clean.points)
    print(f"clean: {merged} nodes merged or unused, "
          f"{sum(map(len, mesh.cells)) - sum(map(len, clean.cells))} degenerate elements dropped")
    print(f"{'cells':12} {'count':>7} {'min':>7} {'mean':>7} {'< 0.2':>6}")
    for block in clean.cells:
        if block.type in ("vertex", "line"):
            continue  # no shape to measure
        q = quernfold.shape_qualities(clean.points, block.data, block.type)
        print(f"{block.type:12} {len(q):7d} {q.min():7.3f} {q.mean():7.3f} {np.sum(q < 0.2):6d}")
    quernfold.write(target, clean)
    print(f"wrote {target}")


if __name__ == "__main__":
    args = sys.argv[1:]
    deck = args[0] if args else os.path.join(HERE, "..", "tests", "fixtures", "tools", "gmsh_block.bdf")
    target = args[1] if len(args) > 1 else os.path.join(tempfile.mkdtemp(), "nastran_report.vtk")
    main(deck, target)
