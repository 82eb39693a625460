"""The nonlinear solver's validation and state members: what they measure at the
current point, what they leave for the next solve, and their refusals."""
import math

import pytest

import korvu


def model():
    x = korvu.var(name="x", lb=0, ub=10)
    z = korvu.var(name="z", lb=0, ub=10)
    p = korvu.problem(x, z)
    c = korvu.constraint(x - 2 * korvu.exp(z) == 0, name="c")
    d = korvu.constraint(x + z <= 4, name="d")
    p.addConstraint(c, d)
    p.setObjective(x + 2 * z)
    return p, x, z, c, d


def lines(capfd, p, member, *args):
    """The log lines a member sends through the nonlinear message callback
    (which the problem prints)."""
    capfd.readouterr()
    getattr(p, member)(*args)
    return capfd.readouterr().out.splitlines()


def test_validate_and_validaterow_measure_the_current_point():
    p, x, z, c, d = model()
    p.controls.outputlog = 0
    # Before a solve the point is the columns' values: row c is off by 1
    # (3 - 2 e^0), row d holds.
    p.chgvar(x, value=3.0)
    p.chgvar(z, value=0.0)
    p.validate()
    a = p.attributes
    assert a.kslp_validationmax == pytest.approx(1.0)
    assert a.kslp_validationsum == pytest.approx(1.0)
    assert a.kslp_validationrow == p.getIndex(c)
    assert a.kslp_validationcol == -1
    assert a.kslp_validationstatus == 1
    p.chgvar(x, value=11.0)  # now a bound is violated too, by 1, and row c by 9
    p.validate()
    assert a.kslp_validationmax == pytest.approx(9.0)
    assert a.kslp_validationcol == p.getIndex(x)
    p.validaterow(d)
    assert a.kslp_validationmax == pytest.approx(7.0) and a.kslp_validationrow == p.getIndex(d)
    # At the solution nothing is violated.
    p.nlpoptimize()
    p.validate()
    assert a.kslp_validationmax <= 1e-7 and a.kslp_validationstatus == 0
    with pytest.raises(korvu.SolverError, match="row"):
        p.validaterow(99)


def test_validation_and_report_lines_reach_the_message_callback(capfd):
    p, x, z, c, d = model()
    p.nlpoptimize()
    assert any("Validation of 2 rows" in m for m in lines(capfd, p, "validate"))
    assert any(m.startswith("Row c: activity") for m in lines(capfd, p, "validaterow", c))
    evals = lines(capfd, p, "printevalinfo")
    assert any(m.startswith("Evaluations:") for m in evals)
    assert any("No linearisation held" in m for m in evals)
    assert any("1 nonlinear rows" in m for m in lines(capfd, p, "updatelinearization"))
    assert any("Linearisation held" in m for m in lines(capfd, p, "printevalinfo"))
    memory = lines(capfd, p, "printmemory")
    assert memory[0].startswith("Memory of the nonlinear problem") and len(memory) > 3
    # The output switch silences them like the solver's own lines.
    p.controls.outputlog = 0
    assert lines(capfd, p, "validate") == []


def test_validatekkt_with_stored_and_computed_multipliers():
    p, x, z, c, d = model()
    p.controls.outputlog = 0
    with pytest.raises(korvu.SolverError, match="no multipliers"):
        p.validatekkt(0, 0, 0, 1e-6)
    p.nlpoptimize()
    p.validatekkt(0, 0, 0, 1e-6)
    assert p.attributes.kslp_validationkkt <= 1e-6 and p.attributes.kslp_validationstatus == 0
    # Spoil the stored multipliers: the check with them fails, the computed
    # ones pass and, when asked, replace them.
    dual = []
    p.getslpsol(None, None, dual, None)
    p.validatekkt(1, 0, 1, 1e-6)
    assert p.attributes.kslp_validationkkt <= 1e-6
    again = []
    p.getslpsol(None, None, again, None)
    assert again == pytest.approx(dual, abs=1e-5)
    p.validatekkt(1, 0, 0, 0.0)
    for bad in [("0", 0, 0, 1e-6), (0, 0, 0, "x"), (0.5, 0, 0, 1e-6)]:
        with pytest.raises(korvu.InterfaceError, match="Wrong arguments in validatekkt"):
            p.validatekkt(*bad)
    with pytest.raises(korvu.SolverError, match="calculationmode"):
        p.validatekkt(2, 0, 0, 1e-6)


def test_computed_multipliers_of_a_maximisation_match_the_solve():
    x = korvu.var(name="x", lb=-5, ub=5)
    y = korvu.var(name="y", lb=-5, ub=5)
    p = korvu.problem(x, y)
    p.controls.outputlog = 0
    p.addConstraint(x * x + y * y <= 4, x - y >= -1)
    p.setObjective(korvu.log(3 + x) + 2 * y, sense=korvu.maximize)
    p.solve()
    p.validatekkt(0, 0, 0, 1e-6)
    assert p.attributes.kslp_validationstatus == 0
    before = []
    p.getslpsol(None, None, before, None)
    p.validatekkt(1, 1, 1, 1e-6)
    assert p.attributes.kslp_validationkkt <= 1e-9
    after = []
    p.getslpsol(None, None, after, None)
    assert after == pytest.approx(before, abs=1e-6)
    assert after[0] > 0 and after[1] < 0  # the disc binds (<=), and so does x - y >= -1


def test_fixpenalties_holds_errors_until_reinitialize():
    p, x, z, c, d = model()
    p.controls.outputlog = 0
    p.nlpoptimize()
    assert p.fixpenalties() == 0  # at the solution every error is 0
    p.nlpoptimize()
    assert p.getObjVal() == pytest.approx(2.0, abs=1e-6)
    # Held at the violation of a start point, row c keeps that error.
    p.reinitialize()
    p.chgvar(x, value=3.0)
    p.chgvar(z, value=0.0)
    assert p.fixpenalties() == 1
    p.nlpoptimize()
    p.validaterow(c)
    assert p.attributes.kslp_validationmax == pytest.approx(1.0, abs=1e-4)
    p.reinitialize()
    assert p.getProbStatus() == 0
    p.nlpoptimize()
    assert p.getSolution(x, z) == pytest.approx([2.0, 0.0], abs=1e-6)


def test_reinitialize_and_setcurrentiv_choose_the_next_start():
    p, x, z, c, d = model()
    p.controls.outputlog = 0
    p.chgvar(z, initvalue=1.0)
    p.nlpoptimize()
    iterations = p.attributes.kslp_iterations
    assert iterations > 0
    p.setcurrentiv()
    assert p.getvar(x)[5] == pytest.approx(2.0, abs=1e-6)  # initvalue
    p.nlpoptimize()
    assert p.attributes.kslp_iterations <= 1
    p.reinitialize()
    assert p.getvar(x)[6] == 0.0  # the current value is forgotten
    with pytest.raises(korvu.SolverError):
        p.getslpsol([], None, None, None)


def test_presolve_tightens_bounds_for_the_solves_only():
    p, x, z, c, d = model()
    p.controls.outputlog = 0
    p.presolve()
    assert p.attributes.kslp_status & 0x20000000
    ub = []
    p.getub(ub, x, x)
    assert ub == [10.0]  # the problem's own bound stays
    p.nlpoptimize()
    assert p.getObjVal() == pytest.approx(2.0, abs=1e-6)
    # Bounds derived from a row stop applying once the row changes: with d
    # loosened to 8 the optimum of -x - z moves past the old bound 4.
    p.setObjective(-x)
    p.presolve()
    assert p.attributes.kslp_status & 0x20000000
    p.chgrhs([d], [8.0])
    p.nlpoptimize()
    assert p.getSolution(x) > 4.5
    # A new objective brings the problem back (postsolve forgets the bounds).
    p.setObjective(-x - z)
    assert not p.attributes.kslp_status & 0x20000000
    # Rows the bounds cannot meet are refused, and nothing is held.
    q, qx, qz, qc, qd = model()
    q.addConstraint(korvu.constraint(qx + qz >= 25, name="far"))
    with pytest.raises(korvu.SolverError, match="far"):
        q.presolve()
    assert not q.attributes.kslp_status & 0x20000000


def test_scaling_leaves_the_optimum_of_a_badly_scaled_row():
    x = korvu.var(name="x", lb=0, ub=10)
    z = korvu.var(name="z", lb=0, ub=3)
    p = korvu.problem(x, z)
    p.controls.outputlog = 0
    p.addConstraint(1e5 * (x - 2 * korvu.exp(z)) == 0, x + z <= 4)
    p.setObjective(-x - z)
    p.scaling()
    p.nlpoptimize()
    p.validate()
    assert p.attributes.kslp_validationmax <= 1e-4
    # On the row x = 2 e^z with x + z = 4 at the optimum.
    xs, zs = p.getSolution(x, z)
    assert xs + zs == pytest.approx(4.0, abs=1e-6)
    assert xs == pytest.approx(2 * math.exp(zs), abs=1e-6)
