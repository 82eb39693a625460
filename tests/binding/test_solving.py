"""Solving, file, infeasibility-analysis, repair and tuning members, and the basis, sensitivity and
message members behind them."""
import os
import time

import numpy as np
import pytest

import korvu

INF = 1e20


def lp_problem():
    """max 5x0 + 4x1 + 3x2 + x4 over six rows of every type; the optimum is not degenerate."""
    A = np.array([[2, 3, 1, 0, 0.5], [4, 1, 2, 0, 0], [3, 4, 2, 0, 0],
                  [1, 1, 1, 0, 0], [1, 0, -1, 0, 0], [0, 1, 0, 1, 0]], dtype=float)
    lims = [(-INF, 5), (-INF, 11), (-INF, 8), (1, INF), (-10, 10), (1.5, 1.5)]
    ub = [INF, INF, INF, 3, 1]
    x = [korvu.var(lb=0, ub=ub[j], name=f"x{j}") for j in range(5)]
    p = korvu.problem(x, name="small")
    p.controls.outputlog = 0
    for i, (lo, hi) in enumerate(lims):
        body = korvu.Sum(float(a) * v for a, v in zip(A[i], x) if a) + 0 * x[0]
        p.addConstraint(korvu.constraint(body=body, lb=lo, ub=hi, name=f"r{i}"))
    p.setObjective(korvu.Sum(c * v for c, v in zip([5, 4, 3, 0, 1], x)), sense=korvu.maximize)
    return p, x, A


def position(objects, obj):
    """Index by identity (== on model objects builds a constraint)."""
    return next(k for k, o in enumerate(objects) if o is obj)


def combined(p, v):
    """The combined index of a constraint (its slack) or variable."""
    if isinstance(v, korvu.constraint):
        return position(p.getConstraint(), v)
    return p.attributes.rows + position(p.getVariable(), v)


def basis_matrix(p, A):
    """B in the order of getpivotorder, built from A's columns and the slacks' unit columns."""
    m = p.attributes.rows
    order = []
    p.getpivotorder(order)
    B = np.zeros((m, m))
    for k, v in enumerate(order):
        i = combined(p, v)
        if i < m:
            B[i, k] = 1.0
        else:
            B[:, k] = A[:, i - m]
    return B, order


def test_solves_pass_their_flags_and_a_raising_handler_wins():
    p, x, A = lp_problem()
    p.lpoptimize()
    assert p.attributes.lpstatus == 1 and p.attributes.bariter == 0
    p.lpoptimize("b")
    assert p.attributes.bariter > 0
    p.mipoptimize("l")
    assert p.attributes.mipstatus == 6

    def handler(obj, data, thread, msg, msgtype, code):
        raise RuntimeError("from the handler")

    # Log lines reach the global handlers while the library runs, lock released.
    p.controls.outputlog = 1
    korvu.setOutputEnabled(False)
    korvu.addcbmsghandler(handler, None, 0)
    try:
        with pytest.raises(RuntimeError, match="from the handler"):
            p.mipoptimize()
    finally:
        korvu.removecbmsghandler(handler, None)
    assert p.crossoverlpsol() in (0, 1)
    p.interrupt(0)
    p.postsolve()


def test_ftran_btran_pivots_and_ranges_against_numpy():
    p, x, A = lp_problem()
    p.lpoptimize()
    B, order = basis_matrix(p, A)
    b = np.array([1.0, -2.0, 0.5, 3.0, 0.25, -1.0])
    v = list(b)
    p.ftran(v)
    assert np.allclose(B @ np.array(v), b)
    v = list(b)
    p.btran(v)
    assert np.allclose(B.T @ np.array(v), b)
    with pytest.raises(korvu.ModelError, match="expected 6, found 5"):
        p.ftran([0.0] * 5)
    # The ratio test for a nonbasic column: the step the basic variables allow.
    rstat, cstat = [], []
    p.getbasis(rstat, cstat)
    j = next(k for k, s in enumerate(cstat) if s == 0)  # x1, at its lower bound 0
    alpha = np.linalg.solve(B, A[:, j])
    slack, xv = [], []
    p.getlpsol(xv, slack, None, None)
    z = np.array(slack + xv)
    lo = np.array([0, 0, 0, -INF, 0, 0] + [0] * 5)
    hi = np.array([INF, INF, INF, 0, 20, 0, INF, INF, INF, 3, 1])
    idx = [combined(p, v) for v in order]
    ratios = []
    for k, a in enumerate(alpha):
        var = idx[k]
        if a > 1e-9 and lo[var] > -INF:
            ratios.append((z[var] - lo[var]) / a)
        elif a < -1e-9 and hi[var] < INF:
            ratios.append((hi[var] - z[var]) / -a)
    t = min(ratios)
    out, xnew = [], []
    obj, npiv = p.getpivots(x[j], out, xnew, 5)
    assert npiv >= 1 and len(out) == min(npiv, 5)
    assert xnew[6 + j] == pytest.approx(t)
    assert obj == pytest.approx(p.attributes.lpobjval - 3 * t)  # reduced cost of x1 is -3
    # An integer is taken in the combined form: the same pivot.
    assert p.getpivots(6 + j, None, None, 0) == (pytest.approx(obj), npiv)
    # Cost ranges: moving inside keeps the objective's linear prediction.
    lower, upper = [], []
    p.objsa(x, lower, upper)
    assert lower[0] <= 5 <= upper[0] and len(upper) == 5
    p.rhssa([0, 1], lower, upper)
    assert len(lower) == 2 and lower[1] == pytest.approx(9.0)
    mins, maxs = [], []
    p.estimaterowdualranges([0, 1, 2], 50, mins, maxs)
    duals = []
    p.getlpsol(None, None, duals, None)
    assert all(lo <= d + 1e-9 and d <= hi + 1e-9 for lo, d, hi in zip(mins, duals, maxs))
    with pytest.raises(korvu.InterfaceError, match="Must provide arguments mindex, lower, and upper"):
        p.objsa(x, None, upper)
    assert p.basisstability(0, 1, 0) >= 1.0


def test_presolve_map_row_scaling_and_messages(tmp_path):
    p, x, A = lp_problem()
    rowmap, colmap = [], []
    p.getpresolvemap(rowmap, colmap)
    assert rowmap == list(range(6)) and colmap == list(range(5))
    cols, vals = [], []
    assert p.presolverow("L", [x[1], x[0], x[1]], [1.0, 2.0, 3.0], 7.0, 10, cols, vals) == (7.0, 0)
    assert cols == [0, 1] and vals == [2.0, 4.0]
    p.scale([1, -1, 0, 2, 0, 3], [0, 2, -2, 1, 0])
    p.lpoptimize()
    assert p.attributes.lpobjval == pytest.approx(13.5)
    p.scale()
    log = tmp_path / "log.txt"
    p.controls.outputlog = 1
    p.setlogfile(str(log))
    assert p.getmessagestatus(101) == 1
    p.setmessagestatus(101, 0)
    assert p.getmessagestatus(101) == 0
    korvu.setOutputEnabled(False)
    p.lpoptimize()
    p.setmessagestatus(101, 1)
    p.lpoptimize()
    p.setlogfile("")
    assert open(log).read().count("LP status") == 1


def infeasible_problem():
    x, y = korvu.var(ub=2, name="x"), korvu.var(ub=1, name="y")
    p = korvu.problem(x, y, name="infeasible")
    p.controls.outputlog = 0
    c0 = korvu.constraint(x + y >= 5, name="need")
    c1 = korvu.constraint(x - y == 0, name="balance")
    p.addConstraint(c0, c1)
    p.setObjective(x + y)
    return p, x, y, c0, c1


def test_infeasible_sets_and_their_lists(tmp_path):
    p, x, y, c0, c1 = infeasible_problem()
    assert p.iisfirst(1) == 0
    rs, cs, ni = [], [], []
    sentinel = ["untouched"]
    n = p.iisstatus(rs, cs, None, ni)
    assert n == 1 and len(rs) == len(cs) == len(ni) == 2
    assert p.iisstatus(None, None, sentinel, None) == 1 and len(sentinel) == 2
    rows, bcols, ctype, btype, duals, rdcs, irow, icol = [], [], [], [], [], [], [], []
    assert p.getiisdata(1, rows, bcols, ctype, btype, duals, rdcs, irow, icol) is None
    assert any(r is c0 for r in rows) and all(isinstance(r, korvu.constraint) for r in rows)
    assert all(b is x or b is y for b in bcols) and set(btype) <= {"U", "L", "F"}
    assert irow == ["-1"] * len(rows)
    p.iisisolations(1)
    p.getiisdata(1, None, None, None, None, None, None, irow, None)
    assert set(irow) <= {"0", "1"}
    assert p.getiisdata(1) is None
    # Further sets, all of them, and the set as a file that reads back infeasible.
    assert p.iisnext() in (0, 1)
    p.iisall()
    f = tmp_path / "set.lp"
    p.iiswrite(1, str(f), 0, "")
    q = korvu.problem()
    q.controls.outputlog = 0
    q.read(str(f))
    q.lpoptimize()
    assert q.attributes.lpstatus == 2
    p.iisclear()
    assert p.iisstatus([], [], [], []) is None


def test_repairs_fill_the_solution_and_check_their_arrays():
    p, x, y, c0, c1 = infeasible_problem()
    assert p.repairinfeas("c", "n", "n", 1, 1, 0, 1, 0) == 0
    sol = p.getSolution()
    assert sol[0] + sol[1] >= 5 - 1e-6 or p.attributes.repairviolation > 0
    assert p.repairweightedinfeas([1, 1], [1, 1], None, [1, 1], "o", 0.1, "") == 0
    with pytest.raises(korvu.ModelError, match="expected 2, found 1"):
        p.repairweightedinfeas([1], [1, 1], None, None, "n", 0, "")
    assert p.repairweightedinfeasbounds([1, 1], [1, 1], None, [1, 1], None, None, None, [0.5, 0.5],
                                        "n", 0, "") == 0


def test_file_round_trips(tmp_path, monkeypatch):
    monkeypatch.chdir(tmp_path)
    p, x, A = lp_problem()
    p.lpoptimize()
    p.writebasis("b.bss")
    p.writebinsol("s.sol")
    p.writeslxsol("s.slx")
    p.writeprtsol("s.prt")
    p.writesol("s.csv")
    q, _, _ = lp_problem()
    q.readbasis("b.bss")
    q.lpoptimize()
    assert q.attributes.simplexiter == 0
    q.readbinsol("s.sol")
    xs, ys = [], []
    p.getlpsol(xs, None, None, None)
    q.getlpsol(ys, None, None, None)
    assert xs == ys
    q.readslxsol("s.slx", "l")
    assert open("s.csv").readline().startswith("kind,index,name")
    # save() writes under the problem's name, save('f') under f.
    p.save()
    assert os.path.exists("small.svf")
    p.save("other.svf")
    assert os.path.exists("other.svf")
    r = korvu.problem()
    r.controls.outputlog = 0
    r.restore("other", "")
    assert r.attributes.cols == 5 and r.attributes.lpstatus == 1
    with open("other.svf", "r+b") as f:
        f.seek(40)
        b = f.read(1)
        f.seek(40)
        f.write(bytes([b[0] ^ 0xFF]))
    with pytest.raises(korvu.SolverError, match="damaged"):
        r.restore("other")
    with pytest.raises(TypeError):
        p.readbasis()


def test_tuner_keeps_its_budget_and_its_method_file(tmp_path):
    p, x, A = lp_problem()
    m = tmp_path / "method.txt"
    p.tunerwritemethod(str(m))
    assert "[lp]" in open(m).read()
    m.write_text("[lp]\npresolve = 0\n")
    p.tunerreadmethod(str(m))
    p.controls.tunermaxtime = 1.0
    t = time.perf_counter()
    p.tune("l")
    assert time.perf_counter() - t < 1.1 + 0.2
    m.write_text("[lp]\nnosuch = 1\n")
    with pytest.raises(korvu.SolverError, match="unknown control 'nosuch'"):
        p.tunerreadmethod(str(m))


def test_refine_a_mip_solution():
    x = korvu.var(vartype=korvu.integer, ub=10, name="x")
    y = korvu.var(name="y")
    p = korvu.problem(x, y, name="refine")
    p.controls.outputlog = 0
    p.addConstraint(x + y >= 2.5)
    p.setObjective(x + 2 * y)
    refined = []
    assert p.refinemipsol(0, "", [2.0000001, 0.7], refined) == 0
    assert refined == [2.0, pytest.approx(0.5)]
    with pytest.raises(korvu.InterfaceError, match="Must provide arguments solution and refined_solution"):
        p.refinemipsol(0, "", None, refined)
