"""Adapters of the model-building benchmark: one per library, each giving the model text
of build_model_models.py what it needs (see there), and timing its phases.

Each entry of RUNNERS is (imports, run):
  imports()               imports the library (not timed), returns its version text
  run(model, n, clock)    builds and solves; clock.start() begins the build, and
                          clock.lap(name) closes the phases "build", "transfer" (for
                          the libraries that keep the model apart from the solver)
                          and "solve" (HiGHS with time limit 0 and presolve off).
                          Returns what the solver holds: rows, cols, nnz, qnz where
                          the library lets it be read (None elsewhere).
A runner raises Unsupported when the library cannot express the model.
"""
import itertools

from build_model_models import MODELS


class Unsupported(Exception):
    pass


def highs_size(h):
    """Rows, columns, nonzeros and nonzero Hessian entries of a HiGHS object (HiGHS
    fills in a zero diagonal entry for every column of a QP: those are not counted)."""
    q = 0
    if h.getHessianNumNz():
        import numpy as np
        q = int(np.count_nonzero(np.asarray(h.getModel().hessian_.value_)))
    return dict(rows=h.getNumRow(), cols=h.getNumCol(), nnz=h.getNumNz(), qnz=q)


def _version(dist):
    from importlib.metadata import version
    return f"{dist} {version(dist)}"


# ---------------------------------------------------------------- the model text alone

class FloatApi:
    """Floats for variables, nothing registered: what the interpreter itself spends
    running the model text, the least any scalar-loop build can cost."""
    INF = float("inf")

    def var(self, lb, ub, binary=False):
        return 0.5

    def con(self, c):
        pass

    sum = staticmethod(sum)

    @staticmethod
    def sq(e):
        return e ** 2

    def minimize(self, e):
        pass


def pyloop_imports():
    import sys
    return "python " + sys.version.split()[0] + " (the model text with floats)"


def pyloop_run(model, n, clock):
    clock.start()
    MODELS[model](n, FloatApi())
    clock.lap("build")
    return {}


# ---------------------------------------------------------------- korvu

def korvu_imports():
    import korvu
    return "korvu " + getattr(korvu, "__version__", "(tree)")


class KorvuApi:
    def __init__(self, korvu, p):
        self.korvu = korvu
        self.INF = korvu.infinity
        self._add = p.addVariable
        self._var = korvu.var
        self._binary = korvu.binary
        self.con = p.addConstraint
        self.sum = korvu.Sum
        self.p = p

    def var(self, lb, ub, binary=False):
        v = self._var(lb=lb, ub=ub, vartype=self._binary) if binary else self._var(lb=lb, ub=ub)
        self._add(v)
        return v

    @staticmethod
    def sq(e):
        return e ** 2

    def minimize(self, e):
        self.p.setObjective(e)


def korvu_run(model, n, clock):
    import korvu

    clock.start()
    p = korvu.problem()
    p.controls.outputlog = 0
    p.controls.timelimit = 0
    p.controls.presolve = 0
    MODELS[model](n, KorvuApi(korvu, p))
    clock.lap("build")          # transfer happens inside addVariable / addConstraint
    p.solve()
    clock.lap("solve")
    a = p.attributes
    return dict(rows=a.rows, cols=a.cols, nnz=a.elems, qnz=a.qelems)


class _SparseOnUse:
    """scipy.sparse, imported when a model first uses it: the fac-lin text needs
    none of it, and its 20 MB would otherwise count in that model's peak memory
    (the floor does not import it either).  The untimed warm-up run of the same
    model imports it for lqcp before the clock starts."""

    def __getattr__(self, name):
        import scipy.sparse
        return getattr(scipy.sparse, name)


def korvu_arrays_run(model, n, clock):
    """korvu in its own array style (bench/build_model_arrays.py)."""
    import numpy as np

    import korvu
    from build_model_arrays import MODELS as ARRAY_MODELS

    clock.start()
    p = korvu.problem()
    p.controls.outputlog = 0
    p.controls.timelimit = 0
    p.controls.presolve = 0
    ARRAY_MODELS[model](n, korvu, np, _SparseOnUse(), p)
    clock.lap("build")          # transfer happens inside addVariable / addConstraint
    p.solve()
    clock.lap("solve")
    a = p.attributes
    return dict(rows=a.rows, cols=a.cols, nnz=a.elems, qnz=a.qelems)


def korvu_arrays_imports():
    return korvu_imports() + " (array style; " + _version("scipy") + ")"


# ---------------------------------------------------------------- pyoptinterface

def poi_imports():
    import pyoptinterface as poi  # noqa: F401
    from pyoptinterface import highs
    if not highs.autoload_library():
        raise RuntimeError("pyoptinterface found no HiGHS library")
    return _version("pyoptinterface")


class PoiApi:
    def __init__(self, poi, m):
        self.INF = float("inf")
        self.m = m
        self.poi = poi
        self.sum = poi.quicksum
        self._av = m.add_variable
        self._lin = m.add_linear_constraint
        self._bin = poi.VariableDomain.Binary
        self._sense = {"==": poi.Eq, "<=": poi.Leq, ">=": poi.Geq}

    def var(self, lb, ub, binary=False):
        kw = {}
        if lb != -self.INF:
            kw["lb"] = lb
        if ub != self.INF:
            kw["ub"] = ub
        if binary:
            kw["domain"] = self._bin
        return self._av(**kw)

    def con(self, c):
        self._lin(c)

    @staticmethod
    def sq(e):
        return e * e

    def minimize(self, e):
        self.m.set_objective(e, self.poi.ObjectiveSense.Minimize)


def poi_run(model, n, clock):
    import pyoptinterface as poi
    from pyoptinterface import highs

    clock.start()
    m = highs.Model()
    m.set_model_attribute(poi.ModelAttribute.Silent, True)
    m.set_model_attribute(poi.ModelAttribute.TimeLimitSec, 0.0)
    m.set_raw_parameter("presolve", "off")
    MODELS[model](n, PoiApi(poi, m))
    clock.lap("build")
    m.optimize()
    clock.lap("solve")
    return dict(rows=m.number_of_constraints(poi.ConstraintType.Linear),
                cols=m.number_of_variables(), nnz=None, qnz=None)


# ---------------------------------------------------------------- highspy

def highspy_imports():
    import highspy  # noqa: F401
    return _version("highspy")


class HighspyApi:
    def __init__(self, highspy, h):
        self.INF = highspy.kHighsInf
        self.h = h
        self._av = h.addVariable
        self.con = h.addConstr
        self.sum = h.qsum
        self._int = highspy.HighsVarType.kInteger

    def var(self, lb, ub, binary=False):
        if binary:
            return self._av(lb, ub, type=self._int)
        return self._av(lb, ub)

    @staticmethod
    def sq(e):
        raise Unsupported("no quadratic expressions in the modelling layer (e * e is refused)")

    def minimize(self, e):
        self.h.setObjective(e)


def highspy_run(model, n, clock):
    import highspy

    clock.start()
    h = highspy.Highs()
    h.silent()
    h.setOptionValue("time_limit", 0.0)
    h.setOptionValue("presolve", "off")
    MODELS[model](n, HighspyApi(highspy, h))
    clock.lap("build")
    h.run()
    clock.lap("solve")
    return highs_size(h)


# ---------------------------------------------------------------- gurobipy (its own solver; build only)

def gurobipy_imports():
    import gurobipy as gp
    global _GRB_ENV
    _GRB_ENV = gp.Env(params={"OutputFlag": 0})   # the licence check, like an import
    return "gurobipy " + gp.__version__


class GurobiApi:
    def __init__(self, gp, m):
        self.INF = gp.GRB.INFINITY
        self.m = m
        self._av = m.addVar
        self._ac = m.addConstr
        self.sum = gp.quicksum
        self._b = gp.GRB.BINARY

    def var(self, lb, ub, binary=False):
        if binary:
            return self._av(vtype=self._b)
        return self._av(lb=lb, ub=ub)

    def con(self, c):
        self._ac(c)

    @staticmethod
    def sq(e):
        return e * e

    def minimize(self, e):
        self.m.setObjective(e)


def gurobipy_run(model, n, clock):
    import gurobipy as gp

    clock.start()
    m = gp.Model(env=_GRB_ENV)
    MODELS[model](n, GurobiApi(gp, m))
    m.update()                  # the lazy updates reach the model here
    clock.lap("build")
    m.Params.TimeLimit = 0
    m.Params.Presolve = 0
    try:
        m.optimize()
    except gp.GurobiError as exc:      # above the size limit of the free licence
        return dict(rows=m.NumConstrs, cols=m.NumVars, nnz=m.NumNZs, qnz=None, note=f"build only ({exc})")
    clock.lap("solve")
    return dict(rows=m.NumConstrs, cols=m.NumVars, nnz=m.NumNZs, qnz=None)


# ---------------------------------------------------------------- PuLP (HiGHS through highspy)

def pulp_imports():
    import pulp
    if not pulp.HiGHS().available():
        raise RuntimeError("PuLP's HiGHS interface is not available")
    return _version("PuLP")


class PulpApi:
    def __init__(self, pulp, lp):
        self.INF = float("inf")
        self.lp = lp
        self.pulp = pulp
        self.sum = pulp.lpSum
        self._n = itertools.count()
        self._v = pulp.LpVariable

    def var(self, lb, ub, binary=False):
        name = "x%d" % next(self._n)
        if binary:
            return self._v(name, cat="Binary")
        return self._v(name, None if lb == -self.INF else lb, None if ub == self.INF else ub)

    def con(self, c):
        self.lp += c

    @staticmethod
    def sq(e):
        raise Unsupported("no quadratic objective")

    def minimize(self, e):
        self.lp.setObjective(e)


def pulp_run(model, n, clock):
    import pulp

    clock.start()
    lp = pulp.LpProblem("bench", pulp.LpMinimize)
    MODELS[model](n, PulpApi(pulp, lp))
    clock.lap("build")
    solver = pulp.HiGHS(msg=False, timeLimit=0, presolve="off")
    solver.createAndConfigureSolver(lp)
    solver.buildSolverModel(lp)
    clock.lap("transfer")
    solver.callSolver(lp)
    solver.findSolutionValues(lp)
    clock.lap("solve")
    h = lp.solverModel
    return highs_size(h)


# ---------------------------------------------------------------- python-mip

def mip_imports():
    import mip
    return _version("mip")


def mip_minimize(e):
    import mip
    return mip.minimize(e)


class MipApi:
    def __init__(self, mip, m):
        self.INF = mip.INF
        self.m = m
        self.sum = mip.xsum
        self._av = m.add_var
        self._ac = m.add_constr
        self._b = mip.BINARY

    def var(self, lb, ub, binary=False):
        if binary:
            return self._av(var_type=self._b)
        return self._av(lb=lb, ub=ub)

    def con(self, c):
        self._ac(c)

    @staticmethod
    def sq(e):
        raise Unsupported("no quadratic objective")

    def minimize(self, e):
        self.m.objective = mip_minimize(e)


def mip_run(model, n, clock):
    import mip

    clock.start()
    m = mip.Model(sense=mip.MINIMIZE, solver_name=mip.HIGHS)
    m.verbose = 0
    MODELS[model](n, MipApi(mip, m))
    clock.lap("build")          # rows wait in python-mip and reach HiGHS when solving
    m.solver._set_string_option_value("presolve", "off")
    m.optimize(max_seconds=0)
    clock.lap("solve")
    return dict(rows=m.num_rows, cols=m.num_cols, nnz=m.num_nz, qnz=None)


# ---------------------------------------------------------------- Pyomo

def pyomo_imports():
    import pyomo.environ  # noqa: F401
    from pyomo.contrib.solver.solvers.highs import Highs  # noqa: F401
    return _version("pyomo")


class PyomoApi:
    def __init__(self, pyo, m):
        self.INF = float("inf")
        self.m = m
        self.pyo = pyo
        m.v = pyo.VarList()
        m.c = pyo.ConstraintList()
        self._add = m.v.add
        self.con = m.c.add
        self.sum = pyo.quicksum
        self._bin = pyo.Binary

    def var(self, lb, ub, binary=False):
        v = self._add()
        if binary:
            v.domain = self._bin
        else:
            v.setlb(None if lb == -self.INF else lb)
            v.setub(None if ub == self.INF else ub)
        return v

    @staticmethod
    def sq(e):
        return e ** 2

    def minimize(self, e):
        self.m.obj = self.pyo.Objective(expr=e)


def pyomo_run(model, n, clock):
    import pyomo.environ as pyo
    from pyomo.common.timing import HierarchicalTimer
    from pyomo.contrib.solver.solvers.highs import Highs

    clock.start()
    m = pyo.ConcreteModel()
    MODELS[model](n, PyomoApi(pyo, m))
    clock.lap("build")
    opt = Highs()
    timer = HierarchicalTimer()
    opt.solve(m, time_limit=0, load_solutions=False, raise_exception_on_nonoptimal_result=False,
              solver_options={"presolve": "off"}, timer=timer)
    clock.lap("solve")
    # solve() first hands the model to HiGHS (set_instance): that part is the transfer
    t = timer.get_total_time("set_instance")
    clock.phases["transfer"] = t
    clock.phases["solve"] -= t
    size = highs_size(opt._solver_model)
    size["unused_dropped"] = 1 if model == "lqcp" else 0     # u[0] appears nowhere
    return size


# ---------------------------------------------------------------- cvxpy

def cvxpy_imports():
    import cvxpy as cp
    if "HIGHS" not in cp.installed_solvers():
        raise RuntimeError("cvxpy has no HiGHS interface here")
    return _version("cvxpy")


class CvxpyApi:
    def __init__(self, cp):
        self.INF = float("inf")
        self.cp = cp
        self.cons = []
        self.con = self.cons.append
        self.obj = None
        self._v = cp.Variable

    def var(self, lb, ub, binary=False):
        if binary:
            return self._v(boolean=True)
        if lb == -self.INF and ub == self.INF:
            return self._v()
        return self._v(bounds=[None if lb == -self.INF else lb, None if ub == self.INF else ub])

    def sum(self, it):
        return self.cp.sum(self.cp.hstack(list(it)))

    @staticmethod
    def sq(e):
        return e ** 2

    def minimize(self, e):
        self.obj = e


def cvxpy_run(model, n, clock):
    import cvxpy as cp

    clock.start()
    api = CvxpyApi(cp)
    MODELS[model](n, api)
    prob = cp.Problem(cp.Minimize(api.obj), api.cons)
    clock.lap("build")
    prob.solve(solver=cp.HIGHS, time_limit=0.0, presolve="off")
    clock.lap("solve")
    # solve() first compiles the problem into the solver's arrays: that part is the transfer
    t = prob.compilation_time or 0.0
    clock.phases["transfer"] = t
    clock.phases["solve"] -= t
    return {}


# ---------------------------------------------------------------- linopy (array style)
# linopy builds whole arrays of variables and constraints over coordinates; one
# add_variables / add_constraints call per scalar would make an xarray object for each
# of them, which no linopy user writes.  Its model is written in its own array style
# (the same rows, columns and coefficients: the size check shows it), so its figures
# are those of a vectorised build, not of a scalar loop.

def linopy_imports():
    import warnings

    import linopy  # noqa: F401
    import pandas  # noqa: F401
    import xarray  # noqa: F401
    warnings.filterwarnings("ignore", module="linopy")
    warnings.filterwarnings("ignore", message=".*semantics.*")
    return _version("linopy") + " (array style)"


def linopy_fac_lin(linopy, np, pd, xr, n):
    G = F = n; M = 2*1.414
    m = linopy.Model()
    I = pd.RangeIndex(G+1, name="i"); J = pd.RangeIndex(G+1, name="j"); Fi = pd.RangeIndex(1, F+1, name="f")
    y1 = m.add_variables(lower=0, upper=1, coords=[Fi], name="y1")
    y2 = m.add_variables(lower=0, upper=1, coords=[Fi], name="y2")
    s = m.add_variables(lower=0, coords=[I, J, Fi], name="s")
    z = m.add_variables(coords=[I, J, Fi], name="z", binary=True)
    r1 = m.add_variables(coords=[I, J, Fi], name="r1")
    r2 = m.add_variables(coords=[I, J, Fi], name="r2")
    d = m.add_variables(name="d")
    m.add_constraints(z.sum("f") == 1, name="assign")
    m.add_constraints(s - d - M * (1 - z) == 0, name="dist")
    ig = xr.DataArray(np.arange(G+1)/G, coords=[I]); jg = xr.DataArray(np.arange(G+1)/G, coords=[J])
    m.add_constraints(r1 - ig + y1 == 0, name="r1def")
    m.add_constraints(r2 - jg + y2 == 0, name="r2def")
    m.add_constraints(s - r1 - r2 >= 0, name="cone")
    m.add_objective(1 * d)
    return m
def linopy_lqcp(linopy, np, pd, xr, N):
    dx = 1/N; T = 1.58; dt = T/N; h2 = dx**2; a = 0.001
    m = linopy.Model()
    I = pd.RangeIndex(N+1, name="i"); J = pd.RangeIndex(N+1, name="j")
    y = m.add_variables(lower=0, upper=1, coords=[I, J], name="y")
    u = m.add_variables(lower=-1, upper=1, coords=[I], name="u")
    yt = xr.DataArray(0.5*(1-(np.arange(N+1)*dx)**2), coords=[J])
    w = xr.DataArray(np.where((np.arange(N+1) == 0) | (np.arange(N+1) == N), 1.0, 2.0), coords=[J])
    yN = y.sel(i=N, drop=True)
    ui = xr.DataArray(np.where(np.arange(N+1) == N, 0.25, np.where(np.arange(N+1) == 0, 0.0, 0.5)), coords=[I])
    obj = (dx/4) * ((w * (yN - yt) * (yN - yt)).sum() + a*dt*(ui * u * u).sum())
    m.add_objective(obj - float(obj.const))  # linopy refuses a constant in the objective
    yi1 = y.shift(i=-1)
    e = (yi1 - y)/dt - 0.5*(y.shift(j=1) - 2*y + y.shift(j=-1) + yi1.shift(j=1) - 2*yi1 + yi1.shift(j=-1))/h2
    m.add_constraints(e.sel(i=slice(0, N-1), j=slice(1, N-1)) == 0, name="pde")
    m.add_constraints(y.sel(i=0, drop=True) == 0, name="init")
    yy = y.sel(i=slice(1, N-1))
    m.add_constraints(yy.sel(j=2, drop=True) - 4*yy.sel(j=1, drop=True) + 3*yy.sel(j=0, drop=True) == 0, name="left")
    uu = u.sel(i=slice(1, N-1))
    m.add_constraints(yy.sel(j=N-2, drop=True) - 4*yy.sel(j=N-1, drop=True) + 3*yy.sel(j=N, drop=True) - 2*dx*(uu - yy.sel(j=N, drop=True)) == 0, name="right")
    return m
def linopy_run(model, n, clock):
    import linopy
    import numpy as np
    import pandas as pd
    import xarray as xr

    clock.start()
    m = (linopy_fac_lin if model == "fac-lin" else linopy_lqcp)(linopy, np, pd, xr, n)
    clock.lap("build")
    h = m.to_highspy()
    clock.lap("transfer")
    h.setOptionValue("output_flag", False)
    h.setOptionValue("time_limit", 0.0)
    h.setOptionValue("presolve", "off")
    h.run()
    clock.lap("solve")
    return highs_size(h)


RUNNERS = {
    "pyloop": (pyloop_imports, pyloop_run),
    "korvu": (korvu_imports, korvu_run),
    "korvu-arrays": (korvu_arrays_imports, korvu_arrays_run),
    "pyoptinterface": (poi_imports, poi_run),
    "highspy": (highspy_imports, highspy_run),
    "linopy": (linopy_imports, linopy_run),
    "pyomo": (pyomo_imports, pyomo_run),
    "pulp": (pulp_imports, pulp_run),
    "mip": (mip_imports, mip_run),
    "cvxpy": (cvxpy_imports, cvxpy_run),
    "gurobipy": (gurobipy_imports, gurobipy_run),
}
