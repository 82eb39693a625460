"""What a problem reports after reads, refused defaults and unusual arguments."""
import numpy as np
import pytest

import korvu


def test_read_forgets_the_last_solve(tmp_path):
    x = korvu.var(vartype=korvu.integer, ub=5, name="x")
    p = korvu.problem(x, x <= 3.5, name="mip")
    p.setObjective(x, sense=korvu.maximize)
    p.controls.outputlog = 0
    p.solve()
    assert p.attributes.mipsols >= 1 and p.attributes.mipbestobjval == 3
    f = tmp_path / "other.lp"
    korvu.problem(korvu.var(name="y"), name="other").write(str(f))
    p.read(str(f))
    a = p.attributes
    assert (a.mipsols, a.mipbestobjval, a.bestbound, a.nodes, a.lpobjval) == (0, 0.0, 0.0, 0, 0.0)


@pytest.mark.parametrize("name,value", [("timelimit", -1), ("threads", -5), ("feastol", float("nan")),
                                        ("presolve", 7)])
def test_module_defaults_outside_their_range_are_refused(name, value):
    before = korvu.controls.__dict__.get(name)
    with pytest.raises(korvu.ModelError, match="outside the range"):
        setattr(korvu.controls, name, value)
    assert korvu.controls.__dict__.get(name) == before
    korvu.problem(name="still works")  # new problems still start


def test_reading_a_directory_says_so(tmp_path):
    p = korvu.problem(name="dir")
    with pytest.raises(korvu.SolverError, match="is a directory"):
        p.read(str(tmp_path))


def test_solution_of_an_index_array_keeps_its_shape():
    x = korvu.vars(3, name="x")
    p = korvu.problem(x, x[1] >= 2, x[2] >= 1, name="idx")
    p.setObjective(korvu.Sum(x))
    p.controls.outputlog = 0
    p.solve()
    r = p.getSolution(np.array([[0, 1], [2, 1]]))
    assert isinstance(r, np.ndarray) and r.tolist() == [[0.0, 2.0], [1.0, 2.0]]
    assert p.getSolution(np.array([2]), [x[0]]) == [1.0, 0.0]
    with pytest.raises(korvu.ModelError, match="Index out of range"):
        p.getSolution(np.array([7]))
