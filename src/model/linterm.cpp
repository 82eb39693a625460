// korvu.linterm: the linear term c * x.
#include "model/algebra.h"
#include "module/env.h"
#include "nonlinear/nonlin.h"

#include <cstdio>

using korvu::PyRef;

PyObject *linterm_fill(PyObject *x, double c) {
  if (c == 0.0) return new_float(0.0);
  linterm_s *t = PyObject_New(linterm_s, &korvu_lintermType);
  if (!t) return nullptr;
  t->coef = c;
  t->var = KRV_VAR(Py_NewRef(x));
  return KRV_OBJ(t);
}

PyObject *linterm_copy(PyObject *t, double f) {
  if (!t || !is_linterm(t)) return model_error("Linterm copy using an invalid object");
  return linterm_fill(KRV_OBJ(KRV_LT(t)->var), f * KRV_LT(t)->coef);
}

PyObject *linterm_neg(PyObject *t) { return linterm_fill(KRV_OBJ(KRV_LT(t)->var), -KRV_LT(t)->coef); }

// The variable and coefficient of a variable or linear term.
static inline void lin_parts(PyObject *o, int k, PyObject **x, double *c) {
  if (k == KIND_VAR) {
    *x = o;
    *c = 1.0;
  } else {
    *x = KRV_OBJ(KRV_LT(o)->var);
    *c = KRV_LT(o)->coef;
  }
}

PyObject *linterm_alg_sum(PyObject *a, PyObject *b, int s, int ka, int kb) {
  if (ka == KIND_NUM || kb == KIND_NUM) {
    bool term_left = kb == KIND_NUM;
    PyObject *t = term_left ? a : b;
    double n;
    if (num_value(term_left ? b : a, &n) < 0) return nullptr;
    double k = term_left ? s * n : n;
    if (k == 0.0) return linterm_copy(t, term_left ? 1.0 : s);
    linterm_s *lt = KRV_LT(t);
    return expression_from_parts(k, KRV_OBJ(lt->var), term_left ? lt->coef : s * lt->coef, nullptr, 0.0);
  }
  PyObject *x, *y;
  double c1, c2;
  lin_parts(a, ka, &x, &c1);
  lin_parts(b, kb, &y, &c2);
  if (var_id(x) == var_id(y)) return linterm_fill(x, c1 + s * c2);
  return expression_from_parts(0.0, x, c1, y, s * c2);
}

PyObject *linterm_mul(PyObject *a, PyObject *b, int ka, int kb) {
  if (ka == KIND_NUM || kb == KIND_NUM) {
    double n;
    if (num_value(ka == KIND_NUM ? a : b, &n) < 0) return nullptr;
    return linterm_copy(ka == KIND_NUM ? b : a, n);
  }
  PyObject *x, *y;
  double c1, c2;
  lin_parts(a, ka, &x, &c1);
  lin_parts(b, kb, &y, &c2);
  return quadterm_fill(x, y, c1 * c2);
}

// ---- type

static void linterm_dealloc(PyObject *self) {
  Py_XDECREF(KRV_LT(self)->var);
  Py_TYPE(self)->tp_free(self);
}

static PyObject *linterm_str(PyObject *self) {
  linterm_s *t = KRV_LT(self);
  std::string s;
  if (t->coef != 1.0) {
    char buf[64];
    snprintf(buf, sizeof buf, "%g*", t->coef);
    s = buf;
  }
  if (var_name_utf8(KRV_OBJ(t->var), &s) < 0) return nullptr;
  return PyUnicode_DecodeUTF8(s.data(), static_cast<Py_ssize_t>(s.size()), "replace");
}

static PyObject *term_extractLinear(PyObject *self, PyObject *) { return model_extract_linear(self); }
static PyObject *term_extractQuadratic(PyObject *self, PyObject *) { return model_extract_quadratic(self); }

PyDoc_STRVAR(lt_extractLinear_doc,
             "extractLinear($self, /)\n--\n\n"
             "Purpose:\n  Returns the linear part of the object as two lists.\n\n"
             "Synopsis:\n  (variables, coefficients) = obj.extractLinear()\n\n"
             "Further information:\n  Variables come in ascending order of creation; a coefficient "
             "of 0 never appears.\n\n"
             "Related topics:\n  extractQuadratic\n");
PyDoc_STRVAR(lt_extractQuadratic_doc,
             "extractQuadratic($self, /)\n--\n\n"
             "Purpose:\n  Returns the quadratic part of the object as three lists.\n\n"
             "Synopsis:\n  (first, second, coefficients) = obj.extractQuadratic()\n\n"
             "Further information:\n  Each pair appears once, its lower-numbered variable first.\n\n"
             "Related topics:\n  extractLinear\n");

PyMethodDef korvu_term_methods[] = {
    {"extractLinear", term_extractLinear, METH_NOARGS, lt_extractLinear_doc},
    {"extractQuadratic", term_extractQuadratic, METH_NOARGS, lt_extractQuadratic_doc},
    {nullptr, nullptr, 0, nullptr},
};

PyDoc_STRVAR(linterm_doc,
             "korvu.linterm\n\n"
             "Purpose:\n  A linear term c*x: the product of a number and a variable.\n\n"
             "Synopsis:\n  t = 2 * x\n\n"
             "Further information:\n  Terms are made by arithmetic on variables and cannot be "
             "created directly.\n\n"
             "Related topics:\n  quadterm, expression\n");

PyTypeObject korvu_lintermType = {
    PyVarObject_HEAD_INIT(nullptr, 0) "korvu.linterm",
    sizeof(linterm_s),
};

int linterm_ready_type(void) {
  PyTypeObject *t = &korvu_lintermType;
  t->tp_dealloc = linterm_dealloc;
  t->tp_repr = linterm_str;
  t->tp_str = linterm_str;
  t->tp_as_number = &korvu_term_number_methods;
  t->tp_flags = Py_TPFLAGS_DEFAULT;
  t->tp_doc = linterm_doc;
  t->tp_richcompare = model_richcompare;
  t->tp_methods = korvu_term_methods;
  return PyType_Ready(t);
}
