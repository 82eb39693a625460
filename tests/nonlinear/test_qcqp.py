"""Quadratic rows go to the nonlinear solver: random convex problems with a known
optimum, and the statuses of infeasible and unbounded models."""
import numpy as np
import pytest

import korvu


def quiet(p):
    p.controls.outputlog = 0
    return p


def test_random_convex_qcqps_reach_the_known_optimum():
    # min c'x  s.t.  (x - a_i)' Q_i (x - a_i) <= r_i, with the optimum set up
    # beforehand: x* on the boundary of row 0, c = -grad of row 0 at x*, the
    # other rows loose at x*.  Convexity makes x* the optimum.
    rng = np.random.default_rng(7)
    for trial in range(6):
        n = 3 + trial % 3
        xs = rng.uniform(-1, 1, n)
        rows = []
        for i in range(3):
            m = rng.standard_normal((n, n))
            q = m @ m.T + 0.5 * np.eye(n)
            a = xs + rng.uniform(-0.5, 0.5, n)
            d = xs - a
            r = float(d @ q @ d) * (1.0 if i == 0 else 2.0) + (0.0 if i == 0 else 0.1)
            rows.append((q, a, r))
        q0, a0, _ = rows[0]
        c = -2 * q0 @ (xs - a0)
        x = [korvu.var(lb=-10, ub=10, name="x%d" % j) for j in range(n)]
        p = quiet(korvu.problem(x))
        for q, a, r in rows:
            dx = [x[j] - a[j] for j in range(n)]
            p.addConstraint(korvu.Sum(q[i, j] * dx[i] * dx[j] for i in range(n) for j in range(n))
                            <= r)
        p.setObjective(korvu.Sum(c[j] * x[j] for j in range(n)))
        p.solve()
        assert p.getProbStatusString() == "nlp_globally_optimal"
        assert p.getSolution(x) == pytest.approx(list(xs), abs=1e-4)
        assert p.getObjVal() == pytest.approx(float(c @ xs), abs=1e-6 * (1 + abs(c @ xs)))


def test_infeasible_quadratic_rows_are_not_reported_optimal():
    x, y = korvu.var(name="x"), korvu.var(name="y")
    p = quiet(korvu.problem(x, y))
    p.addConstraint(x ** 2 + y ** 2 <= 1, x + y >= 3)
    p.setObjective(x + y)
    p.solve()
    assert p.attributes.kslp_nlpstatus in (3, 4)


def test_unbounded_nonlinear_objective():
    x = korvu.var(name="x", lb=1)
    y = korvu.var(name="y", lb=0, ub=1)
    p = quiet(korvu.problem(x, y))
    p.addConstraint(y * x >= -1)
    p.setObjective(-x * x * x)
    p.solve()
    assert p.attributes.kslp_nlpstatus == 5


def test_deleting_rows_keeps_the_quadratic_rows_solvable():
    # A linear row and a disc; once the linear row is gone only the quadratic
    # row is left, and the problem must still go to the nonlinear solver.
    x, y = korvu.var(lb=-5, name="x"), korvu.var(lb=-5, name="y")
    lin = x + y <= 10
    disc = x * x + y * y <= 2
    p = quiet(korvu.problem(x, y, lin, disc))
    p.setObjective(-x - y)
    p.delConstraint(lin)
    p.solve()
    assert p.attributes.kslp_nlpstatus in (1, 2)
    assert p.getSolution([x, y]) == pytest.approx([1.0, 1.0], abs=1e-5)


@pytest.mark.parametrize("build, status", [
    # x*y >= 1 on the positive quadrant is a convex set, but its matrix is
    # indefinite: the solver cannot tell, and says the optimum is local.
    (lambda x, y: (x * y >= 1, x + y), "nlp_solution"),
    (lambda x, y: (x ** 2 + y ** 2 >= 1, x + y), "nlp_solution"),
    # A quadratic row with two limits is not a convex set.
    (lambda x, y: (korvu.constraint(body=x ** 2 + y ** 2, lb=1, ub=4), x + 2 * y), "nlp_solution"),
    (lambda x, y: (x ** 2 + 2 * y ** 2 <= 4, x + y), "nlp_globally_optimal"),
    (lambda x, y: (-x ** 2 - y ** 2 >= -4, (x - 3) ** 2 + y ** 2), "nlp_globally_optimal"),
])
def test_convex_quadratic_problems_are_reported_globally_optimal(build, status):
    x, y = korvu.var(lb=0.1, ub=10, name="x"), korvu.var(lb=0.1, ub=10, name="y")
    row, obj = build(x, y)
    p = quiet(korvu.problem(x, y, row))
    p.setObjective(obj)
    p.solve()
    assert p.getProbStatusString() == status
