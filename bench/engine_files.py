"""Problem file benchmark: libkrvu's MPS and LP readers and writers against HiGHS's reader.

Run:  python bench/engine_files.py --build build/<dir> [--nnz 1000000] [--repeat 3] [--work /tmp/x]

The script writes a random LP of about --nnz nonzeros as free MPS (rows and columns
of ten coefficients each, bounds on a third of the columns), builds
bench/engine_files.cpp against <build>/libkrvu/libkrvu.a and times, median of
--repeat runs:
  ours       reading that file, writing it as MPS (decimal and hexadecimal), LP
             and compressed MPS, and reading each of those back;
  highs      HiGHS's executable reading the same file and stopping at once
             (time limit 0, presolve off): the whole process's wall time;
  highspy    Highs.readModel on the same file, in process (when highspy is there).
The ratio line is HiGHS's read time over ours (above 1: ours is faster).
"""
import argparse
import os
import random
import statistics
import subprocess
import sys
import time

import highsbox

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def make_model(path, nnz, seed=1):
    rnd = random.Random(seed)
    per = 10
    n = nnz // per
    m = n
    out = []
    w = out.append
    w("NAME          BIG\nROWS\n N  COST\n")
    for i in range(m):
        w(" L  R%d\n" % i)
    w("COLUMNS\n")
    for j in range(n):
        c = "C%d" % j
        w("    %-9s COST      %.6g\n" % (c, rnd.uniform(-10, 10)))
        for i in rnd.sample(range(m), per):
            w("    %-9s R%-8d %.6g\n" % (c, i, rnd.uniform(-5, 5)))
    w("RHS\n")
    for i in range(m):
        w("    RHS       R%-8d %.6g\n" % (i, rnd.uniform(1, 100)))
    w("BOUNDS\n")
    for j in range(0, n, 3):
        w(" UP BND       C%-8d %.6g\n" % (j, rnd.uniform(1, 50)))
    w("ENDATA\n")
    with open(path, "w") as f:
        f.write("".join(out))


def build_ours(build, work):
    exe = os.path.join(work, "engine_files")
    dist = highsbox.highs_dist_dir()
    cmd = ["g++", "-O2", "-std=c++17", "-I", os.path.join(ROOT, "libkrvu", "include"),
           os.path.join(ROOT, "bench", "engine_files.cpp"),
           os.path.join(build, "libkrvu", "libkrvu.a"),
           "-L", os.path.join(dist, "lib"), "-lhighs", "-lz", "-lpthread",
           "-Wl,-rpath," + os.path.join(dist, "lib"), "-o", exe]
    subprocess.run(cmd, check=True)
    return exe


def time_highs(model, repeat):
    dist = highsbox.highs_dist_dir()
    env = dict(os.environ)
    env["LD_LIBRARY_PATH"] = os.path.join(dist, "lib") + ":" + env.get("LD_LIBRARY_PATH", "")
    exe = os.path.join(dist, "bin", "highs")
    times = []
    for _ in range(repeat):
        t = time.perf_counter()
        subprocess.run([exe, "--time_limit", "0", "--presolve", "off", model], env=env,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        times.append(time.perf_counter() - t)
    return statistics.median(times)


def time_highspy(model, repeat):
    try:
        import highspy
    except ImportError:
        return None
    h = highspy.Highs()
    h.setOptionValue("output_flag", False)
    times = []
    for _ in range(repeat):
        t = time.perf_counter()
        h.readModel(model)
        times.append(time.perf_counter() - t)
    return statistics.median(times)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", required=True, help="a build folder with libkrvu/libkrvu.a")
    ap.add_argument("--nnz", type=int, default=1000000)
    ap.add_argument("--repeat", type=int, default=3)
    ap.add_argument("--work", default="/tmp/krvu_engine_files")
    args = ap.parse_args()
    os.makedirs(args.work, exist_ok=True)
    model = os.path.join(args.work, "model_%d.mps" % args.nnz)
    if not os.path.exists(model):
        make_model(model, args.nnz)
    print("model: %s (%.1f MB)" % (model, os.path.getsize(model) / 1e6))
    exe = build_ours(args.build, args.work)
    res = subprocess.run([exe, model, args.work, str(args.repeat)], check=True,
                         capture_output=True, text=True).stdout
    ours = {}
    print("%-22s %8s %8s" % ("case", "median", "best"))
    for line in res.splitlines():
        name, med, best = line.split()
        ours[name] = float(med)
        print("%-22s %8s %8s" % (name, med, best))
    highs = time_highs(model, args.repeat)
    print("%-22s %8.3f" % ("highs-exe-read", highs))
    hpy = time_highspy(model, args.repeat)
    if hpy is not None:
        print("%-22s %8.3f" % ("highspy-readModel", hpy))
    print("ratio HiGHS executable / ours (read-mps): %.2f" % (highs / ours["read-mps"]))
    if hpy is not None:
        print("ratio highspy readModel / ours (read-mps): %.2f" % (hpy / ours["read-mps"]))


if __name__ == "__main__":
    sys.exit(main())
