// korvu.quadterm: the quadratic or bilinear term c * x * y.
#include "model/algebra.h"
#include "module/env.h"
#include "nonlinear/nonlin.h"

#include <cstdio>


PyObject *quadterm_fill(PyObject *x, PyObject *y, double c) {
  if (var_id(y) < var_id(x)) std::swap(x, y);
  quadterm_s *t = PyObject_New(quadterm_s, &korvu_quadtermType);
  if (!t) return nullptr;
  t->coef = c;
  t->var1 = KRV_VAR(Py_NewRef(x));
  t->var2 = KRV_VAR(Py_NewRef(y));
  return KRV_OBJ(t);
}

PyObject *quadterm_copy(PyObject *t, double f) {
  quadterm_s *q = KRV_QT(t);
  return quadterm_fill(KRV_OBJ(q->var1), KRV_OBJ(q->var2), f * q->coef);
}

PyObject *quadterm_neg(PyObject *t) { return quadterm_copy(t, -1.0); }

// Adds a variable or linear term (times s) to a new expression.
static int add_lin(PyObject *e, PyObject *o, int k, double s) {
  if (k == KIND_VAR) return expression_addToLinTerm(e, o, s);
  return expression_addToLinTerm(e, KRV_OBJ(KRV_LT(o)->var), s * KRV_LT(o)->coef);
}
static int add_quad(PyObject *e, PyObject *q, double s) {
  quadterm_s *t = KRV_QT(q);
  return expression_addToQuadTerm(e, KRV_OBJ(t->var1), KRV_OBJ(t->var2), s * t->coef);
}

PyObject *quadterm_alg_sum(PyObject *a, PyObject *b, int s, int ka, int kb) {
  if (ka == KIND_NUM || kb == KIND_NUM) {
    bool term_left = kb == KIND_NUM;
    PyObject *t = term_left ? a : b;
    double n;
    if (num_value(term_left ? b : a, &n) < 0) return nullptr;
    double k = term_left ? s * n : n;
    if (k == 0.0) return quadterm_copy(t, term_left ? 1.0 : s);
    korvu::PyRef e = korvu::PyRef::steal(expression_base());
    if (!e) return nullptr;
    KRV_EXPR(e.get())->constant = k;
    if (add_quad(e.get(), t, term_left ? 1.0 : s) < 0) return nullptr;
    return e.release();
  }
  if (ka == KIND_QUAD && kb == KIND_QUAD) {
    quadterm_s *p = KRV_QT(a), *q = KRV_QT(b);
    if (var_id(p->var1) == var_id(q->var1) && var_id(p->var2) == var_id(q->var2))
      return quadterm_fill(KRV_OBJ(p->var1), KRV_OBJ(p->var2), p->coef + s * q->coef);
  }
  korvu::PyRef e = korvu::PyRef::steal(expression_base());
  if (!e) return nullptr;
  int rc = ka == KIND_QUAD ? add_quad(e.get(), a, 1.0) : add_lin(e.get(), a, ka, 1.0);
  if (rc == 0) rc = kb == KIND_QUAD ? add_quad(e.get(), b, s) : add_lin(e.get(), b, kb, s);
  if (rc < 0) return nullptr;
  return e.release();
}

PyObject *quadterm_mul(PyObject *a, PyObject *b, int ka, int kb) {
  if (ka == KIND_NUM || kb == KIND_NUM) {
    double n;
    if (num_value(ka == KIND_NUM ? a : b, &n) < 0) return nullptr;
    return quadterm_copy(ka == KIND_NUM ? b : a, n);
  }
  return nonlin_instantiate_binary(NL_PROD, a, b);
}

static void quadterm_dealloc(PyObject *self) {
  Py_XDECREF(KRV_QT(self)->var1);
  Py_XDECREF(KRV_QT(self)->var2);
  Py_TYPE(self)->tp_free(self);
}

PyObject *quadterm_str_obj(PyObject *self) {
  quadterm_s *t = KRV_QT(self);
  std::string s;
  if (t->coef != 1.0) {
    char buf[64];
    snprintf(buf, sizeof buf, "%g*", t->coef);
    s = buf;
  }
  if (var_name_utf8(KRV_OBJ(t->var1), &s) < 0) return nullptr;
  if (t->var1 == t->var2 || var_id(t->var1) == var_id(t->var2)) {
    s += "**2";
  } else {
    s += '*';
    if (var_name_utf8(KRV_OBJ(t->var2), &s) < 0) return nullptr;
  }
  return PyUnicode_DecodeUTF8(s.data(), static_cast<Py_ssize_t>(s.size()), "replace");
}

PyDoc_STRVAR(quadterm_doc,
             "korvu.quadterm\n\n"
             "Purpose:\n  A quadratic term c*x*y: a coefficient times two variables (or one "
             "variable squared).\n\n"
             "Synopsis:\n  t = 3 * x * y\n\n"
             "Further information:\n  Terms are made by arithmetic on variables and cannot be "
             "created directly.\n\n"
             "Related topics:\n  linterm, expression\n");

PyTypeObject korvu_quadtermType = {
    PyVarObject_HEAD_INIT(nullptr, 0) "korvu.quadterm",
    sizeof(quadterm_s),
};

int quadterm_ready_type(void) {
  PyTypeObject *t = &korvu_quadtermType;
  t->tp_dealloc = quadterm_dealloc;
  t->tp_repr = quadterm_str_obj;
  t->tp_str = quadterm_str_obj;
  t->tp_as_number = &korvu_term_number_methods;
  t->tp_flags = Py_TPFLAGS_DEFAULT;
  t->tp_doc = quadterm_doc;
  t->tp_richcompare = model_richcompare;
  t->tp_methods = korvu_term_methods;
  return PyType_Ready(t);
}
