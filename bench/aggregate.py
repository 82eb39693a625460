"""Aggregate benchmark: korvu.Sum against a float loop of the same shape.

Run:  PYTHONPATH=build/<dir>/pkg python bench/aggregate.py [--sizes 10000,100000,1000000] [--repeat 3]

Cases, for each N (best of --repeat runs, one process):
  sum-gen    korvu.Sum(c[i] * x[i] for i in range(N))   vs  sum(c[i] * f[i] for i in range(N))
  sum-list   korvu.Sum(L) for a prepared list of N linear terms  vs  sum(F) over N floats
  sum-vars   korvu.Sum(x) over N variables               vs  sum(f) over N floats
  sum-mixed  korvu.Sum of variables, terms, squares and numbers in turn (the kind table at work)
The ratio column is korvu time / float time; the target for sum-gen is at most 4.
"""
import argparse
import gc
import random
import sys
import time

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
    ap.add_argument("--sizes", default="10000,100000,1000000")
    ap.add_argument("--repeat", type=int, default=3)
    args = ap.parse_args()
    sizes = [int(s) for s in args.sizes.split(",")]
    print(f"python {sys.version.split()[0]}")
    print(f"{'case':10} {'N':>9} {'korvu s':>10} {'float s':>10} {'ns/term':>8} {'ratio':>6}")
    for n in sizes:
        c = [random.random() for _ in range(n)]
        f = [random.random() for _ in range(n)]
        x = [korvu.var() for _ in range(n)]
        terms = [c[i] * x[i] for i in range(n)]
        floats = [c[i] * f[i] for i in range(n)]
        mixed = []
        for i in range(n):
            r = i % 4
            mixed.append(x[i] if r == 0 else c[i] * x[i] if r == 1 else x[i] * x[i] if r == 2 else c[i])
        cases = [
            ("sum-gen", lambda: korvu.Sum(c[i] * x[i] for i in range(n)), lambda: sum(c[i] * f[i] for i in range(n))),
            ("sum-list", lambda: korvu.Sum(terms), lambda: sum(floats)),
            ("sum-vars", lambda: korvu.Sum(x), lambda: sum(f)),
            ("sum-mixed", lambda: korvu.Sum(mixed), lambda: sum(floats)),
        ]
        for name, kfn, ffn in cases:
            tk = best_of(args.repeat, kfn)
            tf = best_of(args.repeat, ffn)
            print(f"{name:10} {n:>9} {tk:>10.4f} {tf:>10.4f} {1e9 * tk / n:>8.1f} {tk / tf:>6.2f}")
        del terms, mixed, x


if __name__ == "__main__":
    main()
