"""Variables, constraints and sets: attributes, codecs, comparisons and copies."""
import sys

import numpy as np
import pytest

import korvu

INF = 1e20


def test_variable_defaults_and_size():
    v = korvu.var()
    assert (v.lb, v.ub, v.threshold, v.vartype) == (0.0, INF, -INF, 0)
    assert v.name == f"C{hash(v)}" and str(v) == repr(v) == v.name
    assert sys.getsizeof(v) == object.__basicsize__ + 8
    assert v.__dict__ == dict.fromkeys(["lb", "ub", "threshold", "vartype", "name"])
    assert v.__class__ is korvu.var
    assert v.extractLinear() == ([v], [1.0]) and v.extractQuadratic() == ([], [], [])


def test_variable_ids_rise_and_order_maps():
    z, a, b = korvu.var(name="z"), korvu.var(name="a"), korvu.var(name="b")
    assert hash(z) < hash(a) < hash(b)
    e = b + a + z
    assert [str(v) for v in e.extractLinear()[0]] == ["z", "a", "b"]


def test_variable_bounds_codecs():
    v = korvu.var(vartype=1, lb=-3, ub=7)
    assert (v.lb, v.ub, v.vartype) == (0.0, 1.0, 1)
    assert korvu.var(vartype=1, lb=0.5).lb == 0.5
    v = korvu.var()
    v.ub = 5e20
    assert v.ub == INF
    v.lb = -7e30
    assert v.lb == -INF
    for value in [2.5, 0, 1, -3.25, float("inf")]:
        v.lb = value
        assert v.lb == (max(value, -INF) if value != float("inf") else value)
    with pytest.raises(korvu.ModelError, match="NaN"):
        v.lb = float("nan")
    assert v.lb == float("inf")
    v.threshold = 4
    assert v.threshold == 4.0
    v.threshold = -1e20  # no threshold any more
    assert v.threshold == -INF
    v.vartype = 2
    assert v.vartype == 2


def test_variable_names_keep_one_reference():
    v = korvu.var(name="first")
    name = "n" + str(id(v))
    before = sys.getrefcount(name)
    v.name = name
    v.name = name
    assert sys.getrefcount(name) == before + 1
    v.name = "other"
    assert sys.getrefcount(name) == before
    v.name = 42  # assignment stores any object
    assert v.name == 42 and str(v) == "42"


def test_reinitialising_a_variable_keeps_its_identity():
    v = korvu.var(lb=2, name="v")
    e = 3 * v + 1
    ident = hash(v)
    v.__init__(ub=4)
    assert hash(v) == ident and (v.lb, v.ub) == (0.0, 4.0) and v.name == f"C{ident}"
    e += v
    assert e.extractLinear() == ([v], [4.0])


def test_comparisons_build_constraints():
    x, y = korvu.var(name="x"), korvu.var(name="y")
    c = x + 2 <= 5
    assert str(c.body) == "  x" and (c.lb, c.ub) == (-INF, 3.0)
    c = x == y
    assert c.body.extractLinear() == ([x, y], [1.0, -1.0]) and (c.lb, c.ub) == (0.0, 0.0)
    c = x >= y + 1
    assert (c.lb, c.ub) == (1.0, INF)
    c = 5 <= x
    assert str(c.body) == "  x" and (c.lb, c.ub) == (5.0, INF)
    assert (x <= 0).body is x
    c = x == x
    assert c.body == 0.0 and type(c.body) is float
    c = x * y <= 2
    assert str(c.body) == "  x*y" and c.ub == 2.0
    c = x / y + 3 >= 1
    assert str(c.body) == "((x / y))" and c.lb == -2.0
    c = x / y - 3 <= 1  # (n - 3) - 1 <= 0: the body is n - 3
    assert str(c.body) == "((x / y) - 3)" and c.ub == 1.0
    c = x / y <= 2
    assert str(c.body) == "(x / y)" and c.ub == 2.0
    c = 2 - x / y <= 0  # 2 - n <= 0 is n >= 2
    assert str(c.body) == "(x / y)" and (c.lb, c.ub) == (2.0, INF)
    assert c.name == f"R{c.name[1:]}" and str(c) == c.name


def test_comparison_with_arrays_is_elementwise():
    x = korvu.var(name="x")
    r = x <= np.array([1.0, 2.0])
    assert isinstance(r, np.ndarray) and [c.ub for c in r] == [1.0, 2.0]


def test_constraint_constructor():
    x = korvu.var(name="x")
    assert korvu.constraint(body=x, sense=1, rhs=4).ub == 4.0
    c = korvu.constraint(body=x, sense=2, rhs=4)
    assert (c.lb, c.ub) == (4.0, INF)
    c = korvu.constraint(body=x, sense=3, rhs=4)
    assert (c.lb, c.ub) == (4.0, 4.0)
    c = korvu.constraint(body=x, sense=4, rhs=1)
    assert (c.lb, c.ub) == (-INF, INF)
    c = korvu.constraint(body=2 * x, lb=-1, ub=1, name="box")
    assert (c.lb, c.ub, c.name, str(c)) == (-1.0, 1.0, "box", "box")
    d = korvu.constraint(constraint=c)
    assert d.body is c.body and (d.lb, d.ub) == (-1.0, 1.0) and d.name != c.name
    c = korvu.constraint(body=np.array([[x, 2 * x], [x, x]], dtype=object), ub=3)
    assert c.body is x
    assert c.__dict__ == dict.fromkeys(["lb", "ub", "name", "body", "copy"])


def test_constraint_codecs_and_copy():
    x = korvu.var(name="x")
    c = korvu.constraint(body=x + 1, lb=2.5)
    assert c.lb == 2.5
    c.lb = 0
    assert c.lb == 0.0
    c.lb = -5e20
    assert c.lb == -INF
    c.ub = 1
    assert c.ub == 1.0
    ident = int(c.name[1:])
    k = c.copy()
    assert k.name == f"R{ident}_copy_R{ident}" and k is not c
    assert (k.lb, k.ub) == (c.lb, c.ub)
    assert k.body is not c.body and str(k.body) == str(c.body)
    v = korvu.constraint(body=x, lb=1)
    assert v.copy().body is x


def test_sos():
    x, y = korvu.var(), korvu.var()
    s = korvu.sos([x, y], [1, 2])
    ident = int(str(s)[3:])
    assert s.name == f"sos{ident}"
    s.name = "set"
    k = s.copy()
    assert k.name == f"sos{ident}_copy_set" and str(k) == k.name
    s2 = korvu.sos([x], [1.0], type=2, name="two")
    assert s2.name == "two"
    # a set may hold itself: the cycle is collected
    import gc
    import weakref

    lst = [x]
    s3 = korvu.sos(lst, [1])
    lst.append(s3)
    del s3, lst
    gc.collect()


def test_help_texts_start_with_signatures():
    import inspect

    assert str(inspect.signature(korvu.var)).startswith("(name=None, lb=0, ub=1e+20")
    assert korvu.sos.__doc__.startswith("sos(indices, weights, type=1, name=None)")
    x = korvu.var()
    for obj in [x, 2 * x, x * x, x + 1, x / x + x / (x + 1)]:
        assert str(inspect.signature(obj.extractLinear)) == "()"
        assert "Purpose:" in obj.extractQuadratic.__doc__
    assert "Purpose:" in korvu.constraint.__doc__ and "Related topics:" in korvu.var.__doc__
