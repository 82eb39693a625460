"""The library's branch-and-bound against the engine's MIP solver.

Run:  python bench/search.py --build build/<dir> [--instances ../shared/instances]
                             [--timelimit 300] [--work /tmp/x] [--threads 1]

For each public MIP: status, objective, nodes and wall time of both searches (one process
per solve, the same run), the time ratio ours/engine, and the geometric mean of the ratios.
Every instance must end optimal with the known objective on both paths.
"""
import argparse
import math
import os
import subprocess
import tempfile

import highsbox

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
MIPS = [("small_mip.mps", 3.2368421), ("flugpl.mps", 1201500), ("lseu.mps", 1120),
        ("egout.mps", 568.1007), ("rgn.mps", 82.2), ("p0548.mps", 8691),
        ("bell5.mps", 8966406.49152)]


def build(build_dir, work):
    exe = os.path.join(work, "search_bench")
    dist = highsbox.highs_dist_dir()
    cmd = ["g++", "-O2", "-std=c++17", "-I", os.path.join(ROOT, "libkrvu", "include"),
           os.path.join(ROOT, "bench", "search.cpp"),
           os.path.join(build_dir, "libkrvu", "libkrvu.a"),
           "-L", os.path.join(dist, "lib"), "-lhighs", "-lz", "-lpthread",
           "-Wl,-rpath," + os.path.join(dist, "lib"), "-o", exe]
    subprocess.run(cmd, check=True)
    return exe


def solve(exe, path, which, timelimit, threads=0):
    out = subprocess.run([exe, path, str(which), str(timelimit), str(threads)], capture_output=True,
                         text=True, check=True).stdout.split()
    return int(out[0]), float(out[1]), int(out[2]), float(out[3])


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", default=os.path.join(ROOT, "build", "dev"))
    ap.add_argument("--instances", default=os.path.join(ROOT, "..", "shared", "instances"))
    ap.add_argument("--timelimit", type=float, default=300)
    ap.add_argument("--threads", type=int, default=0, help="the threads control (node workers of ours)")
    ap.add_argument("--work", default=None)
    a = ap.parse_args()
    work = a.work or tempfile.mkdtemp()
    os.makedirs(work, exist_ok=True)
    exe = build(a.build, work)
    print("%-12s %8s %8s %10s %10s %8s  %s" % ("instance", "nodes", "engine", "ours s",
                                              "engine s", "ratio", "both optimal"))
    logs = []
    for name, known in MIPS:
        path = os.path.join(a.instances, name)
        if not os.path.exists(path):
            continue
        so, oo, no, to = solve(exe, path, 1, a.timelimit, a.threads)
        se, oe, ne, te = solve(exe, path, 2, a.timelimit, a.threads)
        ok = all(s == 6 and abs(o - known) <= 1e-4 * max(1, abs(known))
                 for s, o in ((so, oo), (se, oe)))
        ratio = to / max(te, 1e-3)
        logs.append(math.log(ratio))
        print("%-12s %8d %8d %10.3f %10.3f %8.2f  %s" % (name, no, ne, to, te, ratio,
                                                         "yes" if ok else "NO"))
    if logs:
        print("geometric mean of the time ratio (ours/engine): %.2f" %
              math.exp(sum(logs) / len(logs)))


if __name__ == "__main__":
    main()
