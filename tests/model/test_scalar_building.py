"""Building a model one object at a time: the call forms of korvu.var, column and
row look-ups for variables made in any order, constraint calls nested in other
constraint calls, and the engine's warnings with outputlog 0."""
import numpy as np
import pytest

import korvu


def attrs(v):
    return (v.lb, v.ub, v.threshold, v.vartype, v.name)


def test_var_call_forms_agree():
    # Plain floats and ints, positional or by keyword, numpy numbers and bools
    # (read by the general path) all give the same variable.
    want = ("x", -2.0, 5.0, -1e20, korvu.integer)
    forms = [
        korvu.var("x", -2, 5, vartype=korvu.integer),
        korvu.var(name="x", lb=-2.0, ub=5.0, vartype=korvu.integer),
        korvu.var("x", np.float64(-2), np.int64(5), -1e20, np.int32(korvu.integer)),
        korvu.var(vartype=korvu.integer, ub=5, lb=-2, name="x"),
    ]
    for v in forms:
        assert (v.name, v.lb, v.ub, v.threshold, v.vartype) == want
    assert korvu.var(ub=True).ub == 1.0
    b = korvu.var(lb=-3, ub=7, vartype=korvu.binary)
    assert (b.lb, b.ub) == (0.0, 1.0)
    d = korvu.var()
    assert (d.lb, d.ub, d.vartype) == (0.0, 1e20, korvu.continuous)
    assert korvu.var().name != d.name  # each variable its own number


@pytest.mark.parametrize("call, error", [
    (lambda: korvu.var(lbound=1), TypeError),
    (lambda: korvu.var("x", name="y"), TypeError),
    (lambda: korvu.var(None, 0, 1, -1e20, 0, 7), TypeError),
    (lambda: korvu.var(lb="1"), TypeError),
    (lambda: korvu.var(lb=10 ** 400), OverflowError),
    (lambda: korvu.var(vartype=1.0), TypeError),
    (lambda: korvu.var(vartype=2 ** 70), OverflowError),
    (lambda: korvu.var(lb=float("nan")), korvu.ModelError),
    (lambda: korvu.var(lb=2, ub=1), korvu.ModelError),
    (lambda: korvu.var(vartype=9), korvu.ModelError),
    (lambda: korvu.var(name=3), korvu.ModelError),
])
def test_var_call_refusals(call, error):
    with pytest.raises(error):
        call()


def test_reinitialising_a_variable_keeps_its_number():
    v = korvu.var(name="v", lb=1)
    number = hash(v)
    v.__init__(ub=3)
    assert hash(v) == number and (v.lb, v.ub) == (0.0, 3.0)


def test_columns_of_variables_made_in_any_order():
    # Two problems take turns: neither sees consecutive variable numbers, and a
    # deletion moves the later columns.
    p, q = korvu.problem(), korvu.problem()
    xs, ys = [], []
    for k in range(700):
        x, y = korvu.var(), korvu.var()
        xs.append(x)
        ys.append(y)
    p.addVariable(xs[::-1])
    q.addVariable(ys)
    for k in range(0, 700, 7):
        p.addConstraint(xs[k] + 2 * xs[k + 1] <= k)
    assert p.getIndex(xs[0]) == 699
    assert p.getcoef(0, p.getIndex(xs[1])) == 2.0
    p.delVariable([p.getIndex(xs[350])])
    assert p.getIndex(xs[0]) == 698 and p.getIndex(xs[699]) == 0
    c = xs[0] - 3 * xs[693] >= 1
    p.addConstraint(c)
    row = p.getIndex(c)
    assert p.getcoef(row, p.getIndex(xs[693])) == -3.0
    assert p.getcoef(row, p.getIndex(xs[0])) == 1.0
    q.addConstraint(ys[5] + ys[600] == 1)
    assert q.getcoef(0, 600) == 1.0 and q.getcoef(0, 5) == 1.0


def test_constraint_calls_nested_in_a_walk():
    # A generator passed to addConstraint adds rows to another problem while the
    # first call is under way: each call keeps its own rows.
    p, q = korvu.problem(), korvu.problem()
    x = [korvu.var() for _ in range(4)]
    y = [korvu.var() for _ in range(4)]
    p.addVariable(x)
    q.addVariable(y)

    def rows():
        for k in range(4):
            q.addConstraint(y[k] <= k, [y[k] >= -k])
            yield x[k] + x[(k + 1) % 4] >= k

    p.addConstraint(rows())
    assert p.attributes.rows == 4 and q.attributes.rows == 8
    for k in range(4):
        assert p.getcoef(k, k) == 1.0 and p.getcoef(k, (k + 1) % 4) == 1.0
        assert q.getcoef(2 * k, k) == 1.0
    # A large batch and then single rows again.
    z = [korvu.var() for _ in range(20000)]
    p.addVariable(z)
    p.addConstraint([z[k] + z[k + 1] <= 1 for k in range(19999)])
    p.addConstraint(z[0] - z[19999] == 0)
    assert p.attributes.rows == 4 + 19999 + 1
    assert p.getcoef(p.attributes.rows - 1, p.getIndex(z[19999])) == -1.0


def test_engine_warnings_silent_with_outputlog_0(capfd):
    def solve(outputlog):
        p = korvu.problem()
        x = korvu.var(lb=-1, ub=1)
        y = korvu.var(lb=-1, ub=1)
        p.addVariable(x, y)
        p.addConstraint(x + y >= 0.5)
        p.setObjective(1e-12 * x + y + 1e-11 * x ** 2 + y ** 2)
        p.controls.outputlog = outputlog
        p.solve()
        return p.getSolution(y)

    capfd.readouterr()
    assert solve(0) == pytest.approx(-0.5, abs=1e-5)
    out = capfd.readouterr()
    assert "WARNING" not in out.out + out.err
    solve(1)
    out = capfd.readouterr()
    assert "excessively small" in out.out + out.err


def test_equality_bounds_change_one_at_a_time():
    # An equality's bounds are held as one; changing either leaves the other.
    x, y = korvu.var(), korvu.var()
    a = x + y == 2.5
    b = x - y == -0.75
    assert (a.lb, a.ub, b.lb, b.ub) == (2.5, 2.5, -0.75, -0.75)
    a.lb = 1.0
    b.ub = 4.0
    assert (a.lb, a.ub, b.lb, b.ub) == (1.0, 2.5, -0.75, 4.0)
    a.ub = 3.25
    b.lb = 0.0
    assert (a.lb, a.ub, b.lb, b.ub) == (1.0, 3.25, 0.0, 4.0)
    for c, want in [(2 * x == 1, 1.0), (x == 0, 0.0), (x + 1 == 1.5, 0.5)]:
        assert (c.lb, c.ub) == (want, want)
    # Taken over by another constraint, copied, and registered as rows.
    e = x + 2 * y == 7.5
    f = korvu.constraint(constraint=e, name="f")
    g = e.copy()
    e.lb = -1.0
    assert (f.lb, f.ub, g.lb, g.ub, e.ub) == (7.5, 7.5, 7.5, 7.5, 7.5)
    p = korvu.problem()
    p.addVariable(x, y)
    p.addConstraint(e, f, x + y == 2.5)
    types, rhs, rng = [], [], []
    p.getrowtype(types, 0, 2)
    p.getrhs(rhs, 0, 2)
    p.getrhsrange(rng, 0, 2)
    assert types == ["R", "E", "E"] and rhs == [7.5, 7.5, 2.5] and rng == [8.5, 0.0, 0.0]


def test_variable_calls_nested_in_a_walk():
    # A generator passed to addVariable adds columns to another problem while
    # the first call is under way: each call keeps its own columns and bounds.
    p, q = korvu.problem(), korvu.problem()
    inner = [korvu.var(lb=-k, ub=k, name=f"q{k}") for k in range(3)]

    def columns():
        for k in range(3):
            q.addVariable(inner[k])
            yield korvu.var(lb=k, ub=10 + k, vartype=korvu.integer if k == 1 else korvu.continuous)

    p.addVariable(columns())
    lb, ub = [], []
    p.getlb(lb, 0, 2)
    p.getub(ub, 0, 2)
    assert lb == [0.0, 1.0, 2.0] and ub == [10.0, 11.0, 12.0]
    assert [v.vartype for v in p.getVariable()] == [0, korvu.integer, 0]
    q.getlb(lb := [], 0, 2)
    assert lb == [0.0, -1.0, -2.0] and [v.name for v in q.getVariable()] == ["q0", "q1", "q2"]
    # A large call and then single columns again.
    p.addVariable([korvu.var(ub=2) for _ in range(10000)])
    p.addVariable(korvu.var(lb=-3, ub=-1, name="last"))
    p.getlb(lb := [], 10003, 10003)
    assert p.attributes.cols == 10004 and lb == [-3.0]
    assert p.getVariable(10003).name == "last"


def test_single_object_calls_refuse_and_roll_back_like_others():
    # One variable or constraint per call takes a path without an argument
    # tuple; its refusals leave the problem as the general path does.
    p = korvu.problem()
    x, y = korvu.var(name="x"), korvu.var(name="y")
    p.addVariable(x)
    with pytest.raises(korvu.ModelError, match="already added"):
        p.addVariable(x)
    with pytest.raises(korvu.ModelError, match="already added"):
        p.addVariable(y, x)
    with pytest.raises(TypeError):
        p.addVariable(v=y)
    assert p.attributes.cols == 1 and p.getVariable() == [x]
    p.addVariable(y)
    c = x + y <= 1
    p.addConstraint(c)
    with pytest.raises(korvu.ModelError, match="already added"):
        p.addConstraint(c)
    bad = korvu.constraint(body=x + float("inf") * y, ub=1)
    with pytest.raises(korvu.ModelError, match="not finite"):
        p.addConstraint(bad)
    with pytest.raises(korvu.ModelError, match="not finite"):
        p.addConstraint(x - y >= 0, bad)
    with pytest.raises(TypeError):
        p.addConstraint(c=x >= 0)
    assert p.attributes.rows == 1 and p.getConstraint() == [c]
    d = 2 * x - y == 0.5
    p.addConstraint(d)
    assert p.getIndex(d) == 1 and p.getcoef(1, 0) == 2.0


def test_indices_of_arrays_registered_interleaved():
    # Arrays stacked along their last axis reach the problem element by element
    # in turn: each array's numbers step through the columns (rows) k apart.
    # Deletions, a failed call's rollback and re-registration keep every look-up.
    rng = np.random.default_rng(5)
    p = korvu.problem()
    parts = [korvu.vars(40, name="") for _ in range(3)] + [korvu.vars(5, 8, name="")]
    single = korvu.var()
    cols = list(np.stack(parts[:3], axis=-1).ravel()[::-1]) + [single]
    p.addVariable(cols[:80], parts[3], cols[80:])
    order = cols[:80] + list(parts[3].ravel()) + cols[80:]
    rows = [x + 1 >= 0 for x in order]
    var_of = {id(c): x for c, x in zip(rows, order)}
    cons = np.array(rows[1:], dtype=object).reshape(-1, 2)
    p.addConstraint(rows[0], cons[:, 0], cons[:, 1])
    row_order = rows[:1] + list(cons[:, 0]) + list(cons[:, 1])
    with pytest.raises(korvu.ModelError):
        p.addConstraint([order[0] <= 1, order[1] <= 1, "not a constraint"])
    assert p.attributes.rows == len(row_order)

    def check():
        assert [p.getIndex(x) for x in order] == list(range(len(order)))
        assert [p.getIndex(c) for c in row_order] == list(range(len(row_order)))
        kept = {hash(x) for x in order}
        for k in rng.choice(len(row_order), 10):
            x = var_of[id(row_order[k])]
            if hash(x) in kept:
                assert p.getcoef(int(k), p.getIndex(x)) == 1.0

    check()
    for pick in (lambda n: [0], lambda n: [n - 1], lambda n: [7, 8, 9],
                 lambda n: sorted(rng.choice(n - 2, 15, replace=False) + 1)):
        gone = pick(len(order))
        p.delVariable([int(g) for g in gone])
        order = [x for i, x in enumerate(order) if i not in set(gone)]
        p.delConstraint([int(g) for g in gone])
        row_order = [c for i, c in enumerate(row_order) if i not in set(gone)]
        check()
    again = korvu.vars(6, name="")
    p.addVariable(again)
    order += list(again)
    extra = [again[k] - 1 <= k for k in range(6)]
    var_of.update((id(c), x) for c, x in zip(extra, again))
    p.addConstraint(extra[::2], extra[1::2])
    row_order += extra[::2] + extra[1::2]
    check()
