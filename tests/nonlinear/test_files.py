"""Files, copies and save files of nonlinear problems: the same formulas and the
same optimum after solve()."""
import gc

import pytest

import korvu


@pytest.fixture(autouse=True)
def _quiet():
    korvu.setOutputEnabled(False)


def model(name="nl"):
    """A polynomial model: a nonlinear objective and nonlinear rows."""
    x = korvu.var(name="x", lb=-5, ub=5)
    y = korvu.var(name="y", lb=-5, ub=5)
    z = korvu.var(name="z(1)", lb=0, ub=3)  # a name formulas must quote
    c = [
        korvu.constraint(x**2 + y**2 + z <= 4, name="disc"),
        korvu.constraint(x * y * z >= -1, name="prod"),
        korvu.constraint(x**3 - y / (z + 1) <= 2, name="cubic"),
    ]
    p = korvu.problem(x, y, z, c, name=name)
    p.setObjective((x - 1) ** 2 + (y - 3) ** 4 + x * y - z**3)
    return p, (x, y, z), c


def solved(p):
    p.solve()
    return p.getObjVal()


def text(path):
    with open(path) as f:
        return f.read()


def test_write_read_write_gives_the_same_file_and_optimum(tmp_path):
    p, xs, c = model()
    first = tmp_path / "p.mps"
    p.write(str(first))
    assert "FORMULAS" in text(first) and '"z(1)"' in text(first)
    q = korvu.problem()
    q.read(str(first))
    assert [v.name for v in q.getVariable()] == ["x", "y", "z(1)"]
    assert [r.name for r in q.getConstraint()] == ["disc", "prod", "cubic"]
    second = tmp_path / "q.mps"
    q.write(str(second))
    assert text(second) == text(first)
    assert solved(q) == pytest.approx(solved(p), abs=1e-6)
    assert q.getSolution(q.getVariable()) == pytest.approx(p.getSolution(list(xs)), abs=1e-5)


def test_read_problem_takes_a_new_objective_and_linear_files_clear_formulas(tmp_path):
    p, xs, c = model()
    p.write(str(tmp_path / "p.mps"))
    q = korvu.problem()
    q.read(str(tmp_path / "p.mps"))
    x, y, z = q.getVariable()
    # The objective read is replaced, not added to.
    q.setObjective(x + y)
    r, (x2, y2, z2), _ = model()
    r.setObjective(x2 + y2)
    assert solved(q) == pytest.approx(solved(r), abs=1e-5)
    # A linear file read afterwards leaves no formula behind.
    lin = korvu.problem(korvu.var(name="a", ub=2), name="lin")
    lin.setObjective(-lin.getVariable()[0])
    lin.write(str(tmp_path / "lin.mps"))
    q.read(str(tmp_path / "lin.mps"))
    assert solved(q) == pytest.approx(-2.0)


def test_maximizing_survives_files(tmp_path):
    def concave():
        x = korvu.var(name="x", lb=-3, ub=2)
        p = korvu.problem(x, name="max")
        p.setObjective(-((x - 1) ** 4) - x)
        return p

    direct = concave()
    direct.setObjective(-((direct.getVariable()[0] - 1) ** 4) - direct.getVariable()[0],
                        sense=korvu.maximize)
    p = concave()
    p.chgobjsense(korvu.maximize)
    p.write(str(tmp_path / "m.mps"))
    assert "OBJSENSE" in text(tmp_path / "m.mps")
    q = korvu.problem()
    q.read(str(tmp_path / "m.mps"))
    # max -(x-1)^4 - x: 4 (x-1)^3 = -1
    x = 1 - 0.25 ** (1 / 3)
    assert solved(q) == pytest.approx(-((x - 1) ** 4) - x, abs=1e-6)
    assert solved(q) == pytest.approx(solved(direct), abs=1e-6)


def test_refusals_name_the_problem_and_leave_it_alone(tmp_path):
    p, xs, c = model()
    with pytest.raises(korvu.SolverError, match="LP format"):
        p.write(str(tmp_path / "p.lp"))
    p.write(str(tmp_path / "p.mps"))
    lines = text(tmp_path / "p.mps").splitlines()
    at = lines.index("FORMULAS") + 1
    lines[at] = " F disc 1 x ^ 2 + nosuch"
    (tmp_path / "bad.mps").write_text("\n".join(lines) + "\n")
    q, qxs, _ = model()
    with pytest.raises(korvu.SolverError, match=r"bad.mps:%d: unknown column 'nosuch'" % (at + 1)):
        q.read(str(tmp_path / "bad.mps"))
    # q keeps its model, objects and optimum
    assert q.getVariable() == list(qxs)
    assert solved(q) == pytest.approx(solved(p), abs=1e-6)


def test_linear_problem_with_flag_g_writes_a_plain_file(tmp_path):
    x = korvu.var(name="x", ub=4)
    p = korvu.problem(x, x <= 3, name="plain")
    p.setObjective(-x)
    p.write(str(tmp_path / "p.lp"), "g")
    q = korvu.problem()
    q.read(str(tmp_path / "p.lp"))
    assert solved(q) == pytest.approx(-3.0)


def test_copy_is_deep_and_outlives_its_source():
    p, (x, y, z), c = model()
    q = p.copy()
    assert q.getIndex(x) == p.getIndex(x)
    expected = solved(p)
    p.setObjective(x + y + z)  # the copy keeps the old objective
    del p
    gc.collect()
    assert solved(q) == pytest.approx(expected, abs=1e-6)


def test_save_and_restore_keep_formulas_and_solution(tmp_path):
    p, xs, c = model()
    optimum = solved(p)
    path = str(tmp_path / "nl.svf")
    p.save(path)
    p.setObjective(xs[0])
    p.restore(path)
    assert p.getObjVal() == pytest.approx(optimum, abs=1e-9)
    assert solved(p) == pytest.approx(optimum, abs=1e-6)
    # into a problem of its own, which becomes nonlinear
    q = korvu.problem()
    q.restore(path)
    assert solved(q) == pytest.approx(optimum, abs=1e-6)


def test_a_save_file_of_the_first_format_still_restores():
    # data/format1.svf: min x^2 + sin(y), exp(x) + y >= 3, x in [0.5, 4], y in
    # [0, 4], saved solved by the first release of the format.
    import os
    q = korvu.problem()
    q.controls.outputlog = 0
    q.restore(os.path.join(os.path.dirname(__file__), "data", "format1.svf"))
    assert q.getObjVal() == pytest.approx(1.2069498525862474, abs=1e-9)
    q.solve()
    assert q.getObjVal() == pytest.approx(1.2069498525862474, abs=1e-6)


def test_writeslxsol_writes_the_nonlinear_solution(tmp_path):
    p, (x, y, z), c = model()
    p.solve()
    path = tmp_path / "s.slx"
    p.writeslxsol(str(path))
    values = {}
    for line in text(path).splitlines():
        f = line.split()
        if f[0] == "C":
            values[f[1]] = float(f[2])
    assert values.get("y", 0.0) == pytest.approx(p.getSolution(y), abs=1e-9)
    assert values.get("x", 0.0) == pytest.approx(p.getSolution(x), abs=1e-9)


def functions_model():
    x = korvu.var(name="x", lb=-2, ub=2)
    y = korvu.var(name="y", lb=-2, ub=2)
    p = korvu.problem(x, y, korvu.exp(x) + korvu.exp(y) <= 2, name="fun")
    p.setObjective(-korvu.sin(x) + korvu.log(y + 3) + korvu.sqrt(x**2 + 1) - korvu.cos(y) / 2)
    return p, x, y


def test_functions_come_back_from_files_to_the_same_optimum(tmp_path):
    p, x, y = functions_model()
    p.write(str(tmp_path / "f.mps"))
    body = text(tmp_path / "f.mps")
    for name in ("exp(", "sin(", "ln(", "sqrt(", "cos("):
        assert name in body
    q = korvu.problem()
    q.read(str(tmp_path / "f.mps"))
    q.write(str(tmp_path / "g.mps"))
    assert text(tmp_path / "g.mps") == body
    assert solved(q) == pytest.approx(solved(p), abs=1e-6)


def test_user_functions_survive_copy_and_a_file_read_back():
    def sq(a):
        return (a - 1.5) ** 2

    x = korvu.var(name="x", lb=-4, ub=4)
    p = korvu.problem(x, name="user")
    p.setObjective(korvu.user(sq, x) + x)
    expected = solved(p)
    assert expected == pytest.approx(1.25, abs=1e-5)  # x = 1
    q = p.copy()
    del p
    gc.collect()
    assert solved(q) == pytest.approx(expected, abs=1e-6)


def test_user_function_keeps_its_callable_when_read_back(tmp_path):
    def sq(a):
        return (a - 1.5) ** 2

    x = korvu.var(name="x", lb=-4, ub=4)
    p = korvu.problem(x, name="user")
    p.setObjective(korvu.user(sq, x) + x)
    p.write(str(tmp_path / "u.mps"))
    assert "USERFUNCTIONS" in text(tmp_path / "u.mps")
    p.read(str(tmp_path / "u.mps"))
    assert solved(p) == pytest.approx(1.25, abs=1e-5)
    # Elsewhere the function has no callable: the solve says so.
    q = korvu.problem()
    q.read(str(tmp_path / "u.mps"))
    with pytest.raises(korvu.SolverError, match="sq"):
        q.solve()
