"""Cost of an empty Python optnode callback per call, for models of 10^3 and
10^5 columns (the view borrows the problem's maps, so the cost should not grow
with the model).

Run: PYTHONPATH=build/dev/pkg python3 bench/callbacks.py
"""
import time

import korvu


def model(n):
    x = korvu.vars(n, vartype=korvu.binary, name="")
    p = korvu.problem()
    p.addVariable(x)
    # A handful of knapsack rows over the first columns make the search branch;
    # the rest of the columns only make the model big.
    k = 24
    w = [7 + (3 * i) % 11 for i in range(k)]
    p.addConstraint(korvu.Sum(w[i] * x[i] for i in range(k)) <= sum(w) / 2 + 0.5)
    p.setObjective(korvu.Sum((w[i] + i % 3) * x[i] for i in range(k)), sense=korvu.maximize)
    p.controls.outputlog = 0
    p.controls.mipsolver = 1
    p.controls.heureffort = 0
    p.controls.nodelimit = 400
    return p


def timed_solve(n, copies):
    """Seconds of a solve with the empty callback registered `copies` times,
    and the number of calls it made."""
    calls = [0]

    def empty(prob, data):
        calls[0] += 1

    p = model(n)
    for _ in range(copies):
        p.addcboptnode(empty)
    t0 = time.perf_counter()
    p.solve()
    return time.perf_counter() - t0, calls[0]


def per_call(n, copies=20000, repeats=3):
    # Many registrations of one empty callable make the calls outweigh the
    # node solves, which are the same in both runs; the fastest of a few
    # runs of each keeps the machine's noise out.
    base = min(timed_solve(n, 0)[0] for _ in range(repeats))
    runs = [timed_solve(n, copies) for _ in range(repeats)]
    with_cb, calls = min(runs)
    return (with_cb - base) / max(calls, 1) * 1e6, calls


if __name__ == "__main__":
    for n in (10**3, 10**5):
        us, calls = per_call(n)
        print(f"columns {n:>7}: {calls} optnode calls, {us:.2f} us per call")
