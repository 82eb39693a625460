// korvu.nonlinear: nodes of nonlinear expression trees and their algebra.
//
// A node holds an operator code and its arguments: the single argument itself
// (unary operators), a 2-tuple (binary operators) or a list (sums and products,
// which the in-place operators grow).  In a sum, the linear part (the one
// element that is not a node) is kept last; in a product, a constant factor.
#include "nonlinear/nonlin.h"

#include "model/maps.h"
#include "module/env.h"

#include <cmath>
#include <string>

using korvu::PyRef;

const PrintTool printToolArray[NL_NUM_OPS] = {
    {"+", -1, 0},      {"-", 2, 0},       {"-", 1, -1},      {"*", -1, 0},      {"/", 2, 0},
    {"**", 2, 0},      {"exp", 1, -1},    {"log", 1, -1},    {"log10", 1, -1},  {"sin", 1, -1},
    {"cos", 1, -1},    {"tan", 1, -1},    {"asin", 1, -1},   {"acos", 1, -1},   {"atan", 1, -1},
    {"max", -1, -1},   {"min", -1, -1},   {"abs", 1, -1},    {"sign", 1, -1},   {"erf", 1, -1},
    {"erfc", 1, -1},   {"sqrt", 1, -1},   {"and", -1, -1},   {"or", -1, -1},    {"pwl", -1, -1},
    {"user", -1, -1},  {"user", -1, -1},
};

static inline bool is_node(PyObject *o, int op) { return is_nonlin(o) && KRV_NL(o)->op == op; }
static inline bool is_user_op(int op) { return op == NL_USER || op == NL_USER_DERIV; }

static bool num_equals(PyObject *o, double v) {
  double x;
  if (expr_kind(o) != KIND_NUM) return false;
  if (num_value(o, &x) < 0) {
    PyErr_Clear();
    return false;
  }
  return x == v;
}

// ---- allocation

PyObject *nonlin_new(PyTypeObject *type) {
  nonlin_s *n = PyObject_GC_New(nonlin_s, type);
  if (!n) return nullptr;
  n->args = nullptr;
  n->op = -1;
  PyObject_GC_Track(n);
  return KRV_OBJ(n);
}

PyObject *nonlin_base(void) { return nonlin_new(&korvu_nonlinType); }

// A new node owning `args` (stolen).
static PyObject *make_node(int op, PyObject *args) {
  if (!args) return nullptr;
  PyObject *n = nonlin_base();
  if (!n) {
    Py_DECREF(args);
    return nullptr;
  }
  KRV_NL(n)->op = op;
  KRV_NL(n)->args = args;
  return n;
}

static void nonlin_dealloc(PyObject *self) {
  PyObject_GC_UnTrack(self);
  // Deep trees (long chains of unary nodes) are released iteratively.
  Py_TRASHCAN_BEGIN(self, nonlin_dealloc)
  Py_CLEAR(KRV_NL(self)->args);
  Py_TYPE(self)->tp_free(self);
  Py_TRASHCAN_END
}

static int nonlin_traverse(PyObject *self, visitproc visit, void *arg) {
  Py_VISIT(KRV_NL(self)->args);
  return 0;
}

static int nonlin_clear(PyObject *self) {
  Py_CLEAR(KRV_NL(self)->args);
  return 0;
}

// ---- construction primitives

static PyObject *nonlin_build(bool nary, int op, PyObject *arg) {
  bool seq = PyTuple_Check(arg) || PyList_Check(arg);
  if (seq != nary)
    return model_error(nary ? "Could not create an n-ary nonlinear expression: the arguments must be in a list or tuple"
                            : "Could not create a unary nonlinear expression: the argument must be a single expression");
  if (nary) {
    Py_ssize_t n = PySequence_Fast_GET_SIZE(arg);
    PyObject **items = PySequence_Fast_ITEMS(arg);
    for (Py_ssize_t i = 0; i < n; ++i) {
      PyObject *el = items[i];
      if (i == 0 && is_user_op(op) && PyCallable_Check(el)) continue;
      if (is_array(el) || PyList_Check(el) || PyTuple_Check(el) || PySequence_Check(el) ||
          expr_kind(el) < 0)
        return model_error("Invalid object in n-ary operation");
    }
  } else if (expr_kind(arg) < 0 && !(is_user_op(op) && PyCallable_Check(arg))) {
    return model_error("Invalid object in unary operation");
  }
  return make_node(op, Py_NewRef(arg));
}

PyObject *nonlin_instantiate_unary(int op, PyObject *x) {
  if (getExprType(x) < 0 && !(is_user_op(op) && x && PyCallable_Check(x))) return nullptr;
  PyErr_Clear();
  return nonlin_build(false, op, x);
}

PyObject *nonlin_instantiate_nary(int op, PyObject *seq) { return nonlin_build(true, op, seq); }

PyObject *nonlin_build_unary(int op, PyObject *x) { return nonlin_build(false, op, x); }

PyObject *nonlin_instantiate_binary(int op, PyObject *a, PyObject *b) {
  int ka = getExprType(a);
  if (ka < 0) return nullptr;
  if (getExprType(b) < 0) return nullptr;
  if (op == NL_SUM || op == NL_PROD) {
    PyObject *l = PyList_New(2);
    if (!l) return nullptr;
    if (ka != KIND_NL) std::swap(a, b);
    PyList_SET_ITEM(l, 0, Py_NewRef(a));
    PyList_SET_ITEM(l, 1, Py_NewRef(b));
    return make_node(op, l);
  }
  return make_node(op, PyTuple_Pack(2, a, b));
}

PyObject *nonlin_neg(PyObject *x) { return nonlin_instantiate_unary(NL_NEG, x); }
PyObject *nonlin_abs(PyObject *x) { return nonlin_instantiate_unary(NL_ABS, x); }
PyObject *nonlin_and(PyObject *a, PyObject *b) { return nonlin_instantiate_binary(NL_AND, a, b); }
PyObject *nonlin_or(PyObject *a, PyObject *b) { return nonlin_instantiate_binary(NL_OR, a, b); }

// ---- argument access

Py_ssize_t nonlin_arg_size(PyObject *x) {
  if (!x || !is_nonlin(x)) return -1;
  PyObject *a = KRV_NL(x)->args;
  if (a && (PyTuple_Check(a) || PyList_Check(a))) return PySequence_Fast_GET_SIZE(a);
  return 1;
}

PyObject *nonlin_arg_first(PyObject *x, Py_ssize_t *i) {
  if (!x || !is_nonlin(x))
    return model_error("Accessing first argument list of an object that is not a nonlinear expression");
  if (i) *i = 0;
  PyObject *a = KRV_NL(x)->args;
  if (a && (PyTuple_Check(a) || PyList_Check(a)))
    return PySequence_Fast_GET_SIZE(a) > 0 ? PySequence_Fast_GET_ITEM(a, 0) : nullptr;
  return a;
}

PyObject *nonlin_arg_next(PyObject *x, Py_ssize_t *i) {
  if (!x || !is_nonlin(x))
    return model_error("Accessing next argument list of an object that is not a nonlinear expression");
  PyObject *a = KRV_NL(x)->args;
  ++*i;
  if (a && (PyTuple_Check(a) || PyList_Check(a)) && *i < PySequence_Fast_GET_SIZE(a))
    return PySequence_Fast_GET_ITEM(a, *i);
  return nullptr;
}

// ---- copy

static PyObject *copy_failed(const char *msg) {
  if (!PyErr_ExceptionMatches(PyExc_RecursionError) && !PyErr_ExceptionMatches(PyExc_MemoryError)) {
    PyErr_Clear();
    PyErr_SetString(korvu_ModelError, msg);
  }
  return nullptr;
}

static PyObject *copy_args(int op, PyObject *args) {
  if (!args) return nullptr;
  bool list = PyList_Check(args);
  if (list || PyTuple_Check(args)) {
    Py_ssize_t n = PySequence_Fast_GET_SIZE(args);
    PyRef out = PyRef::steal(list ? PyList_New(n) : PyTuple_New(n));
    if (!out) return nullptr;
    for (Py_ssize_t i = 0; i < n; ++i) {
      PyObject *el = PySequence_Fast_GET_ITEM(args, i);
      PyObject *c = (i == 0 && is_user_op(op) && PyCallable_Check(el)) ? Py_NewRef(el) : general_copy(el, 1.0);
      if (!c) return copy_failed("Invalid object being copied from argument list/tuple in a nonlinear expression");
      if (list)
        PyList_SET_ITEM(out.get(), i, c);
      else
        PyTuple_SET_ITEM(out.get(), i, c);
    }
    return out.release();
  }
  PyObject *c = general_copy(args, 1.0);
  if (!c) return copy_failed("Invalid object being copied from single argument in a nonlinear expression");
  return c;
}

PyObject *nonlin_copy(PyObject *x, double c) {
  if (!is_nonlin(x)) return general_copy(x, c);
  nonlin_s *n = KRV_NL(x);
  if (c != 1.0 && n->op == NL_NEG && n->args) return general_copy(n->args, -c);
  if (Py_EnterRecursiveCall(" while copying a nonlinear expression")) return nullptr;
  PyObject *args = n->args ? copy_args(n->op, n->args) : nullptr;
  Py_LeaveRecursiveCall();
  if (n->args && !args) return nullptr;
  PyRef cp = PyRef::steal(nonlin_base());
  if (!cp) {
    Py_XDECREF(args);
    return nullptr;
  }
  KRV_NL(cp.get())->op = n->op;
  KRV_NL(cp.get())->args = args;
  if (c == 1.0) return cp.release();
  PyRef cf = PyRef::steal(new_float(c));
  if (!cf) return nullptr;
  if (n->op == NL_PROD && args && PyList_Check(args)) {
    Py_ssize_t len = PyList_GET_SIZE(args);
    if (len == 0) return cf.release();
    for (Py_ssize_t i = 0; i < (len >= 2 ? 2 : 1); ++i) {
      PyObject *el = PyList_GET_ITEM(args, i);
      if (expr_kind(el) == KIND_NUM) {
        double v;
        if (num_value(el, &v) < 0) return nullptr;
        if (len == 1) return new_float(v * c);
        PyObject *nv = new_float(v * c);
        if (!nv) return nullptr;
        PyList_SetItem(args, i, nv);
        return cp.release();
      }
    }
  }
  return nonlin_instantiate_binary(NL_PROD, cp.get(), cf.get());
}

// ---- sums

// Index of the linear part of a sum list (the last of the final three elements
// that is not a node), or -1.
static Py_ssize_t find_linear_part(PyObject *list) {
  Py_ssize_t n = PyList_GET_SIZE(list);
  for (Py_ssize_t i = n - 1; i >= 0 && i >= n - 3; --i) {
    int k = expr_kind(PyList_GET_ITEM(list, i));
    if (k >= 0 && k != KIND_NL) return i;
  }
  return -1;
}

// Removes list[i] and returns it (owned).
static PyObject *list_pop(PyObject *list, Py_ssize_t i) {
  PyObject *item = Py_NewRef(PyList_GET_ITEM(list, i));
  if (PyList_SetSlice(list, i, i + 1, nullptr) < 0) {
    Py_DECREF(item);
    return nullptr;
  }
  return item;
}

// f * t as a new reference (t itself when f is 1).
static PyObject *scaled(PyObject *t, double f) {
  if (f == 1.0) return Py_NewRef(t);
  PyRef fo = PyRef::steal(new_float(f));
  if (!fo) return nullptr;
  return general_mul(fo.get(), t);
}

// pa + f * pb where pa is owned by the caller and may be edited in place: an
// expression that someone else also holds is copied first, so that editing a
// sum never changes an expression the user kept.
static PyObject *combine_linear(const PyRef &pa, PyObject *pb, double f) {
  // pa holds one reference; any other means someone else sees the object.
  if (is_expression(pa.get()) && Py_REFCNT(pa.get()) > 1) {
    PyRef own = PyRef::steal(expression_copy(pa.get(), 1.0));
    if (!own) return nullptr;
    return nonlin_incremental_alg_sum(own.get(), pb, f);
  }
  return nonlin_incremental_alg_sum(pa.get(), pb, f);
}

static int append_linear(PyObject *list, PyObject *part) {
  if (!part) return 0;
  if (num_equals(part, 0.0)) return 0;
  return PyList_Append(list, part);
}

PyObject *nonlin_incremental_alg_sum(PyObject *a, PyObject *b, double f) {
  int ka0 = expr_kind(a), kb0 = expr_kind(b);
  if (ka0 == KIND_EXPR && (kb0 == KIND_VAR || kb0 == KIND_LIN)) return expression_incremental_alg_sum(a, b, f);
  if (f == 0.0) return Py_NewRef(a);
  if (a == Py_None) return general_copy(b, f);
  int ka = getExprType(a);
  if (ka < 0) return nullptr;
  int kb = getExprType(b);
  if (kb < 0) return nullptr;
  if (num_equals(a, 0.0)) return f == 1.0 ? Py_NewRef(b) : general_copy(b, f);
  if (num_equals(b, 0.0)) return general_copy(a, 1.0);

  if (ka != KIND_NL && kb != KIND_NL) {
    if (ka == KIND_EXPR || kb == KIND_EXPR) return expression_incremental_alg_sum(a, b, f);
    if (f == 1.0) return model_binop(OP_ADD, a, b);
    if (f == -1.0) return model_binop(OP_SUB, a, b);
    PyRef fb = PyRef::steal(scaled(b, f));
    if (!fb) return nullptr;
    return model_binop(OP_ADD, a, fb.get());
  }

  bool a_sum = is_node(a, NL_SUM) && PyList_Check(KRV_NL(a)->args);
  bool b_sum = is_node(b, NL_SUM) && PyList_Check(KRV_NL(b)->args);

  if (b_sum) {
    // A snapshot of b's elements: b may be a itself.
    PyRef lb = PyRef::steal(PyList_GetSlice(KRV_NL(b)->args, 0, PY_SSIZE_T_MAX));
    if (!lb) return nullptr;
    Py_ssize_t ib = find_linear_part(lb.get());
    PyObject *pb = ib >= 0 ? PyList_GET_ITEM(lb.get(), ib) : nullptr;
    if (a_sum) {
      PyObject *la = KRV_NL(a)->args;
      Py_ssize_t ia = find_linear_part(la);
      PyRef pa;
      if (ia >= 0 && !(pa = PyRef::steal(list_pop(la, ia)))) return nullptr;
      PyRef tail;
      if (pa && pb)
        tail = PyRef::steal(combine_linear(pa, pb, f));
      else if (pa)
        tail = pa;
      else if (pb)
        tail = PyRef::steal(scaled(pb, f));
      if ((pa || pb) && !tail) {
        if (pa) PyList_Append(la, pa.get());  // put the linear part back
        return nullptr;
      }
      for (Py_ssize_t i = 0; i < PyList_GET_SIZE(lb.get()); ++i) {
        if (i == ib) continue;
        PyRef t = PyRef::steal(scaled(PyList_GET_ITEM(lb.get(), i), f));
        if (!t || PyList_Append(la, t.get()) < 0) return nullptr;
      }
      if (append_linear(la, tail.get()) < 0) return nullptr;
      return Py_NewRef(a);
    }
    PyRef out = PyRef::steal(PyList_New(0));
    if (!out) return nullptr;
    if (ka == KIND_NL && PyList_Append(out.get(), a) < 0) return nullptr;
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(lb.get()); ++i) {
      if (i == ib) continue;
      PyRef t = PyRef::steal(scaled(PyList_GET_ITEM(lb.get(), i), f));
      if (!t || PyList_Append(out.get(), t.get()) < 0) return nullptr;
    }
    PyRef tail;
    if (ka == KIND_NL) {
      if (pb && !(tail = PyRef::steal(scaled(pb, f)))) return nullptr;
    } else if (pb) {
      PyRef mine = PyRef::borrow(a);  // the caller's operand: never edited
      if (!(tail = PyRef::steal(combine_linear(mine, pb, f)))) return nullptr;
    } else {
      tail = PyRef::borrow(a);
    }
    if (append_linear(out.get(), tail.get()) < 0) return nullptr;
    return make_node(NL_SUM, out.release());
  }

  if (!a_sum) {
    if (f == 1.0) return nonlin_instantiate_binary(NL_SUM, a, b);
    PyRef fb = PyRef::steal(f == -1.0 ? general_neg(b) : scaled(b, f));
    if (!fb) return nullptr;
    return nonlin_instantiate_binary(NL_SUM, a, fb.get());
  }

  PyObject *la = KRV_NL(a)->args;
  Py_ssize_t ia = find_linear_part(la);
  PyRef pa;
  if (ia >= 0 && !(pa = PyRef::steal(list_pop(la, ia)))) return nullptr;
  if (kb == KIND_NL || !pa) {
    PyRef t = PyRef::steal(scaled(b, f));
    if (!t || PyList_Append(la, t.get()) < 0) {
      if (pa) PyList_Append(la, pa.get());
      return nullptr;
    }
    if (append_linear(la, pa.get()) < 0) return nullptr;
    return Py_NewRef(a);
  }
  PyRef tail = PyRef::steal(combine_linear(pa, b, f));
  if (!tail) {
    PyList_Append(la, pa.get());
    return nullptr;
  }
  if (append_linear(la, tail.get()) < 0) return nullptr;
  return Py_NewRef(a);
}

PyObject *nonlin_alg_sum(PyObject *a, PyObject *b, double f) {
  PyRef c = PyRef::steal(general_copy(a, 1.0));
  if (!c) return nullptr;
  return setKrvuErrIfNull(nullptr, nonlin_incremental_alg_sum(c.get(), b, f));
}

PyObject *nonlin_sub(PyObject *a, PyObject *b) {
  if (is_array(b)) return array_handoff(OP_SUB, a, b, false);
  if (getExprType(a) < 0 || getExprType(b) < 0) return nullptr;
  if (num_equals(a, 0.0)) return general_neg(b);
  if (num_equals(b, 0.0)) return general_copy(a, 1.0);
  if (is_node(a, NL_SUM)) return nonlin_alg_sum(a, b, -1.0);
  return nonlin_instantiate_binary(NL_MINUS, a, b);
}

PyObject *nonlin_iadd(PyObject *a, PyObject *b) {
  if (is_array(b)) return array_handoff(OP_ADD, a, b, false);
  return nonlin_incremental_alg_sum(a, b, 1.0);
}

PyObject *nonlin_isub(PyObject *a, PyObject *b) {
  if (is_array(b)) return array_handoff(OP_SUB, a, b, false);
  return nonlin_incremental_alg_sum(a, b, -1.0);
}

// ---- products, quotients, powers

PyObject *nonlin_mul(PyObject *p, PyObject *q) {
  if (is_array(q)) return array_handoff(OP_MUL, p, q, false);
  if (getExprType(p) < 0 || getExprType(q) < 0) return nullptr;
  if (num_equals(p, 0.0) || num_equals(q, 0.0)) return new_float(0.0);
  if (num_equals(p, 1.0)) return general_copy(q, 1.0);
  if (num_equals(q, 1.0)) return general_copy(p, 1.0);
  if (num_equals(p, -1.0)) return nonlin_neg(q);
  if (num_equals(q, -1.0)) return nonlin_neg(p);
  return nonlin_instantiate_binary(NL_PROD, p, q);
}

// The list of an NL_PROD node that may be edited: copied when another holder shares it.
static PyObject *own_product(PyObject *tuple, Py_ssize_t i) {
  PyObject *d = PyTuple_GET_ITEM(tuple, i);
  if (Py_REFCNT(d) > 1 || Py_REFCNT(KRV_NL(d)->args) > 1) {
    PyObject *c = nonlin_copy(d, 1.0);
    if (!c) return nullptr;
    PyTuple_SET_ITEM(tuple, i, c);
    Py_DECREF(d);
    d = c;
  }
  return d;
}

// a's tuple with element i replaced by v (stolen); a new tuple when the old one is shared.
static int replace_tuple_item(PyObject *node, Py_ssize_t i, PyObject *v) {
  PyObject *t = KRV_NL(node)->args;
  if (Py_REFCNT(t) == 1) {
    PyObject *old = PyTuple_GET_ITEM(t, i);
    PyTuple_SET_ITEM(t, i, v);
    Py_DECREF(old);
    return 0;
  }
  PyObject *nt = PyTuple_New(PyTuple_GET_SIZE(t));
  if (!nt) {
    Py_DECREF(v);
    return -1;
  }
  for (Py_ssize_t j = 0; j < PyTuple_GET_SIZE(t); ++j)
    PyTuple_SET_ITEM(nt, j, j == i ? v : Py_NewRef(PyTuple_GET_ITEM(t, j)));
  KRV_NL(node)->args = nt;
  Py_DECREF(t);
  return 0;
}

// The second element of a binary node (a denominator or exponent) absorbs b:
// a product gets b before its constant factor, anything else becomes e * b.
static PyObject *absorb_second(PyObject *a, PyObject *b) {
  PyObject *t = KRV_NL(a)->args;
  if (!t || !PyTuple_Check(t) || PyTuple_GET_SIZE(t) != 2) return model_error("Invalid binary nonlinear expression");
  if (Py_REFCNT(t) > 1) {
    // Work on a private tuple.
    PyRef keep = PyRef::steal(PyTuple_Pack(2, PyTuple_GET_ITEM(t, 0), PyTuple_GET_ITEM(t, 1)));
    if (!keep) return nullptr;
    KRV_NL(a)->args = keep.release();
    Py_DECREF(t);
    t = KRV_NL(a)->args;
  }
  PyObject *e = PyTuple_GET_ITEM(t, 1);
  if (is_node(e, NL_PROD) && PyList_Check(KRV_NL(e)->args)) {
    PyObject *d = own_product(t, 1);
    if (!d) return nullptr;
    PyObject *l = KRV_NL(d)->args;
    Py_ssize_t n = PyList_GET_SIZE(l);
    if (PyList_Insert(l, n > 0 ? n - 1 : 0, b) < 0) return nullptr;
    return Py_NewRef(a);
  }
  PyObject *p = general_mul(e, b);
  if (!p) return nullptr;
  if (replace_tuple_item(a, 1, p) < 0) return nullptr;
  return Py_NewRef(a);
}

PyObject *nonlin_imul(PyObject *a, PyObject *b) {
  if (is_array(b)) return array_handoff(OP_MUL, a, b, false);
  if (a == Py_None || num_equals(a, 1.0)) return general_copy(b, 1.0);
  if (getExprType(a) < 0 || getExprType(b) < 0) return nullptr;
  if (!is_node(a, NL_PROD) || !PyList_Check(KRV_NL(a)->args) || PyList_GET_SIZE(KRV_NL(a)->args) == 0)
    return nonlin_mul(a, b);
  PyObject *L = KRV_NL(a)->args;
  Py_ssize_t n = PyList_GET_SIZE(L);
  PyObject *last = PyList_GET_ITEM(L, n - 1);
  bool last_num = expr_kind(last) == KIND_NUM;
  double lv = 1.0, bv = 1.0;
  if (last_num && num_value(last, &lv) < 0) return nullptr;
  if (is_node(b, NL_PROD) && PyList_Check(KRV_NL(b)->args)) {
    PyRef lb = PyRef::steal(PyList_GetSlice(KRV_NL(b)->args, 0, PY_SSIZE_T_MAX));
    if (!lb) return nullptr;
    Py_ssize_t nb = PyList_GET_SIZE(lb.get());
    bool b_num = nb > 0 && expr_kind(PyList_GET_ITEM(lb.get(), nb - 1)) == KIND_NUM;
    if (b_num && num_value(PyList_GET_ITEM(lb.get(), nb - 1), &bv) < 0) return nullptr;
    double c = (last_num ? lv : 1.0) * (b_num ? bv : 1.0);
    if (c == 0.0) return new_float(0.0);
    if (last_num && PyList_SetSlice(L, n - 1, n, nullptr) < 0) return nullptr;
    if (PyList_SetSlice(L, PY_SSIZE_T_MAX, PY_SSIZE_T_MAX, lb.get()) < 0) return nullptr;
    Py_ssize_t m = PyList_GET_SIZE(L);
    if (b_num) {
      if (c == 1.0) {
        if (PyList_SetSlice(L, m - 1, m, nullptr) < 0) return nullptr;
      } else {
        PyObject *cf = new_float(c);
        if (!cf) return nullptr;
        PyList_SetItem(L, m - 1, cf);
      }
    } else {
      PyRef cf = PyRef::steal(new_float(c));
      if (!cf || PyList_Append(L, cf.get()) < 0) return nullptr;
    }
    return Py_NewRef(a);
  }
  if (!last_num) {
    if (PyList_Append(L, b) < 0) return nullptr;
    return Py_NewRef(a);
  }
  if (expr_kind(b) == KIND_NUM) {
    if (num_value(b, &bv) < 0) return nullptr;
    double c = lv * bv;
    if (c == 0.0) return new_float(0.0);
    if (c == 1.0) {
      if (PyList_SetSlice(L, n - 1, n, nullptr) < 0) return nullptr;
    } else {
      PyObject *cf = new_float(c);
      if (!cf) return nullptr;
      PyList_SetItem(L, n - 1, cf);
    }
    return Py_NewRef(a);
  }
  // b takes the constant's place and the constant moves after it.
  if (PyList_Insert(L, n - 1, b) < 0) return nullptr;
  return Py_NewRef(a);
}

PyObject *nonlin_div(PyObject *a, PyObject *b) {
  if (is_array(b)) return array_handoff(OP_DIV, a, b, false);
  double v;
  if (getExprType(a) < 0 || getExprType(b) < 0) return nullptr;
  if (isObjectConst(a, nullptr, &v) && v == 0.0) return new_float(0.0);
  if (isObjectConst(b, nullptr, &v)) {
    if (v == 0.0) return model_error("Division by zero");
    if (v == 1.0) return general_copy(a, 1.0);
  }
  return nonlin_instantiate_binary(NL_DIV, a, b);
}

PyObject *nonlin_idiv(PyObject *a, PyObject *b) {
  if (is_array(b)) return array_handoff(OP_DIV, a, b, false);
  double v;
  if (isObjectConst(b, nullptr, &v)) {
    if (v == 0.0) return model_error("Division by zero");
    if (v == 1.0) return Py_NewRef(a);
    PyRef inv = PyRef::steal(new_float(1.0 / v));
    if (!inv) return nullptr;
    return nonlin_imul(a, inv.get());
  }
  if (getExprType(a) < 0 || getExprType(b) < 0) return nullptr;
  if (!is_node(a, NL_DIV)) return nonlin_div(a, b);
  return absorb_second(a, b);
}

PyObject *nonlin_pow(PyObject *a, PyObject *b, PyObject *) {
  if (is_array(b)) return model_error("Cannot obtain a power with a vector as an exponent");
  if (getExprType(a) < 0 || getExprType(b) < 0) return nullptr;
  if (num_equals(a, 1.0)) return new_float(1.0);
  if (expr_kind(b) == KIND_NUM) {
    if (num_equals(b, 0.0)) return new_float(1.0);
    if (num_equals(b, 1.0)) return general_copy(a, 1.0);
  }
  return nonlin_instantiate_binary(NL_POW, a, b);
}

PyObject *nonlin_ipow(PyObject *a, PyObject *b, PyObject *mod) {
  if (is_array(b)) return model_error("Cannot obtain a power with a vector as an exponent");
  if (expr_kind(b) == KIND_NUM) {
    if (num_equals(b, 0.0)) return new_float(1.0);
    if (num_equals(b, 1.0)) return Py_NewRef(a);
  }
  if (getExprType(a) < 0 || getExprType(b) < 0) return nullptr;
  if (!is_node(a, NL_POW)) return nonlin_pow(a, b, mod);
  return absorb_second(a, b);
}

// ---- printing

static PyObject *str_recurs(PyObject *x, int depth);

static PyObject *nonlin_str_node(nonlin_s *n, int depth) {
  if (n->op < 0 || n->op >= NL_NUM_OPS) return model_error("Invalid nonlinear expression: unknown operator");
  const PrintTool &pt = printToolArray[n->op];
  // A name's __str__ may run user code that edits this node: keep the arguments alive.
  PyRef hold = PyRef::borrow(n->args);
  PyObject *args = hold.get();
  if (pt.arity == 1) {
    if (!args) return model_error("Invalid unary nonlinear expression");
    PyRef s = PyRef::steal(str_recurs(args, depth - 1));
    if (!s) return nullptr;
    return pt.notation > 0 ? PyUnicode_FromFormat("(%S) %s", s.get(), pt.name)
                           : PyUnicode_FromFormat("%s (%S)", pt.name, s.get());
  }
  if (pt.arity == 2) {
    if (!args || !PyTuple_Check(args) || PyTuple_GET_SIZE(args) != 2)
      return model_error("Invalid binary nonlinear expression");
    PyRef l = PyRef::steal(str_recurs(PyTuple_GET_ITEM(args, 0), depth - 1));
    if (!l) return nullptr;
    PyRef r = PyRef::steal(str_recurs(PyTuple_GET_ITEM(args, 1), depth - 1));
    if (!r) return nullptr;
    if (pt.notation == 0) return PyUnicode_FromFormat("(%S %s %S)", l.get(), pt.name, r.get());
    if (pt.notation < 0) return PyUnicode_FromFormat("%s (%S, %S)", pt.name, l.get(), r.get());
    return PyUnicode_FromFormat("(%S, %S) %s", l.get(), r.get(), pt.name);
  }
  if (!args || !(PyTuple_Check(args) || PyList_Check(args)))
    return model_error("Invalid n-ary nonlinear expression");
  // The list may change while its elements print (a name's __str__ can run code):
  // work on a snapshot.
  PyRef items = PyRef::steal(PySequence_Tuple(args));
  if (!items) return nullptr;
  Py_ssize_t cnt = PyTuple_GET_SIZE(items.get());
  PyRef pieces = PyRef::steal(PyList_New(0));
  if (!pieces) return nullptr;
  auto push = [&](PyObject *o) {
    if (!o) return -1;
    int rc = PyList_Append(pieces.get(), o);
    Py_DECREF(o);
    return rc;
  };
  if (cnt == 0) {
    if (push(pt.notation == 0 ? PyUnicode_FromString("(") : PyUnicode_FromFormat("%s (", pt.name)) < 0) return nullptr;
  } else {
    PyRef first = PyRef::steal(str_recurs(PyTuple_GET_ITEM(items.get(), 0), depth - 1));
    if (!first) return nullptr;
    if (push(pt.notation < 0 ? PyUnicode_FromFormat("%s (%S", pt.name, first.get())
                             : PyUnicode_FromFormat("(%S", first.get())) < 0)
      return nullptr;
  }
  for (Py_ssize_t i = 1; i < cnt; ++i) {
    PyRef s = PyRef::steal(str_recurs(PyTuple_GET_ITEM(items.get(), i), depth - 1));
    if (!s) return nullptr;
    if (push(pt.notation == 0 ? PyUnicode_FromFormat(" %s %S", pt.name, s.get())
                              : PyUnicode_FromFormat(", %S", s.get())) < 0)
      return nullptr;
  }
  if (push(pt.notation > 0 ? PyUnicode_FromFormat(") %s", pt.name) : PyUnicode_FromString(")")) < 0) return nullptr;
  PyRef empty = PyRef::steal(PyUnicode_FromString(""));
  if (!empty) return nullptr;
  return PyUnicode_Join(empty.get(), pieces.get());
}

static PyObject *str_recurs(PyObject *x, int depth) {
  int k = expr_kind(x);
  if (k == KIND_NUM) return Py_NewRef(x);
  if (depth < 0) return PyUnicode_FromString("[MAX RECURS LEV]");
  if (k >= KIND_VAR && k <= KIND_EXPR) return PyObject_Str(x);
  if (k == KIND_NL) return nonlin_str_node(KRV_NL(x), depth);
  if (x && PyCallable_Check(x)) return PyUnicode_FromString("user");
  return x ? PyObject_Str(x) : PyUnicode_FromString("(null)");
}

PyObject *nonlin_str(PyObject *x) { return str_recurs(x, 64); }

// ---- extraction of the linear and quadratic parts

namespace {

template <class Leaf>
int walk(PyObject *o, double f, int depth, Leaf &&leaf) {
  if (depth < 0) return 0;
  int k = expr_kind(o);
  if (k != KIND_NL) return leaf(o, k, f);
  nonlin_s *n = KRV_NL(o);
  PyObject *a = n->args;
  if (!a) return 0;
  bool seq = PyTuple_Check(a) || PyList_Check(a);
  Py_ssize_t len = seq ? PySequence_Fast_GET_SIZE(a) : 1;
  auto item = [&](Py_ssize_t i) { return seq ? PySequence_Fast_GET_ITEM(a, i) : a; };
  switch (n->op) {
    case NL_SUM:
      for (Py_ssize_t i = 0; i < len; ++i)
        if (walk(item(i), f, depth - 1, leaf) < 0) return -1;
      return 0;
    case NL_MINUS:
      if (len != 2) return 0;
      if (walk(item(0), f, depth - 1, leaf) < 0) return -1;
      return walk(item(1), -f, depth - 1, leaf);
    case NL_NEG:
      return walk(seq ? item(0) : a, -f, depth - 1, leaf);
    case NL_PROD: {
      double g = f;
      PyObject *only = nullptr;
      int others = 0;
      for (Py_ssize_t i = 0; i < len; ++i) {
        PyObject *el = item(i);
        double v;
        if (expr_kind(el) == KIND_NUM) {
          if (num_value(el, &v) < 0) return -1;
          g *= v;
        } else {
          only = el;
          ++others;
        }
      }
      if (others == 1) return walk(only, g, depth - 1, leaf);
      return 0;
    }
    case NL_DIV: {
      if (len != 2) return 0;
      double v;
      PyObject *den = item(1);
      if (expr_kind(den) != KIND_NUM) return 0;
      if (num_value(den, &v) < 0) return -1;
      if (v == 0.0) return 0;
      return walk(item(0), f / v, depth - 1, leaf);
    }
    case NL_POW:
      if (len != 2 || !num_equals(item(1), 1.0)) return 0;
      return walk(item(0), f, depth - 1, leaf);
    default:
      return 0;
  }
}

}  // namespace

int nonlin_extract_linear(PyObject *obj, double f, int depth, linmap *out) {
  return walk(obj, f, depth, [out](PyObject *o, int k, double g) {
    switch (k) {
      case KIND_VAR:
        linmap_add_fast(out, KRV_VAR(o), g);
        break;
      case KIND_LIN:
        linmap_add_fast(out, KRV_LT(o)->var, g * KRV_LT(o)->coef);
        break;
      case KIND_EXPR:
        if (KRV_EXPR(o)->lin)
          KRV_EXPR(o)->lin->for_each([&](linmap::Entry &e) { linmap_add_fast(out, e.val.var, g * e.val.coef); });
        break;
      default:
        break;
    }
    return 0;
  });
}

int nonlin_extract_quadratic(PyObject *obj, double f, int depth, quadmap *out) {
  return walk(obj, f, depth, [out](PyObject *o, int k, double g) {
    int rc = 0;
    if (k == KIND_QUAD) {
      quadterm_s *q = KRV_QT(o);
      rc = quadmap_add(out, q->var1, q->var2, g * q->coef);
    } else if (k == KIND_EXPR && KRV_EXPR(o)->quad) {
      KRV_EXPR(o)->quad->for_each([&](quadmap::Entry &u) {
        if (u.val.inner)
          u.val.inner->for_each([&](linmap::Entry &w) {
            if (rc == 0) rc = quadmap_add(out, u.val.var, w.val.var, g * w.val.coef);
          });
      });
    }
    if (rc < 0) PyErr_NoMemory();
    return rc;
  });
}

// ---- type

static PyObject *nonlin_repr(PyObject *self) {
  PyObject *s = nonlin_str(self);
  if (s && !PyUnicode_Check(s)) {
    PyObject *t = PyObject_Str(s);
    Py_DECREF(s);
    return t;
  }
  return s;
}


PyDoc_STRVAR(nonlin_doc,
             "korvu.nonlinear\n\n"
             "Purpose:\n  A node of a nonlinear expression: an operator applied to numbers, variables,\n"
             "  terms, expressions or further nodes.\n\n"
             "Synopsis:\n  n = x * y * z\n  n = x / y\n  n = x ** 3\n\n"
             "Further information:\n  Nodes come out of arithmetic that leaves the linear and quadratic "
             "world and out\n  of the module's functions; they cannot be created directly.  n += t on a sum "
             "and\n  n *= t on a product extend the node in place.\n\n"
             "Related topics:\n  expression, constraint\n");

PyTypeObject korvu_nonlinType = {
    PyVarObject_HEAD_INIT(nullptr, 0) "korvu.nonlinear",
    sizeof(nonlin_s),
};

int nonlin_ready_type(void) {
  PyTypeObject *t = &korvu_nonlinType;
  t->tp_dealloc = nonlin_dealloc;
  t->tp_repr = nonlin_repr;
  t->tp_str = nonlin_repr;
  t->tp_as_number = &korvu_nonlin_number_methods;
  t->tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_HAVE_GC;
  t->tp_doc = nonlin_doc;
  t->tp_traverse = nonlin_traverse;
  t->tp_clear = nonlin_clear;
  t->tp_richcompare = model_richcompare;
  t->tp_methods = korvu_term_methods;
  return PyType_Ready(t);
}
