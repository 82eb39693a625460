// The modelling algebra: operand classification, the per-kind operations and
// the generic operations used by aggregates, array loops and nonlinear sums.
//
// Every function returning PyObject* gives a new reference, or null with a
// Python exception set.  No operation changes an operand unless it is an
// in-place form documented as such.
#pragma once
#include "model/records.h"

#include <string>


// Operand kinds, ordered by dispatch precedence.
enum {
  KIND_INVALID = -1,
  KIND_NUM = 0,
  KIND_VAR = 1,
  KIND_LIN = 2,
  KIND_QUAD = 3,
  KIND_EXPR = 4,
  KIND_NL = 5,
};

// Binary operations of the number protocol.
enum AlgOp { OP_ADD, OP_SUB, OP_MUL, OP_DIV, OP_POW, OP_AND, OP_OR };

// ---- classification (dispatch.cpp)
bool is_numeric(PyObject *o);  // float, int (bool), NumPy int32/int64/float32/float64
bool is_array(PyObject *o);    // NumPy ndarray or subclass
int num_value(PyObject *o, double *v);  // 0, or -1 with an exception (e.g. int overflow)
int expr_kind(PyObject *o);             // kind or -1, raises nothing
int getExprType(PyObject *o);           // kind, or -1 with ModelError "Invalid object in operation: <..>"
int isObjectConst(PyObject *o, int *kind, double *value);
PyObject *model_error(const char *msg);  // sets ModelError, returns null
PyObject *new_float(double v);

// The slot logic shared by all model types.
PyObject *model_binop(AlgOp op, PyObject *a, PyObject *b);
PyObject *model_pow(PyObject *a, PyObject *b, PyObject *mod);
PyObject *model_neg(PyObject *a);
PyObject *model_abs(PyObject *a);
PyObject *array_handoff(AlgOp op, PyObject *a, PyObject *arr, bool inplace);

// Number-protocol tables (var, linterm, quadterm share the term table).
extern PyNumberMethods korvu_term_number_methods;
extern PyNumberMethods korvu_expression_number_methods;

// ---- generic and constant families (dispatch.cpp)
PyObject *general_add(PyObject *a, PyObject *b);
PyObject *general_sub(PyObject *a, PyObject *b);
PyObject *general_mul(PyObject *a, PyObject *b);
PyObject *general_div(PyObject *a, PyObject *b);
PyObject *general_pow(PyObject *a, PyObject *b);
PyObject *general_and(PyObject *a, PyObject *b);
PyObject *general_or(PyObject *a, PyObject *b);
PyObject *general_iadd(PyObject *a, PyObject *b);
PyObject *general_isub(PyObject *a, PyObject *b);
PyObject *general_imul(PyObject *a, PyObject *b);
PyObject *general_idiv(PyObject *a, PyObject *b);
PyObject *general_ipow(PyObject *a, PyObject *b);
PyObject *general_neg(PyObject *a);
PyObject *general_sqr(PyObject *a);
PyObject *general_copy(PyObject *a, double factor);
// Accumulator callbacks of the aggregate driver: acc = op(acc, item, out); acc may be
// None; out (the driver's output argument) is not used by these two.
PyObject *general_fold_iadd(PyObject *acc, PyObject *item, PyObject *out);
PyObject *general_fold_imul(PyObject *acc, PyObject *item, PyObject *out);

PyObject *constant_add(PyObject *a, PyObject *b);
PyObject *constant_sub(PyObject *a, PyObject *b);
PyObject *constant_mul(PyObject *a, PyObject *b);
PyObject *constant_div(PyObject *a, PyObject *b);
PyObject *constant_pow(PyObject *a, PyObject *b);
PyObject *constant_and(PyObject *a, PyObject *b);
PyObject *constant_or(PyObject *a, PyObject *b);
PyObject *constant_neg(PyObject *a);
#define constant_iadd constant_add
#define constant_isub constant_sub
#define constant_imul constant_mul
#define constant_idiv constant_div
#define constant_ipow constant_pow

// ---- variables (var.cpp)
PyObject *var_base(void);
double get_var_lbound(uint64_t info);
double get_var_ubound(uint64_t info);
double get_var_thold(uint64_t info);
int get_var_type(uint64_t info);
PyObject *get_var_name(uint64_t info);
void set_var_lbound(uint64_t *info, double v);
void set_var_ubound(uint64_t *info, double v);
void set_var_thold(uint64_t *info, double v);
void set_var_type(uint64_t *info, int code);
void set_var_name(uint64_t *info, PyObject *obj);
PyObject *var_copy(PyObject *x, double c);
// Sums, products and quotients whose highest operand kind is a variable.
PyObject *var_alg_sum(PyObject *a, PyObject *b, int s, int ka, int kb);
PyObject *var_mul(PyObject *a, PyObject *b, int ka, int kb);
// Writes the variable's name (str of the name object) as UTF-8.
int var_name_utf8(PyObject *x, std::string *out);

// ---- terms (linterm.cpp, quadterm.cpp)
PyObject *linterm_fill(PyObject *x, double c);
PyObject *linterm_copy(PyObject *t, double f);
PyObject *linterm_neg(PyObject *t);
PyObject *quadterm_fill(PyObject *x, PyObject *y, double c);
PyObject *quadterm_copy(PyObject *t, double f);
PyObject *quadterm_neg(PyObject *t);
PyObject *linterm_alg_sum(PyObject *a, PyObject *b, int s, int ka, int kb);
PyObject *linterm_mul(PyObject *a, PyObject *b, int ka, int kb);
PyObject *quadterm_alg_sum(PyObject *a, PyObject *b, int s, int ka, int kb);
PyObject *quadterm_mul(PyObject *a, PyObject *b, int ka, int kb);
// Division of a and b where neither is an expression or nonlinear node.
PyObject *term_div(PyObject *a, PyObject *b, int ka, int kb);
PyObject *quadterm_str_obj(PyObject *t);

// ---- expressions (expression.cpp)
PyObject *expression_base(void);
int expression_setLinTerm(PyObject *e, PyObject *x, double c);
int expression_addToLinTerm(PyObject *e, PyObject *x, double c);
int expression_setQuadTerm(PyObject *e, PyObject *x, PyObject *y, double c);
int expression_addToQuadTerm(PyObject *e, PyObject *x, PyObject *y, double c);
PyObject *expression_copy(PyObject *a, double f);
PyObject *expression_alg_sum(PyObject *a, PyObject *b, int s);
PyObject *expression_incremental_alg_sum(PyObject *a, PyObject *b, double s);
PyObject *expression_mul(PyObject *a, PyObject *b);
PyObject *expression_iscale(PyObject *e, double c, bool divide);
int expression_str_utf8(PyObject *e, std::string *out);
// A new expression holding constant + sum of one entry (variable or linear term with sign)
PyObject *expression_from_parts(double constant, PyObject *x, double cx, PyObject *y, double cy);

// extractLinear and extractQuadratic, shared by every model type (linterm.cpp).
extern PyMethodDef korvu_term_methods[];

// ---- extraction helpers (used by every type's extractLinear/extractQuadratic)
PyObject *linmap_to_lists(linmap *m);
PyObject *quadmap_to_lists(quadmap *m);

// ---- constraints (constraint.cpp)
PyObject *make_constraint(PyObject *a, PyObject *b, int op);
PyObject *constraint_base(void);

// Rich comparison of every model type: builds a constraint.
PyObject *model_richcompare(PyObject *a, PyObject *b, int op);
// Shared implementation of extractLinear/extractQuadratic for any model object.
PyObject *model_extract_linear(PyObject *obj);
PyObject *model_extract_quadratic(PyObject *obj);
// In-place forms shared by variables and terms.
PyObject *term_inplace(AlgOp op, PyObject *a, PyObject *b);
PyObject *term_inplace_pow(PyObject *a, PyObject *b, PyObject *mod);

// Type setup (each type's file).
int var_ready_type(void);
int linterm_ready_type(void);
int quadterm_ready_type(void);
int expression_ready_type(void);
int constraint_ready_type(void);
int sos_ready_type(void);
extern PyNumberMethods korvu_nonlin_number_methods;
