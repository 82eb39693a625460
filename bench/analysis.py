"""Infeasibility analysis and tuner benchmark.

Run:  python bench/analysis.py --build build/<dir> [--budget 15] [--repeat 5] [--work /tmp/x]
                               [--instances ../shared/instances] [--maxsets 5]

IIS: on the public infeasible LPs, the time of the first irreducible set against the
time of one cold LP solve of the same problem (same run), the number of LP solves it
took (every solve after the first starts from the basis of the one before), the sizes
of the elastic filter's subsystem and of the irreducible set, and then iisall up to
--maxsets sets.

Tuner: on two LPs and two MIPs, the tuner's wall time against its budget (at most 1.10:
within 10%), then --repeat cold solves with the default controls and with the settings
the tuner left, alternating, as medians and minimums (ratio tuned/default: at most 1
means never slower; the machine's load makes single figures noisy).
"""
import argparse
import os
import subprocess
import sys
import tempfile

import highsbox

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
INFEASIBLE = ["galenet.mps", "box1.mps", "forest6.mps", "bgetam.mps"]
TUNE = [("25fv47.mps", "lp"), ("stair.mps", "lp"), ("lseu.mps", "mip"), ("bell5.mps", "mip")]


def build(build_dir, work):
    exe = os.path.join(work, "analysis")
    dist = highsbox.highs_dist_dir()
    cmd = ["g++", "-O2", "-std=c++17", "-I", os.path.join(ROOT, "libkrvu", "include"),
           os.path.join(ROOT, "bench", "analysis.cpp"),
           os.path.join(build_dir, "libkrvu", "libkrvu.a"),
           "-L", os.path.join(dist, "lib"), "-lhighs", "-lz", "-lpthread",
           "-Wl,-rpath," + os.path.join(dist, "lib"), "-o", exe]
    subprocess.run(cmd, check=True)
    return exe


def run(cmd):
    res = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    if res.returncode != 0:
        raise RuntimeError("%s failed: %s" % (" ".join(cmd), res.stderr.strip()))
    return res.stdout.strip()


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--build", required=True)
    ap.add_argument("--budget", type=float, default=15.0)
    ap.add_argument("--repeat", type=int, default=5)
    ap.add_argument("--maxsets", type=int, default=5)
    ap.add_argument("--work", default=None)
    ap.add_argument("--instances", default=os.path.join(ROOT, "..", "shared", "instances"))
    args = ap.parse_args()
    work = args.work or tempfile.mkdtemp(prefix="analysis_bench_")
    os.makedirs(work, exist_ok=True)
    exe = build(args.build, work)
    inst = lambda f: os.path.join(args.instances, f)

    print("Irreducible infeasible sets (first set, then iisall up to %d sets)" % args.maxsets)
    print("%-12s %9s %9s %7s %6s %9s %11s %11s %9s %7s %5s" % (
        "model", "LP s", "IIS s", "IIS/LP", "solves", "s/solve", "initial r+b", "IIS r+b",
        "all s", "solves", "sets"))
    for f in INFEASIBLE:
        if not os.path.exists(inst(f)):
            print("%-12s missing" % f)
            continue
        out = run([exe, "iis", inst(f), str(args.maxsets)])
        lp, first, alls = [p.split() for p in out.split("|")]
        lp_s = float(lp[1])
        t, solves, ir, ib, r, b = float(first[1]), int(first[2]), *map(int, first[3:])
        print("%-12s %9.4f %9.4f %7.1f %6d %9.5f %5d+%-5d %5d+%-5d %9.4f %7s %5s" % (
            f, lp_s, t, t / max(lp_s, 1e-9), solves, t / max(solves, 1), ir, ib, r, b,
            float(alls[1]), alls[2], alls[3]))

    print()
    print("Tuner (budget %.3g s, medians of %d cold solves)" % (args.budget, args.repeat))
    print("%-12s %4s %10s %10s %8s %10s %10s %8s %9s %7s  %s" % (
        "model", "kind", "default s", "tuned s", "ratio", "def. min", "tuned min", "ratio",
        "tuner s", "budget", "settings left"))
    for f, kind in TUNE:
        if not os.path.exists(inst(f)):
            print("%-12s missing" % f)
            continue
        out = run([exe, "tune", inst(f), kind, str(args.budget), str(args.repeat)])
        d, t, b, changed = [p.strip() for p in out.split("|")]
        d, dmin = map(float, d.split()[1:3])
        b, bmin = map(float, b.split()[1:3])
        t = float(t.split()[1])
        settings = [s for s in changed.split("; ")
                    if s and not s.startswith(("tunermaxtime", "loglevel", "outputlog"))]
        print("%-12s %4s %10.4f %10.4f %8.3f %10.4f %10.4f %8.3f %9.3f %7.3f  %s" % (
            f, kind, d, b, b / d, dmin, bmin, bmin / dmin, t, t / args.budget,
            ", ".join(settings) or "(defaults)"))


if __name__ == "__main__":
    sys.exit(main())
