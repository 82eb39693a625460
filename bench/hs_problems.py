"""Hock-Schittkowski test problems (the 1981 collection), transcribed from the
formulas of the book: objective, constraints, bounds, start point and the
optimal value the book reports.

Each problem is a function ``hsN(x, o)`` of the variables ``x`` (a sequence)
and an operations namespace ``o`` (``exp``, ``log``, ``sin``, ``cos``,
``sqrt``); it returns the objective and a list of constraints, each
``("ge", g)`` for g(x) >= 0 or ``("eq", h)`` for h(x) = 0.  The same function
builds a korvu model (``o`` holding korvu's functions, ``x`` korvu variables)
and the numpy callables scipy needs (``o`` = ``NUMPY_OPS``, ``x`` floats).
Metadata (dimension, bounds, start, optimal value) comes from the ``problem``
decorator; ``PROBLEMS`` lists them in order.
"""
import math
import types

import numpy as np

NUMPY_OPS = types.SimpleNamespace(exp=np.exp, log=np.log, sin=np.sin, cos=np.cos, sqrt=np.sqrt)

INF = math.inf
PROBLEMS = []


class Problem:
    def __init__(self, number, func, n, x0, fopt, lb, ub):
        self.number = number
        self.name = "hs%03d" % number
        self.func = func
        self.n = n
        self.x0 = [float(v) for v in x0]
        self.fopt = fopt
        self.lb = [float(v) for v in lb]
        self.ub = [float(v) for v in ub]
        # Whether the formulas call a library function (else they are
        # rational: sums, products, quotients and powers).
        used = []
        probe = types.SimpleNamespace(**{
            k: (lambda f, k=k: (lambda *a: used.append(k) or f(*a)))(getattr(NUMPY_OPS, k))
            for k in vars(NUMPY_OPS)})
        with np.errstate(all="ignore"):
            func(np.array(self.x0), probe)
        self.uses_functions = bool(used)

    def __call__(self, x, o):
        return self.func(x, o)

    def __repr__(self):
        return "<%s n=%d>" % (self.name, self.n)


def _vec(v, n, default):
    if v is None:
        return [default] * n
    if isinstance(v, (int, float)):
        return [v] * n
    assert len(v) == n
    return [default if e is None else e for e in v]


def problem(number, n, x0, fopt, lb=None, ub=None):
    def wrap(func):
        PROBLEMS.append(Problem(number, func, n, _vec(x0, n, 0.0), fopt, _vec(lb, n, -INF),
                                _vec(ub, n, INF)))
        return func
    return wrap


def rosen(x1, x2):
    return 100 * (x2 - x1 ** 2) ** 2 + (1 - x1) ** 2


@problem(1, 2, [-2, 1], 0.0, lb=[None, -1.5])
def hs1(x, o):
    return rosen(*x), []


@problem(2, 2, [-2, 1], 0.0504261879, lb=[None, 1.5])
def hs2(x, o):
    return rosen(*x), []


@problem(3, 2, [10, 1], 0.0, lb=[None, 0])
def hs3(x, o):
    x1, x2 = x
    return x2 + 1e-5 * (x2 - x1) ** 2, []


@problem(4, 2, [1.125, 0.125], 8.0 / 3.0, lb=[1, 0])
def hs4(x, o):
    x1, x2 = x
    return (x1 + 1) ** 3 / 3 + x2, []


@problem(5, 2, [0, 0], -math.sqrt(3) / 2 - math.pi / 3, lb=[-1.5, -3], ub=[4, 3])
def hs5(x, o):
    x1, x2 = x
    return o.sin(x1 + x2) + (x1 - x2) ** 2 - 1.5 * x1 + 2.5 * x2 + 1, []


@problem(6, 2, [-1.2, 1], 0.0)
def hs6(x, o):
    x1, x2 = x
    return (1 - x1) ** 2, [("eq", 10 * (x2 - x1 ** 2))]


@problem(7, 2, [2, 2], -math.sqrt(3))
def hs7(x, o):
    x1, x2 = x
    return o.log(1 + x1 ** 2) - x2, [("eq", (1 + x1 ** 2) ** 2 + x2 ** 2 - 4)]


@problem(8, 2, [2, 1], -1.0)
def hs8(x, o):
    x1, x2 = x
    return -1 + 0 * x1, [("eq", x1 ** 2 + x2 ** 2 - 25), ("eq", x1 * x2 - 9)]


@problem(9, 2, [0, 0], -0.5)
def hs9(x, o):
    x1, x2 = x
    return o.sin(math.pi * x1 / 12) * o.cos(math.pi * x2 / 16), [("eq", 4 * x1 - 3 * x2)]


@problem(10, 2, [-10, 10], -1.0)
def hs10(x, o):
    x1, x2 = x
    return x1 - x2, [("ge", -3 * x1 ** 2 + 2 * x1 * x2 - x2 ** 2 + 1)]


@problem(11, 2, [4.9, 0.1], -8.498464223)
def hs11(x, o):
    x1, x2 = x
    return (x1 - 5) ** 2 + x2 ** 2 - 25, [("ge", -x1 ** 2 + x2)]


@problem(12, 2, [0, 0], -30.0)
def hs12(x, o):
    x1, x2 = x
    return 0.5 * x1 ** 2 + x2 ** 2 - x1 * x2 - 7 * x1 - 7 * x2, [("ge", 25 - 4 * x1 ** 2 - x2 ** 2)]


@problem(13, 2, [-2, -2], 1.0, lb=[0, 0])
def hs13(x, o):
    x1, x2 = x
    return (x1 - 2) ** 2 + x2 ** 2, [("ge", (1 - x1) ** 3 - x2)]


@problem(14, 2, [2, 2], 9 - 23 * math.sqrt(7) / 8)
def hs14(x, o):
    x1, x2 = x
    return (x1 - 2) ** 2 + (x2 - 1) ** 2, [("ge", -x1 ** 2 / 4 - x2 ** 2 + 1),
                                            ("eq", x1 - 2 * x2 + 1)]


@problem(15, 2, [-2, 1], 306.5, ub=[0.5, None])
def hs15(x, o):
    x1, x2 = x
    return rosen(x1, x2), [("ge", x1 * x2 - 1), ("ge", x1 + x2 ** 2)]


@problem(16, 2, [-2, 1], 0.25, lb=[-0.5, None], ub=[0.5, 1])
def hs16(x, o):
    x1, x2 = x
    return rosen(x1, x2), [("ge", x1 + x2 ** 2), ("ge", x1 ** 2 + x2)]


@problem(17, 2, [-2, 1], 1.0, lb=[-2, None], ub=[0.5, 1])
def hs17(x, o):
    x1, x2 = x
    return rosen(x1, x2), [("ge", x2 ** 2 - x1), ("ge", x1 ** 2 - x2)]


@problem(18, 2, [2, 2], 5.0, lb=[2, 0], ub=[50, 50])
def hs18(x, o):
    x1, x2 = x
    return 0.01 * x1 ** 2 + x2 ** 2, [("ge", x1 * x2 - 25), ("ge", x1 ** 2 + x2 ** 2 - 25)]


@problem(19, 2, [20.1, 5.84], -6961.81381, lb=[13, 0], ub=[100, 100])
def hs19(x, o):
    x1, x2 = x
    return (x1 - 10) ** 3 + (x2 - 20) ** 3, [("ge", (x1 - 5) ** 2 + (x2 - 5) ** 2 - 100),
                                              ("ge", -(x2 - 5) ** 2 - (x1 - 6) ** 2 + 82.81)]


@problem(20, 2, [-2, 1], 40.19872981, lb=[-0.5, None], ub=[0.5, None])
def hs20(x, o):
    x1, x2 = x
    return rosen(x1, x2), [("ge", x1 + x2 ** 2), ("ge", x1 ** 2 + x2),
                           ("ge", x1 ** 2 + x2 ** 2 - 1)]


@problem(21, 2, [-1, -1], -99.96, lb=[2, -50], ub=[50, 50])
def hs21(x, o):
    x1, x2 = x
    return 0.01 * x1 ** 2 + x2 ** 2 - 100, [("ge", 10 * x1 - x2 - 10)]


@problem(22, 2, [2, 2], 1.0)
def hs22(x, o):
    x1, x2 = x
    return (x1 - 2) ** 2 + (x2 - 1) ** 2, [("ge", -x1 - x2 + 2), ("ge", -x1 ** 2 + x2)]


@problem(23, 2, [3, 1], 2.0, lb=-50, ub=50)
def hs23(x, o):
    x1, x2 = x
    return x1 ** 2 + x2 ** 2, [("ge", x1 + x2 - 1), ("ge", x1 ** 2 + x2 ** 2 - 1),
                               ("ge", 9 * x1 ** 2 + x2 ** 2 - 9), ("ge", x1 ** 2 - x2),
                               ("ge", x2 ** 2 - x1)]


@problem(24, 2, [1, 0.5], -1.0, lb=[0, 0])
def hs24(x, o):
    x1, x2 = x
    s3 = math.sqrt(3)
    return ((x1 - 3) ** 2 - 9) * x2 ** 3 / (27 * s3), [("ge", x1 / s3 - x2), ("ge", x1 + s3 * x2),
                                                       ("ge", -x1 - s3 * x2 + 6)]


@problem(26, 3, [-2.6, 2, 2], 0.0)
def hs26(x, o):
    x1, x2, x3 = x
    return (x1 - x2) ** 2 + (x2 - x3) ** 4, [("eq", (1 + x2 ** 2) * x1 + x3 ** 4 - 3)]


@problem(27, 3, [2, 2, 2], 0.04)
def hs27(x, o):
    x1, x2, x3 = x
    return 0.01 * (x1 - 1) ** 2 + (x2 - x1 ** 2) ** 2, [("eq", x1 + x3 ** 2 + 1)]


@problem(28, 3, [-4, 1, 1], 0.0)
def hs28(x, o):
    x1, x2, x3 = x
    return (x1 + x2) ** 2 + (x2 + x3) ** 2, [("eq", x1 + 2 * x2 + 3 * x3 - 1)]


@problem(29, 3, [1, 1, 1], -16 * math.sqrt(2))
def hs29(x, o):
    x1, x2, x3 = x
    return -x1 * x2 * x3, [("ge", -x1 ** 2 - 2 * x2 ** 2 - 4 * x3 ** 2 + 48)]


@problem(30, 3, [1, 1, 1], 1.0, lb=[1, -10, -10], ub=10)
def hs30(x, o):
    x1, x2, x3 = x
    return x1 ** 2 + x2 ** 2 + x3 ** 2, [("ge", x1 ** 2 + x2 ** 2 - 1)]


@problem(31, 3, [1, 1, 1], 6.0, lb=[-10, 1, -10], ub=[10, 10, 1])
def hs31(x, o):
    x1, x2, x3 = x
    return 9 * x1 ** 2 + x2 ** 2 + 9 * x3 ** 2, [("ge", x1 * x2 - 1)]


@problem(32, 3, [0.1, 0.7, 0.2], 1.0, lb=0)
def hs32(x, o):
    x1, x2, x3 = x
    return (x1 + 3 * x2 + x3) ** 2 + 4 * (x1 - x2) ** 2, [("ge", 6 * x2 + 4 * x3 - x1 ** 3 - 3),
                                                         ("eq", 1 - x1 - x2 - x3)]


@problem(33, 3, [0, 0, 3], math.sqrt(2) - 6, lb=0, ub=[None, None, 5])
def hs33(x, o):
    x1, x2, x3 = x
    return (x1 - 1) * (x1 - 2) * (x1 - 3) + x3, [("ge", x3 ** 2 - x2 ** 2 - x1 ** 2),
                                                 ("ge", x1 ** 2 + x2 ** 2 + x3 ** 2 - 4)]


@problem(34, 3, [0, 1.05, 2.9], -math.log(math.log(10)), lb=0, ub=[100, 100, 10])
def hs34(x, o):
    x1, x2, x3 = x
    return -x1, [("ge", x2 - o.exp(x1)), ("ge", x3 - o.exp(x2))]


@problem(35, 3, [0.5, 0.5, 0.5], 1.0 / 9.0, lb=0)
def hs35(x, o):
    x1, x2, x3 = x
    f = (9 - 8 * x1 - 6 * x2 - 4 * x3 + 2 * x1 ** 2 + 2 * x2 ** 2 + x3 ** 2 + 2 * x1 * x2
         + 2 * x1 * x3)
    return f, [("ge", 3 - x1 - x2 - 2 * x3)]


@problem(36, 3, [10, 10, 10], -3300.0, lb=0, ub=[20, 11, 42])
def hs36(x, o):
    x1, x2, x3 = x
    return -x1 * x2 * x3, [("ge", 72 - x1 - 2 * x2 - 2 * x3)]


@problem(37, 3, [10, 10, 10], -3456.0, lb=0, ub=42)
def hs37(x, o):
    x1, x2, x3 = x
    return -x1 * x2 * x3, [("ge", 72 - x1 - 2 * x2 - 2 * x3), ("ge", x1 + 2 * x2 + 2 * x3)]


@problem(38, 4, [-3, -1, -3, -1], 0.0, lb=-10, ub=10)
def hs38(x, o):
    x1, x2, x3, x4 = x
    f = (100 * (x2 - x1 ** 2) ** 2 + (1 - x1) ** 2 + 90 * (x4 - x3 ** 2) ** 2 + (1 - x3) ** 2
         + 10.1 * ((x2 - 1) ** 2 + (x4 - 1) ** 2) + 19.8 * (x2 - 1) * (x4 - 1))
    return f, []


@problem(39, 4, [2, 2, 2, 2], -1.0)
def hs39(x, o):
    x1, x2, x3, x4 = x
    return -x1, [("eq", x2 - x1 ** 3 - x3 ** 2), ("eq", x1 ** 2 - x2 - x4 ** 2)]


@problem(40, 4, [0.8, 0.8, 0.8, 0.8], -0.25)
def hs40(x, o):
    x1, x2, x3, x4 = x
    return -x1 * x2 * x3 * x4, [("eq", x1 ** 3 + x2 ** 2 - 1), ("eq", x1 ** 2 * x4 - x3),
                                ("eq", x4 ** 2 - x2)]


@problem(41, 4, [2, 2, 2, 2], 52.0 / 27.0, lb=0, ub=[1, 1, 1, 2])
def hs41(x, o):
    x1, x2, x3, x4 = x
    return 2 - x1 * x2 * x3, [("eq", x1 + 2 * x2 + 2 * x3 - x4)]


@problem(42, 4, [1, 1, 1, 1], 28 - 10 * math.sqrt(2))
def hs42(x, o):
    x1, x2, x3, x4 = x
    return ((x1 - 1) ** 2 + (x2 - 2) ** 2 + (x3 - 3) ** 2 + (x4 - 4) ** 2,
            [("eq", x1 - 2), ("eq", x3 ** 2 + x4 ** 2 - 2)])


@problem(43, 4, [0, 0, 0, 0], -44.0)
def hs43(x, o):
    x1, x2, x3, x4 = x
    f = x1 ** 2 + x2 ** 2 + 2 * x3 ** 2 + x4 ** 2 - 5 * x1 - 5 * x2 - 21 * x3 + 7 * x4
    return f, [("ge", 8 - x1 ** 2 - x2 ** 2 - x3 ** 2 - x4 ** 2 - x1 + x2 - x3 + x4),
               ("ge", 10 - x1 ** 2 - 2 * x2 ** 2 - x3 ** 2 - 2 * x4 ** 2 + x1 + x4),
               ("ge", 5 - 2 * x1 ** 2 - x2 ** 2 - x3 ** 2 - 2 * x1 + x2 + x4)]


@problem(44, 4, [0, 0, 0, 0], -15.0, lb=0)
def hs44(x, o):
    x1, x2, x3, x4 = x
    f = x1 - x2 - x3 - x1 * x3 + x1 * x4 + x2 * x3 - x2 * x4
    return f, [("ge", 8 - x1 - 2 * x2), ("ge", 12 - 4 * x1 - x2), ("ge", 12 - 3 * x1 - 4 * x2),
               ("ge", 8 - 2 * x3 - x4), ("ge", 8 - x3 - 2 * x4), ("ge", 5 - x3 - x4)]


@problem(45, 5, [2] * 5, 1.0, lb=0, ub=[1, 2, 3, 4, 5])
def hs45(x, o):
    x1, x2, x3, x4, x5 = x
    return 2 - x1 * x2 * x3 * x4 * x5 / 120, []


@problem(46, 5, [0.5 * math.sqrt(2), 1.75, 0.5, 2, 2], 0.0)
def hs46(x, o):
    x1, x2, x3, x4, x5 = x
    f = (x1 - x2) ** 2 + (x3 - 1) ** 2 + (x4 - 1) ** 4 + (x5 - 1) ** 6
    return f, [("eq", x1 ** 2 * x4 + o.sin(x4 - x5) - 1), ("eq", x2 + x3 ** 4 * x4 ** 2 - 2)]


@problem(47, 5, [2, math.sqrt(2), -1, 2 - math.sqrt(2), 0.5], 0.0)
def hs47(x, o):
    x1, x2, x3, x4, x5 = x
    f = (x1 - x2) ** 2 + (x2 - x3) ** 3 + (x3 - x4) ** 4 + (x4 - x5) ** 4
    return f, [("eq", x1 + x2 ** 2 + x3 ** 3 - 3), ("eq", x2 - x3 ** 2 + x4 - 1),
               ("eq", x1 * x5 - 1)]


@problem(48, 5, [3, 5, -3, 2, -2], 0.0)
def hs48(x, o):
    x1, x2, x3, x4, x5 = x
    return ((x1 - 1) ** 2 + (x2 - x3) ** 2 + (x4 - x5) ** 2,
            [("eq", x1 + x2 + x3 + x4 + x5 - 5), ("eq", x3 - 2 * (x4 + x5) + 3)])


@problem(49, 5, [10, 7, 2, -3, 0.8], 0.0)
def hs49(x, o):
    x1, x2, x3, x4, x5 = x
    f = (x1 - x2) ** 2 + (x3 - 1) ** 2 + (x4 - 1) ** 4 + (x5 - 1) ** 6
    return f, [("eq", x1 + x2 + x3 + 4 * x4 - 7), ("eq", x3 + 5 * x5 - 6)]


@problem(50, 5, [35, -31, 11, 5, -5], 0.0)
def hs50(x, o):
    x1, x2, x3, x4, x5 = x
    f = (x1 - x2) ** 2 + (x2 - x3) ** 2 + (x3 - x4) ** 4 + (x4 - x5) ** 2
    return f, [("eq", x1 + 2 * x2 + 3 * x3 - 6), ("eq", x2 + 2 * x3 + 3 * x4 - 6),
               ("eq", x3 + 2 * x4 + 3 * x5 - 6)]


@problem(51, 5, [2.5, 0.5, 2, -1, 0.5], 0.0)
def hs51(x, o):
    x1, x2, x3, x4, x5 = x
    f = (x1 - x2) ** 2 + (x2 + x3 - 2) ** 2 + (x4 - 1) ** 2 + (x5 - 1) ** 2
    return f, [("eq", x1 + 3 * x2 - 4), ("eq", x3 + x4 - 2 * x5), ("eq", x2 - x5)]


@problem(52, 5, [2] * 5, 1859.0 / 349.0)
def hs52(x, o):
    x1, x2, x3, x4, x5 = x
    f = (4 * x1 - x2) ** 2 + (x2 + x3 - 2) ** 2 + (x4 - 1) ** 2 + (x5 - 1) ** 2
    return f, [("eq", x1 + 3 * x2), ("eq", x3 + x4 - 2 * x5), ("eq", x2 - x5)]


@problem(53, 5, [2] * 5, 176.0 / 43.0, lb=-10, ub=10)
def hs53(x, o):
    x1, x2, x3, x4, x5 = x
    f = (x1 - x2) ** 2 + (x2 + x3 - 2) ** 2 + (x4 - 1) ** 2 + (x5 - 1) ** 2
    return f, [("eq", x1 + 3 * x2), ("eq", x3 + x4 - 2 * x5), ("eq", x2 - x5)]


@problem(55, 6, [1, 2, 0, 0, 0, 2], 19.0 / 3.0, lb=0, ub=[1, None, None, 1, None, None])
def hs55(x, o):
    x1, x2, x3, x4, x5, x6 = x
    return x1 + 2 * x2 + 4 * x5 + o.exp(x1 * x4), [
        ("eq", x1 + 2 * x2 + 5 * x5 - 6), ("eq", x1 + x2 + x3 - 3), ("eq", x4 + x5 + x6 - 2),
        ("eq", x1 + x4 - 1), ("eq", x2 + x5 - 2), ("eq", x3 + x6 - 2)]


_A56 = math.asin(math.sqrt(1 / 4.2))
_B56 = math.asin(math.sqrt(5 / 7.2))


@problem(56, 7, [1, 1, 1, _A56, _A56, _A56, _B56], -3.456)
def hs56(x, o):
    x1, x2, x3, x4, x5, x6, x7 = x
    return -x1 * x2 * x3, [("eq", x1 - 4.2 * o.sin(x4) ** 2), ("eq", x2 - 4.2 * o.sin(x5) ** 2),
                           ("eq", x3 - 4.2 * o.sin(x6) ** 2),
                           ("eq", x1 + 2 * x2 + 2 * x3 - 7.2 * o.sin(x7) ** 2)]


@problem(58, 2, [-2, 1], 3.19033354, lb=[-2, None], ub=[0.5, None])
def hs58(x, o):
    x1, x2 = x
    return rosen(x1, x2), [("ge", x2 ** 2 - x1), ("ge", x1 ** 2 - x2),
                           ("ge", x1 ** 2 + x2 ** 2 - 1)]


@problem(60, 3, [2, 2, 2], 0.0325682003, lb=-10, ub=10)
def hs60(x, o):
    x1, x2, x3 = x
    return ((x1 - 1) ** 2 + (x1 - x2) ** 2 + (x2 - x3) ** 4,
            [("eq", x1 * (1 + x2 ** 2) + x3 ** 4 - 4 - 3 * math.sqrt(2))])


@problem(61, 3, [0, 0, 0], -143.6461422)
def hs61(x, o):
    x1, x2, x3 = x
    return (4 * x1 ** 2 + 2 * x2 ** 2 + 2 * x3 ** 2 - 33 * x1 + 16 * x2 - 24 * x3,
            [("eq", 3 * x1 - 2 * x2 ** 2 - 7), ("eq", 4 * x1 - x3 ** 2 - 11)])


@problem(62, 3, [0.7, 0.2, 0.1], -26272.51448, lb=0, ub=1)
def hs62(x, o):
    x1, x2, x3 = x
    f = -32.174 * (255 * o.log((x1 + x2 + x3 + 0.03) / (0.09 * x1 + x2 + x3 + 0.03))
                   + 280 * o.log((x2 + x3 + 0.03) / (0.07 * x2 + x3 + 0.03))
                   + 290 * o.log((x3 + 0.03) / (0.13 * x3 + 0.03)))
    return f, [("eq", x1 + x2 + x3 - 1)]


@problem(63, 3, [2, 2, 2], 961.7151721, lb=0)
def hs63(x, o):
    x1, x2, x3 = x
    return (1000 - x1 ** 2 - 2 * x2 ** 2 - x3 ** 2 - x1 * x2 - x1 * x3,
            [("eq", 8 * x1 + 14 * x2 + 7 * x3 - 56), ("eq", x1 ** 2 + x2 ** 2 + x3 ** 2 - 25)])


@problem(64, 3, [1, 1, 1], 6299.842428, lb=1e-5)
def hs64(x, o):
    x1, x2, x3 = x
    return (5 * x1 + 50000 / x1 + 20 * x2 + 72000 / x2 + 10 * x3 + 144000 / x3,
            [("ge", 1 - 4 / x1 - 32 / x2 - 120 / x3)])


@problem(65, 3, [-5, 5, 0], 0.9535288567, lb=[-4.5, -4.5, -5], ub=[4.5, 4.5, 5])
def hs65(x, o):
    x1, x2, x3 = x
    return ((x1 - x2) ** 2 + (x1 + x2 - 10) ** 2 / 9 + (x3 - 5) ** 2,
            [("ge", 48 - x1 ** 2 - x2 ** 2 - x3 ** 2)])


@problem(66, 3, [0, 1.05, 2.9], 0.5181632741, lb=0, ub=[100, 100, 10])
def hs66(x, o):
    x1, x2, x3 = x
    return 0.2 * x3 - 0.8 * x1, [("ge", x2 - o.exp(x1)), ("ge", x3 - o.exp(x2))]


@problem(71, 4, [1, 5, 5, 1], 17.0140173, lb=1, ub=5)
def hs71(x, o):
    x1, x2, x3, x4 = x
    return (x1 * x4 * (x1 + x2 + x3) + x3,
            [("ge", x1 * x2 * x3 * x4 - 25), ("eq", x1 ** 2 + x2 ** 2 + x3 ** 2 + x4 ** 2 - 40)])


@problem(72, 4, [1, 1, 1, 1], 727.6793729, lb=0.001, ub=[4e5, 3e5, 2e5, 1e5])
def hs72(x, o):
    x1, x2, x3, x4 = x
    return (1 + x1 + x2 + x3 + x4,
            [("ge", 0.0401 - 4 / x1 - 2.25 / x2 - 1 / x3 - 0.25 / x4),
             ("ge", 0.010085 - 0.16 / x1 - 0.36 / x2 - 0.64 / x3 - 0.64 / x4)])


@problem(73, 4, [1, 1, 1, 1], 29.89437816, lb=0)
def hs73(x, o):
    x1, x2, x3, x4 = x
    return (24.55 * x1 + 26.75 * x2 + 39 * x3 + 40.5 * x4,
            [("ge", 2.3 * x1 + 5.6 * x2 + 11.1 * x3 + 1.3 * x4 - 5),
             ("ge", 12 * x1 + 11.9 * x2 + 41.8 * x3 + 52.1 * x4 - 21
              - 1.645 * o.sqrt(0.28 * x1 ** 2 + 0.19 * x2 ** 2 + 20.5 * x3 ** 2 + 0.62 * x4 ** 2)),
             ("eq", x1 + x2 + x3 + x4 - 1)])


def _hs74_75(x, o, a):
    x1, x2, x3, x4 = x
    f = 3 * x1 + 1e-6 * x1 ** 3 + 2 * x2 + (2e-6 / 3) * x2 ** 3
    return f, [("ge", x4 - x3 + a), ("ge", x3 - x4 + a),
               ("eq", 1000 * o.sin(-x3 - 0.25) + 1000 * o.sin(-x4 - 0.25) + 894.8 - x1),
               ("eq", 1000 * o.sin(x3 - 0.25) + 1000 * o.sin(x3 - x4 - 0.25) + 894.8 - x2),
               ("eq", 1000 * o.sin(x4 - 0.25) + 1000 * o.sin(x4 - x3 - 0.25) + 1294.8)]


@problem(74, 4, [0, 0, 0, 0], 5126.498110, lb=[0, 0, -0.55, -0.55], ub=[1200, 1200, 0.55, 0.55])
def hs74(x, o):
    return _hs74_75(x, o, 0.55)


@problem(75, 4, [0, 0, 0, 0], 5174.412811, lb=[0, 0, -0.48, -0.48], ub=[1200, 1200, 0.48, 0.48])
def hs75(x, o):
    return _hs74_75(x, o, 0.48)


@problem(76, 4, [0.5] * 4, -4.681818182, lb=0)
def hs76(x, o):
    x1, x2, x3, x4 = x
    f = (x1 ** 2 + 0.5 * x2 ** 2 + x3 ** 2 + 0.5 * x4 ** 2 - x1 * x3 + x3 * x4 - x1 - 3 * x2
         + x3 - x4)
    return f, [("ge", 5 - x1 - 2 * x2 - x3 - x4), ("ge", 4 - 3 * x1 - x2 - 2 * x3 + x4),
               ("ge", x2 + 4 * x3 - 1.5)]


@problem(77, 5, [2] * 5, 0.2415050580)
def hs77(x, o):
    x1, x2, x3, x4, x5 = x
    f = (x1 - 1) ** 2 + (x1 - x2) ** 2 + (x3 - 1) ** 2 + (x4 - 1) ** 4 + (x5 - 1) ** 6
    return f, [("eq", x1 ** 2 * x4 + o.sin(x4 - x5) - 2 * math.sqrt(2)),
               ("eq", x2 + x3 ** 4 * x4 ** 2 - 8 - math.sqrt(2))]


def _hs78_rows(x):
    x1, x2, x3, x4, x5 = x
    return [("eq", x1 ** 2 + x2 ** 2 + x3 ** 2 + x4 ** 2 + x5 ** 2 - 10),
            ("eq", x2 * x3 - 5 * x4 * x5), ("eq", x1 ** 3 + x2 ** 3 + 1)]


@problem(78, 5, [-2, 1.5, 2, -1, -1], -2.919700415)
def hs78(x, o):
    x1, x2, x3, x4, x5 = x
    return x1 * x2 * x3 * x4 * x5, _hs78_rows(x)


@problem(79, 5, [2] * 5, 0.0787768209)
def hs79(x, o):
    x1, x2, x3, x4, x5 = x
    s2 = math.sqrt(2)
    f = (x1 - 1) ** 2 + (x1 - x2) ** 2 + (x2 - x3) ** 2 + (x3 - x4) ** 4 + (x4 - x5) ** 4
    return f, [("eq", x1 + x2 ** 2 + x3 ** 3 - 2 - 3 * s2), ("eq", x2 - x3 ** 2 + x4 + 2 - 2 * s2),
               ("eq", x1 * x5 - 2)]


@problem(80, 5, [-2, 2, 2, -1, -1], 0.0539498478, lb=[-2.3, -2.3, -3.2, -3.2, -3.2],
         ub=[2.3, 2.3, 3.2, 3.2, 3.2])
def hs80(x, o):
    x1, x2, x3, x4, x5 = x
    return o.exp(x1 * x2 * x3 * x4 * x5), _hs78_rows(x)


@problem(81, 5, [-2, 2, 2, -1, -1], 0.0539498478, lb=[-2.3, -2.3, -3.2, -3.2, -3.2],
         ub=[2.3, 2.3, 3.2, 3.2, 3.2])
def hs81(x, o):
    x1, x2, x3, x4, x5 = x
    return o.exp(x1 * x2 * x3 * x4 * x5) - 0.5 * (x1 ** 3 + x2 ** 3 + 1) ** 2, _hs78_rows(x)


@problem(83, 5, [78, 33, 27, 27, 27], -30665.53867, lb=[78, 33, 27, 27, 27],
         ub=[102, 45, 45, 45, 45])
def hs83(x, o):
    x1, x2, x3, x4, x5 = x
    f = 5.3578547 * x3 ** 2 + 0.8356891 * x1 * x5 + 37.293239 * x1 - 40792.141
    g1 = 85.334407 + 0.0056858 * x2 * x5 + 0.0006262 * x1 * x4 - 0.0022053 * x3 * x5
    g2 = 80.51249 + 0.0071317 * x2 * x5 + 0.0029955 * x1 * x2 + 0.0021813 * x3 ** 2
    g3 = 9.300961 + 0.0047026 * x3 * x5 + 0.0012547 * x1 * x3 + 0.0019085 * x3 * x4
    return f, [("ge", g1), ("ge", 92 - g1), ("ge", g2 - 90), ("ge", 110 - g2), ("ge", g3 - 20),
               ("ge", 25 - g3)]


@problem(93, 6, [5.54, 4.4, 12.02, 11.82, 0.702, 0.852], 135.0759613, lb=0)
def hs93(x, o):
    x1, x2, x3, x4, x5, x6 = x
    a = x1 + x2 + x3
    b = x1 + 1.57 * x2 + x4
    f = (0.0204 * x1 * x4 * a + 0.0187 * x2 * x3 * b + 0.0607 * x1 * x4 * x5 ** 2 * a
         + 0.0437 * x2 * x3 * x6 ** 2 * b)
    return f, [("ge", 0.001 * x1 * x2 * x3 * x4 * x5 * x6 - 2.07),
               ("ge", 1 - 0.00062 * x1 * x4 * x5 ** 2 * a - 0.00058 * x2 * x3 * x6 ** 2 * b)]


@problem(100, 7, [1, 2, 0, 4, 0, 1, 1], 680.6300573)
def hs100(x, o):
    x1, x2, x3, x4, x5, x6, x7 = x
    f = ((x1 - 10) ** 2 + 5 * (x2 - 12) ** 2 + x3 ** 4 + 3 * (x4 - 11) ** 2 + 10 * x5 ** 6
         + 7 * x6 ** 2 + x7 ** 4 - 4 * x6 * x7 - 10 * x6 - 8 * x7)
    return f, [("ge", 127 - 2 * x1 ** 2 - 3 * x2 ** 4 - x3 - 4 * x4 ** 2 - 5 * x5),
               ("ge", 282 - 7 * x1 - 3 * x2 - 10 * x3 ** 2 - x4 + x5),
               ("ge", 196 - 23 * x1 - x2 ** 2 - 6 * x6 ** 2 + 8 * x7),
               ("ge", -4 * x1 ** 2 - x2 ** 2 + 3 * x1 * x2 - 2 * x3 ** 2 - 5 * x6 + 11 * x7)]


@problem(104, 8, [6, 3, 0.4, 0.2, 6, 6, 1, 0.5], 3.951163440, lb=0.1, ub=10)
def hs104(x, o):
    x1, x2, x3, x4, x5, x6, x7, x8 = x
    f = 0.4 * x1 ** 0.67 * x7 ** -0.67 + 0.4 * x2 ** 0.67 * x8 ** -0.67 + 10 - x1 - x2
    return f, [("ge", 1 - 0.0588 * x5 * x7 - 0.1 * x1),
               ("ge", 1 - 0.0588 * x6 * x8 - 0.1 * x1 - 0.1 * x2),
               ("ge", 1 - 4 * x3 / x5 - 2 * x3 ** -0.71 / x5 - 0.0588 * x3 ** -1.3 * x7),
               ("ge", 1 - 4 * x4 / x6 - 2 * x4 ** -0.71 / x6 - 0.0588 * x4 ** -1.3 * x8),
               ("ge", f - 0.1), ("ge", 4.2 - f)]


@problem(106, 8, [5000, 5000, 5000, 200, 350, 150, 225, 425], 7049.330923,
         lb=[100, 1000, 1000, 10, 10, 10, 10, 10], ub=[10000] * 3 + [1000] * 5)
def hs106(x, o):
    x1, x2, x3, x4, x5, x6, x7, x8 = x
    return x1 + x2 + x3, [("ge", 1 - 0.0025 * (x4 + x6)), ("ge", 1 - 0.0025 * (x5 + x7 - x4)),
                          ("ge", 1 - 0.01 * (x8 - x5)),
                          ("ge", x1 * x6 - 833.33252 * x4 - 100 * x1 + 83333.333),
                          ("ge", x2 * x7 - 1250 * x5 - x2 * x4 + 1250 * x4),
                          ("ge", x3 * x8 - 1250000 - x3 * x5 + 2500 * x5)]


@problem(108, 9, [1] * 9, -math.sqrt(3) / 2, lb=[None] * 8 + [0])
def hs108(x, o):
    x1, x2, x3, x4, x5, x6, x7, x8, x9 = x
    f = -0.5 * (x1 * x4 - x2 * x3 + x3 * x9 - x5 * x9 + x5 * x8 - x6 * x7)
    return f, [("ge", 1 - x3 ** 2 - x4 ** 2), ("ge", 1 - x9 ** 2), ("ge", 1 - x5 ** 2 - x6 ** 2),
               ("ge", 1 - x1 ** 2 - (x2 - x9) ** 2), ("ge", 1 - (x1 - x5) ** 2 - (x2 - x6) ** 2),
               ("ge", 1 - (x1 - x7) ** 2 - (x2 - x8) ** 2),
               ("ge", 1 - (x3 - x5) ** 2 - (x4 - x6) ** 2),
               ("ge", 1 - (x3 - x7) ** 2 - (x4 - x8) ** 2), ("ge", 1 - x7 ** 2 - (x8 - x9) ** 2),
               ("ge", x1 * x4 - x2 * x3), ("ge", x3 * x9), ("ge", -x5 * x9),
               ("ge", x5 * x8 - x6 * x7)]


@problem(110, 10, [9] * 10, -45.77846971, lb=2.001, ub=9.999)
def hs110(x, o):
    f = 0
    prod = 1
    for xi in x:
        f = f + o.log(xi - 2) ** 2 + o.log(10 - xi) ** 2
        prod = prod * xi
    return f - prod ** 0.2, []


_C111 = [-6.089, -17.164, -34.054, -5.914, -24.721, -14.986, -24.1, -10.708, -26.662, -22.179]


@problem(111, 10, [-2.3] * 10, -47.76109026, lb=-100, ub=100)
def hs111(x, o):
    e = [o.exp(xi) for xi in x]
    total = e[0]
    for v in e[1:]:
        total = total + v
    lt = o.log(total)
    f = 0
    for j in range(10):
        f = f + e[j] * (_C111[j] + x[j] - lt)
    return f, [("eq", e[0] + 2 * e[1] + 2 * e[2] + e[5] + e[9] - 2),
               ("eq", e[3] + 2 * e[4] + e[5] + e[6] - 1),
               ("eq", e[2] + e[6] + e[7] + 2 * e[8] + e[9] - 1)]


@problem(112, 10, [0.1] * 10, -47.76109026, lb=1e-6)
def hs112(x, o):
    total = x[0]
    for v in x[1:]:
        total = total + v
    f = 0
    for j in range(10):
        f = f + x[j] * (_C111[j] + o.log(x[j] / total))
    return f, [("eq", x[0] + 2 * x[1] + 2 * x[2] + x[5] + x[9] - 2),
               ("eq", x[3] + 2 * x[4] + x[5] + x[6] - 1),
               ("eq", x[2] + x[6] + x[7] + 2 * x[8] + x[9] - 1)]


@problem(113, 10, [2, 3, 5, 5, 1, 2, 7, 3, 6, 10], 24.3062091)
def hs113(x, o):
    x1, x2, x3, x4, x5, x6, x7, x8, x9, x10 = x
    f = (x1 ** 2 + x2 ** 2 + x1 * x2 - 14 * x1 - 16 * x2 + (x3 - 10) ** 2 + 4 * (x4 - 5) ** 2
         + (x5 - 3) ** 2 + 2 * (x6 - 1) ** 2 + 5 * x7 ** 2 + 7 * (x8 - 11) ** 2
         + 2 * (x9 - 10) ** 2 + (x10 - 7) ** 2 + 45)
    return f, [("ge", 105 - 4 * x1 - 5 * x2 + 3 * x7 - 9 * x8),
               ("ge", -10 * x1 + 8 * x2 + 17 * x7 - 2 * x8),
               ("ge", 8 * x1 - 2 * x2 - 5 * x9 + 2 * x10 + 12),
               ("ge", -3 * (x1 - 2) ** 2 - 4 * (x2 - 3) ** 2 - 2 * x3 ** 2 + 7 * x4 + 120),
               ("ge", -5 * x1 ** 2 - 8 * x2 - (x3 - 6) ** 2 + 2 * x4 + 40),
               ("ge", -0.5 * (x1 - 8) ** 2 - 2 * (x2 - 4) ** 2 - 3 * x5 ** 2 + x6 + 30),
               ("ge", -x1 ** 2 - 2 * (x2 - 2) ** 2 + 2 * x1 * x2 - 14 * x5 + 6 * x6),
               ("ge", 3 * x1 - 6 * x2 - 12 * (x9 - 8) ** 2 + 7 * x10)]


def by_number(number):
    for p in PROBLEMS:
        if p.number == number:
            return p
    raise KeyError(number)
