"""Wrapper benchmark: argument conversion, bulk queries and changes, per-call overhead.

Run:  PYTHONPATH=build/<dir>/pkg python bench/wrappers.py [--n 1000000] [--repeat 5]

Figures from one process (best of --repeat), ratios against baselines measured in
the same run:
  convert     chgobj(mindex, obj) of n entries with NumPy int32/float64 arrays and
              with Python lists: entries converted per second (both arrays count;
              the library's own work is included, so this is a lower bound).
  getlb/getub/getobj   n columns into a list, against highspy's getCols on the
              same model (numbers as NumPy arrays) when highspy is installed.
  chgobj      n objective changes, against highspy's changeColsCost.
  getcoef     one coefficient, per call (microseconds), against a Python method
              call of a trivial function as the floor.
"""
import argparse
import gc
import time

import numpy as np

import korvu


def best_of(repeat, fn):
    best = float("inf")
    for _ in range(repeat):
        gc.collect()
        t = time.perf_counter()
        fn()
        best = min(best, time.perf_counter() - t)
    return best


def model(n):
    p = korvu.problem(name="wide")
    p.controls.outputlog = 0
    # n columns, one row holding them all: built through the library in one call.
    p.loadproblem("wide", ["L"], [1.0], None, np.ones(n), np.arange(n + 1, dtype=np.int64), None,
                  np.zeros(n, dtype=np.int32), np.ones(n), np.zeros(n), np.full(n, 10.0))
    return p


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--n", type=int, default=1_000_000)
    ap.add_argument("--repeat", type=int, default=5)
    args = ap.parse_args()
    n, r = args.n, args.repeat
    p = model(n)
    idx32, vals = np.arange(n, dtype=np.int32), np.linspace(1, 2, n)
    idx_list, vals_list = idx32.tolist(), vals.tolist()

    t_np = best_of(r, lambda: p.chgobj(idx32, vals))
    t_list = best_of(r, lambda: p.chgobj(idx_list, vals_list))
    print(f"convert  numpy int32+float64: {2 * n / t_np / 1e6:8.1f} M entries/s   ({t_np * 1e3:.1f} ms)")
    print(f"convert  lists:               {2 * n / t_list / 1e6:8.1f} M entries/s   ({t_list * 1e3:.1f} ms)")

    out = []
    t_lb = best_of(r, lambda: p.getlb(out))
    t_ub = best_of(r, lambda: p.getub(out))
    t_obj = best_of(r, lambda: p.getobj(out, 0, n - 1))
    t_one = best_of(r, lambda: [p.getcoef(0, 0) for _ in range(100_000)]) / 100_000

    class Floor:
        def call(self, a, b):
            return 0.0
    f = Floor()
    t_floor = best_of(r, lambda: [f.call(0, 0) for _ in range(100_000)]) / 100_000

    try:
        import highspy
    except ImportError:
        highspy = None
    if highspy is not None:
        h = highspy.Highs()
        h.setOptionValue("output_flag", False)
        h.addVars(n, np.zeros(n), np.full(n, 10.0))
        h.changeColsCost(n, idx32, np.ones(n))
        t_hcols = best_of(r, lambda: h.getCols(n, idx32))
        t_hcost = best_of(r, lambda: h.changeColsCost(n, idx32, vals))
        print(f"getlb    {t_lb * 1e3:7.1f} ms   getub {t_ub * 1e3:7.1f} ms   getobj {t_obj * 1e3:7.1f} ms"
              f"   highspy getCols (costs and both bounds) {t_hcols * 1e3:7.1f} ms")
        print(f"         ratio getlb / highspy getCols {t_lb / t_hcols:5.2f}")
        print(f"chgobj   {t_np * 1e3:7.1f} ms   highspy changeColsCost {t_hcost * 1e3:7.1f} ms   "
              f"ratio {t_np / t_hcost:5.2f}")
    else:
        print(f"getlb    {t_lb * 1e3:7.1f} ms   getub {t_ub * 1e3:7.1f} ms   getobj {t_obj * 1e3:7.1f} ms"
              "   (highspy not installed: no baseline)")
    print(f"getcoef  {t_one * 1e6:6.3f} us per call   floor (a Python method call) {t_floor * 1e6:6.3f} us")


if __name__ == "__main__":
    main()
