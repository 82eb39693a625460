"""Solve benchmark: libkrvu (read, optimize) against HiGHS's own executable on the same files.

Run:  python bench/engine_solve.py --build build/<dir> [--repeat 5] [--work /tmp/x]
                                   [--instances ../shared/instances] [--models a.mps,b.mps]

Both sides run as a process per solve, and the wall time of the whole process is
measured (start-up, reading, solving, writing nothing); the figure is the median
of --repeat runs.  HiGHS gets an options file with our default tolerances so
that both solve the same problem to the same accuracy.  The ratio column is our
time over HiGHS's (1.00: as fast).
"""
import argparse
import os
import statistics
import subprocess
import sys
import tempfile
import time

import highsbox

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

# (file, kind); the LPs and MIPs of the public set that take a noticeable time.
DEFAULT_MODELS = [
    ("afiro.mps", "lp"), ("adlittle.mps", "lp"), ("scrs8.mps", "lp"), ("stair.mps", "lp"),
    ("25fv47.mps", "lp"), ("shell.mps", "lp"), ("standata.mps", "lp"),
    ("flugpl.mps", "mip"), ("lseu.mps", "mip"), ("egout.mps", "mip"), ("rgn.mps", "mip"),
    ("p0548.mps", "mip"), ("bell5.mps", "mip"),
]

# Our defaults where they differ from HiGHS's.
HIGHS_OPTIONS = "primal_feasibility_tolerance = 1e-6\n"


def build_ours(build, work):
    exe = os.path.join(work, "engine_solve")
    dist = highsbox.highs_dist_dir()
    cmd = ["g++", "-O2", "-std=c++17", "-I", os.path.join(ROOT, "libkrvu", "include"),
           os.path.join(ROOT, "bench", "engine_solve.cpp"),
           os.path.join(build, "libkrvu", "libkrvu.a"),
           "-L", os.path.join(dist, "lib"), "-lhighs", "-lz", "-lpthread",
           "-Wl,-rpath," + os.path.join(dist, "lib"), "-o", exe]
    subprocess.run(cmd, check=True)
    return exe


def wall(cmd, cwd, env=None):
    t = time.perf_counter()
    # In the work folder: HiGHS's executable leaves a log file where it runs.
    res = subprocess.run(cmd, env=env, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                         text=True)
    elapsed = time.perf_counter() - t
    if res.returncode != 0:
        raise RuntimeError("%s failed: %s" % (" ".join(cmd), res.stderr.strip()))
    return elapsed, res.stdout


def highs_objective(out):
    for line in out.splitlines():
        t = line.strip()
        if t.startswith("Objective value"):
            return float(t.split(":")[1])
        if t.startswith("Primal bound"):
            return float(t.split()[2])
    return float("nan")


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--build", required=True)
    ap.add_argument("--repeat", type=int, default=5)
    ap.add_argument("--work", default=None)
    ap.add_argument("--instances", default=os.path.join(ROOT, "..", "shared", "instances"))
    ap.add_argument("--models", default=None,
                    help="comma-separated files, each optionally with ':lp' or ':mip' "
                         "(default: the kind listed here, else lp)")
    args = ap.parse_args()
    work = args.work or tempfile.mkdtemp(prefix="engine_solve_")
    os.makedirs(work, exist_ok=True)
    ours = build_ours(args.build, work)
    dist = highsbox.highs_dist_dir()
    env = dict(os.environ)
    env["LD_LIBRARY_PATH"] = os.path.join(dist, "lib") + ":" + env.get("LD_LIBRARY_PATH", "")
    highs = os.path.join(dist, "bin", "highs")
    opts = os.path.join(work, "highs.opt")
    with open(opts, "w") as f:
        f.write(HIGHS_OPTIONS)

    models = DEFAULT_MODELS
    if args.models:
        known = dict(DEFAULT_MODELS)
        models = []
        for item in args.models.split(","):
            name, _, kind = item.partition(":")
            models.append((name, kind or known.get(name, "lp")))
    print("%-16s %-4s %12s %12s %7s  %s" % ("model", "kind", "ours s", "highs s", "ratio",
                                             "objectives (ours / highs)"))
    ratios = {"lp": [], "mip": []}
    for name, kind in models:
        path = os.path.abspath(os.path.join(args.instances, name))
        if not os.path.exists(path):
            print("%-16s skipped (not found)" % name)
            continue
        t_ours, t_highs = [], []
        obj_ours = obj_highs = float("nan")
        # Interleaved, so that load on the shared machine hits both alike.
        for _ in range(args.repeat):
            t, out = wall([ours, path, kind], work)
            t_ours.append(t)
            obj_ours = float(out.split()[0])
            t, out = wall([highs, "--options_file", opts, path], work, env)
            t_highs.append(t)
            obj_highs = highs_objective(out)
        a, b = statistics.median(t_ours), statistics.median(t_highs)
        ratios[kind].append(a / b)
        print("%-16s %-4s %12.3f %12.3f %7.3f  %.10g / %.10g" % (name, kind, a, b, a / b,
                                                               obj_ours, obj_highs))
        sys.stdout.flush()
    for kind, r in ratios.items():
        if r:
            print("median ratio %s: %.3f over %d models" % (kind, statistics.median(r), len(r)))


if __name__ == "__main__":
    main()
