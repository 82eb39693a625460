"""Model-building benchmark: korvu against peer modelling libraries and a NumPy floor.

Run:  python bench/build_model.py [--models fac-lin,lqcp] [--sizes 25,50] [--peers korvu,floor,...]
                                  [--runs 3] [--quick] [--korvu-python PY] [--timeout 900]

Models (bench/build_model_models.py, one text for every library, written in the
scalar-loop style a user writes: one variable and one constraint at a time, with
operators; duplicate variables merge):
  fac-lin(n)  n = 25, 50   facility location, linear variant (a MIP)
  lqcp(N)     N = 500, 1000  boundary control of the heat equation (a QP)
Every (library, model, size) runs --runs times, each in a fresh process; imports
(and the peers' licence check or library load, and the lazy imports and one-time
set-up done by a first tiny model built before the timed one) are not timed, and
every child pauses 0.3 s after them, until the worker threads OpenBLAS starts with
NumPy have stopped spinning.  Phases:
  build     the model in the library's objects;
  transfer  the model handed to the solver (korvu, pyoptinterface, highspy,
            python-mip and gurobipy pass it as it is built: their transfer is in
            "build", and the column says so; python-mip holds rows back until the
            solve, and libkrvu keeps its own store and gives it to HiGHS when
            solving, so part of their transfer falls in "solve");
  solve     HiGHS with time limit 0 and presolve off (gurobipy: its own solver,
            not run above its free licence's size limit).
The floor (bench/build_model_floor.py) makes the same model as NumPy CSR arrays
(vectorised) and hands it to HiGHS in one passModel call.
Figures: medians of the runs in seconds (each phase, and the total, is a median of
its own), peak resident memory of the child
(getrusage maxrss) in MB, and the ratios korvu/library of build+transfer+solve.
"korvu-arrays" is korvu in its own array style (bench/build_model_arrays.py: korvu.vars
arrays, NumPy and scipy.sparse matrices with korvu.Dot, element-wise operators, whole
arrays of constraints in one addConstraint), the same rows and columns in the same order.
linopy is written in its own array style (see build_model_peers.py); PuLP,
python-mip and highspy's modelling layer have no quadratic objective for lqcp.
"pyloop" runs the model text with floats for variables and registers nothing:
the interpreter's own cost of the loop, the least any scalar-loop build costs.
"rows/cols/nnz" is checked against the model's size, where the library lets the
solver's copy be read.

The closing "targets" lines check korvu's aims in this run: the array style at most
linopy's total, 3x the floor's total and 1.3x its peak memory; the scalar style at most
3x pyloop and below every scalar-loop peer; the solve phase at most 1.2x the floor's
transfer+solve.
Peers run in the interpreter running this script (install them into a virtualenv
of their own: pip install -r bench/requirements.txt); korvu runs in --korvu-python (default: this interpreter, with
PYTHONPATH as set).
"""
import argparse
import json
import os
import resource
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

from build_model_models import DEFAULT_SIZES, QUICK_SIZES, expected_size, tiny_hessian_entries  # noqa: E402

# Pause between a child's untimed set-up and its timed run (see child()).
SETTLE_SECONDS = 0.3

ALL = ["pyloop", "korvu", "korvu-arrays", "floor", "pyoptinterface", "highspy", "linopy", "pyomo", "pulp", "mip", "cvxpy", "gurobipy"]


class Clock:
    def __init__(self):
        self.phases = {}
        self.t = None

    def start(self):
        self.t = time.perf_counter()

    def lap(self, name):
        t = time.perf_counter()
        self.phases[name] = self.phases.get(name, 0.0) + t - self.t
        self.t = t


def child(lib, model, n):
    import gc

    if lib == "floor":
        import build_model_floor as f
        imports, run = f.imports, f.run
    else:
        import build_model_peers as peers
        imports, run = peers.RUNNERS[lib]
    out = {"lib": lib}
    try:
        out["version"] = imports()
    except Exception as exc:
        out["error"] = f"import: {type(exc).__name__}: {exc}"
        print(json.dumps(out))
        return
    try:  # a small model first: lazy imports and one-time set-up are not timed either
        run(model, QUICK_SIZES[model][0], Clock())
    except Exception:
        pass
    out["rss_imports"] = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024
    # OpenBLAS, loaded with NumPy, keeps its worker threads spinning for about
    # 0.1 s after they start; on a small machine they would share the cores
    # with the first timed phase of every library that imports NumPy (and not
    # with pyloop's).  Every child waits for them alike.
    time.sleep(SETTLE_SECONDS)
    gc.collect()
    clock = Clock()
    try:
        size = run(model, n, clock)
    except Exception as exc:
        name = type(exc).__name__
        out["error"] = ("unsupported: " if name == "Unsupported" else f"{name}: ") + str(exc)[:300]
        print(json.dumps(out))
        return
    out["phases"] = clock.phases
    out["size"] = size
    out["rss_peak"] = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024
    print(json.dumps(out))


def run_once(python, lib, model, n, timeout, env):
    cmd = [python, os.path.abspath(__file__), "--child", lib, "--models", model, "--sizes", str(n)]
    try:
        proc = subprocess.run(cmd, capture_output=True, text=True, timeout=timeout, env=env)
    except subprocess.TimeoutExpired:
        return {"lib": lib, "error": f"timed out after {timeout:.0f} s"}
    lines = [ln for ln in proc.stdout.splitlines() if ln.startswith("{")]
    if not lines:
        err = (proc.stderr.strip().splitlines() or [f"exit {proc.returncode}"])[-1]
        return {"lib": lib, "error": f"crashed: {err[:300]}"}
    return json.loads(lines[-1])


def median_result(results):
    ok = [r for r in results if "phases" in r]
    if not ok:
        return results[-1]
    phases = {}
    for key in ok[0]["phases"]:
        phases[key] = statistics.median(r["phases"].get(key, 0.0) for r in ok)
    total = statistics.median(sum(r["phases"].values()) for r in ok)
    out = dict(ok[-1])
    out.update(phases=phases, total=total, runs=len(ok),
               rss_peak=statistics.median(r["rss_peak"] for r in ok),
               rss_imports=statistics.median(r["rss_imports"] for r in ok))
    return out


def fmt(t):
    return f"{'-':>9}" if t is None else f"{t:9.3f}"


def size_check(model, n, size):
    rows, cols, nnz, qnz = expected_size(model, n)
    got = [size.get("rows"), size.get("cols"), size.get("nnz"), size.get("qnz")]
    want = [rows, cols, nnz, qnz]
    tiny = tiny_hessian_entries(model, n)
    notes = []
    if got[3] is not None and tiny and got[3] == qnz - tiny:
        got[3] = qnz        # HiGHS itself dropped the entries below its small_matrix_value
        notes.append(f"HiGHS dropped {tiny} Hessian entries below 1e-9")
    if size.get("unused_dropped") and got[1] is not None and got[1] == cols - size["unused_dropped"]:
        got[1] = cols
        notes.append(f"{size['unused_dropped']} unused column(s) not passed")
    bad = [f"{k}={g} (want {w})" for k, g, w in zip(("rows", "cols", "nnz", "qnz"), got, want)
           if g is not None and g != w]
    if bad:
        return "MISMATCH " + " ".join(bad + notes)
    if notes:
        return "ok (" + "; ".join(notes) + ")"
    if not size:
        return "-"
    return "ok" + ("" if None not in got else " (partly readable)")


SCALAR_PEERS = ["pyoptinterface", "highspy", "pyomo", "pulp", "mip", "cvxpy", "gurobipy"]


def targets(table):
    """The figures korvu aims at, checked against this run."""
    def ok(r):
        return r is not None and "phases" in r

    def bt(r):
        return r["phases"].get("build", 0.0) + r["phases"].get("transfer", 0.0)

    out = []
    k, ka, fl, py, lp = (table.get(x) for x in ("korvu", "korvu-arrays", "floor", "pyloop", "linopy"))
    checks = []
    if ok(ka) and ok(lp):
        checks.append(("arrays total <= linopy total", ka["total"], lp["total"]))
    if ok(ka) and ok(fl):
        checks.append(("arrays total <= 3x floor total", ka["total"], 3 * fl["total"]))
        checks.append(("arrays peak memory <= 1.3x floor", ka["rss_peak"], 1.3 * fl["rss_peak"]))
    if ok(k) and ok(py):
        checks.append(("scalar build+transfer <= 3x pyloop", bt(k), 3 * py["phases"]["build"]))
    for peer in SCALAR_PEERS:
        r = table.get(peer)
        if ok(k) and ok(r):
            checks.append((f"scalar build+transfer < {peer}'s", bt(k), bt(r)))
    for name in ("korvu", "korvu-arrays"):
        r = table.get(name)
        if ok(r) and ok(fl) and "solve" in r["phases"]:
            floor_ts = fl["phases"]["transfer"] + fl["phases"]["solve"]
            checks.append((f"{name} solve <= 1.2x floor transfer+solve", r["phases"]["solve"], 1.2 * floor_ts))
    if checks:
        out.append(f"{'targets':15} measured / limit")
        for what, got, limit in checks:
            out.append(f"  {what:45} {got:8.3f} / {limit:8.3f}  {'met' if got <= limit else 'MISSED'}")
    return out


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--models", default="fac-lin,lqcp")
    ap.add_argument("--sizes", help="sizes for every model chosen (default: 25,50 and 500,1000)")
    ap.add_argument("--peers", default=",".join(ALL), help="libraries to run, korvu and floor included")
    ap.add_argument("--runs", type=int, default=3)
    ap.add_argument("--quick", action="store_true", help="small sizes and one run: a smoke run")
    ap.add_argument("--korvu-python", default=sys.executable)
    ap.add_argument("--timeout", type=float, default=900.0, help="seconds for one run of one library")
    ap.add_argument("--json", help="also write every result to this file")
    ap.add_argument("--child")
    args = ap.parse_args()
    models = args.models.split(",")
    if args.child:
        child(args.child, models[0], int(args.sizes))
        return
    libs = args.peers.split(",")
    runs = 1 if args.quick else args.runs
    print(f"# python {sys.version.split()[0]} (peers), korvu through {args.korvu_python}; "
          f"{os.cpu_count()} cores, load average {os.getloadavg()[0]:.1f}; {runs} run(s), median")
    print("# times in seconds; transfer 'in build' = the library passes the model to the solver as it is built")
    allres = []
    versions = {}
    for model in models:
        if args.sizes:
            sizes = [int(s) for s in args.sizes.split(",")]
        else:
            sizes = (QUICK_SIZES if args.quick else DEFAULT_SIZES)[model]
        for n in sizes:
            rows, cols, nnz, qnz = expected_size(model, n)
            print(f"\n## {model}({n}): {rows} rows, {cols} columns, {nnz} nonzeros"
                  + (f", {qnz} quadratic diagonal entries" if qnz else ""))
            print(f"{'library':15} {'build':>9} {'transfer':>9} {'solve':>9} {'total':>9} {'peak MB':>8}"
                  f"  size check")
            table = {}
            for lib in libs:
                python = args.korvu_python if lib.startswith("korvu") else sys.executable
                results = []
                for _ in range(runs):
                    r = run_once(python, lib, model, n, args.timeout, os.environ.copy())
                    results.append(r)
                    if "phases" not in r:
                        break
                r = median_result(results)
                r.update(model=model, n=n)
                allres.append(r)
                table[lib] = r
                if "version" in r:
                    versions[lib] = r["version"]
                if "phases" not in r:
                    print(f"{lib:15} skipped: {r['error']}")
                    continue
                ph = r["phases"]
                tr = ph.get("transfer")
                note = (r["size"] or {}).get("note")
                trs = "-" if lib == "pyloop" else "in build" if tr is None else fmt(tr)
                print(f"{lib:15} {fmt(ph.get('build'))} {trs:>9} "
                      f"{fmt(ph.get('solve'))} {fmt(r['total'])} {r['rss_peak']:8.0f}"
                      f"  {size_check(model, n, r['size'])}" + (f"; {note}" if note else ""))
            for kname in ("korvu", "korvu-arrays"):
                k = table.get(kname)
                if not k or "phases" not in k:
                    continue
                print(f"{'ratios':15} {kname} / library: totals, build+transfer, peak memory "
                      f"(below 1: korvu faster or smaller)")
                for lib, r in table.items():
                    if lib.startswith("korvu") or "phases" not in r:
                        continue
                    complete = "solve" in r["phases"]
                    kt = k["total"] if complete else k["phases"]["build"]
                    what = "" if complete else f" (build only: {kname} build+transfer / library build)"
                    if lib == "pyloop":
                        what = f" ({kname} build+transfer / the model text run with floats)"
                    bt = r["phases"].get("build", 0.0) + r["phases"].get("transfer", 0.0)
                    print(f"  {kname}/{lib:14} total {kt / r['total']:7.3f}   build+transfer "
                          f"{k['phases']['build'] / bt:7.3f}   memory {k['rss_peak'] / r['rss_peak']:5.2f}{what}")
            for line in targets(table):
                print(line)
    print("\n# versions: " + "; ".join(f"{v}" for v in versions.values()))
    if args.json:
        with open(args.json, "w") as f:
            json.dump(allres, f, indent=1)


if __name__ == "__main__":
    main()
