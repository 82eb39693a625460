import pytest

import korvu


@pytest.fixture
def prob():
    x = korvu.var(name="x", ub=10)
    y = korvu.var(name="y", ub=10)
    return korvu.problem(x, y, x + y <= 12), x, y


def bounds(bo, i):
    t, c, v = [], [], []
    n = bo.getbounds(i, 10, t, c, v)
    return n, list(zip(t, [str(cc) for cc in c], v))


def rows(bo, i):
    t, r, b, c, v = [], [], [], [], []
    bo.getrows(i, 10, 10, t, r, b, c, v)
    return t, r, b, [str(cc) for cc in c], v


def test_branches_from_bound_constraints(prob):
    p, x, y = prob
    bo = korvu.branchobj(p, [x <= 3, x >= 4])
    assert bo.getbranches() == 2
    assert bounds(bo, 0) == (1, [("U", "x", 3.0)])
    assert bounds(bo, 1) == (1, [("L", "x", 4.0)])
    bo = korvu.branchobj(p, [2 * x <= 6, -x <= -4, [1 <= x, x <= 2]])
    assert bounds(bo, 0) == (1, [("U", "x", 3.0)])
    assert bounds(bo, 1) == (1, [("L", "x", 4.0)])
    assert bounds(bo, 2)[0] == 2


def test_branches_from_rows(prob):
    p, x, y = prob
    bo = korvu.branchobj(p, [x + y <= 1])
    assert rows(bo, 0) == (["L"], [1.0], [0], ["x", "y"], [1.0, 1.0])
    bo = korvu.branchobj(p, [korvu.constraint(body=x + y, lb=2, ub=5)])
    t, r, b, c, v = rows(bo, 0)
    assert t == ["G", "L"] and r == [2.0, 5.0]
    # Rows are kept, but the search branches on bounds only.
    assert bo.validate() == 1


def test_refusals(prob):
    p, x, y = prob
    with pytest.raises(korvu.ModelError, match="isoriginal flag is false"):
        korvu.branchobj(p, [x <= 3], isoriginal=False)
    with pytest.raises(korvu.ModelError, match="Incorrect creation of branching object"):
        korvu.branchobj(3)
    with pytest.raises(korvu.ModelError, match="must be a list or a tuple"):
        korvu.branchobj(p, x <= 3)
    with pytest.raises(korvu.ModelError, match="Branch 1 is invalid"):
        korvu.branchobj(p, [x <= 3, 5])
    with pytest.raises(korvu.ModelError, match="quadratic or nonlinear"):
        korvu.branchobj(p, [x * x <= 3])
    with pytest.raises(korvu.ModelError, match="not been added"):
        korvu.branchobj(p, [korvu.var() <= 3])


def test_empty_and_presolved_objects(prob):
    p, x, y = prob
    bo = korvu.branchobj(p, isoriginal=False)
    assert bo.getbranches() == 0
    bo.addbranches(1)
    bo.addbounds(0, ["U"], [1], [2.5])
    t, c, v = [], [], []
    assert bo.getbounds(0, 5, t, c, v) == 1 and c == [1]
    with pytest.raises(korvu.SolverError, match="bndcol|colind"):
        bo.addbounds(0, ["U"], [7], [2.5])
    code, text = bo.getlasterror()
    assert "colind" in text


def test_store_outside_a_node_fails_and_keeps_the_object(prob):
    p, x, y = prob
    bo = korvu.branchobj(p, [x <= 3, x >= 4])
    with pytest.raises(korvu.SolverError, match="optnode"):
        bo.store()
    assert bo.getbranches() == 2
    assert bo.validate() == 1
    assert bo.getid() == 0
    bo.setpriority(3)
    bo.setpreferredbranch(1)
    with pytest.raises(korvu.SolverError):
        bo.setpreferredbranch(5)


def test_handle_types_exist():
    assert korvu.poolcut() is not None
    assert isinstance(korvu.branchobj, type)
