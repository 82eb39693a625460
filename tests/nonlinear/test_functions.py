"""The module functions that build nonlinear nodes: numbers, arrays, nodes and refusals."""
import math

import numpy as np
import pytest

import korvu

x, y, z = (korvu.var(name=n) for n in "xyz")

UNARY = {
    "sin": math.sin, "cos": math.cos, "tan": math.tan, "asin": math.asin, "acos": math.acos,
    "atan": math.atan, "exp": math.exp, "log": math.log, "log10": math.log10, "abs": abs,
    "sqrt": math.sqrt, "sign": lambda v: float((v > 0) - (v < 0)), "erf": math.erf, "erfc": math.erfc,
}


@pytest.mark.parametrize("name", sorted(UNARY))
def test_unary_functions_on_numbers_arrays_and_model_objects(name):
    f = getattr(korvu, name)
    for v in (0.3, 1, np.float32(0.5), np.int64(1), True):
        r = f(v)
        assert type(r) is float and r == pytest.approx(UNARY[name](float(v)))
    a = np.array([[0.1, 0.2], [0.3, 0.4]])
    r = f(a)
    assert r.shape == a.shape and r.dtype == a.dtype and r is not a
    np.testing.assert_allclose(r, [[UNARY[name](v) for v in row] for row in a.tolist()])
    assert a.tolist() == [[0.1, 0.2], [0.3, 0.4]]  # the argument is unchanged
    node = f(x)
    assert str(node) == f"{name} (x)"
    assert korvu.evaluate(f(2 * x + y), solution={x: 0.1, y: 0.2}) == pytest.approx(UNARY[name](0.4))
    objects = f(np.array([x, y], dtype=object))
    assert objects.dtype == object and [str(o) for o in objects] == [f"{name} (x)", f"{name} (y)"]


def test_numeric_rules_and_domain_errors():
    assert korvu.sin(0) == 0.0
    assert korvu.log10(100) == pytest.approx(2.0)
    assert korvu.sign(-3) == -1.0 and korvu.sign(0) == 0.0 and korvu.sign(float("nan")) == 0.0
    assert korvu.abs(-2) == 2.0 and math.copysign(1, korvu.abs(-0.0)) == 1.0
    assert math.isnan(korvu.sqrt(-1)) and math.isnan(korvu.log(-1))
    assert korvu.log(0) == -math.inf
    # An integer array keeps its dtype: values are truncated.
    assert korvu.sqrt(np.array([4, 10])).tolist() == [2, 3]
    assert korvu.exp(np.array([], dtype=float)).shape == (0,)


def test_unary_refusals():
    with pytest.raises(korvu.ModelError, match="Could not create a unary nonlinear expression: the argument must be a single"):
        korvu.sin([x, y])
    with pytest.raises(korvu.ModelError, match="Could not create a unary nonlinear expression"):
        korvu.cos((x,))
    with pytest.raises(korvu.ModelError, match="Invalid object in unary operation"):
        korvu.exp("x")
    with pytest.raises(korvu.ModelError, match="Invalid object in unary operation"):
        korvu.exp(np.array([x, "s"], dtype=object))
    with pytest.raises(TypeError):
        korvu.sin(x, y)


def test_max_min_and_or():
    assert str(korvu.max(x, y, 3)) == "max (x, y, 3)"
    assert str(korvu.min(x, 2 * y)) == "min (x, 2*y)"
    assert korvu.max(x) is x and korvu.max(5) == 5 and korvu.min([x]) is x
    assert korvu.max(np.array([[4.0]])) == 4.0 and type(korvu.max(np.array([4.0]))) is float
    assert korvu.Or() == 0.0 and korvu.And() == 1.0 and korvu.And(x) is x
    assert str(korvu.And(x, y, z)) == "and (x, y, z)" and str(korvu.Or(x, y)) == "or (x, y)"
    # One collection stands for its members.
    assert str(korvu.max([x, y, z])) == "max (x, y, z)"
    assert str(korvu.min(np.array([x, y], dtype=object))) == "min (x, y)"
    sol = {x: 1.0, y: -2.0, z: 0.5}
    assert korvu.evaluate(korvu.max(x, y, z), solution=sol) == 1.0
    assert korvu.evaluate(korvu.min([x, y, z]), solution=sol) == -2.0
    with pytest.raises(korvu.ModelError, match="The function korvu.max must have at least one argument"):
        korvu.max()
    with pytest.raises(korvu.ModelError, match="The function korvu.min must have at least one argument"):
        korvu.min([])
    with pytest.raises(korvu.ModelError, match="Incorrect argument for korvu.max function"):
        korvu.max("s")
    with pytest.raises(korvu.ModelError, match="Incorrect argument for korvu.And function"):
        korvu.And({1: 2})
    with pytest.raises(korvu.ModelError, match="Incorrect argument for korvu.Or function"):
        korvu.Or(["s"])
    with pytest.raises(korvu.ModelError, match="Invalid object in n-ary operation"):
        korvu.max(x, [y, z])


def test_pwl_breakpoints():
    node = korvu.pwl({(1, 4): 2 * x + 1, (4, 6): 4 * x + 5})
    assert str(node) == "pwl (x, 1.0, 3.0, 4.0, 9.0, 4.0, 21.0, 6.0, 29.0)"
    # Continuous at a shared end: one breakpoint; a gap keeps both ends; intervals are sorted.
    assert str(korvu.pwl({(2, 3): 3 * x - 4, (0, 2): x})) == "pwl (x, 0.0, 0.0, 2.0, 2.0, 3.0, 5.0)"
    assert str(korvu.pwl({(0, 1): 2, (3, 4): 2, None: y})) == "pwl (y, 0.0, 2.0, 1.0, 2.0, 3.0, 2.0, 4.0, 2.0)"
    assert str(korvu.pwl({(0, 1): 1 + korvu.Sum([3 * z])})) == "pwl (z, 0.0, 1.0, 1.0, 4.0)"
    f = korvu.pwl({(0, 1): 2 * x, (1, 3): x + 1})
    assert [korvu.evaluate(f, solution={x: t}) for t in (0.5, 1.0, 2.0)] == pytest.approx([1.0, 2.0, 3.0])


@pytest.mark.parametrize("arg, message", [
    ([1, 2], "only accepts a dictionary"),
    ({(1, 4): 2, (4, 6): 3}, "No variable specified for this piecewise linear function"),
    ({(1, 4): x, (3, 6): x}, r"Interval \[1.0,4.0\] overlaps with \[3.0,6.0\]"),
    ({(4, 1): x}, "such that a<b; <\\(4, 1\\)> is not"),
    ({(1, "a"): x}, "two constant numbers"),
    ({(1, 2, 3): x}, "must be two-tuples; <\\(1, 2, 3\\)> is not"),
    ({5: x}, "must be two-tuples; <5> is not"),
    ({None: 3}, r"Tuple \(None, Obj\) must have an korvu.var\(\) object as Obj, found <3>"),
    ({(0, 1): x, (1, 2): y}, r"Expression in \[1.0,2.0\] interval contains variable y"),
    ({(0, 1): x + y}, "it must contain one variable only"),
    ({(0, 1): x * y}, "it must be a constant or a linear function"),
    ({(0, 1): korvu.sin(x)}, "it must be a constant or a linear function"),
    ({None: x}, "at least one interval"),
])
def test_pwl_refusals(arg, message):
    with pytest.raises(korvu.ModelError, match=message):
        korvu.pwl(arg)


def test_user_nodes():
    def f(a, b):
        return a * b

    node = korvu.user(f, x, y)
    assert str(node) == "user (user, x, y)"
    assert korvu.evaluate(node, solution={x: 2.0, y: 3.0}) == 6.0
    assert str(korvu.user(f, x, 2 * y, derivatives=1)) == "user (user, x, 2*y)"
    with pytest.raises(korvu.ModelError, match="First argument of a user\\(\\) operator must be the function itself"):
        korvu.user(x, y)
    with pytest.raises(korvu.ModelError, match="First argument of a user"):
        korvu.user()
    with pytest.raises(korvu.ModelError, match="Invalid object in n-ary operation"):
        korvu.user(f, [x, y])
    with pytest.raises(TypeError):
        korvu.user(f, x, derivatives="yes")


def test_help_texts_have_the_sections():
    for name in list(UNARY) + ["max", "min", "And", "Or", "pwl", "user"]:
        doc = getattr(korvu, name).__doc__
        for section in ("Purpose:", "Synopsis:", "Arguments:", "Example:", "Related topics:"):
            assert section in doc, (name, section)
