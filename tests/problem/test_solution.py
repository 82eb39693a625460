"""Solution queries: addressing forms, refusals, MIP rules, and duality checks."""
import itertools

import numpy as np
import pytest

import korvu


@pytest.fixture(autouse=True)
def _quiet():
    korvu.setOutputEnabled(False)


def small_lp():
    """min x0 + 2 x1 + 3 x2  s.t.  c1: x0 + x1 >= 1,  c2: x1 + x2 >= 2 (optimum x1 = 2)."""
    x = [korvu.var(name="x%d" % i) for i in range(3)]
    c = [korvu.constraint(x[0] + x[1] >= 1, name="c1"), korvu.constraint(x[1] + x[2] >= 2, name="c2")]
    p = korvu.problem(name="small")
    p.addVariable(x)
    p.addConstraint(c)
    p.setObjective(x[0] + 2 * x[1] + 3 * x[2])
    p.solve()
    return p, x, c


def test_whole_vectors_and_objective():
    p, x, c = small_lp()
    assert p.getSolution() == pytest.approx([0.0, 2.0, 0.0])
    assert p.getObjVal() == pytest.approx(4.0)
    assert len(p.getSlack()) == 2 and len(p.getDual()) == 2 and len(p.getRCost()) == 3
    assert all(type(v) is float for v in p.getSolution())


def test_shapes_of_getSolution():
    p, (x, y, z), _ = small_lp()
    r = p.getSolution(x, [y, z])
    assert isinstance(r, tuple) and isinstance(r[1], list)
    assert r[0] == pytest.approx(0.0) and r[1] == pytest.approx([2.0, 0.0])
    assert p.getSolution(x, [y, z], flatten=True) == pytest.approx([0.0, 2.0, 0.0])
    assert p.getSolution({"a": y}) == {"a": pytest.approx(2.0)}
    assert p.getSolution(y) == pytest.approx(2.0)
    # flatten is compared with True itself
    assert isinstance(p.getSolution(x, [y, z], flatten=1), tuple)
    # integers and names stand for columns in both forms
    assert p.getSolution(1) == pytest.approx(2.0)
    assert p.getSolution(1, flatten=True) == pytest.approx(2.0)
    assert p.getSolution("x1", flatten=True) == pytest.approx(2.0)
    assert p.getSolution(([0], (2, "x1")), flatten=True) == pytest.approx([0.0, 0.0, 2.0])
    assert p.getSolution(iter([y, x]), flatten=True) == pytest.approx([2.0, 0.0])
    with pytest.raises(TypeError):
        p.getSolution(x, flat=True)


def test_row_addressing_and_refusals():
    p, x, (c1, c2) = small_lp()
    assert isinstance(p.getSlack(0), float)
    assert p.getSlack(0) == p.getSlack("c1") == p.getSlack(c1)
    assert p.getSlack([c2, 0, "c2"]) == pytest.approx([p.getSlack(1), p.getSlack(0), p.getSlack(1)])
    assert p.getDual(c2) == pytest.approx(2.0)
    for bad in (-1, 2, "nosuchrow", [0, 5]):
        with pytest.raises(korvu.ModelError, match="^Index out of range$"):
            p.getSlack(bad)
    # rows are not columns and vice versa; other objects are refused
    for bad in (x[0], 1.5, [0, None]):
        with pytest.raises(korvu.ModelError, match="need index, variable, constraint, or SOS"):
            p.getDual(bad)
    with pytest.raises(korvu.ModelError, match="need index"):
        p.getRCost(c1)
    with pytest.raises(korvu.ModelError, match="^Index out of range$"):
        p.getRCost(3)
    # a variable of another problem is not in this one
    with pytest.raises(korvu.ModelError, match="^Index out of range$"):
        p.getSolution(korvu.var(), flatten=True)
    with pytest.raises(korvu.ModelError, match="^Index out of range$"):
        p.getRCost("c1")  # a row name is looked up among columns


def test_mip_has_no_duals_and_reads_best_objective():
    x = korvu.var(vartype=korvu.integer, ub=10)
    y = korvu.var(vartype=korvu.binary)
    p = korvu.problem()
    p.addVariable(x, y)
    p.addConstraint(2 * x + 3 * y <= 7.5)
    p.setObjective(-x - 2 * y)
    p.solve()
    with pytest.raises(korvu.SolverError, match="^Cannot retrieve dual variables in a MIP$"):
        p.getDual()
    with pytest.raises(korvu.SolverError, match="^Cannot retrieve reduced cost in a MIP$"):
        p.getRCost(0)
    assert p.getObjVal() == pytest.approx(-4.0)
    assert p.getSolution(x, y) == pytest.approx((2.0, 1.0))
    assert p.getSlack(0) == pytest.approx(7.5 - 7.0)


def test_transportation_duals_satisfy_complementary_slackness():
    supply = [350, 600, 400]
    demand = [325, 300, 275, 250]
    cost = [[2.5, 1.7, 1.8, 2.2], [2.5, 1.8, 1.4, 2.6], [2.9, 2.1, 2.4, 1.5]]
    I, J = range(3), range(4)
    x = {(i, j): korvu.var(name="x_%d_%d" % (i, j)) for i in I for j in J}
    p = korvu.problem(name="transport")
    p.addVariable(list(x.values()))
    sup = [korvu.Sum(x[i, j] for j in J) <= supply[i] for i in I]
    dem = [korvu.Sum(x[i, j] for i in I) >= demand[j] for j in J]
    p.addConstraint(sup, dem)
    p.setObjective(korvu.Sum(cost[i][j] * x[i, j] for i in I for j in J))
    p.solve()
    obj = p.getObjVal()
    xv = dict(zip(x, p.getSolution(list(x.values()), flatten=True)))
    u, v = p.getDual(sup), p.getDual(dem)
    s_sup, s_dem = p.getSlack(sup), p.getSlack(dem)
    rc = dict(zip(x, p.getRCost(list(x.values()))))
    # feasibility and strong duality
    assert all(sum(xv[i, j] for j in J) <= supply[i] + 1e-6 for i in I)
    assert all(sum(xv[i, j] for i in I) >= demand[j] - 1e-6 for j in J)
    assert obj == pytest.approx(sum(cost[i][j] * xv[i, j] for i, j in x))
    assert obj == pytest.approx(sum(map(lambda a, b: a * b, supply, u)) + sum(map(lambda a, b: a * b, demand, v)))
    # reduced costs are c - A'y, non-negative, zero on positive columns
    for i, j in x:
        assert rc[i, j] == pytest.approx(cost[i][j] - u[i] - v[j], abs=1e-7)
        assert rc[i, j] >= -1e-7
        assert xv[i, j] * rc[i, j] == pytest.approx(0.0, abs=1e-6)
    # a row with slack has no dual value, and dual signs follow the row sense
    for dual, slack in itertools.chain(zip(u, s_sup), zip(v, s_dem)):
        assert dual * slack == pytest.approx(0.0, abs=1e-6)
    assert all(d <= 1e-9 for d in u) and all(d >= -1e-9 for d in v)


def test_numpy_addressing():
    p, (x, y, z), (c1, c2) = small_lp()
    shaped = p.getSolution(np.array([[x, y], [z, x]]))
    assert isinstance(shaped, np.ndarray) and shaped.shape == (2, 2)
    assert shaped.ravel().tolist() == pytest.approx([0.0, 2.0, 0.0, 0.0])
    assert p.getSolution(np.array([y, z]), flatten=True) == pytest.approx([2.0, 0.0])
    for dtype in (np.int64, np.int32, np.uint8):
        assert p.getSolution(np.array([1, 0], dtype=dtype), flatten=True) == pytest.approx([2.0, 0.0])
    assert p.getDual(np.array([1])) == pytest.approx([2.0])
    assert p.getSlack(np.int64(1)) == p.getSlack(1)
    with pytest.raises(korvu.ModelError, match="^Index out of range$"):
        p.getRCost(np.array([0, 3]))


def test_queries_before_a_solve_fail_with_their_texts():
    x = korvu.var()
    p = korvu.problem()
    p.addVariable(x)
    p.addConstraint(x <= 1)
    with pytest.raises(korvu.SolverError, match="^Could not get constraints' slack$"):
        p.getSlack()
    with pytest.raises(korvu.SolverError, match="^Could not get dual solution$"):
        p.getDual(0)
    with pytest.raises(korvu.SolverError, match="^Could not retrieve reduced costs$"):
        p.getRCost(x)
    with pytest.raises(korvu.SolverError) as err:
        p.getSolution(x)
    assert str(err.value)  # the library's own text
