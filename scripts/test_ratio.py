#!/usr/bin/env python3
"""Size of the test sources against the code they test.

Counts non-blank, non-comment lines of C++ (.h, .cpp) and Python (.py,
.pyi) files: tests are tests/, platform/tests/, fuzz/ and python/tests/;
code is src/, include/, platform/ (without its tests), tools/ and python/
(without its tests). Prints both counts per folder and the ratio; exits 1
when the ratio is above the limit given with --max (default 0.35).
"""
import argparse
import os
import sys

CODE = ["src", "include", "platform", "tools", "python"]
TESTS = ["tests", "platform/tests", "fuzz", "python/tests"]
EXTENSIONS = (".h", ".hpp", ".cpp", ".cc", ".py", ".pyi")


def code_lines(path):
    """Non-blank lines that hold something besides comments."""
    count, in_block = 0, False
    python = path.endswith((".py", ".pyi"))
    with open(path, errors="replace") as f:
        for line in f:
            s = line.strip()
            if python:
                count += bool(s) and not s.startswith("#")
                continue
            kept, i = [], 0
            while i < len(s):
                if in_block:
                    end = s.find("*/", i)
                    if end < 0:
                        break
                    in_block, i = False, end + 2
                elif s.startswith("//", i):
                    break
                elif s.startswith("/*", i):
                    in_block, i = True, i + 2
                else:
                    kept.append(s[i])
                    i += 1
            count += bool("".join(kept).strip())
    return count


def folder_lines(root, folder, skip):
    total = 0
    for dirpath, dirnames, filenames in os.walk(os.path.join(root, folder)):
        rel = os.path.relpath(dirpath, root)
        dirnames[:] = [d for d in dirnames
                       if os.path.join(rel, d) not in skip and not d.startswith((".", "build"))]
        total += sum(code_lines(os.path.join(dirpath, f)) for f in filenames if f.endswith(EXTENSIONS))
    return total


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--max", type=float, default=0.35)
    parser.add_argument("root", nargs="?", default=os.path.join(os.path.dirname(__file__), ".."))
    args = parser.parse_args()
    skip = set(TESTS)
    sums = {}
    for kind, folders in (("code", CODE), ("tests", TESTS)):
        sums[kind] = 0
        for folder in folders:
            if os.path.isdir(os.path.join(args.root, folder)):
                n = folder_lines(args.root, folder, skip - {folder})
                sums[kind] += n
                print(f"{kind:5} {folder:16} {n:6}")
    ratio = sums["tests"] / max(sums["code"], 1)
    print(f"code {sums['code']}, tests {sums['tests']}, ratio {ratio:.3f} (limit {args.max})")
    return 0 if ratio <= args.max else 1


if __name__ == "__main__":
    sys.exit(main())
