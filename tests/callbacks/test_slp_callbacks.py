"""The nonlinear solver's callbacks: set semantics, the problem the callable sees,
results that steer the solve and the cascade, and exceptions that stop it."""
import math

import pytest

import korvu


def bowl():
    x = korvu.var(name="x", lb=-10, ub=10)
    y = korvu.var(name="y", lb=-10, ub=10)
    p = korvu.problem(x, y)
    p.controls.outputlog = 0
    p.setObjective(korvu.exp(x) - 2 * x + (y - 1) ** 2)
    p.chgvar(x, initvalue=3.0)
    p.chgvar(y, initvalue=3.0)
    return p, x, y


def nlstatus(p):
    return p.attributes.kslp_nlpstatus


def test_a_second_set_replaces_the_first_and_every_iteration_is_seen():
    p, x, y = bowl()
    calls = []
    p.setcbiterstart(lambda prob, data: calls.append("first"))
    p.setcbiterstart(lambda prob, data: calls.append(data), data="second")
    counts = []

    def on_end(prob, data):
        calls.append("end")
        counts.append(prob.attributes.kslp_iterations)

    p.setcbiterend(on_end)
    cols = []
    p.setcbitervar(lambda prob, data, col: cols.append(col))
    p.solve()
    assert p.getSolution(x) == pytest.approx(math.log(2), abs=1e-6)
    # Each iteration's end sees the iterations done so far.
    assert counts == list(range(1, len(counts) + 1))
    assert p.attributes.kslp_iterations == len(counts)
    assert "first" not in calls
    assert calls.count("second") == calls.count("end") >= 1
    # Columns are passed as library indices, the user's columns only.
    assert cols == [0, 1] * calls.count("end")


def test_the_callable_sees_a_view_of_the_problem_being_solved():
    p, x, y = bowl()
    seen = []

    def on_start(prob, data):
        seen.append((type(prob) is korvu.problem, prob is not p, prob.attributes.cols,
                     prob.controls.kslp_maxiter))
        return 0

    p.controls.kslp_maxiter = 77
    p.setcbslpstart(on_start)
    p.setcbslpend(lambda prob, data: seen.append("end"))
    p.solve()
    assert seen[0] == (True, True, p.attributes.cols, 77)
    assert seen[-1] == "end"


def test_integer_results_stop_the_solve_unfinished():
    p, x, y = bowl()
    p.setcbiterend(lambda prob, data: 1)
    p.solve()
    assert nlstatus(p) == 6
    count = []
    p.setcbiterend(lambda prob, data: count.append(1) or 0)
    p.setcbslpstart(lambda prob, data: 3)
    p.solve()
    assert nlstatus(p) == 6 and count == []


def test_drcol_sets_the_value_and_a_raising_drcol_stops_the_cascade():
    x = korvu.var(name="x", lb=0, ub=10)
    z = korvu.var(name="z", lb=0, ub=10)
    c = korvu.constraint(x - 2 * korvu.exp(z) == 0, name="c")
    p = korvu.problem(x, z, c)
    p.controls.outputlog = 0
    p.setObjective(x + 2 * z)
    p.chgvar(z, value=0.5)
    p.chgvar(x, detrow=c)
    got = []

    def drcol(prob, data, col, value, lb, ub):
        got.append((col, value, lb, ub))
        return 2.5

    p.setcbdrcol(drcol)
    events = []
    p.setcbcascadestart(lambda prob, data: events.append("start"))
    p.setcbcascadevar(lambda prob, data, col: events.append(col))
    p.setcbcascadeend(lambda prob, data: events.append("end"))
    p.cascade()
    assert got[0] == (0, pytest.approx(2 * math.exp(0.5)), 0.0, 10.0)
    assert p.getvar(x)[6] == 2.5
    assert events[0] == "start" and events[1] == 0 and events[-1] == "end"

    def bad(prob, data, col, value, lb, ub):
        raise ZeroDivisionError("drcol failed")

    p.setcbdrcol(bad)
    p.chgvar(x, value=7.0)
    with pytest.raises(ZeroDivisionError, match="drcol failed"):
        p.cascade()
    assert p.getvar(x)[6] == 7.0


def test_exceptions_and_refused_setters():
    p, x, y = bowl()

    def boom(prob, data):
        raise ValueError("boom")

    p.setcbiterend(boom)
    with pytest.raises(ValueError, match="boom"):
        p.solve()
    p.setcbiterend(lambda prob, data: 0)
    p.setcbitervar(lambda prob, data, col: 1 / 0)
    with pytest.raises(ZeroDivisionError):
        p.solve()
    p.setcbitervar(lambda prob, data, col: None)
    p.solve()
    assert nlstatus(p) == 1
    for bad in [(5,), (None,), (lambda *a: 0, None, 1.5), (lambda *a: 0, None, True)]:
        with pytest.raises(korvu.InterfaceError, match="Cannot add callback"):
            p.setcbiterstart(*bad)


def test_coefevalerror_names_the_row_and_the_message_callback_gets_lines():
    x = korvu.var(name="x", lb=-5, ub=5)
    c = korvu.constraint(korvu.log(x) <= 3, name="c")
    p = korvu.problem(x, c)
    p.setObjective(x ** 2)
    p.chgvar(x, initvalue=-1.0)
    errors = []
    p.setcbcoefevalerror(lambda prob, data, row, col: errors.append((row, col)) or 1)
    lines = []
    p.setcbmessage(lambda prob, data, msg, msgtype: lines.append(msg))
    p.controls.kslp_log = 1
    p.solve()
    assert errors and errors[0][0] == 0
    assert nlstatus(p) == 6
    assert any("Nonlinear solve" in m for m in lines)


def test_node_kinds_of_the_nonlinear_search_and_slpnode_set_twice():
    x = korvu.var(name="x", lb=-5, ub=5, vartype=korvu.integer)
    y = korvu.var(name="y", lb=-5, ub=5)
    p = korvu.problem(x, y)
    p.controls.outputlog = 0
    p.addConstraint(x ** 2 + y ** 2 <= 10.5)
    p.setObjective(-(x + korvu.sin(y)))
    first, second, incumbents, after, before = [], [], [], [], []
    p.setcbslpnode(lambda prob, data: first.append(1))
    p.setcbslpnode(lambda prob, data: second.append(1))
    p.setcbintsol(lambda prob, data: incumbents.append(prob.getSolution(x)))
    p.setcboptnode(lambda prob, data: after.append(1) or 1)
    p.setcbprenode(lambda prob, data: before.append(1) or 0)
    p.solve()
    assert p.getSolution(x) == 3.0
    assert p.getSolution(y) == pytest.approx(math.sqrt(1.5), abs=1e-6)
    assert first == [] and len(second) >= 1
    assert incumbents and len(after) >= 1 and len(before) >= 1
