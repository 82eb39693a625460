// The objective: constant, linear, quadratic and, through an auxiliary row and
// column, nonlinear parts; and the optimization sense.
#include <vector>

#include "model/algebra.h"
#include "module/module.h"
#include "module/numpy_api.h"
#include "nonlinear/convert.h"
#include "problem/registration.h"

using korvu::PyRef;

namespace {

bool slp_started() {
  korvu::EnvLock lock(KRV_MUTEX_LIBSTATE);
  return krv_py_env.slp_state == 1;
}

constexpr int kObjectiveRowStatus = 0x800;

// Removes the auxiliary row and column of a nonlinear objective.
int remove_transfer_pair(problem_s *p) {
  KSLPprob slp = p->slpprob;
  int row = p->obj_row, col = p->obj_col;
  int n = 0;
  if (KSLPgetcoefs(slp, &n, nullptr, nullptr) != 0) return -1;
  std::vector<int> rows(static_cast<size_t>(n)), cols(static_cast<size_t>(n));
  if (n > 0 && KSLPgetcoefs(slp, &n, rows.data(), cols.data()) != 0) return -1;
  for (int k = n - 1; k >= 0; --k)
    if (rows[k] == row && KSLPdelcoefs(slp, 1, &rows[k], &cols[k]) != 0) return -1;
  int status = 0;
  if (KSLPgetrowstatus(slp, row, &status) != 0) return -1;
  status &= ~kObjectiveRowStatus;
  int none = -1;
  if (KSLPchgrowstatus(slp, row, &status) != 0 ||
      KSLPchgvar(slp, col, &none, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                 nullptr, nullptr, nullptr) != 0 ||
      KSLPdelvars(slp, 1, &col) != 0 || KRVUdelcols(p->prob, 1, &col) != 0 ||
      KRVUdelrows(p->prob, 1, &row) != 0)
    return -1;
  p->obj_col = p->obj_row = -1;
  p->nonlin_obj = 0;
  return 0;
}

// Adds the auxiliary pair carrying the nonlinear part of the objective:
// nonlinear part - column = 0, and the column in the linear objective.
int add_transfer_pair(problem_s *p, converted_expr &conv) {
  KSLPprob slp = p->slpprob;
  int row = 0, col = 0;
  if (p->nonlin_rows ? KSLPgetintattrib(slp, KSLP_ATTR_ROWS, &row)
                     : KRVUgetintattrib(p->prob, KRVU_ATTR_ORIGINALROWS, &row))
    return -1;
  char type = 'E';
  double rhs = 0.0, zero = 0.0;
  int64_t start = 0;
  int col0 = 0;
  if (KRVUaddrows64(p->prob, 1, 1, &type, &rhs, nullptr, &start, &col0, &zero) != 0 ||
      KRVUaddnames(p->prob, 1, "objtransferrow", row, row) != 0)
    return -1;
  if (p->nonlin_rows ? KSLPgetintattrib(slp, KSLP_ATTR_COLS, &col)
                     : KRVUgetintattrib(p->prob, KRVU_ATTR_ORIGINALCOLS, &col))
    return -1;
  double one = 1.0, minus_one = -1.0, lb = -1e20, ub = 1e20;
  if (KRVUaddcols64(p->prob, 1, 1, &one, &start, &row, &minus_one, &lb, &ub) != 0 ||
      KRVUaddnames(p->prob, 2, "objtransfercol", col, col) != 0)
    return -1;
  p->obj_row = row;
  p->obj_col = col;
  p->nonlin_obj = 1;
  int status = 0;
  if (KSLPchgvar(slp, col, &row, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                 nullptr, nullptr, nullptr) != 0 ||
      KSLPgetrowstatus(slp, row, &status) != 0)
    return -1;
  status |= kObjectiveRowStatus;
  if (KSLPchgrowstatus(slp, row, &status) != 0) return -1;
  std::vector<int> rows(conv.formulas(), row);
  return KSLPaddcoefs(slp, static_cast<int>(conv.formulas()), rows.data(),
                      conv.formula_cols.data(), conv.formula_mult.data(),
                      conv.formula_starts.data(), 1, conv.token_types.data(),
                      conv.token_values.data());
}

}  // namespace

int problem_set_objective(problem_s *p, PyObject *objective, int sense) {
  PyObject *self = reinterpret_cast<PyObject *>(p);
  if (sense != 1 && sense != -1) {
    PyErr_SetString(korvu_ModelError, "Invalid optimization sense");
    return -1;
  }
  PyRef obj = PyRef::borrow(objective);
  if (PyArray_Check(objective)) {
    PyArrayObject *arr = reinterpret_cast<PyArrayObject *>(objective);
    if (PyArray_SIZE(arr) != 1) {
      PyErr_SetString(korvu_ModelError,
                      "Only one objective can be set, passed a sequence or NumPy array");
      return -1;
    }
    obj = PyRef::steal(PyArray_GETITEM(arr, PyArray_BYTES(arr)));
    if (!obj) return -1;
  }
  if (expr_kind(obj.get()) < 0) {
    PyErr_SetString(korvu_ModelError, "Invalid object set as objective");
    return -1;
  }
  if (check_nl_unconstruct(p) < 0) return -1;
  // Convert first: a refused objective leaves the old one in place.
  converted_expr conv;
  if (convertExpr(p, obj.get(), conv, 1) < 0 ||
      check_finite_coefs(p, conv, converted_sizes(converted_expr()), conv.constant, nullptr) < 0)
    return -1;
  bool nonlinear = conv.formulas() > 0;
  if (nonlinear && (!p->slpprob || !slp_started())) {
    PyErr_SetString(korvu_SolverError,
                    "A nonlinear objective needs the nonlinear solver, which is not started");
    return -1;
  }

  int ncols = 0;
  bool nl_counts = (p->nonlin_rows || p->nonlin_obj) && p->slpprob && slp_started();
  if (nl_counts ? KSLPgetintattrib(p->slpprob, KSLP_ATTR_COLS, &ncols)
                : KRVUgetintattrib(p->prob, KRVU_ATTR_ORIGINALCOLS, &ncols))
    goto library_error;
  {
    int minus_one = -1;
    double zero = 0.0;
    if (KRVUchgobj(p->prob, 1, &minus_one, &zero) != 0) goto library_error;
    std::vector<int> all(static_cast<size_t>(ncols));
    for (int j = 0; j < ncols; ++j) all[j] = j;
    std::vector<double> zeros(static_cast<size_t>(ncols), 0.0);
    if (ncols > 0 && KRVUchgobj(p->prob, ncols, all.data(), zeros.data()) != 0) goto library_error;
    int64_t nq = 0;
    if (ncols > 0) {
      if (KRVUgetmqobj64(p->prob, nullptr, nullptr, nullptr, 0, &nq, 0, ncols - 1) != 0)
        goto library_error;
    }
    if (nq > 0) {
      std::vector<int64_t> start(static_cast<size_t>(ncols) + 1);
      std::vector<int> cols(static_cast<size_t>(nq)), first(static_cast<size_t>(nq));
      std::vector<double> vals(static_cast<size_t>(nq));
      if (KRVUgetmqobj64(p->prob, start.data(), cols.data(), vals.data(), nq, &nq, 0,
                         ncols - 1) != 0)
        goto library_error;
      for (int j = 0; j < ncols; ++j)
        for (int64_t k = start[j]; k < start[j + 1]; ++k) first[k] = j;
      std::fill(vals.begin(), vals.end(), 0.0);
      if (KRVUchgmqobj64(p->prob, nq, first.data(), cols.data(), vals.data()) != 0)
        goto library_error;
    }
  }
  if (p->nonlin_obj && p->slpprob && slp_started() && remove_transfer_pair(p) != 0)
    goto library_error;

  if (conv.constant != 0.0) {
    int minus_one = -1;
    double rhs = -conv.constant;
    if (KRVUchgobj(p->prob, 1, &minus_one, &rhs) != 0) goto library_error;
  }
  if (!conv.lin_cols.empty() &&
      KRVUchgobj(p->prob, static_cast<int>(conv.lin_cols.size()), conv.lin_cols.data(),
                 conv.lin_coefs.data()) != 0)
    goto library_error;
  if (!conv.quad_cols1.empty() &&
      KRVUchgmqobj64(p->prob, static_cast<int64_t>(conv.quad_cols1.size()), conv.quad_cols1.data(),
                     conv.quad_cols2.data(), conv.quad_coefs.data()) != 0)
    goto library_error;
  if (nonlinear && add_transfer_pair(p, conv) != 0) goto library_error;
  if (KRVUchgobjsense(p->prob, sense) != 0) goto library_error;
  if (p->slpprob && slp_started() &&
      KSLPsetdblcontrol(p->slpprob, KSLP_CTRL_OBJSENSE, static_cast<double>(sense)) != 0)
    goto library_error;
  return 0;

library_error:
  setKrvuErrIfNull(self, nullptr);
  return -1;
}

PyObject *problem_setObjective(PyObject *self, PyObject *args, PyObject *kwargs) {
  problem_s *p = reinterpret_cast<problem_s *>(self);
  static const char *kwlist[] = {"objective", "sense", nullptr};
  PyObject *objective;
  int sense = 1;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "O|i", const_cast<char **>(kwlist), &objective,
                                   &sense))
    return nullptr;
  if (!problem_ready(p)) return nullptr;
  if (problem_set_objective(p, objective, sense) < 0) return setKrvuErrIfNull(self, nullptr);
  Py_RETURN_NONE;
}
