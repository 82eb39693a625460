"""Refused operations raise the documented messages and change no operand."""
import numpy as np
import pytest

import korvu

x, y, z = (korvu.var(name=n) for n in "xyz")


def snapshot(obj):
    parts = [str(obj)]
    if hasattr(type(obj), "extractLinear"):
        parts += [repr(obj.extractLinear()), repr(obj.extractQuadratic())]
    return parts


@pytest.mark.parametrize(
    "make, action, message",
    [
        (lambda: x, lambda a: a + "s", "Invalid object in operation"),
        (lambda: 2 * x, lambda a: a - "s", "Invalid object in operation"),
        (lambda: x * y, lambda a: a * "s", "Invalid object in operation"),
        (lambda: x + y, lambda a: a / "s", "Invalid object in operation"),
        (lambda: x / y, lambda a: a + "s", "Invalid object in operation"),
        (lambda: x + 1, lambda a: a.__iadd__("s"), "Invalid object in operation"),
        (lambda: x + 1, lambda a: a.__isub__(None), "Invalid object in operation"),
        (lambda: (x / y) + x, lambda a: a.__iadd__([1]), "Invalid object in operation"),
        (lambda: x, lambda a: a / 0, "Division of variable by zero"),
        (lambda: x, lambda a: a.__itruediv__(0), "Division by zero"),
        (lambda: 2 * x, lambda a: a / 0, "Division by zero"),
        (lambda: 2 * x, lambda a: a.__itruediv__(0), "Division by zero"),
        (lambda: x * y, lambda a: a / 0, "Division by zero of a bilinear term"),
        (lambda: x * y, lambda a: a / (0 * y + 0.0 * z + 0 * x + (x - x)), "Division by zero of a bilinear term"),
        (lambda: 2 * x, lambda a: a / (0 * (x * y)), "Division by zero of a linear term"),
        (lambda: x, lambda a: a / (0 * (x * y)), "Division by zero of a variable"),
        (lambda: x + 1, lambda a: a / 0, "Division by zero"),
        (lambda: x + 1, lambda a: a.__itruediv__(0), "Division by zero"),
        (lambda: x / y, lambda a: a / 0, "Division by zero"),
        (lambda: x / y, lambda a: a.__itruediv__(0), "Division by zero"),
        (lambda: x, lambda a: a ** np.array([1.0, 2.0]), "Cannot obtain a power with a vector as an exponent"),
        (lambda: x + 1, lambda a: a.__ipow__(np.array([1.0])), "Cannot obtain a power with a vector as an exponent"),
        (lambda: x, lambda a: a < 3, r"cannot enforce f\(x\) != 0, f\(x\) > 0, or f\(x\) < 0"),
        (lambda: x + y, lambda a: a != 3, r"cannot enforce"),
        (lambda: x / y, lambda a: a > 3, r"cannot enforce"),
    ],
)
def test_refusal_leaves_operands_unchanged(make, action, message):
    a = make()
    before = snapshot(a)
    with pytest.raises(korvu.ModelError, match=message):
        action(a)
    assert snapshot(a) == before


def test_classification_message_names_the_object():
    with pytest.raises(korvu.ModelError, match=r"Invalid object in operation: <\[1, 2\]>"):
        x * [1, 2]
    with pytest.raises(korvu.ModelError):
        x & "a"
    with pytest.raises(korvu.ModelError):
        abs(x) + {}


def test_variable_refusals():
    with pytest.raises(korvu.ModelError, match="Variable has empty feasible set: lower bound > upper bound"):
        korvu.var(lb=5, ub=4)
    korvu.var(lb=5, ub=4.9999995)
    with pytest.raises(korvu.ModelError, match=r"Invalid variable name \(must be a string\)"):
        korvu.var(name=3)
    v = korvu.var()
    with pytest.raises(korvu.InterfaceError, match="Incorrect member name of type korvu.var"):
        v.colour = 3
    with pytest.raises(TypeError):
        v.lb = "low"
    assert v.lb == 0.0
    with pytest.raises(korvu.ModelError):
        korvu.var(vartype=9)
    with pytest.raises(korvu.ModelError):
        v.vartype = 8
    assert v.vartype == 0
    with pytest.raises(korvu.InterfaceError):
        del v.lb
    with pytest.raises(AttributeError):
        v.__array__


def test_constraint_refusals():
    with pytest.raises(korvu.ModelError, match=r"Cannot create constraint by specifying both rhs AND lb/ub\."):
        korvu.constraint(body=x, lb=1, rhs=2)
    with pytest.raises(korvu.ModelError, match=r"Arguments required for korvu.constraint\(\)"):
        korvu.constraint(body=x)
    with pytest.raises(korvu.ModelError, match=r"Arguments required"):
        korvu.constraint(lb=1)
    with pytest.raises(korvu.ModelError, match="Constraint defined infeasible: lower bound > upper bound"):
        korvu.constraint(body=x, lb=3, ub=2)
    with pytest.raises(korvu.ModelError, match="Invalid expression passed as body of constraint"):
        korvu.constraint(body="x", lb=1)
    with pytest.raises(korvu.ModelError, match="Attempt to generate an empty constraint failed"):
        korvu.constraint(constraint=x, lb=0)
    c = x <= 1
    with pytest.raises(korvu.InterfaceError, match="Incorrect member name of type korvu.constraint"):
        c.body = y
    assert str(c.body) == "  x"
    c.__init__(body=y, ub=2)  # re-initialising keeps the identity
    assert str(c.body) == "y" and c.ub == 2.0 and c.lb == -1e20


def test_sos_refusals():
    with pytest.raises(korvu.ModelError, match="SOS weights must be passed as a list"):
        korvu.sos([x], (1,))
    with pytest.raises(korvu.ModelError, match="SOS indices must be passed as a list"):
        korvu.sos((x,), [1])
    with pytest.raises(korvu.ModelError, match="SOS type must be 1 or 2"):
        korvu.sos([x, y], [1, 2], type=3)
    with pytest.raises(korvu.ModelError, match="SOS type must be 1 or 2"):
        korvu.sos([x, y], [1, 2], type=257)
    with pytest.raises(korvu.ModelError, match="same length"):
        korvu.sos([x, y], [1])


def test_a_constraint_has_no_truth_value():
    c = x <= 2
    with pytest.raises(korvu.ModelError, match="range"):
        bool(c)
    # A chained comparison fails loudly instead of dropping its first bound.
    with pytest.raises(korvu.ModelError, match="chained comparison"):
        1 <= x <= 2
    with pytest.raises(korvu.ModelError):
        x in [y, z]  # x == y is a constraint, not an answer


@pytest.mark.parametrize("make", [lambda: x <= float("nan"), lambda: float("nan") <= x + y,
                                  lambda: korvu.constraint(body=x, lb=float("nan")),
                                  lambda: korvu.var(ub=float("nan")),
                                  lambda: korvu.var(threshold=float("nan"))])
def test_nan_bounds_are_refused_where_they_enter(make):
    with pytest.raises(korvu.ModelError, match="NaN"):
        make()


def test_infinite_bounds_stay_bounds():
    c = x <= float("inf")
    assert c.ub >= 1e20
    assert korvu.var(lb=-float("inf")).lb == -1e20


@pytest.mark.parametrize("body", [float("inf") * y, y * y * float("nan"), float("-inf") * y + x])
def test_non_finite_coefficients_are_refused_by_the_problem(body):
    p = korvu.problem(x, y, name="nonfinite")
    with pytest.raises(korvu.ModelError, match="not finite") as info:
        p.addConstraint(korvu.constraint(body=body, ub=1, name="cap"))
    assert "cap" in str(info.value) and "y" in str(info.value)
    with pytest.raises(korvu.ModelError, match="objective"):
        p.setObjective(body)
    assert p.attributes.rows == 0 and p.getConstraint() == []


def test_refused_reinitialisation_leaves_the_object_as_it_was():
    v = korvu.var(name="keep", lb=1, ub=3, vartype=korvu.integer)
    for bad in ({"lb": "a"}, {"name": 5}, {"lb": 2, "ub": 1}, {"vartype": 9}, {"ub": float("nan")}):
        with pytest.raises((TypeError, korvu.ModelError)):
            v.__init__(**bad)
        assert (v.name, v.lb, v.ub, v.vartype) == ("keep", 1.0, 3.0, korvu.integer)
    c = korvu.constraint(body=x + y, ub=4, name="c")
    with pytest.raises(TypeError):
        c.__init__(lb="a")
    assert (c.name, c.ub, str(c.body)) == ("c", 4.0, str(x + y))
