"""Members over the nonlinear solver's own calls: determined columns, measuring a
point, the last nonlinear solution and column properties."""
import math

import pytest

import korvu


def model():
    x = korvu.var(name="x", lb=0, ub=10)
    z = korvu.var(name="z", lb=0, ub=10)
    p = korvu.problem(x, z)
    p.controls.outputlog = 0
    c = korvu.constraint(x - 2 * korvu.exp(z) == 0, name="c")
    d = korvu.constraint(x + z <= 4, name="d")
    p.addConstraint(c, d)
    p.setObjective(x + 2 * z)
    return p, x, z, c, d


def test_cascade_recomputes_determined_columns_from_their_rows():
    p, x, z, c, d = model()
    p.chgvar(z, value=0.5)
    p.chgvar(x, detrow=c)
    p.cascade()
    assert p.getvar(x)[6] == pytest.approx(2 * math.exp(0.5), rel=1e-12)
    assert p.getvar(z)[6] == 0.5
    # The other direction needs Newton steps through the formula.
    p.chgvar(x, detrow=-1, value=6.0)
    p.chgvar(z, detrow=c)
    p.cascade()
    assert p.getvar(z)[6] == pytest.approx(math.log(3), abs=1e-9)
    # A column its row does not read is refused and nothing moves.
    p.chgvar(z, detrow=-1, value=1.0)
    p.chgvar(x, detrow=-1, value=7.0)
    q = korvu.var(name="q")
    p.addVariable(q)
    p.chgvar(q, detrow=c)
    with pytest.raises(korvu.SolverError, match="does not appear in its determining row"):
        p.cascade()
    assert p.getvar(x)[6] == 7.0


def test_validatevector_reports_the_violations_it_measures():
    p, x, z, c, d = model()
    # Row c: 3 - 2 exp(-0.5) off its right-hand side 0; z is 0.5 below its
    # bound; row d holds (2.5 <= 4).  Objective 3 - 1.
    rowc = 3 - 2 * math.exp(-0.5)
    suminf, scaled, obj = p.validatevector([3.0, -0.5])
    assert suminf == pytest.approx(rowc + 0.5, rel=1e-12)
    assert scaled == pytest.approx(rowc + 0.5, rel=1e-12)
    assert obj == pytest.approx(2.0, rel=1e-12)
    # At (2e, 1) row c holds and row d is over its limit 4 by 2e - 3, which
    # scales by 1/4.
    suminf, scaled, _ = p.validatevector([2 * math.e, 1.0])
    assert suminf == pytest.approx(2 * math.e - 3, rel=1e-12)
    assert scaled == pytest.approx((2 * math.e - 3) / 4, rel=1e-12)
    with pytest.raises(korvu.InterfaceError, match="Wrong vector size in validatevector"):
        p.validatevector([1.0])
    with pytest.raises(korvu.InterfaceError, match="Wrong arguments in validatevector"):
        p.validatevector(None)


def test_solution_properties_and_bad_indices():
    p, x, z, c, d = model()
    with pytest.raises(korvu.SolverError, match="no nonlinear solution"):
        p.getslpsol([])
    p.solve()
    xs, slack = [], []
    p.getslpsol(xs, slack)
    assert xs == pytest.approx(list(p.getSolution(x, z)))
    assert len(slack) == 2
    assert p.getrowstatus(c) == 0
    with pytest.raises(korvu.InterfaceError, match="^getrowstatus: .*'row'"):
        p.getrowstatus(7)
    p.chgvar(x, initvalue=1.5)
    p.delvars([x])
    assert math.isnan(p.getvar(x)[5])
    with pytest.raises(korvu.InterfaceError, match="Incorrect arguments to delvars"):
        p.delvars(None)


def test_text_formulas_round_trip_evaluate_and_delete():
    p, x, z, c, d = model()
    p.chgccoef(d, -1, 2.0, "exp(z) * x ^ 2")
    assert p.getccoef(d, -1, 200) == (2.0, "exp(z) * x ^ 2")
    p.chgvar(x, value=1.5)
    p.chgvar(z, value=0.5)
    assert p.evaluatecoef(d, -1) == pytest.approx(2 * math.exp(0.5) * 2.25, rel=1e-12)
    # factor None keeps the factor; the text is cut to the length asked for.
    p.chgccoef(d, -1, None, "z")
    assert p.getccoef(d, -1, 2) == (2.0, "z")
    assert p.getccoef(d, -1, 10000) == (2.0, "z")
    for flen in (0, 10001):
        with pytest.raises(korvu.InterfaceError, match="excessive formula length"):
            p.getccoef(d, -1, flen)
    with pytest.raises(korvu.InterfaceError, match="Wrong arguments in chgccoef"):
        p.chgccoef(d, -1, "two", "z")
    with pytest.raises(korvu.SolverError, match="unknown function 'foo'"):
        p.chgccoef(d, -1, 1.0, "foo(z)")
    assert p.getccoef(d, -1, 10) == (2.0, "z")  # a failed change leaves it
    assert p.evaluateformula(1, [22, 10, 12, 0], [0, 1, 16, 0]) == pytest.approx(math.exp(0.5))
    p.delcoefs([d], [-1])
    with pytest.raises(korvu.SolverError, match="no nonlinear coefficient"):
        p.getccoef(d, -1, 10)
    with pytest.raises(korvu.SolverError, match="no nonlinear coefficient"):
        p.delcoefs([d], [-1])
