// Registration of constraints (in one batch per call) and indicator constraints.
#include <cmath>
#include <vector>

#include "model/algebra.h"
#include "model/constraint.h"
#include "model/maps.h"
#include "module/module.h"
#include "module/numpy_api.h"
#include "nonlinear/convert.h"
#include "problem/batch_lease.h"
#include "problem/bodies.h"
#include "problem/registration.h"
#include "problem/walker.h"

using korvu::PyRef;

namespace {

constexpr double kInf = 1e20;

// The rows of one addConstraint call, sent to the library in one step.
struct RowBatch {
  int first_row = 0;
  std::vector<char> types;
  std::vector<double> rhs, range;
  std::vector<int64_t> starts;        // per row, into conv.lin_*
  std::vector<int64_t> quad_starts;   // per row, into conv.quad_*
  std::vector<int> formula_rows;      // per formula
  std::string names;
  converted_expr conv;
  std::vector<int64_t> row_starts;    // flushConstraints' starts, kept for reuse

  void reset(int first) {
    first_row = first;
    types.clear();
    rhs.clear();
    range.clear();
    starts.clear();
    quad_starts.clear();
    formula_rows.clear();
    names.clear();
    conv.clear();
  }
  void reserve(size_t rows, size_t coefs) {
    types.reserve(rows);
    rhs.reserve(rows);
    range.reserve(rows);
    starts.reserve(rows);
    quad_starts.reserve(rows);
    row_starts.reserve(rows);
    names.reserve(rows * 10);
    conv.lin_cols.reserve(coefs);
    conv.lin_coefs.reserve(coefs);
  }
  bool large() const { return starts.capacity() > 4096 || conv.lin_cols.capacity() > 65536; }
};

using BatchLease = korvu::BatchLease<RowBatch>;

// How many rows and linear coefficients a call brings, counted over the
// tuples, lists and arrays of constraints it passes (iterators and other
// containers are not looked into: a walk would consume them).  The batch is
// sized from it once, so that a large call does not hold the half-grown
// copies of its arrays on top of the model.
struct SizeHint {
  size_t rows = 0, coefs = 0;
  void leaf(PyObject *o) {
    if (Py_TYPE(o) != &korvu_constraintType) return;
    constraint_s *c = reinterpret_cast<constraint_s *>(o);
    ++rows;
    PyObject *b = con_held_body(c);
    if (!b) return;
    if (is_expression(b)) {
      if (KRV_EXPR(b)->lin) coefs += linmap_size(KRV_EXPR(b)->lin);
    } else if (is_var(b) || is_linterm(b)) {
      ++coefs;
    }
  }
  void walk(PyObject *o, int depth) {
    if (depth < 0) return;
    if (PyTuple_Check(o) || PyList_Check(o)) {
      for (Py_ssize_t i = 0; i < PySequence_Fast_GET_SIZE(o); ++i)
        walk(PySequence_Fast_GET_ITEM(o, i), depth - 1);
    } else if (PyArray_Check(o)) {
      PyArrayObject *a = reinterpret_cast<PyArrayObject *>(o);
      if (!PyDataType_REFCHK(PyArray_DESCR(a)) || PyArray_SIZE(a) == 0) return;
      NpyIter *it = NpyIter_New(a, NPY_ITER_READONLY | NPY_ITER_REFS_OK, NPY_KEEPORDER, NPY_NO_CASTING, nullptr);
      if (!it) {
        PyErr_Clear();
        return;
      }
      NpyIter_IterNextFunc *next = NpyIter_GetIterNext(it, nullptr);
      char **data = NpyIter_GetDataPtrArray(it);
      if (next) {
        do {
          PyObject *e = *reinterpret_cast<PyObject **>(data[0]);
          if (e) leaf(e);
        } while (next(it));
      } else {
        PyErr_Clear();
      }
      NpyIter_Deallocate(it);
    } else {
      leaf(o);
    }
  }
};

// Row type and right-hand side from a constraint's bounds and its body's constant.
void row_bounds(double lo, double up, double c, char *type, double *rhs, double *range) {
  bool has_lo = lo > -kInf, has_up = up < kInf;
  *range = 0.0;
  if (has_lo && has_up && lo != up) {
    *type = 'R';
    *rhs = up - c;
    *range = up - lo;
  } else if (has_lo && has_up) {
    *type = 'E';
    *rhs = lo - c;
  } else if (has_lo) {
    *type = 'G';
    *rhs = lo - c;
  } else if (has_up) {
    *type = 'L';
    *rhs = up - c;
  } else {
    *type = 'N';
    *rhs = -c;
  }
}

int64_t con_key(PyObject *c) {
  return static_cast<int64_t>(reinterpret_cast<constraint_s *>(c)->info & CON_ID_MASK);
}

// Checks a constraint for registration; 0 or -1 with the refusal set.
int check_constraint(problem_s *p, PyObject *leaf) {
  if (!PyObject_TypeCheck(leaf, &korvu_constraintType)) {
    PyErr_SetString(korvu_ModelError, "Invalid constraint");
    return -1;
  }
  constraint_s *c = reinterpret_cast<constraint_s *>(leaf);
  if (!con_has_body(c)) {
    PyErr_SetString(korvu_ModelError, "Stale expression link, cannot add constraint");
    return -1;
  }
  if (rowcolmap_has(p->rowmap, c->info & CON_ID_MASK)) {
    PyErr_SetString(korvu_ModelError, "Constraint already added to problem");
    return -1;
  }
  return 0;
}

// Converts one constraint into the batch's next row and registers it.
int add_constraint_leaf(problem_s *p, PyObject *leaf, void *ctx) {
  RowBatch &b = *static_cast<RowBatch *>(ctx);
  if (check_constraint(p, leaf) < 0) return -1;
  constraint_s *c = reinterpret_cast<constraint_s *>(leaf);
  int row = b.first_row + static_cast<int>(b.types.size());
  double constant_before = b.conv.constant;
  size_t formulas_before = b.conv.formulas();
  b.conv.constant = 0.0;
  converted_sizes sizes(b.conv);
  // A body another problem's library holds is read back; a folded one is
  // read as it is shared, its constant being in the bounds.
  const bool folded = con_body_folded(c);
  PyObject *body = folded ? con_held_body(c) : constraint_body(c);
  if (!body) return -1;
  if (convertExpr(p, body, b.conv, 0) < 0) return -1;
  double constant = folded ? 0.0 : b.conv.constant;
  b.conv.constant = constant_before;
  if (check_finite_coefs(p, b.conv, sizes, constant, leaf) < 0) return -1;
  // Bounds off the codes cost a map look-up each: read once.
  double lo, up;
  get_con_bounds(c->info, &lo, &up);
  if (std::isnan(lo) || std::isnan(up)) {
    PyErr_Format(korvu_ModelError, "Constraint %S has a bound that is not a number (NaN)", leaf);
    return -1;
  }
  std::string text;
  const bool named = con_name_stored(c->info);
  if (named) {
    PyRef name = PyRef::steal(get_con_name(c->info));
    if (!name || !name_text(name.get(), &text)) {
      if (!PyErr_Occurred()) PyErr_SetString(korvu_ModelError, "Invalid constraint name (must be a string)");
      return -1;
    }
  }
  if (PyList_Append(p->constraints, leaf) < 0) return -1;
  if (rowcolmap_set(p->rowmap, c->info & CON_ID_MASK, row) != 0) {
    PyErr_SetString(korvu_ModelError, "Cannot add constraint to problem");
    return -1;
  }
  char type;
  double rhs, range;
  row_bounds(lo, up, constant, &type, &rhs, &range);
  b.types.push_back(type);
  b.rhs.push_back(rhs);
  b.range.push_back(range);
  b.starts.push_back(static_cast<int64_t>(b.conv.lin_cols.size()));
  b.quad_starts.push_back(static_cast<int64_t>(b.conv.quad_cols1.size()));
  for (size_t k = formulas_before; k < b.conv.formulas(); ++k) b.formula_rows.push_back(row);
  if (named)
    b.names.append(text);
  else
    append_default_name(&b.names, 'R', c->info & CON_ID_MASK);
  b.names.push_back('\0');
  return 0;
}

// The row starts were recorded after each row; the library wants them before.
int flushConstraints(problem_s *p, RowBatch &b) {
  int n = static_cast<int>(b.types.size());
  if (n == 0) return 0;
  std::vector<int64_t> &starts = b.row_starts;
  starts.resize(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) starts[i] = i == 0 ? 0 : b.starts[i - 1];
  if (KRVUaddrows64(p->prob, n, static_cast<int64_t>(b.conv.lin_cols.size()), b.types.data(),
                    b.rhs.data(), b.range.data(), starts.data(), b.conv.lin_cols.data(),
                    b.conv.lin_coefs.data()) != 0)
    return -1;
  bool ok = KRVUaddnames(p->prob, 1, b.names.data(), b.first_row, b.first_row + n - 1) == 0;
  bool quadratic_rows = false;
  for (int i = 0; ok && i < n; ++i) {
    int64_t q0 = i == 0 ? 0 : b.quad_starts[i - 1], q1 = b.quad_starts[i];
    if (q1 > q0) {
      ok = KRVUaddqmatrix64(p->prob, b.first_row + i, q1 - q0, b.conv.quad_cols1.data() + q0,
                            b.conv.quad_cols2.data() + q0, b.conv.quad_coefs.data() + q0) == 0;
      quadratic_rows = true;
    }
  }
  // Quadratic rows are solved by the nonlinear solver (the LP/QP engine
  // takes quadratic objectives only), so they make the problem nonlinear.
  if (ok && quadratic_rows && p->slpprob && b.conv.formulas() == 0) ++p->nonlin_rows;
  if (ok && b.conv.formulas() > 0) {
    if (!p->slpprob) {
      PyErr_SetString(korvu_SolverError,
                      "Nonlinear constraints need the nonlinear solver, which is not started");
      ok = false;
    } else if (KSLPaddcoefs(p->slpprob, static_cast<int>(b.conv.formulas()), b.formula_rows.data(),
                            b.conv.formula_cols.data(), b.conv.formula_mult.data(),
                            b.conv.formula_starts.data(), 1, b.conv.token_types.data(),
                            b.conv.token_values.data()) != 0) {
      setKrvuErrIfNull(reinterpret_cast<PyObject *>(p), nullptr);
      ok = false;
    } else {
      ++p->nonlin_rows;
    }
  }
  if (ok) return 0;
  // Take the rows out again so that the library matches the lists.
  PyObject *etype, *evalue, *etb;
  PyErr_Fetch(&etype, &evalue, &etb);
  std::vector<int> rows(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) rows[i] = b.first_row + i;
  char keep[512];
  KRVUgetlasterror(p->prob, keep);
  KRVUdelrows(p->prob, n, rows.data());
  PyErr_Restore(etype, evalue, etb);
  if (!PyErr_Occurred()) PyErr_SetString(korvu_SolverError, keep[0] ? keep : "Could not add rows");
  return -1;
}

void rollback(problem_s *p, Py_ssize_t first) {
  PyObject *list = p->constraints;
  Py_ssize_t n = PyList_GET_SIZE(list);
  for (Py_ssize_t i = first; i < n; ++i) rowcolmap_del(p->rowmap, con_key(PyList_GET_ITEM(list, i)));
  PyObject *etype, *evalue, *etb;
  PyErr_Fetch(&etype, &evalue, &etb);
  PyList_SetSlice(list, first, n, nullptr);
  PyErr_Restore(etype, evalue, etb);
}

// Registers the constraints of `what` (the call's argument tuple, or its one
// argument walked at the depth the tuple's items would have).
PyObject *add_constraints(PyObject *self, PyObject *what, int depth) {
  problem_s *p = reinterpret_cast<problem_s *>(self);
  if (!problem_ready(p)) return nullptr;
  int first_row = 0;
  if (KRVUgetintattrib(p->prob, KRVU_ATTR_ORIGINALROWS, &first_row) != 0)
    return setKrvuErrIfNull(self, nullptr);
  BatchLease lease(first_row);
  RowBatch &b = *lease;
  // One constraint per call (a model written row by row) needs no sizing.
  bool single = Py_TYPE(what) == &korvu_constraintType ||
                (PyTuple_Check(what) && PyTuple_GET_SIZE(what) == 1 &&
                 Py_TYPE(PyTuple_GET_ITEM(what, 0)) == &korvu_constraintType);
  if (!single) {
    SizeHint hint;
    hint.walk(what, depth);
    if (hint.rows > 1) b.reserve(hint.rows, hint.coefs);
  }
  Py_ssize_t first = PyList_GET_SIZE(p->constraints);
  if (!walk_leaves(p, what, add_constraint_leaf, &b, depth) || flushConstraints(p, b) != 0) {
    rollback(p, first);
    return setKrvuErrIfNull(self, nullptr);
  }
  problem_drop_bodies(p, first);
  Py_RETURN_NONE;
}

}  // namespace

PyObject *problem_addConstraint(PyObject *self, PyObject *args) {
  return add_constraints(self, args, KORVU_WALK_DEPTH);
}

PyObject *problem_addConstraint_fast(PyObject *self, PyObject *const *args, Py_ssize_t nargs) {
  // One constraint per call, as a model built row by row passes them: no argument tuple.
  if (nargs == 1 && Py_TYPE(args[0]) == &korvu_constraintType)
    return add_constraints(self, args[0], KORVU_WALK_DEPTH - 1);
  PyRef tuple = PyRef::steal(PyTuple_New(nargs));
  if (!tuple) return nullptr;
  for (Py_ssize_t i = 0; i < nargs; ++i) PyTuple_SET_ITEM(tuple.get(), i, Py_NewRef(args[i]));
  return problem_addConstraint(self, tuple.get());
}

// ---- indicators

namespace {

const char kIndicatorUsage[] =
    "Invalid declaration of indicator constraints.\n"
    "The problem.addIndicator function accepts either two constraints or one or more TUPLES of "
    "constraints, for instance:\n"
    "    p.addIndicator(b == 1, x + y <= 4)\n"
    "    p.addIndicator((b1 == 1, x + y <= 4), (b2 == 0, x - y >= 1))";

int add_indicator(problem_s *p, PyObject *cond, PyObject *body) {
  if (!PyObject_TypeCheck(cond, &korvu_constraintType) ||
      !PyObject_TypeCheck(body, &korvu_constraintType)) {
    PyErr_SetString(korvu_ModelError, "Invalid declaration of indicator constraints.");
    return -1;
  }
  constraint_s *bc = reinterpret_cast<constraint_s *>(body);
  constraint_s *cc = reinterpret_cast<constraint_s *>(cond);
  PyObject *bbody = constraint_body(bc), *cb = constraint_body(cc);
  if (PyErr_Occurred()) return -1;
  if (bbody && expr_kind(bbody) < 0) {
    PyErr_SetString(korvu_ModelError, "Invalid constraint assigned to indicator");
    return -1;
  }
  if (bbody && expr_kind(bbody) == KIND_NL) {
    PyErr_SetString(korvu_ModelError, "Nonlinear indicator constraints are not allowed");
    return -1;
  }
  // The condition: one binary variable with coefficient 1, equal to 0 or 1.
  PyObject *var = nullptr;
  double coef = 1.0;
  if (cb && is_var(cb)) {
    var = cb;
  } else if (cb && is_linterm(cb)) {
    var = KRV_OBJ(KRV_LT(cb)->var);
    coef = KRV_LT(cb)->coef;
  } else if (cb && is_expression(cb)) {
    expression_s *e = reinterpret_cast<expression_s *>(cb);
    if (e->constant != 0.0) {
      PyErr_SetString(korvu_ModelError, "Invalid condition for indicator constraints: must be a variable");
      return -1;
    }
    if (!e->lin || linmap_size(e->lin) != 1) {
      PyErr_SetString(korvu_ModelError,
                      "Invalid condition for indicator constraints: there must be exactly one variable");
      return -1;
    }
    if (e->quad && quadmap_size(e->quad) > 0) {
      PyErr_SetString(korvu_ModelError,
                      "Invalid condition for indicator constraints: it cannot contain a quadratic "
                      "expression");
      return -1;
    }
    e->lin->for_each([&](const auto &en) {
      var = KRV_OBJ(en.val.var);
      coef = en.val.coef;
    });
  } else {
    PyErr_SetString(korvu_ModelError,
                    "Invalid indicator expression. Must be var==0 or var==1, where var is a binary "
                    "variable");
    return -1;
  }
  int64_t col;
  if (rowcolmap_get(p->varmap, var_id(var), &col) != 0) {
    PyErr_SetString(korvu_ModelError, "Indicator variable has not been added to problem yet");
    return -1;
  }
  if (coef != 1.0) {
    PyErr_SetString(korvu_ModelError, "Indicator variable must have coefficient 1");
    return -1;
  }
  double lo = get_con_lbound(cc->info), up = get_con_ubound(cc->info);
  int flag;
  if (lo == 0.0 && up == 0.0) {
    flag = -1;
  } else if (lo == 1.0 && up == 1.0) {
    flag = 1;
  } else {
    PyRef name = PyRef::steal(get_var_name(KRV_VAR(var)->info));
    PyErr_Format(korvu_ModelError,
                 "Invalid condition for indicator constraints: must be %S == 0 or %S == 1",
                 name.get(), name.get());
    return -1;
  }
  if (check_constraint(p, body) < 0) return -1;
  int first_row = 0;
  if (KRVUgetintattrib(p->prob, KRVU_ATTR_ORIGINALROWS, &first_row) != 0) {
    setKrvuErrIfNull(reinterpret_cast<PyObject *>(p), nullptr);
    return -1;
  }
  BatchLease lease(first_row);
  RowBatch &b = *lease;
  Py_ssize_t first = PyList_GET_SIZE(p->constraints);
  int row = b.first_row, column = static_cast<int>(col);
  if (add_constraint_leaf(p, body, &b) < 0 || flushConstraints(p, b) < 0) {
    rollback(p, first);
    return -1;
  }
  if (KRVUsetindicators(p->prob, 1, &row, &column, &flag) != 0) {
    setKrvuErrIfNull(reinterpret_cast<PyObject *>(p), nullptr);
    KRVUdelrows(p->prob, 1, &row);
    rollback(p, first);
    return -1;
  }
  problem_drop_bodies(p, first);
  return 0;
}

}  // namespace

PyObject *problem_addIndicator(PyObject *self, PyObject *args) {
  problem_s *p = reinterpret_cast<problem_s *>(self);
  if (!problem_ready(p)) return nullptr;
  Py_ssize_t n = PyTuple_GET_SIZE(args);
  if (n == 2 && PyObject_TypeCheck(PyTuple_GET_ITEM(args, 0), &korvu_constraintType) &&
      PyObject_TypeCheck(PyTuple_GET_ITEM(args, 1), &korvu_constraintType)) {
    if (add_indicator(p, PyTuple_GET_ITEM(args, 0), PyTuple_GET_ITEM(args, 1)) < 0)
      return setKrvuErrIfNull(self, nullptr);
    Py_RETURN_NONE;
  }
  for (Py_ssize_t i = 0; i < n; ++i) {
    PyObject *pair = PyTuple_GET_ITEM(args, i);
    if (!PyTuple_Check(pair) || PyTuple_GET_SIZE(pair) != 2) {
      PyErr_SetString(korvu_ModelError, kIndicatorUsage);
      return nullptr;
    }
  }
  for (Py_ssize_t i = 0; i < n; ++i) {
    PyObject *pair = PyTuple_GET_ITEM(args, i);
    if (add_indicator(p, PyTuple_GET_ITEM(pair, 0), PyTuple_GET_ITEM(pair, 1)) < 0)
      return setKrvuErrIfNull(self, nullptr);
  }
  Py_RETURN_NONE;
}
