#!/usr/bin/env python3
"""First calls beside medians for the rows of peer_workloads_bench.

A user calls a function once, in a process that has not called it before,
so that call is the one that counts. For each benchmark this runs `fresh`
new processes that each time one call (a single iteration: the minimum
time is below any call's), then one process that repeats the call and
gives the median of its repetitions. Inputs are loaded before the timed
call in both. Prints a table: first call (median over the fresh
processes), repeated median and their ratio, in wall-clock time and in the
process's CPU time (user and system, so page faults count): where the
wall-clock ratio is high and the CPU ratio is not, the first call waited
for the processor rather than worked more.

    python3 bench/first_calls.py build-bench/bench/peer_workloads_bench [fresh] [filter]
"""

import json
import statistics
import subprocess
import sys

# Below the duration of any call: the runner stops after one iteration.
ONE_ITERATION = "1e-9"


def run(binary, name, *flags):
    out = subprocess.run(
        [binary, f"--benchmark_filter=^{name}$", "--benchmark_format=json", *flags],
        check=True, capture_output=True, text=True).stdout
    return json.loads(out)["benchmarks"]


def first_call(binary, name):
    """(wall, cpu) milliseconds of one call in a new process."""
    (row,) = run(binary, name, f"--benchmark_min_time={ONE_ITERATION}")
    assert row["iterations"] == 1, row
    return row["real_time"], row["cpu_time"]


def repeated_median(binary, name, repetitions):
    rows = run(binary, name, f"--benchmark_repetitions={repetitions}",
               "--benchmark_report_aggregates_only=true")
    row = next(r for r in rows if r.get("aggregate_name") == "median")
    return row["real_time"], row["cpu_time"]


def main():
    binary = sys.argv[1]
    fresh = int(sys.argv[2]) if len(sys.argv) > 2 else 3
    pattern = sys.argv[3] if len(sys.argv) > 3 else "."
    names = subprocess.run([binary, "--benchmark_list_tests", f"--benchmark_filter={pattern}"],
                           check=True, capture_output=True, text=True).stdout.split()
    print("| Benchmark | first call | repeated median | first / median | CPU: first | median "
          "| first / median |")
    print("|---|---|---|---|---|---|---|")
    for name in names:
        calls = [first_call(binary, name) for _ in range(fresh)]
        first = [statistics.median(c[i] for c in calls) for i in (0, 1)]
        median = repeated_median(binary, name, 5)
        cells = [f"{first[i]:.0f} ms | {median[i]:.0f} ms | {first[i] / median[i]:.2f}"
                 for i in (0, 1)]
        print(f"| {name} | {' | '.join(cells)} |", flush=True)


if __name__ == "__main__":
    main()
