"""Members over the nonlinear solver's model data: column properties by the
array, cascading, distribution factors, tolerance sets, token coefficients,
row weights and what a solve leaves for rows and columns."""
import math

import pytest

import korvu

EXP = 16  # the token value of exp among the built-in functions


def exp_tokens(col):
    """exp(column col) in token form."""
    return [22, 10, 12, 0], [0, col, EXP, 0]


def model():
    x = korvu.var(name="x", lb=0, ub=10)
    y = korvu.var(name="y", lb=0, ub=10)
    p = korvu.problem(x, y)
    p.controls.outputlog = 0
    c = korvu.constraint(x + y <= 4, name="c")
    d = korvu.constraint(x - y >= -3, name="d")
    p.addConstraint(c, d)
    p.setObjective(x + y)
    return p, x, y, c, d


def test_token_coefficients_go_in_come_back_and_are_checked_first():
    p, x, y, c, d = model()
    t, v = exp_tokens(1)
    p.addcoefs([c, d], [-1, x], [2.0, 1.0], [0, 4, 8], True, t + t, v + v)
    rows, cols = [], []
    p.getcoefs(rows, cols)
    assert (rows, cols) == ([0, 1], [-1, 0])
    factor, n, types, values = p.getcoefformula(c, -1, 1, 10000)
    assert (factor, n, types, values) == (2.0, 4, t, [float(e) for e in v])
    p.chgvar(y, value=0.5)
    assert p.evaluatecoef(c, -1) == pytest.approx(2 * math.exp(0.5), rel=1e-12)
    # chgnlcoef keeps the factor given None and replaces the formula.
    t0, v0 = exp_tokens(0)
    p.chgnlcoef(c, -1, None, 1, t0, v0)
    assert p.getcoefformula(c, -1, 1, 4)[:2] == (2.0, 4)
    assert p.getcoefformula(c, -1, 1, 4)[3][1] == 0.0
    p.chgnlcoef(d, x, None, 1, None, None)  # removed
    p.getcoefs(rows, cols)
    assert rows == [0]
    # Refusals before the library: fstart of the wrong length, starts past the
    # tokens, buffer sizes out of range, a factor that is not a number.
    with pytest.raises(korvu.ModelError):
        p.addcoefs([d], [-1], [1.0], [0, 4, 8], 1, t, v)
    with pytest.raises(korvu.InterfaceError, match="outside the 4 tokens"):
        p.addcoefs([d], [-1], None, [0, 9], 1, t, v)
    with pytest.raises(korvu.InterfaceError, match="Wrong arguments in addcoefs"):
        p.addcoefs([d], [-1], None, None, 1, t, v)
    with pytest.raises(korvu.InterfaceError, match="Wrong arguments in loadcoefs"):
        p.loadcoefs([d], [-1], None, [0, 4], "yes", t, v)
    for size in (0, 10001):
        with pytest.raises(korvu.InterfaceError, match="Incorrect argument to getcoefformula or excessive buffersize"):
            p.getcoefformula(c, -1, 1, size)
    with pytest.raises(korvu.InterfaceError, match="Wrong arguments in chgnlcoef"):
        p.chgnlcoef(c, -1, "two", 1, t, v)
    with pytest.raises(korvu.InterfaceError, match="chgnlcoef"):
        p.chgnlcoef(c, -1, None, 1, [10, 0], [9, 0])  # column 9 does not exist
    # Library refusals of members without a message of their own name the member.
    with pytest.raises(korvu.InterfaceError, match="^evaluatecoef: .*no nonlinear coefficient"):
        p.evaluatecoef(d, x)
    with pytest.raises(korvu.InterfaceError, match="^evaluateformula: "):
        p.evaluateformula(1, [99], [1.0])
    with pytest.raises(korvu.InterfaceError, match="^getrowstatus: "):
        p.getrowstatus(10**6)
    p.getcoefs(rows, cols)
    assert rows == [0]
    # loadcoefs replaces every coefficient.
    p.loadcoefs([d], [-1], None, [0, 4], 0 + 1, t, v)
    p.getcoefs(rows, cols)
    assert (rows, cols) == ([1], [-1])


def test_distribution_factors_get_a_product_row_moving_from_zero():
    x = korvu.var(name="x", lb=0, ub=10)
    y = korvu.var(name="y", lb=0, ub=10)
    p = korvu.problem(x, y)
    p.controls.outputlog = 0
    # Both derivatives of the row vanish at the start (0, 0).
    c = korvu.constraint(x * korvu.exp(y) - x >= 1, name="c")
    p.addConstraint(c)
    p.setObjective(x + y)
    p.chgvar(x, initvalue=0.0)
    p.chgvar(y, initvalue=0.0)
    p.adddfs([x, y], [c, c], [1.0, 1.0])
    assert p.getdf(x, c) == 1.0
    p.solve()
    sol = []
    p.getslpsol(sol)
    assert sol[0] * math.exp(sol[1]) - sol[0] == pytest.approx(1, abs=1e-6)
    assert p.chgdf(y, c, 0.5) == 0.5
    assert p.getdf(y, c) == 0.5
    assert p.chgdf(y, c, None) == 0.0
    assert p.getdf(y, c) == 0.0
    p.loaddfs([y], [c], [3.0])
    assert (p.getdf(x, c), p.getdf(y, c)) == (0.0, 3.0)
    with pytest.raises(korvu.InterfaceError, match="Wrong arguments in chgdf"):
        p.chgdf(x, c, "one")
    with pytest.raises(korvu.InterfaceError, match="Wrong arguments in adddfs"):
        p.adddfs([x], None, [1.0])
    with pytest.raises(korvu.SolverError, match="rowindex"):
        p.adddfs([x, y], [c, 5], [1.0, 1.0])
    assert p.getdf(x, c) == 0.0


def test_row_weights_choose_between_rows_that_cannot_both_hold():
    # x^2 >= 4 and x^2 <= 1: the heavier row is kept, the other carries the error.
    for heavy, expected in ((0, 2.0), (1, 1.0)):
        x = korvu.var(name="x", lb=0, ub=10)
        p = korvu.problem(x)
        p.controls.outputlog = 0
        big = korvu.constraint(korvu.exp(korvu.log(x) * 2) >= 4, name="big")
        small = korvu.constraint(korvu.exp(korvu.log(x) * 2) <= 1, name="small")
        p.addConstraint(big, small)
        p.chgvar(x, initvalue=1.5)
        rows = (big, small)
        p.chgrowwt(rows[heavy], 10)
        assert p.getrowwt(rows[heavy]) == 10.0 and p.getrowwt(rows[1 - heavy]) == 1.0
        p.solve()
        assert p.getvar(x)[6] == pytest.approx(expected, abs=1e-4)
        light = rows[1 - heavy]
        assert p.getrowinfo(korvu.rowinfo_currentpenaltyerror, light) == pytest.approx(3.0, abs=1e-3)
        count = p.getrowinfo(korvu.rowinfo_numpenaltyerrors, light)
        assert isinstance(count, int) and count > 0
        plus = p.getrowinfo(korvu.rowinfo_penaltycolumnplus, light)
        assert p.getrowinfo(korvu.rowinfo_penaltycolumnminus, light) == plus + 1
        assert p.getrowinfo(korvu.rowinfo_currentpenaltyfactor, rows[heavy]) == pytest.approx(
            10 * p.getrowinfo(korvu.rowinfo_currentpenaltyfactor, light))
    p.chgrowwt(big, None)
    assert p.getrowwt(big) == 1.0
    with pytest.raises(korvu.InterfaceError, match="Incorrect call to chgrowwt"):
        p.chgrowwt(big, "heavy")
    with pytest.raises(korvu.SolverError, match="positive"):
        p.chgrowwt(big, -1.0)
    with pytest.raises(korvu.SolverError, match="not a row information type"):
        p.getrowinfo(99, big)
    with pytest.raises(korvu.InterfaceError, match="Incorrect argument to getrowinfo"):
        p.getrowinfo("slack", big)


def test_tolerance_sets_stop_the_solve_when_their_columns_converge():
    x = korvu.var(name="x", lb=-10, ub=10)
    y = korvu.var(name="y", lb=-10, ub=10)
    p = korvu.problem(x, y)
    p.controls.outputlog = 0
    p.setObjective(korvu.exp(x - 3) - x + (y - 1) ** 2 * korvu.exp(y - 1))
    # Set 1: any step counts as converged.  Set 2: a reduced cost of 1e-8.
    p.addtolsets([100.0] + [0.0] * 8 + [0.0] * 6 + [1e-8, 0.0, 0.0])
    tols = []
    assert p.gettolset(2, tols) == 1 << 6
    assert tols[6] == 1e-8 and len(tols) == 9
    p.addvars([x, y], None, None, None, [1, 1], [0.0, 0.0], None)
    p.solve()
    assert p.getvar(x)[9] == 1  # converged by its set, far from x = 3
    assert abs(p.getvar(x)[6] - 3) > 1e-3
    p.addvars([x, y], None, None, None, [2, 2], None, None)
    p.solve()
    assert p.getvar(x)[6] == pytest.approx(3, abs=1e-5)
    assert p.getvar(y)[6] == pytest.approx(1, abs=1e-3)
    # Changing and deleting sets.
    p.chgtolset(2, None, [0.0] * 8 + [0.5])
    assert p.gettolset(2, tols) == 1 << 6 and tols[8] == 0.5
    p.chgtolset(2, 1 << 8, [0.0] * 8 + [0.5])
    assert p.gettolset(2, tols) == 1 << 8
    p.chgvar(x, tolset=1)
    p.deltolsets([1])
    assert p.getvar(x)[7] == 0 and p.getvar(y)[7] == 1
    with pytest.raises(korvu.InterfaceError, match=r"Wrong number of elements in tols \(should be 9\)"):
        p.chgtolset(1, 1, [0.0] * 8)
    with pytest.raises(korvu.InterfaceError, match="chgtolset"):
        p.chgtolset(5, 1, [0.0] * 9)
    with pytest.raises(korvu.InterfaceError, match='The "tol" argument should have a multiple of 9 elements'):
        p.addtolsets([1.0] * 10)
    with pytest.raises(korvu.InterfaceError, match="Incorrect arguments in gettolset"):
        p.gettolset(1, None)
    with pytest.raises(korvu.InterfaceError, match="Incorrect arguments to deltolsets"):
        p.deltolsets(None)
    p.addtolsets([1.0] * 18)
    assert p.gettolset(3, tols) == 0x1FF
    p.loadtolsets([])
    assert p.getvar(y)[7] == 0


def test_cascading_follows_the_order_and_the_step_limit():
    x = korvu.var(name="x", lb=-10, ub=10)
    y = korvu.var(name="y", lb=-10, ub=10)
    z = korvu.var(name="z", lb=-10, ub=10)
    p = korvu.problem(x, y, z)
    p.controls.outputlog = 0
    rx = korvu.constraint(x - korvu.exp(y) == 0, name="rx")
    ry = korvu.constraint(korvu.exp(y) == 2 * korvu.exp(z), name="ry")
    p.addConstraint(rx, ry)
    # x from rx reads y, which ry determines from z: y goes first whatever
    # the sequence numbers ask.
    p.addvars([x, y], None, [rx, ry], [1, 2], None, None, None)
    p.cascadeorder()
    p.chgvar(z, value=0.0)
    p.chgvar(y, value=3.0)
    p.cascade()
    assert p.getvar(y)[6] == pytest.approx(math.log(2), abs=1e-9)
    assert p.getvar(x)[6] == pytest.approx(2.0, abs=1e-9)
    # One Newton step on y from 3.
    p.chgvar(y, value=3.0)
    p.chgcascadenlimit(y, 1)
    p.cascade()
    assert p.getvar(y)[6] == pytest.approx(3 - (math.exp(3) - 2) / math.exp(3), abs=1e-12)
    with pytest.raises(korvu.SolverError, match="limit"):
        p.chgcascadenlimit(y, -1)
    with pytest.raises(korvu.InterfaceError, match="Wrong arguments in chgcascadenlimit"):
        p.chgcascadenlimit(y, 1.5)
    # loadvars forgets the rows.
    p.loadvars([z], None, None, None, None, None, None)
    assert p.getvar(x)[0] == -1
    with pytest.raises(korvu.InterfaceError, match="Wrong arguments in loadvars"):
        p.loadvars(None, None, None, None, None, None, None)
    with pytest.raises(korvu.SolverError, match="vartype"):
        p.addvars([x], [8], None, None, None, None, None)


def test_step_bound_types_and_column_information():
    x = korvu.var(name="x", lb=-100, ub=100)
    p = korvu.problem(x)
    p.controls.outputlog = 0
    p.setObjective((x - 30) ** 2 * korvu.exp(x / 100))
    p.chgvar(x, initvalue=0.0)
    p.chgdeltatype([x], [1], [0.5])
    p.controls.kslp_maxiter = 1
    p.solve()
    assert p.getcolinfo(korvu.colinfo_delta, x) == pytest.approx(0.5)
    assert p.getcolinfo(korvu.colinfo_deltaindex, x) == 0
    assert p.getcolinfo(korvu.colinfo_value, x) == pytest.approx(0.5)
    assert isinstance(p.getcolinfo(korvu.colinfo_sbdual, x), float)
    with pytest.raises(korvu.InterfaceError, match="Wrong arguments in chgdeltatypes"):
        p.chgdeltatype([x], None, [1.0])
    with pytest.raises(korvu.SolverError, match="deltatypes"):
        p.chgdeltatype([x], [7], [1.0])
    with pytest.raises(korvu.SolverError, match="not a column information type"):
        p.getcolinfo(42, x)


def test_row_status_none_clears_and_copies_keep_the_data():
    p, x, y, c, d = model()
    p.chgrowstatus(c, 4)
    assert p.getrowstatus(c) == 4
    p.chgrowstatus(c, None)
    assert p.getrowstatus(c) == 0
    with pytest.raises(korvu.InterfaceError, match="Incorrect call to chgrowstatus"):
        p.chgrowstatus(c, 1.5)
    p.chgrowwt(d, 3.0)
    p.adddfs([x], [d], [2.0])
    p.addtolsets([1e-3] + [0.0] * 8)
    q = p.copy()
    assert q.getrowwt(1) == 3.0 and q.getdf(0, 1) == 2.0
    tols = []
    assert q.gettolset(1, tols) == 1
    # Deleting a row moves weights and factors with the rows that stay.
    p.delConstraint(c)
    assert p.getrowwt(0) == 3.0 and p.getdf(x, 0) == 2.0
