"""Textbook models built with the Python API, solved, and checked against known
optima, an independent solver, or their optimality conditions."""
import itertools
import os
import signal
import subprocess
import sys
import textwrap

import numpy as np
import pytest

import korvu

scipy_optimize = pytest.importorskip("scipy.optimize")


def quiet(p):
    p.controls.outputlog = 0
    return p


def test_transportation_lp_duals_satisfy_complementary_slackness():
    supply = [20.0, 30.0, 25.0]
    demand = [10.0, 25.0, 20.0, 20.0]
    cost = np.array([[8, 6, 10, 9], [9, 12, 13, 7], [14, 9, 16, 5]], dtype=float)
    x = [[korvu.var(name=f"x{i}{j}") for j in range(4)] for i in range(3)]
    p = quiet(korvu.problem(x, name="transport"))
    rows_s = [korvu.Sum(x[i]) <= supply[i] for i in range(3)]
    rows_d = [korvu.Sum(x[i][j] for i in range(3)) >= demand[j] for j in range(4)]
    p.addConstraint(rows_s, rows_d)
    p.setObjective(korvu.Sum(cost[i, j] * x[i][j] for i in range(3) for j in range(4)))
    p.solve()
    assert p.getProbStatusString() == "lp_optimal"

    ref = scipy_optimize.linprog(cost.ravel(),
                                 A_ub=np.vstack([np.kron(np.eye(3), np.ones(4)),
                                                 -np.kron(np.ones(3), np.eye(4))]),
                                 b_ub=np.concatenate([supply, [-d for d in demand]]),
                                 method="highs")
    assert p.getObjVal() == pytest.approx(ref.fun, rel=1e-9)

    flat = [v for row in x for v in row]
    sol = np.array(p.getSolution(flat))
    dj = np.array(p.getRCost(flat))
    duals = np.array(p.getDual(rows_s + rows_d))
    slack = np.array(p.getSlack(rows_s + rows_d))
    # Reduced cost = cost - duals of the rows the variable appears in.
    for i, j in itertools.product(range(3), range(4)):
        assert dj[4 * i + j] == pytest.approx(cost[i, j] - duals[i] - duals[3 + j], abs=1e-7)
    assert np.all(dj >= -1e-7)                         # optimal for a minimisation
    assert np.abs(sol * dj).max() < 1e-7               # x_j * d_j = 0
    assert np.abs(slack * duals).max() < 1e-7          # s_i * y_i = 0
    assert np.all(duals[:3] <= 1e-9) and np.all(duals[3:] >= -1e-9)


def test_diet_lp_matches_an_independent_solver():
    foods = ["bread", "milk", "cheese", "potato", "fish", "yogurt"]
    cost = np.array([2.0, 3.5, 8.0, 1.5, 11.0, 1.0])
    nutrients = np.array([  # protein, fat, carbohydrates, calories/100
        [4.0, 8.0, 7.0, 1.3, 8.0, 9.2],
        [1.0, 5.0, 9.0, 0.1, 7.0, 1.0],
        [15.0, 11.7, 0.4, 22.6, 0.0, 17.0],
        [90, 120, 106, 97, 130, 180],
    ])
    need = np.array([20.0, 10.0, 40.0, 800.0])
    x = [korvu.var(ub=10, name=f) for f in foods]
    p = quiet(korvu.problem(x))
    p.addConstraint(korvu.Sum(nutrients[k, j] * x[j] for j in range(6)) >= need[k]
                    for k in range(4))
    p.setObjective(korvu.Sum(cost[j] * x[j] for j in range(6)))
    p.solve()
    ref = scipy_optimize.linprog(cost, A_ub=-nutrients, b_ub=-need, bounds=[(0, 10)] * 6,
                                 method="highs")
    assert p.getObjVal() == pytest.approx(ref.fun, rel=1e-9)
    assert korvu.evaluate(p.getAttrib("lpobjval"), solution={}) == pytest.approx(ref.fun)


def test_knapsack_mip_against_enumeration():
    value = [15, 10, 9, 5, 7, 12, 3, 8, 11, 6, 4, 13]
    weight = [11, 7, 6, 4, 5, 9, 2, 6, 8, 5, 3, 10]
    cap = 35
    best = max(sum(v for v, t in zip(value, take) if t)
               for take in itertools.product([0, 1], repeat=len(value))
               if sum(w for w, t in zip(weight, take) if t) <= cap)
    x = [korvu.var(vartype=korvu.binary) for _ in value]
    p = quiet(korvu.problem(x, korvu.Sum(w * v for w, v in zip(weight, x)) <= cap))
    p.setObjective(korvu.Sum(c * v for c, v in zip(value, x)), sense=korvu.maximize)
    p.solve()
    assert p.getProbStatusString() == "mip_optimal"
    assert p.getObjVal() == pytest.approx(best)
    chosen = p.getSolution(x)
    assert sum(w * round(c) for w, c in zip(weight, chosen)) <= cap
    with pytest.raises(korvu.SolverError, match="Cannot retrieve dual variables in a MIP"):
        p.getDual()


def test_assignment_mip_against_the_hungarian_method():
    rng = np.random.default_rng(7)
    cost = rng.integers(1, 50, size=(6, 6)).astype(float)
    r, c = scipy_optimize.linear_sum_assignment(cost)
    x = {(i, j): korvu.var(vartype=korvu.binary) for i in range(6) for j in range(6)}
    p = quiet(korvu.problem(x))
    p.addConstraint([korvu.Sum(x[i, j] for j in range(6)) == 1 for i in range(6)],
                    [korvu.Sum(x[i, j] for i in range(6)) == 1 for j in range(6)])
    p.setObjective(korvu.Sum(cost[i, j] * x[i, j] for i, j in x))
    p.solve()
    assert p.getObjVal() == pytest.approx(cost[r, c].sum())


def test_facility_location_mip_against_an_independent_solver():
    rng = np.random.default_rng(3)
    nf, nc = 5, 12
    fixed = rng.uniform(50, 100, nf)
    cap = rng.uniform(40, 80, nf)
    dem = rng.uniform(5, 15, nc)
    ship = rng.uniform(1, 10, (nf, nc))
    y = [korvu.var(vartype=korvu.binary) for _ in range(nf)]
    x = [[korvu.var() for _ in range(nc)] for _ in range(nf)]
    p = quiet(korvu.problem(y, x))
    p.addConstraint(korvu.Sum(x[f][c] for f in range(nf)) == dem[c] for c in range(nc))
    p.addConstraint(korvu.Sum(x[f]) <= cap[f] * y[f] for f in range(nf))
    p.setObjective(korvu.Sum(fixed[f] * y[f] for f in range(nf)) +
                   korvu.Sum(ship[f, c] * x[f][c] for f in range(nf) for c in range(nc)))
    p.solve()
    # The same model as matrices for the reference solver.
    n = nf + nf * nc
    obj = np.concatenate([fixed, ship.ravel()])
    a_dem = np.hstack([np.zeros((nc, nf)), np.kron(np.ones(nf), np.eye(nc))])
    a_cap = np.hstack([-np.diag(cap), np.kron(np.eye(nf), np.ones(nc))])
    ref = scipy_optimize.milp(
        obj, integrality=np.r_[np.ones(nf), np.zeros(nf * nc)],
        bounds=scipy_optimize.Bounds(np.zeros(n), np.r_[np.ones(nf), np.full(nf * nc, np.inf)]),
        constraints=[scipy_optimize.LinearConstraint(a_dem, dem, dem),
                     scipy_optimize.LinearConstraint(a_cap, -np.inf, 0)])
    assert p.getObjVal() == pytest.approx(ref.fun, rel=1e-6)


def test_portfolio_qp_matches_the_closed_form():
    # Minimum-variance portfolio with only the budget row: w = C^-1 1 / 1'C^-1 1.
    vol = np.array([0.1, 0.15, 0.2, 0.12])
    corr = np.array([[1, .3, .2, .1], [.3, 1, .4, .2], [.2, .4, 1, .3], [.1, .2, .3, 1]])
    cov = corr * np.outer(vol, vol)
    w_ref = np.linalg.solve(cov, np.ones(4))
    w_ref /= w_ref.sum()
    w = [korvu.var(lb=-korvu.infinity) for _ in range(4)]
    p = quiet(korvu.problem(w, korvu.Sum(w) == 1))
    p.setObjective(korvu.Sum(cov[i, j] * w[i] * w[j] for i in range(4) for j in range(4)))
    p.solve()
    assert np.allclose(p.getSolution(w), w_ref, atol=1e-6)
    assert p.getObjVal() == pytest.approx(float(w_ref @ cov @ w_ref), rel=1e-6)
    obj = korvu.Sum(cov[i, j] * w[i] * w[j] for i in range(4) for j in range(4))
    assert korvu.evaluate(obj, problem=p) == pytest.approx(p.getObjVal(), rel=1e-9)


def test_semicontinuous_variable():
    # Production is either off or between 5 and 20; demand 3 forces the minimum lot.
    x = korvu.var(vartype=korvu.semicontinuous, threshold=5, ub=20)
    y = korvu.var(ub=10)
    p = quiet(korvu.problem(x, y, x + y >= 3))
    p.setObjective(x + 4 * y)
    p.solve()
    assert p.getObjVal() == pytest.approx(5.0)       # x = 5 beats y = 3 (cost 12)
    assert p.getSolution(x) == pytest.approx(5.0)


def test_indicator_constraints():
    b = korvu.var(vartype=korvu.binary)
    x = korvu.var(ub=10)
    p = quiet(korvu.problem(b, x))
    p.addIndicator(b == 0, x <= 2)          # without the investment x stays small
    p.setObjective(3 * x - 5 * b, sense=korvu.maximize)
    p.solve()
    assert p.getObjVal() == pytest.approx(25.0)       # b = 1, x = 10
    q = quiet(korvu.problem(b, x))
    q.addIndicator((b == 1, x >= 4), (b == 0, x <= 1))
    q.setObjective(x + 10 * b)
    q.solve()
    assert q.getObjVal() == pytest.approx(0.0)


def test_sos1_and_sos2_sets():
    x = [korvu.var(ub=1) for _ in range(4)]
    p = quiet(korvu.problem(x, korvu.sos(x, [1, 2, 3, 4], type=1)))
    p.setObjective(korvu.Sum((k + 1) * v for k, v in enumerate(x)), sense=korvu.maximize)
    p.solve()
    assert p.getObjVal() == pytest.approx(4.0)        # only one member may be non-zero
    # SOS2 interpolation of f(t) = t^2 at breakpoints 0..3; maximise t - f(t) ~ at t = 0.5..
    lam = [korvu.var(ub=1) for _ in range(4)]
    t, f = korvu.var(), korvu.var()
    q = quiet(korvu.problem(lam, t, f, korvu.sos(lam, [0, 1, 2, 3], type=2)))
    q.addConstraint(korvu.Sum(lam) == 1, t == korvu.Sum(k * l for k, l in enumerate(lam)),
                    f == korvu.Sum(k * k * l for k, l in enumerate(lam)))
    q.setObjective(2 * t - f, sense=korvu.maximize)
    q.solve()
    assert q.getObjVal() == pytest.approx(1.0)         # t in [1, 2] on the segment, 2t - f = 1


def test_refused_registration_changes_nothing():
    x, y, z = korvu.var(), korvu.var(), korvu.var()
    p = quiet(korvu.problem(x))
    with pytest.raises(korvu.ModelError, match="Variable already added to problem"):
        p.addVariable(y, z, x)
    assert p.attributes.cols == 1 and p.getVariable() == [x]
    with pytest.raises(korvu.ModelError, match="Incorrect objects added as variables"):
        p.addVariable([y, "z"])
    assert p.attributes.cols == 1
    c1, c2 = x >= 1, x + y <= 4      # y is not in the problem
    with pytest.raises(korvu.ModelError, match="has not been added to problem yet"):
        p.addConstraint(c1, c2)
    assert p.attributes.rows == 0 and p.getConstraint() == []
    p.addConstraint(c1)
    with pytest.raises(korvu.ModelError, match="Constraint already added to problem"):
        p.addConstraint(c1)
    with pytest.raises(korvu.ModelError, match="Invalid optimization sense"):
        p.setObjective(x, sense=0)
    assert p.addVariable() is None and p.addVariable([]) is None and p.addConstraint() is None
    with pytest.raises(korvu.ModelError, match="More than one string"):
        korvu.problem("a", "b")
    with pytest.raises(korvu.ModelError, match="At most one expression"):
        korvu.problem(x, x + 1, 2 * x)
    with pytest.raises(korvu.InterfaceError, match="'flags' parameter should be a string"):
        p.solve(3)


def test_declaration_forms_and_row_types():
    x, y = korvu.var(name="x"), korvu.var(name="y")
    p = quiet(korvu.problem(x, x, "decl"))       # x twice: the second is the objective
    assert p.getVariable() == [x]
    q = quiet(korvu.problem(x, y, x + 2 <= 5, korvu.constraint(body=x, lb=1, ub=4), x + 1))
    assert q.attributes.rows == 2
    q.solve()
    assert q.getObjVal() == pytest.approx(2.0)           # min x + 1 with x >= 1
    assert q.getSlack(0) == pytest.approx(2.0)            # x <= 3 at x = 1
    e = [korvu.var() for _ in range(3)]
    r = quiet(korvu.problem((v for v in e), (v >= 1 for v in e)))
    assert r.attributes.cols == 3 and r.attributes.rows == 3


def test_evaluate_agrees_with_the_solution():
    x = [korvu.var(ub=4) for _ in range(3)]
    rows = [x[0] + 2 * x[1] <= 5, x[1] - x[2] >= -1, x[0] + x[1] + x[2] <= 6]
    obj = 3 * x[0] + 2 * x[1] + x[2] + 1
    p = quiet(korvu.problem(x, rows, obj, sense=korvu.maximize))
    p.solve()
    assert korvu.evaluate(obj, problem=p) == pytest.approx(p.getObjVal())
    bodies = [c.body for c in rows]
    activity = korvu.evaluate(bodies, problem=p)
    rhs = [5.0, -1.0, 6.0]
    slack = p.getSlack(rows)
    for a, r, s in zip(activity, rhs, slack):
        assert s == pytest.approx(r - a, abs=1e-9)


def test_quadratic_objective_replaced_by_linear_leaves_no_quadratic_entries():
    x, y = korvu.var(lb=-10), korvu.var(lb=-10)
    p = quiet(korvu.problem(x, y, x + y >= 1))
    p.setObjective(x * x + x * y + y * y)
    assert p.attributes.qelems > 0
    p.setObjective(x + y)
    assert p.attributes.qelems == 0
    p.setObjective(3)
    p.solve()
    assert p.getObjVal() == pytest.approx(3.0)


def test_build_solve_destroy_cycles_keep_memory_flat():
    import tracemalloc

    x = [korvu.var() for _ in range(5)]
    refs = [sys.getrefcount(v) for v in x]

    def cycle():
        p = quiet(korvu.problem(x, [v <= 3 for v in x]))
        p.setObjective(korvu.Sum(x), sense=korvu.maximize)
        p.solve()
        p.getSolution(x)

    for _ in range(50):
        cycle()
    tracemalloc.start()
    before = tracemalloc.get_traced_memory()[0]
    for _ in range(1000):
        cycle()
    after = tracemalloc.get_traced_memory()[0]
    tracemalloc.stop()
    assert after - before < 200_000
    assert [sys.getrefcount(v) for v in x] == refs


def test_ctrl_c_interrupts_the_solve_not_the_interpreter():
    # The interrupt is sent from the first log line of the solve, so it always
    # arrives while the optimizer runs, however fast the machine.
    code = textwrap.dedent("""
        import os, signal, time
        import numpy as np
        import korvu
        rng = np.random.default_rng(1)
        n, m = 150, 40
        w = rng.integers(20, 100, (m, n))
        x = [korvu.var(vartype=korvu.binary) for _ in range(n)]
        p = korvu.problem(x)
        p.addConstraint(korvu.Sum(int(w[i, j]) * x[j] for j in range(n)) <= int(w[i].sum() // 2)
                        for i in range(m))
        p.setObjective(korvu.Sum(int(v) * x[j] for j, v in enumerate(w.sum(0))),
                       sense=korvu.maximize)
        sent = []
        def handler(obj, data, thread, text, typ, number):
            if not sent:
                sent.append(1)
                os.kill(os.getpid(), signal.SIGINT)
        korvu.setOutputEnabled(False)
        korvu.addcbmsghandler(handler, None, 0)
        t = time.time()
        p.solve()
        print(p.attributes.stopstatus, p.getProbStatusString(), round(time.time() - t), len(sent))
    """)
    proc = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True,
                          timeout=300)
    assert proc.returncode == 0, proc.stderr
    stop, status, seconds, sent = proc.stdout.split()
    assert sent == "1"
    assert int(stop) == korvu.stop_ctrlc
    assert status in ("mip_solution", "mip_no_sol_found", "mip_lp_not_optimal")
    assert int(seconds) < 30
