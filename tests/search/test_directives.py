"""Branching directives, model cuts and delayed rows: what the search does with them,
the members' refusals, and directives files."""
import pytest

import korvu


@pytest.fixture
def twin():
    """max x + y - 10u - 10v with 2x - u <= 3 and 2y - v <= 3: the root relaxation has
    x = y = 1.5, so the root branches on one of them; the optimum is 2."""
    x = korvu.var(name="x", ub=10, vartype=korvu.integer)
    y = korvu.var(name="y", ub=10, vartype=korvu.integer)
    u = korvu.var(name="u")
    v = korvu.var(name="v")
    p = korvu.problem(x, y, u, v, 2 * x - u <= 3, 2 * y - v <= 3, name="twin")
    p.setObjective(x + y - 10 * u - 10 * v, sense=korvu.maximize)
    p.controls.outputlog = 0
    p.controls.cutstrategy = 0
    p.controls.heureffort = 0
    p.controls.sbcandidates = 0
    return p, x, y, u, v


def root_branch(p):
    """The bounds of the root's first (preferred) branch, as (type, name, value)."""
    seen = []

    def chg(prob, data, bo):
        if prob.attributes.currentnode == 0:
            t, c, v = [], [], []
            bo.getbounds(0, 10, t, c, v)
            seen.append(list(zip(t, [str(cc) for cc in c], v)))
    p.addcbchgbranchobject(chg)
    p.mipoptimize()
    p.removecbchgbranchobject(chg)
    assert p.attributes.mipstatus == 6
    assert p.attributes.mipbestobjval == pytest.approx(2.0)
    return seen[0]


def test_priorities_and_directions_choose_the_branching(twin):
    p, x, y, u, v = twin
    p.loaddirs([x, y], [3, 1], ["N", "D"])
    assert root_branch(p) == [("U", "y", 1.0)]
    p.loaddirs(["x", y], [0, 1], ["U", "N"])  # names are columns too
    assert root_branch(p) == [("L", "x", 2.0)]
    p.loaddirs([])
    p.loadbranchdirs([y], [-1])
    assert root_branch(p) == [("U", "y", 1.0)]


def test_pseudo_costs_steer_the_choice(twin):
    p, x, y, u, v = twin
    assert root_branch(p)[0][1] == "x"  # equal scores: the first column
    p.loadpresolvedirs([y], None, None, [100.0], [100.0])
    assert root_branch(p)[0][1] == "y"


def test_getdirs_fills_the_lists_and_keeps_them_without_directives(twin):
    p, x, y, u, v = twin
    lists = [[1], [2], [3], [4], [5]]
    assert p.getdirs(*lists) is None
    assert lists == [[1], [2], [3], [4], [5]]
    p.loaddirs([y, x], [4, 2], ["U", "D"], [1.5, -3.0])
    kept = lists[0]
    p.getdirs(*lists)
    assert lists[0] is kept
    assert [str(c) for c in lists[0]] == ["x", "y"]
    assert lists[1:] == [[2, 4], ["D", "U"], [-1.0, 1.5], [-1.0, -1.0]]
    with pytest.raises(korvu.InterfaceError, match=r"Must provide arguments \(as lists\) to getdirs"):
        p.getdirs([], None, [], [], [])
    with pytest.raises(korvu.InterfaceError, match="as lists"):
        p.getdirs([], (), [], [], [])


def test_refusals(twin):
    p, x, y, u, v = twin
    p.loaddirs([x], [7])
    cases = [
        (lambda: p.loaddirs(None), korvu.InterfaceError, "Must provide argument mcols"),
        (lambda: p.loadpresolvedirs(None, [1]), korvu.InterfaceError, "Must provide argument mcols"),
        (lambda: p.loadbranchdirs(None, [1]), korvu.InterfaceError, "Must provide argument mcols"),
        (lambda: p.loadmodelcuts(None), korvu.InterfaceError, "Must provide argument mrows"),
        (lambda: p.loaddelayedrows(None), korvu.InterfaceError, "Must provide argument mrows"),
        (lambda: p.loaddirs([x, y], [1]), korvu.ModelError, "Mismatched lengths"),
        (lambda: p.loaddirs([x], None, ["Q"]), korvu.SolverError, "qbr"),
        (lambda: p.loaddirs([x], [-4]), korvu.SolverError, "mpri"),
        (lambda: p.loadmodelcuts([7]), korvu.SolverError, "mrows"),
    ]
    for call, exc, text in cases:
        with pytest.raises(exc) as e:
            call()
        if text:
            assert text in str(e.value)
        pri = [[], [], [], [], []]
        p.getdirs(*pri)
        assert pri[1] == [7]  # nothing changed


def test_delayed_rows_and_model_cuts_hold_in_the_solution():
    for mark in ("loaddelayedrows", "loadmodelcuts"):
        for solver in (0, 1, 2):
            x = korvu.var(name="x", vartype=korvu.integer)
            y = korvu.var(name="y", vartype=korvu.integer)
            c = x + y <= 4
            p = korvu.problem(x, y, c, 3 * x - y <= 9)
            p.setObjective(x + 2 * y, sense=korvu.maximize)
            p.controls.outputlog = 0
            p.controls.mipsolver = solver
            getattr(p, mark)([c])
            p.mipoptimize()
            assert p.attributes.mipstatus == 6, (mark, solver)
            sx, sy = p.getSolution([x, y])
            assert sx + sy <= 4 + 1e-9
            assert p.attributes.mipbestobjval == pytest.approx(8.0)


def test_model_cuts_give_the_plain_optimum():
    def knapsack(mark):
        w = [12, 7, 11, 8, 9, 6, 13, 5]
        val = [24, 13, 23, 15, 16, 11, 25, 9]
        x = [korvu.var(vartype=korvu.binary) for _ in w]
        rows = [korvu.Sum(wi * xi for wi, xi in zip(w, x)) <= 31.5, x[0] + x[2] + x[6] <= 2]
        p = korvu.problem(x, rows)
        p.setObjective(korvu.Sum(vi * xi for vi, xi in zip(val, x)), sense=korvu.maximize)
        p.controls.outputlog = 0
        if mark:
            p.loadmodelcuts(rows)
        p.mipoptimize()
        return p.attributes.mipbestobjval, p.getSolution(x)
    plain, _ = knapsack(False)
    lazy, sol = knapsack(True)
    assert lazy == pytest.approx(plain)
    assert sol[0] + sol[2] + sol[6] <= 2 + 1e-9


def test_deleting_a_variable_drops_its_directive(twin):
    p, x, y, u, v = twin
    p.loaddirs([x, y, v], [1, 2, 3])
    p.delVariable(y)
    got = [[], [], [], [], []]
    p.getdirs(*got)
    assert [str(c) for c in got[0]] == ["x", "v"]
    assert got[1] == [1, 3]


def test_directives_file_round_trip_and_errors(twin, tmp_path):
    p, x, y, u, v = twin
    p.loaddirs([x, y], [2, 9], ["U", "N"], [0.25, -1], [-1, 4.0])
    f = str(tmp_path / "twin.dir")
    p.writedirs(f)
    text = open(f).read()
    assert " UP x 2" in text and " PR y 9" in text and " UC x 0.25" in text
    p.loaddirs([])
    p.readdirs(f)
    got = [[], [], [], [], []]
    p.getdirs(*got)
    assert [str(c) for c in got[0]] == ["x", "y"]
    assert got[1:] == [[2, 9], ["U", "N"], [0.25, -1.0], [-1.0, 4.0]]
    with open(f, "w") as fh:
        fh.write(" DN y 3\n UP z 1\n")
    with pytest.raises(korvu.SolverError, match=r"twin.dir:2: unknown column 'z'"):
        p.readdirs(f)
    p.getdirs(*got)
    assert got[1] == [2, 9]
