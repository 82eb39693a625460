"""Array benchmark: variable arrays, Dot and element-wise products, quadratic forms.

Run:  PYTHONPATH=build/<dir>/pkg python bench/arrays.py [--n 1000] [--repeat 3]

All figures come from one process, so ratios are measured in the same run:
  vars        korvu.vars(n, n, name="") against NumPy building an object array of
              n*n new Python floats (np.arange(n*n, dtype=float).astype(object)).
  dot-Ax      korvu.Dot(A, x) for a dense n x n float64 A and n variables, against
              A.dot(x) on a plain object array of the same variables (NumPy's
              object dot); korvu.Dot on the object array is shown as well.
  mul-AX      A * X for an n x n float64 A and an n x n array of variables (dtype
              npvar), against A * X on a plain object array of the same variables.
  quad-form   korvu.Dot(x, Q, x) for n variables and a sparse-as-dense n x n Q at
              three densities: time per nonzero should stay flat (linear growth).
Object-array baselines that would run longer than --cap seconds are measured on a
smaller size and scaled by the number of nonzeros (marked "~").
"""
import argparse
import gc
import sys
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


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--n", type=int, default=1000)
    ap.add_argument("--repeat", type=int, default=3)
    ap.add_argument("--cap", type=float, default=20.0)
    args = ap.parse_args()
    n, rep = args.n, args.repeat
    print(f"python {sys.version.split()[0]}, numpy {np.__version__}, n = {n}")
    rng = np.random.default_rng(0)

    # ---- variable arrays
    t_vars = best_of(rep, lambda: korvu.vars(n, n, name=""))
    t_float = best_of(rep, lambda: np.arange(n * n, dtype=float).astype(object))
    print(f"vars       korvu {t_vars:.4f} s  numpy object floats {t_float:.4f} s  ratio {t_vars / t_float:.2f}"
          f"  ({1e9 * t_vars / (n * n):.1f} ns/variable; target <= 1.5)")
    t_named = best_of(1, lambda: korvu.vars(n, n))
    print(f"vars named korvu {t_named:.4f} s  ({1e9 * t_named / (n * n):.1f} ns/variable, names x(i,j))")

    # ---- Dot(A, x)
    A = rng.normal(size=(n, n))
    x = korvu.vars(n, name="")
    xo = x.astype(object)
    t_dot = best_of(rep, lambda: korvu.Dot(A, x))
    nnz = n * n
    m = n
    while True:  # the object baseline grows quadratically per row: size it under the cap
        t0 = time.perf_counter()
        A[:m, :m].dot(xo[:m])
        t_small = time.perf_counter() - t0
        if t_small * (n / m) ** 3 <= args.cap or m <= 50:
            break
        m //= 2
    if m == n:
        t_obj = best_of(rep, lambda: A.dot(xo))
        mark = ""
    else:
        t_obj = t_small * (n * n) / (m * m)
        mark = "~"
    print(f"dot-Ax     korvu {t_dot:.4f} s ({1e9 * t_dot / nnz:.1f} ns/nonzero)  object {mark}{t_obj:.4f} s "
          f"({mark}{1e9 * t_obj / nnz:.1f} ns/nonzero{'' if m == n else f', measured at {m} x {m}'})"
          f"  ratio {t_dot / t_obj:.3f}")

    t_dot_o = best_of(rep, lambda: korvu.Dot(A, xo))
    print(f"dot-Ax     korvu.Dot on the object array {t_dot_o:.4f} s ({1e9 * t_dot_o / nnz:.1f} ns/nonzero): "
          f"the same path, object-like elements")

    # ---- A * X element-wise
    X = korvu.vars(n, n, name="")
    XO = X.astype(object)
    t_mul = best_of(rep, lambda: A * X)
    t_mulo = best_of(rep, lambda: A * XO)
    print(f"mul-AX     korvu {t_mul:.4f} s ({1e9 * t_mul / nnz:.1f} ns/element)  object {t_mulo:.4f} s "
          f"({1e9 * t_mulo / nnz:.1f} ns/element)  ratio {t_mul / t_mulo:.3f}")
    del X, XO

    # ---- quadratic forms: the dense scan of Q is a fixed cost, the rest grows with the nonzeros
    pts = []
    for density in (0.01, 0.05, 0.2):
        mask = rng.random((n, n)) < density
        Q = np.where(mask, rng.normal(size=(n, n)), 0.0)
        nz = int(mask.sum())
        t_q = best_of(rep, lambda: korvu.Dot(x, Q, x))
        pts.append((nz, t_q))
        print(f"quad-form  density {density:.2f}  nonzeros {nz:>8}  {t_q:.4f} s  {1e9 * t_q / nz:.1f} ns/nonzero")
    slope, icpt = np.polyfit([p[0] for p in pts], [p[1] for p in pts], 1)
    worst = max(abs(icpt + slope * z - t) / t for z, t in pts)
    print(f"quad-form  fit t = {icpt * 1e3:.1f} ms + {slope * 1e9:.1f} ns * nonzeros  (largest deviation {100 * worst:.0f}%)")


if __name__ == "__main__":
    main()
