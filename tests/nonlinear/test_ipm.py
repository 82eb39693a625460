"""The interior-point local solver, chosen through the kslp_algorithm control."""
import pytest

import korvu


def model():
    x = korvu.var(name="x", lb=-10)
    y = korvu.var(name="y", lb=-10)
    p = korvu.problem(x, y, x**2 + y**2 <= 1, x * y >= -0.25, name="ipm")
    p.setObjective((x - 2) ** 2 + x * y * y + y**4 + 1 / (2 + x))
    return p, x, y


def solve_with(algorithm, **controls):
    p, x, y = model()
    p.controls.kslp_algorithm = algorithm
    for name, value in controls.items():
        p.setControl(name, value)
    try:
        p.solve()
    except korvu.SolverError as e:
        if algorithm == 1 and "without the interior-point solver" in str(e):
            pytest.skip("the library is built without the interior-point solver (Ipopt)")
        raise
    return p, x, y


def test_interior_point_reaches_the_optimum_the_slp_solver_finds():
    ipm, x, y = solve_with(1)
    slp, x2, y2 = solve_with(0)
    assert ipm.attributes.kslp_nlpstatus == korvu.nlp_locally_optimal
    assert ipm.getObjVal() == pytest.approx(slp.getObjVal(), abs=1e-6)
    assert ipm.getSolution([x, y]) == pytest.approx(slp.getSolution([x2, y2]), abs=1e-5)
    assert ipm.attributes.kslp_maxviolation <= 1e-6


def test_its_controls_reach_it():
    p, _, _ = solve_with(1, kslp_ipm_maxiter=1)
    assert p.attributes.kslp_nlpstatus == korvu.nlp_unfinished
    p, _, _ = solve_with(1, kslp_ipm_tol=1e-10)
    assert p.attributes.kslp_nlpstatus == korvu.nlp_locally_optimal
    # The barrier update and the Hessian: each choice reaches the same optimum.
    best = solve_with(0)[0].getObjVal()
    assert p.controls.kslp_ipm_mustrategy == 1 and p.controls.kslp_ipm_hessian == 0
    for controls in ({"kslp_ipm_mustrategy": 0}, {"kslp_ipm_hessian": 1},
                     {"kslp_ipm_mustrategy": 0, "kslp_ipm_hessian": 1}):
        p, _, _ = solve_with(1, **controls)
        assert p.attributes.kslp_nlpstatus == korvu.nlp_locally_optimal, controls
        assert p.getObjVal() == pytest.approx(best, abs=1e-6), controls


def test_an_out_of_range_choice_is_refused_and_kept():
    p, _, _ = model()
    with pytest.raises(korvu.SolverError, match="kslp_algorithm"):
        p.controls.kslp_algorithm = 3
    assert p.controls.kslp_algorithm == 0
    with pytest.raises(korvu.SolverError, match="kslp_ipm_hessian"):
        p.controls.kslp_ipm_hessian = 2
    assert p.controls.kslp_ipm_hessian == 0


@pytest.mark.parametrize("sense", ["minimize", "maximize"])
def test_a_start_at_a_saddle_point_still_ends_at_a_minimum(sense):
    # From y = 0 the gradient never leaves the axis y = 0, where (0, 0) is a
    # saddle point; the minima are at y = +-1/sqrt(2). (Free columns: a bound's
    # barrier would push y off the axis.)
    x = korvu.var(name="x", lb=-korvu.infinity)
    y = korvu.var(name="y", lb=-korvu.infinity)
    p = korvu.problem(x, y, name="saddle")
    f = x**2 - y**2 + y**4
    if sense == "minimize":
        p.setObjective(f)
    else:
        p.setObjective(-f, sense=korvu.maximize)
    p.controls.kslp_algorithm = 1
    p.chgvar(x, initvalue=1.0)
    p.chgvar(y, initvalue=0.0)
    seen = []
    p.setcbiterend(lambda prob, data: seen.append(prob.attributes.kslp_iterations))
    try:
        p.solve()
    except korvu.SolverError as e:
        if "without the interior-point solver" in str(e):
            pytest.skip("the library is built without the interior-point solver (Ipopt)")
        raise
    assert p.attributes.kslp_nlpstatus == korvu.nlp_locally_optimal
    assert p.getObjVal() == pytest.approx(-0.25 if sense == "minimize" else 0.25, abs=1e-7)
    assert abs(p.getSolution(y)) == pytest.approx(2**-0.5, abs=1e-5)
    # The run from beyond the saddle point goes on counting iterations.
    assert seen == list(range(1, len(seen) + 1))
    assert p.attributes.kslp_iterations == len(seen)
    # Without the check the run stops at the saddle point.
    p.controls.kslp_ipm_secondorder = 0
    p.chgvar(x, initvalue=1.0)
    p.chgvar(y, initvalue=0.0)
    p.solve()
    assert p.getObjVal() == pytest.approx(0.0, abs=1e-7)
    assert p.getSolution(y) == pytest.approx(0.0, abs=1e-6)
