// Operand classification and the operator dispatch shared by every model type,
// with the generic (None-tolerant) and constant operation families.
#include "model/algebra.h"
#include "model/maps.h"
#include "module/env.h"
#include "module/numpy_api.h"
#include "nonlinear/nonlin.h"

#include <cmath>

using korvu::PyRef;

// ---- classification

bool is_numeric(PyObject *o) {
  if (PyFloat_Check(o) || PyLong_Check(o)) return true;
  return PyArray_IsScalar(o, Int32) || PyArray_IsScalar(o, Int64) || PyArray_IsScalar(o, Float32) ||
         PyArray_IsScalar(o, Float64);
}

bool is_array(PyObject *o) {
  if (!o) return false;
  // Numbers and model objects, the operands of nearly every operation, are
  // answered without the subtype search of PyArray_Check.
  PyTypeObject *t = Py_TYPE(o);
  if (t == &PyFloat_Type || t == &PyLong_Type || t == &korvu_varType || t == &korvu_lintermType ||
      t == &korvu_expressionType || t == &korvu_quadtermType || t == &korvu_constraintType)
    return false;
  return PyArray_Check(o);
}

int num_value(PyObject *o, double *v) {
  if (PyFloat_CheckExact(o)) {
    *v = PyFloat_AS_DOUBLE(o);
    return 0;
  }
  double d = PyLong_Check(o) ? PyLong_AsDouble(o) : PyFloat_AsDouble(o);
  if (d == -1.0 && PyErr_Occurred()) return -1;
  *v = d;
  return 0;
}

int expr_kind(PyObject *o) {
  if (!o) return KIND_INVALID;
  PyTypeObject *t = Py_TYPE(o);
  // Exact types first: the common case costs one comparison.
  if (t == &korvu_expressionType) return KIND_EXPR;
  if (t == &korvu_lintermType) return KIND_LIN;
  if (t == &korvu_varType) return KIND_VAR;
  if (t == &korvu_nonlinType) return KIND_NL;
  if (t == &korvu_quadtermType) return KIND_QUAD;
  if (t == &PyFloat_Type || t == &PyLong_Type) return KIND_NUM;
  if (is_expression(o)) return KIND_EXPR;
  if (is_linterm(o)) return KIND_LIN;
  if (is_var(o)) return KIND_VAR;
  if (is_nonlin(o)) return KIND_NL;
  if (is_quadterm(o)) return KIND_QUAD;
  if (is_numeric(o)) return KIND_NUM;
  return KIND_INVALID;
}

int getExprType(PyObject *o) {
  int k = expr_kind(o);
  if (k == KIND_INVALID && !PyErr_Occurred()) {
    if (o)
      PyErr_Format(korvu_ModelError, "Invalid object in operation: <%S>", o);
    else
      PyErr_SetString(korvu_ModelError, "Invalid object in operation: <NULL>");
  }
  return k;
}

int isObjectConst(PyObject *o, int *kind, double *value) {
  int k = expr_kind(o);
  double v;
  if (k == KIND_NUM) {
    if (num_value(o, &v) < 0) {
      PyErr_Clear();
      return 0;
    }
  } else if (k == KIND_EXPR && !KRV_EXPR(o)->lin && !KRV_EXPR(o)->quad) {
    v = KRV_EXPR(o)->constant;
  } else {
    return 0;
  }
  if (kind) *kind = k;
  if (value) *value = v;
  return 1;
}

PyObject *model_error(const char *msg) {
  PyErr_SetString(korvu_ModelError, msg);
  return nullptr;
}

PyObject *new_float(double v) { return PyFloat_FromDouble(v); }

// ---- arrays: the operation goes to NumPy, which applies the model operation per element

PyObject *array_handoff(AlgOp op, PyObject *a, PyObject *arr, bool inplace) {
  switch (op) {
    case OP_ADD:
      return inplace ? PyNumber_InPlaceAdd(arr, a) : PyNumber_Add(arr, a);
    case OP_SUB: {
      PyRef neg = PyRef::steal(PyNumber_Negative(arr));
      if (!neg) return nullptr;
      return PyNumber_Add(neg.get(), a);
    }
    case OP_MUL:
      return inplace ? PyNumber_InPlaceMultiply(arr, a) : PyNumber_Multiply(arr, a);
    case OP_DIV: {
      PyRef one = PyRef::steal(PyFloat_FromDouble(1.0));
      if (!one) return nullptr;
      PyRef inv = PyRef::steal(PyNumber_TrueDivide(one.get(), arr));
      if (!inv) return nullptr;
      return PyNumber_Multiply(inv.get(), a);
    }
    case OP_POW:
      return model_error("Cannot obtain a power with a vector as an exponent");
    default:
      return model_error("Invalid operands in operation with an array");
  }
}

// ---- constant operations

static PyObject *constant_binop(AlgOp op, PyObject *a, PyObject *b) {
  if (is_array(a)) {
    switch (op) {
      case OP_ADD: return PyNumber_Add(a, b);
      case OP_SUB: return PyNumber_Subtract(a, b);
      case OP_MUL: return PyNumber_Multiply(a, b);
      case OP_DIV: return PyNumber_TrueDivide(a, b);
      case OP_POW: return PyNumber_Power(a, b, Py_None);
      default: break;
    }
  }
  if (is_array(b)) return array_handoff(op, a, b, false);
  double x, y;
  if (getExprType(a) != KIND_NUM || getExprType(b) != KIND_NUM) {
    if (!PyErr_Occurred()) model_error("Invalid operands in operation on numbers");
    return nullptr;
  }
  if (num_value(a, &x) < 0 || num_value(b, &y) < 0) return nullptr;
  switch (op) {
    case OP_ADD: return new_float(x + y);
    case OP_SUB: return new_float(x - y);
    case OP_MUL: return new_float(x * y);
    case OP_DIV: return new_float(x / y);  // IEEE: a zero divisor gives inf or nan
    case OP_POW: return new_float(std::pow(x, y));
    case OP_AND: return new_float((x != 0.0 && y != 0.0) ? 1.0 : 0.0);
    case OP_OR: return new_float((x == 0.0 && y == 0.0) ? 0.0 : 1.0);
  }
  return nullptr;
}

PyObject *constant_add(PyObject *a, PyObject *b) { return constant_binop(OP_ADD, a, b); }
PyObject *constant_sub(PyObject *a, PyObject *b) { return constant_binop(OP_SUB, a, b); }
PyObject *constant_mul(PyObject *a, PyObject *b) { return constant_binop(OP_MUL, a, b); }
PyObject *constant_div(PyObject *a, PyObject *b) { return constant_binop(OP_DIV, a, b); }
PyObject *constant_pow(PyObject *a, PyObject *b) { return constant_binop(OP_POW, a, b); }
PyObject *constant_and(PyObject *a, PyObject *b) { return constant_binop(OP_AND, a, b); }
PyObject *constant_or(PyObject *a, PyObject *b) { return constant_binop(OP_OR, a, b); }
PyObject *constant_neg(PyObject *a) {
  if (is_array(a)) return PyNumber_Negative(a);
  double x;
  if (getExprType(a) != KIND_NUM || num_value(a, &x) < 0) return nullptr;
  return new_float(-x);
}

// ---- division

static PyObject *nl_div_node(PyObject *a, PyObject *b) { return nonlin_instantiate_binary(NL_DIV, a, b); }

// NL_DIV of (k, other) where k is a new float.
static PyObject *nl_div_const(double k, PyObject *other) {
  PyRef num = PyRef::steal(new_float(k));
  if (!num) return nullptr;
  return nl_div_node(num.get(), other);
}

// NL_DIV of (linear term c*x, other).
static PyObject *nl_div_lin(PyObject *x, double c, PyObject *other) {
  PyRef num = PyRef::steal(linterm_fill(x, c));
  if (!num) return nullptr;
  return nl_div_node(num.get(), other);
}

PyObject *term_div(PyObject *a, PyObject *b, int ka, int kb) {
  double v;
  if (kb == KIND_NUM) {  // a is a variable or term
    if (num_value(b, &v) < 0) return nullptr;
    switch (ka) {
      case KIND_VAR:
        if (v == 0.0) return model_error("Division of variable by zero");
        if (v == 1.0) return Py_NewRef(a);
        return linterm_fill(a, 1.0 / v);
      case KIND_LIN:
        if (v == 0.0) return model_error("Division by zero");
        return linterm_fill(KRV_OBJ(KRV_LT(a)->var), KRV_LT(a)->coef / v);
      default:
        if (v == 0.0) return model_error("Division by zero of a bilinear term");
        return quadterm_copy(a, 1.0 / v);
    }
  }
  if (ka == KIND_NUM) {
    if (kb == KIND_VAR) {
      if (num_value(a, &v) < 0) return nullptr;
      if (v == 0.0) return new_float(0.0);
    }
    return nl_div_node(a, b);
  }
  if (ka == KIND_VAR) {
    if (kb == KIND_VAR) return var_id(a) == var_id(b) ? new_float(1.0) : nl_div_node(a, b);
    if (kb == KIND_QUAD) {
      quadterm_s *q = KRV_QT(b);
      if (q->coef == 0.0) return model_error("Division by zero of a variable");
      if (var_id(q->var1) == var_id(a)) return nl_div_const(1.0 / q->coef, KRV_OBJ(q->var2));
      if (var_id(q->var2) == var_id(a)) return nl_div_const(1.0 / q->coef, KRV_OBJ(q->var1));
    }
    return nl_div_node(a, b);
  }
  if (ka == KIND_LIN) {
    linterm_s *t = KRV_LT(a);
    uint64_t x = var_id(t->var);
    if (kb == KIND_VAR) return x == var_id(b) ? new_float(t->coef) : nl_div_node(a, b);
    if (kb == KIND_LIN) {
      linterm_s *d = KRV_LT(b);
      if (x != var_id(d->var)) return nl_div_node(a, b);
      if (d->coef == 0.0) return model_error("Division by zero");
      return new_float(t->coef / d->coef);
    }
    quadterm_s *q = KRV_QT(b);
    if (q->coef == 0.0) return model_error("Division by zero of a linear term");
    if (x == var_id(q->var1)) return nl_div_const(t->coef / q->coef, KRV_OBJ(q->var2));
    if (x == var_id(q->var2)) return nl_div_const(t->coef / q->coef, KRV_OBJ(q->var1));
    return nl_div_node(a, b);
  }
  // a quadratic term
  quadterm_s *t = KRV_QT(a);
  uint64_t x = var_id(t->var1), y = var_id(t->var2);
  double c = t->coef;
  if (kb == KIND_VAR) {
    if (var_id(b) == x) return linterm_fill(KRV_OBJ(t->var2), c);
    if (var_id(b) == y) return linterm_fill(KRV_OBJ(t->var1), c);
    return nl_div_node(a, b);
  }
  if (kb == KIND_LIN) {
    linterm_s *d = KRV_LT(b);
    if (d->coef == 0.0) return model_error("Division by zero of a bilinear term");
    if (var_id(d->var) == x) return linterm_fill(KRV_OBJ(t->var2), c / d->coef);
    if (var_id(d->var) == y) return linterm_fill(KRV_OBJ(t->var1), c / d->coef);
    return nl_div_node(a, b);
  }
  quadterm_s *d = KRV_QT(b);
  uint64_t u = var_id(d->var1), w = var_id(d->var2);
  if (x == u && y == w) {
    if (d->coef == 0.0) return model_error("Division by zero of a bilinear term");
    return new_float(c / d->coef);
  }
  if (d->coef == 0.0 && (x == u || y == w || x == w || y == u))
    return model_error("Division by zero of a bilinear term");
  if (y == w) return nl_div_lin(KRV_OBJ(t->var1), c / d->coef, KRV_OBJ(d->var1));
  if (x == u) return nl_div_lin(KRV_OBJ(t->var2), c / d->coef, KRV_OBJ(d->var2));
  if (x == w) return nl_div_lin(KRV_OBJ(t->var2), c / d->coef, KRV_OBJ(d->var1));
  if (y == u) return nl_div_lin(KRV_OBJ(t->var1), c / d->coef, KRV_OBJ(d->var2));
  return nl_div_node(a, b);
}

static PyObject *model_div(PyObject *a, PyObject *b, int ka, int kb) {
  if (ka == KIND_NUM && kb == KIND_NUM) return constant_div(a, b);
  if (ka == KIND_NL || kb == KIND_NL) return nonlin_div(a, b);
  double v;
  if (kb == KIND_EXPR && ka != KIND_NUM && isObjectConst(b, nullptr, &v)) {
    // a constant expression divides like a number
    PyRef num = PyRef::steal(new_float(v));
    if (!num) return nullptr;
    if (ka == KIND_EXPR) {
      if (v == 0.0) return model_error("Division by zero");
      return expression_copy(a, 1.0 / v);
    }
    return term_div(a, num.get(), ka, KIND_NUM);
  }
  if (ka == KIND_EXPR && kb == KIND_NUM) {
    if (num_value(b, &v) < 0) return nullptr;
    if (v == 0.0) return model_error("Division by zero");
    return expression_copy(a, 1.0 / v);
  }
  if (ka == KIND_EXPR || kb == KIND_EXPR) return nl_div_node(a, b);
  return term_div(a, b, ka, kb);
}

// ---- power

PyObject *model_pow(PyObject *a, PyObject *b, PyObject *mod) {
  if (is_array(b)) return model_error("Cannot obtain a power with a vector as an exponent");
  int ka = getExprType(a);
  if (ka < 0) return nullptr;
  int kb = getExprType(b);
  if (kb < 0) return nullptr;
  if (ka == KIND_NUM && kb == KIND_NUM) return constant_pow(a, b);
  if (ka == KIND_NL) return nonlin_pow(a, b, mod);
  double v;
  if (ka == KIND_NUM) {
    if (num_value(a, &v) < 0) return nullptr;
    if (v == 1.0) return new_float(1.0);
    return nonlin_instantiate_binary(NL_POW, a, b);
  }
  if (kb != KIND_NUM) return nonlin_instantiate_binary(NL_POW, a, b);
  if (num_value(b, &v) < 0) return nullptr;
  if (v == 0.0) return new_float(1.0);
  if (v == 1.0) {
    if (ka == KIND_VAR || ka == KIND_LIN) return Py_NewRef(a);
    return general_copy(a, 1.0);
  }
  if (v == 2.0) {
    if (ka == KIND_VAR) return quadterm_fill(a, a, 1.0);
    if (ka == KIND_LIN) {
      linterm_s *t = KRV_LT(a);
      return quadterm_fill(KRV_OBJ(t->var), KRV_OBJ(t->var), t->coef * t->coef);
    }
    if (ka == KIND_EXPR) return expression_mul(a, a);
  }
  return nonlin_instantiate_binary(NL_POW, a, b);
}

// ---- the binary slot logic

PyObject *model_binop(AlgOp op, PyObject *a, PyObject *b) {
  if (op != OP_AND && op != OP_OR && is_array(b)) return array_handoff(op, a, b, false);
  int ka = getExprType(a);
  if (ka < 0) return nullptr;
  int kb = getExprType(b);
  if (kb < 0) return nullptr;
  int k = ka > kb ? ka : kb;
  switch (op) {
    case OP_ADD:
    case OP_SUB: {
      int s = op == OP_ADD ? 1 : -1;
      switch (k) {
        case KIND_NUM: return constant_binop(op, a, b);
        case KIND_VAR: return var_alg_sum(a, b, s, ka, kb);
        case KIND_LIN: return linterm_alg_sum(a, b, s, ka, kb);
        case KIND_QUAD: return quadterm_alg_sum(a, b, s, ka, kb);
        case KIND_EXPR: return expression_alg_sum(a, b, s);
        default: return s > 0 ? nonlin_alg_sum(a, b, 1.0) : nonlin_sub(a, b);
      }
    }
    case OP_MUL:
      switch (k) {
        case KIND_NUM: return constant_binop(op, a, b);
        case KIND_VAR: return var_mul(a, b, ka, kb);
        case KIND_LIN: return linterm_mul(a, b, ka, kb);
        case KIND_QUAD: return quadterm_mul(a, b, ka, kb);
        case KIND_EXPR: return expression_mul(a, b);
        default: {
          // A constant expression scales a nonlinear node like a number.
          double v;
          if (ka == KIND_EXPR && isObjectConst(a, nullptr, &v)) return general_copy(b, v);
          if (kb == KIND_EXPR && isObjectConst(b, nullptr, &v)) return general_copy(a, v);
          return nonlin_mul(a, b);
        }
      }
    case OP_DIV:
      return model_div(a, b, ka, kb);
    case OP_POW:
      return model_pow(a, b, Py_None);
    case OP_AND:
      return k == KIND_NUM ? constant_binop(op, a, b) : nonlin_and(a, b);
    case OP_OR:
      return k == KIND_NUM ? constant_binop(op, a, b) : nonlin_or(a, b);
  }
  return nullptr;
}

PyObject *model_neg(PyObject *a) {
  switch (getExprType(a)) {
    case KIND_NUM: return constant_neg(a);
    case KIND_VAR: return linterm_fill(a, -1.0);
    case KIND_LIN: return linterm_neg(a);
    case KIND_QUAD: return quadterm_neg(a);
    case KIND_EXPR: return expression_copy(a, -1.0);
    case KIND_NL: return nonlin_neg(a);
    default: return nullptr;
  }
}

PyObject *model_abs(PyObject *a) { return nonlin_abs(a); }

// In-place forms of variables and terms: the neutral operand returns the left
// operand itself; everything else is the plain operator.
PyObject *term_inplace(AlgOp op, PyObject *a, PyObject *b) {
  if (is_array(b)) return array_handoff(op, a, b, false);
  double v;
  int kb;
  switch (op) {
    case OP_ADD:
    case OP_SUB:
    case OP_MUL:
      if (expr_kind(b) == KIND_NUM) {
        if (num_value(b, &v) < 0) return nullptr;
        if ((op == OP_MUL && v == 1.0) || (op != OP_MUL && v == 0.0)) return Py_NewRef(a);
      }
      break;
    case OP_DIV:
      if (isObjectConst(b, &kb, &v)) {
        if (v == 1.0) return Py_NewRef(a);
        if (v == 0.0) return model_error("Division by zero");
      }
      break;
    default:
      break;
  }
  return model_binop(op, a, b);
}

PyObject *term_inplace_pow(PyObject *a, PyObject *b, PyObject *mod) {
  if (is_array(b)) return model_error("Cannot obtain a power with a vector as an exponent");
  if (expr_kind(b) == KIND_NUM) {
    double v;
    if (num_value(b, &v) < 0) return nullptr;
    if (v == 1.0) return Py_NewRef(a);
    if (v == 0.0) return new_float(1.0);
  }
  return model_pow(a, b, mod);
}

// ---- number-protocol tables

#define KRV_SLOT(fn, op) \
  static PyObject *fn(PyObject *a, PyObject *b) { return setKrvuErrIfNull(nullptr, model_binop(op, a, b)); }
KRV_SLOT(slot_add, OP_ADD)
KRV_SLOT(slot_sub, OP_SUB)
KRV_SLOT(slot_mul, OP_MUL)
KRV_SLOT(slot_div, OP_DIV)
KRV_SLOT(slot_and, OP_AND)
KRV_SLOT(slot_or, OP_OR)
#undef KRV_SLOT
#define KRV_ISLOT(fn, op) \
  static PyObject *fn(PyObject *a, PyObject *b) { return setKrvuErrIfNull(nullptr, term_inplace(op, a, b)); }
KRV_ISLOT(term_iadd, OP_ADD)
KRV_ISLOT(term_isub, OP_SUB)
KRV_ISLOT(term_imul, OP_MUL)
KRV_ISLOT(term_idiv, OP_DIV)
#undef KRV_ISLOT

static PyObject *slot_pow(PyObject *a, PyObject *b, PyObject *m) {
  return setKrvuErrIfNull(nullptr, model_pow(a, b, m));
}
static PyObject *term_ipow(PyObject *a, PyObject *b, PyObject *m) {
  return setKrvuErrIfNull(nullptr, term_inplace_pow(a, b, m));
}
static PyObject *slot_neg(PyObject *a) { return setKrvuErrIfNull(nullptr, model_neg(a)); }
static PyObject *slot_abs(PyObject *a) { return setKrvuErrIfNull(nullptr, model_abs(a)); }

static PyObject *expr_iadd(PyObject *a, PyObject *b) {
  if (is_array(b)) return array_handoff(OP_ADD, a, b, false);
  return setKrvuErrIfNull(nullptr, expression_incremental_alg_sum(a, b, 1));
}
static PyObject *expr_isub(PyObject *a, PyObject *b) {
  if (is_array(b)) return array_handoff(OP_SUB, a, b, false);
  return setKrvuErrIfNull(nullptr, expression_incremental_alg_sum(a, b, -1));
}
static PyObject *expr_iscale_slot(PyObject *a, PyObject *b, bool divide) {
  if (is_array(b)) return array_handoff(divide ? OP_DIV : OP_MUL, a, b, false);
  double v;
  if (is_expression(a) && isObjectConst(b, nullptr, &v)) {
    if (v == 1.0) return Py_NewRef(a);
    if (v == 0.0) return divide ? model_error("Division by zero") : new_float(0.0);
    return expression_iscale(a, v, divide);
  }
  return setKrvuErrIfNull(nullptr, model_binop(divide ? OP_DIV : OP_MUL, a, b));
}
static PyObject *expr_imul(PyObject *a, PyObject *b) { return expr_iscale_slot(a, b, false); }
static PyObject *expr_idiv(PyObject *a, PyObject *b) { return expr_iscale_slot(a, b, true); }

PyNumberMethods korvu_term_number_methods = {
    slot_add,   // nb_add
    slot_sub,   // nb_subtract
    slot_mul,   // nb_multiply
    nullptr,    // nb_remainder
    nullptr,    // nb_divmod
    slot_pow,   // nb_power
    slot_neg,   // nb_negative
    nullptr,    // nb_positive
    slot_abs,   // nb_absolute
    nullptr,    // nb_bool
    nullptr,    // nb_invert
    nullptr,    // nb_lshift
    nullptr,    // nb_rshift
    slot_and,   // nb_and
    nullptr,    // nb_xor
    slot_or,    // nb_or
    nullptr,    // nb_int
    nullptr,    // nb_reserved
    nullptr,    // nb_float
    term_iadd,  // nb_inplace_add
    term_isub,  // nb_inplace_subtract
    term_imul,  // nb_inplace_multiply
    nullptr,    // nb_inplace_remainder
    term_ipow,  // nb_inplace_power
    nullptr,    // nb_inplace_lshift
    nullptr,    // nb_inplace_rshift
    slot_and,   // nb_inplace_and
    nullptr,    // nb_inplace_xor
    slot_or,    // nb_inplace_or
    nullptr,    // nb_floor_divide
    slot_div,   // nb_true_divide
    nullptr,    // nb_inplace_floor_divide
    term_idiv,  // nb_inplace_true_divide
};

PyNumberMethods korvu_expression_number_methods = {
    slot_add,  slot_sub,  slot_mul,  nullptr,  nullptr,   slot_pow, slot_neg,  nullptr,
    slot_abs,  nullptr,   nullptr,   nullptr,  nullptr,   slot_and, nullptr,   slot_or,
    nullptr,   nullptr,   nullptr,   expr_iadd, expr_isub, expr_imul, nullptr, term_ipow,
    nullptr,   nullptr,   slot_and,  nullptr,  slot_or,   nullptr,  slot_div,  nullptr,
    expr_idiv,
};

#define KRV_NLSLOT(fn, impl) \
  static PyObject *fn(PyObject *a, PyObject *b) { return setKrvuErrIfNull(nullptr, impl(a, b)); }
KRV_NLSLOT(nl_iadd, nonlin_iadd)
KRV_NLSLOT(nl_isub, nonlin_isub)
KRV_NLSLOT(nl_imul, nonlin_imul)
KRV_NLSLOT(nl_idiv, nonlin_idiv)
#undef KRV_NLSLOT
static PyObject *nl_ipow(PyObject *a, PyObject *b, PyObject *m) {
  return setKrvuErrIfNull(nullptr, nonlin_ipow(a, b, m));
}

PyNumberMethods korvu_nonlin_number_methods = {
    slot_add, slot_sub, slot_mul, nullptr, nullptr, slot_pow, slot_neg, nullptr,
    slot_abs, nullptr,  nullptr,  nullptr, nullptr, slot_and, nullptr,  slot_or,
    nullptr,  nullptr,  nullptr,  nl_iadd, nl_isub, nl_imul,  nullptr,  nl_ipow,
    nullptr,  nullptr,  slot_and, nullptr, slot_or, nullptr,  slot_div, nullptr,
    nl_idiv,
};

// ---- generic operations: None is an empty operand

static PyObject *general_binop(AlgOp op, PyObject *a, PyObject *b, bool inplace) {
  if (a == Py_None && op != OP_DIV) return general_copy(b, op == OP_SUB ? -1.0 : 1.0);
  if (b == Py_None && op != OP_AND && op != OP_OR && !(inplace && op == OP_POW)) return Py_NewRef(a);
  if (is_array(b)) {
    switch (op) {
      case OP_ADD: return inplace ? PyNumber_InPlaceAdd(a, b) : PyNumber_Add(a, b);
      case OP_SUB: return inplace ? PyNumber_InPlaceSubtract(a, b) : PyNumber_Subtract(a, b);
      case OP_MUL: return inplace ? PyNumber_InPlaceMultiply(a, b) : PyNumber_Multiply(a, b);
      case OP_DIV: return inplace ? PyNumber_InPlaceTrueDivide(a, b) : PyNumber_TrueDivide(a, b);
      case OP_POW:
        if (is_array(a)) return inplace ? PyNumber_InPlacePower(a, b, Py_None) : PyNumber_Power(a, b, Py_None);
        return model_error("Cannot obtain a power with a vector as an exponent");
      case OP_AND: return inplace ? PyNumber_InPlaceAnd(a, b) : PyNumber_And(a, b);
      case OP_OR: return inplace ? PyNumber_InPlaceOr(a, b) : PyNumber_Or(a, b);
    }
  }
  if (is_array(a)) return constant_binop(op, a, b);
  int ka = getExprType(a);
  if (ka < 0) return nullptr;
  int kb = getExprType(b);
  if (kb < 0) return nullptr;
  int k = ka > kb ? ka : kb;
  if (k == KIND_NUM) return constant_binop(op, a, b);
  if (!inplace) return op == OP_POW ? model_pow(a, b, Py_None) : model_binop(op, a, b);
  switch (op) {
    case OP_ADD:
      if (k == KIND_NL) return nonlin_iadd(a, b);
      if (k == KIND_EXPR) return expression_incremental_alg_sum(a, b, 1);
      return term_inplace(op, a, b);
    case OP_SUB:
      if (k == KIND_NL) return nonlin_isub(a, b);
      if (k == KIND_EXPR) return expression_incremental_alg_sum(a, b, -1);
      return term_inplace(op, a, b);
    case OP_MUL:
      if (k == KIND_NL) return nonlin_imul(a, b);
      if (k == KIND_EXPR) return expr_imul(a, b);
      return term_inplace(op, a, b);
    case OP_DIV:
      if (k == KIND_NL) return nonlin_idiv(a, b);
      if (k == KIND_EXPR) return expr_idiv(a, b);
      return term_inplace(op, a, b);
    case OP_POW:
      if (k == KIND_NL) return nonlin_ipow(a, b, Py_None);
      return term_inplace_pow(a, b, Py_None);
    default:
      return model_binop(op, a, b);
  }
}

PyObject *general_add(PyObject *a, PyObject *b) { return general_binop(OP_ADD, a, b, false); }
PyObject *general_sub(PyObject *a, PyObject *b) { return general_binop(OP_SUB, a, b, false); }
PyObject *general_mul(PyObject *a, PyObject *b) { return general_binop(OP_MUL, a, b, false); }
PyObject *general_div(PyObject *a, PyObject *b) { return general_binop(OP_DIV, a, b, false); }
PyObject *general_pow(PyObject *a, PyObject *b) { return general_binop(OP_POW, a, b, false); }
PyObject *general_and(PyObject *a, PyObject *b) { return general_binop(OP_AND, a, b, false); }
PyObject *general_or(PyObject *a, PyObject *b) { return general_binop(OP_OR, a, b, false); }
PyObject *general_iadd(PyObject *a, PyObject *b) { return general_binop(OP_ADD, a, b, true); }
PyObject *general_isub(PyObject *a, PyObject *b) { return general_binop(OP_SUB, a, b, true); }
PyObject *general_imul(PyObject *a, PyObject *b) { return general_binop(OP_MUL, a, b, true); }
PyObject *general_idiv(PyObject *a, PyObject *b) { return general_binop(OP_DIV, a, b, true); }
PyObject *general_ipow(PyObject *a, PyObject *b) { return general_binop(OP_POW, a, b, true); }

PyObject *general_neg(PyObject *a) {
  if (is_array(a)) return PyNumber_Negative(a);
  return model_neg(a);
}

PyObject *general_sqr(PyObject *a) {
  PyRef two = PyRef::steal(new_float(2.0));
  if (!two) return nullptr;
  return general_pow(a, two.get());
}

PyObject *general_copy(PyObject *a, double factor) {
  if (is_array(a)) {
    PyRef c = PyRef::steal(PyObject_CallMethod(a, "copy", nullptr));
    if (!c || factor == 1.0) return c.release();
    PyRef f = PyRef::steal(new_float(factor));
    if (!f) return nullptr;
    return PyNumber_Multiply(c.get(), f.get());
  }
  switch (expr_kind(a)) {
    case KIND_NUM: {
      if (factor == 1.0) return Py_NewRef(a);
      double v;
      if (num_value(a, &v) < 0) return nullptr;
      return new_float(v * factor);
    }
    case KIND_VAR: return var_copy(a, factor);
    case KIND_LIN: return linterm_copy(a, factor);
    case KIND_QUAD: return quadterm_copy(a, factor);
    case KIND_EXPR: return expression_copy(a, factor);
    case KIND_NL: return nonlin_copy(a, factor);
    default:
      if (!PyErr_Occurred()) model_error("Invalid object being copied");
      return nullptr;
  }
}

PyObject *general_fold_iadd(PyObject *acc, PyObject *item, PyObject *) {
  return general_iadd(acc ? acc : Py_None, item);
}
PyObject *general_fold_imul(PyObject *acc, PyObject *item, PyObject *) {
  return general_imul(acc ? acc : Py_None, item);
}
