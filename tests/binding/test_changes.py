"""Change, loading and setting members: each change, followed by a solve, agrees with a model built with it."""
import copy

import numpy as np
import pytest

import korvu

RNG = np.random.default_rng(11)


class Data:
    """A small model as plain data, built into a problem through the modelling layer."""

    def __init__(self, m=4, n=5, integer=False):
        self.A = np.round(RNG.uniform(-1, 3, (m, n)), 1)
        self.rowtype = ["L"] * m
        self.rhs = list(np.round(RNG.uniform(5, 10, m), 1))
        self.rng = [0.0] * m
        self.c = list(np.round(RNG.uniform(-3, -0.5, n), 1))
        self.lb, self.ub = [0.0] * n, [4.0] * n
        self.coltype = ["I" if integer and j % 2 == 0 else "C" for j in range(n)]
        self.Q = np.zeros((n, n))
        self.sense = korvu.minimize

    def build(self):
        kinds = {"C": korvu.continuous, "I": korvu.integer, "B": korvu.binary, "S": korvu.semicontinuous}
        x = [korvu.var(lb=self.lb[j], ub=self.ub[j], vartype=kinds[self.coltype[j]], name=f"x{j}")
             for j in range(len(self.c))]
        p = korvu.problem(x, name="built")
        p.controls.outputlog = 0
        for i, row in enumerate(self.A):
            body = korvu.Sum(float(a) * v for a, v in zip(row, x) if a != 0)
            lo, hi = {"L": (-1e20, self.rhs[i]), "G": (self.rhs[i], 1e20), "E": (self.rhs[i], self.rhs[i]),
                      "R": (self.rhs[i] - self.rng[i], self.rhs[i])}[self.rowtype[i]]
            p.addConstraint(korvu.constraint(body=body + 0 * x[0], lb=lo, ub=hi, name=f"r{i}"))
        obj = korvu.Sum(c * v for c, v in zip(self.c, x))
        if self.Q.any():
            obj = obj + 0.5 * korvu.Sum(self.Q[i, j] * x[i] * x[j] for i in range(len(x)) for j in range(len(x))
                                        if self.Q[i, j])
        p.setObjective(obj, sense=self.sense)
        return p, x


def solved(p):
    p.solve()
    return p.getProbStatusString(), round(p.getObjVal(), 7)


CHANGES = [
    ("chgobj", lambda p, x: p.chgobj([x[0], 2], [-5.0, 1.5]), lambda d: d.c.__setitem__(0, -5.0) or d.c.__setitem__(2, 1.5)),
    ("chgrhs", lambda p, x: p.chgrhs(["r1", 3], [2.0, 1.0]), lambda d: d.rhs.__setitem__(1, 2.0) or d.rhs.__setitem__(3, 1.0)),
    ("chgrowtype", lambda p, x: p.chgrowtype([0], ["E"]), lambda d: d.rowtype.__setitem__(0, "E")),
    ("chgrhsrange", lambda p, x: p.chgrhsrange([2], [3.0]),
     lambda d: d.rowtype.__setitem__(2, "R") or d.rng.__setitem__(2, 3.0)),
    ("chgbounds", lambda p, x: p.chgbounds([x[1], x[2], 3], ["U", "L", "B"], [1.5, 0.5, 2.0]),
     lambda d: (d.ub.__setitem__(1, 1.5), d.lb.__setitem__(2, 0.5), d.lb.__setitem__(3, 2.0),
                d.ub.__setitem__(3, 2.0))),
    ("chgcoltype", lambda p, x: p.chgcoltype([x[0], x[1]], ["I", "I"]),
     lambda d: d.coltype.__setitem__(0, "I") or d.coltype.__setitem__(1, "I")),
    ("chgmcoef", lambda p, x: p.chgmcoef([0, 1], [x[0], x[4]], [2.5, 0.0]),
     lambda d: d.A.__setitem__((0, 0), 2.5) or d.A.__setitem__((1, 4), 0.0)),
    ("chgcoef", lambda p, x: p.chgcoef("r2", "x3", -1.0), lambda d: d.A.__setitem__((2, 3), -1.0)),
    ("chgobjsense", lambda p, x: (p.chgobjsense(-1), p.chgobj(list(range(5)), [1.0] * 5)),
     lambda d: (setattr(d, "sense", korvu.maximize), d.c.__setitem__(slice(None), [1.0] * 5))),
    ("chgmqobj", lambda p, x: p.chgmqobj([0, 1, 2, 1], [0, 1, 2, 2], [2.0, 2.0, 2.0, 1.0]),
     lambda d: (d.Q.__setitem__((0, 0), 2.0), d.Q.__setitem__((1, 1), 2.0), d.Q.__setitem__((2, 2), 2.0),
                d.Q.__setitem__((1, 2), 1.0), d.Q.__setitem__((2, 1), 1.0))),
    ("chgqobj", lambda p, x: p.chgqobj(x[3], x[3], 4.0), lambda d: d.Q.__setitem__((3, 3), 4.0)),
]


@pytest.mark.parametrize("integer", [False, True], ids=["lp", "mip"])
@pytest.mark.parametrize("name,change,edit", CHANGES, ids=[c[0] for c in CHANGES])
def test_a_change_solves_like_a_model_built_with_it(name, change, edit, integer):
    data = Data(integer=integer)
    p, x = data.build()
    solved(p)  # changes after a solve must update what the engine holds
    change(p, x)
    fresh = copy.deepcopy(data)
    edit(fresh)
    q, _ = fresh.build()
    assert solved(p) == solved(q)


def test_adding_rows_and_columns_through_the_library():
    data = Data()
    p, x = data.build()
    p.addcols([-2.0], [0, 2], ["r0", 1], [1.0, 1.0], [0.0], [3.0], ["z"])
    z = p.getVariable()[-1]
    assert str(z) == "z" and p.getIndex(z) == 5
    p.addrows(["L"], [2.0], [0, 2], [x[0], z], [1.0, 1.0], names=["cap"])
    cap = p.getConstraint()[-1]
    assert str(cap) == "cap"
    rows = []
    p.getcols([], rows, [], 10, z, z)
    assert sorted(map(str, rows)) == ["cap", "r0", "r1"]
    # The same model, built whole.
    zz = korvu.var(ub=3.0, name="z")
    q, y = data.build()
    q.addVariable(zz)
    q.chgmcoef([0, 1], [zz, zz], [1.0, 1.0])
    q.chgobj([zz], [-2.0])
    q.addConstraint(korvu.constraint(y[0] + zz <= 2, name="cap"))
    assert solved(p) == solved(q)
    with pytest.raises(korvu.ModelError, match="Incorrect length of variable name list"):
        p.addcols([1.0, 1.0], [0, 0, 0], [], [], [0.0, 0.0], [1.0, 1.0], ["only-one"])
    assert p.attributes.cols == 6
    with pytest.raises(korvu.InterfaceError, match="Must provide arguments qrtype, rhs, mstart, mclind, dmatval"):
        p.addrows(["L"], None, [0, 0], [], [])


def test_refusals_before_the_library_is_called():
    p, x = Data().build()
    with pytest.raises(korvu.ModelError, match="^Mismatched lengths in arguments: expected 2, found 1$"):
        p.chgbounds([x[0], x[1]], ["U"], [1.0, 2.0])
    with pytest.raises(korvu.InterfaceError, match="^Must provide arguments mindex, rhs$"):
        p.chgrhs(None, [1])
    with pytest.raises(korvu.InterfaceError, match="mindex, qctype"):
        p.chgcoltype([0], None)
    with pytest.raises(korvu.ModelError, match=f"expected {len(x)}, found {len(x) - 1}"):
        p.loadmipsol([0.0] * (len(x) - 1))
    with pytest.raises(korvu.ModelError, match="Invalid character 5"):
        p.chgrowtype([0], [5])  # said by the conversion, not an older library text
    with pytest.raises(korvu.InterfaceError, match="Incorrect control name"):
        p.setdefaultcontrol("nosuchcontrol")
    with pytest.raises(korvu.ModelError, match="A problem must be passed"):
        p.copycontrols(5)
    ub = []
    p.getub(ub)
    assert ub == [4.0] * 5


def test_starts_sense_sets_indicators_and_settings():
    p, x = Data(integer=True).build()
    assert p.loadmipsol([0.0] * 5) == 0
    p.addmipsol([1.0, 1.0], [x[0], x[2]], "partial")
    p.solve()
    assert p.getProbStatusString() == "mip_optimal"
    p.chgobjsense(5)  # anything but 1 maximizes
    p.solve()
    high = p.getObjVal()
    p.chgobjsense(1)
    p.solve()
    assert high >= p.getObjVal()
    p.controls.timelimit = 5
    q = korvu.problem()
    q.copycontrols(p)
    assert q.controls.timelimit == 5
    q.setdefaultcontrol("timelimit")
    assert q.controls.timelimit == 1e20
    # Indicators: row r0 holds only when the binary b is 1.
    b = korvu.var(vartype=korvu.binary, name="b")
    p.addVariable(b)
    p.setindicators(["r0"], [b], [1])
    inds, comps = [], []
    p.getindicators(inds, comps, 0, 1)
    assert inds == [b, -1] and comps == [1, 0]
    p.delindicators(0, 0)
    p.getindicators(inds, comps, 0, 0)
    assert comps == [0]
    with pytest.raises(korvu.InterfaceError, match="No global sets in problem"):
        p.addsetnames(["s"])
    s1, s2 = korvu.sos([x[0], x[1]], [1, 2], type=1), korvu.sos([x[2], x[3]], [1, 2], type=2)
    p.addSOS(s1, s2)
    p.addsetnames(["first", "second"])
    assert p.getnamelist(3) == ["first", "second"]
    with pytest.raises(korvu.InterfaceError, match="Size of list of strings"):
        p.addsetnames(["a", "b", "c"])
    p.setprobname("renamed")
    assert p.name() == "renamed"


def test_quadratic_rows_and_deleting_them():
    x = korvu.vars(2, name="q")
    p = korvu.problem(x, korvu.constraint(x[0] + x[1] <= 4, name="c"), korvu.constraint(x[0] <= 3, name="d"))
    p.addqmatrix("c", [x[0], x[1]], [x[0], x[1]], [1.0, 2.0])
    p.addqmatrix(1, [x[1]], [x[1]], [1.0])
    assert p.getqrowcoeff("c", x[1], x[1]) == 2.0
    qc = []
    p.getqrows(qc)
    assert qc == p.getConstraint()
    p.delqmatrix(p.getConstraint()[0])
    p.getqrows(qc)
    assert qc == [p.getConstraint()[1]]
    p.delqmatrix(-1)
    p.getqrows(qc)
    assert qc == []


def test_coefficient_changes_read_the_same_by_rows_columns_and_single_entries():
    # Replacements, additions, removals and repeats, single and in one call, with
    # and without a row-wise read in between: every way of reading the matrix agrees.
    import random
    for seed in range(25):
        r = random.Random(seed)
        n, m = r.randint(2, 7), r.randint(2, 7)
        x = [korvu.var() for _ in range(n)]
        A = [[float(r.choice([0, 0, 1, 2, -3])) for _ in range(n)] for _ in range(m)]
        p = korvu.problem()
        p.addVariable(x)
        p.addConstraint([korvu.Sum(A[i][j] * x[j] for j in range(n)) <= 1 for i in range(m)])
        for step in range(25):
            if r.random() < 0.3:
                p.getrows([], [], [], 1000, 0, m - 1)
            k = r.randint(1, 4)
            rows = [r.randrange(m) for _ in range(k)]
            cols = [r.randrange(n) for _ in range(k)]
            vals = [r.choice([0.0, 1.5, -2.0, 4.0]) for _ in range(k)]
            if k == 1 and r.random() < 0.5:
                p.chgcoef(rows[0], cols[0], vals[0])
            else:
                p.chgmcoef(rows, cols, vals)
            for i, j, v in zip(rows, cols, vals):
                A[i][j] = v
            assert [[p.getcoef(i, j) for j in range(n)] for i in range(m)] == A, (seed, step)
            start, ind, val = [], [], []
            p.getrows(start, ind, val, 1000, 0, m - 1)
            byrows = [[0.0] * n for _ in range(m)]
            for i in range(m):
                for q in range(start[i], start[i + 1]):
                    byrows[i][p.getIndex(ind[q])] = val[q]
            assert byrows == A, (seed, step)
