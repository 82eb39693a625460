"""Where korvu's build time goes, step by step, on the models of bench/build_model.py.

Run:  PYTHONPATH=build/<dir>/pkg python bench/build_model_breakdown.py [--models fac-lin,lqcp]
                                                                       [--sizes 25] [--runs 3]

Runs the same model text with adapters that do a little more each time (median of
--runs runs, one process, garbage collected before each):
  python floats        the loop with floats for variables: the interpreter's own cost
  vars + expressions   korvu.var and the operators, nothing registered
  + addVariable        each variable registered as it is made
  + addConstraint      each constraint registered too: the whole build and transfer
  solve                the solve with time limit 0 and presolve off
Each line also gives the time per variable and per constraint over the step before.
"""
import argparse
import gc
import os
import statistics
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


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--models", default="fac-lin,lqcp")
    ap.add_argument("--sizes", help="one size for each model (default 25 and 500)")
    ap.add_argument("--runs", type=int, default=3)
    args = ap.parse_args()
    import korvu

    models = args.models.split(",")
    sizes = [int(s) for s in args.sizes.split(",")] if args.sizes else [25 if m == "fac-lin" else 500 for m in models]
    for model, n in zip(models, sizes):
        rows, cols, nnz, _ = expected_size(model, n)
        print(f"## {model}({n}): {rows} rows, {cols} columns, {nnz} nonzeros; median of {args.runs}")
        steps = [("python floats", lambda: FloatApi(), None),
                 ("vars + expressions", lambda p: KorvuStepApi(korvu, p, False, False), None),
                 ("+ addVariable", lambda p: KorvuStepApi(korvu, p, True, False), None),
                 ("+ addConstraint", lambda p: KorvuStepApi(korvu, p, True, True), "solve")]
        prev = None
        for name, make, then in steps:
            times, solves = [], []
            for _ in range(args.runs):
                p = korvu.problem()
                p.controls.outputlog = 0
                p.controls.timelimit = 0
                p.controls.presolve = 0
                api = make() if name == "python floats" else make(p)
                gc.collect()
                t = time.perf_counter()
                MODELS[model](n, api)
                times.append(time.perf_counter() - t)
                if then:
                    t = time.perf_counter()
                    p.solve()
                    solves.append(time.perf_counter() - t)
                del p, api
            t = statistics.median(times)
            extra = ""
            if prev is not None:
                d = t - prev
                per = cols if name == "+ addVariable" else rows if name == "+ addConstraint" else cols + rows
                unit = {"+ addVariable": "variable", "+ addConstraint": "constraint"}.get(name, "object")
                extra = f"   step {d:7.3f} s = {1e6 * d / per:6.2f} us per {unit}"
            print(f"  {name:20} {t:8.3f} s{extra}")
            if solves:
                print(f"  {'solve':20} {statistics.median(solves):8.3f} s")
            prev = t


if __name__ == "__main__":
    main()
