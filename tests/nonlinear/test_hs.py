"""Hock-Schittkowski problems solved from the book's start points through the
modelling layer and problem.solve(), to the book's optimal values."""
import os
import sys
import types

import pytest

import korvu

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "bench"))
import hs_problems as hs  # noqa: E402

OPS = types.SimpleNamespace(**{k: getattr(korvu, k) for k in ("exp", "log", "sin", "cos", "sqrt")})

# Small and fast, spread over the kinds: bounds only, equalities, inequalities,
# functions, Rosenbrock valleys, starts outside the bounds.
SUBSET = [1, 4, 6, 7, 10, 14, 15, 18, 26, 28, 34, 35, 39, 40, 43, 48, 56, 62, 65, 71, 76, 78, 80,
          83, 100, 113]


def solve(prob_def):
    x = [korvu.var(lb=prob_def.lb[j], ub=prob_def.ub[j], name="x%d" % (j + 1))
         for j in range(prob_def.n)]
    f, rows = prob_def(x, OPS)
    p = korvu.problem(x, name=prob_def.name)
    for kind, g in rows:
        p.addConstraint(g == 0 if kind == "eq" else g >= 0)
    p.setObjective(f)
    p.controls.outputlog = 0
    for j in range(prob_def.n):
        p.chgvar(x[j], initvalue=prob_def.x0[j])
    p.solve()
    return p


@pytest.mark.parametrize("number", SUBSET)
def test_book_optimum_from_the_book_start(number):
    d = hs.by_number(number)
    p = solve(d)
    status = p.getProbStatusString()
    if status.startswith("nlp_"):  # quadratic programs go to the QP engine
        assert status in ("nlp_solution", "nlp_globally_optimal")
        assert p.attributes.kslp_maxviolation <= 1e-6
    else:
        assert status in ("lp_optimal", "mip_optimal")
    assert p.getObjVal() == pytest.approx(d.fopt, abs=1e-5 * (1 + abs(d.fopt)))
