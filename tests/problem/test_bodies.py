"""Bodies of registered constraints: read back from the problem's rows, they
must stay what was given through deletions, library changes, copies, resets
and the problem's end."""
import gc

import numpy as np
import pytest

import korvu


def body(x, i):
    n = len(x)
    return x[i] + 2 * x[(i + 1) % n] - 0.5 * x[(i + 2) % n]


def model(n=5):
    p = korvu.problem()
    p.controls.outputlog = 0
    x = [korvu.var(name=f"x{i}", lb=-10, ub=10) for i in range(n)]
    p.addVariable(x)
    rows = [body(x, i) <= i for i in range(len(x))]
    p.addConstraint(rows)
    return p, x, rows


def texts(rows):
    return [str(c.body) for c in rows]


def test_bodies_read_back_equal_what_was_given():
    p, x, rows = model()
    got = texts(rows)
    assert got == [str(body(x, i)) for i in range(5)]
    assert rows[4].body.extractLinear()[1] == [2.0, -0.5, 1.0]
    # The body read back stays with the constraint: the same object each time.
    assert rows[1].body is rows[1].body
    assert [c.ub for c in rows] == [0.0, 1.0, 2.0, 3.0, 4.0]
    # Copies and constraints made from a registered one see the same body.
    assert str(rows[2].copy().body) == got[2]
    assert str(korvu.constraint(constraint=rows[3], name="again").body) == got[3]


def test_bodies_survive_deletions_and_library_changes():
    p, x, rows = model()
    expected = texts(rows)
    p.delConstraint([rows[0], rows[3]])           # later rows move down
    assert texts([rows[1], rows[2], rows[4]]) == [expected[1], expected[2], expected[4]]
    assert texts([rows[0], rows[3]]) == [expected[0], expected[3]]
    p, x, rows = model()
    expected = texts(rows)
    p.delVariable(x[1])                            # the rows lose the column ...
    assert texts(rows) == expected                 # ... the bodies keep the variable
    p, x, rows = model()
    expected = texts(rows)
    p.chgcoef(rows[2], x[0], 7.0)
    p.chgmcoef([rows[4]], [x[4]], [9.0])
    assert texts(rows) == expected
    assert p.getcoef(rows[2], x[0]) == 7.0
    # Bodies still in the library when the change comes: the changed rows are read
    # back first, the others later, all as they were made.
    p, x, rows = model(8)
    p.chgcoef(rows[2], x[0], 7.0)
    p.chgmcoef([rows[5], 6], [x[5], x[0]], [9.0, 3.0])
    assert texts(rows) == [str(body(x, i)) for i in range(8)]
    assert [p.getcoef(rows[2], x[0]), p.getcoef(rows[5], x[5]), p.getcoef(rows[6], x[0])] == [7.0, 9.0, 3.0]
    # Columns added with coefficients in some rows: those rows keep their bodies too.
    p, x, rows = model(8)
    p.addcols([1.0, 2.0], [0, 2, 3], [rows[1], rows[4], rows[6]], [2.0, -1.0, 5.0], [0.0, 0.0], [1.0, 1.0])
    assert texts(rows) == [str(body(x, i)) for i in range(8)]
    assert [p.getcoef(rows[1], 8), p.getcoef(rows[4], 8), p.getcoef(rows[6], 9)] == [2.0, -1.0, 5.0]


def test_bodies_outlive_their_problem_and_move_between_problems():
    p, x, rows = model()
    expected = texts(rows)
    q = p.copy()                                   # shares the constraint objects
    del p
    gc.collect()
    assert texts(rows) == expected
    assert q.getIndex(rows[3]) == 3
    p, x, rows = model()
    expected = texts(rows)
    r = korvu.problem()
    r.addVariable(x)
    r.addConstraint(rows[1])                       # read back from p's rows
    assert r.getIndex(rows[1]) == 0 and str(rows[1].body) == expected[1]
    p.reset()
    assert texts(rows) == expected
    with pytest.raises(korvu.ModelError):
        r.addConstraint(rows[1])


def test_bodies_the_rows_cannot_stand_for_are_kept():
    p = korvu.problem()
    x, y = korvu.var(name="x"), korvu.var(name="y")
    p.addVariable(x, y)
    tiny = korvu.constraint(body=x + 1e-12 * y, ub=1)  # the library drops 1e-12
    const = korvu.constraint(body=x + y + 3, ub=5)      # the constant is in the bounds
    quad = x * y + x <= 2
    shared = x - y
    held = shared >= 0                                  # the user still holds the body
    p.addConstraint(tiny, const, quad, held)
    assert tiny.body.extractLinear()[1] == [1.0, 1e-12]
    assert str(const.body) == "3 + x + y"
    assert "x*y" in str(quad.body)
    assert held.body is shared


def test_in_place_operators_on_a_read_back_body_keep_their_meaning():
    p = korvu.problem()
    x, y = korvu.var(name="x"), korvu.var(name="y")
    p.addVariable(x, y)
    e = 2 * x + 3 * y
    shared = e == 4                                    # shares e (then e is dropped)
    made = x + y + 1 <= 3                              # a difference made for the row
    del e
    p.addConstraint(shared, made)
    b = shared.body
    b += x                                             # copies: the body is shared
    assert str(shared.body) == " 2 x +3 y"
    m = made.body
    m += y                                             # in place, as before
    assert str(made.body) == str(m)


def test_arrays_of_constraints_and_ids_after_deletions():
    p = korvu.problem()
    v = korvu.vars(4, 3, name="")
    p.addVariable(v)
    C = korvu.Dot(np.arange(1.0, 13.0).reshape(4, 3), v.T) == 1
    p.addConstraint(C)
    expected = [C[i, j].body.extractLinear()[1] for i in range(4) for j in range(4)]
    p.delConstraint([C[0, 1], C[2, 2]])
    p.delVariable(v[3, 0])
    got = [C[i, j].body.extractLinear()[1] for i in range(4) for j in range(4)]
    assert got == expected
    kept = [c for c in C.ravel() if c is not C[0, 1] and c is not C[2, 2]]
    assert [p.getIndex(c) for c in kept] == list(range(14))
    assert [p.getIndex(x) for x in v.ravel() if x is not v[3, 0]] == list(range(11))
    more = v[0, 0] + v[1, 1] >= 0
    p.addConstraint(more)
    assert p.getIndex(more) == 14 and str(more.body) == str(v[0, 0] + v[1, 1])


def test_bodies_with_a_constant_read_without_it_wherever_they_are_read():
    # x + 2y + 5 <= 6 keeps the expression as it was made and moves 5 into the
    # bound: the body reads as x + 2y before and after registration, in every
    # problem, while the expression itself keeps its constant and its meaning.
    x, y, z = (korvu.var(name=n, lb=-10, ub=10) for n in "xyz")
    e = x + 2 * y + 5
    c, d = e <= 6, e == 1
    assert (c.lb, c.ub, d.lb, d.ub) == (-1e20, 1.0, -4.0, -4.0)
    f = e
    e += z  # the expression is shared with the constraints: += makes a new one
    assert f is not e and str(f) == "5 + x +2 y" and str(e) == "5 + x +2 y + z"
    p, q = korvu.problem(), korvu.problem()
    for pr in (p, q):
        pr.controls.outputlog = 0
        pr.addVariable(x, y, z)
    p.addConstraint(c, d)
    q.addConstraint(d)
    rhs, types = [], []
    p.getrhs(rhs, 0, 1)
    p.getrowtype(types, 0, 1)
    assert rhs == [1.0, -4.0] and types == ["L", "E"]
    assert [p.getcoef(0, j) for j in range(3)] == [1.0, 2.0, 0.0]
    assert [q.getcoef(0, j) for j in range(3)] == [1.0, 2.0, 0.0]
    assert str(c.body) == str(d.body) == "  x +2 y" and str(c.copy().body) == "  x +2 y"
    # Read before registration, the body is the constant-free copy from then on.
    g = (3 * x - 1) * 2 + y
    r = g >= 4
    b = r.body
    assert str(b) == " 6 x + y" and r.body is b and r.lb == 6.0
    p.addConstraint(r)
    rhs = []
    p.getrhs(rhs, 2, 2)
    assert rhs == [6.0] and p.getcoef(2, 0) == 6.0
    # Constraints from an array of expressions with constants, registered and
    # given up to the library, read back the same bodies.
    X = korvu.vars(4, name="")
    C = X + np.arange(4.0) - 1 == 2
    p.addVariable(X)
    p.addConstraint(C)
    assert [k.lb for k in C] == [3.0, 2.0, 1.0, 0.0]
    for k, v in zip(C, X):
        assert k.body.extractLinear() == ([v], [1.0]) and str(k.body) == "  " + str(v)
    rhs = []
    p.getrhs(rhs, 3, 6)
    assert rhs == [3.0, 2.0, 1.0, 0.0]


def test_refused_comparisons_leave_the_expression_unshared():
    x = korvu.var(name="x")
    e = x + 1
    with pytest.raises(korvu.ModelError):
        e <= float("nan")
    f = e
    e += x  # not shared: changed in place
    assert f is e and str(e) == "1 +2 x"
    e = x + float("inf")
    with pytest.raises(korvu.ModelError):
        e == float("inf")
    f = e
    e *= 2
    assert f is e
