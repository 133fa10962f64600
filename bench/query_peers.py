#!/usr/bin/env python3
"""NodeDetector.query against scipy's cKDTree on the same points.

Build plus 1M nearest-point queries, on the peer harness's 1M random points
($PEERS_DATA/pts1M.bin, written by ../shared/peers/run.sh): queries uniform
in the points' box, and at the points' positions jittered by up to 5e-4 on
each axis. Build plus 10k radius queries (r = 0.02) as well. Each round
times both sides one after the other (wall clock, a fresh tree each time);
the table gives medians and the ratio. Distances are checked equal. The
first-call column times quernfold's side once in a fresh interpreter per
workload (median over three such processes).

    PYTHONPATH=build/python /usr/bin/python3 bench/query_peers.py [rounds]
"""

import os
import subprocess
import sys
import time

import numpy as np
from scipy.spatial import cKDTree

import quernfold as qf

K = 1
RADIUS = 0.02
BALLS = 10000


def load_points():
    path = os.path.join(os.environ.get("PEERS_DATA", "/tmp/quernfold-peers/data"), "pts1M.bin")
    with open(path, "rb") as f:
        n = int(np.fromfile(f, np.uint64, 1)[0])
        return np.fromfile(f, np.float64, 3 * n).reshape(n, 3)


def timed(call):
    t0 = time.perf_counter()
    result = call()
    return time.perf_counter() - t0, result


def nearest(points, queries):
    return {
        "quernfold": lambda: qf.NodeDetector(points).query(queries, k=K),
        "cKDTree": lambda: cKDTree(points).query(queries, k=K),
    }


def balls(points, centres):
    return {
        "quernfold": lambda: qf.NodeDetector(points).query_ball_point(centres, RADIUS),
        "cKDTree": lambda: cKDTree(points).query_ball_point(centres, RADIUS),
    }


def workloads():
    points = load_points()
    rng = np.random.default_rng(7)
    lo, hi = points.min(axis=0), points.max(axis=0)
    uniform = lo + (hi - lo) * rng.random(points.shape)
    jittered = points + (rng.random(points.shape) - 0.5) * 1e-3
    return {
        "build + 1M queries uniform in the box": nearest(points, uniform),
        "build + 1M queries at jittered points": nearest(points, jittered),
        "build + 10k radius queries": balls(points, rng.random((BALLS, 3))),
    }


def first_call(index):
    """Seconds of quernfold's side of workload `index`, once in a new process."""
    out = subprocess.run([sys.executable, __file__, "--one", str(index)], check=True,
                         capture_output=True, text=True).stdout
    return float(out)


def main():
    if sys.argv[1:2] == ["--one"]:
        sides = list(workloads().values())[int(sys.argv[2])]
        print(timed(sides["quernfold"])[0])
        return
    rounds = int(sys.argv[1]) if len(sys.argv) > 1 else 3
    print("| Workload | quernfold | first call | cKDTree | Ratio |")
    print("|---|---|---|---|---|")
    for index, (name, sides) in enumerate(workloads().items()):
        times = {side: [] for side in sides}
        results = {}
        for _ in range(rounds):
            for side, call in sides.items():
                t, results[side] = timed(call)
                times[side].append(t)
        check(name, results)
        first = 1000 * np.median([first_call(index) for _ in range(3)])
        ours, theirs = (1000 * np.median(times[s]) for s in ("quernfold", "cKDTree"))
        print(f"| {name} | {ours:.0f} ms | {first:.0f} ms | {theirs:.0f} ms | {ours / theirs:.2f} |")


def check(name, results):
    ours, theirs = results["quernfold"], results["cKDTree"]
    if isinstance(ours, tuple):
        assert np.array_equal(ours[0], theirs[0]), name
    else:
        assert all(np.array_equal(a, np.sort(b)) for a, b in zip(ours, theirs)), name


if __name__ == "__main__":
    main()
