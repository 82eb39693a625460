// Reading solution vectors from the library or the nonlinear solver.
#include "problem/solution.h"

#include "module/module.h"

using korvu::EnvLock;

static bool slp_started() {
  EnvLock lock(KRV_MUTEX_LIBSTATE);
  return krv_py_env.slp_state == 1;
}

bool problem_solution_is_nonlinear(problem_s *p) {
  if (!p->slpprob || !slp_started()) return false;
  if (p->nonlin_rows || p->nonlin_obj) return true;
  int status = 0;
  return KSLPgetintattrib(p->slpprob, KSLP_ATTR_NLPSTATUS, &status) == 0 && status >= 1 &&
         status <= 6;
}

int problem_is_mip(problem_s *p) {
  for (int id : {KRVU_ATTR_MIPENTS, KRVU_ATTR_SETS, KRVU_ATTR_GENCONS, KRVU_ATTR_INDICATORS}) {
    int v = 0;
    if (KRVUgetintattrib(p->prob, id, &v) != 0) {
      setKrvuErrIfNull(reinterpret_cast<PyObject *>(p), nullptr);
      return -1;
    }
    if (v) return 1;
  }
  return 0;
}

int problem_read_vector(problem_s *p, int which, std::vector<double> &out) {
  PyObject *self = reinterpret_cast<PyObject *>(p);
  if (!p->prob) {
    PyErr_SetString(korvu_ModelError, "The problem is not initialised");
    return -1;
  }
  bool nonlinear = problem_solution_is_nonlinear(p);
  bool columns = which == KORVU_PRIMAL || which == KORVU_RCOST;
  int n = 0;
  int rc = nonlinear ? KSLPgetintattrib(p->slpprob, columns ? KSLP_ATTR_COLS : KSLP_ATTR_ROWS, &n)
                     : KRVUgetintattrib(p->prob, columns ? KRVU_ATTR_ORIGINALCOLS
                                                         : KRVU_ATTR_ORIGINALROWS, &n);
  if (rc) {
    setKrvuErrIfNull(self, nullptr);
    return -1;
  }
  out.assign(static_cast<size_t>(n), 0.0);
  double *v = out.data();
  double *slots[4] = {nullptr, nullptr, nullptr, nullptr};
  slots[which] = v;
  if (nonlinear) {
    rc = KSLPgetslpsol(p->slpprob, slots[0], slots[1], slots[2], slots[3]);
  } else {
    // A callback's view reads the current node's relaxation.
    int mip = p->is_view ? 0 : problem_is_mip(p);
    if (mip < 0) return -1;
    if (mip && which == KORVU_DUAL) {
      PyErr_SetString(korvu_SolverError, "Cannot retrieve dual variables in a MIP");
      return -1;
    }
    if (mip && which == KORVU_RCOST) {
      PyErr_SetString(korvu_SolverError, "Cannot retrieve reduced cost in a MIP");
      return -1;
    }
    rc = mip ? KRVUgetmipsol(p->prob, slots[0], slots[1])
             : KRVUgetlpsol(p->prob, slots[0], slots[1], slots[2], slots[3]);
  }
  if (rc == 0) {
    // The column and row that carry a nonlinear objective are the problem's
    // own, not the user's: left out when they end the vector (a column the
    // user adds later keeps its index, so the pair then stays in).
    int aux = columns ? p->obj_col : p->obj_row;
    if (nonlinear && aux >= 0 && static_cast<size_t>(aux) + 1 == out.size()) out.pop_back();
    return 0;
  }
  static const char *messages[4] = {nullptr, "Could not get constraints' slack",
                                    "Could not get dual solution",
                                    "Could not retrieve reduced costs"};
  if (messages[which] && !PyErr_Occurred())
    PyErr_SetString(korvu_SolverError, messages[which]);
  else
    setKrvuErrIfNull(self, nullptr);
  return -1;
}
