"""Solving nonlinear models built with the function library, user functions, start
points, deletions and the solution queries."""
import math

import numpy as np
import pytest

import korvu


def quiet(p):
    p.controls.outputlog = 0
    return p


def box(*names, lb=-5.0, ub=5.0):
    return [korvu.var(name=n, lb=lb, ub=ub) for n in names]


def test_closed_form_optima_of_the_functions():
    x, y = box("x", "y")
    cases = [
        # (objective, constraints, optimum of x, y)
        (korvu.exp(x) - 2 * x + (y - 1) ** 2, [], (math.log(2), 1.0)),
        (-korvu.log(x + 1) - korvu.log(y + 1), [x + y <= 1], (0.5, 0.5)),
        (-korvu.sqrt(x + 3) - y, [x <= 1, korvu.abs(y - 1) <= 1], (1.0, 2.0)),
        (-korvu.sin(x) + (y + 1) ** 2, [x <= 3], (math.pi / 2, -1.0)),
        (-x - 2 * y, [korvu.max(x, -x) + y <= 2, y <= 1], (1.0, 1.0)),
    ]
    for objective, constraints, expected in cases:
        p = quiet(korvu.problem(x, y))
        p.addConstraint(*constraints)
        p.setObjective(objective)
        p.solve()
        assert p.getProbStatusString() in ("nlp_solution", "nlp_globally_optimal"), str(objective)
        assert p.getSolution(x, y) == pytest.approx(expected, abs=1e-5), str(objective)
        assert p.getObjVal() == pytest.approx(korvu.evaluate(objective, problem=p), abs=1e-8)


def test_nonlinear_rows_solution_slacks_and_duals():
    x, y = box("x", "y")
    disk = korvu.constraint(korvu.exp(x) + korvu.exp(y) <= 2, name="expsum")
    lin = korvu.constraint(x - y >= -10, name="lin")
    p = quiet(korvu.problem(x, y, disk, lin))
    p.setObjective(x + y, sense=korvu.maximize)
    p.solve()
    assert p.getProbStatus() == 1
    assert p.getSolution() == pytest.approx([0.0, 0.0], abs=1e-6)
    assert p.getObjVal() == pytest.approx(0.0, abs=1e-6)
    assert p.getSlack(disk) == pytest.approx(0.0, abs=1e-6)
    assert p.getSlack("lin") == pytest.approx(-10.0, abs=1e-6)
    # Stationarity: grad(x + y) = dual * grad(exp(x) + exp(y)) = dual * (1, 1).
    assert p.getDual(disk) == pytest.approx(1.0, abs=1e-5)
    assert len(p.getDual()) == 2


def test_objective_pair_is_not_in_the_solution_vectors():
    x, y = box("x", "y")
    p = quiet(korvu.problem(x, y))
    c = korvu.constraint(x + y <= 1)
    p.addConstraint(c)
    p.setObjective(korvu.log(x + 1) + korvu.log(y + 1), sense=korvu.maximize)
    p.solve()
    assert p.getSolution() == pytest.approx([0.5, 0.5], abs=1e-6)
    assert len(p.getSlack()) == 1 and len(p.getDual()) == 1 and len(p.getRCost()) == 2
    assert p.getObjVal() == pytest.approx(2 * math.log(1.5), abs=1e-8)
    assert p.getDual(c) == pytest.approx(1 / 1.5, abs=1e-5)


def test_sums_of_formulas_on_one_column_are_all_kept():
    # Formulas multiplying one column (x sin y + x cos y) and several standing alone.
    x, y = box("x", "y", lb=0.1, ub=2.0)
    p = quiet(korvu.problem(x, y))
    obj = x * korvu.sin(y) + x * korvu.cos(y) - korvu.exp(-y) - korvu.exp(-x)
    p.setObjective(obj, sense=korvu.maximize)
    p.solve()
    best = max(korvu.evaluate(obj, solution={x: a, y: b})
               for a in np.linspace(0.1, 2, 41) for b in np.linspace(0.1, 2, 41))
    assert p.getObjVal() == pytest.approx(best, abs=1e-3)
    assert p.getObjVal() >= best - 1e-9


def test_pwl_objective():
    x, = box("x", lb=0, ub=10)
    p = quiet(korvu.problem(x))
    # A convex piecewise linear function with its minimum at the breakpoint 4.
    p.setObjective(korvu.pwl({(0, 4): 8 - 2 * x, (4, 10): x - 4}))
    p.solve()
    assert p.getSolution(x) == pytest.approx(4.0, abs=1e-5)


def test_user_functions_with_and_without_derivatives():
    x, y = box("x", "y")
    seen = []

    def f(a, b):
        seen.append((a, b))
        return (a - 1) ** 2 + (b + 2) ** 2 + math.exp(a)

    def g(a, b):
        return (a - 1) ** 2 + (b + 2) ** 2 + math.exp(a), 2 * (a - 1) + math.exp(a), 2 * (b + 2)

    # (a-1)*2 + e^a = 0 has the root a* below.
    a_star = 0.31492
    for node in (korvu.user(f, x, y), korvu.user(g, x, y, derivatives=1)):
        p = quiet(korvu.problem(x, y))
        p.setObjective(node)
        p.solve()
        assert p.getSolution(x, y) == pytest.approx((a_star, -2.0), abs=1e-4)
    assert seen and all(isinstance(a, float) for a, _ in seen)


def test_user_function_in_a_row_and_the_same_function_twice():
    x, y = box("x", "y")

    def sq(a):
        return a * a

    p = quiet(korvu.problem(x, y))
    p.addConstraint(korvu.user(sq, x) + korvu.user(sq, y) <= 2)
    p.setObjective(x + y, sense=korvu.maximize)
    p.solve()
    assert p.getSolution() == pytest.approx([1.0, 1.0], abs=1e-5)
    # A tuple result without derivatives gives its first element as the value.
    q = quiet(korvu.problem(x))
    q.setObjective(korvu.user(lambda a: ((a - 3) ** 2, "ignored"), x))
    q.solve()
    assert q.getSolution(x) == pytest.approx(3.0, abs=1e-5)


def test_an_exception_in_a_user_function_stops_the_solve():
    x, y = box("x", "y")
    calls = []

    def bad(a, b):
        calls.append(a)
        if len(calls) > 3:
            raise ArithmeticError("no value here")
        return a * a + b * b

    p = quiet(korvu.problem(x, y))
    p.setObjective(korvu.user(bad, x, y) + x)
    with pytest.raises(ArithmeticError, match="no value here"):
        p.solve()
    # A function returning something that is not a number fails the same way.
    q = quiet(korvu.problem(x))
    q.setObjective(korvu.user(lambda a: "text", x))
    with pytest.raises(TypeError):
        q.solve()
    # Nothing stays pending: a later good solve of the first problem works.
    calls.clear()
    p.setObjective((x - 1) ** 2 + korvu.exp(y))
    p.solve()
    assert p.getSolution(x) == pytest.approx(1.0, abs=1e-5)


def test_chgvar_and_getvar():
    x, y = box("x", "y")
    p = quiet(korvu.problem(x, y))
    # Minima of cos at -pi and pi: the start point picks one.
    p.setObjective(korvu.cos(x) + korvu.exp(y) - y)
    for start in (-2.0, 2.0):
        p.chgvar(x, initvalue=start)
        assert p.getvar(x)[5] == start
        p.solve()
        assert p.getSolution(x) == pytest.approx(math.copysign(math.pi, start), abs=1e-3)
    before = p.getvar(y)
    assert len(before) == 15
    p.chgvar(y, stepbound=2.0)
    after = p.getvar(y)
    assert after[2] == 2.0
    np.testing.assert_equal(after[:2] + after[3:], before[:2] + before[3:])  # initvalue is NaN
    p.chgvar(1, penalty=0.5, history=0, vartype=2)
    assert p.getvar("y")[3] == 0.5 and p.getvar(y)[10] == 2
    for bad in ({"initvalue": "one"}, {"tolset": 1.5}, {"damp": [1.0]}):
        with pytest.raises(korvu.InterfaceError, match="Incorrect arguments to chgvar"):
            p.chgvar(x, **bad)
    with pytest.raises(korvu.InterfaceError, match="Incorrect arguments to chgvar"):
        p.chgvar()
    with pytest.raises(Exception):
        p.getvar(99)


def test_deleting_rows_and_columns_renumbers_the_nonlinear_part():
    x, y, z = box("x", "y", "z")
    c0 = korvu.constraint(x + y + z <= 10, name="c0")
    c1 = korvu.constraint(korvu.exp(y) <= 1, name="c1")  # y <= 0
    c2 = korvu.constraint(korvu.sin(z) + z <= 0.5, name="c2")
    p = quiet(korvu.problem(x, y, z, c0, c1, c2))
    p.setObjective(-(y + z) + (x - 1) ** 2)
    p.solve()
    zs = p.getSolution(z)
    assert math.sin(zs) + zs == pytest.approx(0.5, abs=1e-6)
    assert p.getSolution(x, y) == pytest.approx((1.0, 0.0), abs=1e-5)
    # x goes: the formula naming it goes with it; y and z move down a column.
    p.delVariable(x)
    p.delConstraint(c0)
    p.solve()
    assert p.getSolution() == pytest.approx([0.0, zs], abs=1e-5)
    assert p.getObjVal() == pytest.approx(1 - zs, abs=1e-5)  # the constant of (x - 1)**2 stays
    assert len(p.getSlack()) == 2
    # c1 goes: its exp(y) must not move onto c2.
    p.delConstraint(c1)
    p.solve()
    assert p.getSolution() == pytest.approx([5.0, zs], abs=1e-5)
    assert p.getSlack(c2) == pytest.approx(0.0, abs=1e-6)


def test_outputlog_zero_silences_the_nonlinear_log(capfd):
    x, = box("x")
    p = korvu.problem(x)
    p.setObjective(korvu.exp(x) - 2 * x)
    p.solve()
    assert "Nonlinear solve" in capfd.readouterr().out
    p.controls.outputlog = 0
    p.solve()
    assert capfd.readouterr().out == ""
    assert p.getSolution(x) == pytest.approx(math.log(2), abs=1e-6)
