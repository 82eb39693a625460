// The array product of Dot: NumPy's dot convention over numbers and model
// objects.  The last dimension of the left operand multiplies the second to
// last of the right one (its only one for a vector); each result element is
// accumulated in place, and products of a variable or linear term with a linear
// expression write their quadratic coefficients straight into the result.
#include <cstring>
#include <vector>

#include "arrays/arrays.h"
#include "arrays/dot.h"
#include "model/algebra.h"
#include "model/maps.h"
#include "nonlinear/nonlin.h"

using korvu::PyRef;

namespace korvu_dot {

PyObject *dot_error(const char *msg) {
  PyErr_SetString(korvu_ModelError, msg);
  return nullptr;
}


int elem_class(PyArrayObject *a) {
  PyArray_Descr *d = PyArray_DESCR(a);
  if (d->type_num == NPY_OBJECT) return EC_OBJECT;
  for (PyObject *dt : {krv_py_env.npvar, krv_py_env.npexpr})
    if (dt && reinterpret_cast<PyArray_Descr *>(dt)->type_num == d->type_num) return EC_OBJECT;
  // Fixed widths: a C long may be either of the two integer widths.
  if (PyArray_ISINTEGER(a) && PyArray_ISSIGNED(a)) {
    if (PyArray_ITEMSIZE(a) == 4) return EC_INT32;
    if (PyArray_ITEMSIZE(a) == 8) return EC_INT64;
  }
  if (d->type_num == NPY_FLOAT) return EC_FLOAT32;
  if (d->type_num == NPY_DOUBLE) return EC_FLOAT64;
  return EC_INVALID;
}

int class_typenum(int c) {
  switch (c) {
    case EC_INT32: return NPY_INT32;
    case EC_INT64: return NPY_INT64;
    case EC_FLOAT32: return NPY_FLOAT32;
    case EC_FLOAT64: return NPY_FLOAT64;
    default: return reinterpret_cast<PyArray_Descr *>(krv_py_env.npexpr)->type_num;
  }
}

bool out_accepts(PyArrayObject *out, int result_class) {
  int tn = PyArray_DESCR(out)->type_num;
  bool objects = tn == NPY_OBJECT || tn == class_typenum(EC_OBJECT);
  if (result_class == EC_OBJECT) return objects;
  // A numeric result goes into an array of its own type, or of expressions or
  // objects (then each element is a number).
  return elem_class(out) == result_class || objects;
}

// The single element of a zero-dimensional array as a number or a model object.
PyObject *scalar_of(PyArrayObject *a) {
  if (PyArray_SIZE(a) != 1) return dot_error("Scalar vector apparently contains more than one element");
  PyRef item = PyRef::steal(PyArray_GETITEM(a, PyArray_BYTES(a)));
  if (!item) return nullptr;
  if (elem_class(a) != EC_OBJECT) return PyFloat_FromDouble(PyFloat_AsDouble(item.get()));
  return item.release();
}

// A C-contiguous array of the given type holding a's elements (a itself when it
// already is one).
PyArrayObject *contiguous_as(PyArrayObject *a, int typenum) {
  PyArray_Descr *d = PyArray_DescrFromType(typenum);
  if (!d) return nullptr;
  return reinterpret_cast<PyArrayObject *>(
      PyArray_FromArray(a, d, NPY_ARRAY_C_CONTIGUOUS | NPY_ARRAY_ALIGNED | NPY_ARRAY_FORCECAST));
}

// ---- accumulation of one object result element: W += p * q

// The accumulator is changed in place, so it must never be an operand itself.
int own(PyObject **W, PyObject *r, PyObject *operand) {
  if (!r) return -1;
  if (r == operand && (is_expression(r) || is_nonlin(r))) {
    PyObject *c = general_copy(r, 1.0);
    Py_DECREF(r);
    if (!c) return -1;
    r = c;
  }
  PyObject *old = *W;
  *W = r;
  Py_XDECREF(old);
  return 0;
}

// W += X * q for a number X and a model object q.
int acc_scaled(PyObject **W, double X, PyObject *q) {
  if (!*W) return own(W, general_copy(q, X), q);
  if (X == 0.0) return 0;
  if (Py_TYPE(*W) == &korvu_expressionType) {
    PyTypeObject *t = Py_TYPE(q);
    if (t == &korvu_varType) return expression_addToLinTerm(*W, q, X);
    if (t == &korvu_lintermType) return expression_addToLinTerm(*W, KRV_OBJ(KRV_LT(q)->var), X * KRV_LT(q)->coef);
  }
  PyObject *r = nonlin_incremental_alg_sum(*W, q, X);
  if (r == *W) {
    Py_DECREF(r);
    return 0;
  }
  return own(W, r, q);
}

// A variable or linear term as (k, v).
bool as_linear(PyObject *o, double *k, PyObject **v) {
  PyTypeObject *t = Py_TYPE(o);
  if (t == &korvu_varType || is_var(o)) {
    *k = 1.0;
    *v = o;
    return true;
  }
  if (t == &korvu_lintermType || is_linterm(o)) {
    *k = KRV_LT(o)->coef;
    *v = KRV_OBJ(KRV_LT(o)->var);
    return true;
  }
  return false;
}

bool linear_expression(PyObject *o) {
  return is_expression(o) && KRV_EXPR(o)->lin && quadmap_size(KRV_EXPR(o)->quad) == 0;
}

// W += k * v * L, written into W's maps.  L's entries come in ascending id
// order: those below v go under their own variable, all the others into v's
// inner map, which is looked up (or made) once.
int acc_lin_times_expr(PyObject *W, double k, PyObject *v, PyObject *L) {
  expression_s *w = KRV_EXPR(W);
  expression_s *e = KRV_EXPR(L);
  if (!w->quad && !(w->quad = quadmap_new())) {
    PyErr_SetString(korvu_ModelError, "Cannot amend quadratic expression");
    return -1;
  }
  quadmap *qm = w->quad;
  uint64_t vid = var_id(v);
  linmap *own = nullptr;
  bool ok = true;
  e->lin->for_each([&](linmap::Entry &en) {
    double c = k * en.val.coef;
    if (!ok || c == 0.0) return;
    if (en.key < vid) {
      ok = quadmap_add(qm, en.val.var, KRV_VAR(v), c) == 0;
      return;
    }
    if (!own) {
      QuadEntry *qe = qm->find(vid);
      if (!qe) {
        linmap *inner = linmap_new();
        if (!inner) {
          ok = false;
          return;
        }
        qe = qm->insert(vid, QuadEntry{KRV_VAR(v), inner}).first;
        Py_INCREF(v);
      } else if (!qe->inner && !(qe->inner = linmap_new())) {
        ok = false;
        return;
      }
      own = qe->inner;
    }
    linmap_add_fast(own, en.val.var, c);
  });
  // Coefficients that cancelled may have emptied v's inner map: no empty entry stays.
  if (own && own->empty()) {
    QuadEntry *qe = qm->find(vid);
    linmap *inner = qe->inner;
    var_s *u = qe->var;
    qm->erase(vid);
    linmap_free(&inner);
    Py_DECREF(u);
  }
  if (!ok) {
    PyErr_SetString(korvu_ModelError, "Cannot amend quadratic expression");
    return -1;
  }
  if (e->constant != 0.0) return expression_addToLinTerm(W, v, k * e->constant);
  return 0;
}

// W += p * q for two model objects.
int acc_product(PyObject **W, PyObject *p, PyObject *q) {
  if (*W && Py_TYPE(*W) == &korvu_expressionType) {
    double k;
    PyObject *v;
    if (as_linear(p, &k, &v) && linear_expression(q)) return acc_lin_times_expr(*W, k, v, q);
    if (as_linear(q, &k, &v) && linear_expression(p)) return acc_lin_times_expr(*W, k, v, p);
  }
  PyRef prod = PyRef::steal(general_mul(p, q));
  if (!prod) return -1;
  if (!*W) return own(W, prod.release(), nullptr);
  PyObject *r = nonlin_incremental_alg_sum(*W, prod.get(), 1.0);
  if (r == *W) {
    Py_DECREF(r);
    return 0;
  }
  return own(W, r, prod.get());
}

int check_operand(PyObject *o) { return getExprType(o) < 0 ? -1 : 0; }

// The object result of an (I, H) by (J, H, Q) product into R (I, J, Q).
int object_product(PyArrayObject *a, bool a_obj, PyArrayObject *b, bool b_obj, npy_intp I, npy_intp H, npy_intp J,
                   npy_intp Q, PyObject **R) {
  const double *ad = a_obj ? nullptr : static_cast<const double *>(PyArray_DATA(a));
  const double *bd = b_obj ? nullptr : static_cast<const double *>(PyArray_DATA(b));
  // Elements are checked once, not at every use.
  if (a_obj)
    for (npy_intp i = 0; i < PyArray_SIZE(a); ++i)
      if (check_operand(object_at(a, i)) < 0) return -1;
  if (b_obj)
    for (npy_intp i = 0; i < PyArray_SIZE(b); ++i)
      if (check_operand(object_at(b, i)) < 0) return -1;
  for (npy_intp i = 0; i < I; ++i)
    for (npy_intp j = 0; j < J; ++j)
      for (npy_intp q = 0; q < Q; ++q) {
        PyObject **W = &R[(i * J + j) * Q + q];
        for (npy_intp h = 0; h < H; ++h) {
          npy_intp ia = i * H + h, ib = (j * H + h) * Q + q;
          int rc;
          if (!a_obj)
            rc = acc_scaled(W, ad[ia], object_at(b, ib));
          else if (!b_obj)
            rc = acc_scaled(W, bd[ib], object_at(a, ia));
          else
            rc = acc_product(W, object_at(a, ia), object_at(b, ib));
          if (rc < 0) return -1;
        }
        if (!*W && !(*W = PyFloat_FromDouble(0.0))) return -1;
      }
  return 0;
}

// Copies a finished result into the caller's output array.
PyObject *into_out(PyArrayObject *result, PyArrayObject *out) {
  int nd = PyArray_NDIM(result);
  if (PyArray_NDIM(out) != nd ||
      std::memcmp(PyArray_DIMS(out), PyArray_DIMS(result), sizeof(npy_intp) * static_cast<size_t>(nd)) != 0)
    return dot_error("Could not initialize result of dot product");
  PyRef src = PyRef::borrow(reinterpret_cast<PyObject *>(result));
  if (elem_class(result) != EC_OBJECT && elem_class(out) == EC_OBJECT) {
    // Numbers into an array of objects: box them first.
    src = PyRef::steal(reinterpret_cast<PyObject *>(contiguous_as(result, NPY_OBJECT)));
    if (!src) return nullptr;
  }
  if (PyArray_CopyInto(out, reinterpret_cast<PyArrayObject *>(src.get())) < 0) return nullptr;
  return Py_NewRef(reinterpret_cast<PyObject *>(out));
}

}  // namespace korvu_dot

using namespace korvu_dot;

PyObject *tensor_mult(PyObject *a_obj, PyObject *b_obj, PyObject *out_obj) {
  if (a_obj == Py_None) {
    if (!is_array(b_obj) && !is_sparse_matrix(b_obj)) return dot_error("Dot product should only be on NumPy arrays");
    return Py_NewRef(b_obj);
  }
  if (is_sparse_matrix(a_obj) || is_sparse_matrix(b_obj)) return sparse_tensor_mult(a_obj, b_obj, out_obj);
  if (!is_array(a_obj) || !is_array(b_obj)) return dot_error("Dot product can only occur between NumPy arrays");
  PyArrayObject *a = reinterpret_cast<PyArrayObject *>(a_obj);
  PyArrayObject *b = reinterpret_cast<PyArrayObject *>(b_obj);
  int d1 = PyArray_NDIM(a), d2 = PyArray_NDIM(b);
  int ca = elem_class(a), cb = elem_class(b);
  if (d1 == 0 && d2 == 0) {
    if (ca == EC_INVALID || cb == EC_INVALID)
      return dot_error("Dot product must be between long, double, and expressions/variables");
    PyRef p = PyRef::steal(scalar_of(a));
    if (!p) return nullptr;
    PyRef q = PyRef::steal(scalar_of(b));
    if (!q) return nullptr;
    if (ca != EC_OBJECT && cb != EC_OBJECT)
      return PyFloat_FromDouble(PyFloat_AS_DOUBLE(p.get()) * PyFloat_AS_DOUBLE(q.get()));
    return general_mul(p.get(), q.get());
  }
  if (d1 == 0) return dot_error("Dot product between incompatible objects: first one is a scalar");
  if (d2 == 0) return dot_error("Dot product between incompatible objects: second one is a scalar");
  if (ca == EC_INVALID || cb == EC_INVALID)
    return dot_error("Dot product must be between long, double, and expressions/variables");
  int rc_class = (ca == EC_OBJECT || cb == EC_OBJECT) ? EC_OBJECT : (ca >= cb ? ca : cb);
  PyArrayObject *out = nullptr;
  if (out_obj && out_obj != Py_None) {
    if (!is_array(out_obj) || !out_accepts(reinterpret_cast<PyArrayObject *>(out_obj), rc_class))
      return dot_error(
          "Output argument set with wrong type: must be float/int for products of floats/ints and "
          "expression/nonlin for products of variables/expressions/nonlinear");
    out = reinterpret_cast<PyArrayObject *>(out_obj);
  }
  npy_intp H = PyArray_DIM(a, d1 - 1);
  int mb = d2 >= 2 ? d2 - 2 : 0;
  if (PyArray_DIM(b, mb) != H)
    return dot_error("Dot product must occur between NumPy vectors with matching sizes in the multiplying dimension");

  // Result shape: a's leading dimensions, b's dimensions but the multiplying one.
  std::vector<npy_intp> shape;
  npy_intp I = 1, J = 1, Q = 1;
  for (int k = 0; k < d1 - 1; ++k) {
    shape.push_back(PyArray_DIM(a, k));
    I *= PyArray_DIM(a, k);
  }
  if (d2 >= 2) {
    for (int k = 0; k < d2 - 2; ++k) {
      shape.push_back(PyArray_DIM(b, k));
      J *= PyArray_DIM(b, k);
    }
    Q = PyArray_DIM(b, d2 - 1);
    shape.push_back(Q);
  }

  PyRef result;
  if (rc_class != EC_OBJECT) {
    // Numbers only: NumPy's own product in the result's arithmetic.
    int tn = class_typenum(rc_class);
    PyRef ac = PyRef::steal(reinterpret_cast<PyObject *>(contiguous_as(a, tn)));
    PyRef bc = ac ? PyRef::steal(reinterpret_cast<PyObject *>(contiguous_as(b, tn))) : PyRef();
    if (!bc) return nullptr;
    result = PyRef::steal(PyArray_MatrixProduct2(ac.get(), bc.get(), nullptr));
    if (!result) return nullptr;
    if (!is_array(result.get())) {  // NumPy hands back a scalar for two vectors
      PyRef arr = PyRef::steal(PyArray_FromAny(result.get(), PyArray_DescrFromType(tn), 0, 0, 0, nullptr));
      if (!arr) return nullptr;
      result = arr;
    }
  } else {
    PyRef ac = PyRef::steal(reinterpret_cast<PyObject *>(
        contiguous_as(a, ca == EC_OBJECT ? PyArray_DESCR(a)->type_num : NPY_DOUBLE)));
    PyRef bc = ac ? PyRef::steal(reinterpret_cast<PyObject *>(
                        contiguous_as(b, cb == EC_OBJECT ? PyArray_DESCR(b)->type_num : NPY_DOUBLE)))
                  : PyRef();
    if (!bc) return nullptr;
    PyArray_Descr *descr = reinterpret_cast<PyArray_Descr *>(krv_py_env.npexpr);
    Py_INCREF(descr);
    result = PyRef::steal(PyArray_NewFromDescr(&PyArray_Type, descr, static_cast<int>(shape.size()), shape.data(),
                                               nullptr, nullptr, 0, nullptr));
    if (!result) return nullptr;
    PyObject **R = reinterpret_cast<PyObject **>(PyArray_DATA(reinterpret_cast<PyArrayObject *>(result.get())));
    if (object_product(reinterpret_cast<PyArrayObject *>(ac.get()), ca == EC_OBJECT,
                       reinterpret_cast<PyArrayObject *>(bc.get()), cb == EC_OBJECT, I, H, J, Q, R) < 0)
      return nullptr;
  }
  if (out) return into_out(reinterpret_cast<PyArrayObject *>(result.get()), out);
  return result.release();
}
