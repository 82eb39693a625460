import pytest
import korvu


@pytest.fixture
def knapsack():
    """A small knapsack whose search needs several nodes (our search, no heuristics)."""
    w = [12, 7, 11, 8, 9, 6, 13, 5]
    v = [24, 13, 23, 15, 16, 11, 25, 9]
    x = [korvu.var(vartype=korvu.binary, name=f"x{i}") for i in range(len(w))]
    p = korvu.problem(x, korvu.Sum(wi * xi for wi, xi in zip(w, x)) <= 31.5, name="knap")
    p.setObjective(korvu.Sum(vi * xi for vi, xi in zip(v, x)), sense=korvu.maximize)
    p.controls.outputlog = 0
    p.controls.mipsolver = 1
    p.controls.heureffort = 0
    return p, x
