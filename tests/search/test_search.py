"""The library's own branch-and-bound, chosen by the mipsolver control, against the
engine's MIP solver (the library's tests hold the enumeration checks)."""
import random

import pytest

import korvu


def build(seed, kind):
    rnd = random.Random(seed)
    p = korvu.problem()
    p.setControl("loglevel", 0)
    x = [korvu.var(lb=0, ub=rnd.randint(1, 3), vartype=korvu.integer) for _ in range(4)]
    p.addVariable(x)
    for i in range(3):
        expr = korvu.Sum(rnd.randint(-4, 4) * v for v in x)
        p.addConstraint(expr <= rnd.randint(2, 8) if i % 2 == 0 else expr >= -rnd.randint(2, 8))
    obj = korvu.Sum(rnd.randint(-5, 5) * v for v in x)
    if kind == "miqp":
        obj = obj + korvu.Sum(0.75 * v * v for v in x)
    if kind == "sos1":
        p.addSOS(korvu.sos(x, [1, 2, 3, 4], type=1))
    p.setObjective(obj)
    return p, x


@pytest.mark.parametrize("kind", ["mip", "sos1", "miqp"])
def test_own_search_agrees_with_the_engine_and_reports_like_it(kind):
    for seed in range(12):
        results = []
        for solver in (1, 2) if kind != "miqp" else (1,):
            p, x = build(seed, kind)
            p.setControl("mipsolver", solver)
            p.solve()
            status = p.attributes.mipstatus
            results.append((status, round(p.attributes.mipbestobjval, 6) if status == 6 else None))
            if status == 6:
                sol = p.getSolution(x)
                assert all(abs(v - round(v)) < 1e-6 for v in sol)
                if kind == "sos1":
                    assert sum(1 for v in sol if abs(v) > 1e-6) <= 1
                assert p.attributes.nodes >= 1 if solver == 1 else True
        assert len(set(results)) == 1, (seed, results)


def test_miqp_is_solved_by_the_automatic_choice():
    p = korvu.problem()
    p.setControl("loglevel", 0)
    x = korvu.var(lb=0, ub=10, vartype=korvu.integer)
    y = korvu.var(lb=0, ub=10)
    p.addVariable(x, y)
    p.addConstraint(x + y >= 3.5)
    p.setObjective((x - 2.6) ** 2 + 2 * y)
    p.solve()
    assert p.attributes.mipstatus == 6
    assert p.getSolution(x) == pytest.approx(3.0)
    assert p.getSolution(y) == pytest.approx(0.5)
    assert p.attributes.mipbestobjval == pytest.approx(0.16 + 1.0)


def test_rows_the_search_tightens_show_their_own_activity_to_callbacks():
    # 9 x0 + 2 x1 + 2 x2 <= 10 over binaries is the same set as 3 x0 + 2 x1 + 2 x2 <= 4,
    # whose relaxation is tighter; a node callback still sees the row as written.
    p = korvu.problem()
    p.setControl("loglevel", 0)
    p.setControl("mipsolver", 1)
    x = [korvu.var(vartype=korvu.binary) for _ in range(3)]
    p.addVariable(x)
    row = korvu.constraint(9 * x[0] + 2 * x[1] + 2 * x[2] <= 10)
    p.addConstraint(row)
    p.setObjective(8 * x[0] + 3 * x[1] + 4 * x[2], sense=korvu.maximize)
    seen = []

    def opt(prob, data):
        xv, slack = [], []
        prob.getlpsol(xv, slack, None, None)
        seen.append((xv, slack[0]))
        return 0

    p.addcboptnode(opt)
    p.solve()
    assert p.attributes.mipbestobjval == pytest.approx(8)
    assert p.getSolution(x) == pytest.approx([1, 0, 0], abs=1e-6)
    assert seen
    for xv, slack in seen:
        assert slack == pytest.approx(10 - (9 * xv[0] + 2 * xv[1] + 2 * xv[2]), abs=1e-7)


def test_the_first_progress_line_shows_the_roots_bound():
    # After the root the worker holds its children: their bound is the best bound.
    p = korvu.problem()
    p.setControl("mipsolver", 1)
    p.setControl("cutstrategy", 0)
    p.setControl("heureffort", 0.0)
    x = [korvu.var(vartype=korvu.integer, ub=10) for _ in range(4)]
    p.addVariable(x)
    p.addConstraint(3 * x[0] + 5 * x[1] + 7 * x[2] + 9 * x[3] <= 20.5)
    p.setObjective(4 * x[0] + 7 * x[1] + 10 * x[2] + 13 * x[3], sense=korvu.maximize)
    lines = []
    p.addcbmessage(lambda prob, data, msg, typ: lines.append(msg))
    p.solve()
    first = next(m for m in lines if m and m.startswith("Nodes 1,"))
    bound = float(first.split("best bound ")[1].split(",")[0])
    # Between the optimum and the plain relaxation's 13 * 20.5 / 9.
    assert p.attributes.mipbestobjval - 1e-6 <= bound <= 13 * 20.5 / 9 + 1e-6


def flow_model(seed):
    # Balance rows over continuous flows with variable upper bounds on general
    # integers (x <= u y, y up to 50): the rounding cuts substitute those bounds
    # and aggregate rows through the flows.
    rnd = random.Random(seed)
    p = korvu.problem()
    p.setControl("loglevel", 0)
    y = [korvu.var(lb=0, ub=rnd.choice([1, 3, 10, 50]), vartype=korvu.integer) for _ in range(rnd.randint(5, 12))]
    f = [korvu.var(lb=0, ub=rnd.choice([korvu.infinity, 20, 100])) for _ in range(rnd.randint(3, 10))]
    p.addVariable(y, f)
    for v in f:
        if rnd.random() < 0.6:
            p.addConstraint(v <= rnd.randint(2, 30) * rnd.choice(y))
    for _ in range(rnd.randint(4, 10)):
        expr = (korvu.Sum(rnd.choice([-1, 1]) * v for v in rnd.sample(f, min(len(f), rnd.randint(2, 4))))
                + korvu.Sum(rnd.randint(-9, 9) * v for v in rnd.sample(y, 2)))
        rhs = rnd.randint(-40, 40) + rnd.random()
        p.addConstraint(expr <= rhs if rnd.random() < 0.7 else expr >= rhs - 50)
    p.addConstraint(korvu.Sum(f) >= rnd.randint(1, 30))
    p.setObjective(korvu.Sum(rnd.randint(1, 20) * v for v in y) + korvu.Sum(rnd.random() * v for v in f))
    return p


@pytest.mark.parametrize("threads", [1, 2])
def test_own_search_agrees_with_the_engine_on_random_flow_models(threads):
    solved = 0
    for seed in range(40):
        results = []
        for solver in (1, 2):
            p = flow_model(seed)
            p.setControl("mipsolver", solver)
            p.setControl("threads", threads if solver == 1 else 0)
            p.setControl("miprelgap", 1e-9)
            p.setControl("mipabsgap", 1e-7)
            p.solve()
            status = p.attributes.mipstatus
            results.append((status, p.attributes.mipbestobjval if status == 6 else None))
        assert results[0][0] == results[1][0], (seed, results)
        if results[0][0] == 6:
            solved += 1
            assert results[0][1] == pytest.approx(results[1][1], rel=1e-7, abs=1e-6), (seed, results)
    assert solved >= 10
