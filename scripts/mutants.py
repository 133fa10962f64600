#!/usr/bin/env python3
"""Fault injection: does the test suite notice small, plausible bugs?

Each fault of the table below replaces one exact snippet of a source file
with a slightly wrong version (a flipped comparison, an off-by-one, a
swapped tie-break, a wrong code or constant, a wrong table entry, a skipped
step). For every selected fault the runner applies it in the working tree,
rebuilds incrementally in its own build directory, runs ctest and restores
the file, whatever happens (also on Ctrl-C). A fault is

  caught            some test fails or times out,
  missed            every test passes,
  does not compile  the build fails,
  does not apply    the snippet is not found exactly once.

  scripts/mutants.py --list [--only ...]
  scripts/mutants.py [--only SUBSTR,...] [--build DIR] [--json FILE]
  scripts/mutants.py --compare OLD.json [--load NEW.json | the options above]

--only takes subsystems (io), parts of fault ids (merge) or parts of file
paths (stl.cpp, src/io/). --compare prints both columns and exits 1 when a
fault caught in OLD is not caught now.

Standard library only; runs with any python3.
"""
import argparse
import datetime
import json
import os
import re
import signal
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

# (id, subsystem, file, original text, replacement, description)
FAULTS = [
    # ---- model: element kinds, index utilities, boxes and centroids -------
    ("model-solid-mix-seven-nodes", "model", "src/model/element_types.cpp",
     "if (used < 4 || used == 7) return false;", "if (used < 4) return false;",
     "typed check accepts an ET_SOLID_MIX column whose first ~0U is in row 7"),
    ("model-face-mix-bound", "model", "src/model/element_types.cpp",
     "if (c[3] >= nods && c[3] != no_index) return false;",
     "if (c[3] > nods && c[3] != no_index) return false;",
     "off-by-one: row 3 of an ET_FACE_MIX column may equal the node count"),
    ("model-sorted-order-running-sum", "model", "src/model/index_utils.cpp",
     "for (std::size_t k = 3; k <= M + 1; ++k)", "for (std::size_t k = 3; k <= M; ++k)",
     "get_sorted_order: running sum stops one entry short"),
    ("model-get-ids-walk-forward", "model", "src/model/matching.cpp",
     "for (std::size_t j = B.size(); j-- > 0;) {", "for (std::size_t j = 0; j < B.size(); ++j) {",
     "list get_IDs walks B forwards: A_in_B keeps the last match, not the first"),
    ("model-box-nan-lower-corner", "model", "src/model/boxes.cpp",
     "if (!(p[k] >= min[k])) min[k] = p[k];", "if (p[k] < min[k]) min[k] = p[k];",
     "bounding box uses 'less than': a NaN no longer replaces the lower corner"),
    # ---- transform: translate, rotate, zoom, copies, clipping ------------
    ("transform-sinc-series-coefficient", "transform", "src/transform/node_maps.h",
     "-1.0 / 5040.0", "-1.0 / 720.0",
     "wrong t^3 coefficient of the small-angle series of sin(theta)/theta"),
    ("transform-clip-on-plane", "transform", "src/transform/clip.cpp",
     "+ D[2] * N_[2] >= 0.0;", "+ D[2] * N_[2] > 0.0;",
     "clip rejects nodes lying exactly on the plane"),
    ("transform-growth-factor", "transform", "src/common/growth.h",
     "std::max({need, 2 * have, kMinColumnCapacity})",
     "std::max({need, have + 1, kMinColumnCapacity})",
     "appended matrices grow by one column instead of doubling"),
    ("transform-copy-angle-not-scaled", "transform", "src/transform/copy.cpp",
     "rotate(c, Q, i * angle, nodes);", "rotate(c, Q, angle, nodes);",
     "repeated 2-D copies all turn by one angle instead of i x angle"),
    ("transform-nan-identity", "transform", "src/transform/node_maps.h",
     "return !(value < identity) && !(value > identity);", "return value == identity;",
     "a NaN angle, factor or vector no longer counts as the identity"),
    # ---- search: detector, merge, clean-up --------------------------------
    ("search-detector-split-tie", "search", "src/search/kd_build.h",
     "(p.x[a] == q.x[a] && p.node < q.node)", "(p.x[a] == q.x[a] && p.node > q.node)",
     "detector: equal coordinates split by descending node index"),
    ("search-detector-box-open-below", "search", "src/search/kd_tree.h",
     "if (!(lo[k] <= E.x[k] && E.x[k] <= hi[k])) return false;",
     "if (!(lo[k] < E.x[k] && E.x[k] <= hi[k])) return false;",
     "detector: find_in_box excludes nodes on the lower faces of the box"),
    ("search-detector-insert-tie-left", "search", "src/search/kd_tree.h",
     "fresh.x[axis] >= E.x[axis] ? E.right : E.left;",
     "fresh.x[axis] > E.x[axis] ? E.right : E.left;",
     "detector: an inserted node equal on the axis goes left instead of right"),
    ("search-merge-tie-first", "search", "src/search/merge.cpp",
     "if (!(d2 <= best_d2)) return;", "if (!(d2 < best_d2)) return;",
     "merge: strict test, so ties keep the first candidate and tol itself is out"),
    ("search-merge-raised-codes", "search", "src/search/merge.cpp",
     "return code < kBadIndex ? code + 1 : code;", "return code <= kBadIndex ? code + 1 : code;",
     "merge: thin overloads also raise the bad-index code -2 to -1"),
    ("search-merge-pair-order", "search", "src/search/merge.cpp",
     "if (p.a != q.a) return p.a < q.a;", "if (p.a != q.a) return p.a > q.a;",
     "merge modes 1/2: equally close pairs taken by descending first node"),
    ("search-merge-grid-strict", "search", "src/search/cell_grid.h",
     "if (!(d2 <= best_d2)) continue;", "if (!(d2 < best_d2)) continue;",
     "merge grid: ties and tol itself no longer seen, so tied nodes skip the tree"),
    ("search-merge-grid-own-cell", "search", "src/search/cell_grid.h",
     "own && own->key == cell + 1 ? own : find(cell)", "own ? own : find(cell)",
     "merge grid: a box reaching into a neighbour cell searches its own cell again"),
    ("search-merge-grid-zero-tie", "search", "src/search/merge.cpp",
     "if (zero_tie && stop_at_zero_tie) return kZeroTie;", "",
     "merge grid: leaders tied at distance 0 keep the followers' shortcut"),
    ("search-cleanup-flag-inverted", "search", "src/search/cleanup.cpp",
     "return *repeat != no_index || flag;", "return *repeat != no_index || !flag;",
     "remove_degenerated: the flag for repeated ~0U slots works backwards"),
    ("search-cleanup-simplify-start", "search", "src/search/cleanup.cpp",
     "if (coords.empty() || start >= n) return 0;", "if (coords.empty() || start > n) return 0;",
     "simplify: start equal to the node count fills new_IDs instead of leaving it empty"),
    # ---- topology: neighbors, boundaries, node graph, sub-domains ---------
    ("topology-neighbors-non-manifold-last", "topology", "src/topology/neighbors.cpp",
     "} else if (link_non_manifold_) {\n      join_pair(first, records[r]);",
     "} else if (link_non_manifold_) {\n      entry(records[r]) = first.element;",
     "neighbors: first face of a non-manifold group points to the second, not the last"),
    ("topology-hexa-top-face-order", "topology", "src/common/faces.h",
     "{4, 7, 6, 5}}};", "{4, 5, 6, 7}}};",
     "face table: hexahedron face 5 listed in the opposite sense"),
    ("topology-walk-codes-swapped", "topology", "src/topology/boundaries.cpp",
     "return ball_.empty() ? walk_result::start_lacks_node : walk_result::reached_lacks_node;",
     "return ball_.empty() ? walk_result::reached_lacks_node : walk_result::start_lacks_node;",
     "elements on boundaries: -3 and -4 of a failed node-ball walk swapped"),
    ("topology-graph-tetra-edges", "topology", "src/topology/node_graph.cpp",
     "case ET_TETRA4:", "case ET_TETRA10:",
     "node graph: tetrahedra walk their edge list instead of the whole column"),
    ("topology-ancestors-first-element", "topology", "src/topology/node_graph.cpp",
     "if (column[r] < size) ancestors[column[r]]",
     "if (column[r] < size && ancestors[column[r]] == no_index) ancestors[column[r]]",
     "get_ancestors keeps the first element of a node instead of the last"),
    ("topology-colors-higher-side", "topology", "src/topology/subdomains.cpp",
     "return both_sides || n > j;", "return both_sides || n < j;",
     "colour boundaries: a shared face written by the higher element"),
    ("topology-sort-elfes-inverse-map", "topology", "src/topology/subdomains.cpp",
     "at_column[from] = displaced;", "",
     "sort_elfes: the inverse map is not updated after a swap"),
    # ---- quality: shape, Jacobians, edges ---------------------------------
    ("quality-min-quality-tie", "quality", "src/quality/shape_qualities.cpp",
     "if (!(q >= qmin)) {", "if (q <= qmin) {",
     "min_quality: ties keep the last column and perfect elements set jmin"),
    ("quality-wedge-face-orientation", "quality", "src/quality/shape_kernels.cpp",
     "tetra_quality(P[f[2]], P[f[1]], P[f[0]], C)", "tetra_quality(P[f[0]], P[f[1]], P[f[2]], C)",
     "wedge face test: bottom triangle measured without exchanging its ends"),
    ("quality-pyramid-lateral-weight", "quality", "src/quality/shape_kernels.cpp",
     "cube_of_root(2 * lateral + base)", "cube_of_root(lateral + base)",
     "pyramid: lateral edges counted once instead of twice"),
    ("quality-jacobian-surface-signed", "quality", "src/quality/jacobians.cpp",
     "return norm(cross(J[0], J[1]));", "return cross(J[0], J[1]).z;",
     "Jacobian of a surface element signed instead of a length"),
    ("quality-jacobian-pyramid-apex", "quality", "src/quality/jacobians.cpp",
     "{-0.25, -0.25, -0.25, -0.25, 1}}};", "{-0.25, -0.25, -0.25, -0.25, 0.75}}};",
     "Jacobian: wrong zeta-derivative of the pyramid apex function"),
    ("quality-log-mean-series", "quality", "src/common/edge_kernels.h",
     "t * (1.0 / 3 - kLogMeanFourthOrder * t)", "t * (1.0 / 4 - kLogMeanFourthOrder * t)",
     "normalized length: wrong third-order coefficient of the series"),
    ("quality-shock-max-skipped", "quality", "src/quality/edge_qualities.cpp",
     "if (s > shocks[b]) shocks[b] = s;", "shocks[b] = s;",
     "H_shock: the second node takes the last shock, not the largest"),
    ("quality-excluded-edges-code", "quality", "src/quality/edge_qualities.cpp",
     "if (!check_IDs(excluded, ET_EDGE2, nodes)) return -7;",
     "if (!check_IDs(excluded, ET_EDGE2, nodes)) return -6;",
     "edge_qualities: wrong code for invalid excluded edges"),
    # ---- metrics: algebra, fields, size map, gradation --------------------
    ("metrics-cancellation-ratio", "metrics", "src/metrics/metric_algebra.cpp",
     "kCancellationRatio = 1e-12;", "kCancellationRatio = 1e-16;",
     "2x2 eigenvalues: cancellation repair tolerance too small"),
    ("metrics-eigenvector-turn", "metrics", "src/metrics/metric_algebra.cpp",
     "V(0, 1) = -e1;", "V(0, 1) = e1;",
     "2x2 eigenvectors: second vector not turned by +90 degrees"),
    ("metrics-nothing-to-bound", "metrics", "src/metrics/metric_algebra.cpp",
     "return !(hmin > 0) && (hmax == DBL_MAX", "return hmin < 0 && (hmax == DBL_MAX",
     "bound_metric: hmin = 0 with no hmax no longer means nothing to bound"),
    ("metrics-size-map-zero-edge", "metrics", "src/metrics/size_map.cpp",
     "if (L == 0 || !std::isfinite(L)) continue;", "if (!std::isfinite(L)) continue;",
     "metrics_gen_iso counts degenerate (zero-length) edges"),
    ("metrics-gradation-reach", "metrics", "src/metrics/gradation_engine.h",
     "reach_(rule == size_rule::gradation ? std::log(1 + bound) : bound) {}", "reach_(bound) {}",
     "gradation step uses beta instead of ln(1 + beta)"),
    ("metrics-gradation-count-distinct", "metrics", "src/metrics/gradation_engine.h",
     "if (stamps_[v.a] == 0) ++changed;", "++changed;",
     "gradation returns corrections made instead of distinct nodes changed"),
    ("metrics-gradation-fixed-target", "metrics", "src/metrics/gradation_engine.h",
     "if (stamps_[v.b] > v.stamp && !is_fixed(v.b)) continue;",
     "if (stamps_[v.b] > v.stamp) continue;",
     "gradation drops every correction towards a fixed node as stale"),
    ("metrics-bound-sizes-nan", "metrics", "src/metrics/metric_fields.cpp",
     "if (!(h >= hmin))", "if (h < hmin)",
     "bound_metrics: a NaN size is no longer replaced by hmin"),
    ("metrics-valid-size-dbl-max", "metrics", "src/metrics/metric_fields.cpp",
     "return h > 0 && h < DBL_MAX;", "return h > 0 && h <= DBL_MAX;",
     "first_invalid_metric takes the size DBL_MAX as valid"),
    # ---- io: one or two per reader/writer family ---------------------------
    ("io-medit-vertex-format", "io", "src/io/medit/write.cpp",
     'std::fprintf(f, "%E ", coords(i, j));', 'std::fprintf(f, "%e ", coords(i, j));',
     "MEDIT: vertices written with %e instead of %E"),
    ("io-vtk-wedge-cell-type", "io", "src/io/vtk/write.cpp",
     "{ET_WEDGE6, 6, 13}", "{ET_WEDGE6, 6, 14}",
     "VTK: wedges written with the pyramid cell type"),
    ("io-stl-color-lines", "io", "src/io/stl.cpp",
     'if (has(in, "color")) continue;', 'if (has(in, "colour")) continue;',
     "STL: 'color' lines between facets are not skipped"),
    ("io-stl-merge-fraction", "io", "src/io/stl.cpp",
     "kHeightFraction = 0.05;", "kHeightFraction = 0.5;",
     "STL: merge tolerance ten times too large"),
    ("io-stl-block-length", "io", "src/io/stl.cpp",
     "triangles_ % kMergeBlock == 0", "triangles_ % (kMergeBlock + 1) == 0",
     "STL: exact merge blocks one triangle too long"),
    ("io-stl-late-merge-start", "io", "src/io/stl.cpp",
     "if (!has_height_ && !start_merging()) return false;", "",
     "STL: triangles before the first of positive height are never merged"),
    ("io-stl-plain-facet-tail", "io", "src/io/stl.cpp",
     "return *p == '\\0';", "return true;",
     "STL: a facet line with a keyword after its numbers is read as a facet"),
    ("io-nastran-tria6-read-order", "io", "src/io/nastran.cpp",
     "{ET_TRIA6, {0, 1, 2, 4, 5, 3}},", "{ET_TRIA6, {0, 1, 2, 5, 3, 4}},",
     "NASTRAN: reader uses the writer's CTRIA6 node order"),
    ("io-nastran-fields-per-line", "io", "src/io/nastran.cpp",
     "kFieldsPerLine = 9;", "kFieldsPerLine = 8;",
     "NASTRAN: card lines broken one field early"),
    ("io-femap-tetra-slots", "io", "src/io/femap.cpp",
     "{6, ET_TETRA4, 25, {1, 0, 2, 4}},", "{6, ET_TETRA4, 25, {0, 1, 2, 4}},",
     "FEMAP: tetrahedron slots without the exchange of nodes 0 and 1"),
    ("io-obj-negative-index", "io", "src/io/obj.cpp",
     "col = static_cast<unsigned>(read + k);", "col = static_cast<unsigned>(read + k + 1);",
     "OBJ: negative face indices off by one"),
    ("io-femap-one-type-rule", "io", "src/io/shared/families.h",
     'kFemapReaderRules = {"rt", &single_run_type, false, false};',
     'kFemapReaderRules = {"rt", &widened_type, false, false};',
     "FEMAP: the one-matrix form widens the run types as the NASTRAN form does"),
    ("io-line-reader-nul-line", "io", "src/io/shared/lines.h",
     "if (!again && !refill()) return false;\n      take(end_ - pos_);",
     "if (!again && !refill()) return false;\n      if (end_ == pos_) return next();\n      take(end_ - pos_);",
     "line-by-line reading skips a line that starts with a NUL byte"),
    ("io-femap-line-trim", "io", "src/io/femap.cpp",
     "kRecordLines = {false, detail::kLineBuffer - 1, true, true, false};",
     "kRecordLines = {false, detail::kLineBuffer - 1, true, false, false};",
     "FEMAP: white space at the end of record lines is kept"),
    ("io-ensight-tetra-order", "io", "src/io/ensight.cpp",
     '{ET_TETRA4, "tetra4", 4, {0, 2, 1, 3}},', '{ET_TETRA4, "tetra4", 4, {0, 1, 2, 3}},',
     "EnSight: tetrahedra written in column order"),
    # ---- mesh: the whole-mesh layer under the tool and the package --------
    ("mesh-clean-refs-one-removal", "mesh", "src/mesh/clean.cpp",
     "if (removed <= 0) return removed;", "if (removed <= 1) return removed;",
     "clean: references and cell fields stay put when one element goes"),
    ("mesh-clean-node-map-merged-only", "mesh", "src/mesh/clean.cpp",
     "if (!merged.empty() && !used.empty()) change_indices(map, used);", "",
     "clean: the node map stops at the representatives, before the unused nodes go"),
    ("mesh-linear-kind-of-faces", "mesh", "src/mesh/combine.cpp",
     "return nbr_base_nodes(type) == 3 ? ET_TRIA3 : ET_QUAD4;",
     "return nbr_base_nodes(type) == 4 ? ET_TRIA3 : ET_QUAD4;",
     "triangles and quadrangles measured as each other"),
    ("mesh-boundary-split", "mesh", "src/mesh/boundary.cpp",
     "const bool is_tria = faces(kFourthNode, j) == no_index;",
     "const bool is_tria = faces(kFourthNode, j) != no_index;",
     "boundary: solid faces sorted into the wrong blocks"),
    ("mesh-meshio-wedge-standard", "mesh", "src/mesh/cell_names.cpp",
     '{"wedge", ET_WEDGE6, true},', '{"wedge", ET_WEDGE6, false},',
     "meshio's linear wedges taken in the standard order (inverted)"),
    ("mesh-detect-binary-stl-size", "mesh", "src/mesh/detect.cpp",
     "return head.size == kStlCountEnd + count * kStlTriangleBytes;",
     "return head.size == kStlHeader + count * kStlTriangleBytes;",
     "binary STL not told by its size"),
    ("mesh-size-map-overwrites", "mesh", "src/mesh/size_map.cpp",
     "if (sizes[v] == 0) sizes[v] = at_d[v];", "sizes[v] = at_d[v];",
     "size map: lower dimensions overwrite the sizes of the top one"),
    ("mesh-statistics-worst-highest", "mesh", "src/mesh/statistics.cpp",
     "if (s.quality.count == 0 || q[e] < s.quality.min) {",
     "if (s.quality.count == 0 || q[e] > s.quality.min) {",
     "statistics: the worst element is taken at the highest quality"),
]

CAUGHT, MISSED, NO_BUILD, NOT_APPLIED = "caught", "missed", "does not compile", "does not apply"


class Stop(Exception):
    """Raised by SIGTERM so that the file being mutated is restored."""


def on_term(signum, frame):
    raise Stop()


def run(cmd):
    """Runs cmd from ROOT in its own process group, so that an interrupt
    stops the compilers and tests it started too; returns (exit code,
    combined output)."""
    p = subprocess.Popen(cmd, cwd=ROOT, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                         universal_newlines=True, start_new_session=True)
    try:
        out, _ = p.communicate()
    except BaseException:
        os.killpg(p.pid, signal.SIGKILL)
        p.wait()
        raise
    return p.returncode, out


def configure(build):
    if os.path.exists(os.path.join(build, "CMakeCache.txt")):
        return
    code, out = run(["cmake", "-S", ROOT, "-B", build, "-DCMAKE_CXX_COMPILER_LAUNCHER=ccache",
                     "-DCMAKE_BUILD_TYPE=RelWithDebInfo"])
    if code != 0:
        sys.exit("configure failed:\n" + out)


def build_and_test(build, jobs, test_timeout):
    """Returns (status, failing tests) for the tree as it is now."""
    code, _ = run(["cmake", "--build", build, "-j", str(jobs)])
    if code != 0:
        return NO_BUILD, []
    code, out = run(["ctest", "--test-dir", build, "-j", str(jobs), "--timeout", str(test_timeout)])
    failed = re.findall(r"^\s*\d+ - (\S+) \(([^)]*)\)", out, re.M)
    if code == 0:
        return MISSED, []
    return CAUGHT, ["%s (%s)" % f for f in failed] or ["ctest exit code %d" % code]


def apply_and_test(fault, build, jobs, test_timeout):
    """Applies one fault, tests, and always puts the original file back."""
    fid, _, rel, original, replacement, _ = fault
    path = os.path.join(ROOT, rel)
    with open(path, newline="") as f:
        text = f.read()
    if text.count(original) != 1:
        return NOT_APPLIED, []
    try:
        with open(path, "w", newline="") as f:
            f.write(text.replace(original, replacement))
        return build_and_test(build, jobs, test_timeout)
    finally:
        with open(path, "w", newline="") as f:
            f.write(text)


def applies(fault):
    with open(os.path.join(ROOT, fault[2]), newline="") as f:
        return f.read().count(fault[3]) == 1


def select(only):
    if not only:
        return FAULTS
    subsystems = {f[1] for f in FAULTS}

    def matches(key, fault):
        if key in subsystems:
            return key == fault[1]
        if "/" in key or "." in key:
            return key in fault[2]
        return key in fault[0]

    keys = [s for s in only.split(",") if s]
    return [f for f in FAULTS if any(matches(k, f) for k in keys)]


def dirty_sources(faults):
    files = sorted({f[2] for f in faults})
    code, out = run(["git", "status", "--porcelain", "--"] + files)
    return out.strip() if code == 0 else ""


def row(fid, subsystem, status, seconds, note):
    return "%-38s %-9s %-16s %6s  %s" % (fid, subsystem, status, seconds, note)


def run_faults(faults, args):
    dirty = dirty_sources(faults)
    if dirty:
        sys.exit("uncommitted changes in files to mutate (a stale fault?):\n" + dirty)
    build = os.path.abspath(args.build)
    configure(build)
    start = time.time()
    status, failed = build_and_test(build, args.jobs, args.test_timeout)
    if status != MISSED:
        sys.exit("the unmodified tree does not build and pass: %s %s" % (status, failed[:5]))
    print("baseline builds and passes (%.0f s)" % (time.time() - start))
    print(row("fault", "subsystem", "result", "secs", "first failing tests / description"))
    results = {}
    for fault in faults:
        t0 = time.time()
        status, failed = apply_and_test(fault, build, args.jobs, args.test_timeout)
        seconds = round(time.time() - t0)
        results[fault[0]] = {"subsystem": fault[1], "file": fault[2], "description": fault[5],
                             "status": status, "failed_tests": failed, "seconds": seconds}
        note = ", ".join(failed[:2]) + (" +%d" % (len(failed) - 2) if len(failed) > 2 else "")
        print(row(fault[0], fault[1], status, seconds, note or fault[5]), flush=True)
    return {"commit": run(["git", "rev-parse", "--short", "HEAD"])[1].strip(),
            "date": datetime.datetime.now().isoformat(timespec="seconds"),
            "total_seconds": round(time.time() - start), "test_timeout": args.test_timeout,
            "results": results}


def summary(report):
    counts = {}
    for r in report["results"].values():
        counts[r["status"]] = counts.get(r["status"], 0) + 1
    order = [CAUGHT, MISSED, NO_BUILD, NOT_APPLIED]
    print("summary: " + ", ".join("%d %s" % (counts[s], s) for s in order if s in counts) +
          " of %d faults; %d s in all" % (len(report["results"]), report.get("total_seconds", 0)))
    by_subsystem = {}
    for r in report["results"].values():
        c = by_subsystem.setdefault(r["subsystem"], [0, 0])
        c[0] += r["status"] == CAUGHT
        c[1] += 1
    print("caught by subsystem: " +
          ", ".join("%s %d/%d" % (s, c[0], c[1]) for s, c in sorted(by_subsystem.items())))


def compare(old, new):
    """Both columns; flags faults caught before and not caught now."""
    print("\n%-38s %-9s %-16s %-16s" % ("fault", "subsystem", "before", "now"))
    lost = 0
    for fid in list(old["results"]) + [f for f in new["results"] if f not in old["results"]]:
        before = old["results"].get(fid, {}).get("status", "-")
        r = new["results"].get(fid, {})
        now = r.get("status", "-")
        subsystem = r.get("subsystem") or old["results"][fid]["subsystem"]
        flag = ""
        if before == CAUGHT and now != CAUGHT:
            flag = "  <-- LOST" if now == MISSED else "  <-- recheck"
            lost += 1
        print("%-38s %-9s %-16s %-16s%s" % (fid, subsystem, before, now, flag))
    print("%d fault(s) caught before are not caught now" % lost)
    return lost


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--only", help="comma-separated subsystems, parts of fault ids, or parts of "
                    "file paths (a part with / or .)")
    ap.add_argument("--build", default=os.path.join(ROOT, "build-mutants"),
                    help="dedicated build directory (default build-mutants)")
    ap.add_argument("--list", action="store_true", help="print the fault table and exit")
    ap.add_argument("--json", help="write the results to this file")
    ap.add_argument("--compare", metavar="OLD.json", help="compare with an earlier run")
    ap.add_argument("--load", metavar="NEW.json", help="take the results from this file, no run")
    ap.add_argument("--jobs", type=int, default=2, help="build and ctest parallelism (default 2)")
    ap.add_argument("--test-timeout", type=int, default=60, help="seconds per test (default 60)")
    args = ap.parse_args()
    faults = select(args.only)
    if not faults:
        sys.exit("no fault matches --only %s" % args.only)

    if args.list:
        for f in faults:
            print(row(f[0], f[1], "applies" if applies(f) else NOT_APPLIED, "", f[5]))
        print("%d faults" % len(faults))
        return 0

    signal.signal(signal.SIGTERM, on_term)
    if args.load:
        with open(args.load) as f:
            report = json.load(f)
    else:
        try:
            report = run_faults(faults, args)
        except (KeyboardInterrupt, Stop):
            sys.exit("interrupted; the mutated file was restored")
    summary(report)
    if args.json:
        with open(args.json, "w") as f:
            json.dump(report, f, indent=1, sort_keys=True)
            f.write("\n")
    if args.compare:
        with open(args.compare) as f:
            return 1 if compare(json.load(f), report) else 0
    return 0


if __name__ == "__main__":
    sys.exit(main())
