"""evaluate(): solutions as dicts, lists and arrays, shapes, nonlinear nodes, refusals."""
import math
import sys

import numpy as np
import pytest

import korvu

x, y, z = (korvu.var(name=n) for n in "xyz")
SOL = {x: 1.0, y: 2.0, z: -0.5}


def ev(*args, **kw):
    kw.setdefault("solution", SOL)
    return korvu.evaluate(*args, **kw)


def test_values_of_each_kind():
    assert ev(x + 2 * y) == 5.0
    assert ev(x) == 1.0 and ev(3 * y) == 6.0 and ev(4 * y * z) == -4.0 and ev(7) == 7.0
    assert ev(np.float32(1.5)) == 1.5 and ev(np.int64(3)) == 3.0
    assert ev(x * x + 2 * x * y - z + 0.25) == pytest.approx(1 + 4 + 0.5 + 0.25)
    assert ev(korvu.Sum()) == 0.0
    assert ev(x + y, solution={x: np.float64(2), y: 3}) == 5.0


def test_shapes_follow_the_arguments():
    assert ev([x, [y]]) == [1.0, [2.0]]
    assert ev(x, y) == (1.0, 2.0)
    assert ev((x, [y, (z,)])) == (1.0, [2.0, (-0.5,)])
    assert ev({"a": x, 3: [y, z]}) == {"a": 1.0, 3: [2.0, -0.5]}
    assert ev(range(3)) == [0.0, 1.0, 2.0]
    a = np.array([[x, y], [2 * z, x + y]], dtype=object)
    r = ev(a)
    assert r.dtype == np.float64 and r.shape == (2, 2)
    assert r.tolist() == [[1.0, 2.0], [-1.0, 3.0]]
    assert ev(np.array([], dtype=object)).shape == (0,)
    r = ev(a.T)  # a non-contiguous view keeps its shape and order
    assert r.tolist() == [[1.0, -1.0], [2.0, 3.0]]
    assert ev([a, x])[0].tolist() == [[1.0, 2.0], [-1.0, 3.0]]


def test_nonlinear_nodes():
    sol = {x: 2.0, y: 4.0, z: 0.0}
    assert ev(x / y, solution=sol) == 0.5
    assert ev(x ** y, solution=sol) == 16.0
    assert ev(abs(x - y) + 1, solution=sol) == 3.0
    assert ev(x / y - z / y + y / x, solution=sol) == pytest.approx(2.5)
    assert ev(-(x / y), solution=sol) == -0.5
    assert ev((x / y) * (y / x) * 3, solution=sol) == pytest.approx(3.0)
    with pytest.raises(ZeroDivisionError, match="Division by zero in evaluation of expression containing fraction"):
        ev(x / z, solution=sol)
    # And and Or with the integrality tolerance.
    t = korvu.controls.miptol
    assert ev(x & y, solution={x: t, y: 1.0}) == 0.0
    assert ev(x & y, solution={x: 2 * t, y: 1.0}) == 1.0
    assert ev(x | y, solution={x: 0.0, y: 1 - t / 2}) == 1.0
    assert ev(x | y, solution={x: 0.0, y: 1 - 2 * t}) == 0.0


def test_functions_when_available():
    if not hasattr(korvu, "exp"):
        pytest.skip("the function library is not in this build")
    sol = {x: 0.5, y: 2.0, z: -1.0}
    assert ev(korvu.exp(x), solution=sol) == pytest.approx(math.exp(0.5))
    assert ev(korvu.log10(y), solution=sol) == pytest.approx(math.log10(2.0))
    assert ev(korvu.sign(z), solution=sol) == -1.0
    assert ev(korvu.max(x, y, z), solution=sol) == 2.0
    assert ev(korvu.min(x, y, z), solution=sol) == -1.0
    assert ev(korvu.user(lambda a, b: (a * b, 0), x, y), solution=sol) == 1.0


def test_refusals():
    with pytest.raises(korvu.InterfaceError, match='requires at least of the two arguments "solution" and "problem"'):
        korvu.evaluate(x)
    with pytest.raises(korvu.InterfaceError, match='Argument "problem" is necessary when passing a list'):
        korvu.evaluate(x, solution=[1.0, 2.0])
    with pytest.raises(korvu.InterfaceError, match='Argument "problem" is necessary'):
        korvu.evaluate(x, solution=np.array([1.0]))
    with pytest.raises(korvu.InterfaceError, match='Argument "solution" must be a dictionary, a list, or a one-dim'):
        korvu.evaluate(x, solution=3.0)
    with pytest.raises(korvu.InterfaceError, match='Argument "problem" must be an korvu.problem object'):
        korvu.evaluate(x, problem=3, solution=SOL)
    with pytest.raises(korvu.InterfaceError, match="NumPy arrays must be of dtype korvu.npvar"):
        ev(np.array([1.0, 2.0]))
    with pytest.raises(korvu.ModelError, match="Evaluation of object of incorrect type"):
        ev([x, "name"])
    with pytest.raises(korvu.ModelError, match="Evaluation of object of incorrect type"):
        ev(x <= 2)
    with pytest.raises(korvu.ModelError, match="Evaluation of object of incorrect type"):
        ev(np.array([x, None], dtype=object))
    w = korvu.var(name="w")
    with pytest.raises(korvu.ModelError, match="w"):
        ev(x + w)
    with pytest.raises(TypeError):
        ev(x, solution={x: "abc"})
    with pytest.raises(korvu.InterfaceError):
        korvu.evaluate(solution=SOL)
    nested = x
    for _ in range(100):
        nested = [nested]
    with pytest.raises(RuntimeError, match="Evaluation of expression exceeded recursion depth limit"):
        ev(nested)
    deep = x / y
    for _ in range(100):
        deep = deep / y
    with pytest.raises(RuntimeError):
        ev(deep)


def test_problem_solutions():
    p = korvu.problem()
    if not hasattr(p, "addVariable"):
        pytest.skip("problem registration is not in this build")
    a, b, c = korvu.var(name="a"), korvu.var(name="b"), korvu.var(name="c")
    p.addVariable(a, b, c)
    e = a + 2 * b + 3 * b * c
    assert korvu.evaluate(e, problem=p, solution=[1.0, 2.0, 3.0]) == 23.0
    assert korvu.evaluate([e, c], problem=p, solution=np.array([1.0, 2.0, 3.0])) == [23.0, 3.0]
    assert korvu.evaluate(e, problem=p, solution={a: 1, b: 2, c: 3}) == 23.0
    with pytest.raises(korvu.ModelError, match="Mismatched lengths"):
        korvu.evaluate(e, problem=p, solution=[1.0, 2.0])
    with pytest.raises(korvu.ModelError, match="Object does not belong to problem"):
        korvu.evaluate(korvu.var() + a, problem=p, solution=[1.0, 2.0, 3.0])
    if not hasattr(p, "solve"):
        return
    bodies = [a + b, b - c, a + 2 * c, 2 * a - b]
    rhs = [2.0, 1.0, 3.0, 4.0]
    cons = [bodies[0] >= 2, bodies[1] <= 1, bodies[2] == 3, bodies[3] <= 4]
    p.addConstraint(cons)
    p.setObjective(2 * a + b + c * c, sense=korvu.minimize)
    p.solve()
    assert korvu.evaluate(2 * a + b + c * c, problem=p) == pytest.approx(p.getObjVal(), abs=1e-6)
    vals = p.getSolution([a, b, c])
    assert korvu.evaluate([a, b, c], problem=p) == pytest.approx(vals)
    # Row activities agree with the slacks: slack = right-hand side - activity.
    activities = korvu.evaluate(bodies, problem=p)
    assert [r - act for r, act in zip(rhs, activities)] == pytest.approx(p.getSlack(cons), abs=1e-6)
    assert korvu.evaluate(bodies, problem=p, solution=vals) == pytest.approx(activities)


def test_reference_counts_stay_flat():
    e = x + 2 * y + x * z
    a = np.array([x, e], dtype=object)
    sol = dict(SOL)
    counts = [sys.getrefcount(o) for o in (x, y, z, e, a)]
    for _ in range(3000):
        ev([e, (x, {"k": e}), a], solution=sol)
        try:
            ev([e, "bad"], solution=sol)
        except korvu.ModelError:
            pass
    assert [sys.getrefcount(o) for o in (x, y, z, e, a)] == counts
