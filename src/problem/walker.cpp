#include "problem/walker.h"

#include "model/records.h"
#include "module/numpy_api.h"

using korvu::PyRef;

namespace {

PyObject *walk_array(problem_s *p, PyArrayObject *arr, leaf_fn fn, void *ctx, int depth) {
  PyArray_Descr *descr = PyArray_DESCR(arr);
  int type = descr->type_num;
  bool model_dtype = false;
  for (PyObject *dt : {krv_py_env.npvar, krv_py_env.npexpr, krv_py_env.npconstraint})
    if (dt && reinterpret_cast<PyObject *>(descr->typeobj) ==
                  reinterpret_cast<PyObject *>(
                      reinterpret_cast<PyArray_Descr *>(dt)->typeobj))
      model_dtype = true;
  bool is_object = type == NPY_OBJECT || model_dtype;
  if (!is_object && type != NPY_DOUBLE && type != NPY_INT32 && type != NPY_BOOL) {
    PyErr_SetString(korvu_ModelError,
                    "Incorrect objects used in Sum, Dot, Prod, or aggregate functions");
    return nullptr;
  }
  if (PyArray_SIZE(arr) == 0) return Py_None;
  NpyIter *iter = NpyIter_New(arr, NPY_ITER_READONLY | NPY_ITER_REFS_OK, NPY_KEEPORDER,
                              NPY_NO_CASTING, nullptr);
  if (!iter) return nullptr;
  NpyIter_IterNextFunc *next = NpyIter_GetIterNext(iter, nullptr);
  char **dataptr = NpyIter_GetDataPtrArray(iter);
  PyObject *result = Py_None;
  if (!next) {
    result = nullptr;
  } else {
    do {
      PyRef item;
      char *d = dataptr[0];
      if (is_object) {
        PyObject *o = *reinterpret_cast<PyObject **>(d);
        item = PyRef::borrow(o ? o : Py_None);
      } else if (type == NPY_DOUBLE) {
        item = PyRef::steal(PyFloat_FromDouble(*reinterpret_cast<double *>(d)));
      } else if (type == NPY_INT32) {
        item = PyRef::steal(PyFloat_FromDouble(*reinterpret_cast<npy_int32 *>(d)));
      } else {
        item = PyRef::steal(PyFloat_FromDouble(*reinterpret_cast<npy_bool *>(d) ? 1.0 : 0.0));
      }
      if (!item || !walk_leaves(p, item.get(), fn, ctx, depth)) {
        result = nullptr;
        break;
      }
    } while (next(iter));
  }
  NpyIter_Deallocate(iter);
  return result;
}

}  // namespace

PyObject *walk_leaves(problem_s *p, PyObject *obj, leaf_fn fn, void *ctx, int depth) {
  if (depth < 0) {
    PyErr_SetString(korvu_ModelError, "Maximum recursion (inclusion) level reached");
    return nullptr;
  }
  if (!obj) {
    PyErr_SetString(korvu_ModelError,
                    "Incorrect (nested) array/list/sequence passed. Perhaps this is a NumPy "
                    "array containing a tuple?");
    return nullptr;
  }
  // Variables and constraints (types nobody derives from) are leaves: the
  // common case skips the container tests.
  if (Py_TYPE(obj) == &korvu_varType || Py_TYPE(obj) == &korvu_constraintType)
    return fn(p, obj, ctx) < 0 ? nullptr : Py_None;
  if (PyArray_Check(obj) && PyArray_SIZE(reinterpret_cast<PyArrayObject *>(obj)) == 1) {
    PyArrayObject *arr = reinterpret_cast<PyArrayObject *>(obj);
    PyRef item = PyRef::steal(PyArray_GETITEM(arr, PyArray_BYTES(arr)));
    if (!item) return nullptr;
    return walk_leaves(p, item.get(), fn, ctx, depth);
  }
  if (PyTuple_Check(obj) || PyList_Check(obj)) {
    PyRef hold = PyRef::borrow(obj);  // the walk may run user code that mutates a list
    for (Py_ssize_t i = 0; i < PySequence_Fast_GET_SIZE(obj); ++i) {
      PyRef item = PyRef::borrow(PySequence_Fast_GET_ITEM(obj, i));
      if (!walk_leaves(p, item.get(), fn, ctx, depth - 1)) return nullptr;
    }
    return Py_None;
  }
  if (PyArray_Check(obj))
    return walk_array(p, reinterpret_cast<PyArrayObject *>(obj), fn, ctx, depth - 1);
  if (PyUnicode_Check(obj) || PyBytes_Check(obj)) return fn(p, obj, ctx) < 0 ? nullptr : Py_None;
  if (PySequence_Check(obj) && !PyDict_Check(obj)) {
    PyRef seq = PyRef::steal(PySequence_Fast(obj, "Cannot iterate over sequence"));
    if (!seq) return nullptr;
    for (Py_ssize_t i = 0; i < PySequence_Fast_GET_SIZE(seq.get()); ++i) {
      PyRef item = PyRef::borrow(PySequence_Fast_GET_ITEM(seq.get(), i));
      if (!walk_leaves(p, item.get(), fn, ctx, depth - 1)) return nullptr;
    }
    return Py_None;
  }
  if (PyDict_Check(obj)) {
    PyRef values = PyRef::steal(PyDict_Values(obj));
    if (!values) return nullptr;
    return walk_leaves(p, values.get(), fn, ctx, depth);
  }
  if (PyIter_Check(obj)) {
    for (;;) {
      PyRef item = PyRef::steal(PyIter_Next(obj));
      if (!item) return PyErr_Occurred() ? nullptr : Py_None;
      if (!walk_leaves(p, item.get(), fn, ctx, depth - 1)) return nullptr;
    }
  }
  return fn(p, obj, ctx) < 0 ? nullptr : Py_None;
}
