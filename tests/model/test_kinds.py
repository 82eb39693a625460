"""Result kinds of every operator for every ordered pair of operand kinds."""
import itertools
import operator

import numpy as np
import pytest

import korvu

x, y, z, w = (korvu.var(name=n) for n in "xyzw")

LIN = type(2 * x)
QUAD = type(x * y)
EXPR = type(x + y)
NL = type(x / y)
KIND_OF_TYPE = {korvu.var: "var", LIN: "lin", QUAD: "quad", EXPR: "expr", NL: "nl", float: "num"}
KINDS = ["num", "var", "lin", "quad", "expr", "nl"]


def left(kind):
    return {"num": 2.5, "var": x, "lin": 2 * x, "quad": 3 * x * y, "expr": x + y + 1, "nl": x / y}[kind]


def right(kind):
    return {"num": 4.0, "var": z, "lin": 5 * z, "quad": 6 * z * w, "expr": z + w + 2, "nl": z / w}[kind]


def kind_of(obj):
    return KIND_OF_TYPE[type(obj)]


def expected_sum(a, b):
    return "nl" if "nl" in (a, b) else "expr"


def expected_mul(a, b):
    if "nl" in (a, b):
        return "nl"
    pair = {a, b}
    if "quad" in pair:
        return "quad" if "num" in pair else "nl"
    if "expr" in pair:
        return "expr"
    if "num" in pair:
        return "lin"
    return "quad"


def expected_div(a, b):
    if b == "num":
        return {"var": "lin", "lin": "lin", "quad": "quad", "expr": "expr", "nl": "nl"}[a]
    return "nl"


TABLE = {
    operator.add: expected_sum,
    operator.sub: expected_sum,
    operator.mul: expected_mul,
    operator.truediv: expected_div,
    operator.and_: lambda a, b: "nl",
    operator.or_: lambda a, b: "nl",
}


@pytest.mark.parametrize("op", list(TABLE), ids=lambda f: f.__name__)
def test_binary_result_kinds(op):
    wrong = []
    for a, b in itertools.product(KINDS, KINDS):
        if a == b == "num":
            continue
        got = kind_of(op(left(a), right(b)))
        want = TABLE[op](a, b)
        if got != want:
            wrong.append(f"{a} {op.__name__} {b}: {got}, expected {want}")
    assert not wrong, "\n".join(wrong)


def test_power_and_unary_kinds():
    power2 = {"var": "quad", "lin": "quad", "quad": "nl", "expr": "expr", "nl": "nl"}
    for k, want in power2.items():
        assert kind_of(left(k) ** 2) == want, k
        assert kind_of(left(k) ** 3) == "nl", k
        assert kind_of(left(k) ** 2.5) == "nl", k
        assert kind_of(left(k) ** z) == "nl", k
        assert kind_of(2 ** left(k)) == "nl", k
        assert left(k) ** 0 == 1.0
        assert 1 ** left(k) == 1.0
    negated = {"var": "lin", "lin": "lin", "quad": "quad", "expr": "expr", "nl": "nl"}
    for k, want in negated.items():
        assert kind_of(-left(k)) == want
        assert kind_of(abs(left(k))) == "nl"


def test_in_place_result_kinds():
    # In-place forms behave as the plain operator except for the neutral operands.
    for k in ["var", "lin", "quad", "expr", "nl"]:
        for op, iop in [(operator.add, operator.iadd), (operator.sub, operator.isub),
                        (operator.mul, operator.imul), (operator.truediv, operator.itruediv)]:
            for b in ["num", "var", "lin", "quad", "expr", "nl"]:
                want = kind_of(op(left(k), right(b)))
                a = left(k)
                got = kind_of(iop(a, right(b)))
                assert got == want, (k, op.__name__, b)


def test_identities():
    assert x + 0 is x and x - 0 is x and x * 1 is x and 1 * x is x and x / 1 is x and x ** 1 is x
    assert kind_of(0 + x) == "expr" and str(0 + x) == "  x"
    assert kind_of(0 - x) == "expr"
    assert (x - x) == 0.0 and type(x - x) is float
    assert (x / x) == 1.0 and type(x / x) is float
    assert (x * 0) == 0.0 and type(x * 0) is float
    assert kind_of(x + x) == "lin" and str(x + x) == "2*x"
    t = 2 * x
    assert t + 0 is not t and str(t + 0) == "2*x"
    assert (t * 0) == 0.0
    assert str((x * y) * 0) == "0*x*y"
    assert str(2 * x + 3 * x) == "5*x"
    assert (2 * x - 2 * x) == 0.0
    assert str(0 - 2 * x) == "-2*x"
    assert str(x * y + y * x) == "2*x*y"
    assert str(x * y - x * y) == "0*x*y"
    assert str((x * y) / y) == "x" and kind_of((x * y) / y) == "lin"
    assert str((x * x) / x) == "x"
    assert str((3 * x * y) / x) == "3*y"
    assert (3 * x * y) / (x * y) == 3.0
    assert str((2 * x) ** 2) == "4*x**2"
    assert str((2 * x) / (4 * x)) == "0.5"
    assert kind_of((x * y) / z) == "nl"
    # quadratic-term sums with a number keep the term when the number is 0
    q = x * y
    assert q + 0 is not q and str(q + 0) == "x*y" and str(0 - q) == "-1*x*y"


def test_in_place_identities():
    for obj in [x, 2 * x, x * y]:
        a = obj
        a += 0
        assert a is obj
        a -= 0
        assert a is obj
        a *= 1
        assert a is obj
        a /= 1
        assert a is obj
        a **= 1
        assert a is obj
        a **= 0
        assert a == 1.0
    e = x + 1
    e2 = e
    e **= 1
    assert e is e2
    e *= 1
    assert e is e2


def test_numpy_scalars_are_numbers():
    for s in [np.float64(2), np.float32(2), np.int32(2), np.int64(2)]:
        assert str(x * s) == "2*x"
        assert str(s * x) == "2*x"
        assert kind_of(x + s) == "expr"
        assert x ** s is not None and kind_of(x ** s) == "quad"


def test_array_operands_go_to_numpy():
    arr = np.array([1.0, 2.0], dtype=object)
    r = x + arr
    assert isinstance(r, np.ndarray) and [str(v) for v in r] == ["1 + x", "2 + x"]
    r = x - np.array([1.0, 2.0])
    assert [str(v) for v in r] == ["-1 + x", "-2 + x"]
    r = x * np.array([2.0, 3.0])
    assert [str(v) for v in r] == ["2*x", "3*x"]
    r = x / np.array([2.0, 4.0])
    assert [str(v) for v in r] == ["0.5*x", "0.25*x"]
    with pytest.raises(korvu.ModelError, match="Cannot obtain a power with a vector as an exponent"):
        x ** np.array([2.0])
    with pytest.raises(korvu.ModelError, match="Cannot obtain a power with a vector as an exponent"):
        (x / y) ** np.array([2.0])
