"""Text forms of terms, expressions and nonlinear trees."""
import korvu

x, y, z = (korvu.var(name=n) for n in "xyz")


def test_terms():
    assert [str(t) for t in (2 * x, -x, 1 * x, 0.5 * x, 1e-7 * x)] == ["2*x", "-1*x", "x", "0.5*x", "1e-07*x"]
    assert [str(t) for t in (3 * x * x, x * y, -(x * y), 2.5 * y * x)] == ["3*x**2", "x*y", "-1*x*y", "2.5*x*y"]
    # the lower-numbered variable prints first whatever the order of the operands
    assert str((2 * y) * (3 * x)) == "6*x*y"
    assert repr(2 * x) == "2*x"


def test_expressions():
    assert str(3 + x - 2 * y + 4 * x * y) == "3 + x -2 y +4 x*y"
    assert str(x + y) == "  x + y"
    assert str(x + y - x) == "  y"
    assert str((x + 1) * 0) == "0"
    assert str(-x - y) == " - x - y"
    assert str(2 * x - y + x * x - x * y) == " 2 x - y + x**2 - x*y"
    assert str((x + 1) / 2) == "0.5 +0.5 x"
    assert str(x - 1.5) == "-1.5 + x"
    assert str((x + y) ** 2) == "  x**2 +2 x*y + y**2"


def test_default_names():
    v = korvu.var()
    assert str(v + 1) == f"1 + C{hash(v)}"


def test_nonlinear_trees():
    assert str(x / y) == "(x / y)"
    assert str(x ** 3) == "(x ** 3)"
    assert str(-(x / y)) == "- ((x / y))"
    assert str(2 * (x / y)) == "((x / y) * 2)"
    assert str(3 + x / y) == "((x / y) + 3)"
    assert str(x / y + 2 * x + 1) == "((x / y) + 1 +2 x)"
    assert str(x * y * z) == "(z * x*y)"
    assert str(abs(x + 1)) == "abs (1 + x)"
    assert str(x & y) == "and (x, y)" and str(x | y) == "or (x, y)"
    assert str((x / y) - (y / x)) == "((x / y) - (y / x))"
    assert str(2.5 ** x) == "(2.5 ** x)"


def test_recursion_limit():
    t = x / y
    for _ in range(80):
        t = abs(t)
    s = str(t)
    assert s.startswith("abs (abs (") and "[MAX RECURS LEV]" in s
    assert s.count("abs") == 65


def test_a_name_that_edits_the_expression_while_printing():
    a, b = korvu.var(), korvu.var()
    holder = {}

    class Meddling:
        def __str__(self):
            holder["e"] += korvu.var()
            holder["e"] -= a
            holder["n"] /= a
            return "m"

    e = a + b + 3 * a * b
    holder["e"] = e
    holder["n"] = a / b
    a.name = Meddling()
    assert str(e) == f"  m + C{hash(b)} +3 m*C{hash(b)}"
    assert str(holder["n"]).startswith("(m / ")
    a.name = "a"
