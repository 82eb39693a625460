// Nonlinear expression trees: the node type korvu.nonlinear and its algebra.
#pragma once
#include "model/algebra.h"

// Operator codes: the index into printToolArray.
enum NlOp {
  NL_SUM = 0,
  NL_MINUS,
  NL_NEG,
  NL_PROD,
  NL_DIV,
  NL_POW,
  NL_EXP,
  NL_LOG,
  NL_LOG10,
  NL_SIN,
  NL_COS,
  NL_TAN,
  NL_ASIN,
  NL_ACOS,
  NL_ATAN,
  NL_MAX,
  NL_MIN,
  NL_ABS,
  NL_SIGN,
  NL_ERF,
  NL_ERFC,
  NL_SQRT,
  NL_AND,
  NL_OR,
  NL_PWL,
  NL_USER,
  NL_USER_DERIV,
  NL_NUM_OPS
};

struct nonlin_s {
  PyObject_HEAD
  PyObject *args;  // single argument, 2-tuple, or list (NL_SUM, NL_PROD)
  int32_t op;
};

struct PrintTool {
  const char *name;
  int32_t arity;     // -1 n-ary, 1 unary, 2 binary
  int32_t notation;  // 0 infix, -1 prefix, >0 postfix
};
extern const PrintTool printToolArray[NL_NUM_OPS];

#define KRV_NL(o) (reinterpret_cast<nonlin_s *>(o))

PyObject *nonlin_new(PyTypeObject *type);
PyObject *nonlin_base(void);
PyObject *nonlin_instantiate_unary(int op, PyObject *x);
PyObject *nonlin_instantiate_nary(int op, PyObject *seq);
// The builder without the classification step: a list, tuple or invalid operand
// fails with the builder's own message.
PyObject *nonlin_build_unary(int op, PyObject *x);
PyObject *nonlin_instantiate_binary(int op, PyObject *a, PyObject *b);
PyObject *nonlin_neg(PyObject *x);
PyObject *nonlin_abs(PyObject *x);
PyObject *nonlin_and(PyObject *a, PyObject *b);
PyObject *nonlin_or(PyObject *a, PyObject *b);
PyObject *nonlin_copy(PyObject *x, double c);

PyObject *nonlin_alg_sum(PyObject *a, PyObject *b, double f);
PyObject *nonlin_incremental_alg_sum(PyObject *a, PyObject *b, double f);
PyObject *nonlin_sub(PyObject *a, PyObject *b);
PyObject *nonlin_mul(PyObject *p, PyObject *q);
PyObject *nonlin_div(PyObject *a, PyObject *b);
PyObject *nonlin_pow(PyObject *a, PyObject *b, PyObject *mod);
PyObject *nonlin_iadd(PyObject *a, PyObject *b);
PyObject *nonlin_isub(PyObject *a, PyObject *b);
PyObject *nonlin_imul(PyObject *a, PyObject *b);
PyObject *nonlin_idiv(PyObject *a, PyObject *b);
PyObject *nonlin_ipow(PyObject *a, PyObject *b, PyObject *mod);

Py_ssize_t nonlin_arg_size(PyObject *x);
PyObject *nonlin_arg_first(PyObject *x, Py_ssize_t *i);
PyObject *nonlin_arg_next(PyObject *x, Py_ssize_t *i);

// Walks a model object into coefficient maps (factor f, depth bound).
int nonlin_extract_linear(PyObject *obj, double f, int depth, linmap *out);
int nonlin_extract_quadratic(PyObject *obj, double f, int depth, quadmap *out);

PyObject *nonlin_str(PyObject *x);
int nonlin_ready_type(void);
