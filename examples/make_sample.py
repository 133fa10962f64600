#!/usr/bin/env python3
"""Writes a closed torus (major radius 2, minor radius 0.75) of 2 * NU * NV
triangles in text STL, every triangle with its own three vertices, as STL
files carry them.

    python3 examples/make_sample.py [out.stl]

Default: sample.stl in a new temporary folder (the bundled
examples/sample.stl is this output, written with that path as argument).
"""
import math
import os
import sys
import tempfile

NU, NV = 16, 8
R, r = 2.0, 0.75


def point(i, j):
    u = 2 * math.pi * (i % NU) / NU
    v = 2 * math.pi * (j % NV) / NV
    return ((R + r * math.cos(v)) * math.cos(u), (R + r * math.cos(v)) * math.sin(u), r * math.sin(v))


def normal(a, b, c):
    e1 = [b[k] - a[k] for k in range(3)]
    e2 = [c[k] - a[k] for k in range(3)]
    n = [e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2], e1[0] * e2[1] - e1[1] * e2[0]]
    s = math.sqrt(sum(x * x for x in n))
    return [x / s for x in n]


def write(target):
    with open(target, "w") as f:
        f.write("solid torus\n")
        for i in range(NU):
            for j in range(NV):
                p00, p10, p11, p01 = point(i, j), point(i + 1, j), point(i + 1, j + 1), point(i, j + 1)
                for tri in ((p00, p10, p11), (p00, p11, p01)):
                    n = normal(*tri)
                    f.write("  facet normal %.6e %.6e %.6e\n    outer loop\n" % tuple(n))
                    for p in tri:
                        f.write("      vertex %.6e %.6e %.6e\n" % p)
                    f.write("    endloop\n  endfacet\n")
        f.write("endsolid torus\n")


if __name__ == "__main__":
    target = sys.argv[1] if len(sys.argv) > 1 else os.path.join(tempfile.mkdtemp(), "sample.stl")
    write(target)
    print(f"wrote {target}")
