"""NumPy reductions and accumulations over arrays of model objects.

A reduction reads each output cell as the next input, so an element loop that
held its results back until the end kept only the last element.
"""
import numpy as np
import pytest

import korvu

RNG = np.random.default_rng(7)


def arrays():
    """Arrays of variables, of expressions and of mixed object cells, with a point to evaluate at."""
    x = korvu.vars(3, 4)
    vals = RNG.uniform(-2, 2, size=(3, 4))
    sol = dict(zip(x.ravel(), vals.ravel()))
    expr = 2 * x + 1
    mixed = np.empty((3, 4), dtype=object)
    mixed[...] = x
    mixed[0, 0], mixed[1, 2], mixed[2, 3] = 3.5, 2 * x[1, 2], x[2, 3] * x[0, 1]
    mixed_vals = vals.copy()
    mixed_vals[0, 0], mixed_vals[1, 2], mixed_vals[2, 3] = 3.5, 2 * vals[1, 2], vals[2, 3] * vals[0, 1]
    return [("var", x, vals, sol), ("expr", expr, 2 * vals + 1, sol), ("mixed", mixed, mixed_vals, sol)]


def value(r, sol):
    return np.asarray(korvu.evaluate(r, solution=sol), dtype=float)


@pytest.mark.parametrize("kind,a,vals,sol", arrays(), ids=lambda v: v if isinstance(v, str) else "")
def test_reductions_keep_every_element(kind, a, vals, sol):
    for axis in (None, 0, 1, (0, 1)):
        assert value(np.sum(a, axis=axis), sol) == pytest.approx(np.sum(vals, axis=axis))
        assert value(np.add.reduce(a, axis=axis), sol) == pytest.approx(np.add.reduce(vals, axis=axis))
    assert value(a.sum(), sol) == pytest.approx(vals.sum())
    assert value(np.prod(a[:2, :2], axis=0), sol) == pytest.approx(np.prod(vals[:2, :2], axis=0))
    assert value(np.multiply.reduce(a[0, :2]), sol) == pytest.approx(vals[0, 0] * vals[0, 1])
    for axis in (0, 1):
        assert value(np.cumsum(a, axis=axis), sol) == pytest.approx(np.cumsum(vals, axis=axis))
        assert value(np.add.accumulate(a, axis=axis), sol) == pytest.approx(np.add.accumulate(vals, axis=axis))
    assert value(np.cumprod(a[0, :2]), sol) == pytest.approx(np.cumprod(vals[0, :2]))
    # NumPy's reduceat takes no data type with references but its own object type.
    obj = a.astype(object)
    assert value(np.add.reduceat(obj, [0, 2], axis=1), sol) == pytest.approx(np.add.reduceat(vals, [0, 2], axis=1))
    # The reductions leave their operand as it was.
    assert value(a, sol) == pytest.approx(vals)


def test_maximising_a_sum_uses_every_variable():
    x = korvu.vars(4, ub=1)
    p = korvu.problem(x, name="sum")
    p.setObjective(x.sum(), sense=korvu.maximize)
    p.solve()
    assert p.getObjVal() == pytest.approx(4.0)


def test_elementwise_in_place_stays_all_or_nothing():
    x = korvu.vars(3)
    e = x + 0
    before = [str(c) for c in e]
    bad = np.array([1.0, 2.0, None], dtype=object)
    with pytest.raises(korvu.ModelError):
        np.add(e, bad, out=e)
    assert [str(c) for c in e] == before
