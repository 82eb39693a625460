"""Where korvu's build time goes, step by step, on the models of bench/build_model.py.

Run:  PYTHONPATH=build/<dir>/pkg python bench/build_model_breakdown.py [--models fac-lin,lqcp]
                                                                       [--sizes 25] [--runs 3]

Runs the same model text with adapters that do a little more each time (median of
--runs runs, each in a fresh process):
  python floats        the loop with floats for variables: the interpreter's own cost
  vars + expressions   korvu.var and the operators, nothing registered
  + addVariable        each variable registered as it is made
  + addConstraint      each constraint registered too: the whole build and transfer
  solve                the solve with time limit 0 and presolve off
Each line also gives the time per variable and per constraint over the step before.
"""
import argparse
import gc
import json
import os
import statistics
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from build_model_models import MODELS, expected_size  # noqa: E402
from build_model_peers import FloatApi, KorvuApi  # noqa: E402


class KorvuStepApi(KorvuApi):
    def __init__(self, korvu, p, add_vars, add_cons):
        super().__init__(korvu, p)
        if not add_vars:
            self._add = lambda v: None
        if not add_cons:
            self.con = lambda c: None
        self.add_cons = add_cons

    def minimize(self, e):
        if self.add_cons:
            self.p.setObjective(e)


STEPS = ["python floats", "vars + expressions", "+ addVariable", "+ addConstraint"]


def child(model, n, step):
    import korvu

    p = korvu.problem()
    p.controls.outputlog = 0
    p.controls.timelimit = 0
    p.controls.presolve = 0
    k = STEPS.index(step)
    api = FloatApi() if k == 0 else KorvuStepApi(korvu, p, k >= 2, k >= 3)
    gc.collect()
    t = time.perf_counter()
    MODELS[model](n, api)
    out = {"build": time.perf_counter() - t}
    if k == 3:
        t = time.perf_counter()
        p.solve()
        out["solve"] = time.perf_counter() - t
    print(json.dumps(out))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--models", default="fac-lin,lqcp")
    ap.add_argument("--sizes", help="one size for each model (default 25 and 500)")
    ap.add_argument("--runs", type=int, default=3)
    ap.add_argument("--child", help=argparse.SUPPRESS)
    args = ap.parse_args()
    models = args.models.split(",")
    sizes = [int(s) for s in args.sizes.split(",")] if args.sizes else [25 if m == "fac-lin" else 500 for m in models]
    if args.child:
        child(models[0], sizes[0], args.child)
        return
    for model, n in zip(models, sizes):
        rows, cols, nnz, _ = expected_size(model, n)
        print(f"## {model}({n}): {rows} rows, {cols} columns, {nnz} nonzeros; each step in fresh processes, "
              f"median of {args.runs}")
        prev = None
        for step in STEPS:
            res = []
            for _ in range(args.runs):
                proc = subprocess.run([sys.executable, os.path.abspath(__file__), "--models", model, "--sizes",
                                       str(n), "--child", step], capture_output=True, text=True)
                if proc.returncode != 0:
                    print(f"  {step}: failed: {(proc.stderr.strip().splitlines() or ['?'])[-1]}")
                    return
                res.append(json.loads(proc.stdout.strip().splitlines()[-1]))
            t = statistics.median(r["build"] for r in res)
            extra = ""
            if prev is not None:
                d = t - prev
                per = cols if step == "+ addVariable" else rows if step == "+ addConstraint" else cols + rows
                unit = {"+ addVariable": "variable", "+ addConstraint": "constraint"}.get(step, "object")
                extra = f"   step {d:7.3f} s = {1e6 * d / per:6.2f} us per {unit}"
            print(f"  {step:20} {t:8.3f} s{extra}")
            if "solve" in res[0]:
                print(f"  {'solve':20} {statistics.median(r['solve'] for r in res):8.3f} s")
            prev = t


if __name__ == "__main__":
    main()
