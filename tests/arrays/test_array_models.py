"""The benchmark models written in the array style give the library exactly the
matrices, bounds, types and objective of the same models written as scalar loops."""
import importlib.util
import os

import numpy as np
import pytest

import korvu

scipy_sparse = pytest.importorskip("scipy.sparse")

BENCH = os.path.join(os.path.dirname(__file__), "..", "..", "bench")


def load(name):
    path = os.path.join(BENCH, name + ".py")
    if not os.path.exists(path):
        pytest.skip("benchmark sources not present")
    import sys
    sys.path.insert(0, BENCH)
    try:
        spec = importlib.util.spec_from_file_location(name, path)
        mod = importlib.util.module_from_spec(spec)
        spec.loader.exec_module(mod)
    finally:
        sys.path.remove(BENCH)
    return mod


class ScalarApi:
    """The scalar-loop text of the models, registering as it goes."""
    def __init__(self, p):
        self.p = p
        self.INF = korvu.infinity
        self.sum = korvu.Sum

    def var(self, lb, ub, binary=False):
        v = korvu.var(lb=lb, ub=ub, vartype=korvu.binary) if binary else korvu.var(lb=lb, ub=ub)
        self.p.addVariable(v)
        return v

    def con(self, c):
        self.p.addConstraint(c)

    @staticmethod
    def sq(e):
        return e ** 2

    def minimize(self, e):
        self.p.setObjective(e)


def snapshot(p):
    """Everything the library holds of a linear or quadratic model, by index."""
    a = p.attributes
    m, n = a.rows, a.cols
    out = {"size": (m, n, a.elems, a.qelems)}
    for what, getter, count in (("rowtype", p.getrowtype, m), ("rhs", p.getrhs, m), ("range", p.getrhsrange, m),
                                ("obj", p.getobj, n), ("coltype", p.getcoltype, n)):
        v = []
        getter(v, 0, count - 1)
        out[what] = v
    lb, ub = [], []
    p.getlb(lb, 0, n - 1)
    p.getub(ub, 0, n - 1)
    out["lb"], out["ub"] = lb, ub
    start, cols, vals = [], [], []
    p.getrows(start, cols, vals, a.elems, 0, m - 1)
    out["rows"] = (start, [p.getIndex(c) for c in cols], vals)
    qs, qc, qv = [], [], []
    if a.qelems:
        p.getmqobj(qs, qc, qv, 2 * a.qelems + n, 0, n - 1)
    out["qobj"] = (qs, [p.getIndex(c) for c in qc], qv)
    return out


def build_both(model, n):
    scalar_models = load("build_model_models")
    arrays = load("build_model_arrays")
    ps = korvu.problem()
    scalar_models.MODELS[model](n, ScalarApi(ps))
    pa = korvu.problem()
    arrays.MODELS[model](n, korvu, np, scipy_sparse, pa)
    return ps, pa


@pytest.mark.parametrize("model,n", [("fac-lin", 3), ("fac-lin", 4), ("lqcp", 6), ("lqcp", 9)])
def test_array_style_gives_the_scalar_model(model, n):
    ps, pa = build_both(model, n)
    s, a = snapshot(ps), snapshot(pa)
    assert s.keys() == a.keys()
    for key in s:
        assert s[key] == a[key], key
    # The objective constant (not among the queries) is a sum of the same squares
    # taken in another order: the optima agree to rounding.
    if model == "lqcp":
        ps.solve()
        pa.solve()
        assert pa.getObjVal() == pytest.approx(ps.getObjVal(), rel=1e-9, abs=1e-12)
