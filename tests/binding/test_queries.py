"""Matrix, model and solution queries: against an independent reader of the public models, and their edge cases."""
import math

import numpy as np
import pytest

import korvu

highspy = pytest.importorskip("highspy")

MODELS = ["afiro.mps", "adlittle.mps", "scrs8.mps", "stair.mps", "p0548.mps", "bell5.mps", "egout.mps",
          "flugpl.mps", "small_mip.mps", "qjh.mps", "qjh_quadobj.mps", "semi-continuous.mps"]
INF = 1e20


def quiet(p):
    p.controls.outputlog = 0
    return p


def independent(path):
    h = highspy.Highs()
    h.setOptionValue("output_flag", False)
    assert h.readModel(str(path)) == highspy.HighsStatus.kOk
    return h.getModel()


def rows_of(lp):
    """Types, right-hand sides and ranges of the rows as the library holds them."""
    types, rhs, rng = [], [], []
    for lo, hi in zip(lp.row_lower_, lp.row_upper_):
        lo, hi = max(lo, -INF), min(hi, INF)
        if lo == hi:
            types.append("E"); rhs.append(hi); rng.append(0.0)
        elif lo <= -INF and hi >= INF:
            types.append("N"); rhs.append(0.0); rng.append(0.0)
        elif lo <= -INF:
            types.append("L"); rhs.append(hi); rng.append(0.0)
        elif hi >= INF:
            types.append("G"); rhs.append(lo); rng.append(0.0)
        else:
            types.append("R"); rhs.append(hi); rng.append(hi - lo)
    return types, rhs, rng


def dense_columns(n, m, start, index, value):
    a = np.zeros((m, n))
    for j in range(n):
        for k in range(start[j], start[j + 1]):
            a[index[k], j] += value[k]
    return a


@pytest.mark.parametrize("name", MODELS)
def test_queries_agree_with_an_independent_reader(instances, name):
    path = instances / name
    if not path.exists():
        pytest.skip(f"{name} is not among the instances")
    model = independent(path)
    lp = model.lp_
    p = quiet(korvu.problem())
    p.read(str(path))
    n, m = p.attributes.cols, p.attributes.rows
    assert (n, m) == (lp.num_col_, lp.num_row_)
    obj, lb, ub = [], [], []
    p.getobj(obj, 0, n - 1)
    p.getlb(lb)
    p.getub(ub)
    assert obj == pytest.approx(list(lp.col_cost_))
    # A semi-continuous column holds its lower limit as its threshold here, as
    # its lower bound in the reader.
    coltype, qgtype, mgcols, dlim = [], [], [], []
    p.getcoltype(coltype, 0, n - 1)
    p.getglobal(qgtype, mgcols, dlim, None, None, None, None)
    for t, j, limit in zip(qgtype, mgcols, dlim):
        if t in "SR":
            lb[j] = limit
    assert lb == pytest.approx([max(v, -INF) for v in lp.col_lower_])
    assert ub == pytest.approx([min(v, INF) for v in lp.col_upper_])
    types, rhs, rng = rows_of(lp)
    qrtype, r, rr = [], [], []
    p.getrowtype(qrtype, 0, m - 1)
    p.getrhs(r, 0, m - 1)
    p.getrhsrange(rr, 0, m - 1)
    assert qrtype == types and r == pytest.approx(rhs) and rr == pytest.approx(rng)
    # The matrix both ways round, against the reader's columns.
    a = lp.a_matrix_
    expected = dense_columns(n, m, list(a.start_), list(a.index_), list(a.value_))
    start, rows, vals = [], [], []
    p.getcols(start, rows, vals, 10 ** 7, 0, n - 1)
    rowidx = [p.getIndex(c) for c in rows]
    assert np.allclose(dense_columns(n, m, start, rowidx, vals), expected)
    start, cols, vals = [], [], []
    p.getrows(start, cols, vals, 10 ** 7, 0, m - 1)
    by_rows = np.zeros((m, n))
    for i in range(m):
        for k in range(start[i], start[i + 1]):
            by_rows[i, p.getIndex(cols[k])] += vals[k]
    assert np.allclose(by_rows, expected)
    # Integer columns, through the column types and the global entities.
    integer = [int(t) != 0 for t in lp.integrality_] if len(lp.integrality_) else [False] * n
    assert [t != "C" for t in coltype] == integer
    assert sorted(mgcols) == [j for j in range(n) if integer[j]]
    # The quadratic objective: both triangles of Q.
    hs = model.hessian_
    q_expected = np.zeros((n, n))
    if hs.dim_:
        for j in range(hs.dim_):
            for k in range(hs.start_[j], hs.start_[j + 1]):
                i = hs.index_[k]
                q_expected[i, j] = q_expected[j, i] = hs.value_[k]
    start, cols, vals = [], [], []
    nq = p.getmqobj(start, cols, vals, 10 ** 6, 0, n - 1)
    q = np.zeros((n, n))
    if nq:
        for j in range(n):
            for k in range(start[j], start[j + 1]):
                q[p.getIndex(cols[k]), j] = vals[k]
    assert np.allclose(q, q_expected)
    assert p.getnamelist(2) == list(lp.col_names_) and p.getnamelist(1) == list(lp.row_names_)


@pytest.mark.parametrize("name", ["afiro.mps", "adlittle.mps", "p0548.mps", "flugpl.mps", "qjh.mps"])
def test_loadproblem_of_the_data_solves_like_read(instances, name):
    path = instances / name
    if not path.exists():
        pytest.skip(f"{name} is not among the instances")
    lp = independent(path).lp_
    p = quiet(korvu.problem())
    p.read(str(path))
    n, m = p.attributes.cols, p.attributes.rows
    obj, lb, ub, qrtype, rhs, rng, start, rows, vals = ([] for _ in range(9))
    p.getobj(obj, 0, n - 1); p.getlb(lb); p.getub(ub)
    p.getrowtype(qrtype, 0, m - 1); p.getrhs(rhs, 0, m - 1); p.getrhsrange(rng, 0, m - 1)
    p.getcols(start, rows, vals, 10 ** 7, 0, n - 1)
    rowidx = [p.getIndex(c) for c in rows]
    q1, q2, qv = [], [], []
    qs, qc, qval = [], [], []
    if p.getmqobj(qs, qc, qval, 10 ** 6, 0, n - 1):
        for j in range(n):
            for k in range(qs[j], qs[j + 1]):
                i = p.getIndex(qc[k])
                if i >= j:
                    q1.append(i); q2.append(j); qv.append(qval[k])
    qgtype, mgcols, dlim = [], [], []
    p.getglobal(qgtype, mgcols, dlim, None, None, None, None)
    p.solve()
    expected = p.getObjVal()
    loaded = quiet(korvu.problem())
    loaded.loadproblem("again", qrtype, rhs, rng, obj, start, None, rowidx, vals, lb, ub,
                       *( (q1, q2, qv) if q1 else (None, None, None)), None, None, None, None, None,
                       *((qgtype, mgcols, dlim) if qgtype else (None, None, None)),
                       colnames=p.getnamelist(2), rownames=p.getnamelist(1))
    assert [str(v) for v in loaded.getVariable()] == p.getnamelist(2)
    loaded.solve()
    assert loaded.getObjVal() == pytest.approx(expected, rel=1e-7)


def small():
    x = korvu.vars(3, name="x")
    p = quiet(korvu.problem(x, korvu.constraint(x[0] + 2 * x[1] <= 4, name="c0"),
                            korvu.constraint(x[1] + x[2] >= 1, name="c1"), name="small"))
    p.setObjective(x[0] + x[1] + 3 * x[2])
    return p, x


def test_ranges_outputs_and_sizes():
    p, x = small()
    out = ["stale"] * 10
    keep = out
    assert p.getlb(out, 3, 2) is None and out == ["stale"] * 10  # an empty range is no call
    with pytest.raises(korvu.InterfaceError, match="^Empty range of columns requested$"):
        p.getobj(out, 2, 1)
    with pytest.raises(korvu.InterfaceError, match="^Empty range of columns requested$"):
        p.getrows([], [], [], 5, 1, 0)  # rows, but the message says columns
    with pytest.raises(korvu.InterfaceError, match="Must provide argument obj"):
        p.getobj(None, 0, 1)
    p.getobj(out, x[1], "x(2)")
    assert out is keep and out == [1.0, 3.0]
    start, cols, vals = [], [], []
    p.getrows(start, cols, vals, 2, 0, 1)
    assert cols == [x[0], x[1]] and vals == [1.0, 2.0] and start[:2] == [0, 2]  # only `size` entries
    p.solve()
    assert p.getlpsolval(None, None) == (-1e20,) * 4
    assert p.getlpsolval(x[1], "c1")[0] == pytest.approx(1.0)
    with pytest.raises(korvu.InterfaceError, match="Invalid row or column index"):
        p.getlpsolval(7, None)


def test_names_and_errors():
    p, x = small()
    assert p.getnamelist(2) == ["x(0)", "x(1)", "x(2)"] and p.getnamelist(1, 1, 1) == ["c1"]
    with pytest.raises(korvu.InterfaceError, match=r"^Argument type must be 1 \(rows\), 2 \(columns\), or 3"):
        p.getnamelist(4)
    with pytest.raises(korvu.InterfaceError, match="within the number of rows"):
        p.getnamelist(2, 1, 5)
    with pytest.raises(korvu.InterfaceError, match="No names for type chosen"):
        p.getnamelist(3, 0, 0)
    assert p.getIndexFromName(1, "c1") == 1 and p.getIndexFromName(2, "nothing") == -1
    with pytest.raises(korvu.ModelError, match="^Mismatched lengths in arguments: expected 3, found 2$"):
        p.calcobjective([1.0, 2.0])
    assert p.calcobjective([1.0, 1.0, 1.0]) == 5.0
    assert p.getcontrolinfo("timelimit")[0] > 0 and p.getattribinfo("rows")[0] == 1001


def test_solution_queries_rays_and_infeasibilities():
    p, x = small()
    p.solve()
    sol, slack, dual, dj = [], [], [], []
    p.getlpsol(sol, slack, dual, dj)
    assert sol == pytest.approx([0.0, 1.0, 0.0]) and p.calcobjective(sol) == pytest.approx(p.getObjVal())
    calc = []
    p.calcslacks(sol, calc)
    assert calc == pytest.approx(slack)
    djs = []
    p.calcreducedcosts(dual, sol, djs)
    assert djs == pytest.approx(dj)
    rs, cs = [], []
    p.getbasis(rs, cs)
    assert sum(s == 1 for s in rs + cs) == 2 and p.getbasisval(1, x[1]) == (rs[1], cs[1])
    ray = ["keep"]
    assert not p.hasdualray() and p.getdualray(ray) is None and ray == ["keep"]
    with pytest.raises(korvu.SolverError, match="only if the problem is found unbounded"):
        p.getunbvec()
    lists = [[], [], [], []]
    p.getinfeas(*lists)
    assert lists == [[], [], [], []]
    # An infeasible LP has a dual ray that certifies it: y'A = 0 direction, y'b < 0.
    y = korvu.var(name="y")
    q = quiet(korvu.problem(y, y >= 3, y <= 1, name="infeasible"))
    q.solve("d")
    ray = []
    if q.hasdualray():
        q.getdualray(ray)
        assert len(ray) == 2 and ray[0] * 3 + ray[1] * 1 != 0
