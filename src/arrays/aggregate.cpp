// The aggregates Sum, Prod and Dot: one driver folds a collection with a binary
// step, and Sum keeps a hot path that adds terms straight into an expression.
#include "arrays/arrays.h"
#include "model/algebra.h"
#include "model/maps.h"

#include <cstdint>

using korvu::PyRef;

namespace {

// Kinds of the prediction table of Sum.
enum SumKind : int32_t { SK_LIN, SK_VAR, SK_QUAD, SK_EXPR, SK_NUM };

struct Slot {
  int64_t count;
  int32_t kind;
};

struct FoldState {
  fold_fn op;
  PyRef acc;           // Py_None until the first item
  bool sum;            // Sum's hot path may be used
  bool acc_is_expr;    // the accumulator is an expression we own
  Slot slots[5];

  FoldState(fold_fn f, bool is_sum) : op(f), acc(PyRef::borrow(Py_None)), sum(is_sum), acc_is_expr(false) {
    static const int32_t order[5] = {SK_LIN, SK_VAR, SK_QUAD, SK_EXPR, SK_NUM};
    for (int i = 0; i < 5; ++i) slots[i] = Slot{0, order[i]};
  }
};

inline bool matches(int32_t kind, PyObject *o) {
  PyTypeObject *t = Py_TYPE(o);
  switch (kind) {
    case SK_LIN: return t == &korvu_lintermType || is_linterm(o);
    case SK_VAR: return t == &korvu_varType || is_var(o);
    case SK_QUAD: return t == &korvu_quadtermType || is_quadterm(o);
    case SK_EXPR: return t == &korvu_expressionType || is_expression(o);
    default: return t == &PyFloat_Type || t == &PyLong_Type || is_numeric(o);
  }
}

// Adds item into the accumulator in place.  1: done; 0: no slot matched;
// -1: failure with an exception set.
int sum_fast(FoldState &st, PyObject *item) {
  int i = 0;
  for (; i < 5; ++i)
    if (matches(st.slots[i].kind, item)) break;
  if (i == 5) return 0;
  PyObject *acc = st.acc.get();
  int rc = 0;
  switch (st.slots[i].kind) {
    case SK_LIN:
      rc = expression_addToLinTerm(acc, KRV_OBJ(KRV_LT(item)->var), KRV_LT(item)->coef);
      break;
    case SK_VAR:
      rc = expression_addToLinTerm(acc, item, 1.0);
      break;
    case SK_QUAD: {
      quadterm_s *q = KRV_QT(item);
      rc = expression_addToQuadTerm(acc, KRV_OBJ(q->var1), KRV_OBJ(q->var2), q->coef);
      break;
    }
    case SK_NUM: {
      double v;
      if (num_value(item, &v) < 0) return -1;
      KRV_EXPR(acc)->constant += v;
      break;
    }
    default: {
      PyObject *r = general_iadd(acc, item);
      if (!r) return -1;
      // The in-place addition of two expressions returns the accumulator itself.
      if (r != acc) {
        st.acc.reset(r);
        st.acc_is_expr = is_expression(r);
      } else {
        Py_DECREF(r);
      }
      break;
    }
  }
  if (rc < 0) return -1;
  // The most frequent kinds move to the front of the table.
  int64_t c = ++st.slots[i].count;
  int j = i;
  while (j > 0 && st.slots[j - 1].count <= c) --j;
  if (j != i) {
    Slot s = st.slots[i];
    st.slots[i] = st.slots[j];
    st.slots[j] = s;
  }
  return 1;
}

// acc = op(acc, item, out).  0, or -1 with an exception set.
int fold_item(FoldState &st, PyObject *item, PyObject *out) {
  if (item == Py_None) return 0;
  if (st.acc_is_expr && !out) {
    int rc = sum_fast(st, item);
    if (rc != 0) return rc < 0 ? -1 : 0;
    st.acc_is_expr = false;  // a kind outside the table: back to the generic step
  }
  PyObject *r = st.op(st.acc.get(), item, out);
  if (!r) return -1;
  // The accumulator is changed in place by later steps, so it must never be an
  // object the caller holds: a step that hands back its operand is copied.
  if (r == item && (is_expression(r) || is_nonlin(r))) {
    PyObject *c = general_copy(r, 1.0);
    Py_DECREF(r);
    if (!c) return -1;
    r = c;
  }
  st.acc.reset(r);
  if (st.sum && Py_TYPE(r) == &korvu_expressionType) st.acc_is_expr = true;
  return 0;
}

// The element of a numeric or object array cell as a Python object.
PyObject *array_item(int type, bool object_like, char *cell) {
  if (object_like) {
    PyObject *o = *reinterpret_cast<PyObject **>(cell);
    return Py_NewRef(o ? o : Py_None);
  }
  switch (type) {
    case NPY_DOUBLE: return PyFloat_FromDouble(*reinterpret_cast<double *>(cell));
    case NPY_INT32: return PyFloat_FromDouble(*reinterpret_cast<npy_int32 *>(cell));
    default: return PyFloat_FromDouble(*reinterpret_cast<npy_bool *>(cell) ? 1.0 : 0.0);
  }
}

int fold_array(FoldState &st, PyArrayObject *arr, PyObject *out) {
  PyArray_Descr *descr = PyArray_DESCR(arr);
  int type = descr->type_num;
  bool object_like = krv_object_like(descr);
  if (!object_like && type != NPY_DOUBLE && type != NPY_INT32 && type != NPY_BOOL) {
    PyErr_SetString(korvu_ModelError, "Incorrect objects used in Sum, Dot, Prod, or aggregate functions");
    return -1;
  }
  npy_intp total = PyArray_SIZE(arr);
  if (total == 0) return 0;
  NpyIter *iter = NpyIter_New(arr, NPY_ITER_READONLY | NPY_ITER_REFS_OK, NPY_KEEPORDER, NPY_NO_CASTING, nullptr);
  if (!iter) return -1;
  NpyIter_IterNextFunc *next = NpyIter_GetIterNext(iter, nullptr);
  char **dataptr = NpyIter_GetDataPtrArray(iter);
  int rc = next ? 0 : -1;
  npy_intp k = 0;
  if (next) {
    do {
      PyRef item = PyRef::steal(array_item(type, object_like, dataptr[0]));
      if (!item || fold_item(st, item.get(), ++k == total ? out : nullptr) < 0) {
        rc = -1;
        break;
      }
    } while (next(iter));
  }
  NpyIter_Deallocate(iter);
  return rc;
}

// Items of a list or tuple (or of a fast-sequence view); the size is read again
// at every step since a step may run code that changes a list.
int fold_fast(FoldState &st, PyObject *seq, PyObject *out) {
  for (Py_ssize_t i = 0; i < PySequence_Fast_GET_SIZE(seq); ++i) {
    PyRef item = PyRef::borrow(PySequence_Fast_GET_ITEM(seq, i));
    if (fold_item(st, item.get(), i + 1 == PySequence_Fast_GET_SIZE(seq) ? out : nullptr) < 0) return -1;
  }
  return 0;
}

int fold_iterator(FoldState &st, PyObject *it, PyObject *out) {
  if (!out) {
    for (;;) {
      PyRef item = PyRef::steal(PyIter_Next(it));
      if (!item) return PyErr_Occurred() ? -1 : 0;
      if (fold_item(st, item.get(), nullptr) < 0) return -1;
    }
  }
  // With an output argument one item is read ahead to recognise the last one.
  PyRef item = PyRef::steal(PyIter_Next(it));
  while (item) {
    PyRef following = PyRef::steal(PyIter_Next(it));
    if (!following && PyErr_Occurred()) return -1;
    if (fold_item(st, item.get(), following ? nullptr : out) < 0) return -1;
    item = following;
  }
  return PyErr_Occurred() ? -1 : 0;
}

bool single_term(PyObject *o) {
  int k = expr_kind(o);
  return k >= KIND_NUM && k <= KIND_NL;
}

PyObject *aggregate(PyObject *args, fold_fn op, bool sum, PyObject *out) {
  FoldState st(op, sum);
  PyObject *coll = PyTuple_GET_SIZE(args) == 1 ? PyTuple_GET_ITEM(args, 0) : args;
  PyRef hold = PyRef::borrow(coll);
  int rc;
  if (PyTuple_Check(coll) || PyList_Check(coll)) {
    rc = fold_fast(st, coll, out);
  } else if (PyArray_Check(coll)) {
    rc = fold_array(st, reinterpret_cast<PyArrayObject *>(coll), out);
  } else if (PyDict_Check(coll)) {
    PyRef values = PyRef::steal(PyDict_Values(coll));
    rc = values ? fold_fast(st, values.get(), out) : -1;
  } else if (PySequence_Check(coll) && !PyUnicode_Check(coll) && !PyBytes_Check(coll)) {
    Py_ssize_t n = PySequence_Size(coll);
    if (n < 0) {
      if (!PyErr_Occurred() || PyErr_ExceptionMatches(PyExc_TypeError)) {
        PyErr_Clear();
        PyErr_SetString(korvu_ModelError, "Invalid sequence of objects");
      }
      return nullptr;
    }
    PyRef seq = PyRef::steal(PySequence_Fast(coll, "Cannot iterate over sequence"));
    rc = seq ? fold_fast(st, seq.get(), out) : -1;
  } else if (PyIter_Check(coll)) {
    rc = fold_iterator(st, coll, out);
  } else if (single_term(coll)) {
    rc = fold_item(st, coll, out);
  } else if (Py_TYPE(coll)->tp_iter && !PyUnicode_Check(coll) && !PyBytes_Check(coll)) {
    // Other iterables (sets, dictionary views) are folded through their iterator.
    PyRef it = PyRef::steal(PyObject_GetIter(coll));
    rc = it ? fold_iterator(st, it.get(), out) : -1;
  } else {
    PyErr_SetString(korvu_ModelError, "Invalid object in Sum or Prod operators");
    return nullptr;
  }
  if (rc < 0) return nullptr;
  return st.acc.release();
}

PyObject *sum_step(PyObject *acc, PyObject *item, PyObject *out) { return general_fold_iadd(acc, item, out); }
PyObject *prod_step(PyObject *acc, PyObject *item, PyObject *out) { return general_fold_imul(acc, item, out); }

PyObject *korvumod_Sum(PyObject *, PyObject *args) {
  PyRef r = PyRef::steal(aggregate(args, sum_step, true, nullptr));
  if (!r) return setKrvuErrIfNull(nullptr, nullptr);
  if (r.get() == Py_None) return expression_base();
  if (expr_kind(r.get()) == KIND_NUM) {
    double v;
    if (num_value(r.get(), &v) < 0) return nullptr;
    PyObject *e = expression_base();
    if (e) KRV_EXPR(e)->constant = v;
    return setKrvuErrIfNull(nullptr, e);
  }
  return r.release();
}

PyObject *korvumod_Prod(PyObject *, PyObject *args) {
  PyRef r = PyRef::steal(aggregate(args, prod_step, false, nullptr));
  if (!r) return setKrvuErrIfNull(nullptr, nullptr);
  if (r.get() == Py_None) return PyFloat_FromDouble(0.0);
  return r.release();
}

PyObject *korvumod_Dot(PyObject *, PyObject *args, PyObject *kwargs) {
  static const char *kwlist[] = {"out", nullptr};
  PyObject *out = nullptr;
  PyRef empty = PyRef::steal(PyTuple_New(0));
  if (!empty || !PyArg_ParseTupleAndKeywords(empty.get(), kwargs, "|O", const_cast<char **>(kwlist), &out))
    return nullptr;
  if (out == Py_None) out = nullptr;
  PyRef r = PyRef::steal(aggregate(args, tensor_mult, false, out));
  if (!r) return setKrvuErrIfNull(nullptr, nullptr);
  if (r.get() == Py_None) return PyFloat_FromDouble(0.0);
  // As NumPy's dot, a product down to zero dimensions is its element.
  if (!out && is_array(r.get()) && PyArray_NDIM(reinterpret_cast<PyArrayObject *>(r.get())) == 0) {
    PyArrayObject *a = reinterpret_cast<PyArrayObject *>(r.get());
    return PyArray_GETITEM(a, PyArray_BYTES(a));
  }
  return r.release();
}

}  // namespace

PyMethodDef korvu_aggregate_methods[] = {
    {"Sum", korvumod_Sum, METH_VARARGS,
     "Sum(*terms)\n--\n\n"
     "Purpose:\n  The sum of numbers and model objects.\n\n"
     "Synopsis:\n  e = korvu.Sum(t1, t2, ...)\n  e = korvu.Sum(collection)\n\n"
     "Arguments:\n  terms: numbers, variables, terms, expressions or nonlinear expressions, given\n"
     "    one by one or as a single collection: a list, tuple, dict (its values),\n"
     "    NumPy array, sequence, set, iterator or generator.  None entries are skipped.\n\n"
     "Example:\n  korvu.Sum(c[i] * x[i] for i in range(n))\n  korvu.Sum(x)  # x an array of variables\n\n"
     "Further information:\n  Much faster than Python's sum() or a loop of + for long sums: once the\n"
     "  partial sum is an expression every further term is added into it in place.\n"
     "  With no term the result is an empty expression; a numeric result is returned\n"
     "  as an expression whose constant is that number.  A nested list is a single\n"
     "  operand, not flattened.\n\n"
     "Related topics:\n  Prod, Dot, evaluate\n"},
    {"Prod", korvumod_Prod, METH_VARARGS,
     "Prod(*factors)\n--\n\n"
     "Purpose:\n  The product of numbers and model objects.\n\n"
     "Synopsis:\n  e = korvu.Prod(f1, f2, ...)\n  e = korvu.Prod(collection)\n\n"
     "Arguments:\n  factors: numbers, variables, terms, expressions or nonlinear expressions, given\n"
     "    one by one or as a single collection (as for Sum).  None entries are skipped.\n\n"
     "Example:\n  korvu.Prod(x, y, 2)  # 2 * x * y\n\n"
     "Further information:\n  With no factor the result is 0.0.\n\n"
     "Related topics:\n  Sum, Dot\n"},
    {"Dot", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)(void)>(korvumod_Dot)),
     METH_VARARGS | METH_KEYWORDS,
     "Dot(*arrays, out=None)\n--\n\n"
     "Purpose:\n  The dot product of NumPy arrays whose elements are numbers or model objects.\n\n"
     "Synopsis:\n  r = korvu.Dot(a1, a2, ..., out=None)\n\n"
     "Arguments:\n  arrays: NumPy arrays of numbers (int32, int64, float32, float64), variables,\n"
     "    expressions or any Python objects, and scipy.sparse matrices or arrays of\n"
     "    numbers (any format), multiplied from the left.\n"
     "  out: optional array receiving the last product; its element type must be\n"
     "    the one of the result (numeric, or npexpr/object for model objects).\n\n"
     "Example:\n  korvu.Dot(A, x)        # the vector of row sums A[i, :] * x\n"
     "  korvu.Dot(x, Q, x)     # the quadratic form x' Q x\n"
     "  korvu.Dot(S, x)        # S a scipy.sparse matrix: one pass over its entries\n\n"
     "Further information:\n  Shapes follow NumPy's dot: the last dimension of the left operand\n"
     "  multiplies the second to last dimension of the right one (its only one for a\n"
     "  vector).  Two zero-dimensional arrays give their product as a scalar.  With no\n"
     "  argument the result is 0.0.\n\n"
     "Related topics:\n  Sum, Prod, npexpr\n"},
    {"evaluate", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)(void)>(korvumod_evaluate)),
     METH_VARARGS | METH_KEYWORDS, korvumod_evaluate_doc},
    {nullptr, nullptr, 0, nullptr},
};
