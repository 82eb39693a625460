"""loadproblem: the optional groups, the matrix forms, and the objects it makes."""
import pytest

import korvu

BASE = dict(probname="lp", qrtypes=["L", "G"], rhs=[4.0, 1.0], range=None, obj=[-1.0, -2.0, 0.5],
            mstart=[0, 2, 4, 5], mnel=None, mrwind=[0, 1, 0, 1, 1], dmatval=[1.0, 1.0, 1.0, 1.0, 1.0],
            dlb=[0.0, 0.0, 0.0], dub=[10.0, 3.0, 8.0])


def load(**extra):
    p = korvu.problem()
    p.controls.outputlog = 0
    p.loadproblem(**{**BASE, **extra})
    return p


def test_groups_are_given_whole():
    with pytest.raises(korvu.InterfaceError, match="quadratic objective component"):
        load(mqcol1=[0], mqcol2=[0])
    with pytest.raises(korvu.InterfaceError, match="quadratic rows component"):
        load(qcrows=[0], qcnquads=[1])
    with pytest.raises(korvu.InterfaceError, match="global entities"):
        load(qgtype=["I"])
    with pytest.raises(korvu.InterfaceError, match="for the SOS"):
        load(qstype=["1"], msstart=[0, 2])
    p = load(mqcol1=[0], mqcol2=[0], dqe=[2.0])
    assert p.getqobj(0, 0) == 2.0 and p.attributes.qelems == 1


def test_entities_sets_and_the_objects_made():
    p = load(qgtype=["I", "P"], mgcols=[2, 1], dlim=None)
    v = p.getVariable()
    assert [x.vartype for x in v] == [korvu.continuous, korvu.partiallyinteger, korvu.integer]
    p = load(qgtype=["P"], mgcols=[2], dlim=[5.0], colnames=["a", "b", "c"], rownames=["r", "s"])
    assert p.getVariable()[2].threshold == 5.0 and [str(x) for x in p.getVariable()] == ["a", "b", "c"]
    assert [str(c) for c in p.getConstraint()] == ["r", "s"] and p.getnamelist(1) == ["r", "s"]
    p = load(qstype=["1"], msstart=[0, 2], mscols=[0, 1], dref=[1.0, 2.0])  # sets alone make it global
    assert p.attributes.sets == 1
    p.solve()
    x = p.getSolution()
    assert min(x[0], x[1]) == 0.0


def test_column_starts_with_and_without_counts():
    with pytest.raises(korvu.ModelError, match="expected 4, found 3"):
        load(mstart=[0, 2, 4])
    p = load(mstart=[0, 2, 4], mnel=[2, 2, 1])
    q = load()
    p.solve()
    q.solve()
    assert p.getObjVal() == q.getObjVal()


def test_loading_replaces_what_the_problem_held_and_a_refusal_keeps_it():
    y = korvu.var(name="old")
    p = korvu.problem(y, y <= 1, name="before")
    p.controls.outputlog = 0
    with pytest.raises(korvu.SolverError):
        p.loadproblem(**{**BASE, "mrwind": [0, 1, 0, 1, 9]})  # row 9 does not exist
    assert p.getVariable() == [y] and p.attributes.cols == 1
    p.loadproblem(**BASE)
    assert len(p.getVariable()) == 3 and all(v is not y for v in p.getVariable())
    with pytest.raises(korvu.ModelError, match="^Variable old not in problem$"):
        p.chgobj([y], [1.0])
    rows = []
    p.getcols(None, rows, None, 10, 0, 0)
    assert rows == p.getConstraint()
