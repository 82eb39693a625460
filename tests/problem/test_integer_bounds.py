"""Integer columns with fractional bounds, checked against enumeration of their values."""
import itertools
import math

import pytest

import korvu


def quiet(p):
    p.controls.outputlog = 0
    return p


@pytest.mark.parametrize("lb,ub,kind", [(2.5, 10, korvu.integer), (-3.7, 4.2, korvu.integer),
                                        (0.2, 5, korvu.binary), (1.000000000001, 3.9999999999999, korvu.integer)])
def test_fractional_bounds_are_rounded_inward(lb, ub, kind):
    x = korvu.var(vartype=kind, lb=lb, ub=ub, name="x")
    y = korvu.var(name="y")
    for sense in (korvu.minimize, korvu.maximize):
        p = quiet(korvu.problem(x, y, x + y >= 3.2, y <= 0.5, name="frac"))
        p.setObjective(x + 0.5 * y, sense=sense)
        p.solve()
        lo, hi = math.ceil(lb - 1e-9), math.floor(ub + 1e-9)
        if kind == korvu.binary:
            lo, hi = max(lo, 0), min(hi, 1)
        best = None
        for v in range(lo, hi + 1):  # y in [max(0, 3.2 - v), 0.5]
            ylo = max(0.0, 3.2 - v)
            if ylo > 0.5:
                continue
            val = v + 0.5 * (ylo if sense == korvu.minimize else 0.5)
            best = val if best is None else (min(best, val) if sense == korvu.minimize else max(best, val))
        if best is None:
            assert p.getProbStatusString() == "mip_infeas"
        else:
            assert p.getProbStatusString() == "mip_optimal"
            assert p.getObjVal() == pytest.approx(best)
            assert float(p.getSolution(x)).is_integer()


def test_an_empty_integer_domain_is_infeasible_and_says_which_column():
    z = korvu.var(vartype=korvu.integer, lb=2.5, ub=2.7, name="zcol")
    p = korvu.problem(z, name="empty")
    seen = []
    korvu.addcbmsghandler(lambda obj, data, thread, text, *rest: seen.append(text), None, 0)
    try:
        p.setObjective(z)
        p.solve()
    finally:
        korvu.removecbmsghandler(None, None)
    assert p.getProbStatusString() == "mip_infeas"
    assert any("zcol" in m and "no integer value" in m for m in seen)


def test_semi_integer_bounds_are_rounded():
    # 0 or an integer in [ceil(1.5), floor(6.5)] = {2..6}
    s = korvu.var(vartype=korvu.semiinteger, lb=0, ub=6.5, threshold=1.5, name="s")
    for target, expect in ((1.2, 2.0), (0.4, 0.0), (6.4, 6.0)):
        d = korvu.var(lb=-100, name="d")
        p = quiet(korvu.problem(s, d, d >= s - target, d >= target - s, name="semi"))
        p.setObjective(d)
        p.solve()
        values = [0] + list(range(2, 7))
        best = min(abs(v - target) for v in values)
        assert p.getObjVal() == pytest.approx(best)
        assert p.getSolution(s) == pytest.approx(expect)
