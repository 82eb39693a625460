"""Mixed-integer nonlinear problems: the library's search with nonlinear node
relaxations, checked against enumeration, with its callbacks and statuses."""
import itertools
import math

import pytest

import korvu


def quiet(p):
    p.controls.outputlog = 0
    return p


def circle(radius2):
    """Integer points in a disc maximising 3x + 2y; the disc is a nonlinear row."""
    x = korvu.var(name="x", lb=-5, ub=5, vartype=korvu.integer)
    y = korvu.var(name="y", lb=-5, ub=5, vartype=korvu.integer)
    p = quiet(korvu.problem(x, y))
    p.addConstraint(korvu.sqrt(x * x + y * y + 1) <= math.sqrt(radius2 + 1))
    p.setObjective(3 * x + 2 * y, sense=korvu.maximize)
    return p, x, y


@pytest.mark.parametrize("radius2", [12, 20, 30])
def test_integer_points_in_a_disc_match_enumeration(radius2):
    p, x, y = circle(radius2)
    p.solve()
    best = max(3 * a + 2 * b for a, b in itertools.product(range(-5, 6), repeat=2) if a * a + b * b <= radius2)
    assert p.getProbStatusString() == "nlp_solution"
    assert p.attributes.mipstatus == 6  # mip_optimal
    assert p.attributes.kslp_mipstatus == 6
    assert p.getObjVal() == pytest.approx(best, abs=1e-6)
    a, b = p.getSolution(x, y)
    assert a == pytest.approx(round(a), abs=1e-6) and round(a) ** 2 + round(b) ** 2 <= radius2
    assert p.attributes.mipbestobjval == pytest.approx(best, abs=1e-6)
    assert p.attributes.bestbound == pytest.approx(best, abs=1e-5)
    assert p.attributes.nodes == p.attributes.kslp_nodes >= 1


@pytest.mark.parametrize("algorithm", [0, 1])
def test_either_local_solver_solves_the_nodes(algorithm):
    p, x, y = circle(20)
    p.controls.kslp_algorithm = algorithm
    try:
        p.solve()
    except korvu.SolverError as e:
        if algorithm == 1 and "without the interior-point solver" in str(e):
            pytest.skip("the library is built without the interior-point solver (Ipopt)")
        raise
    assert p.attributes.mipstatus == 6
    assert p.getObjVal() == pytest.approx(16, abs=1e-6)  # (4, 2) on the circle


@pytest.mark.parametrize("centre", [(1.3, 2.6), (-0.4, 1.7), (2.5, -2.5)])
def test_convex_miqcp_matches_enumeration(centre):
    cx, cy = centre
    x = korvu.var(name="x", lb=-4, ub=4, vartype=korvu.integer)
    y = korvu.var(name="y", lb=-4, ub=4, vartype=korvu.integer)
    z = korvu.var(name="z", lb=0, ub=40)
    p = quiet(korvu.problem(x, y, z))
    p.addConstraint(x * x + y * y <= 4 + z)
    p.setObjective((x - cx) ** 2 + (y - cy) ** 2 + 0.5 * z)
    p.solve()
    best = min((a - cx) ** 2 + (b - cy) ** 2 + 0.5 * max(0, a * a + b * b - 4)
               for a, b in itertools.product(range(-4, 5), repeat=2))
    assert p.attributes.mipstatus == 6
    assert p.getObjVal() == pytest.approx(best, abs=1e-6)


def test_semicontinuous_binary_and_sos_columns():
    # s is 0 or in [2, 10]: at 0 the row needs t = 1.5 (cost 1 + e^1.5); at 2, t = 0 (cost 2).
    s = korvu.var(name="s", lb=0, ub=10, threshold=2, vartype=korvu.semicontinuous)
    t = korvu.var(name="t", lb=0, ub=10)
    p = quiet(korvu.problem(s, t))
    p.addConstraint(s + t >= 1.5)
    p.setObjective((s - 1) ** 2 + korvu.exp(t))
    p.solve()
    assert p.getSolution(s, t) == pytest.approx([2.0, 0.0], abs=1e-6)
    assert p.getObjVal() == pytest.approx(2.0, abs=1e-6)
    # One member of a set of type 1 may be non-zero: the largest pull wins.
    c = [1.0, 3.0, 2.0]
    v = [korvu.var(name=f"v{i}", lb=0, ub=5) for i in range(3)]
    b = korvu.var(name="b", vartype=korvu.binary)
    q = quiet(korvu.problem(v, b))
    q.addSOS(korvu.sos(v, [1, 2, 3], type=1))
    q.addConstraint(v[0] + v[1] + v[2] <= 4 * b)
    q.setObjective(korvu.Sum((vi - ci) ** 2 for vi, ci in zip(v, c)) + 0.5 * b)
    q.solve()
    assert q.getSolution(v) == pytest.approx([0.0, 3.0, 0.0], abs=1e-6)
    assert q.getSolution(b) == pytest.approx(1.0)
    assert q.getObjVal() == pytest.approx(1 + 4 + 0.5, abs=1e-6)


def test_validation_of_the_integer_solution():
    p, x, y = circle(12)
    p.solve()
    p.validate()
    assert p.attributes.kslp_validationmax <= 1e-6 and p.attributes.kslp_validationstatus == 0
    # The optimality conditions hold with the integer columns fixed.
    p.validatekkt(0, 0, 0, 1e-6)
    assert p.attributes.kslp_validationstatus == 0


@pytest.mark.parametrize("vartype, expected", [
    # 0 or an integer in [2, 8]: the nearest to 2.6 in the objective's measure is 3
    (korvu.semiinteger, 3.0),
    # an integer below 2, anything in [2, 8]: 2.6 itself
    (korvu.partiallyinteger, 2.6),
])
def test_semiinteger_and_partially_integer_columns(vartype, expected):
    v = korvu.var(name="v", lb=0, ub=8, threshold=2, vartype=vartype)
    p = quiet(korvu.problem(v))
    p.setObjective((korvu.sqrt(v + 1) - korvu.sqrt(3.6)) ** 2)
    p.solve()
    assert p.attributes.mipstatus == 6
    assert p.getSolution(v) == pytest.approx(expected, abs=1e-5)
    # Below the threshold only integers (or 0) are allowed.
    q = quiet(korvu.problem(v))
    q.setObjective((v - 0.7) ** 2)
    q.solve()
    assert q.getSolution(v) == pytest.approx(1.0 if vartype == korvu.partiallyinteger else 0.0, abs=1e-6)


def test_infeasible_integer_problem():
    x = korvu.var(name="x", lb=0, ub=3, vartype=korvu.integer)
    p = quiet(korvu.problem(x))
    p.setObjective(x)
    p.solve()
    assert p.getSolution(x) == pytest.approx(0.0)
    p.addConstraint(korvu.exp(x) == 5)  # ln 5 is not an integer
    p.solve()
    assert p.attributes.mipstatus == 5  # mip_infeas
    assert p.getProbStatusString() == "nlp_infeasible"
    # The earlier solution does not answer for this solve.
    with pytest.raises(korvu.SolverError):
        p.getSolution(x)


def test_search_callbacks_fire_and_see_the_node():
    p, x, y = circle(12)
    counts = {}
    views = []

    def count(kind):
        def f(prob, data, *args):
            counts[kind] = counts.get(kind, 0) + 1
        return f

    def opt(prob, data):
        views.append((prob.attributes.currentnode, prob.getSolution(x)))
        return 0

    p.addcbprenode(count("prenode"))
    p.addcboptnode(opt)
    p.addcbnewnode(count("newnode"))
    p.addcbintsol(count("intsol"))
    p.addcbmipthread(count("mipthread"))
    p.solve()
    assert counts["prenode"] == p.attributes.nodes
    assert counts["newnode"] >= 2 and counts["intsol"] >= 1 and counts["mipthread"] == 1
    # The callback sees the node's relaxation: at the root, the continuous
    # optimum on the circle, x = 3 sqrt(12 / 13).
    root = [v for node, v in views if node == 0]
    assert root and root[0] == pytest.approx(3 * math.sqrt(12 / 13), abs=1e-5)
    assert p.getObjVal() == pytest.approx(11)


def test_optnode_declaring_nodes_infeasible_and_exceptions():
    p, x, y = circle(12)
    inf = []
    p.addcboptnode(lambda prob, data: 1 if prob.attributes.currentnode > 0 else 0)
    p.addcbinfnode(lambda prob, data: inf.append(1))
    p.solve()
    assert len(inf) == p.attributes.nodes - 1
    assert p.attributes.mipstatus == 5

    q, x, y = circle(12)

    def bad(prob, data):
        raise ValueError("from intsol")
    q.addcbintsol(bad)
    with pytest.raises(ValueError, match="from intsol"):
        q.solve()


def test_a_failing_user_function_in_a_node_is_raised():
    x = korvu.var(name="x", lb=0, ub=4, vartype=korvu.integer)
    calls = []

    def f(a):
        calls.append(a)
        if len(calls) > 5:
            raise ArithmeticError("node value")
        return (a - 1.5) ** 2

    p = quiet(korvu.problem(x))
    p.setObjective(korvu.user(f, x))
    with pytest.raises(ArithmeticError, match="node value"):
        p.solve()
    calls.clear()
    # The same function without the failure: every node's relaxation calls it.
    ok = quiet(korvu.problem(x))
    ok.setObjective(korvu.user(lambda a: (a - 1.3) ** 2, x))
    ok.solve()
    assert ok.getSolution(x) == pytest.approx(1.0, abs=1e-6)


def test_flags_and_entry_points():
    p, x, y = circle(12)
    p.solve("x")  # 'g' is added for a mixed-integer problem
    assert p.getObjVal() == pytest.approx(11)
    p.nlpoptimize("")  # a problem with integer columns is searched whatever the flags
    assert p.getObjVal() == pytest.approx(11)
    p.globalsol()
    assert p.getObjVal() == pytest.approx(11)
    # On a continuous problem 'g' and globalsol are a plain solve.
    u = korvu.var(name="u", lb=-3, ub=3)
    c = quiet(korvu.problem(u))
    c.setObjective(korvu.exp(u) - 2 * u)
    c.nlpoptimize("g")
    assert c.getSolution(u) == pytest.approx(math.log(2), abs=1e-6)
    c.globalsol()
    assert c.getSolution(u) == pytest.approx(math.log(2), abs=1e-6)
    with pytest.raises(TypeError, match="flags"):
        c.nlpoptimize(3)


def test_a_users_start_is_solved_with_its_integers_fixed():
    p, x, y = circle(12)
    got = []
    p.addcbusersolnotify(lambda prob, data, name, status: got.append((name, status)))
    p.addmipsol([2, 2], [x, y], "mine")  # feasible: 4 + 4 <= 12, objective 10
    p.controls.nodelimit = 1
    p.solve()
    assert got == [("mine", 0)]
    assert p.attributes.mipsols >= 1
    assert p.getObjVal() >= 10 - 1e-6
    # A start outside the disc is reported infeasible.
    q, x, y = circle(12)
    got.clear()
    q.addcbusersolnotify(lambda prob, data, name, status: got.append((name, status)))
    q.addmipsol([3, 3], [x, y], "outside")
    q.solve()
    assert got == [("outside", 1)] and q.getObjVal() == pytest.approx(11)


def test_interrupt_from_a_callback_keeps_the_incumbent():
    p, x, y = circle(30)
    p.addcbintsol(lambda prob, data: prob.interrupt(0))
    p.solve()
    assert p.attributes.mipstatus == 4  # mip_solution: stopped with an integer point
    assert p.attributes.stopstatus != 0
    a, b = p.getSolution(x, y)
    assert round(a) ** 2 + round(b) ** 2 <= 30
    assert p.getObjVal() == pytest.approx(3 * round(a) + 2 * round(b), abs=1e-6)


def test_nonlinear_solves_after_an_engine_mip_solve():
    # The engine's thread pool is sized by its first MIP run; the nonlinear
    # solver's subproblems used to ask for another size and fail, leaving the
    # start point as an "unfinished" result.
    x = [korvu.var(name=f"k{i}", lb=0, ub=3, vartype=korvu.integer) for i in range(3)]
    m = quiet(korvu.problem(x))
    m.addConstraint(2 * x[0] + 3 * x[1] + 4 * x[2] <= 7.5)
    m.setObjective(x[0] + 2 * x[1] + 2.5 * x[2], sense=korvu.maximize)
    m.solve()
    assert m.getProbStatusString() == "mip_optimal"
    u = korvu.var(name="u", lb=0, ub=3)
    q = quiet(korvu.problem(u))
    q.addConstraint(korvu.exp(u) == 5)
    q.setObjective(u)
    q.solve()
    assert q.getProbStatusString() == "nlp_solution"
    assert q.getSolution(u) == pytest.approx(math.log(5), abs=1e-6)
    q.validatekkt(1, 0, 0, 1e-6)  # its LP runs on the engine too
    assert q.attributes.kslp_validationstatus == 0
