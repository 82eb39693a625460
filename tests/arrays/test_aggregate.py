"""Sum and Prod: collection forms, the in-place hot path of Sum, refusals, ownership."""
import gc
import random
import sys

import numpy as np
import pytest

import korvu

X = [korvu.var(name=f"x{i}") for i in range(6)]
x, y, z = X[0], X[1], X[2]
EXPR = type(x + y)


def value(obj, sol):
    return korvu.evaluate(obj, solution=sol)


def random_solution():
    return {v: random.uniform(-3, 3) for v in X}


def test_empty_and_numeric_results():
    for s in (korvu.Sum(), korvu.Sum([]), korvu.Sum(()), korvu.Sum({}), korvu.Sum(iter([])), korvu.Sum([None])):
        assert type(s) is EXPR and s.extractLinear() == ([], []) and value(s, {}) == 0.0
    five = korvu.Sum(5)
    assert type(five) is EXPR and value(five, {}) == 5.0 and five.extractLinear() == ([], [])
    assert type(korvu.Sum(1, 2.5)) is EXPR and value(korvu.Sum(1, 2.5), {}) == 3.5
    assert korvu.Prod() == 0.0 and korvu.Dot() == 0.0
    assert korvu.Prod(2, 3) == 6.0


def test_collection_forms_agree():
    L = [x, 2 * y, None, 3 * x * z, 4, y - z]
    sol = random_solution()
    expected = sol[x] + 2 * sol[y] + 3 * sol[x] * sol[z] + 4 + sol[y] - sol[z]
    forms = [
        korvu.Sum(L),
        korvu.Sum(*L),
        korvu.Sum(t for t in L),
        korvu.Sum(tuple(L)),
        korvu.Sum({i: t for i, t in enumerate(L)}),
        korvu.Sum({i: t for i, t in enumerate(L)}.values()),
        korvu.Sum(np.array(L, dtype=object)),
        korvu.Sum(np.array(L, dtype=object).reshape(2, 3)),
    ]
    for s in forms:
        assert value(s, sol) == pytest.approx(expected)
    assert str(forms[0]) == str(forms[1]) == str(forms[2])
    assert value(korvu.Sum({x, y}), sol) == pytest.approx(sol[x] + sol[y])


def test_numeric_arrays():
    with pytest.raises(korvu.ModelError, match="Incorrect objects used in Sum, Dot, Prod, or aggregate functions"):
        korvu.Sum(np.arange(3, dtype=np.int64))
    for dt in (np.int32, np.float64, bool):
        s = korvu.Sum(np.array([1, 2, 3], dtype=dt))
        assert type(s) is EXPR and value(s, {}) == (3.0 if dt is bool else 6.0)
    assert value(korvu.Sum(np.zeros((0, 3))), {}) == 0.0


def test_long_mixed_sum_matches_operators():
    # Every kind in turn, with the order changing so that the kind table reorders.
    random.seed(5)
    items, e = [], 0
    for i in range(3000):
        r = random.random()
        a, b = random.choice(X), random.choice(X)
        c = random.choice([1.0, -2.5, 0.5, 3])
        if r < 0.4:
            t = c * a
        elif r < 0.55:
            t = a
        elif r < 0.7:
            t = c * a * b
        elif r < 0.8:
            t = c
        elif r < 0.9:
            t = a - c * b + 1
        else:
            t = np.float64(c) if i % 2 else np.int32(3)
        items.append(t)
        e = e + t
    s = korvu.Sum(items)
    assert type(s) is EXPR
    for _ in range(3):
        sol = random_solution()
        assert value(s, sol) == pytest.approx(value(e, sol), rel=1e-9, abs=1e-9)
    # Entries that cancel exactly leave the maps.
    assert korvu.Sum([x, y, -1 * x, 2 * x * y, -2 * x * y]).extractLinear() == ([y], [1.0])
    assert korvu.Sum([x, 2 * x * y, -2 * x * y]).extractQuadratic() == ([], [], [])


def test_nonlinear_items_leave_and_rejoin_the_hot_path():
    n = x / y
    sol = {x: 2.0, y: 4.0, z: 1.5}
    s = korvu.Sum([x, 2 * y, n, z, 3, x * z, n])
    assert value(s, sol) == pytest.approx(2 + 8 + 0.5 + 1.5 + 3 + 3 + 0.5)
    assert str(n) == "(x0 / x1)"


def test_arguments_are_never_changed():
    e = x + 2 * y
    n = x / y
    nsum = n + z / y  # a nonlinear sum: edited in place when it is an accumulator
    before = (str(e), str(n), str(nsum))
    s1 = korvu.Sum([e, z, 3, x * y])
    s2 = korvu.Sum(e)
    s3 = korvu.Sum([0, nsum, x, 2 * y])
    s4 = korvu.Sum([nsum, x, nsum])
    s5 = korvu.Prod([e, 2])
    s6 = korvu.Sum([n, n])
    assert s2 is not e
    assert (str(e), str(n), str(nsum)) == before
    sol = {x: 1.0, y: 2.0, z: 4.0}
    assert value(s1, sol) == pytest.approx(5 + 4 + 3 + 2)
    assert value(s3, sol) == pytest.approx(0.5 + 2 + 1 + 4)
    assert value(s4, sol) == pytest.approx(2.5 + 1 + 2.5)
    assert value(s5, sol) == pytest.approx(10)
    assert value(s6, sol) == pytest.approx(1)
    # The result of one Sum fed to another is not edited either.
    s7 = korvu.Sum([s1, x])
    assert value(s1, sol) == pytest.approx(14) and value(s7, sol) == pytest.approx(15)


def test_products():
    p = korvu.Prod(x, y, 2)
    assert p.extractQuadratic() == ([x], [y], [2.0])
    sol = {x: 1.5, y: -2.0, z: 3.0}
    assert value(korvu.Prod(v for v in (x, y, z)), sol) == pytest.approx(1.5 * -2.0 * 3.0)
    assert value(korvu.Prod([x + 1, y, None]), sol) == pytest.approx(2.5 * -2.0)


def test_refusals():
    for bad in ("abc", object(), 3 + 4j):
        with pytest.raises(korvu.ModelError, match="Invalid object in Sum or Prod operators"):
            korvu.Sum(bad)
        with pytest.raises(korvu.ModelError, match="Invalid object in Sum or Prod operators"):
            korvu.Prod(bad)
    with pytest.raises(korvu.ModelError):
        korvu.Sum([x, "a"])
    with pytest.raises(korvu.ModelError):
        korvu.Sum(x <= 1, y)

    def failing():
        yield x
        yield 2 * y
        raise KeyError("from the generator")

    with pytest.raises(KeyError):
        korvu.Sum(failing())

    class BadLength:
        def __len__(self):
            return -1

        def __getitem__(self, i):
            raise IndexError

    with pytest.raises((korvu.ModelError, ValueError)):
        korvu.Sum(BadLength())


def test_reference_counts_and_memory_stay_flat():
    terms = [2.0 * v for v in X] + [X[0] * X[1], 3, None, X[2]]
    arr = np.array(terms, dtype=object)
    counts = [sys.getrefcount(v) for v in X]
    # Shared objects (cached numbers, singletons) have counts that others move.
    terms = [t for t in terms if t is not None and sys.getrefcount(t) < 10 ** 6]
    term_counts = [sys.getrefcount(t) for t in terms]

    def round_():
        korvu.Sum(terms)
        korvu.Sum(t for t in terms)
        korvu.Sum(arr)
        korvu.Prod(X[:3])
        korvu.Sum([X[0] / X[1], X[2], 1])
        try:
            korvu.Sum([X[0], "bad"])
        except korvu.ModelError:
            pass

    for _ in range(500):
        round_()
    gc.collect()
    blocks = sys.getallocatedblocks()
    for _ in range(5000):
        round_()
    gc.collect()
    assert [sys.getrefcount(v) for v in X] == counts
    assert [sys.getrefcount(t) for t in terms] == term_counts
    assert sys.getallocatedblocks() - blocks < 100
