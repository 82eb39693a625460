// The module functions sin, cos, ..., max, min, And, Or, pwl and user: each
// evaluates a number, maps itself over a NumPy array, and otherwise builds a
// nonlinear node.
#include "nonlinear/functions.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "model/maps.h"
#include "module/module.h"
#include "module/numpy_api.h"
#include "nonlinear/nonlin.h"

using korvu::PyRef;

PyObject *vector_compose_op(PyObject *self, PyObject *a, PyCFunction fn) {
  auto cannot_iterate = []() -> PyObject * {
    if (!PyErr_Occurred()) PyErr_SetString(korvu_ModelError, "Cannot iterate on sequence of arguments");
    return nullptr;
  };
  PyRef copy = PyRef::steal(PyArray_NewCopy(reinterpret_cast<PyArrayObject *>(a), NPY_CORDER));
  if (!copy) return cannot_iterate();
  PyArrayObject *arr = reinterpret_cast<PyArrayObject *>(copy.get());
  if (PyArray_SIZE(arr) == 0) return copy.release();
  NpyIter *iter = NpyIter_New(arr, NPY_ITER_READWRITE | NPY_ITER_REFS_OK, NPY_CORDER, NPY_NO_CASTING, nullptr);
  if (!iter) return cannot_iterate();
  NpyIter_IterNextFunc *next = NpyIter_GetIterNext(iter, nullptr);
  char **data = NpyIter_GetDataPtrArray(iter);
  bool ok = next != nullptr;
  if (ok) {
    do {
      PyRef element = PyRef::steal(PyArray_GETITEM(arr, data[0]));
      PyRef result = element ? PyRef::steal(fn(self, element.get())) : PyRef();
      if (!result || PyArray_SETITEM(arr, data[0], result.get()) < 0) {
        ok = false;
        break;
      }
    } while (next(iter));
  }
  NpyIter_Deallocate(iter);
  if (!ok) return cannot_iterate();
  return copy.release();
}

namespace {

// ---- unary functions: one row each

struct Unary {
  int op;
  double (*value)(double);
};

// name, operator, value for a number, purpose (help text)
#define KORVU_UNARY_FUNCTIONS(X)                                                               \
  X(sin, NL_SIN, [](double x) { return std::sin(x); }, "The sine of x (x in radians).")         \
  X(cos, NL_COS, [](double x) { return std::cos(x); }, "The cosine of x (x in radians).")       \
  X(tan, NL_TAN, [](double x) { return std::tan(x); }, "The tangent of x (x in radians).")      \
  X(asin, NL_ASIN, [](double x) { return std::asin(x); }, "The arc sine of x, in radians.")     \
  X(acos, NL_ACOS, [](double x) { return std::acos(x); }, "The arc cosine of x, in radians.")   \
  X(atan, NL_ATAN, [](double x) { return std::atan(x); }, "The arc tangent of x, in radians.")  \
  X(exp, NL_EXP, [](double x) { return std::exp(x); }, "The exponential e**x.")                 \
  X(log, NL_LOG, [](double x) { return std::log(x); }, "The natural logarithm of x.")           \
  X(log10, NL_LOG10, [](double x) { return std::log(x) * 0.4342944819032518; },                 \
    "The logarithm of x to base 10.")                                                          \
  X(abs, NL_ABS, [](double x) { return std::fabs(x); }, "The absolute value of x.")             \
  X(sqrt, NL_SQRT, [](double x) { return std::sqrt(x); }, "The square root of x.")              \
  X(sign, NL_SIGN, [](double x) { return x < 0 ? -1.0 : (x > 0 ? 1.0 : 0.0); },                \
    "The sign of x: -1.0, 0.0 or 1.0 (0.0 also for NaN).")                                     \
  X(erf, NL_ERF, [](double x) { return std::erf(x); }, "The error function of x.")              \
  X(erfc, NL_ERFC, [](double x) { return std::erfc(x); }, "The complementary error function of x.")

#define KORVU_UNARY_ROW(name, op, rule, purpose) Unary{op, rule},
constexpr Unary kUnary[] = {KORVU_UNARY_FUNCTIONS(KORVU_UNARY_ROW)};
#undef KORVU_UNARY_ROW

constexpr const Unary &unary_of(int op) {
  for (const Unary &u : kUnary)
    if (u.op == op) return u;
  return kUnary[0];
}

template <int Op>
PyObject *unary_fn(PyObject *self, PyObject *a) {
  if (is_array(a)) return vector_compose_op(self, a, unary_fn<Op>);
  if (is_numeric(a)) {
    double v;
    if (num_value(a, &v) < 0) return nullptr;
    return PyFloat_FromDouble(unary_of(Op).value(v));
  }
  return nonlin_build_unary(Op, a);
}

// ---- max, min, And, Or

struct Nary {
  int op;
  const char *bad_argument;
  const char *no_argument;  // null: none gives `empty`
  double empty;
};
constexpr Nary kNary[] = {
    {NL_MAX, "Incorrect argument for korvu.max function",
     "The function korvu.max must have at least one argument", 0.0},
    {NL_MIN, "Incorrect argument for korvu.min function",
     "The function korvu.min must have at least one argument", 0.0},
    {NL_AND, "Incorrect argument for korvu.And function", nullptr, 1.0},
    {NL_OR, "Incorrect argument for korvu.Or function", nullptr, 0.0},
};

constexpr const Nary &nary_of(int op) {
  for (const Nary &n : kNary)
    if (n.op == op) return n;
  return kNary[0];
}

// The operands of a call: the positional arguments, or the members of a single
// list, tuple, sequence or array argument.  `single` is set when there is
// exactly one operand.
struct Operands {
  Py_ssize_t n = 0;
  PyRef single;
  PyRef members;  // the operands as a tuple, when they came in one collection
};

// 0, or -1 with an exception set; an operand of invalid kind gives 1 (the
// caller names itself in the message).
int gather(PyObject *args, Operands *out) {
  Py_ssize_t nargs = PyTuple_GET_SIZE(args);
  if (nargs != 1) {
    out->n = nargs;
    return 0;
  }
  PyObject *q = PyTuple_GET_ITEM(args, 0);
  if (is_array(q)) {
    PyArrayObject *arr = reinterpret_cast<PyArrayObject *>(q);
    if (PyArray_NDIM(arr) > 64) {
      PyErr_SetString(korvu_ModelError, "Array has far too many dimensions to be used in a nonlinear expression");
      return -1;
    }
    out->n = PyArray_SIZE(arr);
    if (out->n == 1) {
      out->single = PyRef::steal(PyArray_GETITEM(arr, PyArray_BYTES(arr)));
      if (!out->single) return -1;
    } else if (out->n > 1) {
      PyRef flat = PyRef::steal(PyArray_Ravel(arr, NPY_CORDER));
      out->members = flat ? PyRef::steal(PySequence_Tuple(flat.get())) : PyRef();
      if (!out->members) return -1;
    }
  } else if (PyList_Check(q) || PyTuple_Check(q) || PySequence_Check(q)) {
    out->members = PyRef::steal(PySequence_Tuple(q));
    if (!out->members) return -1;
    out->n = PyTuple_GET_SIZE(out->members.get());
    if (out->n == 1) out->single = PyRef::borrow(PyTuple_GET_ITEM(out->members.get(), 0));
  } else {
    out->n = 1;
    out->single = PyRef::borrow(q);
  }
  if (out->single && expr_kind(out->single.get()) < 0) return 1;
  return 0;
}

template <int Op>
PyObject *nary_fn(PyObject *, PyObject *args) {
  const Nary &f = nary_of(Op);
  if (!PyTuple_Check(args)) return model_error("Insufficient number of arguments declared for operator");
  Operands ops;
  int rc = gather(args, &ops);
  if (rc < 0) return nullptr;
  if (rc > 0) return model_error(f.bad_argument);
  if (ops.n == 0) return f.no_argument ? model_error(f.no_argument) : PyFloat_FromDouble(f.empty);
  if (ops.n == 1) return ops.single.release();
  return nonlin_instantiate_nary(Op, ops.members ? ops.members.get() : args);
}

// ---- pwl

struct Interval {
  double a, b, ya, yb;
};

constexpr const char kPwlUsage[] =
    "Function korvu.pwl only accepts a dictionary; a call must be for example korvu.pwl({(1,4): "
    "2*x+1, (4,6): 4*x+5, ...})";

// slope * t + intercept of the value of one interval; *var the variable or null.
int pwl_piece(PyObject *value, double *slope, double *intercept, PyObject **var) {
  *slope = 0.0;
  *intercept = 0.0;
  *var = nullptr;
  switch (expr_kind(value)) {
    case KIND_NUM:
      return num_value(value, intercept);
    case KIND_VAR:
      *slope = 1.0;
      *var = value;
      return 0;
    case KIND_LIN:
      *slope = KRV_LT(value)->coef;
      *var = KRV_OBJ(KRV_LT(value)->var);
      return 0;
    case KIND_EXPR: {
      expression_s *e = reinterpret_cast<expression_s *>(value);
      *intercept = e->constant;
      if (e->lin && linmap_size(e->lin) > 1) {
        PyErr_Format(korvu_ModelError,
                     "Expression %S not suitable for a piecewise linear function; it must contain one "
                     "variable only",
                     value);
        return -1;
      }
      if (e->lin)
        e->lin->for_each([&](const auto &en) {
          *slope = en.val.coef;
          *var = KRV_OBJ(en.val.var);
        });
      return 0;
    }
    default:
      PyErr_Format(korvu_ModelError,
                   "Expression %S not suitable for a piecewise linear function; it must be a constant or "
                   "a linear function",
                   value);
      return -1;
  }
}

PyObject *float_obj(double v) { return PyFloat_FromDouble(v); }

PyObject *korvumod_pwl(PyObject *, PyObject *d) {
  if (!PyDict_Check(d)) return model_error(kPwlUsage);
  std::vector<Interval> pieces;
  PyObject *var = nullptr, *named = nullptr;  // borrowed from the dict's values
  PyObject *key, *value;
  Py_ssize_t pos = 0;
  while (PyDict_Next(d, &pos, &key, &value)) {
    if (key == Py_None) {
      if (!PyObject_TypeCheck(value, &korvu_varType)) {
        PyErr_Format(korvu_ModelError, "Tuple (None, Obj) must have an korvu.var() object as Obj, found <%S>",
                     value);
        return nullptr;
      }
      named = value;
      continue;
    }
    if (!PyTuple_Check(key) || PyTuple_GET_SIZE(key) != 2) {
      PyErr_Format(korvu_ModelError, "All keys in the dictionary argument of korvu.pwl must be two-tuples; <%S> is not",
                   key);
      return nullptr;
    }
    Interval iv{};
    PyObject *ka = PyTuple_GET_ITEM(key, 0), *kb = PyTuple_GET_ITEM(key, 1);
    if (!is_numeric(ka) || !is_numeric(kb) || num_value(ka, &iv.a) < 0 || num_value(kb, &iv.b) < 0 ||
        !(iv.a <= iv.b)) {
      PyErr_Clear();
      PyErr_Format(korvu_ModelError,
                   "All keys in the dictionary argument of korvu.pwl must be two-tuples with two constant "
                   "numbers: [a,b] such that a<b; <%S> is not",
                   key);
      return nullptr;
    }
    double slope, intercept;
    PyObject *v;
    if (pwl_piece(value, &slope, &intercept, &v) < 0) return nullptr;
    if (v && var && var_id(v) != var_id(var)) {
      PyRef fa = PyRef::steal(float_obj(iv.a)), fb = PyRef::steal(float_obj(iv.b));
      if (!fa || !fb) return nullptr;
      PyErr_Format(korvu_ModelError,
                   "Expression in [%S,%S] interval contains variable %S while another variable has been "
                   "used in the same function",
                   fa.get(), fb.get(), v);
      return nullptr;
    }
    if (v) var = v;
    iv.ya = iv.a * slope + intercept;
    iv.yb = iv.b * slope + intercept;
    pieces.push_back(iv);
  }
  // A variable named under None serves only when no interval names one.
  if (!var) var = named;
  if (!var) {
    PyErr_Format(korvu_ModelError,
                 "No variable specified for this piecewise linear function: %S; Are all values constant? "
                 "If so, add a key-value pair (None: x) to the dictionary with the variable associated "
                 "to the piecewise linear",
                 d);
    return nullptr;
  }
  if (pieces.empty())
    return model_error("The dictionary argument of korvu.pwl must have at least one interval (a,b)");
  std::stable_sort(pieces.begin(), pieces.end(), [](const Interval &l, const Interval &r) { return l.a < r.a; });
  for (size_t i = 0; i + 1 < pieces.size(); ++i)
    if (pieces[i + 1].a < pieces[i].b) {
      PyRef v[4] = {PyRef::steal(float_obj(pieces[i].a)), PyRef::steal(float_obj(pieces[i].b)),
                    PyRef::steal(float_obj(pieces[i + 1].a)), PyRef::steal(float_obj(pieces[i + 1].b))};
      for (const PyRef &r : v)
        if (!r) return nullptr;
      PyErr_Format(korvu_ModelError, "Interval [%S,%S] overlaps with [%S,%S] in piecewise linear function",
                   v[0].get(), v[1].get(), v[2].get(), v[3].get());
      return nullptr;
    }
  std::vector<double> points;
  for (size_t i = 0; i < pieces.size(); ++i) {
    const Interval &iv = pieces[i];
    points.push_back(iv.a);
    points.push_back(iv.ya);
    bool last = i + 1 == pieces.size();
    if (last || pieces[i + 1].a > iv.b + 1e-6 || std::fabs(iv.yb - pieces[i + 1].ya) > 1e-6) {
      points.push_back(iv.b);
      points.push_back(iv.yb);
    }
  }
  PyRef list = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(points.size() + 1)));
  if (!list) return nullptr;
  PyList_SET_ITEM(list.get(), 0, Py_NewRef(var));
  for (size_t k = 0; k < points.size(); ++k) {
    PyObject *f = float_obj(points[k]);
    if (!f) return nullptr;
    PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(k + 1), f);
  }
  return nonlin_instantiate_nary(NL_PWL, list.get());
}

// ---- user

PyObject *korvumod_user(PyObject *, PyObject *args, PyObject *kwargs) {
  static const char *kwlist[] = {"arguments", "derivatives", nullptr};
  double placeholder = 0.0;
  int derivatives = 0;
  PyRef one = PyRef::steal(Py_BuildValue("(d)", 0.0));
  if (!one || !PyArg_ParseTupleAndKeywords(one.get(), kwargs, "d|i", const_cast<char **>(kwlist), &placeholder,
                                           &derivatives))
    return nullptr;
  // A node without its function could never be evaluated or solved.
  if (PyTuple_GET_SIZE(args) < 1 || !PyCallable_Check(PyTuple_GET_ITEM(args, 0)))
    return model_error("First argument of a user() operator must be the function itself");
  return nonlin_instantiate_nary(derivatives ? NL_USER_DERIV : NL_USER, args);
}

// ---- help texts and the method table

#define KORVU_FN_DOC(sig, purpose, synopsis, args, example, further, related)                     \
  sig "\n--\n\nPurpose:\n  " purpose "\n\nSynopsis:\n  " synopsis "\n\nArguments:\n" args      \
      "\nExample:\n  " example "\n\nFurther information:\n" further "\nRelated topics:\n  " related "\n"

#define KORVU_UNARY_METHOD(name, op, rule, purpose)                                              \
  {#name, unary_fn<op>, METH_O,                                                                 \
   KORVU_FN_DOC(#name "(x, /)", purpose, "y = korvu." #name "(x)",                                 \
                "  x: a number, a variable, term, expression or nonlinear expression, or a\n"   \
                "    NumPy array of them.\n",                                                   \
                "korvu." #name "(2 * x + 1)",                                                   \
                "  A number gives a float (domain errors give NaN or infinities, as the\n"      \
                "  mathematics library does), an array a new array of the same shape and\n"    \
                "  dtype computed element by element, a model object a nonlinear expression.\n", \
                "korvu.user, korvu.evaluate, korvu.problem.solve")},

#define KORVU_NARY_DOC(name, what, none)                                                          \
  KORVU_FN_DOC(#name "(*args)", what " of its arguments.",                                      \
               "y = korvu." #name "(a, b, ...)\n  y = korvu." #name "(collection)",              \
               "  args: numbers and model objects, given one by one or as a single list,\n"     \
               "    tuple, sequence or NumPy array.\n",                                         \
               "korvu." #name "(x, y, 3)",                                                      \
               "  A single operand is returned itself; " none "\n",                             \
               "korvu.max, korvu.min, korvu.And, korvu.Or")

}  // namespace

PyMethodDef korvu_function_methods[] = {
    KORVU_UNARY_FUNCTIONS(KORVU_UNARY_METHOD)
    {"max", nary_fn<NL_MAX>, METH_VARARGS,
     KORVU_NARY_DOC(max, "The maximum", "no operand is refused.")},
    {"min", nary_fn<NL_MIN>, METH_VARARGS,
     KORVU_NARY_DOC(min, "The minimum", "no operand is refused.")},
    {"And", nary_fn<NL_AND>, METH_VARARGS,
     KORVU_NARY_DOC(And, "The logical and (1.0 when all are nonzero)", "no operand gives 1.0.")},
    {"Or", nary_fn<NL_OR>, METH_VARARGS,
     KORVU_NARY_DOC(Or, "The logical or (1.0 when any is nonzero)", "no operand gives 0.0.")},
    {"pwl", korvumod_pwl, METH_O,
     KORVU_FN_DOC("pwl(intervals, /)", "A piecewise linear function of one variable.",
                  "y = korvu.pwl({(a1, b1): f1, (a2, b2): f2, ...})",
                  "  intervals: a dict from intervals (a, b), a <= b, to the function on each: a\n"
                  "    number or a linear function c * x + d of one variable x.  The entry\n"
                  "    None: x names the variable when all values are numbers.\n",
                  "korvu.pwl({(0, 1): 2 * x, (1, 3): x + 1})",
                  "  Intervals may touch or leave gaps but not overlap; the function jumps\n"
                  "  where the values at a shared end differ, and the end pieces extend\n"
                  "  beyond the outermost intervals.\n",
                  "korvu.user, korvu.max")},
    {"user", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)(void)>(korvumod_user)),
     METH_VARARGS | METH_KEYWORDS,
     KORVU_FN_DOC("user(function, /, *args, derivatives=0)", "A function written in Python, of model objects.",
                  "y = korvu.user(f, x1, x2, ..., derivatives=0)",
                  "  function: a callable taking as many floats as there are arguments.\n"
                  "  args: numbers and model objects, the function's arguments.\n"
                  "  derivatives: nonzero when f returns a tuple (value, d/dx1, d/dx2, ...);\n"
                  "    otherwise f returns the value (or a tuple whose first element is it)\n"
                  "    and the solver finds derivatives by finite differences.\n",
                  "korvu.user(lambda a, b: a * math.exp(b), x, y)",
                  "  The function is called by the nonlinear solver during a solve; an\n"
                  "  exception it raises stops the solve and is raised by solve().\n",
                  "korvu.evaluate, korvu.problem.solve")},
    {nullptr, nullptr, 0, nullptr},
};
