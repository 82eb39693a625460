// korvu.constraint: comparisons of model objects and the constraint constructor.
//
// Bits of info: 0-56 id, 57-58 lower-bound code, 59 lower bound stored, 60-61
// upper-bound code, 62 upper bound stored, 63 name stored.  Uncommon bounds and
// names live in the environment's side maps keyed by id.  An upper-bound code 3
// without its stored bit is an equality's: the upper bound is the stored lower
// one, so that x == 2.5 keeps one map entry instead of two.
#include "model/constraint.h"

#include <cmath>

#include "model/algebra.h"
#include "model/maps.h"
#include "module/env.h"
#include "module/numpy_api.h"
#include "nonlinear/nonlin.h"

using korvu::PyRef;

namespace {

constexpr int kLbShift = 57, kUbShift = 60;
constexpr uint64_t kLbCode = uint64_t(3) << kLbShift;
constexpr uint64_t kLbStored = uint64_t(1) << 59;
constexpr uint64_t kUbCode = uint64_t(3) << kUbShift;
constexpr uint64_t kUbStored = uint64_t(1) << 62;
constexpr uint64_t kNameStored = uint64_t(1) << 63;
constexpr double kInf = 1e20;
constexpr double kUnsetLo = -2e20, kUnsetHi = 2e20;

constraint_s *C(PyObject *o) { return reinterpret_cast<constraint_s *>(o); }

uint64_t take_con_id() {
  // Every caller is making a Python object and so holds the interpreter lock,
  // which serialises the counter (korvu.vars takes the mutex for its range).
  uint64_t id = krv_py_env.next_con_id++ & CON_ID_MASK;
  if (id == 0) id = krv_py_env.next_con_id++ & CON_ID_MASK;
  return id;
}

void con_clear_side(uint64_t *info) {
  uint64_t id = *info & CON_ID_MASK;
  if ((*info & kLbStored) && krv_py_env.con_lb) boundmap_del(krv_py_env.con_lb, id);
  if ((*info & kUbStored) && krv_py_env.con_ub) boundmap_del(krv_py_env.con_ub, id);
  if ((*info & kNameStored) && krv_py_env.con_names) namemap_del(krv_py_env.con_names, id);
  *info = id;
}

}  // namespace

double get_con_lbound(uint64_t info) {
  switch ((info & kLbCode) >> kLbShift) {
    case 0: return -kInf;
    case 1: return 0.0;
    case 2: return 1.0;
    default: return boundmap_get(krv_py_env.con_lb, info & CON_ID_MASK);
  }
}

namespace {
inline bool ub_is_lb(uint64_t info) { return (info & (kUbCode | kUbStored)) == kUbCode; }
}  // namespace

double get_con_ubound(uint64_t info) {
  switch ((info & kUbCode) >> kUbShift) {
    case 0: return kInf;
    case 1: return 0.0;
    case 2: return 1.0;
    default:
      if (!(info & kUbStored)) return get_con_lbound(info);
      return boundmap_get(krv_py_env.con_ub, info & CON_ID_MASK);
  }
}

void get_con_bounds(uint64_t info, double *lo, double *up) {
  *lo = get_con_lbound(info);
  *up = ub_is_lb(info) ? *lo : get_con_ubound(info);
}

PyObject *get_con_name(uint64_t info) {
  if (info & kNameStored) {
    PyObject *n = namemap_get(krv_py_env.con_names, info & CON_ID_MASK);
    if (n) return Py_NewRef(n);
  }
  return PyUnicode_FromFormat("R%llu", static_cast<unsigned long long>(info & CON_ID_MASK));
}

void set_con_lbound(uint64_t *info, double v) {
  uint64_t code = v <= -kInf ? 0 : v == 0.0 ? 1 : v == 1.0 ? 2 : 3;
  uint64_t id = *info & CON_ID_MASK;
  if (ub_is_lb(*info)) {
    // The upper bound stops following the lower one: it gets its own entry.
    boundmap_set(krv_py_env.con_ub, id, boundmap_get(krv_py_env.con_lb, id));
    *info |= kUbStored;
  }
  if (code != 3) {
    if (*info & kLbStored) boundmap_del(krv_py_env.con_lb, id);
    *info = (*info & ~(kLbCode | kLbStored)) | (code << kLbShift);
  } else {
    boundmap_set(krv_py_env.con_lb, id, v);
    *info = (*info & ~kLbCode) | (code << kLbShift) | kLbStored;
  }
}

void set_con_ubound(uint64_t *info, double v) {
  uint64_t code = v >= kInf ? 0 : v == 0.0 ? 1 : v == 1.0 ? 2 : 3;
  uint64_t id = *info & CON_ID_MASK;
  if (code != 3) {
    if (*info & kUbStored) boundmap_del(krv_py_env.con_ub, id);
    *info = (*info & ~(kUbCode | kUbStored)) | (code << kUbShift);
  } else {
    boundmap_set(krv_py_env.con_ub, id, v);
    *info = (*info & ~kUbCode) | (code << kUbShift) | kUbStored;
  }
}

void set_con_equal(uint64_t *info, double v) {
  set_con_lbound(info, v);
  if (((*info & kLbCode) >> kLbShift) != 3) {
    set_con_ubound(info, v);
    return;
  }
  if (*info & kUbStored) boundmap_del(krv_py_env.con_ub, *info & CON_ID_MASK);
  *info = (*info & ~kUbStored) | kUbCode;
}

void set_con_name(uint64_t *info, PyObject *obj) {
  uint64_t id = *info & CON_ID_MASK;
  Py_INCREF(obj);
  PyObject *old = (*info & kNameStored) ? namemap_get(krv_py_env.con_names, id) : nullptr;
  if (namemap_set(krv_py_env.con_names, id, obj) < 0) {
    Py_DECREF(obj);
    return;
  }
  *info |= kNameStored;
  Py_XDECREF(old);
}

PyObject *constraint_base(void) {
  constraint_s *c = PyObject_New(constraint_s, &korvu_constraintType);
  if (!c) return nullptr;
  c->info = take_con_id();
  c->body = nullptr;
  return KRV_OBJ(c);
}

// ---- comparison

PyObject *make_constraint(PyObject *a, PyObject *b, int op) {
  PyRef left = PyRef::borrow(a);
  if (expr_kind(a) == KIND_NUM && expr_kind(b) == KIND_NUM) {
    left = PyRef::steal(expression_copy(a, 1.0));
    if (!left) return nullptr;
  }
  if (is_array(b)) {
    if (is_array(a)) {
      PyErr_SetString(korvu_InterfaceError, "Ill-defined constraint array");
      return nullptr;
    }
    // Element-wise constraints: NumPy's comparison with object results, so that each
    // element is the constraint built by the scalar path (NumPy's default loop
    // would turn every constraint into True).
    static const char *reflected[] = {"greater", "greater_equal", "equal", "not_equal", "less", "less_equal"};
    if (op < 0 || op > 5) return model_error("Invalid constraint: unrecognized comparison operator");
    PyRef np = PyRef::steal(PyImport_ImportModule("numpy"));
    if (!np) return nullptr;
    PyRef ufunc = PyRef::steal(PyObject_GetAttrString(np.get(), reflected[op]));
    if (!ufunc) return nullptr;
    PyRef args = PyRef::steal(PyTuple_Pack(2, b, left.get()));
    PyRef kw = PyRef::steal(Py_BuildValue("{s:O}", "dtype", reinterpret_cast<PyObject *>(&PyBaseObject_Type)));
    if (!args || !kw) return nullptr;
    return PyObject_Call(ufunc.get(), args.get(), kw.get());
  }
  // An expression without a constant compared with a number is the body as
  // it stands: the constraint shares it (marked, so that in-place operators
  // copy) instead of holding a copy of every coefficient.
  double shared_rhs = 0.0;
  bool share = is_expression(a) && KRV_EXPR(a)->constant == 0.0 && expr_kind(b) == KIND_NUM;
  if (share && num_value(b, &shared_rhs) < 0) return nullptr;
  // With a constant, the constraint shares the expression too, and the
  // constant goes into the bounds: the body without it is made only if it is
  // read (see CON_BODY_FOLDED).  r = v - k is the -(k - v) of the copy's path.
  bool fold = !share && Py_TYPE(a) == &korvu_expressionType && expr_kind(b) == KIND_NUM &&
              !(reinterpret_cast<uintptr_t>(a) & CON_BODY_FOLDED);
  if (fold) {
    if (num_value(b, &shared_rhs) < 0) return nullptr;
    shared_rhs -= KRV_EXPR(a)->constant;
    share = true;
  }
  PyRef d;
  if (share) {
    d = PyRef::borrow(a);
  } else if (Py_TYPE(a) == &korvu_expressionType && expr_kind(b) == KIND_NUM) {
    // expression - number, as the general subtraction makes it, without its dispatch
    double v;
    if (num_value(b, &v) < 0) return nullptr;
    d = PyRef::steal(expression_copy(a, 1.0));
    if (!d) return nullptr;
    KRV_EXPR(d.get())->constant += -1.0 * v;
  } else {
    d = PyRef::steal(model_binop(OP_SUB, left.get(), b));
  }
  if (!d) return nullptr;

  double r = 0.0;
  PyRef body = d;
  bool fixed = false;  // bounds already set from a reversed difference
  double flo = -kInf, fhi = kInf;
  int kd = expr_kind(d.get());
  if (share) {
    r = shared_rhs;
  } else if (kd == KIND_EXPR) {
    r = -KRV_EXPR(d.get())->constant;
    KRV_EXPR(d.get())->constant = 0.0;
  } else if (kd == KIND_NL) {
    nonlin_s *n = KRV_NL(d.get());
    if (n->op == NL_SUM && n->args && PyList_Check(n->args) && PyList_GET_SIZE(n->args) > 1) {
      Py_ssize_t last = PyList_GET_SIZE(n->args) - 1;
      PyObject *k = PyList_GET_ITEM(n->args, last);
      if (expr_kind(k) == KIND_NUM) {
        double v;
        if (num_value(k, &v) < 0) return nullptr;
        r = -v;
        if (PyList_SetSlice(n->args, last, last + 1, nullptr) < 0) return nullptr;
      }
    } else if (n->op == NL_MINUS && n->args && PyTuple_Check(n->args) && PyTuple_GET_SIZE(n->args) == 2) {
      PyObject *p = PyTuple_GET_ITEM(n->args, 0), *q = PyTuple_GET_ITEM(n->args, 1);
      bool pn = expr_kind(p) == KIND_NUM, qn = expr_kind(q) == KIND_NUM;
      if (!pn && qn) {
        if (num_value(q, &r) < 0) return nullptr;
        body = PyRef::borrow(p);
      } else if (pn) {
        if (num_value(p, &r) < 0) return nullptr;
        body = PyRef::borrow(q);
        if (op == Py_LE) {
          fixed = true;
          flo = r;
        } else if (op == Py_GE) {
          fixed = true;
          fhi = r;
        }
      }
    }
  } else if (kd < 0) {
    return model_error("Invalid constraint body");
  }

  if (op > 5) return model_error("Invalid constraint: unrecognized comparison operator");
  if (op == Py_LT || op == Py_NE || op == Py_GT)
    return model_error("Invalid constraint: cannot enforce f(x) != 0, f(x) > 0, or f(x) < 0");
  if (std::isnan(r) || std::isnan(flo) || std::isnan(fhi))
    return model_error("Invalid constraint: its right-hand side is not a number (NaN)");

  PyRef c = PyRef::steal(constraint_base());
  if (!c) return nullptr;
  constraint_s *con = C(c.get());
  if (share) KRV_EXPR(a)->shared = true;
  con->body = body.release();
  if (fold) con->body = reinterpret_cast<PyObject *>(reinterpret_cast<uintptr_t>(con->body) | CON_BODY_FOLDED);
  if (fixed) {
    set_con_lbound(&con->info, flo);
    set_con_ubound(&con->info, fhi);
  } else {
    if (op == Py_EQ) set_con_equal(&con->info, r);
    if (op == Py_LE) set_con_ubound(&con->info, r);
    if (op == Py_GE) set_con_lbound(&con->info, r);
  }
  return c.release();
}

PyObject *model_richcompare(PyObject *a, PyObject *b, int op) {
  return setKrvuErrIfNull(nullptr, make_constraint(a, b, op));
}

// ---- the type

static void constraint_dealloc(PyObject *self) {
  constraint_s *c = C(self);
  constraint_forget_home(c);
  con_clear_held_body(c);
  con_clear_side(&c->info);
  Py_TYPE(self)->tp_free(self);
}

// Element 0 in every dimension of an array.
static PyObject *array_first(PyObject *arr) {
  PyArrayObject *a = reinterpret_cast<PyArrayObject *>(arr);
  if (PyArray_SIZE(a) == 0) return model_error("Cannot use an empty NumPy array as body of constraint");
  int nd = PyArray_NDIM(a);
  npy_intp *idx = static_cast<npy_intp *>(PyMem_Calloc(nd > 0 ? nd : 1, sizeof(npy_intp)));
  if (!idx) return model_error("Cannot allocate memory to retrieve element of NumPy array");
  PyObject *r = PyArray_GETITEM(a, static_cast<char *>(PyArray_GetPtr(a, idx)));
  PyMem_Free(idx);
  return r;
}

static int constraint_init(PyObject *self, PyObject *args, PyObject *kwds) {
  constraint_s *c = C(self);
  static const char *kwlist[] = {"constraint", "body", "lb", "ub", "sense", "rhs", "name", nullptr};
  PyObject *from = nullptr, *body = nullptr, *name = nullptr;
  double lb = kUnsetLo, ub = kUnsetHi, rhs = kUnsetLo;
  long sense = 0;
  // Arguments are parsed before anything changes: a refused call leaves the
  // constraint as it was.
  if (!PyArg_ParseTupleAndKeywords(args, kwds, "|OOddldO", const_cast<char **>(kwlist), &from, &body, &lb, &ub,
                                   &sense, &rhs, &name))
    return -1;
  // Re-initialising keeps the id: problems that hold the constraint are keyed by it.
  if (c->info & CON_ID_MASK)
    con_clear_side(&c->info);
  else
    c->info = take_con_id();
  if (from == Py_None) from = nullptr;
  // The body of the constraint taken over, read back before this one's goes
  // (it may be this constraint itself).
  PyRef from_body;
  if (from && Py_TYPE(from) == &korvu_constraintType) {
    from_body = PyRef::borrow(constraint_body(C(from)));
    if (!from_body && PyErr_Occurred()) return -1;
  }
  constraint_forget_home(c);
  con_clear_held_body(c);
  if (body == Py_None) body = nullptr;
  if (name && name != Py_None) set_con_name(&c->info, name);
  if (std::isnan(lb) || std::isnan(ub) || std::isnan(rhs)) {
    PyErr_SetString(korvu_ModelError, "Constraint bounds and right-hand sides must not be NaN");
    return -1;
  }
  if (lb > ub + 1e-6) {
    PyErr_SetString(korvu_ModelError, "Constraint defined infeasible: lower bound > upper bound");
    return -1;
  }
  if (lb != kUnsetLo) set_con_lbound(&c->info, lb);
  if (ub != kUnsetHi) set_con_ubound(&c->info, ub);

  PyRef b;
  if (body) {
    b = is_array(body) ? PyRef::steal(array_first(body)) : PyRef::borrow(body);
    if (!b) return -1;
    if (expr_kind(b.get()) < 0) {
      PyErr_SetString(korvu_ModelError, "Invalid expression passed as body of constraint");
      return -1;
    }
  }
  if (from) {
    if (Py_TYPE(from) != &korvu_constraintType) {
      PyErr_SetString(korvu_ModelError,
                      "Attempt to generate an empty constraint failed. Consider using "
                      "korvu.constraint(body=..., sense=..., rhs=...) instead.");
      return -1;
    }
    constraint_s *src = C(from);
    c->body = from_body.release();
    set_con_lbound(&c->info, get_con_lbound(src->info));
    set_con_ubound(&c->info, get_con_ubound(src->info));
    return 0;
  }
  bool bounds_given = lb != kUnsetLo || ub != kUnsetHi;
  if (!b || (sense == 0 && !bounds_given)) {
    PyErr_SetString(korvu_ModelError,
                    "Arguments required for korvu.constraint(): constraint OR {body, lb and/or ub} OR "
                    "{body,sense,rhs}.");
    return -1;
  }
  if (rhs != kUnsetLo && bounds_given) {
    PyErr_SetString(korvu_ModelError, "Cannot create constraint by specifying both rhs AND lb/ub.");
    return -1;
  }
  if (is_expression(b.get())) KRV_EXPR(b.get())->shared = true;
  c->body = b.release();
  if (rhs != kUnsetLo) {
    if (sense == 2 || sense == 3) set_con_lbound(&c->info, rhs);
    if (sense == 1 || sense == 3) set_con_ubound(&c->info, rhs);
  }
  return 0;
}

static bool name_is(PyObject *name, const char *s) {
  return PyUnicode_Check(name) && PyUnicode_CompareWithASCIIString(name, s) == 0;
}

static PyObject *constraint_getattro(PyObject *self, PyObject *name) {
  constraint_s *c = C(self);
  if (name_is(name, "lb")) return PyFloat_FromDouble(get_con_lbound(c->info));
  if (name_is(name, "ub")) return PyFloat_FromDouble(get_con_ubound(c->info));
  if (name_is(name, "name")) {
    PyObject *n = get_con_name(c->info);
    if (!n) {
      PyErr_Clear();
      PyErr_SetString(korvu_InterfaceError, "Incorrect member name of type korvu.constraint");
    }
    return n;
  }
  if (name_is(name, "body")) {
    PyObject *body = constraint_body(c);
    if (!body) {
      if (!PyErr_Occurred())
        PyErr_SetString(korvu_InterfaceError, "Incorrect member name of type korvu.constraint");
      return nullptr;
    }
    return Py_NewRef(body);
  }
  if (name_is(name, "__dict__")) {
    PyRef d = PyRef::steal(PyDict_New());
    if (!d) return nullptr;
    for (const char *k : {"lb", "ub", "name", "body", "copy"})
      if (PyDict_SetItemString(d.get(), k, Py_None) < 0) return nullptr;
    return d.release();
  }
  return PyObject_GenericGetAttr(self, name);
}

static int constraint_setattro(PyObject *self, PyObject *name, PyObject *value) {
  constraint_s *c = C(self);
  bool lb = name_is(name, "lb"), ub = name_is(name, "ub"), nm = name_is(name, "name");
  if (!(lb || ub || nm)) {
    PyErr_SetString(korvu_InterfaceError, "Incorrect member name of type korvu.constraint");
    return -1;
  }
  if (!value) {
    PyErr_SetString(korvu_InterfaceError, "Attributes of korvu.constraint cannot be deleted");
    return -1;
  }
  if (nm) {
    set_con_name(&c->info, value);
    return 0;
  }
  double v = PyFloat_AsDouble(value);
  if (v == -1.0 && PyErr_Occurred()) return -1;
  if (std::isnan(v)) {
    PyErr_SetString(korvu_ModelError, "Constraint bounds must not be NaN");
    return -1;
  }
  if (lb)
    set_con_lbound(&c->info, v);
  else
    set_con_ubound(&c->info, v);
  return 0;
}

static PyObject *constraint_str(PyObject *self) {
  PyObject *n = get_con_name(C(self)->info);
  if (!n || PyUnicode_Check(n)) return n;
  PyObject *s = PyObject_Str(n);
  Py_DECREF(n);
  return s;
}

static PyObject *constraint_copy(PyObject *self, PyObject *) {
  constraint_s *src = C(self);
  PyRef c = PyRef::steal(constraint_base());
  if (!c) return nullptr;
  constraint_s *dst = C(c.get());
  PyRef srcname = PyRef::steal(get_con_name(src->info));
  if (!srcname) return nullptr;
  PyRef name = PyRef::steal(PyUnicode_FromFormat("R%llu_copy_%S",
                                                 static_cast<unsigned long long>(src->info & CON_ID_MASK),
                                                 srcname.get()));
  if (!name) return nullptr;
  set_con_name(&dst->info, name.get());
  set_con_lbound(&dst->info, get_con_lbound(src->info));
  set_con_ubound(&dst->info, get_con_ubound(src->info));
  PyObject *body = constraint_body(src);
  if (!body && PyErr_Occurred()) return nullptr;
  if (body) {
    dst->body = general_copy(body, 1.0);
    if (!dst->body) return nullptr;
  }
  return c.release();
}

PyDoc_STRVAR(constraint_copy_doc,
             "copy($self, /)\n--\n\n"
             "Purpose:\n  Return a copy of the constraint as a new object\n\n"
             "Synopsis:\n  c2 = c.copy()\n\n"
             "Further information:\n  The copy has a new number and the name R<number>_copy_<name>; "
             "its body is a copy\n  of the original body (variables are shared, terms and "
             "expressions duplicated).\n");

static PyMethodDef constraint_methods[] = {
    {"copy", constraint_copy, METH_NOARGS, constraint_copy_doc},
    {nullptr, nullptr, 0, nullptr},
};

PyDoc_STRVAR(constraint_doc,
             "constraint(constraint=None, body=None, lb=-1e20, ub=1e20, sense=0, rhs=None, name=None)\n--\n\n"
             "Purpose:\n  A constraint lb <= body <= ub on a linear, quadratic or nonlinear body.\n\n"
             "Synopsis:\n  c = korvu.constraint(body=2*x + y, lb=1, ub=3, name='c1')\n"
             "  c = korvu.constraint(body=x + y, sense=korvu.leq, rhs=4)\n"
             "  c = korvu.constraint(constraint=x + y <= 4, name='cap')\n\n"
             "Arguments:\n"
             "  constraint  an existing constraint whose body and bounds are taken over\n"
             "  body        a number, variable, term, expression or nonlinear expression\n"
             "  lb, ub      bounds (default: none)\n"
             "  sense       korvu.leq, korvu.geq, korvu.eq or korvu.range, used with rhs\n"
             "  rhs         the right-hand side for sense\n"
             "  name        the constraint's name (default R followed by its number)\n\n"
             "Example:\n  c = x + 2 * y <= 5\n  c = korvu.constraint(body=x - y, lb=0)\n\n"
             "Further information:\n  Comparisons <=, >= and == of model objects build constraints; "
             "<, > and != are\n  refused.  lb, ub and name can be read and assigned; body can be read.\n\n"
             "Related topics:\n  var, sos, problem.addConstraint\n");

// Python writes 1 <= x <= 2 as (1 <= x) and (x <= 2), which would keep only
// the last constraint if constraints had a truth value.
static int constraint_bool(PyObject *) {
  PyErr_SetString(korvu_ModelError,
                  "A constraint has no truth value. A chained comparison such as 1 <= x <= 2 "
                  "would keep only its last part: write a range as korvu.constraint(body=x, lb=1, "
                  "ub=2) or as the two constraints 1 <= x and x <= 2");
  return -1;
}

static PyNumberMethods constraint_as_number = {};

PyTypeObject korvu_constraintType = {
    PyVarObject_HEAD_INIT(nullptr, 0) "korvu.constraint",
    sizeof(constraint_s),
};

int constraint_ready_type(void) {
  PyTypeObject *t = &korvu_constraintType;
  t->tp_dealloc = constraint_dealloc;
  t->tp_repr = constraint_str;
  t->tp_str = constraint_str;
  constraint_as_number.nb_bool = constraint_bool;
  t->tp_as_number = &constraint_as_number;
  t->tp_getattro = constraint_getattro;
  t->tp_setattro = constraint_setattro;
  t->tp_flags = Py_TPFLAGS_DEFAULT;
  t->tp_doc = constraint_doc;
  t->tp_methods = constraint_methods;
  t->tp_init = constraint_init;
  t->tp_new = PyType_GenericNew;
  return PyType_Ready(t);
}
