"""Mixed-integer nonlinear benchmark: integer points in a ball with an exponential
row and a separable quadratic objective, solved by the library's search with
nonlinear node relaxations and checked against full enumeration.

Run:  PYTHONPATH=build/<dir>/pkg python bench/minlp.py [--n 8] [--range 3] [--seeds 3]

Each line reports nodes, nonlinear solves, seconds and whether the objective equals
the enumerated optimum (within 1e-6); enumeration visits (2 range + 1)^n points.
"""
import argparse
import itertools
import math
import random
import time

import korvu


def instance(n, r, seed):
    rnd = random.Random(seed)
    c = [rnd.uniform(-r + 1, r - 1) for _ in range(n)]
    radius2 = rnd.uniform(0.3, 0.6) * n * r * r / 2
    expcap = n + rnd.uniform(2, 6)
    return c, radius2, expcap


def solve(n, r, c, radius2, expcap):
    x = [korvu.var(name=f"x{i}", lb=-r, ub=r, vartype=korvu.integer) for i in range(n)]
    p = korvu.problem(x)
    p.controls.outputlog = 0
    p.addConstraint(korvu.Sum(xi * xi for xi in x) <= radius2)
    p.addConstraint(korvu.Sum(korvu.exp(0.3 * xi) for xi in x) <= expcap)
    p.setObjective(korvu.Sum((xi - ci) ** 2 for xi, ci in zip(x, c)))
    t = time.perf_counter()
    p.solve()
    return p, time.perf_counter() - t


def enumerate_best(n, r, c, radius2, expcap):
    best = math.inf
    for pt in itertools.product(range(-r, r + 1), repeat=n):
        if sum(v * v for v in pt) <= radius2 and sum(math.exp(0.3 * v) for v in pt) <= expcap:
            best = min(best, sum((v - ci) ** 2 for v, ci in zip(pt, c)))
    return best


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--n", type=int, default=8)
    ap.add_argument("--range", type=int, default=3)
    ap.add_argument("--seeds", type=int, default=3)
    a = ap.parse_args()
    for seed in range(a.seeds):
        c, radius2, expcap = instance(a.n, a.range, seed)
        p, secs = solve(a.n, a.range, c, radius2, expcap)
        best = enumerate_best(a.n, a.range, c, radius2, expcap)
        ok = abs(p.getObjVal() - best) <= 1e-6 * (1 + abs(best))
        print(f"seed {seed}: nodes {p.attributes.nodes:5d}, nonlinear solves {p.attributes.kslp_iterations:5d}, "
              f"{secs:6.2f} s, objective {p.getObjVal():.8g}, enumerated {best:.8g}, {'ok' if ok else 'WRONG'}")


if __name__ == "__main__":
    main()
