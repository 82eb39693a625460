"""Random linear and quadratic algebra agrees with plain arithmetic on floats."""
import math
import operator

from hypothesis import assume, given, settings
from hypothesis import strategies as st

import korvu

VARS = [korvu.var(name=n) for n in "abcd"]
# == on model objects builds constraints, so variables are looked up by their number.
INDEX = {hash(v): i for i, v in enumerate(VARS)}
NL = type(VARS[0] / VARS[1])

consts = st.one_of(st.integers(-4, 4), st.floats(-5, 5, allow_nan=False).map(lambda v: round(v, 3)))
nonzero = consts.filter(lambda v: v != 0)
leaves = st.one_of(st.tuples(st.just("var"), st.integers(0, len(VARS) - 1)), st.tuples(st.just("const"), consts))


def extend(children):
    return st.one_of(
        st.tuples(st.sampled_from(["add", "sub", "mul", "iadd", "isub"]), children, children),
        st.tuples(st.sampled_from(["neg", "pow2", "abs1"]), children),
        st.tuples(st.sampled_from(["scale", "div", "iscale", "idiv"]), children, nonzero),
    )


trees = st.recursive(leaves, extend, max_leaves=12)


def degree(t):
    kind = t[0]
    if kind == "var":
        return 1
    if kind == "const":
        return 0
    if kind in ("add", "sub", "iadd", "isub"):
        return max(degree(t[1]), degree(t[2]))
    if kind == "mul":
        return degree(t[1]) + degree(t[2])
    if kind == "pow2":
        return 2 * degree(t[1])
    return degree(t[1])


def normalise(t):
    """Keeps every subtree within degree 2: a product or square that would exceed it becomes a sum."""
    kind = t[0]
    if kind in ("var", "const"):
        return t
    if len(t) == 3 and not isinstance(t[2], tuple):
        return (kind, normalise(t[1]), t[2])
    kids = tuple(normalise(c) for c in t[1:])
    t = (kind,) + kids
    if kind == "mul" and degree(t) > 2:
        return ("add",) + kids
    if kind == "pow2" and degree(t) > 2:
        return ("neg",) + kids
    return t


def build(t, leaf):
    kind = t[0]
    if kind == "var":
        return leaf(t[1])
    if kind == "const":
        return t[1]
    a = build(t[1], leaf)
    if kind == "neg":
        return -a
    if kind == "pow2":
        return a ** 2
    if kind == "abs1":
        return a ** 1
    if kind == "scale":
        return a * t[2]
    if kind == "div":
        return a / t[2]
    if kind == "iscale":
        a *= t[2]
        return a
    if kind == "idiv":
        a /= t[2]
        return a
    b = build(t[2], leaf)
    if kind == "add":
        return a + b
    if kind == "sub":
        return a - b
    if kind == "mul":
        return a * b
    if kind == "iadd":
        a += b
        return a
    a -= b
    return a


def evaluate(result, values):
    if isinstance(result, (int, float)):
        return float(result)
    if isinstance(result, korvu.var):
        return values[INDEX[hash(result)]]
    lin_vars, lin_coefs = result.extractLinear()
    q1, q2, qc = result.extractQuadratic()
    constant = -(result == 0).ub if type(result).__name__ == "expression" else 0.0
    total = constant
    total += sum(c * values[INDEX[hash(v)]] for v, c in zip(lin_vars, lin_coefs))
    total += sum(c * values[INDEX[hash(u)]] * values[INDEX[hash(v)]] for u, v, c in zip(q1, q2, qc))
    # the parts come in ascending variable order, each pair once with its lower variable first
    assert [hash(v) for v in lin_vars] == sorted(hash(v) for v in lin_vars)
    assert all(hash(u) <= hash(v) for u, v in zip(q1, q2))
    assert 0.0 not in lin_coefs
    return total


@settings(max_examples=400, deadline=None)
@given(trees, st.lists(st.floats(-3, 3, allow_nan=False), min_size=len(VARS), max_size=len(VARS)))
def test_algebra_matches_float_arithmetic(tree, values):
    tree = normalise(tree)
    expected = build(tree, lambda i: values[i])
    result = build(tree, lambda i: VARS[i])
    assume(not isinstance(result, NL))
    got = evaluate(result, values)
    scale = max(1.0, abs(expected))
    assert math.isclose(got, expected, rel_tol=1e-9, abs_tol=1e-9 * scale), (tree, str(result))


@settings(max_examples=200, deadline=None)
@given(trees, st.lists(st.floats(-3, 3, allow_nan=False), min_size=len(VARS), max_size=len(VARS)))
def test_nonlinear_sums_keep_their_linear_part(tree, values):
    # Adding a nonlinear node must carry the linear part through unchanged.
    tree = normalise(tree)
    result = build(tree, lambda i: VARS[i])
    assume(not isinstance(result, NL))
    node = VARS[0] / VARS[1] + result
    node -= VARS[0] / VARS[1] * 0 + 0
    lin_vars, lin_coefs = node.extractLinear()
    want_vars, want_coefs = (result.extractLinear() if not isinstance(result, (int, float)) else ([], []))
    got = dict(zip(map(hash, lin_vars), lin_coefs))
    want = dict(zip(map(hash, want_vars), want_coefs))
    assert got.keys() == want.keys()
    for k in want:
        assert math.isclose(got[k], want[k], rel_tol=1e-12, abs_tol=1e-12)
