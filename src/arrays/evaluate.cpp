// Numeric evaluation of model objects at a solution, and the shape-preserving
// walk shared by evaluate() and problem.getSolution().
#include "arrays/evaluate.h"

#include <cmath>
#include <vector>

#include "arrays/arrays.h"
#include "binding/convert.h"
#include "model/algebra.h"
#include "model/maps.h"
#include "nonlinear/nonlin.h"
#include "problem/solution.h"

using korvu::PyRef;

namespace {

constexpr int kEvalDepth = 64;

int depth_exceeded() {
  PyErr_SetString(PyExc_RuntimeError, "Evaluation of expression exceeded recursion depth limit");
  return -1;
}

int eval_object(PyObject *o, eval_context *ctx, int depth, double *out);

int var_value(PyObject *x, eval_context *ctx, double *out) {
  if (ctx->use_array) {
    int64_t col = -1;
    if (!ctx->problem || !ctx->problem->varmap || rowcolmap_get(ctx->problem->varmap, var_id(x), &col) < 0 ||
        col < 0 || col >= ctx->n) {
      PyErr_SetString(korvu_ModelError, "Object does not belong to problem or cannot be identified within expression");
      return -1;
    }
    *out = ctx->x[col];
    return 0;
  }
  PyObject *v = PyDict_GetItemWithError(ctx->solution, x);
  if (!v) {
    if (!PyErr_Occurred()) PyErr_Format(korvu_ModelError, "Variable %S has no value in the solution dictionary", x);
    return -1;
  }
  double d = PyFloat_AsDouble(v);
  if (d == -1.0 && PyErr_Occurred()) return -1;
  *out = d;
  return 0;
}

// The miptol entry of the module-level controls, the tolerance of And and Or.
double logic_tolerance() {
  double t = 5e-06;
  if (!krv_py_env.controls) return t;
  PyRef dict = PyRef::steal(PyObject_GetAttrString(krv_py_env.controls, "__dict__"));
  if (!dict) {
    PyErr_Clear();
    return t;
  }
  PyObject *v = PyDict_Check(dict.get()) ? PyDict_GetItemString(dict.get(), "miptol") : nullptr;
  if (v) {
    double d = PyFloat_AsDouble(v);
    if (d == -1.0 && PyErr_Occurred())
      PyErr_Clear();
    else
      t = d;
  }
  return t;
}

// Piecewise linear function over [x, X0, Y0, X1, Y1, ...].
int eval_pwl(const std::vector<PyObject *> &args, eval_context *ctx, int depth, double *out) {
  size_t m = args.size();
  if (m < 3 || (m - 1) % 2) {
    PyErr_SetString(korvu_ModelError, "Invalid piecewise linear function");
    return -1;
  }
  double v;
  if (eval_object(args[0], ctx, depth, &v) < 0) return -1;
  size_t k = (m - 1) / 2;
  std::vector<double> X(k), Y(k);
  for (size_t i = 0; i < k; ++i)
    if (eval_object(args[1 + 2 * i], ctx, depth, &X[i]) < 0 || eval_object(args[2 + 2 * i], ctx, depth, &Y[i]) < 0)
      return -1;
  size_t hit = k;
  for (size_t i = 0; i < k; ++i)
    if (v < X[i]) {
      hit = i;
      break;
    }
  auto along = [&](size_t i0, size_t i1) -> int {
    if (X[i1] == X[i0]) {
      PyRef xs = PyRef::steal(PyFloat_FromDouble(X[i0])), vs = PyRef::steal(PyFloat_FromDouble(v));
      if (!xs || !vs) return -1;
      PyErr_Format(korvu_InterfaceError,
                   "Piecewise linear function has discontinuity at first breakpoint %S = %S and can't be evaluated at %S",
                   args[0], xs.get(), vs.get());
      return -1;
    }
    *out = Y[i0] + (v - X[i0]) * (Y[i1] - Y[i0]) / (X[i1] - X[i0]);
    return 0;
  };
  if (hit > 0 && hit < k) {
    *out = Y[hit - 1] + (v - X[hit - 1]) * (Y[hit] - Y[hit - 1]) / (X[hit] - X[hit - 1]);
    return 0;
  }
  if (hit == k && v == X[k - 1]) {  // at the last breakpoint: its value
    *out = Y[k - 1];
    return 0;
  }
  if (k == 1) {
    PyRef vs = PyRef::steal(PyFloat_FromDouble(v));
    if (!vs) return -1;
    PyErr_Format(korvu_InterfaceError,
                 "Not enough points to extrapolate value of piecewise linear containing fraction for %S = %S",
                 args[0], vs.get());
    return -1;
  }
  // Left of every breakpoint along the first segment, right of them along the last.
  return hit == 0 ? along(0, 1) : along(k - 2, k - 1);
}

int eval_user(const std::vector<PyObject *> &args, eval_context *ctx, int depth, double *out) {
  if (args.empty() || !PyCallable_Check(args[0])) {
    PyErr_SetString(korvu_ModelError, "First argument of a user() operator must be the function itself");
    return -1;
  }
  PyRef values = PyRef::steal(PyTuple_New(static_cast<Py_ssize_t>(args.size() - 1)));
  if (!values) return -1;
  for (size_t i = 1; i < args.size(); ++i) {
    double v;
    if (eval_object(args[i], ctx, depth, &v) < 0) return -1;
    PyObject *f = PyFloat_FromDouble(v);
    if (!f) return -1;
    PyTuple_SET_ITEM(values.get(), static_cast<Py_ssize_t>(i - 1), f);
  }
  PyRef r = PyRef::steal(PyObject_CallObject(args[0], values.get()));
  if (!r) return -1;
  PyObject *first = r.get();
  if (PyTuple_Check(first)) {
    if (PyTuple_GET_SIZE(first) == 0) {
      PyErr_SetString(korvu_ModelError, "A user function returned an empty tuple");
      return -1;
    }
    first = PyTuple_GET_ITEM(first, 0);
  }
  double d = PyFloat_AsDouble(first);
  if (d == -1.0 && PyErr_Occurred()) return -1;
  *out = d;
  return 0;
}

int eval_nonlin(PyObject *o, eval_context *ctx, int depth, double *out) {
  nonlin_s *n = KRV_NL(o);
  std::vector<PyObject *> args;
  PyObject *a = n->args;
  if (a && (PyTuple_Check(a) || PyList_Check(a))) {
    for (Py_ssize_t i = 0; i < PySequence_Fast_GET_SIZE(a); ++i) args.push_back(PySequence_Fast_GET_ITEM(a, i));
  } else if (a) {
    args.push_back(a);
  }
  // The argument list may be a list that user code could change while a user
  // function runs: hold it.
  PyRef hold = PyRef::borrow(a);
  std::vector<PyRef> held;
  held.reserve(args.size());
  for (PyObject *x : args) held.push_back(PyRef::borrow(x));

  auto arg = [&](size_t i, double *v) -> int {
    if (i >= args.size()) {
      PyErr_SetString(korvu_ModelError, "Missing argument in nonlinear expression");
      return -1;
    }
    return eval_object(args[i], ctx, depth, v);
  };
  double x, y;
  switch (n->op) {
    case NL_SUM:
    case NL_PROD: {
      double acc = n->op == NL_SUM ? 0.0 : 1.0;
      for (size_t i = 0; i < args.size(); ++i) {
        if (arg(i, &x) < 0) return -1;
        acc = n->op == NL_SUM ? acc + x : acc * x;
      }
      *out = acc;
      return 0;
    }
    case NL_MINUS:
    case NL_DIV:
    case NL_POW:
      if (arg(0, &x) < 0 || arg(1, &y) < 0) return -1;
      if (n->op == NL_MINUS) {
        *out = x - y;
      } else if (n->op == NL_POW) {
        *out = std::pow(x, y);
      } else {
        if (y == 0.0) {
          PyErr_SetString(PyExc_ZeroDivisionError, "Division by zero in evaluation of expression containing fraction");
          return -1;
        }
        *out = x / y;
      }
      return 0;
    case NL_MAX:
    case NL_MIN: {
      if (args.empty()) {
        PyErr_SetString(korvu_ModelError, "Missing argument in nonlinear expression");
        return -1;
      }
      double best = 0.0;
      for (size_t i = 0; i < args.size(); ++i) {
        if (arg(i, &x) < 0) return -1;
        if (i == 0 || (n->op == NL_MAX ? x > best : x < best)) best = x;
      }
      *out = best;
      return 0;
    }
    case NL_AND:
    case NL_OR: {
      double t = logic_tolerance();
      for (size_t i = 0; i < args.size(); ++i) {
        if (arg(i, &x) < 0) return -1;
        if (n->op == NL_AND && x <= t) {
          *out = 0.0;
          return 0;
        }
        if (n->op == NL_OR && x > 1.0 - t) {
          *out = 1.0;
          return 0;
        }
      }
      *out = n->op == NL_AND ? 1.0 : 0.0;
      return 0;
    }
    case NL_PWL:
      return eval_pwl(args, ctx, depth, out);
    case NL_USER:
    case NL_USER_DERIV:
      return eval_user(args, ctx, depth, out);
    default:
      break;
  }
  if (n->op < 0 || n->op >= NL_NUM_OPS) {
    PyErr_SetString(korvu_ModelError, "Unknown nonlinear type");
    return -1;
  }
  if (arg(0, &x) < 0) return -1;
  switch (n->op) {
    case NL_NEG: *out = -x; break;
    case NL_EXP: *out = std::exp(x); break;
    case NL_LOG: *out = std::log(x); break;
    case NL_LOG10: *out = std::log(x) / 2.302585092994046; break;
    case NL_SIN: *out = std::sin(x); break;
    case NL_COS: *out = std::cos(x); break;
    case NL_TAN: *out = std::tan(x); break;
    case NL_ASIN: *out = std::asin(x); break;
    case NL_ACOS: *out = std::acos(x); break;
    case NL_ATAN: *out = std::atan(x); break;
    case NL_ERF: *out = std::erf(x); break;
    case NL_ERFC: *out = std::erfc(x); break;
    case NL_SQRT: *out = std::sqrt(x); break;
    case NL_ABS: *out = std::fabs(x); break;
    case NL_SIGN: *out = x > 0.0 ? 1.0 : (x < 0.0 ? -1.0 : 0.0); break;
    default:
      PyErr_SetString(korvu_ModelError, "Unknown nonlinear type");
      return -1;
  }
  return 0;
}

int eval_object(PyObject *o, eval_context *ctx, int depth, double *out) {
  if (depth <= 0) return depth_exceeded();
  switch (expr_kind(o)) {
    case KIND_NUM:
      return num_value(o, out);
    case KIND_VAR:
      return var_value(o, ctx, out);
    case KIND_LIN: {
      double v;
      if (var_value(KRV_OBJ(KRV_LT(o)->var), ctx, &v) < 0) return -1;
      *out = KRV_LT(o)->coef * v;
      return 0;
    }
    case KIND_QUAD: {
      quadterm_s *q = KRV_QT(o);
      double v1, v2;
      if (var_value(KRV_OBJ(q->var1), ctx, &v1) < 0 || var_value(KRV_OBJ(q->var2), ctx, &v2) < 0) return -1;
      *out = q->coef * v1 * v2;
      return 0;
    }
    case KIND_EXPR: {
      expression_s *e = KRV_EXPR(o);
      double s = e->constant;
      int rc = 0;
      if (e->lin)
        e->lin->for_each([&](linmap::Entry &en) {
          double v;
          if (rc < 0 || (rc = var_value(KRV_OBJ(en.val.var), ctx, &v)) < 0) return;
          s += en.val.coef * v;
        });
      if (e->quad)
        e->quad->for_each([&](quadmap::Entry &u) {
          double vu;
          if (rc < 0 || !u.val.inner || (rc = var_value(KRV_OBJ(u.val.var), ctx, &vu)) < 0) return;
          u.val.inner->for_each([&](linmap::Entry &w) {
            double vw;
            if (rc < 0 || (rc = var_value(KRV_OBJ(w.val.var), ctx, &vw)) < 0) return;
            s += w.val.coef * vu * vw;
          });
        });
      if (rc < 0) return -1;
      *out = s;
      return 0;
    }
    case KIND_NL: {
      if (Py_EnterRecursiveCall(" while evaluating an expression")) return -1;
      int rc = eval_nonlin(o, ctx, depth - 1, out);
      Py_LeaveRecursiveCall();
      return rc;
    }
    default:
      PyErr_SetString(korvu_ModelError, "Evaluation of object of incorrect type");
      return -1;
  }
}

bool is_int_index(PyObject *o) {
  return PyLong_Check(o) || PyArray_IsScalar(o, Int32) || PyArray_IsScalar(o, Int64);
}

// One leaf: a column index or name in solution mode, else a model object.
int leaf_value(PyObject *o, eval_context *ctx, int solution_mode, int depth, double *out) {
  if (solution_mode && ctx->use_array && (is_int_index(o) || PyUnicode_Check(o))) {
    long long idx = -1;
    if (PyUnicode_Check(o)) {
      PyRef ascii = PyRef::steal(PyUnicode_AsASCIIString(o));
      if (!ascii) return -1;
      int col = -1;
      if (!ctx->problem || KRVUgetindex(ctx->problem->prob, 2, PyBytes_AS_STRING(ascii.get()), &col) != 0) {
        setKrvuErrIfNull(reinterpret_cast<PyObject *>(ctx->problem), nullptr);
        return -1;
      }
      idx = col;
    } else {
      int overflow = 0;
      PyRef as_int = PyRef::steal(PyNumber_Index(o));
      if (!as_int) return -1;
      idx = PyLong_AsLongLongAndOverflow(as_int.get(), &overflow);
      if (idx == -1 && PyErr_Occurred()) return -1;
      if (overflow) idx = -1;
    }
    if (idx < 0 || idx >= ctx->n) {
      PyErr_SetString(korvu_InterfaceError, "Call to korvu.problem.getSolution() contains an out-of-range index");
      return -1;
    }
    *out = ctx->x[idx];
    return 0;
  }
  return eval_object(o, ctx, depth, out);
}

PyObject *walk(PyObject *o, eval_context *ctx, int mode, int depth);

PyObject *walk_array(PyArrayObject *arr, eval_context *ctx, int mode, int depth) {
  if (!krv_object_like(PyArray_DESCR(arr))) {
    PyErr_SetString(korvu_InterfaceError,
                    "korvu.evaluate() requires one or more Python objects;\n"
                    "NumPy arrays must be of dtype korvu.npvar, korvu.npexpr, or korvu.npconstraint.");
    return nullptr;
  }
  PyArrayObject *ops[2] = {arr, nullptr};
  npy_uint32 flags[2] = {NPY_ITER_READONLY, NPY_ITER_WRITEONLY | NPY_ITER_ALLOCATE};
  PyArray_Descr *dt[2] = {nullptr, PyArray_DescrFromType(NPY_DOUBLE)};
  NpyIter *iter = NpyIter_MultiNew(2, ops, NPY_ITER_REFS_OK | NPY_ITER_ZEROSIZE_OK, NPY_KEEPORDER, NPY_NO_CASTING,
                                   flags, dt);
  Py_DECREF(dt[1]);
  if (!iter) {
    if (!PyErr_Occurred())
      PyErr_SetString(korvu_ModelError, "Could not initialize result of the evaluation of a NumPy array");
    return nullptr;
  }
  PyRef result = PyRef::borrow(reinterpret_cast<PyObject *>(NpyIter_GetOperandArray(iter)[1]));
  bool ok = true;
  if (NpyIter_GetIterSize(iter) > 0) {
    NpyIter_IterNextFunc *next = NpyIter_GetIterNext(iter, nullptr);
    char **data = NpyIter_GetDataPtrArray(iter);
    if (!next) {
      ok = false;
    } else {
      do {
        PyObject *el = *reinterpret_cast<PyObject **>(data[0]);
        if (leaf_value(el ? el : Py_None, ctx, mode, depth, reinterpret_cast<double *>(data[1])) < 0) {
          ok = false;
          break;
        }
      } while (next(iter));
    }
  }
  NpyIter_Deallocate(iter);
  if (!ok) return nullptr;
  return result.release();
}

// Converts every element of a sequence into a new list or tuple.
PyObject *walk_items(PyObject *seq, eval_context *ctx, int mode, int depth, bool tuple) {
  Py_ssize_t n = PySequence_Fast_GET_SIZE(seq);
  PyRef out = PyRef::steal(tuple ? PyTuple_New(n) : PyList_New(n));
  if (!out) return nullptr;
  for (Py_ssize_t i = 0; i < n; ++i) {
    // The source may be a list that a user function changes: re-check its size.
    if (i >= PySequence_Fast_GET_SIZE(seq)) {
      PyErr_SetString(PyExc_RuntimeError, "A list changed size while it was evaluated");
      return nullptr;
    }
    PyRef item = PyRef::borrow(PySequence_Fast_GET_ITEM(seq, i));
    PyObject *v = walk(item.get(), ctx, mode, depth - 1);
    if (!v) return nullptr;
    if (tuple)
      PyTuple_SET_ITEM(out.get(), i, v);
    else
      PyList_SET_ITEM(out.get(), i, v);
  }
  return out.release();
}

PyObject *walk(PyObject *o, eval_context *ctx, int mode, int depth) {
  if (depth <= 0) {
    depth_exceeded();
    return nullptr;
  }
  if (PyTuple_Check(o)) return walk_items(o, ctx, mode, depth, true);
  if (PyList_Check(o)) return walk_items(o, ctx, mode, depth, false);
  if (PyDict_Check(o)) {
    PyRef out = PyRef::steal(PyDict_New());
    PyRef items = PyRef::steal(PyDict_Items(o));
    if (!out || !items) return nullptr;
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(items.get()); ++i) {
      PyObject *kv = PyList_GET_ITEM(items.get(), i);
      PyRef v = PyRef::steal(walk(PyTuple_GET_ITEM(kv, 1), ctx, mode, depth - 1));
      if (!v || PyDict_SetItem(out.get(), PyTuple_GET_ITEM(kv, 0), v.get()) < 0) return nullptr;
    }
    return out.release();
  }
  if (PyArray_Check(o)) return walk_array(reinterpret_cast<PyArrayObject *>(o), ctx, mode, depth - 1);
  // A string is a column name in solution mode and never a sequence of characters.
  if (expr_kind(o) == KIND_INVALID && !PyUnicode_Check(o) && !PyBytes_Check(o) && PySequence_Check(o)) {
    PyRef seq = PyRef::steal(PySequence_Fast(o, "Cannot evaluate type of sequence"));
    if (!seq) return nullptr;
    return walk_items(seq.get(), ctx, mode, depth, false);
  }
  double v;
  if (leaf_value(o, ctx, mode, depth, &v) < 0) return nullptr;
  return PyFloat_FromDouble(v);
}

}  // namespace

PyObject *scan_args_expressions(PyObject *args, eval_context *ctx, int solution_mode) {
  Py_ssize_t n = PyTuple_GET_SIZE(args);
  if (n == 0) return nullptr;
  if (n == 1) return walk(PyTuple_GET_ITEM(args, 0), ctx, solution_mode, kEvalDepth);
  return walk_items(args, ctx, solution_mode, kEvalDepth + 1, true);
}

const char korvumod_evaluate_doc[] =
    "evaluate(*expressions, problem=None, solution=None)\n--\n\n"
    "Purpose:\n  The numeric value of model objects at a solution.\n\n"
    "Synopsis:\n  v = korvu.evaluate(expr, solution={x: 1.0, y: 2.0})\n"
    "  v = korvu.evaluate(expr, problem=p)\n  v = korvu.evaluate(expr, problem=p, solution=[...])\n"
    "  v1, v2 = korvu.evaluate(e1, e2, problem=p)\n\n"
    "Arguments:\n  expressions: numbers, variables, terms, expressions or nonlinear expressions,\n"
    "    nested at will in tuples, lists, dicts and NumPy arrays of model objects.\n"
    "  problem: a korvu.problem whose variables the expressions use; without a\n"
    "    solution its current solution is used.\n"
    "  solution: a dict variable -> value, or a list or one-dimensional NumPy array\n"
    "    of values indexed by the problem's columns (then problem is required).\n\n"
    "Example:\n  korvu.evaluate(x + 2 * y, solution={x: 1, y: 2})  # 5.0\n"
    "  korvu.evaluate([x, {'a': y}], problem=p)\n\n"
    "Further information:\n  The result has the shape of the arguments: a tuple for several arguments,\n"
    "  lists for lists and other sequences, dicts with the same keys for dicts and\n"
    "  float64 arrays for arrays.  Nesting is allowed to 64 levels.\n\n"
    "Related topics:\n  problem.getSolution, Sum\n";

PyObject *korvumod_evaluate(PyObject *, PyObject *args, PyObject *kwargs) {
  static const char *kwlist[] = {"expressions", "problem", "solution", nullptr};
  PyObject *problem = nullptr, *solution = nullptr;
  double placeholder = 0.0;
  PyRef dummy = PyRef::steal(Py_BuildValue("(d)", 0.0));
  if (!dummy || !PyArg_ParseTupleAndKeywords(dummy.get(), kwargs, "d|OO", const_cast<char **>(kwlist), &placeholder,
                                             &problem, &solution))
    return nullptr;
  if (problem == Py_None) problem = nullptr;
  if (solution == Py_None) solution = nullptr;

  eval_context ctx = {nullptr, nullptr, 0, nullptr, 0};
  std::vector<double> values;
  problem_s *p = nullptr;
  if (problem) {
    if (!korvu_is_problem(problem)) {
      PyErr_SetString(korvu_InterfaceError, "Argument \"problem\" must be an korvu.problem object");
      return nullptr;
    }
    p = reinterpret_cast<problem_s *>(problem);
    if (!p->prob) {
      PyErr_SetString(korvu_ModelError, "The problem is not initialised");
      return nullptr;
    }
    ctx.problem = p;
  }
  if (!problem && !solution) {
    PyErr_SetString(korvu_InterfaceError,
                    "korvu.evaluate() requires at least of the two arguments \"solution\" and \"problem\".\n"
                    "See the documentation of korvu.evaluate for details.");
    return nullptr;
  }
  if (PyTuple_GET_SIZE(args) == 0) {
    PyErr_SetString(korvu_InterfaceError, "korvu.evaluate() requires at least one expression to evaluate");
    return nullptr;
  }
  if (solution && PyDict_Check(solution)) {
    ctx.solution = solution;
  } else if (solution && (PyList_Check(solution) || PyArray_Check(solution))) {
    if (!p) {
      PyErr_SetString(korvu_InterfaceError,
                      "Argument \"problem\" is necessary when passing a list or NumPy array of variable values");
      return nullptr;
    }
    int n = 0;
    bool nonlinear = p->slpprob && (p->nonlin_rows || p->nonlin_obj);
    int rc = nonlinear ? KSLPgetintattrib(p->slpprob, KSLP_ATTR_COLS, &n)
                       : KRVUgetintattrib(p->prob, KRVU_ATTR_ORIGINALCOLS, &n);
    if (rc) return setKrvuErrIfNull(problem, nullptr);
    // The values must cover every column: the agreed count makes a shorter or
    // longer list a refusal instead of a read past its end.
    int64_t count = n;
    korvu::KoArray<double> arr;
    if (conv_obj2arr(p, &count, solution, arr.addr(), CONV_DOUBLE) < 0) {
      if (!PyErr_Occurred()) PyErr_SetString(korvu_ModelError, "Invalid solution values");
      return setKrvuErrIfNull(problem, nullptr);
    }
    if (n > 0 && !arr) {
      PyErr_SetString(korvu_ModelError, "Invalid solution values");
      return nullptr;
    }
    values.assign(arr.get(), arr.get() + n);
    ctx.x = values.data();
    ctx.n = n;
    ctx.use_array = 1;
  } else if (solution) {
    PyErr_SetString(korvu_InterfaceError,
                    "Argument \"solution\" must be a dictionary, a list, or a one-dimensional NumPy array.\n"
                    "See the documentation for korvu.evaluate");
    return nullptr;
  } else {
    if (problem_read_vector(p, KORVU_PRIMAL, values) < 0) return setKrvuErrIfNull(problem, nullptr);
    ctx.x = values.data();
    ctx.n = static_cast<Py_ssize_t>(values.size());
    ctx.use_array = 1;
  }
  PyObject *r = scan_args_expressions(args, &ctx, 0);
  return setKrvuErrIfNull(problem, r);
}
